#include "panes/entry_picture.h"

#include "pictures/palette_search.h"
#include "services/platform_pictures.h"

namespace {

// The file name of a path, after its last separator.
std::string FileNameOf(const char* path) {
  std::string name(path ? path : "");
  const size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool SnapshotPalette(const WindowDocument* doc, PaletteGame game, PaletteSource* source) {
  std::string path;
  const Node* node = PaletteNodeIn(doc, game, &path);
  if (!node) return false;
  source->entry = SnapshotEntry(doc, node);
  if (source->entry.refused != EntryLoad::Ok) return false;
  source->inArchive = true;
  source->from = path;
  return true;
}

}  // namespace

PaletteSource FindPaletteSource(HWND window, const WindowDocument* doc, PictureKind kind) {
  PaletteSource source;
  source.game = PaletteGameOf(kind);
  if (!NeedsGamePalette(kind) || !doc) return source;
  if (SnapshotPalette(doc, source.game, &source)) return source;
  const PaletteGame game = source.game;
  FindArchiveWindow(window, [&source, game](const WindowDocument* other) {
    if (!SnapshotPalette(other, game, &source)) return false;
    source.from = FileNameOf(DocumentPath(other)) + ": " + source.from;
    return true;
  });
  if (!source.inArchive && DocumentPath(doc)) source.besideFile = DocumentPath(doc);
  return source;
}

bool LoadPalette(const PaletteSource& source, GamePalette* palette, const std::atomic<bool>* stop) {
  if (source.inArchive) {
    SharedBytes bytes;
    // A palette is 768 bytes; a Quake II colormap.pcx keeps its palette at its end.
    if (ReadSnapshot(source.entry, source.entry.size, &bytes, stop) != EntryLoad::Ok || !bytes) return false;
    return PaletteFromBytes(bytes->data(), bytes->size(), source.from, palette);
  }
  return !source.besideFile.empty() && PaletteBesideArchive(source.besideFile, source.game, palette);
}

bool DecodeEntryPicture(const uint8_t* data, size_t size, PictureKind kind, const GamePalette* palette,
                        Picture* picture, std::string* why) {
  if (kind == PictureKind::None) {
    if (why) *why = "it is no picture";
    return false;
  }
  if (IsPlatformPicture(kind)) return DecodeWithPlatform(data, size, picture, why);
  return DecodePicture(kind, data, size, palette, picture, why);
}
