#include "archive/engine_target.h"

namespace {

struct TargetRow {
  EngineTarget target;
  const char* name;
  const char* keyword;
};

const TargetRow kTargets[] = {
    {EngineTarget::Any, "Any", "any"},
    {EngineTarget::Quake, "Quake", "quake"},
    {EngineTarget::Quake2, "Quake II", "quake2"},
    {EngineTarget::Quake3, "Quake III Arena family", "quake3"},
};

const TargetRow& RowOf(EngineTarget target) {
  for (const TargetRow& row : kTargets)
    if (row.target == target) return row;
  return kTargets[0];
}

// Quake stops at start with a fatal error on a pak of more entries (MAX_FILES_IN_PACK);
// Quake II takes twice as many.
constexpr uint64_t kQuakeMaxEntries = 2048;
constexpr uint64_t kQuake2MaxEntries = 4096;
// The engines' PAK names are 56 bytes with their NUL.
constexpr uint64_t kPakEngineMaxPath = 55;
// The ZIP reader of the Quake III family reads a name into 256 bytes with its NUL; the rest of
// the engine passes game paths in MAX_QPATH (64) bytes with theirs.
constexpr uint64_t kQuake3MaxNameBytes = 255;
constexpr uint64_t kQuake3MaxGamePath = 63;

bool IsZipFormat(const ArchiveFormat& format) { return format.compresses; }

bool HasCapital(const std::string& path) {
  for (char c : path)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}

bool HasForbiddenText(const std::string& path) {
  return path.find("..") != std::string::npos || path.find('\\') != std::string::npos ||
         path.find(':') != std::string::npos;
}

// The last component of path, lower-cased, separators at its end aside: "id1" of
// "C:\Quake\id1\".
std::string LastComponent(std::string path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  const size_t slash = path.find_last_of("/\\");
  return LowerCased(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The folder holding path: "C:\Quake\id1" of "C:\Quake\id1\pak0.pak"; empty for a bare name.
std::string Holder(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The games' own folders: the base game's and a mission pack's.
struct BaseFolderRow {
  const char* name;
  EngineTarget target;
};

const BaseFolderRow kBaseFolders[] = {
    {"id1", EngineTarget::Quake},          {"baseq2", EngineTarget::Quake2},
    {"baseq3", EngineTarget::Quake3},      {"baseoa", EngineTarget::Quake3},
    {"missionpack", EngineTarget::Quake3}, {"base", EngineTarget::Quake3},
};

// The breaches of one rule over the entries: the first breaking entry named, the rest counted.
class Breaches {
 public:
  Breaches(std::vector<TargetBreach>* out, const TargetInput& input) : out_(out), input_(input) {}

  template <typename Test>
  void EachFile(TargetRule rule, uint64_t limit, Test breaks) {
    TargetBreach breach;
    breach.rule = rule;
    bool found = false;
    for (const TargetEntry& entry : input_.entries) {
      uint64_t count = 0;
      if (entry.directory || !breaks(entry, &count)) continue;
      if (found) {
        ++breach.more;
        continue;
      }
      found = true;
      breach.path = entry.path;
      breach.count = count;
    }
    if (found) Add(breach, limit);
  }

  void Whole(TargetRule rule, uint64_t count = 0, uint64_t limit = 0, std::string path = std::string()) {
    TargetBreach breach;
    breach.rule = rule;
    breach.count = count;
    breach.path = std::move(path);
    Add(breach, limit);
  }

  void EntryCount(uint64_t most) {
    const uint64_t entries = input_.entries.size();
    if (entries <= most) return;
    Whole(TargetRule::TooManyEntries, entries, most, input_.entries[most].path);
    out_->back().more = entries - most - 1;
  }

 private:
  void Add(TargetBreach breach, uint64_t limit) {
    breach.limit = limit;
    breach.format = input_.format ? input_.format->name : nullptr;
    out_->push_back(std::move(breach));
  }

  std::vector<TargetBreach>* out_;
  const TargetInput& input_;
};

}  // namespace

const std::vector<EngineTarget>& EngineTargets() {
  static const std::vector<EngineTarget> targets = {EngineTarget::Any, EngineTarget::Quake, EngineTarget::Quake2,
                                                    EngineTarget::Quake3};
  return targets;
}

const char* TargetName(EngineTarget target) { return RowOf(target).name; }
const char* TargetKeyword(EngineTarget target) { return RowOf(target).keyword; }

bool TargetFromKeyword(const std::string& word, EngineTarget* target) {
  const std::string lower = LowerCased(word);
  for (const TargetRow& row : kTargets)
    if (lower == row.keyword) {
      *target = row.target;
      return true;
    }
  return false;
}

EngineTarget TargetFromNumber(uint32_t number) {
  for (const TargetRow& row : kTargets)
    if (static_cast<uint32_t>(row.target) == number) return row.target;
  return EngineTarget::Any;
}

EngineTarget GuessTarget(const std::string& path, const ArchiveFormat& format) {
  // A WAD2 is a file the game reads from its archives, not one of them.
  if (format.limits.flat) return EngineTarget::Any;
  if (FileExtension(path) == ".pk4") return EngineTarget::Quake3;
  // A PAK file lies in a Quake engine's folder, a ZIP file in one of the Quake III family.
  const EngineTarget folder = TargetOfBaseFolder(Holder(path));
  const bool zip = IsZipFormat(format);
  return (folder == EngineTarget::Quake3) == zip ? folder : EngineTarget::Any;
}

EngineTarget TargetOfBaseFolder(const std::string& folder) {
  const std::string name = LastComponent(folder);
  for (const BaseFolderRow& row : kBaseFolders)
    if (name == row.name) return row.target;
  return EngineTarget::Any;
}

TargetInput TargetInputOfTree(const Node* root, const ArchiveFormat& format, const ArchiveSource* source) {
  TargetInput input;
  input.format = &format;
  for (const Node* node : ArchiveOrder(root, source)) {
    // A format that records only the leaves writes no entry for a folder with contents.
    if (format.limits.recordsLeaves && node->firstChild()) continue;
    TargetEntry entry;
    entry.path = StoredPath(node);
    entry.directory = node->IsDirectory();
    input.entries.push_back(std::move(entry));
  }
  return input;
}

TargetInput TargetInputOfSource(const ArchiveSource& source) {
  TargetInput input;
  input.format = &source.format();
  input.zip64 = source.HasZip64Records();
  const uint32_t count = source.Count();
  input.entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    TargetEntry entry;
    entry.path = source.NameTextOf(i);
    entry.directory = !entry.path.empty() && entry.path.back() == '/';
    const EntryInfo info = source.Info(i);
    entry.method = info.method;
    entry.methodCode = info.methodCode;
    input.entries.push_back(std::move(entry));
  }
  return input;
}

std::vector<TargetBreach> CheckTargetRules(EngineTarget target, const TargetInput& input) {
  std::vector<TargetBreach> out;
  if (target == EngineTarget::Any || input.format == nullptr || input.format->limits.flat) return out;
  Breaches breaches(&out, input);
  const bool zip = IsZipFormat(*input.format);
  const auto longerThan = [](uint64_t most) {
    return [most](const TargetEntry& entry, uint64_t* length) {
      *length = entry.path.size();
      return entry.path.size() > most;
    };
  };
  if (target == EngineTarget::Quake || target == EngineTarget::Quake2) {
    if (zip) breaches.Whole(TargetRule::Format);
    breaches.EntryCount(target == EngineTarget::Quake ? kQuakeMaxEntries : kQuake2MaxEntries);
    breaches.EachFile(TargetRule::PathTooLong, kPakEngineMaxPath, longerThan(kPakEngineMaxPath));
    // Quake II looks names up without regard to case; Quake with it, and the game's own
    // names are lower case.
    if (target == EngineTarget::Quake)
      breaches.EachFile(TargetRule::CapitalLetters, 0,
                        [](const TargetEntry& entry, uint64_t*) { return HasCapital(entry.path); });
    return out;
  }
  if (!zip) breaches.Whole(TargetRule::Format);
  breaches.EachFile(TargetRule::NameBytes, kQuake3MaxNameBytes, longerThan(kQuake3MaxNameBytes));
  breaches.EachFile(TargetRule::GamePathTooLong, kQuake3MaxGamePath, longerThan(kQuake3MaxGamePath));
  breaches.EachFile(TargetRule::ForbiddenText, 0,
                    [](const TargetEntry& entry, uint64_t*) { return HasForbiddenText(entry.path); });
  breaches.EachFile(TargetRule::Method, 0, [](const TargetEntry& entry, uint64_t* code) {
    *code = entry.methodCode;
    return entry.method == StoredMethod::Other;
  });
  breaches.EachFile(TargetRule::Encrypted, 0,
                    [](const TargetEntry& entry, uint64_t*) { return entry.method == StoredMethod::Encrypted; });
  if (input.zip64) breaches.Whole(TargetRule::Zip64);
  return out;
}
