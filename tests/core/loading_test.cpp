#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "archive/bytes.h"
#include "archive/disk.h"
#include "archive/loading.h"
#include "archive/quoted_name.h"
#include "archive/zip_source.h"
#include "services/core/archive_text.h"
#include "tests/core/loading_support.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"

namespace {

const ArchiveFormat* const kPak = &PakFormat();
const ArchiveFormat* const kPk3 = &DefaultFormat();
// The row's extensions are made at start-up like this file's constants: looked up on use.
const ArchiveFormat* WadFormat() { return FormatForPath("x.wad"); }

// Opens path as the given format's reader does, whatever its name.
std::unique_ptr<ArchiveSource> OpenAs(const ArchiveFormat* format, const std::string& path, Failure* why) {
  return format->open(*format, path, why);
}

TEST(LoadingTest, FixtureTable) {
  struct Case {
    const char* file;
    const ArchiveFormat* format;  // null: the open fails
    const char* message;  // the first line shown when the open fails
    const char* listing;  // null: the tree cannot be built
    const char* why;      // the reason given for a failed open or build ("" none)
  };
  const char* pakError = "Error reading PAK file";
  const char* pk3Error = "Error reading PK3 file";
  const char* noFile = "the file cannot be opened";
  const char* noEnd = "no end-of-central-directory record (not a ZIP archive, or cut short)";
  const Case cases[] = {
      {"basic.pak", kPak, nullptr,
       "empty/ readme.txt sound/ sound/hit.wav maps/ maps/level1.bsp", ""},
      {"dirfirst.pak", kPak, nullptr, "maps/ maps/level1.bsp", ""},
      {"dirafter.pak", kPak, nullptr, "maps/ maps/level1.bsp", ""},
      {"twice.pak", kPak, nullptr, "a.txt a.txt", ""},
      {"through_file.pak", kPak, nullptr, nullptr,
       "\"a/b\": a path runs through the file \"a\""},
      {"fullname.pak", kPak, nullptr, "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn", ""},
      {"remainder.pak", kPak, nullptr, "one.txt", ""},
      {"empty.pak", kPak, nullptr, "", ""},
      {"noextpak", kPak, nullptr, "inside.txt", ""},
      {"noextzip", kPk3, nullptr, "z.txt", ""},
      {"zipnamed.pak", nullptr, pakError, nullptr, "no \"PACK\" header (not a PAK archive)"},
      {"order.pk3", kPk3, nullptr, "b/ b/z a/ a/y a/x", ""},
      {"names.pk3", kPk3, nullptr, "lead/ lead/double.txt dir\\file.txt maps/ maps/level1.bsp", ""},
      {"comment.zip", kPk3, nullptr, "c.txt", ""},
      // Two zero bytes at the end are taken for a comment length of 0.
      {"comment00.zip", nullptr, pk3Error, nullptr, noEnd},
      {"empty.zip", kPk3, nullptr, "", ""},
      {"stored.zip", kPk3, nullptr, "s.txt", ""},
      {"dirafter.pk3", kPk3, nullptr, "maps/ maps/level1.bsp", ""},
      {"folderafter.pk3", kPk3, nullptr,
       "models/ models/weapons/ models/weapons/proxmine/ models/weapons/proxmine/skin.tga", ""},
      {"root_only.pk3", kPk3, nullptr, "a/ a/b.txt", ""},
      {"through_file.pk3", kPk3, nullptr, nullptr,
       "\"a/b\": a path runs through the file \"a\""},
      {"twice.pk3", kPk3, nullptr, "same.txt same.txt", ""},
      {"casefold.pk3", kPk3, nullptr, "readme.txt readme.txt", ""},
      {"infozip.pk3", kPk3, nullptr,
       "progs/ progs/empty/ sound/ sound/hit.wav maps/ maps/level1.bsp maps/readme.txt", ""},
      {"zip64.pk3", kPk3, nullptr, "b.bin a.txt", ""},
      {"basic.wad", WadFormat(), nullptr, "packed.mip colormap wall_01.mip conback.lmp palette.lmp", ""},
      {"missing.pak", nullptr, pakError, nullptr, noFile},
      {"missing.pk3", nullptr, pk3Error, nullptr, noFile},
      {"missing", nullptr, pk3Error, nullptr, noFile},
      {"missing.wad", nullptr, "Error reading WAD2 file", nullptr, noFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Loaded l(FixturePath(c.file));
    EXPECT_EQ(l.format(), c.format);
    const std::string reason = *c.why ? std::string(": ") + c.why + "." : "";
    if (c.message) {
      ASSERT_EQ(l.messages.size(), 1u);
      EXPECT_EQ(l.messages[0], c.message + ("\n" + l.path) + reason);
      continue;
    }
    EXPECT_FALSE(l.opened) << FailureReason(l.opened);
    if (c.format == nullptr) continue;
    Node* root = l.Build();
    EXPECT_EQ(FailureReason(l.built), c.why);
    if (c.listing == nullptr) {
      EXPECT_EQ(root, nullptr);
      EXPECT_EQ(l.doc.tree, nullptr);
      continue;
    }
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Listing(root), c.listing);
    CheckTreeLinks(*l.doc.tree);
  }
}

TEST(LoadingTest, PathIsLoweredAndCapitalExtensionMeansPak) {
  ScratchDir dir;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(FixturePath("basic.pak"), &bytes));
  ASSERT_TRUE(WriteFileBytes(dir.Path("caps.pak"), bytes));
  // The file on disk is lower case; only the lowered path finds it on a case-sensitive system.
  Loaded l(dir.Path("CAPS.PAK"));
  EXPECT_EQ(l.path, Lower(dir.Path("caps.pak")));
  EXPECT_EQ(l.format(), kPak);
  ASSERT_NE(l.doc.source, nullptr);
  EXPECT_EQ(l.doc.source->path(), l.path);
#ifndef _WIN32
  // The core opens the path it is given as given: lowering it is the window program's part.
  Failure why;
  const ArchiveFormat* format = nullptr;
  EXPECT_EQ(OpenArchive(dir.Path("CAPS.PAK"), &why, &format), nullptr);
  EXPECT_EQ(format, kPak);
  EXPECT_EQ(why.problem, Problem::CannotOpen);
#endif
}

