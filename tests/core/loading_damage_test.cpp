// Damaged and hostile inputs: every one must end in a clean refusal or a sound
// tree, never in a read outside a buffer (the native build runs under ASan).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/bytes.h"
#include "archive/disk.h"
#include "archive/loading.h"
#include "services/core/archive_text.h"
#include "tests/core/loading_support.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"

namespace {

// Opens and, when that works, builds; the result only has to be consistent. A refused
// open always says why.
void OpenBuildClose(const std::string& path) {
  Loaded l(path);
  if (l.format() == nullptr) {
    ASSERT_EQ(l.messages.size(), 1u);
    const std::string& text = l.messages[0];
    const size_t line = text.find('\n');
    ASSERT_NE(line, std::string::npos) << text;
    EXPECT_TRUE(text.compare(0, line, "Error reading PAK file") == 0 ||
                text.compare(0, line, "Error reading PK3 file") == 0 ||
                text.compare(0, line, "Error reading WAD2 file") == 0)
        << text;
    const std::string named = "\n" + l.path + ": ";
    EXPECT_EQ(text.compare(line, named.size(), named), 0) << text;
    EXPECT_GT(text.size(), line + named.size() + 1) << "no reason: " << text;
    EXPECT_EQ(text.back(), '.') << text;
    return;
  }
  if (Node* root = l.Build()) {
    EXPECT_GE(CountNodes(root), 1u);
    CheckTreeLinks(*l.doc.tree);
  } else {
    // A tree that cannot be built says why.
    EXPECT_FALSE(FailureReason(l.built).empty());
  }
}

const char* const kRealFixtures[] = {"basic.pak", "infozip.pk3", "comment.zip", "order.pk3", "names.pk3", "basic.wad"};

TEST(LoadingDamageTest, EveryTruncationOfRealFiles) {
  for (const char* name : kRealFixtures) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(FixturePath(name), &bytes)) << name;
    ScratchDir dir;
    const std::string ext = std::strrchr(name, '.');
    for (size_t length = 0; length < bytes.size(); ++length) {
      SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(length));
      std::string path = dir.Path("cut" + ext);
      ASSERT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)));
      OpenBuildClose(path);
    }
  }
}

TEST(LoadingDamageTest, EveryOneByteCorruptionOfRealFiles) {
  const uint8_t patterns[] = {0x00, 0xFF, 0x80};
  for (const char* name : kRealFixtures) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(FixturePath(name), &bytes)) << name;
    ScratchDir dir;
    const std::string ext = std::strrchr(name, '.');
    std::string path = dir.Path("bad" + ext);
    for (size_t at = 0; at < bytes.size(); ++at) {
      for (uint8_t pattern : patterns) {
        if (bytes[at] == pattern) continue;
        SCOPED_TRACE(std::string(name) + " byte " + std::to_string(at));
        std::vector<uint8_t> damaged = bytes;
        damaged[at] = pattern;
        ASSERT_TRUE(WriteFileBytes(path, damaged));
        OpenBuildClose(path);
      }
    }
  }
}

