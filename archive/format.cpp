#include "archive/format.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "archive/formats_internal.h"
#include "archive/pak_records.h"
#include "archive/wad_records.h"
#include "resources/shell_ids.h"

namespace {

// A ZIP archive's counts are 16-bit and 0xFFFF stands for ZIP64: 65,535 nodes with the
// root, and names whose length fits the 16-bit field with room for the end.
constexpr FormatLimits kZipLimits{65534, false, 65534, false};

const ArchiveFormat kPak{"PAK", {".pak"}, IDS_FILTER_PAK, {kPakMaxEntries, true, kPakMaxPathLength, false},
                         false, OpenPakSource, WritePak};
const ArchiveFormat kPk3{"PK3", {".pk3", ".zip"}, IDS_FILTER_PK3, kZipLimits, true, OpenZipSource, WriteZip};
// The ZIP archives of the Doom 3 family (Quake 4, Enemy Territory: Quake Wars).
const ArchiveFormat kPk4{"PK4", {".pk4"}, IDS_FILTER_PK4, kZipLimits, true, OpenZipSource, WriteZip};
// Quake's archives of textures and pictures: no folders, names of 15 characters without the
// extension a lump shows for its type.
const ArchiveFormat kWad2{"WAD2", {".wad"}, IDS_FILTER_WAD2, {kWadMaxLumps, false, kWadMaxNameLength, true},
                          false, OpenWadSource, WriteWad, WadStoredNameLength};

}  // namespace

const std::vector<const ArchiveFormat*>& ArchiveFormats() {
  static const std::vector<const ArchiveFormat*> formats = {&kPak, &kPk3, &kPk4, &kWad2};
  return formats;
}

const ArchiveFormat& DefaultFormat() { return kPk3; }
const ArchiveFormat& PakFormat() { return kPak; }

std::string FileExtension(const std::string& path) {
  const size_t name = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (name != std::string::npos && dot < name)) return std::string();
  return LowerCased(path.substr(dot));
}

const ArchiveFormat* FormatForPath(const std::string& path) {
  const std::string extension = FileExtension(path);
  if (extension.empty()) return nullptr;
  for (const ArchiveFormat* format : ArchiveFormats())
    for (const char* known : format->extensions)
      if (extension == known) return format;
  return nullptr;
}

namespace {

Failure Limit(Problem problem, const Node* node, uint64_t count, uint64_t limit, const ArchiveFormat& format) {
  Failure f = Fail(problem, StoredPath(node));
  f.count = count;
  f.limit = limit;
  f.format = format.name;
  return f;
}

bool HasRecord(const Node* node, const FormatLimits& limits) {
  return !limits.recordsLeaves || node->firstChild() == nullptr;
}

}  // namespace

namespace {

// The folder part of a stored name, as the tree would hold it but for case (the tree's
// names compare without it): its empty and "." components passed over, "/" after each (""
// for the root).
std::string StoredFolderOf(const std::string& name) {
  std::string folder;
  const size_t end = name.rfind('/');
  if (end == std::string::npos) return folder;
  for (size_t at = 0; at < end;) {
    size_t next = name.find('/', at);
    if (next == std::string::npos || next > end) next = end;
    const std::string_view component(name.data() + at, next - at);
    if (!component.empty() && component != ".") {
      folder.append(component);
      folder += '/';
    }
    at = next + 1;
  }
  return folder;
}

// Whether file, which reads from an entry of source, still lies in the folder the source
// stores that entry in.
bool InStoredFolder(const Node* file, const SourceEntry& entry, const ArchiveSource& source) {
  const Node* parent = file->parent();
  const std::string folder = parent->IsRoot() ? std::string() : StoredPath(parent);
  return SameName(StoredFolderOf(source.NameTextOf(entry.index)), folder);
}

}  // namespace

std::vector<const Node*> ArchiveOrder(const Node* root, const ArchiveSource* source) {
  std::vector<const Node*> order;
  if (root == nullptr) return order;
  std::unordered_set<const Node*> placed;
  // The files still where the source stores them, by entry; a second node reading the same
  // entry (a copy) goes with the rest.
  const uint32_t count = source ? source->Count() : 0;
  std::vector<const Node*> byEntry(count, nullptr);
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root)) {
    const SourceEntry* entry = n->source();
    if (entry == nullptr || entry->index >= count || byEntry[entry->index]) continue;
    if (InStoredFolder(n, *entry, *source)) byEntry[entry->index] = n;
  }
  std::vector<const Node*> above;
  const auto place = [&](const Node* node) {
    // The folders it lies in that have not come yet, outermost first.
    above.clear();
    for (const Node* p = node->parent(); p != root && !placed.count(p); p = p->parent()) above.push_back(p);
    for (auto it = above.rbegin(); it != above.rend(); ++it) {
      placed.insert(*it);
      order.push_back(*it);
    }
    placed.insert(node);
    order.push_back(node);
  };
  for (const Node* node : byEntry)
    if (node) place(node);
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root))
    if (!placed.count(n)) place(n);
  return order;
}

