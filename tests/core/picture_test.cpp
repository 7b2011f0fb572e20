// The decoders of our own picture kinds. TGA and PCX: files ImageMagick wrote, compared pixel
// for pixel with the RGBA ImageMagick itself reads from them (`convert x.tga -auto-orient
// rgba:x.rgba`: ImageMagick keeps a TGA's rows as stored and applies the origin the file
// declares only when asked to orient it). The Quake kinds: files built
// here byte by byte from their layouts, in the colours of a test palette. Every truncation
// and one-byte corruption of each decodes or is refused, never read outside its bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "archive/bytes.h"
#include "pictures/picture.h"
#include "tests/core/test_support.h"

namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(FixturePath("pictures/" + name), &bytes)) << name;
  return bytes;
}

std::vector<uint8_t> Pixels(const Picture& picture) {
  const uint8_t* p = picture.rgba.get();
  return std::vector<uint8_t>(p, p + static_cast<size_t>(picture.width) * picture.height * 4);
}

bool Decode(const std::string& name, const std::vector<uint8_t>& bytes, const GamePalette* palette,
            Picture* picture, std::string* why) {
  const PictureKind kind = PictureKindOf(name, bytes.data(), bytes.size());
  return DecodePicture(kind, bytes.data(), bytes.size(), palette, picture, why);
}

struct FixtureCase {
  const char* file;
  uint8_t bits;
  bool indexed, hasAlpha;
};

const FixtureCase kFixtures[] = {
    {"tc24.tga", 24, false, false},        {"tc24_rle.tga", 24, false, false},
    {"tc24_top.tga", 24, false, false},    {"tc24_right.tga", 24, false, false},
    {"tc32.tga", 32, false, true},         {"tc32_rle_top.tga", 32, false, true},
    {"mapped.tga", 8, true, false},        {"mapped_rle.tga", 8, true, false},
    {"grey.tga", 8, false, false},         {"grey_rle.tga", 8, false, false},
    {"pcx8.pcx", 8, true, false},          {"pcx24.pcx", 24, false, false},
    {"pcx32.pcx", 32, false, true},
};

TEST(PictureFixtureTest, DecodesAsImageMagickReadsThem) {
  for (const FixtureCase& c : kFixtures) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> bytes = Fixture(c.file);
    std::string stem(c.file);
    stem.resize(stem.rfind('.'));
    const std::vector<uint8_t> expected = Fixture(stem + ".rgba");
    Picture picture;
    std::string why;
    ASSERT_TRUE(Decode(c.file, bytes, nullptr, &picture, &why)) << why;
    EXPECT_EQ(picture.width, 37u);
    EXPECT_EQ(picture.height, 23u);
    EXPECT_EQ(picture.bits, c.bits);
    EXPECT_EQ(picture.indexed, c.indexed);
    EXPECT_EQ(picture.hasAlpha, c.hasAlpha);
    EXPECT_FALSE(picture.gamePalette);
    EXPECT_TRUE(Pixels(picture) == expected);
  }
}

// A decoded picture is whole: its buffer holds every pixel it claims (ASan reads them all).
void ExpectWholeIfDecoded(const std::string& name, const std::vector<uint8_t>& bytes, const GamePalette* palette) {
  Picture picture;
  std::string why;
  if (Decode(name, bytes, palette, &picture, &why)) {
    ASSERT_TRUE(picture.rgba != nullptr);
    volatile uint8_t sum = 0;
    for (const uint8_t v : Pixels(picture)) sum = static_cast<uint8_t>(sum + v);
  } else {
    EXPECT_FALSE(why.empty()) << name;
    EXPECT_TRUE(picture.rgba == nullptr);
  }
}

// Every truncation, and every byte set to 0x00, 0xFF and itself ^ 0x80. Past the first
// kilobyte of a large file (the console font's 16 KB of bare pixels) only every 61st place
// is tried, so that the test stays short.
size_t NextPlace(size_t at, size_t size) { return at < 1024 || size <= 4096 ? at + 1 : at + 61; }

void ExpectDamageHandled(const std::string& name, std::vector<uint8_t> bytes, const GamePalette* palette) {
  for (size_t n = 0; n < bytes.size(); n = NextPlace(n, bytes.size()))
    ExpectWholeIfDecoded(name, std::vector<uint8_t>(bytes.begin(), bytes.begin() + n), palette);
  for (size_t i = 0; i < bytes.size(); i = NextPlace(i, bytes.size())) {
    const uint8_t kept = bytes[i];
    for (const uint8_t v : {uint8_t(0), uint8_t(0xFF), uint8_t(kept ^ 0x80)}) {
      bytes[i] = v;
      ExpectWholeIfDecoded(name, bytes, palette);
    }
    bytes[i] = kept;
  }
}