// Files that are no archive, or not all of one, each with the reason its refusal gives.
TEST(LoadingDamageTest, RefusedOpensSayWhyTable) {
  const char* pak = "Error reading PAK file";
  const char* pk3 = "Error reading PK3 file";
  const char* wad = "Error reading WAD2 file";
  const std::string noEnd = "no end-of-central-directory record (not a ZIP archive, or cut short)";
  const std::string noPack = "no \"PACK\" header (not a PAK archive)";
  const std::string noWad2 = "no \"WAD2\" header (not a WAD2 archive)";
  const std::string wadPastEnd = "its directory runs past the end of the file";
  const std::vector<uint8_t> zip = sample::Zip({"a.txt", "b/c.txt", "d/"});
  const size_t central = GetLE32(zip.data() + sample::ZipEndOffset(zip) + 16);
  const std::vector<uint8_t> commented = sample::Zip({"a.txt"}, "an archive comment");
  const std::vector<uint8_t> pakBytes = sample::Pak({{"a.txt", "1"}, {"b.txt", "22"}});
  const std::vector<sample::WadLump> lumps = {{"wall", 0x44, "mip"}, {"conback", 0x42, "pic"}};
  const std::vector<uint8_t> wadBytes = sample::Wad(lumps);
  auto retyped = [](std::vector<uint8_t> bytes, const char* magic) {
    std::copy(magic, magic + 4, bytes.begin());
    return bytes;
  };
  const std::string lines = "A text file.\nIt has lines, but no archive in it.\n";
  const std::vector<uint8_t> text(lines.begin(), lines.end());
  auto cut = [](const std::vector<uint8_t>& bytes, size_t length) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  };
  auto joined = [](std::vector<uint8_t> bytes, const std::string& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
  };
  struct Case {
    const char* what;
    const char* name;  // the file's name; a folder when bytes is null
    const std::vector<uint8_t>* bytes;
    const char* message;
    std::string why;
  };
  const std::vector<uint8_t> none;
  const std::vector<uint8_t> zipCut1 = cut(zip, 1), zipCut21 = cut(zip, 21), zipInData = cut(zip, 40),
                             zipInCentral = cut(zip, central + 10), zipInEnd = cut(zip, zip.size() - 5),
                             zipLastByte = cut(zip, zip.size() - 1),
                             inComment = cut(commented, commented.size() - 3),
                             afterComment = joined(commented, "more"), pakCut2 = cut(pakBytes, 2),
                             pakCut11 = cut(pakBytes, 11),
                             pakInDirectory = cut(pakBytes, pakBytes.size() - 1),
                             wadCut2 = cut(wadBytes, 2), wadCut11 = cut(wadBytes, 11),
                             wadInDirectory = cut(wadBytes, wadBytes.size() - 1),
                             wadDirectoryBeyond = sample::Wad(lumps, ~0u, 100000),
                             wadDirectoryAtEnd = sample::Wad(lumps, ~0u, static_cast<uint32_t>(wadBytes.size() - 63)),
                             wadDirectoryNear4GB = sample::Wad(lumps, ~0u, 0xFFFFFFF0u),
                             wadLumpsBeyond = sample::Wad(lumps, 3),
                             wadTooMany = sample::Wad(lumps, 65537), wadCountNear4GB = sample::Wad(lumps, 0xFFFFFFFEu),
                             wad3 = retyped(wadBytes, "WAD3"), iwad = retyped(wadBytes, "IWAD");
  const Case cases[] = {
      {"empty .pk3", "empty.pk3", &none, pk3, "the file is empty"},
      {"empty .zip", "empty.zip", &none, pk3, "the file is empty"},
      {"empty .pak", "empty.pak", &none, pak, "the file is empty"},
      {"empty, no extension", "empty", &none, pk3, "the file is empty"},
      {"folder .pk3", "folder.pk3", nullptr, pk3, "it is a folder"},
      {"folder .pak", "folder.pak", nullptr, pak, "it is a folder"},
      {"folder, no extension", "folder", nullptr, pk3, "it is a folder"},
      {"text .pk3", "text.pk3", &text, pk3, noEnd},
      {"text .pak", "text.pak", &text, pak, noPack},
      {"text, no extension", "text", &text, pk3, noEnd},
      {"ZIP cut to 1 byte", "cut.pk3", &zipCut1, pk3, noEnd},
      {"ZIP cut to 21 bytes", "cut.pk3", &zipCut21, pk3, noEnd},
      {"ZIP cut in its data", "cut.pk3", &zipInData, pk3, noEnd},
      {"ZIP cut in its central directory", "cut.pk3", &zipInCentral, pk3, noEnd},
      {"ZIP cut in its end record", "cut.pk3", &zipInEnd, pk3, noEnd},
      {"ZIP without its last byte", "cut.pk3", &zipLastByte, pk3, noEnd},
      {"ZIP cut in its comment", "cut.zip", &inComment, pk3, "the comment's length runs past the end"},
      {"bytes after the comment", "more.zip", &afterComment, pk3,
       "the comment's length stops short of the end"},
      {"PAK cut to 2 bytes", "cut.pak", &pakCut2, pak, "its header is cut short"},
      {"PAK cut to 11 bytes", "cut.pak", &pakCut11, pak, "its header is cut short"},
      {"PAK cut in its directory", "cut.pak", &pakInDirectory, pak,
       "its directory runs past the end of the file"},
      {"PAK cut in its directory, no extension", "cutpak", &pakInDirectory, pk3, noEnd},
      {"ZIP named .pak", "zip.pak", &zip, pak, noPack},
      {"PAK named .pk3", "pak.pk3", &pakBytes, pk3, noEnd},
      {"empty .wad", "empty.wad", &none, wad, "the file is empty"},
      {"folder .wad", "folder.wad", nullptr, wad, "it is a folder"},
      {"text .wad", "text.wad", &text, wad, noWad2},
      {"WAD2 cut to 2 bytes", "cut.wad", &wadCut2, wad, "its header is cut short"},
      {"WAD2 cut to 11 bytes", "cut.wad", &wadCut11, wad, "its header is cut short"},
      {"WAD2 cut in its directory", "cut.wad", &wadInDirectory, wad, wadPastEnd},
      {"WAD2 directory offset beyond the file", "far.wad", &wadDirectoryBeyond, wad, wadPastEnd},
      {"WAD2 directory starting within its last record", "late.wad", &wadDirectoryAtEnd, wad, wadPastEnd},
      {"WAD2 directory offset near 4 GB", "far.wad", &wadDirectoryNear4GB, wad, wadPastEnd},
      {"WAD2 counting more lumps than its directory holds", "count.wad", &wadLumpsBeyond, wad, wadPastEnd},
      {"WAD2 of more lumps than the format allows", "many.wad", &wadTooMany, wad,
       "it holds 65537 entries, more than the 65536 a WAD2 file can have"},
      {"WAD2 counting 4294967294 lumps", "many.wad", &wadCountNear4GB, wad,
       "it holds 4294967294 entries, more than the 65536 a WAD2 file can have"},
      {"WAD3 named .wad", "halflife.wad", &wad3, wad, noWad2},
      {"IWAD named .wad", "doom.wad", &iwad, wad, noWad2},
      {"ZIP named .wad", "zip.wad", &zip, wad, noWad2},
      {"PAK named .wad", "pak.wad", &pakBytes, wad, noWad2},
      // Only its extension makes a file a WAD2: without one it is read as a PAK, then a ZIP.
      {"WAD2, no extension", "gfx", &wadBytes, pk3, noEnd},
      {"WAD2 named .pak", "wad.pak", &wadBytes, pak, noPack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::string path = dir.Path(c.name);
    if (c.bytes)
      ASSERT_TRUE(WriteFileBytes(path, *c.bytes));
    else
      ASSERT_TRUE(MakeDirectory(path));
    Loaded l(path);
    EXPECT_EQ(l.format(), nullptr);
    ASSERT_EQ(l.messages.size(), 1u);
    EXPECT_EQ(l.messages[0], c.message + ("\n" + l.path) + ": " + c.why + ".");
  }
}

