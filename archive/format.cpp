#include "archive/format.h"

#include <string_view>
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

// The folder part of a stored name, as the tree would hold it: lower-cased, its empty and
// "." components passed over, "/" after each ("" for the root).
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
  LowerCaseAscii(&folder);
  return folder;
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
    const std::string folder = n->parent() == root ? std::string() : StoredPath(n->parent());
    if (StoredFolderOf(source->NameTextOf(entry->index)) == folder) byEntry[entry->index] = n;
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
  const std::vector<const Node*> order = ArchiveOrder(root, source);
  uint32_t records = 0;
  for (const Node* n : order)
    if (HasRecord(n, limits) && ++records > limits.maxRecords)
      return Limit(Problem::TooManyFiles, n, records, limits.maxRecords, format);
  for (const Node* n : order) {
    if (limits.flat && (n->IsDirectory() || n->parent() != root)) return Limit(Problem::NotFlat, n, 0, 0, format);
    if (!HasRecord(n, limits)) continue;
    const std::string path = StoredPath(n);
    const uint64_t length = format.storedNameLength && n->parent() == root ? format.storedNameLength(path) : path.size();
    // In a format without folders the path is a name, and its limit the names'.
    if (length > limits.maxPathLength)
      return Limit(limits.flat ? Problem::NameTooLong : Problem::PathTooLong, n, length, limits.maxPathLength, format);
  }
  return Failure();
}