TEST(PictureFixtureTest, EveryTruncationAndCorruptionDecodesOrIsRefused) {
  for (const FixtureCase& c : kFixtures) {
    SCOPED_TRACE(c.file);
    ExpectDamageHandled(c.file, Fixture(c.file), nullptr);
  }
}

// ---- Files built byte by byte ----

GamePalette TestPalette() {
  GamePalette palette;
  for (int i = 0; i < 256; ++i) {
    palette.rgb[i * 3] = static_cast<uint8_t>(i);
    palette.rgb[i * 3 + 1] = static_cast<uint8_t>(255 - i);
    palette.rgb[i * 3 + 2] = static_cast<uint8_t>(i * 7);
  }
  palette.from = "gfx/palette.lmp";
  return palette;
}

std::vector<uint8_t> IndexPattern(uint32_t width, uint32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 + 11);
  pixels[0] = 255;
  pixels[1] = 0;
  return pixels;
}

void Append32(std::vector<uint8_t>* out, uint32_t v) {
  uint8_t b[4];
  PutLE32(b, v);
  out->insert(out->end(), b, b + 4);
}

std::vector<uint8_t> Lmp(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> out;
  Append32(&out, width);
  Append32(&out, height);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// A texture's header (WAL: 32-byte name, sizes, 4 offsets, then 44 bytes of animation
// name, flags, contents and value; mip: 16-byte name, sizes, 4 offsets), then its four levels.
std::vector<uint8_t> Texture(bool wal, const char* name, uint32_t width, uint32_t height,
                             const std::vector<uint8_t>& pixels) {
  const size_t nameBytes = wal ? 32 : 16, header = wal ? 100 : 40;
  std::vector<uint8_t> out(nameBytes, 0);
  std::memcpy(out.data(), name, std::strlen(name));
  Append32(&out, width);
  Append32(&out, height);
  uint32_t offset = static_cast<uint32_t>(header);
  for (uint32_t level = 0; level < 4; ++level) {
    Append32(&out, offset);
    offset += (width >> level) * (height >> level);
  }
  out.resize(header, 0);
  out.insert(out.end(), pixels.begin(), pixels.end());
  out.resize(offset, 0x42);
  return out;
}

// The expected RGBA of indexes in the test palette (or grey without one), with the
// transparent index's alpha 0.
std::vector<uint8_t> Expected(const std::vector<uint8_t>& pixels, const GamePalette* palette, int transparent) {
  std::vector<uint8_t> out;
  for (const uint8_t i : pixels) {
    for (int c = 0; c < 3; ++c) out.push_back(palette ? palette->rgb[i * 3 + c] : i);
    out.push_back(i == transparent ? 0 : 255);
  }
  return out;
}

struct QuakeCase {
  const char* name;
  std::vector<uint8_t> bytes;
  PictureKind kind;
  uint32_t width, height;
  std::vector<uint8_t> pixels;  // the indexes shown, top row first
  int transparent;
};

std::vector<QuakeCase> QuakeCases() {
  const std::vector<uint8_t> small = IndexPattern(8, 4), font = IndexPattern(128, 128);
  return {
      {"gfx/qplaque.lmp", Lmp(8, 4, small), PictureKind::QuakePicture, 8, 4, small, 255},
      {"GFX/CONCHARS.LMP", font, PictureKind::Conchars, 128, 128, font, 0},
      {"conchars.mip", font, PictureKind::Conchars, 128, 128, font, 0},
      {"textures/e1u1/floor1_3.wal", Texture(true, "e1u1/floor1_3", 8, 4, small), PictureKind::Wal, 8, 4, small, -1},
      {"brick.mip", Texture(false, "brick", 8, 4, small), PictureKind::MipTexture, 8, 4, small, -1},
      {"fence.mip", Texture(false, "{fence", 8, 4, small), PictureKind::MipTexture, 8, 4, small, 255},
  };
}

// A PCX whose window starts at x = 1, whose rows are padded to 4 bytes, and whose last row
// is one run of a value only a run can store; its palette is the test palette.
TEST(PcxLayoutTest, WindowPaddingAndRunsFollowTheHeader) {
  std::vector<uint8_t> pcx(128, 0);
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8;
  PutLE16(&pcx[4], 1);
  PutLE16(&pcx[8], 3);
  PutLE16(&pcx[10], 1);
  pcx[65] = 1;
  PutLE16(&pcx[66], 4);
  pcx.insert(pcx.end(), {10, 20, 30, 99, 0xC4, 0xC8});
  const GamePalette palette = TestPalette();
  pcx.push_back(0x0C);
  pcx.insert(pcx.end(), palette.rgb, palette.rgb + 768);
  Picture picture;
  std::string why;
  ASSERT_TRUE(Decode("pics/x.pcx", pcx, nullptr, &picture, &why)) << why;
  EXPECT_EQ(picture.width, 3u);
  EXPECT_EQ(picture.height, 2u);
  EXPECT_FALSE(picture.gamePalette);
  EXPECT_TRUE(Pixels(picture) == Expected({10, 20, 30, 200, 200, 200}, &palette, -1));
  GamePalette read;
  ASSERT_TRUE(PaletteFromBytes(pcx.data(), pcx.size(), "pics/colormap.pcx", &read));
  EXPECT_EQ(std::memcmp(read.rgb, palette.rgb, 768), 0);
  EXPECT_EQ(read.from, "pics/colormap.pcx");
  ExpectDamageHandled("pics/x.pcx", pcx, nullptr);
}

TEST(QuakePictureTest, DecodesInTheGamePaletteOrInGreyLevels) {
  const GamePalette palette = TestPalette();
  for (const QuakeCase& c : QuakeCases()) {
    for (const GamePalette* given : {&palette, static_cast<const GamePalette*>(nullptr)}) {
      SCOPED_TRACE(std::string(c.name) + (given ? " in the palette" : " in grey"));
      ASSERT_EQ(PictureKindOf(c.name, c.bytes.data(), c.bytes.size()), c.kind);
      Picture picture;
      std::string why;
      ASSERT_TRUE(Decode(c.name, c.bytes, given, &picture, &why)) << why;
      EXPECT_EQ(picture.width, c.width);
      EXPECT_EQ(picture.height, c.height);
      EXPECT_EQ(picture.bits, 8);
      EXPECT_TRUE(picture.indexed);
      EXPECT_TRUE(picture.gamePalette);
      EXPECT_EQ(picture.hasAlpha, c.transparent >= 0);
      EXPECT_TRUE(Pixels(picture) == Expected(c.pixels, given, c.transparent));
    }
  }
}

TEST(QuakePictureTest, APaletteShowsItsColoursSixteenToARow) {
  const GamePalette palette = TestPalette();
  const std::vector<uint8_t> bytes(palette.rgb, palette.rgb + 768);
  ASSERT_EQ(PictureKindOf("gfx/Palette.lmp", bytes.data(), bytes.size()), PictureKind::QuakePalette);
  EXPECT_FALSE(NeedsGamePalette(PictureKind::QuakePalette));
  Picture picture;
  std::string why;
  ASSERT_TRUE(Decode("gfx/palette.lmp", bytes, nullptr, &picture, &why)) << why;
  EXPECT_EQ(picture.width, 16u);
  EXPECT_EQ(picture.height, 16u);
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  EXPECT_TRUE(Pixels(picture) == Expected(all, &palette, -1));
}

TEST(QuakePictureTest, InconsistentFilesAreRefusedWithTheirReason) {
  const std::vector<uint8_t> small = IndexPattern(8, 4);
  std::vector<uint8_t> wal = Texture(true, "a", 8, 4, small);
  PutLE32(&wal[40], static_cast<uint32_t>(wal.size() - 31));  // mip 0 runs off the end
  std::vector<uint8_t> mip = Texture(false, "a", 8, 4, small);
  PutLE32(&mip[36], 0xFFFFFFF0u);  // mip 3 beyond the file
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    PictureKind kind;
    const char* why;
  } cases[] = {
      {"a.lmp", Lmp(8, 5, small), PictureKind::QuakePicture, "the file's size is not that of a 8 x 5 picture"},
      {"a.wal", wal, PictureKind::Wal, "the file ends inside its pixels"},
      {"a.mip", mip, PictureKind::MipTexture, "mip level 3 lies outside the file"},
      {"a.wal", Texture(true, "a", 0, 4, {}), PictureKind::Wal, "the picture has no pixels"},
      {"a.lmp", Lmp(0x10000, 0x10000, {}), PictureKind::QuakePicture, "the file's size is not that of a 65536 x 65536 picture"},
  };
  for (const auto& c : cases) {
    Picture picture;
    std::string why;
    EXPECT_FALSE(DecodePicture(c.kind, c.bytes.data(), c.bytes.size(), nullptr, &picture, &why)) << c.why;
    EXPECT_EQ(why, c.why);
  }
}

