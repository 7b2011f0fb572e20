#include "cli/picture_export.h"

#include "archive/disk.h"
#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/quoted_name.h"
#include "archive/tree.h"
#include "cli/console.h"
#include "pictures/palette_search.h"
#include "services/core/archive_text.h"

namespace {

// A picture within the decoders' limits is never much larger than its decoded pixels: its
// header, colour map and palette add at most a few hundred kilobytes. A larger entry is
// refused before it is read into memory.
constexpr uint64_t kMaxPictureEntry = kMaxPictureBytes + 1024 * 1024;

}  // namespace

const GamePalette* PictureExport::PaletteFor(PictureKind kind) {
  const PaletteGame game = PaletteGameOf(kind);
  Found& f = found_[game == PaletteGame::QuakeII ? 1 : 0];
  if (!f.looked) {
    f.looked = true;
    f.found = PaletteFromDocument(&doc_, game, &f.palette) || PaletteBesideArchive(archivePath_, game, &f.palette);
  }
  if (!f.found && !toldGrey_) {
    toldGrey_ = true;
    PrintError(archivePath_ +
               ": no game palette found (gfx/palette.lmp or pics/colormap.pcx in the archive, or pak0.pak or "
               "pak0.pk3 beside it): 8-bit Quake pictures are written in grey levels");
  }
  return f.found ? &f.palette : nullptr;
}

void PictureExport::Offer(const Node* node, const std::string& stored, const std::string& diskPath) {
  if (!MayBeOwnPicture(node->name())) return;
  const std::string where = archivePath_ + ": " + QuotedName(stored.c_str()) + ": ";
  // Beside a file the archive holds under the PNG's name, that file is what the folder gets:
  // a PNG of ours never takes its place, nor is it kept in its stead.
  const Node* parent = node->parent();
  const Node* own = parent ? FindChildNamed(parent, node->name() + ".png") : nullptr;
  if (own != nullptr) {
    PrintError(where + "not written as PNG: the archive holds a file of that name, " +
               QuotedName((stored + ".png").c_str()));
    ++failed;
    return;
  }
  if (node->size() > kMaxPictureEntry) {
    PrintError(where + "not written as PNG: the file is too large to be a picture that can be shown");
    ++failed;
    return;
  }
  SharedBytes bytes;
  const EntryLoad load = LoadEntryBytes(&doc_, node, &bytes);
  if (load != EntryLoad::Ok) {
    PrintError(where + "not written as PNG: " + EntryLoadReason(load));
    ++failed;
    return;
  }
  const uint8_t* data = bytes ? bytes->data() : nullptr;
  const size_t size = bytes ? bytes->size() : 0;
  const PictureKind kind = PictureKindOf(node->name(), data, size);
  if (IsPlatformPicture(kind)) return;
  // Many an LMP is no picture (colormap.lmp, the demo files of some games): nothing to say
  // about those. A TGA, PCX, WAL or mip texture that is none is named.
  if (kind == PictureKind::None) {
    const std::string extension = FileExtension(node->name());
    if (extension != ".lmp" && !extension.empty()) {
      PrintError(where + "not written as PNG: its bytes are not those of a picture of its type");
      ++failed;
    }
    return;
  }
  Picture picture;
  std::string why;
  if (!DecodePicture(kind, data, size, NeedsGamePalette(kind) ? PaletteFor(kind) : nullptr, &picture, &why)) {
    PrintError(where + "not written as PNG: " + why);
    ++failed;
    return;
  }
  std::string png;
  if (!EncodePng(picture, &png)) {
    PrintError(where + "not written as PNG: there is not enough memory");
    ++failed;
    return;
  }
  const std::string path = diskPath + ".png";
  const DiskKind there = StatLink(path).kind;
  if (there == DiskKind::File && !overwrite_) {
    PrintError(where + "kept the existing " + PrintableName(path) + " (--overwrite replaces it)");
    return;
  }
  DiskFileOut out;
  if (there != DiskKind::Missing && there != DiskKind::File) {
    PrintError(where + "not written as PNG: something other than a file is in the way at " + PrintableName(path));
    ++failed;
    return;
  }
  if (!out.Open(path, there == DiskKind::File) ||
      !out.Write(reinterpret_cast<const uint8_t*>(png.data()), png.size()) || !out.Commit()) {
    PrintError(where + "not written as PNG to " + PrintableName(path) + ": " + ErrorText(out.Error()));
    out.Abandon();
    ++failed;
    return;
  }
  ++written;
}
