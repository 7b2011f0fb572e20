// The game an archive is made for, and the rules of its engine that go beyond the file
// format's own: how many entries the engine takes, how long a path it can name, which
// characters and compression methods it accepts. A format limit makes the file unwritable;
// an engine rule makes a file the game refuses, cuts or never finds, so a save asks first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/source.h"
#include "archive/tree.h"

enum class EngineTarget : uint8_t {
  Any,     // no engine's rules
  Quake,   // Quake and the engines that follow its file system
  Quake2,  // Quake II
  Quake3,  // Quake III Arena, its followers, and the Doom 3 family's pk4 files
};

// Every target, in the order the Save As dialog lists them.
const std::vector<EngineTarget>& EngineTargets();
// "Any", "Quake", "Quake II", "Quake III Arena family".
const char* TargetName(EngineTarget target);
// The command-line tool's word for it: "any", "quake", "quake2", "quake3".
const char* TargetKeyword(EngineTarget target);
// The target a word names (TargetKeyword's, in any case); false for any other word.
bool TargetFromKeyword(const std::string& word, EngineTarget* target);
// The target a stored setting's number stands for; Any for a number that names none.
EngineTarget TargetFromNumber(uint32_t number);

// The target an archive is probably made for, from its format and where it lies: in a
// folder of Quake (a PAK file) or of the Quake III family (a ZIP file; TargetOfBaseFolder),
// and any PK4 file one of the Quake III family; Any otherwise.
EngineTarget GuessTarget(const std::string& path, const ArchiveFormat& format);
// The game whose own folder folder is, by its name: "id1" Quake's, "baseq2" Quake II's,
// "baseq3", "baseoa", "missionpack" and "base" of the Quake III family; Any for another name.
EngineTarget TargetOfBaseFolder(const std::string& folder);

enum class TargetRule : uint8_t {
  Format,           // the engine reads no archive of this format
  TooManyEntries,   // more entries than the engine takes
  PathTooLong,      // a path longer than the engine's names (PAK engines)
  CapitalLetters,   // a path with capital letters, which an engine that looks names up with their case misses
  NameBytes,        // a stored name longer than the engine's ZIP reader takes
  GamePathTooLong,  // a path longer than the engine's game paths (MAX_QPATH)
  ForbiddenText,    // "..", "\" or ":" in a path
  Method,           // compressed by a method other than stored and deflated
  Encrypted,        // an encrypted entry
  Zip64,            // the archive holds ZIP64 records
};

// One rule the archive breaks: the first entry that breaks it (empty for the archive as a
// whole), its number (the length of the path, the entry's number, the method's code), the
// engine's limit where it has one, and how many more entries break it.
struct TargetBreach {
  TargetRule rule = TargetRule::Format;
  std::string path;
  uint64_t count = 0, limit = 0, more = 0;
  const char* format = nullptr;  // the display name of the archive's format
};

// What an engine sees of one entry: its path as stored and how its bytes are stored.
struct TargetEntry {
  std::string path;  // a directory's with its "/"
  bool directory = false;
  StoredMethod method = StoredMethod::Stored;
  uint16_t methodCode = 0;
};

struct TargetInput {
  const ArchiveFormat* format = nullptr;
  std::vector<TargetEntry> entries;  // in the order they are stored
  bool zip64 = false;
};

// The archive a save would write of the tree in format: its records in the order they are
// written (ArchiveOrder), each stored or deflated (a save writes no other method).
TargetInput TargetInputOfTree(const Node* root, const ArchiveFormat& format, const ArchiveSource* source);
// The archive as its file stores it: every entry, its method, and the ZIP64 records.
TargetInput TargetInputOfSource(const ArchiveSource& source);

// The rules of target the archive breaks, each once, in the order of TargetRule. None for Any.
std::vector<TargetBreach> CheckTargetRules(EngineTarget target, const TargetInput& input);