TEST(QuakePictureTest, EveryTruncationAndCorruptionDecodesOrIsRefused) {
  const GamePalette palette = TestPalette();
  for (const QuakeCase& c : QuakeCases()) {
    if (c.kind == PictureKind::Conchars && c.name[0] == 'c') continue;  // the same bytes as the .lmp
    SCOPED_TRACE(c.name);
    ExpectDamageHandled(c.name, c.bytes, &palette);
  }
}

TEST(PictureKindTest, NamesAndMagicDecideTheKind) {
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10}, jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
  const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'}, bmp = {'B', 'M', 0, 0};
  const std::vector<uint8_t> tga = Fixture("tc24.tga"), pcx = Fixture("pcx8.pcx");
  const std::vector<uint8_t> colormap(16385, 3), lmp = Lmp(2, 2, {1, 2, 3, 4});
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    PictureKind kind;
  } cases[] = {
      {"a/b.PNG", png, PictureKind::Png},         {"b.jpg", jpeg, PictureKind::Jpeg},
      {"b.JPEG", jpeg, PictureKind::Jpeg},        {"b.png", jpeg, PictureKind::Jpeg},
      {"b.gif", gif, PictureKind::Gif},           {"b.bmp", bmp, PictureKind::Bmp},
      {"b.png", tga, PictureKind::None},          {"b.txt", png, PictureKind::None},
      {"textures/x.tga", tga, PictureKind::Tga},  {"x.tga", png, PictureKind::None},
      {"x.tga", {}, PictureKind::None},           {"pics/colormap.pcx", pcx, PictureKind::Pcx},
      {"x.pcx", tga, PictureKind::None},          {"gfx/colormap.lmp", colormap, PictureKind::None},
      {"x.lmp", lmp, PictureKind::QuakePicture},  {"palette.lmp", lmp, PictureKind::QuakePicture},
      {"x.lmp", std::vector<uint8_t>(768, 1), PictureKind::None},
      {"conchars", std::vector<uint8_t>(16384, 1), PictureKind::Conchars},
      {"conchars.lmp", std::vector<uint8_t>(16383, 1), PictureKind::None},
      {"x.wal", std::vector<uint8_t>(99, 1), PictureKind::None},
      {"x.mip", std::vector<uint8_t>(40, 1), PictureKind::MipTexture},
      {"x.mip", std::vector<uint8_t>(40, 0), PictureKind::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PictureKindOf(c.name, c.bytes.data(), c.bytes.size()), c.kind)
        << c.name << " (" << c.bytes.size() << " bytes)";
  for (PictureKind kind : {PictureKind::Png, PictureKind::Jpeg, PictureKind::Bmp, PictureKind::Gif})
    EXPECT_TRUE(IsPlatformPicture(kind));
  EXPECT_FALSE(IsPlatformPicture(PictureKind::Tga));
  EXPECT_EQ(PaletteGameOf(PictureKind::Wal), PaletteGame::QuakeII);
  EXPECT_EQ(PaletteGameOf(PictureKind::MipTexture), PaletteGame::Quake);
  EXPECT_STREQ(PictureKindName(PictureKind::MipTexture), "mip texture");
}