TEST(LoadingTest, DotInDirectoryNameIsNoExtension) {
  ScratchDir dir;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(FixturePath("noextpak"), &bytes));
  std::string sub = dir.Path("games.d");
  ASSERT_TRUE(MakeDirectory(sub));
  ASSERT_TRUE(WriteFileBytes(sub + "/pak0", bytes));
  Loaded l(sub + "/pak0");
  EXPECT_EQ(l.format(), kPak);
}

TEST(LoadingTest, LowerCaseChangesAsciiLettersOnly) {
  std::string text = "ABC xyz \xC4\xD6\xDC 0-9 [Z]";
  LowerCaseAscii(&text);
  EXPECT_EQ(text, "abc xyz \xC4\xD6\xDC 0-9 [z]");
  EXPECT_EQ(LowerCased("MAPS/E1M1.BSP"), "maps/e1m1.bsp");
}

TEST(LoadingTest, PakReaderKeepsTheDirectory) {
  std::string path = FixturePath("basic.pak");
  Failure why;
  std::unique_ptr<ArchiveSource> pak = OpenAs(kPak, path, &why);
  ASSERT_NE(pak, nullptr);
  EXPECT_EQ(&pak->format(), kPak);
  EXPECT_EQ(pak->Count(), 4u);  // a directory of 256 bytes
  EXPECT_EQ(pak->Name(1), "Sound/Hit.WAV");  // stored as is; lowered in the tree only
  EXPECT_EQ(pak->Info(0).offset, 12u);
  EXPECT_EQ(pak->Info(0).size, 30u);
  EXPECT_EQ(pak->Size(0), 30u);
  EXPECT_EQ(pak->Info(1).offset, 42u);
  EXPECT_EQ(pak->path(), path);
  EXPECT_NE(pak->file(), nullptr);
}

