// Finding a game's palette: in a document's tree by the paths the game keeps it under, or
// in the game's first archive beside an archive's file.
#include <vector>

#include "archive/disk.h"
#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "pictures/palette_search.h"

namespace {

// The file at path (components split at '/'), of a name stored twice the one shown.
const Node* FileAt(const Node* root, const ArchiveSource* source, const std::string& path) {
  Shadows shadows(source);
  const Node* node = root;
  size_t at = 0;
  while (node && at < path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    node = shadows.ShownFor(FindChildNamed(node, path.substr(at, end - at)));
    at = end + 1;
  }
  return node && node->IsFile() ? node : nullptr;
}

// The name in folder that is name but for case (a Linux folder may spell it PAK0.PAK), or "".
std::string NameInFolder(const std::string& folder, const char* name) {
  std::vector<std::string> names;
  if (!ListDirectory(folder, &names)) return std::string();
  for (const std::string& there : names)
    if (SameName(there, name)) return there;
  return std::string();
}

}  // namespace

const Node* PaletteNodeIn(const ArchiveDocument* doc, PaletteGame game, std::string* path) {
  if (doc == nullptr || doc->root() == nullptr) return nullptr;
  size_t count = 0;
  const char* const* paths = PalettePaths(game, &count);
  for (size_t i = 0; i < count; ++i) {
    const Node* node = FileAt(doc->root(), doc->source.get(), paths[i]);
    if (node) {
      *path = StoredPath(node);
      return node;
    }
  }
  return nullptr;
}

bool PaletteFromDocument(const ArchiveDocument* doc, PaletteGame game, GamePalette* palette) {
  std::string path;
  const Node* node = PaletteNodeIn(doc, game, &path);
  if (node == nullptr) return false;
  SharedBytes bytes;
  if (LoadEntryBytes(doc, node, &bytes) != EntryLoad::Ok || !bytes) return false;
  return PaletteFromBytes(bytes->data(), bytes->size(), path, palette);
}

bool PaletteBesideArchive(const std::string& archivePath, PaletteGame game, GamePalette* palette) {
  const std::string folder = FolderOfPath(archivePath);
  for (const char* wanted : {"pak0.pak", "pak0.pk3"}) {
    const std::string name = NameInFolder(folder, wanted);
    if (name.empty()) continue;
    const std::string path = JoinDiskPath(folder, name);
    if (SameDiskFile(path, archivePath) || StatPath(path).kind != DiskKind::File) continue;
    Failure why;
    const ArchiveFormat* format = nullptr;
    ArchiveDocument doc;
    doc.source = OpenArchive(path, &why, &format);
    if (!doc.source || BuildTree(&doc).problem != Problem::None) continue;
    if (PaletteFromDocument(&doc, game, palette)) {
      palette->from = name + ": " + palette->from;
      return true;
    }
  }
  return false;
}
