// Damaged and hostile inputs: every one must end in a clean refusal or a sound
// tree, never in a read outside a buffer (the native build runs under ASan).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/loading.h"
#include "tests/core/loading_support.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"

namespace {

// Opens and, when that works, builds; the result only has to be consistent. A refused
// open always says why.
void OpenBuildClose(const std::string& path) {
  Loaded l(path);
  if (l.doc.archiveKind == ArchiveKind::None) {
    ASSERT_EQ(l.messages.messages.size(), 1u);
    const std::string& text = l.messages.messages[0].text;
    const size_t line = text.find('\n');
    ASSERT_NE(line, std::string::npos) << text;
    EXPECT_TRUE(text.compare(0, line, "Error reading PAK file") == 0 ||
                text.compare(0, line, "Error reading PK3 file") == 0)
        << text;
    const std::string named = "\n" + l.path + ": ";
    EXPECT_EQ(text.compare(line, named.size(), named), 0) << text;
    EXPECT_GT(text.size(), line + named.size() + 1) << "no reason: " << text;
    EXPECT_EQ(text.back(), '.') << text;
    return;
  }
  if (ArchiveNode* root = l.Build()) {
    EXPECT_GE(TreeCountNodes(root), 1u);
    CheckFolderItems(root, l.folders);
  }
}

const char* const kRealFixtures[] = {"basic.pak", "infozip.pk3", "comment.zip", "order.pk3", "names.pk3"};

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
  const std::string noEnd = "no end-of-central-directory record (not a ZIP archive, or cut short)";
  const std::string noPack = "no \"PACK\" header (not a PAK archive)";
  const std::vector<uint8_t> zip = sample::Zip({"a.txt", "b/c.txt", "d/"});
  const size_t central = GetLE32(zip.data() + sample::ZipEndOffset(zip) + 16);
  const std::vector<uint8_t> commented = sample::Zip({"a.txt"}, "an archive comment");
  const std::vector<uint8_t> pakBytes = sample::Pak({{"a.txt", "1"}, {"b.txt", "22"}});
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
                             pakInDirectory = cut(pakBytes, pakBytes.size() - 1);
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
    EXPECT_EQ(l.doc.archiveKind, ArchiveKind::None);
    ASSERT_EQ(l.messages.messages.size(), 1u);
    EXPECT_EQ(l.messages.messages[0].text, c.message + ("\n" + l.path) + ": " + c.why + ".");
  }
}

// A folder tree that refuses an item makes the whole build fail, at whichever item.
TEST(LoadingDamageTest, FolderItemFailureFreesTheTreeAtEveryPoint) {
  const std::string path = FixturePath("infozip.pk3");
  size_t items;
  {
    Loaded full(path);
    ASSERT_NE(full.Build(), nullptr);
    items = full.folders.items.size();
  }
  ASSERT_EQ(items, 5u);  // the root, maps, sound, progs, progs/empty
  for (size_t failAfter = 0; failAfter < items; ++failAfter) {
    Loaded l(path);
    l.folders.failAfter = static_cast<int>(failAfter);
    EXPECT_EQ(l.Build(), nullptr) << failAfter;
    EXPECT_EQ(l.doc.root, nullptr);
  }
}

Pk3CentralRecord Record(const char* name) {
  Pk3CentralRecord r{};
  r.name = const_cast<char*>(name);
  return r;
}

TEST(LoadingDamageTest, InsertPk3EntryByPathTable) {
  // Each row is inserted in turn into one tree; results and the final listing are checked.
  struct Row {
    const char* name;
    int result;
  };
  const Row rows[] = {
      {"a/x", 1},        {"a/y", 1},         {"b/z", 1},      {"a/x", 0},   {"A/X", 0},
      {"a/", 0},         {"a/x/under", 0},   {"C/D/", 1},     {"c/d/e", 1}, {"", 0},
      {"/", 0},          {"//f//g", 1},      {"a\\b", 1},
  };
  RecordingFolderTree folders;
  ArchiveNode* root = TreeNewRoot();
  ArchiveEntry* rootEntry = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  rootEntry->kind = static_cast<uint32_t>(EntryKind::Root);
  rootEntry->name = static_cast<char*>(std::malloc(2));
  std::strcpy(rootEntry->name, "/");
  rootEntry->node = root;
  rootEntry->treeItem = folders.InsertRootItem(rootEntry);
  rootEntry->parentTreeItem = folders.RootMarker();
  root->entry = rootEntry;
  std::vector<Pk3CentralRecord> records;
  records.reserve(sizeof rows / sizeof rows[0]);
  for (const Row& row : rows) {
    records.push_back(Record(row.name));
    EXPECT_EQ(InsertPk3EntryByPath(folders, root, &records.back()), row.result) << row.name;
  }
  EXPECT_EQ(Listing(root), "a\\b f/ f/g c/ c/d/ c/d/e b/ b/z a/ a/y a/x");
  CheckFolderItems(root, folders);
  // File nodes point at their own record.
  EXPECT_EQ(root->firstChild->entry->pk3Record, &records.back());
  EXPECT_TRUE(IsKind(root->firstChild->entry, EntryKind::Pk3File));
  TreeFree(root, FreeEntry);
}

TEST(LoadingDamageTest, AddDirectoryNodeLinksAndUndoes) {
  RecordingFolderTree folders;
  ArchiveNode* root = TreeNewRoot();
  ArchiveEntry* rootEntry = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  rootEntry->kind = static_cast<uint32_t>(EntryKind::Root);
  rootEntry->name = static_cast<char*>(std::malloc(2));
  std::strcpy(rootEntry->name, "/");
  rootEntry->treeItem = folders.InsertRootItem(rootEntry);
  root->entry = rootEntry;

  ArchiveNode* dir = AddDirectoryNode(folders, root, "maps");
  ASSERT_NE(dir, nullptr);
  EXPECT_TRUE(IsKind(dir->entry, EntryKind::Directory));
  EXPECT_EQ(dir->entry->parentTreeItem, rootEntry->treeItem);
  EXPECT_EQ(dir->entry->node, dir);
  ArchiveNode* file = AddPakFileNode(dir, nullptr, "level1.bsp");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(IsKind(file->entry, EntryKind::PakFile));
  EXPECT_EQ(file->entry->treeItem, nullptr);

  folders.failAfter = static_cast<int>(folders.items.size());
  EXPECT_EQ(AddDirectoryNode(folders, root, "refused"), nullptr);
  EXPECT_EQ(Listing(root), "maps/ maps/level1.bsp");
  TreeFree(root, FreeEntry);
}

TEST(LoadingDamageTest, DocumentWithoutSourceGetsAnEmptyRoot) {
  ArchiveDocument doc{};
  RecordingFolderTree folders;
  ArchiveNode* root = TreeBuildFromSource(&doc, folders);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(doc.root, root);
  EXPECT_STREQ(root->entry->name, "/");
  EXPECT_TRUE(IsKind(root->entry, EntryKind::Root));
  EXPECT_EQ(root->firstChild, nullptr);
  CheckFolderItems(root, folders);
  TreeFree(root, FreeEntry);
}

}  // namespace
