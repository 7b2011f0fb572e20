// Telling the kinds of pictures apart: by the entry's extension, confirmed by the magic of
// the kinds that have one, by the header's sense for TGA (which has none), and by the exact
// sizes of the Quake kinds that have neither header nor magic.
#include <cstring>

#include "archive/bytes.h"
#include "archive/tree.h"
#include "pictures/decoders.h"
#include "pictures/picture.h"

namespace {

constexpr size_t kConcharsBytes = 128 * 128;
constexpr size_t kPaletteBytes = 768;
constexpr size_t kWalHeader = 100;
constexpr size_t kMipHeader = 40;

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

// The kind the platform's magic says, whatever platform extension the name has: a JPEG
// saved as ".png" is still shown, as the system's own viewers show it.
PictureKind PlatformKindOf(const uint8_t* data, size_t size) {
  if (StartsWith(data, size, "\x89PNG", 4)) return PictureKind::Png;
  if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) return PictureKind::Jpeg;
  if (StartsWith(data, size, "GIF8", 4)) return PictureKind::Gif;
  if (StartsWith(data, size, "BM", 2)) return PictureKind::Bmp;
  return PictureKind::None;
}

// A mip texture's or a WAL's sizes are plausible: no side of 0.
bool HasSides(const uint8_t* data, size_t size, size_t at) {
  return size >= at + 8 && GetLE32(data + at) != 0 && GetLE32(data + at + 4) != 0;
}

}  // namespace

namespace {

struct NameParts {
  std::string stem, ext;  // lower-cased; ext with its dot
};

NameParts PartsOf(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const std::string base = LowerCased(slash == std::string::npos ? name : name.substr(slash + 1));
  const size_t dot = base.rfind('.');
  if (dot == std::string::npos) return {base, std::string()};
  return {base.substr(0, dot), base.substr(dot)};
}

}  // namespace

bool MayBeOwnPicture(const std::string& name) {
  const NameParts parts = PartsOf(name);
  const std::string& ext = parts.ext;
  return parts.stem == "conchars" || ext == ".tga" || ext == ".pcx" || ext == ".lmp" || ext == ".wal" ||
         ext == ".mip";
}

PictureKind PictureKindOfHead(const std::string& name, const uint8_t* head, size_t headSize, uint64_t entrySize) {
  const NameParts parts = PartsOf(name);
  const std::string &stem = parts.stem, &ext = parts.ext;

  // The console font is a raw block whatever a WAD2 lump's type or a file's name gives it.
  if (stem == "conchars" && entrySize == kConcharsBytes) return PictureKind::Conchars;
  if (ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".bmp" || ext == ".gif")
    return PlatformKindOf(head, headSize);
  if (ext == ".tga") return LooksLikeTga(head, headSize) ? PictureKind::Tga : PictureKind::None;
  if (ext == ".pcx") return LooksLikePcx(head, headSize) ? PictureKind::Pcx : PictureKind::None;
  if (ext == ".lmp") {
    if (stem == "palette" && entrySize == kPaletteBytes) return PictureKind::QuakePalette;
    if (headSize >= 8) {
      const uint64_t pixels = static_cast<uint64_t>(GetLE32(head)) * GetLE32(head + 4);
      if (pixels != 0 && entrySize >= 8 && entrySize - 8 == pixels) return PictureKind::QuakePicture;
    }
    return PictureKind::None;
  }
  if (ext == ".wal")
    return entrySize >= kWalHeader && HasSides(head, headSize, 32) ? PictureKind::Wal : PictureKind::None;
  if (ext == ".mip")
    return entrySize >= kMipHeader && HasSides(head, headSize, 16) ? PictureKind::MipTexture : PictureKind::None;
  return PictureKind::None;
}

PictureKind PictureKindOf(const std::string& name, const uint8_t* data, size_t size) {
  return PictureKindOfHead(name, data, size, size);
}

bool IsPlatformPicture(PictureKind kind) {
  return kind == PictureKind::Png || kind == PictureKind::Jpeg || kind == PictureKind::Bmp ||
         kind == PictureKind::Gif;
}

const char* PictureKindName(PictureKind kind) {
  switch (kind) {
    case PictureKind::Png: return "PNG";
    case PictureKind::Jpeg: return "JPEG";
    case PictureKind::Bmp: return "BMP";
    case PictureKind::Gif: return "GIF";
    case PictureKind::Tga: return "TGA";
    case PictureKind::Pcx: return "PCX";
    case PictureKind::QuakePicture: return "LMP";
    case PictureKind::QuakePalette: return "palette";
    case PictureKind::Conchars: return "conchars";
    case PictureKind::Wal: return "WAL";
    case PictureKind::MipTexture: return "mip texture";
    case PictureKind::None: break;
  }
  return "";
}
