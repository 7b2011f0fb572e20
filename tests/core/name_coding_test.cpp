// Names beyond ASCII: how each format's stored bytes read (ZIP by its UTF-8 flag, else code
// page 437; PAK and WAD2 as UTF-8 where valid, else code page 437), that a name nobody
// changed is written back as its very bytes and flag, and that a new or renamed one is
// stored as UTF-8, flagged so in a ZIP.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/format.h"
#include "archive/stored_names.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"
#include "tests/core/writer_support.h"

namespace {

constexpr uint16_t kUtf8Flag = 0x0800;

TEST(NameCodingTest, BytesReadAndEncodeInEachCoding) {
  struct Case {
    const char* what;
    std::string bytes;
    bool valid;           // as UTF-8
    std::string bytesText;  // NameCoding::Bytes
    std::string cp437Text;  // NameCoding::Cp437
  };
  const Case cases[] = {
      {"ASCII", "maps/e1m1.bsp", true, "maps/e1m1.bsp", "maps/e1m1.bsp"},
      {"UTF-8 of two and three bytes", "\xc3\xa9\xe6\xa8\xa1", true, "\xc3\xa9\xe6\xa8\xa1",
       "\xe2\x94\x9c\xe2\x8c\x90\xc2\xb5\xc2\xbf\xc3\xad"},
      {"a four-byte character", "\xf0\x9f\x98\x80", true, "\xf0\x9f\x98\x80",
       "\xe2\x89\xa1\xc6\x92\xc3\xbf\xc3\x87"},
      {"code page 437 bytes", "caf\x82", false, "caf\xc3\xa9", "caf\xc3\xa9"},
      {"an overlong slash", "\xc0\xaf", false, "\xe2\x94\x94\xc2\xbb", "\xe2\x94\x94\xc2\xbb"},
      {"a surrogate", "\xed\xa0\x80", false, "\xcf\x86\xc3\xa1\xc3\x87", "\xcf\x86\xc3\xa1\xc3\x87"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", false, "\xe2\x8c\xa0\xc3\x89\xc3\x87\xc3\x87",
       "\xe2\x8c\xa0\xc3\x89\xc3\x87\xc3\x87"},
      {"a sequence cut short", "a\xe6\xa8", false, "a\xc2\xb5\xc2\xbf", "a\xc2\xb5\xc2\xbf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
    EXPECT_EQ(NameText(c.bytes, NameCoding::Bytes), c.bytesText);
    EXPECT_EQ(NameText(c.bytes, NameCoding::Utf8), c.bytesText);
    EXPECT_EQ(NameText(c.bytes, NameCoding::Cp437), c.cp437Text);
    // Code page 437 has a character for every byte, and encoding gives the byte back.
    std::string back;
    EXPECT_TRUE(EncodeCp437(c.cp437Text, &back));
    EXPECT_EQ(back, c.bytes);
  }
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  std::string back;
  ASSERT_TRUE(EncodeCp437(NameText(all, NameCoding::Cp437), &back));
  EXPECT_EQ(back, all);
  // Characters code page 437 lacks, and text that is not UTF-8, have no encoding.
  for (const char* text : {"\xd0\x9a", "a\xe6\xa8\xa1", "\x82"}) {
    back = "left over";
    EXPECT_FALSE(EncodeCp437(text, &back)) << text;
    EXPECT_EQ(back, "");
  }
}

// A name as stored in a source file, and the name it is expected to read as.
struct StoredName {
  std::string bytes;
  uint16_t zipFlags;  // ZIP entries only
  std::string shown;  // lower-cased, as the tree keeps names
};

std::vector<uint8_t> ArchiveOf(const char* extension, const std::vector<StoredName>& names) {
  const std::string ext = extension;
  if (ext == ".pak") {
    std::vector<sample::PakItem> items;
    for (const StoredName& n : names) items.push_back({n.bytes, n.bytes});
    return sample::Pak(items);
  }
  if (ext == ".wad") {
    std::vector<sample::WadLump> lumps;
    for (const StoredName& n : names) lumps.push_back({n.bytes, 0x42, n.bytes});
    return sample::Wad(lumps);
  }
  std::vector<sample::ZipEntry> entries;
  for (const StoredName& n : names) {
    const std::vector<uint8_t> data = Bytes(n.bytes);
    entries.push_back({n.bytes, 0, data, Crc32(data.data(), data.size()), static_cast<uint32_t>(data.size()),
                       n.zipFlags});
  }
  return sample::ZipWithData(entries);
}

// The names a written file stores, with each ZIP entry's UTF-8 flag (0 elsewhere).
std::vector<std::pair<std::string, uint16_t>> WrittenNames(const std::string& path) {
  const std::vector<uint8_t> file = FileBytes(path);
  std::vector<std::pair<std::string, uint16_t>> names;
  const std::string ext = path.substr(path.size() - 4);
  if (ext == ".pak") {
    for (const PakListingItem& item : ParsePak(file).items) names.push_back({item.name, 0});
  } else if (ext == ".wad") {
    for (const WadListingItem& item : ParseWad(file).items) names.push_back({item.name, 0});
  } else {
    for (const ZipListingItem& item : ParseZip(file).items)
      names.push_back({item.name, static_cast<uint16_t>(item.flags & kUtf8Flag)});
  }
  return names;
}

TEST(NameCodingTest, StoredNamesReadAsTheirFormatSaysAndComeBackAsTheyWere) {
  const std::string cyrillic = "\xd0\xba\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0";  // "карта"
  struct Case {
    const char* what;
    const char* from;
    std::vector<StoredName> names;
  };
  const Case cases[] = {
      {"a ZIP's UTF-8 names, flagged", ".pk3",
       {{cyrillic + "/\xc3\xa9.txt", kUtf8Flag, cyrillic + "/\xc3\xa9.txt"}, {"ascii.txt", kUtf8Flag, "ascii.txt"}}},
      {"a ZIP's code page 437 names", ".pk3",
       {{"caf\x82/\x94.txt", 0, "caf\xc3\xa9/\xc3\xb6.txt"}, {"plain.txt", 0, "plain.txt"}}},
      // UTF-8 bytes unflagged, as Info-ZIP writes them on Linux: the ZIP format reads them
      // as code page 437.
      {"a ZIP's unflagged UTF-8 bytes", ".pk3", {{"\xc3\xa9.txt", 0, "\xe2\x94\x9c\xe2\x8c\x90.txt"}}},
      {"a ZIP's flagged name that is not UTF-8", ".pk3", {{"\x82.txt", kUtf8Flag, "\xc3\xa9.txt"}}},
      {"a PAK's UTF-8 and code page 437 bytes", ".pak",
       {{"sound/" + cyrillic + ".wav", 0, "sound/" + cyrillic + ".wav"}, {"caf\x82.lmp", 0, "caf\xc3\xa9.lmp"}}},
      {"a WAD2's UTF-8 and code page 437 bytes", ".wad",
       {{"\xce\xa9mega", 0, "\xce\xa9mega.lmp"}, {"\x82t\x82", 0, "\xc3\xa9t\xc3\xa9.lmp"}}},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string source = dir.Path(std::string("source") + c.from);
    ASSERT_TRUE(WriteFileBytes(source, ArchiveOf(c.from, c.names)));
    TestDocument doc(source);
    ASSERT_TRUE(doc.ok());
    for (const StoredName& n : c.names) EXPECT_NE(doc.Find(n.shown), nullptr) << n.shown;
    // Saved untouched in its own format, every name keeps its bytes (ASCII lower-cased, as
    // every name is kept) and its flag.
    const std::string same = dir.Path(std::string("same") + c.from);
    RecordingSaveHost host;
    ASSERT_TRUE(SaveAs(doc, *FormatForPath(same), same, host));
    std::vector<std::pair<std::string, uint16_t>> expected;
    for (const StoredName& n : c.names) expected.push_back({Lower(n.bytes), n.zipFlags});
    std::vector<std::pair<std::string, uint16_t>> written = WrittenNames(same);
    // A ZIP writes each folder an entry of its own.
    written.erase(std::remove_if(written.begin(), written.end(), [](const auto& name) { return name.first.back() == '/'; }),
                  written.end());
    std::sort(written.begin(), written.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written, expected);
    // Reopened, and through the other formats and back, the names read the same.
    for (const char* through : {".pak", ".pk3", ".wad"}) {
      if (std::string(through) == ".wad" && std::string(c.from) != ".wad") continue;  // folders, long names
      const std::string path = dir.Path(std::string("through") + through);
      ASSERT_TRUE(SaveAs(doc, *FormatForPath(path), path, host)) << through;
      TestDocument again(path);
      ASSERT_TRUE(again.ok());
      for (const StoredName& n : c.names) EXPECT_NE(again.Find(n.shown), nullptr) << through << " " << n.shown;
    }
  }
}

TEST(NameCodingTest, NewAndRenamedNamesAreStoredAsUtf8) {
  const std::string greek = "\xce\xb1\xce\xb2\xce\xb3";  // "αβγ"
  const std::string cjk = "\xe6\xa8\xa1\xe7\xbb\x84";    // "模组"
  ScratchDir dir;
  const std::string source = dir.Path("source.pk3");
  ASSERT_TRUE(WriteFileBytes(source, ArchiveOf(".pk3", {{"caf\x82/a.txt", 0, ""}, {"caf\x82/b.txt", 0, ""},
                                                        {"keep.txt", 0, ""}})));
  TestDocument doc(source);
  ASSERT_TRUE(doc.ok());
  doc.tree().Rename(doc.Find("caf\xc3\xa9/b.txt"), greek + ".txt");
  doc.tree().Rename(doc.Find("keep.txt"), "ke\xc3\xa9p.txt");
  doc.AddPath(cjk + "/new.txt", Bytes("n"));
  const std::string saved = dir.Path("saved.pk3");
  RecordingSaveHost host;
  ASSERT_TRUE(SaveAs(doc, DefaultFormat(), saved, host));
  std::vector<std::pair<std::string, uint16_t>> written = WrittenNames(saved);
  std::sort(written.begin(), written.end());
  // The untouched file and its folder stay in code page 437, the folder's entry written as
  // its source names its entries; renamed and new names are UTF-8, flagged.
  const std::vector<std::pair<std::string, uint16_t>> expected = {
      {"caf\x82/", 0},
      {"caf\x82/a.txt", 0},
      {"caf\xc3\xa9/" + greek + ".txt", kUtf8Flag},
      {"ke\xc3\xa9p.txt", kUtf8Flag},
      {cjk + "/", kUtf8Flag},
      {cjk + "/new.txt", kUtf8Flag},
  };
  std::vector<std::pair<std::string, uint16_t>> sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end());
  EXPECT_EQ(written, sortedExpected);
  // A renamed folder moves its files: their paths are new, stored as UTF-8.
  doc.tree().Rename(doc.Find("caf\xc3\xa9/"), greek);
  const std::string pak = dir.Path("saved.pak");
  ASSERT_TRUE(SaveAs(doc, PakFormat(), pak, host));
  written = WrittenNames(pak);
  std::sort(written.begin(), written.end());
  const std::vector<std::pair<std::string, uint16_t>> pakNames = {
      {"ke\xc3\xa9p.txt", 0}, {greek + "/a.txt", 0}, {greek + "/" + greek + ".txt", 0}, {cjk + "/new.txt", 0}};
  std::vector<std::pair<std::string, uint16_t>> sortedPak = pakNames;
  std::sort(sortedPak.begin(), sortedPak.end());
  EXPECT_EQ(written, sortedPak);
}

}  // namespace
