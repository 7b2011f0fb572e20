#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "archive/formats.h"
#include "panes/core/list_order.h"

namespace {

struct Item {
  ArchiveEntry entry;
  std::string name;
};

// Entries owned by the test: directories, and memory files of a given size.
class Items {
 public:
  ArchiveEntry* Dir(const char* name) { return Add(name, EntryKind::Directory, 0); }
  ArchiveEntry* File(const char* name, uint32_t size) { return Add(name, EntryKind::MemoryFile, size); }

  std::vector<std::string> Sorted(uint32_t key) {
    std::vector<ArchiveEntry*> v;
    for (auto& item : items_) v.push_back(&item->entry);
    std::stable_sort(v.begin(), v.end(), [key](const ArchiveEntry* a, const ArchiveEntry* b) {
      return CompareListEntries(a, b, key) < 0;
    });
    std::vector<std::string> names;
    for (auto* e : v) names.push_back(e->name);
    return names;
  }

 private:
  ArchiveEntry* Add(const char* name, EntryKind kind, uint32_t size) {
    items_.push_back(std::make_unique<Item>());
    Item& item = *items_.back();
    item.name = name;
    std::memset(&item.entry, 0, sizeof item.entry);
    item.entry.kind = static_cast<uint32_t>(kind);
    item.entry.name = &item.name[0];
    item.entry.size = size;
    return &item.entry;
  }
  std::vector<std::unique_ptr<Item>> items_;
};

using Names = std::vector<std::string>;

}  // namespace

TEST(ListOrderTest, ByNamePutsDirectoriesFirstAndComparesBytes) {
  Items items;
  items.File("a", 1);
  items.File("B", 1);
  items.Dir("maps");
  items.File("ab", 1);
  items.Dir("gfx");
  EXPECT_EQ(items.Sorted(1), (Names{"gfx", "maps", "B", "a", "ab"}));
  // Descending reverses the order within directories and within files; directories stay first.
  EXPECT_EQ(items.Sorted(0x101), (Names{"maps", "gfx", "ab", "a", "B"}));
}

TEST(ListOrderTest, ByTypeGroupsByExtensionThenName) {
  Items items;
  items.File("readme", 1);
  items.File("z.bsp", 1);
  items.File("a.txt", 1);
  items.File("b.bsp", 1);
  items.File("makefile", 1);
  items.Dir("sound");
  items.File("x.BSP", 1);
  EXPECT_EQ(items.Sorted(2), (Names{"sound", "makefile", "readme", "x.BSP", "b.bsp", "z.bsp", "a.txt"}));
  EXPECT_EQ(items.Sorted(0x102),
            (Names{"sound", "a.txt", "z.bsp", "b.bsp", "x.BSP", "readme", "makefile"}));
}

TEST(ListOrderTest, BySizeWithDirectoryAndEmptyFile) {
  Items items;
  items.File("big", 5000000);
  items.File("empty", 0);
  items.Dir("dir");
  items.File("mid", 300);
  items.File("also300", 300);
  EXPECT_EQ(items.Sorted(4), (Names{"dir", "empty", "also300", "mid", "big"}));
  EXPECT_EQ(items.Sorted(0x104), (Names{"dir", "big", "mid", "also300", "empty"}));
}

TEST(ListOrderTest, FilesOfTwoGigabytesAndMoreSortAsLarge) {
  // Read as signed 32-bit numbers these sizes would come before every small file.
  Items items;
  items.File("small", 10);
  items.File("huge", 0x80000000u);
  items.File("largest", 0xFFFFFFFFu);
  EXPECT_EQ(items.Sorted(4), (Names{"small", "huge", "largest"}));
}

TEST(ListOrderTest, NullEntriesAndUnknownKeys) {
  Items items;
  ArchiveEntry* a = items.File("a", 1);
  EXPECT_EQ(CompareListEntries(nullptr, a, 1), -1);
  EXPECT_EQ(CompareListEntries(a, nullptr, 1), 1);
  EXPECT_EQ(CompareListEntries(nullptr, nullptr, 1), 0);
  EXPECT_EQ(CompareListEntries(a, items.File("b", 2), 3), 0);
  EXPECT_EQ(CompareListEntries(a, items.File("b", 2), 8), 0);
}

TEST(ListOrderTest, SizesOfEachKind) {
  PakDirEntry pak = {};
  pak.length = 1234567;
  Pk3CentralRecord record = {};
  record.Set32(zipc::kUncompressedSize, 42);
  ArchiveEntry e = {};
  e.kind = static_cast<uint32_t>(EntryKind::PakFile) | kViewingFlag;
  e.pakEntry = &pak;
  EXPECT_EQ(EntryDisplaySize(&e), 1234567);
  EXPECT_TRUE(EntryHasSize(&e));
  e.kind = static_cast<uint32_t>(EntryKind::Pk3File);
  e.pk3Record = &record;
  EXPECT_EQ(EntryDisplaySize(&e), 42);
  e.kind = static_cast<uint32_t>(EntryKind::Directory);
  EXPECT_EQ(EntryDisplaySize(&e), 0);
  EXPECT_FALSE(EntryHasSize(&e));
  e.kind = static_cast<uint32_t>(EntryKind::MemoryFile);
  e.size = 0xFFFFFFFF;
  EXPECT_EQ(EntryDisplaySize(&e), 0xFFFFFFFFu);
}
