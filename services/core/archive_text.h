// The words of the archive core's failures, in one place for both programs: the window
// program shows them in its boxes, the command-line tool on stderr, and they say the same
// thing. Stored names in them are quoted and escaped (archive/quoted_name.h).
#pragma once

#include <string>

#include <vector>

#include "archive/engine_target.h"
#include "archive/game_folder.h"
#include "archive/problem.h"

// The limit messages of the window program.
extern const char kMaxFilesMessage[];  // "Maximum number of files exceeded.\nOperation aborted."
extern const char kMaxPathMessage[];   // "Maximum path length exceeded.\nOperation aborted."

// Why an entry could not be read, as the end of a sentence naming it ("it is encrypted").
const char* EntryLoadReason(EntryLoad result);

// Why something is wrong, as the end of a sentence after the name of the archive or the
// entry: an archive that cannot be opened ("the file is empty"), a tree that cannot be built
// ("\"a.txt\" is stored twice"), a damaged entry ("its data does not match its CRC-32 ...").
std::string FailureReason(const Failure& failure);

// The message of an archive that cannot be shown: "Error reading <format> file", then a line
// naming the archive and, when known, why.
std::string ArchiveErrorMessage(const char* format, const std::string& path, const Failure& why);

// The window program's message of a failed save to target; empty for a cancelled save,
// which says nothing. Failures of the replace are the caller's to explain.
std::string SaveFailureMessage(const Failure& failure, const std::string& target);

// The window program's message of the entry count or path length limit a save or a copy
// would pass: the limit's first sentence, then the first path past it, the limit, and how
// many more pass it: "Maximum path length exceeded: "maps/x.bsp" has 59 characters, a PAK
// allows 55 (3 more paths are too long).\nOperation aborted."
std::string LimitMessage(const Failure& failure);

// The message of a format limit a save would pass, as the command-line tool gives it: the
// path, what it would be and what the format holds.
std::string LimitProblemText(const Failure& failure);

// One rule of target an archive breaks, as a sentence without its full stop: what the engine
// does, then the first entry that breaks it and how many more: "Quake stops with a fatal
// error at more than 2,048 entries: this archive has 2,049, the first past them "x"".
std::string BreachText(EngineTarget target, const TargetBreach& breach);

// "breaks N rules of <target>" ("1 rule"), as the messages of both programs count them.
std::string BrokenRules(EngineTarget target, size_t count);

// "This archive breaks N rules of <target>:", then each rule on a line of its own.
std::string TargetRulesText(EngineTarget target, const std::vector<TargetBreach>& breaches);

// The question a save asks before it writes an archive that breaks rules of target: the
// rules (TargetRulesText) and "Save anyway?".
std::string TargetQuestion(EngineTarget target, const std::vector<TargetBreach>& breaches);

// What a game folder's view leaves out, as a sentence without its full stop: "pak2.pak is
// not searched: the file is empty", "pak1.pak: "maps" is stored both as a file and as a
// folder; it is not shown".
std::string FolderTroubleText(const GameFolderTrouble& trouble);

// The place a game folder's entry comes from, as the From column and the tool show it: the
// archive's file name, or "folder" for a loose file.
std::string FromText(const GameFolderMember& member);

// What the window program says of a command that would change or save a game folder.
extern const char kGameFolderReadOnlyMessage[];

// The From column's text of a game folder's entry: where it is read from, and how many
// places searched later it shadows: "pak1.pak (shadows 2)".
std::string FromPlaceText(const GameFolderSource& folder, uint32_t index);
