#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "archive/tree.h"
#include "panes/core/column_values.h"
#include "panes/core/list_order.h"

namespace {

// Nodes of one tree that keeps the case of names: directories, and files of a given size
// (entries of a source, which need no bytes in memory however large), some of them with a
// time.
class Items {
 public:
  const Node* Dir(const char* name) { return tree_.AddDirectory(tree_.root(), name); }
  const Node* File(const char* name, uint32_t size) {
    return tree_.AddFile(tree_.root(), name, SourceEntry{next_++, size});
  }
  // A file with a looked-up value: its time, stored size, saving, method rank or CRC-32.
  const Node* Dated(const char* name, int64_t moment) {
    const Node* node = File(name, 1);
    values_[node] = moment;
    return node;
  }

  std::vector<std::string> Sorted(uint32_t key) {
    std::vector<const Node*> v;
    for (const Node* n = tree_.root()->firstChild(); n; n = n->nextSibling()) v.push_back(n);
    // In the order they were added.
    std::reverse(v.begin(), v.end());
    std::stable_sort(v.begin(), v.end(),
                     [&](const Node* a, const Node* b) { return CompareListEntries(a, b, key, &values_) < 0; });
    std::vector<std::string> names;
    for (const Node* n : v) names.push_back(n->name());
    return names;
  }

 private:
  ArchiveTree tree_{true};
  uint32_t next_ = 0;
  EntryValues values_;
};

using Names = std::vector<std::string>;

}  // namespace