Failure CheckFormatLimits(const Node* root, const ArchiveFormat& format, const ArchiveSource* source) {
  if (root == nullptr) return Failure();
  const FormatLimits& limits = format.limits;
  // The count first, over the whole tree, then the paths: the first record past the limit
  // and the first path too long are the ones named.
  // Each names the first node past the limit and counts the others that pass it too.
  const std::vector<const Node*> order = ArchiveOrder(root, source);
  uint64_t records = 0;
  const Node* firstPast = nullptr;
  for (const Node* n : order)
    if (HasRecord(n, limits) && ++records == uint64_t{limits.maxRecords} + 1) firstPast = n;
  if (firstPast) {
    Failure f = Limit(Problem::TooManyFiles, firstPast, uint64_t{limits.maxRecords} + 1, limits.maxRecords, format);
    f.more = records - limits.maxRecords - 1;
    return f;
  }
  Failure first;
  for (const Node* n : order) {
    if (limits.flat && (n->IsDirectory() || n->parent() != root)) {
      if (!first) return Limit(Problem::NotFlat, n, 0, 0, format);
      continue;
    }
    if (!HasRecord(n, limits)) continue;
    const std::string path = StoredPath(n);
    const uint64_t length = format.storedNameLength && n->parent() == root ? format.storedNameLength(path) : path.size();
    // In a format without folders the path is a name, and its limit the names'.
    if (length <= limits.maxPathLength) continue;
    if (first)
      ++first.more;
    else
      first = Limit(limits.flat ? Problem::NameTooLong : Problem::PathTooLong, n, length, limits.maxPathLength, format);
  }
  return first;
}

Shadows::Shadows(const ArchiveSource* source) : source_(source) {}

const Shadows::Folder& Shadows::In(const Node* folder) {
  auto found = folders_.find(folder);
  if (found != folders_.end()) return found->second;
  Folder& shadowed = folders_[folder];
  // A file's place in the order its folder is written (ArchiveOrder): a file still where the
  // source stores it comes by its entry; any other after all of those, in list order.
  const uint32_t count = source_ ? source_->Count() : 0;
  const auto place = [&](const Node* file, uint64_t position) -> uint64_t {
    const SourceEntry* entry = file->source();
    if (entry && entry->index < count && InStoredFolder(file, *entry, *source_)) return entry->index;
    return uint64_t{count} + position;
  };
  std::unordered_map<std::string, std::pair<const Node*, uint64_t>> first;
  std::vector<const Node*> shared;  // files whose name came before
  uint64_t position = 0;
  for (const Node* child = folder ? folder->firstChild() : nullptr; child; child = child->nextSibling(), ++position) {
    if (!child->IsFile()) continue;
    auto entry = first.emplace(LowerCased(child->name()), std::make_pair(child, uint64_t{0}));
    if (!entry.second) shared.push_back(child);
  }
  if (shared.empty()) return shadowed;
  // Only names held more than once need their files' places.
  position = 0;
  std::unordered_map<const Node*, uint64_t> places;
  for (const Node* child = folder->firstChild(); child; child = child->nextSibling(), ++position)
    if (child->IsFile()) places[child] = place(child, position);
  for (auto& name : first) name.second.second = places[name.second.first];
  // Each name's shown file: the one of the least place.
  for (const Node* file : shared) {
    std::pair<const Node*, uint64_t>& best = first[LowerCased(file->name())];
    const uint64_t at = places[file];
    if (at < best.second) best = {file, at};
  }
  for (const Node* child = folder->firstChild(); child; child = child->nextSibling()) {
    if (!child->IsFile()) continue;
    const auto name = first.find(LowerCased(child->name()));
    if (name->second.first != child) shadowed.emplace(child, name->second.first);
  }
  return shadowed;
}

bool Shadows::IsShadowed(const Node* node) { return ShownFor(node) != node; }

const Node* Shadows::ShownFor(const Node* node) {
  if (node == nullptr || !node->IsFile() || node->parent() == nullptr) return node;
  const Folder& shadowed = In(node->parent());
  const auto found = shadowed.find(node);
  return found == shadowed.end() ? node : found->second;
}

uint32_t Shadows::CountIn(const Node* folder) { return static_cast<uint32_t>(In(folder).size()); }

std::vector<const Node*> ShadowedFiles(const Node* root, const ArchiveSource* source) {
  std::vector<const Node*> files;
  Shadows shadows(source);
  for (const Node* node : ArchiveOrder(root, source))
    if (shadows.IsShadowed(node)) files.push_back(node);
  return files;
}