TEST(LoadingTest, Pk3ReaderKeepsRecordsAsStored) {
  std::string path = FixturePath("infozip.pk3");
  Failure why;
  std::unique_ptr<ArchiveSource> source = OpenAs(kPk3, path, &why);
  const ZipSource* pk3 = dynamic_cast<const ZipSource*>(source.get());
  ASSERT_NE(pk3, nullptr);
  ASSERT_EQ(pk3->Count(), 7u);
  EXPECT_EQ(pk3->Name(0), "Maps/");
  EXPECT_EQ(pk3->Name(2), "Maps/Level1.BSP");
  // The central extra field as stored (a time, then an owner), beside the name it follows.
  EXPECT_EQ(pk3->CentralExtra(2), std::string_view("UT\x05\0\x03r\x83{:ux\x0b\0\x01\x04\0\0\0\0\x04\0\0\0\0", 24));
  EXPECT_EQ(pk3->Record(2).Get32(zipc::kUncompressedSize), 280u);
  EXPECT_EQ(pk3->Size(2), 280u);
  EXPECT_EQ(pk3->Record(2).Get16(zipc::kMethod), 8);
  EXPECT_EQ(pk3->Info(2).method, StoredMethod::Deflated);
  EXPECT_GT(pk3->Record(2).Get16(zipc::kExtraLength), 0);  // Info-ZIP's extra fields are skipped

  std::unique_ptr<ArchiveSource> empty = OpenAs(kPk3, FixturePath("empty.zip"), &why);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->Count(), 0u);
}

TEST(LoadingTest, WadReaderKeepsTheDirectoryWithEachLumpsTypeAndCompression) {
  const ArchiveFormat* const kWad = WadFormat();
  ASSERT_NE(kWad, nullptr);
  EXPECT_STREQ(kWad->name, "WAD2");
  const std::string path = FixturePath("basic.wad");
  Failure why;
  std::unique_ptr<ArchiveSource> wad = OpenAs(kWad, path, &why);
  ASSERT_NE(wad, nullptr) << FailureReason(why);
  EXPECT_EQ(&wad->format(), kWad);
  EXPECT_EQ(wad->path(), path);
  struct Lump {
    const char* name;  // as stored, with the extension of the lump's type
    uint64_t offset;
    uint32_t size;
    uint8_t type, compression;
  };
  const Lump lumps[] = {
      {"palette.lmp", 12, 48, 0x40, 0},   {"CONBACK.lmp", 60, 12, 0x42, 0}, {"wall_01.mip", 72, 40, 0x44, 0},
      {"colormap", 112, 4, 0x41, 0}, {"packed.mip", 116, 4, 0x44, 1},
  };
  ASSERT_EQ(wad->Count(), std::size(lumps));
  for (uint32_t i = 0; i < wad->Count(); ++i) {
    const Lump& l = lumps[i];
    SCOPED_TRACE(l.name);
    EXPECT_EQ(wad->Name(i), l.name);
    const EntryInfo info = wad->Info(i);
    EXPECT_EQ(info.offset, l.offset);
    EXPECT_EQ(info.size, l.size);
    EXPECT_EQ(info.storedSize, l.size);
    EXPECT_EQ(wad->Size(i), l.size);
    EXPECT_TRUE(info.hasType);
    EXPECT_EQ(info.type, l.type);
    EXPECT_EQ(info.methodCode, l.compression);
    EXPECT_EQ(info.method, l.compression == 0 ? StoredMethod::Stored : StoredMethod::Other);
    EXPECT_FALSE(info.hasCrc);
    EXPECT_FALSE(info.hasTime);
  }
  // PAK and ZIP entries have no type.
  std::unique_ptr<ArchiveSource> pak = OpenAs(kPak, FixturePath("basic.pak"), &why);
  ASSERT_NE(pak, nullptr);
  EXPECT_FALSE(pak->Info(0).hasType);
}