TEST(ListOrderTest, ByNamePutsDirectoriesFirstAndIgnoresCase) {
  Items items;
  items.File("a", 1);
  items.File("b", 1);
  items.File("B", 1);
  items.Dir("Maps");
  items.File("ab", 1);
  items.Dir("gfx");
  // Names that differ only in case (duplicates read from an archive) still come in one order.
  EXPECT_EQ(items.Sorted(1), (Names{"gfx", "Maps", "a", "ab", "B", "b"}));
  // Descending reverses the order within directories and within files; directories stay first.
  EXPECT_EQ(items.Sorted(0x101), (Names{"Maps", "gfx", "b", "B", "ab", "a"}));
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
  EXPECT_EQ(items.Sorted(2), (Names{"sound", "makefile", "readme", "b.bsp", "x.BSP", "z.bsp", "a.txt"}));
  EXPECT_EQ(items.Sorted(0x102),
            (Names{"sound", "a.txt", "z.bsp", "x.BSP", "b.bsp", "readme", "makefile"}));
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

// Modified, Packed, Ratio, Method and CRC-32 all order by a looked-up value.
TEST(ListOrderTest, ByEachLookedUpValueSmallestFirstWithDirectoriesFirstAndTiesByName) {
  for (uint32_t key : {0x08u, 0x10u, 0x20u, 0x40u, 0x80u}) {
  SCOPED_TRACE(key);
  EXPECT_TRUE(SortsByValue(key));
  EXPECT_TRUE(SortsByValue(key | 0x100));
  Items items;
  items.Dated("new", 1700000000);
  items.Dated("old", 315532800);
  items.Dir("maps");
  items.File("unknown", 10);
  items.Dated("b-same", 1000000000);
  items.Dated("a-same", 1000000000);
  items.Dir("gfx");
  // Before 1970: still older than all the others.
  items.Dated("ancient", -86400);
  // Past 2038, which a 32-bit count of seconds cannot hold.
  items.Dated("future", 4102444800);
  EXPECT_EQ(items.Sorted(key),
            (Names{"gfx", "maps", "unknown", "ancient", "old", "a-same", "b-same", "new", "future"}));
  EXPECT_EQ(items.Sorted(key | 0x100),
            (Names{"maps", "gfx", "future", "new", "b-same", "a-same", "old", "ancient", "unknown"}));
  }
  for (uint32_t key : {0x01u, 0x02u, 0x04u, 0x0Cu, 0x11u}) EXPECT_FALSE(SortsByValue(key)) << key;
}

TEST(ListOrderTest, ByModifiedWithoutTimesFollowsTheNames) {
  Items items;
  items.File("b", 1);
  items.Dir("dir");
  items.File("a", 2);
  EXPECT_LT(CompareListEntries(items.File("c", 3), items.File("d", 1), 8), 0);
  EXPECT_EQ(items.Sorted(8), (Names{"dir", "a", "b", "c", "d"}));
}

TEST(ListOrderTest, NullEntriesAndUnknownKeys) {
  Items items;
  const Node* a = items.File("a", 1);
  EXPECT_EQ(CompareListEntries(nullptr, a, 1), -1);
  EXPECT_EQ(CompareListEntries(a, nullptr, 1), 1);
  EXPECT_EQ(CompareListEntries(nullptr, nullptr, 1), 0);
  EXPECT_EQ(CompareListEntries(a, items.File("b", 2), 3), 0);
  EXPECT_EQ(CompareListEntries(a, items.File("b", 2), 0x30), 0);
  EXPECT_EQ(CompareListEntries(a, items.File("b", 2), 12), 0);
}

TEST(ListOrderTest, SizesOfEachKind) {
  ArchiveTree tree;
  const Node* entry = tree.AddFile(tree.root(), "entry", SourceEntry{0, 1234567});
  EXPECT_EQ(EntryDisplaySize(entry), 1234567u);
  EXPECT_TRUE(EntryHasSize(entry));
  const Node* largest = tree.AddFile(tree.root(), "largest", SourceEntry{1, 0xFFFFFFFFu});
  EXPECT_EQ(EntryDisplaySize(largest), 0xFFFFFFFFu);
  const uint8_t three[] = {1, 2, 3};
  const Node* memory = tree.AddFile(tree.root(), "memory", MemoryBytes{EntryBuffer::Copy(three, 3)});
  EXPECT_EQ(EntryDisplaySize(memory), 3u);
  EXPECT_TRUE(EntryHasSize(memory));
  const Node* empty = tree.AddFile(tree.root(), "empty", MemoryBytes{});
  EXPECT_EQ(EntryDisplaySize(empty), 0u);
  EXPECT_TRUE(EntryHasSize(empty));
  const Node* dir = tree.AddDirectory(tree.root(), "dir");
  EXPECT_EQ(EntryDisplaySize(dir), 0u);
  EXPECT_FALSE(EntryHasSize(dir));
  EXPECT_FALSE(EntryHasSize(nullptr));
}

TEST(ColumnValuesTest, SavingsMethodsAndCrcTexts) {
  const struct {
    uint32_t size, stored;
    int64_t millionths;
    const char* text;
  } savings[] = {
      {1000, 370, 630000, "63%"}, {0, 0, 0, "0%"},          {5, 5, 0, "0%"},
      {3, 0, 1000000, "100%"},    {3, 1, 666666, "66%"},    {100, 102, -20000, "-2%"},
      {1, 0xFFFFFFFFu, -4294967294000000, "-429496729400%"}, {0xFFFFFFFFu, 1, 999999, "99%"},
  };
  for (const auto& c : savings) {
    SCOPED_TRACE(std::to_string(c.size) + "/" + std::to_string(c.stored));
    EXPECT_EQ(SavingMillionths(c.size, c.stored), c.millionths);
    EXPECT_EQ(SavingText(c.size, c.stored), c.text);
  }
  const struct {
    StoredMethod method;
    uint16_t code;
    bool zip;
    const char* text;
  } methods[] = {
      {StoredMethod::Stored, 0, true, "Stored"},     {StoredMethod::Deflated, 8, true, "Deflate"},
      {StoredMethod::Stored, 0, false, "Stored"},    {StoredMethod::Encrypted, 8, true, "Encrypted"},
      {StoredMethod::Other, 14, true, "LZMA"},       {StoredMethod::Other, 12, true, "BZip2"},
      {StoredMethod::Other, 9, true, "Deflate64"},   {StoredMethod::Other, 1, false, "LZSS"},
      {StoredMethod::Other, 14, false, "Method 14"}, {StoredMethod::Other, 65535, true, "Method 65535"},
  };
  for (const auto& c : methods) EXPECT_EQ(MethodText(c.method, c.code, c.zip), c.text) << c.code;
  EXPECT_EQ(CrcText(0), "00000000");
  EXPECT_EQ(CrcText(0xCBF43926u), "CBF43926");
  EXPECT_EQ(CrcText(0xABCu), "00000ABC");
}
