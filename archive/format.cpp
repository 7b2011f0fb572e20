#include "archive/format.h"

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

Failure CheckFormatLimits(const Node* root, const ArchiveFormat& format) {
  if (root == nullptr) return Failure();
  const FormatLimits& limits = format.limits;
  // The count first, over the whole tree, then the paths: the first record past the limit
  // and the first path too long are the ones named.
  uint32_t records = 0;
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root))
    if (HasRecord(n, limits) && ++records > limits.maxRecords)
      return Limit(Problem::TooManyFiles, n, records, limits.maxRecords, format);
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root)) {
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
