// Game palettes found in a document's tree and in the game's first archive beside an
// archive's file, and pictures written as PNG files and read back by zlib alone.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pictures/palette_search.h"
#include "pictures/picture.h"
#include "tests/core/writer_support.h"

namespace {

std::vector<uint8_t> PaletteBytes(uint8_t seed) {
  std::vector<uint8_t> rgb(768);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * seed + 1);
  return rgb;
}

// An 8-bit PCX of 1 x 1 pixel with the palette at its end, as Quake II's colormap.pcx.
std::vector<uint8_t> ColormapPcx(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> pcx(128, 0);
  pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8, pcx[65] = 1, pcx[66] = 2;
  pcx.push_back(7);
  pcx.push_back(0);
  pcx.push_back(0x0C);
  pcx.insert(pcx.end(), rgb.begin(), rgb.end());
  return pcx;
}

bool Holds(const GamePalette& palette, const std::vector<uint8_t>& rgb) {
  return std::memcmp(palette.rgb, rgb.data(), 768) == 0;
}

TEST(PaletteSearchTest, EachGameTakesItsOwnPathFirstWhateverTheCase) {
  const std::vector<uint8_t> quake = PaletteBytes(3), quake2 = PaletteBytes(5);
  TestDocument doc;
  doc.tree().SetKeepsCase(true);
  doc.AddPath("maps/e1m1.bsp", {1, 2, 3});
  doc.AddPath("GFX/Palette.LMP", quake);
  const struct {
    PaletteGame game;
    const char* path;
  } onlyQuake[] = {{PaletteGame::Quake, "GFX/Palette.LMP"}, {PaletteGame::QuakeII, "GFX/Palette.LMP"}};
  for (const auto& c : onlyQuake) {
    std::string path;
    ASSERT_NE(PaletteNodeIn(&doc.doc, c.game, &path), nullptr);
    EXPECT_EQ(path, c.path);
  }
  doc.AddPath("pics/colormap.pcx", ColormapPcx(quake2));
  GamePalette palette;
  ASSERT_TRUE(PaletteFromDocument(&doc.doc, PaletteGame::QuakeII, &palette));
  EXPECT_EQ(palette.from, "pics/colormap.pcx");
  EXPECT_TRUE(Holds(palette, quake2));
  ASSERT_TRUE(PaletteFromDocument(&doc.doc, PaletteGame::Quake, &palette));
  EXPECT_EQ(palette.from, "GFX/Palette.LMP");
  EXPECT_TRUE(Holds(palette, quake));

  TestDocument none;
  none.AddPath("gfx/palette.lmp/", {});
  none.AddPath("gfx/colormap.lmp", std::vector<uint8_t>(16385, 0));
  EXPECT_FALSE(PaletteFromDocument(&none.doc, PaletteGame::Quake, &palette));
  TestDocument wrongSize;
  wrongSize.AddPath("gfx/palette.lmp", std::vector<uint8_t>(767, 0));
  EXPECT_FALSE(PaletteFromDocument(&wrongSize.doc, PaletteGame::Quake, &palette));
}

TEST(PaletteSearchTest, BesideAnArchiveTheGamesFirstArchiveIsRead) {
  ScratchDir dir;
  RecordingSaveHost host;
  const std::vector<uint8_t> inPak = PaletteBytes(7), inPk3 = PaletteBytes(9);
  TestDocument pak;
  pak.AddPath("gfx/palette.lmp", inPak);
  ASSERT_TRUE(SaveAs(pak, *FormatForPath("x.pak"), dir.Path("pak0.pak"), host));
  TestDocument pk3;
  pk3.AddPath("gfx/palette.lmp", inPk3);
  ASSERT_TRUE(SaveAs(pk3, *FormatForPath("x.pk3"), dir.Path("pak0.pk3"), host));

  GamePalette palette;
  ASSERT_TRUE(PaletteBesideArchive(dir.Path("mymod.pk3"), PaletteGame::Quake, &palette));
  EXPECT_EQ(palette.from, "pak0.pak: gfx/palette.lmp");
  EXPECT_TRUE(Holds(palette, inPak));
  // The archive itself is not looked in again.
  ASSERT_TRUE(PaletteBesideArchive(dir.Path("pak0.pak"), PaletteGame::Quake, &palette));
  EXPECT_EQ(palette.from, "pak0.pk3: gfx/palette.lmp");
  EXPECT_TRUE(Holds(palette, inPk3));
  EXPECT_FALSE(PaletteBesideArchive(dir.Path("sub/mymod.pak"), PaletteGame::Quake, &palette));
  ScratchDir empty;
  EXPECT_FALSE(PaletteBesideArchive(empty.Path("pak1.pak"), PaletteGame::Quake, &palette));
}

// Pictures of every kind of alpha, through EncodePng and back.
TEST(PngWriterTest, RowsReadBackPixelForPixel) {
  const struct {
    uint32_t width, height;
    bool transparent;
  } cases[] = {{1, 1, false}, {37, 23, false}, {37, 23, true}, {300, 250, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    Picture picture;
    std::string why;
    ASSERT_TRUE(AllocatePicture(&picture, c.width, c.height, &why));
    const size_t bytes = static_cast<size_t>(c.width) * c.height * 4;
    for (size_t i = 0; i < bytes; ++i)
      picture.rgba[i] = i % 4 == 3 ? (c.transparent ? static_cast<uint8_t>(i / 4) : 255) : static_cast<uint8_t>(i * 31 / 7);
    std::string png;
    ASSERT_TRUE(EncodePng(picture, &png));
    EXPECT_EQ(static_cast<uint8_t>(png[25]), c.transparent ? 6 : 2);  // the colour type
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(ReadPngRgba(png, &width, &height, &rgba, &why)) << why;
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_TRUE(rgba == std::vector<uint8_t>(picture.rgba.get(), picture.rgba.get() + bytes));
  }
}

}  // namespace