// Stored paths inserted in turn into one tree, as the rows of an archive's directory: each
// row adds its node, changes nothing (a directory that exists, a path naming only the root),
// or refuses the whole archive with the reason. A PAK holds them, as its reader passes every
// name on to the tree (a ZIP reader refuses an empty name itself).
TEST(LoadingDamageTest, StoredPathTable) {
  enum Outcome { kAdded, kUnchanged, kRefused };
  struct Row {
    const char* name;
    Outcome outcome;
    const char* why;  // of a refusal
  };
  const Row rows[] = {
      {"a/x", kAdded, ""},
      {"a/y", kAdded, ""},
      {"b/z", kAdded, ""},
      // A file stored again, in any case, is kept beside the first.
      {"a/x", kAdded, ""},
      {"A/X", kAdded, ""},
      // One name cannot be both a file and a folder.
      {"b/z/", kRefused, "\"b/z/\" is stored both as a file and as a folder"},
      {"a/", kUnchanged, ""},
      {"a/x/under", kRefused, "\"a/x/under\": a path runs through the file \"a/x\""},
      {"C/D/", kAdded, ""},
      {"c/d/e", kAdded, ""},
      {"c/D", kRefused, "\"c/D\" is stored both as a file and as a folder"},
      {"", kRefused, "an entry is stored under \"\", which names no file"},
      {"/", kUnchanged, ""},
      {"//f//g", kAdded, ""},
      {"a\\b", kAdded, ""},
  };
  ScratchDir dir;
  const std::string path = dir.Path("rows.pak");
  std::vector<std::string> accepted;  // the rows so far that did not refuse the archive
  uint32_t nodes = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<sample::PakItem> items;
    for (const std::string& name : accepted) items.push_back({name, ""});
    items.push_back({row.name, ""});
    ASSERT_TRUE(WriteFileBytes(path, sample::Pak(items)));
    Loaded l(path);
    ASSERT_NE(l.format(), nullptr);
    Node* root = l.Build();
    EXPECT_EQ(FailureReason(l.built), row.why);
    if (row.outcome == kRefused) {
      EXPECT_EQ(root, nullptr);
      continue;
    }
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(CountNodes(root) > nodes, row.outcome == kAdded);
    nodes = CountNodes(root);
    accepted.push_back(row.name);
  }
  std::vector<sample::PakItem> items;
  for (const std::string& name : accepted) items.push_back({name, ""});
  ASSERT_TRUE(WriteFileBytes(path, sample::Pak(items)));
  Loaded l(path);
  Node* root = l.Build();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Listing(root), "a\\b f/ f/g c/ c/d/ c/d/e b/ b/z a/ a/x a/x a/y a/x");
  CheckTreeLinks(*l.doc.tree);
  // File nodes read from their own record: the last one stored is the head of the root.
  ASSERT_NE(root->firstChild()->source(), nullptr);
  EXPECT_EQ(root->firstChild()->source()->index, accepted.size() - 1);
  EXPECT_TRUE(root->firstChild()->IsFile());
}