// The names WAD2 lumps show in the tree: lower-cased, each with the extension of its type,
// all in the root; a name stored twice refuses the archive as in every format.
TEST(LoadingTest, WadLumpNamesTable) {
  const ArchiveFormat* const kWad = WadFormat();
  struct Case {
    const char* what;
    std::vector<sample::WadLump> lumps;
    const char* listing;  // null: the tree cannot be built
    const char* why;      // of a tree that cannot be built
  };
  const Case cases[] = {
      {"a mip texture", {{"WALL_01", 0x44, "m"}}, "wall_01.mip", ""},
      {"a palette and a picture", {{"PALETTE", 0x40, "p"}, {"conback", 0x42, "c"}}, "conback.lmp palette.lmp", ""},
      {"types without an extension", {{"colormap", 0x41, "1"}, {"x", 0x00, "2"}, {"y", 0xFF, "3"}, {"z", 0x43, ""}},
       "z y x colormap", ""},
      {"a name of 16 characters, without a NUL", {{"abcdefghijklmnop", 0x44, "m"}}, "abcdefghijklmnop.mip", ""},
      {"bytes after the NUL are padding", {{std::string("ab\0junk", 7), 0x42, "p"}}, "ab.lmp", ""},
      {"a name ending in its extension gets it once more", {{"x.mip", 0x44, "m"}}, "x.mip.mip", ""},
      {"liquid and animated textures", {{"*water1", 0x44, "w"}, {"+0button", 0x44, "b"}}, "+0button.mip *water1.mip",
       ""},
      {"one name, two types", {{"wall", 0x44, "m"}, {"WALL", 0x42, "p"}}, "wall.lmp wall.mip", ""},
      // Shown under one name, two lumps are both kept, the later shadowed.
      {"names differing only in case", {{"WALL", 0x44, "1"}, {"wall", 0x44, "2"}}, "wall.mip wall.mip", ""},
      {"a name and that name with its type's extension", {{"x", 0x44, "1"}, {"X.mip", 0x41, "2"}}, "x.mip x.mip",
       ""},
      {"no name and a type without an extension", {{"a", 0x42, "1"}, {"", 0x41, "2"}}, nullptr,
       "an entry is stored under \"\", which names no file"},
      {"no name but a type's extension", {{"", 0x44, "m"}}, ".mip", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::string path = dir.Path("names.wad");
    ASSERT_TRUE(WriteFileBytes(path, sample::Wad(c.lumps)));
    Loaded l(path);
    ASSERT_EQ(l.format(), kWad) << (l.messages.empty() ? "" : l.messages[0]);
    Node* root = l.Build();
    EXPECT_EQ(FailureReason(l.built), c.why);
    if (c.listing == nullptr) {
      EXPECT_EQ(root, nullptr);
      continue;
    }
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Listing(root), c.listing);
    CheckTreeLinks(*l.doc.tree);
    // One flat folder: every lump is a file of the root, reading from its own record.
    EXPECT_EQ(CountNodes(root), 1 + c.lumps.size());
    for (const Node* n = root->firstChild(); n; n = n->nextSibling()) {
      EXPECT_TRUE(n->IsFile()) << n->name();
      ASSERT_NE(n->source(), nullptr) << n->name();
      EXPECT_EQ(n->size(), c.lumps[n->source()->index].data.size()) << n->name();
      EXPECT_EQ(LowerCased(std::string(l.doc.source->Name(n->source()->index))), n->name());
    }
  }
}