// ---- Limits, checked before a byte is allocated ----

// A grey RLE TGA of width x height whose packets each run 128 pixels.
std::vector<uint8_t> GreyRunsTga(uint32_t width, uint32_t height) {
  std::vector<uint8_t> out(18, 0);
  out[2] = 11;
  PutLE16(&out[12], static_cast<uint16_t>(width));
  PutLE16(&out[14], static_cast<uint16_t>(height));
  out[16] = 8;
  const uint64_t packets = (static_cast<uint64_t>(width) * height + 127) / 128;
  for (uint64_t i = 0; i < packets; ++i) out.insert(out.end(), {0xFF, 0x80});
  return out;
}

TEST(PictureLimitTest, LargePicturesAreRefusedBeforeTheyAreAllocated) {
  const struct {
    uint32_t width, height;
    bool fits;
    const char* why;
  } cases[] = {
      {16384, 1, true, ""},
      {16385, 1, false, "the picture is larger than 16,384 pixels a side (16385 x 1)"},
      {1, 16385, false, "the picture is larger than 16,384 pixels a side (1 x 16385)"},
      {16384, 4096, true, ""},
      {16384, 4097, false, "the picture would take more than 256 MB decoded (16384 x 4097)"},
      {0, 5, false, "the picture has no pixels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    Picture picture;
    std::string why;
    EXPECT_EQ(AllocatePicture(&picture, c.width, c.height, &why), c.fits);
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(picture.rgba != nullptr, c.fits);
  }
  // Through a decoder: a TGA whose runs would fill more than 256 MB.
  const std::vector<uint8_t> huge = GreyRunsTga(16384, 4097);
  Picture picture;
  std::string why;
  EXPECT_FALSE(DecodePicture(PictureKind::Tga, huge.data(), huge.size(), nullptr, &picture, &why));
  EXPECT_EQ(why, "the picture would take more than 256 MB decoded (16384 x 4097)");
  // A header that asks for a big picture from a small file is refused on the file's size.
  std::vector<uint8_t> tiny = GreyRunsTga(4000, 4000);
  tiny.resize(1000);
  EXPECT_FALSE(DecodePicture(PictureKind::Tga, tiny.data(), tiny.size(), nullptr, &picture, &why));
  EXPECT_EQ(why, "the file ends inside its pixels");
}

}  // namespace