TEST(LoadingDamageTest, AddedNodesAreLinkedAndRefusedOnesLeaveTheTreeAsItWas) {
  ArchiveTree tree;
  Node* dir = tree.AddDirectory(tree.root(), "maps");
  ASSERT_NE(dir, nullptr);
  EXPECT_TRUE(dir->IsDirectory());
  EXPECT_EQ(dir->parent(), tree.root());
  EXPECT_EQ(tree.Find(dir->id()), dir);
  Node* file = tree.AddFile(dir, "level1.bsp", SourceEntry{0, 7});
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->IsFile());
  ASSERT_NE(file->source(), nullptr);
  EXPECT_EQ(file->size(), 7u);

  // A file holds no children.
  EXPECT_EQ(tree.AddDirectory(file, "refused"), nullptr);
  EXPECT_EQ(tree.AddFile(file, "refused", MemoryBytes{}), nullptr);
  EXPECT_EQ(tree.AddDirectory(nullptr, "refused"), nullptr);
  EXPECT_EQ(Listing(tree.root()), "maps/ maps/level1.bsp");
  EXPECT_EQ(tree.NodeCount(), 3u);
}

TEST(LoadingDamageTest, DocumentWithoutSourceGetsAnEmptyRoot) {
  ArchiveDocument doc;
  EXPECT_FALSE(BuildTree(&doc));
  Node* root = doc.root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name(), "/");
  EXPECT_TRUE(root->IsRoot());
  EXPECT_EQ(root->firstChild(), nullptr);
  CheckTreeLinks(*doc.tree);
}

}  // namespace
