// A game folder (id1, baseq2, baseq3, a mod's folder) read as the engine reads it: every
// archive the engine loads from it and the folder's own loose files, searched in the
// engine's order, make one read-only source. Each path is one entry, read from the first
// place of the search that holds it; every other place that holds it is shadowed by that one
// and is kept as a holder of the entry, so that what a mod overrides can be shown.
//
// The search order is the engine's, per target:
//   - Quake: pak0.pak, pak1.pak, ... up to the first number missing, a higher number
//     searched first, then the loose files;
//   - Quake II: pak0.pak to pak9.pak, gaps allowed, a higher number searched first, then the
//     loose files;
//   - Quake III family: every .pk3 and .pk4 file, sorted by name without regard to case (as
//     upper case), a later name searched first, then the loose files;
//   - Any: every .pak, .pk3 and .pk4 file, in that same order.
// Everything in the folder and below it that is not an archive searched is a loose file.
// Paths match without regard to case, as the tree's names do.
//
// The archives are opened, not read: their directories are read once, their entries on
// demand, each from its own file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/engine_target.h"
#include "archive/problem.h"
#include "archive/source.h"

// One place the engine searches: an archive of the folder, or the folder's loose files.
struct GameFolderMember {
  std::string name;  // the archive's file name; empty for the loose files
  std::string path;  // its disk path; the folder's for the loose files
  std::unique_ptr<ArchiveSource> source;  // null for the loose files
  uint32_t entries = 0;  // paths it holds
  bool loose() const { return source == nullptr; }
};

// A place holding an entry's path: a member, and the entry there (for the loose files, the
// number of the loose file).
struct GameFolderHolder {
  uint32_t member = 0;
  uint32_t entry = 0;
};

// What the view leaves out: an archive the engine would search that cannot be read (whole),
// or a path that cannot be shown beside the ones searched before it (a file where a folder
// of the name is shown, a name with a NUL; why.name is the stored path).
struct GameFolderTrouble {
  std::string member;  // the archive's file name; empty for the loose files
  bool whole = false;  // the archive itself is left out
  Failure why;
};

class GameFolderSource : public ArchiveSource {
 public:
  ~GameFolderSource() override;

  EngineTarget target() const { return target_; }
  // The places searched, the first searched first; the loose files are the last.
  const std::vector<std::unique_ptr<GameFolderMember>>& members() const { return members_; }
  const std::vector<GameFolderTrouble>& troubles() const { return troubles_; }
  // Loose files below the folder, as the view counts them.
  uint32_t LooseCount() const { return static_cast<uint32_t>(loose_.size()); }

  // The places holding the path of entry index, in search order: the first is the one the
  // entry reads from, every later one is shadowed by it.
  const GameFolderHolder* HoldersBegin(uint32_t index) const { return holders_.data() + firstHolder_[index]; }
  const GameFolderHolder* HoldersEnd(uint32_t index) const { return holders_.data() + firstHolder_[index + 1]; }
  uint32_t HolderCount(uint32_t index) const { return firstHolder_[index + 1] - firstHolder_[index]; }
  // The member entry index reads from.
  const GameFolderMember& MemberOf(uint32_t index) const { return *members_[HoldersBegin(index)->member]; }
  // Whether the entry's path is held by another place searched after it.
  bool ShadowsAnother(uint32_t index) const { return HolderCount(index) > 1; }
  // The disk path of a loose entry; empty for an entry of an archive.
  std::string LoosePath(uint32_t index) const;

  uint32_t Count() const override { return static_cast<uint32_t>(firstHolder_.size() - 1); }
  std::string_view Name(uint32_t index) const override;
  NameCoding NameCodingOf(uint32_t index) const override;
  EntryInfo Info(uint32_t index) const override;
  EntryLoad Read(uint32_t index, ByteSink* sink) override;
  EntryLoad Locate(uint32_t index, StoredBytes* where) override;
  EntryLoad ReadPlan(uint32_t index, StoredBytes* where) override;
  Failure CheckPlacement(uint32_t index) override;
  FILE* EntryFile(uint32_t index) const override;
  const std::string& EntryFilePath(uint32_t index) const override;
  const GameFolderSource* AsGameFolder() const override { return this; }

 private:
  friend std::unique_ptr<GameFolderSource> OpenGameFolder(const std::string&, EngineTarget, Failure*, const std::string&);
  struct Loose {
    std::string name;  // the path below the folder, "/" between names, as UTF-8
    uint64_t size = 0;
    int64_t modified = 0;
  };
  explicit GameFolderSource(std::string folder, EngineTarget target);
  // The entry as its place stores it.
  const GameFolderHolder& Winner(uint32_t index) const { return *HoldersBegin(index); }
  ArchiveSource* SourceOf(uint32_t index) const { return members_[Winner(index).member]->source.get(); }

  EngineTarget target_;
  std::vector<std::unique_ptr<GameFolderMember>> members_;
  std::vector<GameFolderTrouble> troubles_;
  std::vector<Loose> loose_;
  // Entry i's holders are holders_[firstHolder_[i]] up to holders_[firstHolder_[i + 1]].
  std::vector<uint32_t> firstHolder_{0};
  std::vector<GameFolderHolder> holders_;
};

// The display name of the view's format ("Game folder"); it is never written.
const ArchiveFormat& GameFolderFormat();

// The archives of a folder the engine of target searches, of the file names in it, in its
// search order (the first searched first).
std::vector<std::string> SearchedArchives(EngineTarget target, const std::vector<std::string>& names);

// The target a game folder is probably for: from its name (id1, baseq2, baseq3, baseoa, base),
// else from what it holds (pk3 or pk4 files: the Quake III family; pak files: Quake, or
// Quake II beside a baseq2 folder). Any when nothing tells. The file at leaveOut, as in
// OpenGameFolder, tells nothing: a patch written into the folder must not change the guess.
EngineTarget GuessFolderTarget(const std::string& folder, const std::string& leaveOut = std::string());

// Whether path is opened as a game folder where an archive is asked for: a folder, unless
// its name is an archive's (such a folder is no archive, and is refused as one).
bool OpensAsGameFolder(const std::string& path);

// Whether the folder holds an archive target's engine searches (other than the file at
// leaveOut): a folder without one reads the same as the files on disk.
bool HoldsSearchedArchives(const std::string& folder, EngineTarget target, const std::string& leaveOut = std::string());

// Opens the folder as target's engine would search it. The archives are opened one by one;
// one that cannot be read is left out and named in troubles(). The file at leaveOut (a
// patch about to be written, say), when it is in the folder, is neither searched nor a loose
// file. Null when folder is no folder that can be listed, with *why.
std::unique_ptr<GameFolderSource> OpenGameFolder(const std::string& folder, EngineTarget target, Failure* why,
                                                 const std::string& leaveOut = std::string());

// Opens what the user names where an archive is asked for: a folder (OpensAsGameFolder) as
// a game folder searched as target's engine (null: the target guessed from the folder),
// anything else as an archive. *format is the format of what is opened, once known (also
// when the open then fails). Null on failure, with *why.
std::unique_ptr<ArchiveSource> OpenArchiveOrGameFolder(const std::string& path, const EngineTarget* target,
                                                       Failure* why, const ArchiveFormat** format,
                                                       const std::string& leaveOut = std::string());
