// A game folder searched as its engine searches it: the archives it loads, in its order,
// then the loose files, merged into one source of the paths found first.
#include "archive/game_folder.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "archive/disk.h"
#include "archive/disk_walk.h"
#include "archive/dos_time.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "archive/source_file.h"
#include "archive/tree.h"

namespace {

// The row of a view that is never written: its limits are never asked, nothing opens or
// writes it.
const ArchiveFormat kGameFolder{"Game folder", {}, 0, {0xFFFFFFFFu, true, 0xFFFFFFFFu, false}, false, nullptr, nullptr};

// Names in the order the engines of the Quake III family sort them: without regard to
// case, as upper case letters ("pak_a" comes after "paka"), "\\" and ":" read as "/".
int EngineNameOrder(const std::string& a, const std::string& b) {
  const auto fold = [](unsigned char c) -> int {
    if (c >= 'a' && c <= 'z') return c - ('a' - 'A');
    if (c == '\\' || c == ':') return '/';
    return c;
  };
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = fold(static_cast<unsigned char>(a[i])), cb = fold(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The number n of a name "pak<n>.pak" (any case, digits as the engine prints them: no
// leading zero), or -1.
int PakNumber(const std::string& name) {
  const std::string lower = LowerCased(name);
  if (lower.size() < 8 || lower.compare(0, 3, "pak") != 0 || lower.compare(lower.size() - 4, 4, ".pak") != 0) return -1;
  const std::string digits = lower.substr(3, lower.size() - 7);
  if (digits.empty() || digits.size() > 4 || (digits.size() > 1 && digits[0] == '0')) return -1;
  int n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The names of the number's pak in names (there may be several on a disk that tells case).
const std::string* PakNamed(const std::vector<std::string>& names, int number) {
  for (const std::string& name : names)
    if (PakNumber(name) == number) return &name;
  return nullptr;
}

// The path of a stored name as the tree reads it, lower-cased: its components with the
// empty ones and "." left out. False when it names nothing.
bool PathKey(std::string_view stored, std::string* key, std::vector<size_t>* folderEnds) {
  key->clear();
  folderEnds->clear();
  for (size_t at = 0; at < stored.size();) {
    size_t end = stored.find('/', at);
    if (end == std::string_view::npos) end = stored.size();
    const std::string_view component = stored.substr(at, end - at);
    if (!component.empty() && component != ".") {
      if (!key->empty()) {
        folderEnds->push_back(key->size());
        key->push_back('/');
      }
      key->append(component.data(), component.size());
    }
    at = end + 1;
  }
  LowerCaseAscii(key);
  return !key->empty();
}

}  // namespace

const ArchiveFormat& GameFolderFormat() { return kGameFolder; }

std::vector<std::string> SearchedArchives(EngineTarget target, const std::vector<std::string>& names) {
  std::vector<std::string> searched;
  if (target == EngineTarget::Quake || target == EngineTarget::Quake2) {
    // Quake stops at the first number missing; Quake II tries pak0 to pak9 and passes gaps.
    // Each pak found goes to the head of the search path, so the last one is searched first.
    const int last = target == EngineTarget::Quake ? 9999 : 9;
    for (int n = 0; n <= last; ++n) {
      const std::string* name = PakNamed(names, n);
      if (name == nullptr) {
        if (target == EngineTarget::Quake) break;
        continue;
      }
      searched.push_back(*name);
    }
  } else {
    // Every .pk3 (and .pk4), sorted by name; each goes to the head of the search path, so a
    // later name is searched first. With no target: every archive of a format read here.
    for (const std::string& name : names) {
      const std::string extension = FileExtension(name);
      const bool taken = extension == ".pk3" || extension == ".pk4" ||
                         (target == EngineTarget::Any && extension == ".pak");
      if (taken) searched.push_back(name);
    }
    std::stable_sort(searched.begin(), searched.end(),
                     [](const std::string& a, const std::string& b) { return EngineNameOrder(a, b) < 0; });
  }
  std::reverse(searched.begin(), searched.end());
  return searched;
}

EngineTarget GuessFolderTarget(const std::string& folder, const std::string& leaveOut) {
  const EngineTarget named = TargetOfBaseFolder(folder);
  if (named != EngineTarget::Any) return named;
  std::vector<std::string> names;
  if (!ListDirectory(folder, &names)) return EngineTarget::Any;
  bool pak = false;
  for (const std::string& entry : names) {
    if (!leaveOut.empty() && SameDiskFile(JoinDiskPath(folder, entry), leaveOut)) continue;
    const std::string extension = FileExtension(entry);
    if (extension == ".pk3" || extension == ".pk4") return EngineTarget::Quake3;
    pak = pak || extension == ".pak";
  }
  if (!pak) return EngineTarget::Any;
  // A mod's folder beside the base game's.
  std::string trimmed = folder;
  while (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
  const std::string parent = FolderOfPath(trimmed);
  std::vector<std::string> siblings;
  if (!parent.empty() && ListDirectory(parent, &siblings))
    for (const std::string& sibling : siblings)
      if (TargetOfBaseFolder(sibling) == EngineTarget::Quake2) return EngineTarget::Quake2;
  return EngineTarget::Quake;
}

bool OpensAsGameFolder(const std::string& path) {
  return FormatForPath(path) == nullptr && StatPath(path).kind == DiskKind::Directory;
}

bool HoldsSearchedArchives(const std::string& folder, EngineTarget target, const std::string& leaveOut) {
  std::vector<std::string> names;
  if (!ListDirectory(folder, &names)) return false;
  for (const std::string& name : SearchedArchives(target, names))
    if (leaveOut.empty() || !SameDiskFile(JoinDiskPath(folder, name), leaveOut)) return true;
  return false;
}

GameFolderSource::GameFolderSource(std::string folder, EngineTarget target)
    : ArchiveSource(kGameFolder, std::move(folder), nullptr), target_(target) {}

GameFolderSource::~GameFolderSource() = default;

std::string GameFolderSource::LoosePath(uint32_t index) const {
  const GameFolderHolder& winner = Winner(index);
  const GameFolderMember& member = *members_[winner.member];
  if (!member.loose()) return std::string();
  std::string name = loose_[winner.entry].name;
  std::replace(name.begin(), name.end(), '/', kDiskSeparator);
  const std::string path = JoinDiskPath(member.path, name);
  return path;
}

std::string_view GameFolderSource::Name(uint32_t index) const {
  const GameFolderHolder& winner = Winner(index);
  const GameFolderMember& member = *members_[winner.member];
  return member.loose() ? loose_[winner.entry].name : member.source->Name(winner.entry);
}

NameCoding GameFolderSource::NameCodingOf(uint32_t index) const {
  const ArchiveSource* source = SourceOf(index);
  return source ? source->NameCodingOf(Winner(index).entry) : NameCoding::Utf8;
}

EntryInfo GameFolderSource::Info(uint32_t index) const {
  const GameFolderHolder& winner = Winner(index);
  if (const ArchiveSource* source = SourceOf(index)) return source->Info(winner.entry);
  const Loose& file = loose_[winner.entry];
  EntryInfo info;
  info.size = info.storedSize = static_cast<uint32_t>(file.size);
  info.dosTime = DosDateTimeOf(file.modified);
  info.hasTime = info.dosTime != 0;
  return info;
}

EntryLoad GameFolderSource::Read(uint32_t index, ByteSink* sink) {
  if (index >= Count()) return EntryLoad::NotInSource;
  if (ArchiveSource* source = SourceOf(index)) return source->Read(Winner(index).entry, sink);
  // A loose file is opened for each read, so that reads may run on any thread; one that
  // changed size since the folder was opened reads as damaged.
  const Loose& file = loose_[Winner(index).entry];
  if (file.name.back() == '/') return EntryLoad::NoBytes;
  FILE* f = std::fopen(LoosePath(index).c_str(), "rb");
  if (f == nullptr) return EntryLoad::ReadFailed;
  const int64_t length = source_file::Length(f);
  const EntryLoad load = length >= 0 && static_cast<uint64_t>(length) == file.size ? ReadPieces(f, 0, file.size, sink)
                                                                                     : EntryLoad::ReadFailed;
  std::fclose(f);
  return load;
}

EntryLoad GameFolderSource::Locate(uint32_t index, StoredBytes* where) {
  *where = StoredBytes();
  if (index >= Count()) return EntryLoad::NotInSource;
  if (ArchiveSource* source = SourceOf(index)) return source->Locate(Winner(index).entry, where);
  const Loose& file = loose_[Winner(index).entry];
  where->storedSize = where->size = static_cast<uint32_t>(file.size);
  return EntryLoad::Ok;
}

EntryLoad GameFolderSource::ReadPlan(uint32_t index, StoredBytes* where) {
  if (index < Count())
    if (ArchiveSource* source = SourceOf(index)) return source->ReadPlan(Winner(index).entry, where);
  return Locate(index, where);
}

Failure GameFolderSource::CheckPlacement(uint32_t index) {
  if (index < Count())
    if (ArchiveSource* source = SourceOf(index)) return source->CheckPlacement(Winner(index).entry);
  return Failure();
}

FILE* GameFolderSource::EntryFile(uint32_t index) const {
  const ArchiveSource* source = index < Count() ? SourceOf(index) : nullptr;
  return source ? source->file() : nullptr;
}

const std::string& GameFolderSource::EntryFilePath(uint32_t index) const {
  const ArchiveSource* source = index < Count() ? SourceOf(index) : nullptr;
  return source ? source->path() : path();
}

std::unique_ptr<GameFolderSource> OpenGameFolder(const std::string& folder, EngineTarget target, Failure* why,
                                                 const std::string& leaveOut) {
  *why = Failure();
  std::vector<std::string> names;
  if (StatPath(folder).kind != DiskKind::Directory || !ListDirectory(folder, &names)) {
    *why = Fail(Problem::CannotOpen, folder);
    return nullptr;
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> files;
  std::string leftOut;
  for (const std::string& name : names) {
    const std::string path = JoinDiskPath(folder, name);
    if (StatPath(path).kind != DiskKind::File) continue;
    if (!leaveOut.empty() && SameDiskFile(path, leaveOut))
      leftOut = name;
    else
      files.push_back(name);
  }

  std::unique_ptr<GameFolderSource> view(new GameFolderSource(folder, target));
  const std::vector<std::string> searched = SearchedArchives(target, files);
  for (const std::string& name : searched) {
    std::unique_ptr<GameFolderMember> member(new GameFolderMember);
    member->name = name;
    member->path = JoinDiskPath(folder, name);
    Failure failed;
    const ArchiveFormat* format = nullptr;
    member->source = OpenArchive(member->path, &failed, &format);
    if (!member->source) {
      view->troubles_.push_back(GameFolderTrouble{name, true, failed});
      continue;
    }
    view->members_.push_back(std::move(member));
  }

  // The loose files: everything below the folder but the archives searched.
  std::unique_ptr<GameFolderMember> loose(new GameFolderMember);
  loose->path = folder;
  auto& found = view->loose_;
  using Loose = GameFolderSource::Loose;
  WalkDiskTree(
      folder, std::string(),
      [&](const DiskWalkEntry& entry, const std::string& place, std::string* child) {
        if (place.empty() && (entry.name == leftOut || std::find(searched.begin(), searched.end(), entry.name) != searched.end()))
          return false;
        const std::string path = place.empty() ? entry.name : place + "/" + entry.name;
        if (entry.item.kind == DiskKind::Directory) {
          if (entry.loop) return false;
          found.push_back(Loose{path + "/", 0, entry.item.modified});
          *child = path;
          return true;
        }
        if (entry.item.kind != DiskKind::File) return false;
        if (entry.item.size > 0xFFFFFFFFu) {
          view->troubles_.push_back(GameFolderTrouble{std::string(), false, Fail(Problem::EntryTooLarge, path)});
          return false;
        }
        found.push_back(Loose{path, entry.item.size, entry.item.modified});
        return false;
      },
      [&](const std::string& path, const std::string&) {
        view->troubles_.push_back(GameFolderTrouble{std::string(), false, Fail(Problem::Unreadable, path)});
      },
      [] { return false; });
  view->members_.push_back(std::move(loose));

  // The merge: each path belongs to the first place that holds it. A folder is known by its
  // path alone; a file by its path and its entry.
  constexpr uint32_t kFolder = 0xFFFFFFFFu;
  std::unordered_map<std::string, uint32_t> shown;
  size_t total = found.size();
  for (const auto& member : view->members_)
    if (member->source) total += member->source->Count();
  shown.reserve(total + total / 2);
  std::vector<std::pair<uint32_t, GameFolderHolder>> held;  // (entry, holder), in search order
  held.reserve(total);
  uint32_t entries = 0;
  std::string key, text;
  std::vector<size_t> folderEnds;
  for (uint32_t m = 0; m < view->members_.size(); ++m) {
    GameFolderMember& member = *view->members_[m];
    const uint32_t count = member.source ? member.source->Count() : static_cast<uint32_t>(found.size());
    for (uint32_t i = 0; i < count; ++i) {
      std::string_view stored;
      if (member.source) {
        stored = member.source->Name(i);
        if (!IsAscii(stored)) {
          text = member.source->NameTextOf(i);
          stored = text;
        }
      } else {
        stored = found[i].name;
      }
      const bool directory = !stored.empty() && stored.back() == '/';
      const auto refuse = [&](Problem problem, const std::string& other = std::string()) {
        Failure f = Fail(problem, std::string(stored));
        f.other = other;
        view->troubles_.push_back(GameFolderTrouble{member.name, false, f});
      };
      if (stored.find('\0') != std::string_view::npos) {
        refuse(Problem::NulInName);
        continue;
      }
      if (!PathKey(stored, &key, &folderEnds)) {
        if (!directory) refuse(Problem::NamesNoFile);
        continue;
      }
      auto at = shown.find(key);
      if (at != shown.end()) {
        if (directory && at->second == kFolder) continue;
        if (directory || at->second == kFolder) {
          refuse(Problem::FileAndFolder);
          continue;
        }
        held.push_back({at->second, GameFolderHolder{m, i}});
        ++member.entries;
        continue;
      }
      // A path through a file shown already cannot be shown; its folders become known.
      size_t throughFile = 0;
      for (const size_t end : folderEnds) {
        auto folderAt = shown.find(key.substr(0, end));
        if (folderAt != shown.end() && folderAt->second != kFolder && throughFile == 0) throughFile = end;
      }
      if (throughFile != 0) {
        refuse(Problem::ThroughFile, key.substr(0, throughFile));
        continue;
      }
      for (const size_t end : folderEnds) shown.emplace(key.substr(0, end), kFolder);
      shown.emplace(key, directory ? kFolder : entries);
      held.push_back({entries++, GameFolderHolder{m, i}});
      ++member.entries;
    }
  }

  // Each entry's holders side by side, in search order.
  std::vector<uint32_t>& first = view->firstHolder_;
  first.assign(entries + 1, 0);
  for (const auto& h : held) ++first[h.first + 1];
  for (uint32_t e = 0; e < entries; ++e) first[e + 1] += first[e];
  std::vector<uint32_t> next(first.begin(), first.end() - 1);
  view->holders_.resize(held.size());
  for (const auto& h : held) view->holders_[next[h.first]++] = h.second;
  return view;
}

std::unique_ptr<ArchiveSource> OpenArchiveOrGameFolder(const std::string& path, const EngineTarget* target,
                                                       Failure* why, const ArchiveFormat** format,
                                                       const std::string& leaveOut) {
  *format = nullptr;
  if (!OpensAsGameFolder(path)) return OpenArchive(path, why, format);
  *format = &GameFolderFormat();
  return OpenGameFolder(path, target ? *target : GuessFolderTarget(path, leaveOut), why, leaveOut);
}
