// Damaged and hostile inputs: every one must end in a clean refusal or a sound
// tree, never in a read outside a buffer (the native build runs under ASan).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/loading.h"
#include "tests/core/loading_support.h"
#include "tests/core/test_support.h"

namespace {

// Opens and, when that works, builds; the result only has to be consistent.
void OpenBuildClose(const std::string& path) {
  Loaded l(path);
  if (l.doc.archiveKind == ArchiveKind::None) {
    EXPECT_EQ(l.messages.messages.size(), 1u);
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
