// Pictures decoded from entries: the kinds the program shows, how each is told apart, and
// the decoders of the kinds that are ours (the Quake formats, TGA and PCX). PNG, JPEG, BMP
// and GIF are named here too, but decoded by the platform's own decoders, never here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class PictureKind : uint8_t {
  None,
  Png, Jpeg, Bmp, Gif,  // the platform's
  Tga, Pcx,
  QuakePicture,  // an LMP: two little-endian 32-bit sizes, then 8-bit pixels
  QuakePalette,  // a 768-byte palette (gfx/palette.lmp): shown as its 16 x 16 colours
  Conchars,      // the console font: a 128 x 128 block of 8-bit pixels without a header
  Wal,           // a Quake II texture
  MipTexture,    // a mip texture as WAD2 archives hold them (40-byte header)
};

// The largest picture decoded: a side, and the decoded bytes.
constexpr uint32_t kMaxPictureSide = 16384;
constexpr uint64_t kMaxPictureBytes = 256ull * 1024 * 1024;

// A decoded picture: 4 bytes a pixel (R, G, B, A), the top row first.
struct Picture {
  uint32_t width = 0, height = 0;
  std::unique_ptr<uint8_t[]> rgba;
  uint8_t bits = 0;          // bits a pixel as stored (8, 16, 24, 32)
  bool indexed = false;      // 8-bit pixels that index a palette
  bool gamePalette = false;  // the palette is the game's (Quake kinds), not the file's own
  bool hasAlpha = false;     // some pixel is not fully opaque
};

// A game's palette of 256 colours, and where it was found (an entry's path, or an archive
// and an entry: "pak0.pak: gfx/palette.lmp"), for the caption under the picture.
struct GamePalette {
  uint8_t rgb[768] = {};
  std::string from;
};

// Which game's palette a kind takes: Quake II's for WAL, Quake's for the other Quake kinds.
enum class PaletteGame : uint8_t { Quake, QuakeII };
PaletteGame PaletteGameOf(PictureKind kind);
// Whether the kind's colours come from a game palette.
bool NeedsGamePalette(PictureKind kind);
// Whether the platform decodes the kind (PNG, JPEG, BMP, GIF).
bool IsPlatformPicture(PictureKind kind);

// The kind of an entry by its name (a path; the extension and, for palette and conchars,
// the base name, compared without regard to case) and its bytes; None when no decoder
// takes it. The kinds without magic (palette, conchars, LMP) are told by the entry's exact
// size, so data must be the whole entry: with fewer bytes, use PictureKindOfHead.
PictureKind PictureKindOf(const std::string& name, const uint8_t* data, size_t size);
// The same from the entry's first bytes (128 are enough for every kind) and its size.
PictureKind PictureKindOfHead(const std::string& name, const uint8_t* head, size_t headSize, uint64_t entrySize);
// Whether an entry of this name could be one of our own kinds (not the platform's): what a
// caller asks before it reads an entry's bytes to find out.
bool MayBeOwnPicture(const std::string& name);
// "PNG", "JPEG", "BMP", "GIF", "TGA", "PCX", "LMP", "palette", "conchars", "WAL", "mip texture".
const char* PictureKindName(PictureKind kind);

// Gives the picture room for width x height pixels: false, with the reason, for a side of
// 0 or above kMaxPictureSide, more than kMaxPictureBytes decoded, or no memory.
bool AllocatePicture(Picture* picture, uint32_t width, uint32_t height, std::string* why);

// Decodes one of our own kinds (not the platform's) held whole in data. An 8-bit Quake
// kind takes its colours from palette; with none it is shown in grey levels. False, with
// the reason ("the file ends inside its pixels"), on the first inconsistency: decoding
// never reads outside data and never allocates more than the limits allow.
bool DecodePicture(PictureKind kind, const uint8_t* data, size_t size, const GamePalette* palette,
                   Picture* picture, std::string* why);

// Reads a game palette from a palette entry's bytes: 768 bytes of RGB (palette.lmp), or the
// 256-colour palette at the end of an 8-bit PCX (Quake II's pics/colormap.pcx). from is
// kept as the palette's source. False when the bytes hold none.
bool PaletteFromBytes(const uint8_t* data, size_t size, std::string from, GamePalette* palette);

// The entry paths a game keeps its palette under, in the order they are looked for, for a
// kind of that game's pictures: "gfx/palette.lmp" and "pics/colormap.pcx", Quake II's first
// for a WAL.
const char* const* PalettePaths(PaletteGame game, size_t* count);

// The picture as a PNG file (8-bit RGBA, or RGB when every pixel is opaque), in memory.
// False only when memory runs out.
bool EncodePng(const Picture& picture, std::string* png);