TEST(LoadingTest, PakDirectoryLengthAndOffsetTable) {
  struct Case {
    const char* what;
    uint32_t items;
    uint32_t dirLength;  // ~0u: the true length
    uint32_t dirOffset;  // ~0u: the true offset
    bool opens;
    uint32_t entries;
    const char* why;  // of a refusal
  };
  const char* pastEnd = "its directory runs past the end of the file";
  const Case cases[] = {
      {"dirLength 0", 3, 0, ~0u, true, 0, ""},
      {"dirLength 100 gives one entry", 3, 100, ~0u, true, 1, ""},
      {"dirLength 262144 (4096 entries)", 4096, 262144, ~0u, true, 4096, ""},
      {"dirLength 262208 (4097 entries)", 4097, 262208, ~0u, false, 0,
       "it holds 4097 entries, more than the 4096 a PAK file can have"},
      {"dirLength beyond the file", 3, 64 * 4, ~0u, false, 0, pastEnd},
      {"dirOffset beyond the file", 3, ~0u, 100000, false, 0, pastEnd},
      {"dirOffset at the very end, empty", 0, 0, 12, true, 0, ""},
      {"dirOffset past the end, empty", 0, 0, 13, false, 0, pastEnd},
      {"dirOffset near 4 GB", 3, ~0u, 0xFFFFFFF0u, false, 0, pastEnd},
      {"dirLength near 4 GB", 3, 0xFFFFFFC0u, ~0u, false, 0,
       "it holds 67108863 entries, more than the 4096 a PAK file can have"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<sample::PakItem> items;
    char name[32];
    for (uint32_t i = 0; i < c.items; ++i) {
      std::snprintf(name, sizeof name, "dir%u/file%u.dat", i % 7, i);
      items.push_back({name, "x"});
    }
    ScratchDir dir;
    std::string path = dir.Path("gen.pak");
    ASSERT_TRUE(WriteFileBytes(path, sample::Pak(items, c.dirLength, c.dirOffset)));
    Failure why = Fail(Problem::Cancelled);  // not cleared
    std::unique_ptr<ArchiveSource> pak = OpenAs(kPak, path, &why);
    EXPECT_EQ(pak != nullptr, c.opens);
    EXPECT_EQ(FailureReason(why), c.why);
    if (pak == nullptr) continue;
    EXPECT_EQ(pak->Count(), c.entries);
    pak.reset();
    Loaded l(path);
    ASSERT_NE(l.Build(), nullptr);
    EXPECT_EQ(CountLeaves(l.doc.root()) - (c.entries == 0 ? 1 : 0), c.entries);
  }
}

TEST(LoadingTest, PakMagicMustBePack) {
  ScratchDir dir;
  std::vector<uint8_t> bytes = sample::Pak({{"a", "1"}});
  bytes[3] = 'X';
  ASSERT_TRUE(WriteFileBytes(dir.Path("bad.pak"), bytes));
  Loaded l(dir.Path("bad.pak"));
  EXPECT_EQ(l.format(), nullptr);
  ASSERT_EQ(l.messages.size(), 1u);
  EXPECT_EQ(l.messages[0],
            "Error reading PAK file\n" + l.path + ": no \"PACK\" header (not a PAK archive).");
}

TEST(LoadingTest, GeneratedZipTable) {
  const std::string deep31 = sample::DeepPath(31), deep32 = sample::DeepPath(32),
                    deep5000 = sample::DeepPath(5000);
  struct Case {
    const char* what;
    std::vector<std::string> names;
    std::string comment;
    bool opens;
    bool builds;
    uint32_t nodes;
    const char* why;  // of a refused open
  };
  const Case cases[] = {
      {"zero-length name", {"a.txt", ""}, "", false, false, 0,
       "entry 2 of the central directory has no name"},
      {"path of slashes only names nothing", {"///"}, "", true, true, 1, ""},
      {"31 components", {deep31}, "", true, true, 32, ""},
      {"32 components", {deep32}, "", true, true, 33, ""},
      {"5000 components", {deep5000}, "", true, true, 5001, ""},
      // The whole stored name counts, never the part before a NUL: no file can be named so.
      {"name with a NUL inside refuses the archive", {"ok.txt", std::string("ok.txt\0../../evil.txt", 21)}, "",
       true, false, 0, ""},
      // A file with no name would be left out of the tree, and lost at the next save.
      {"a file named \".\" refuses the archive", {"a.txt", "."}, "", true, false, 0, ""},
      {"a file named \"./\" of slashes and dots", {"/./"}, "", true, true, 1, ""},
      {"a file named \"a/.\" is the file a", {"a/."}, "", true, true, 2, ""},
      {"comment of 65000 bytes", {"c.txt"}, std::string(65000, 'c'), true, true, 2, ""},
      {"comment too long for the search", {"c.txt"}, std::string(65515, 'c'), false, false, 0,
       "no end-of-central-directory record (not a ZIP archive, or cut short)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    std::string path = dir.Path("gen.pk3");
    ASSERT_TRUE(WriteFileBytes(path, sample::Zip(c.names, c.comment)));
    Loaded l(path);
    EXPECT_EQ(l.format(), c.opens ? kPk3 : nullptr);
    if (!c.opens) {
      ASSERT_EQ(l.messages.size(), 1u);
      EXPECT_EQ(l.messages[0], "Error reading PK3 file\n" + l.path + ": " + c.why + ".");
      continue;
    }
    Node* root = l.Build();
    EXPECT_EQ(root != nullptr, c.builds);
    if (root) {
      EXPECT_EQ(CountNodes(root), c.nodes);
    }
  }
}

TEST(LoadingTest, EntriesWithoutAUsableNameRefuseTheArchiveWithTheReason) {
  struct Case {
    const char* file;
    std::vector<uint8_t> bytes;
    const char* why;
  };
  const Case cases[] = {
      {"nameless.pak", sample::Pak({{"a.txt", "1"}, {"", "lost"}}), "an entry is stored under \"\", which names no file"},
      {"dot.pk3", sample::Zip({"a.txt", "."}), "an entry is stored under \".\", which names no file"},
      // Not "nul.pk3": on Windows that names the null device.
      {"nulbyte.pk3", sample::Zip({std::string("ok.txt\0../../evil.txt", 21)}),
       "\"ok.txt\\x00../../evil.txt\": the name holds a NUL byte, which no file name can"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.Path(c.file), c.bytes));
    Loaded l(dir.Path(c.file));
    ASSERT_NE(l.format(), nullptr);
    EXPECT_EQ(l.Build(), nullptr);
    EXPECT_EQ(FailureReason(l.built), c.why);
  }
}

TEST(LoadingTest, DamagedZipFieldsTable) {
  // Field patches on a three-entry ZIP from the sample writer, relative to its end record
  // or to its first central header, or its second (the first holds "a.txt": 46 + 5 bytes).
  enum Where { kEnd, kFirst, kSecond };
  struct Case {
    const char* what;
    Where where;
    size_t offset;
    uint32_t value;
    int width;
    const char* why;
  };
  const char* pastEnd = "the central directory runs past the end of the file";
  const Case cases[] = {
      {"end signature", kEnd, 0, 0x06054B51, 4,
       "no end-of-central-directory record (not a ZIP archive, or cut short)"},
      {"central offset beyond the file", kEnd, 16, 0x7FFFFFFF, 4, pastEnd},
      {"central offset at the end record", kEnd, 16, 0, 0, pastEnd},  // patched below
      {"more entries than the file holds", kEnd, 10, 0xFFFF, 2, pastEnd},
      {"count of 1 for 3", kEnd, 10, 1, 2, "the end record counts 1 entry but the directory holds 3"},
      {"count of 2 for 3", kEnd, 10, 2, 2, "the end record counts 2 entries but the directory holds 3"},
      {"count of 0 for 3", kEnd, 10, 0, 2, "the end record counts 0 entries but the directory holds 3"},
      {"comment length past the end", kEnd, 20, 1, 2, "the comment's length runs past the end"},
      {"central signature", kFirst, 0, 0x02014B51, 4, "the central directory is damaged at entry 1 of 3"},
      {"second central signature", kSecond, 0, 0x02014B51, 4,
       "the central directory is damaged at entry 2 of 3"},
      {"name length beyond the file", kFirst, 28, 0xFFFF, 2, pastEnd},
      {"zero name length", kSecond, 28, 0, 2, "entry 2 of the central directory has no name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> zip = sample::Zip({"a.txt", "b/c.txt", "d/"});
    const size_t end = sample::ZipEndOffset(zip);
    const size_t central = GetLE32(zip.data() + end + 16);
    const size_t at = c.where == kEnd ? end : c.where == kFirst ? central : central + 46 + 5;
    const uint32_t value = c.width ? c.value : static_cast<uint32_t>(end);
    if (c.width == 2)
      PutLE16(zip.data() + at + c.offset, static_cast<uint16_t>(value));
    else
      PutLE32(zip.data() + at + c.offset, value);
    ScratchDir dir;
    std::string path = dir.Path("bad.pk3");
    ASSERT_TRUE(WriteFileBytes(path, zip));
    Failure why = Fail(Problem::Cancelled);  // not cleared
    EXPECT_EQ(OpenAs(kPk3, path, &why), nullptr);
    EXPECT_EQ(FailureReason(why), c.why);
  }
}

TEST(LoadingTest, LargeArchivesKeepReverseOrder) {
  struct Case {
    const char* what;
    uint32_t count, directories;
  };
  const Case cases[] = {{"65,000 in one directory", 65000, 0}, {"65,000 in 250 directories", 65000, 250}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    std::string path = dir.Path("big.pk3");
    std::vector<std::string> names = sample::ManyNames(c.count, c.directories);
    ASSERT_TRUE(WriteFileBytes(path, sample::Zip(names)));
    Loaded l(path);
    Node* root = l.Build();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(CountNodes(root), 1 + c.count + c.directories);
    uint32_t containers = 0;
    for (const Node* n = root; n; n = NextInSubtree(n, root)) containers += n->IsContainer();
    EXPECT_EQ(containers, 1u + c.directories);
    // The last stored name is the head of its directory's list.
    const Node* last = c.directories ? root->firstChild()->firstChild() : root->firstChild();
    std::string tail = names.back().substr(names.back().rfind('/') + 1);
    EXPECT_EQ(last->name(), tail);
  }
}

// A ZIP of one empty entry whose central record gives its size as the ZIP64 marker and
// the ZIP64 field as size.
std::vector<uint8_t> Zip64Sized(const std::string& name, uint64_t size) {
  std::vector<uint8_t> zip = sample::Zip({name});
  const size_t end = sample::ZipEndOffset(zip);
  const size_t central = GetLE32(zip.data() + end + 16);
  PutLE32(zip.data() + central + 24, 0xFFFFFFFF);
  PutLE16(zip.data() + central + 30, 12);
  std::vector<uint8_t> extra;
  sample::Put16(extra, 1);
  sample::Put16(extra, 8);
  sample::Put32(extra, static_cast<uint32_t>(size));
  sample::Put32(extra, static_cast<uint32_t>(size >> 32));
  // The one central record ends where the end record starts.
  zip.insert(zip.begin() + static_cast<std::ptrdiff_t>(end), extra.begin(), extra.end());
  PutLE32(zip.data() + end + extra.size() + 12, static_cast<uint32_t>(end + extra.size() - central));
  return zip;
}

TEST(LoadingTest, NamesInMessagesShowTheirControlBytesEscaped) {
  struct Case {
    std::string stored;
    bool escapeBackslash;
    size_t shown;
    std::string printable;
  };
  const Case cases[] = {
      {"maps/e1m1.bsp", false, SIZE_MAX, "maps/e1m1.bsp"},
      {"tab\there", false, SIZE_MAX, "tab\\there"},
      {"line\nbreak\r", false, SIZE_MAX, "line\\nbreak\\r"},
      {"\x1b[31mred\x1b[0m.txt", false, SIZE_MAX, "\\x1b[31mred\\x1b[0m.txt"},
      {"bell\x07 del\x7f", false, SIZE_MAX, "bell\\x07 del\\x7f"},
      {std::string("nul\0inside", 10), false, SIZE_MAX, "nul\\x00inside"},
      // Bytes of 0x80 and above are text in the system's code page or UTF-8.
      {"\x1f\x20\x7e\x80\xc3\xa9\xff", false, SIZE_MAX, "\\x1f ~\x80\xc3\xa9\xff"},
      {"back\\slash", false, SIZE_MAX, "back\\slash"},
      {"back\\slash\t", true, SIZE_MAX, "back\\\\slash\\t"},
      {"", false, SIZE_MAX, ""},
      // Shortened: whole characters and escapes only, then "...".
      {"abcdef", false, 6, "abcdef"},
      {"abcdefg", false, 6, "abcdef..."},
      {"abc\x1b", false, 7, "abc\\x1b"},
      {"abcd\x1b", false, 7, "abcd..."},
      {"abcd\\\\", true, 6, "abcd\\\\..."},
      // A character of several bytes goes whole or not at all.
      {"abc\xd0\x9a\xd0\x9a", false, 4, "abc..."},
      {"ab\xe6\xa8\xa1x", false, 4, "ab..."},
      {"ab\xe6\xa8\xa1x", false, 5, "ab\xe6\xa8\xa1..."},
      {"a\xf0\x9f\x98\x80" "b", false, 3, "a..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printable);
    EXPECT_EQ(PrintableName(c.stored.data(), c.stored.size(), c.escapeBackslash, c.shown), c.printable);
  }
  EXPECT_EQ(PrintableName(std::string("a\0b\\", 4)), "a\\x00b\\");
  EXPECT_EQ(PrintableName(std::string("a\0b\\", 4), true), "a\\x00b\\\\");
  EXPECT_EQ(PrintableName(nullptr), "");
  EXPECT_EQ(QuotedName("a\nb"), "\"a\\nb\"");
  EXPECT_EQ(QuotedName(std::string(250, 'n').c_str()), "\"" + std::string(200, 'n') + "...\"");
  EXPECT_EQ(QuotedName(std::string(199, 'n').append("\x1b").c_str()), "\"" + std::string(199, 'n') + "...\"");

  // The reasons the core gives for an archive it cannot show quote the stored names so.
  const std::string hostile = "two\nlines\x1b[0m.txt";
  struct Refused {
    std::vector<uint8_t> zip;
    std::string why;
  };
  const Refused refused[] = {
      {sample::Zip({hostile, hostile + "/"}), "\"two\\nlines\\x1b[0m.txt/\" is stored both as a file and as a folder"},
      {sample::Zip({"a\x07", "a\x07/b"}), "\"a\\x07/b\": a path runs through the file \"a\\x07\""},
      {Zip64Sized(hostile, 1ull << 32), "\"two\\nlines\\x1b[0m.txt\" is 4 GB or larger"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.why);
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.Path("hostile.pk3"), r.zip));
    Loaded l(dir.Path("hostile.pk3"));
    std::string why;
    if (l.doc.source != nullptr) {
      EXPECT_EQ(l.Build(), nullptr);
      why = FailureReason(l.built);
    } else {
      ASSERT_EQ(l.messages.size(), 1u);
      why = l.messages[0].substr(l.messages[0].find(": ") + 2);
      EXPECT_EQ(why.back(), '.');
      why.pop_back();
    }
    EXPECT_EQ(why, r.why);
  }
  ScratchDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.Path("small.pk3"), Zip64Sized(hostile, 0)));
  Loaded small(dir.Path("small.pk3"));
  EXPECT_EQ(small.format(), kPk3) << "a ZIP64 size that fits opens";
}

}  // namespace
