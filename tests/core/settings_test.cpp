#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "services/core/recent_files.h"
#include "services/core/window_state.h"

TEST(WindowStateTest, ZeroBlockGetsTheFirstRunDefaults) {
  WindowState s;
  std::memset(&s, 0, sizeof s);
  CorrectWindowState(&s);
  EXPECT_EQ(s.childWidth, kUseDefaultSize);
  EXPECT_EQ(s.childHeight, kUseDefaultSize);
  EXPECT_EQ(s.folderPaneWidth, 100);
  EXPECT_EQ(s.nameColumnWidth, 120);
  EXPECT_EQ(s.sizeColumnWidth, 60);
  EXPECT_EQ(s.typeColumnWidth, 120);
  EXPECT_EQ(s.modifiedColumnWidth, 120);
  EXPECT_EQ(s.packedColumnWidth, 70);
  EXPECT_EQ(s.ratioColumnWidth, 50);
  EXPECT_EQ(s.methodColumnWidth, 70);
  EXPECT_EQ(s.crcColumnWidth, 75);
  EXPECT_EQ(s.hiddenColumns, 0);
  EXPECT_EQ(s.viewMode, kViewLargeIcons);
  EXPECT_EQ(s.sortKey, kSortByName);
  EXPECT_EQ(s.childStyle, 0u);
}

// The block is stored as bytes: each field sits at its stored offset.
static_assert(offsetof(WindowState, folderPaneWidth) == 8);
static_assert(offsetof(WindowState, viewMode) == 16);
static_assert(offsetof(WindowState, sortKey) == 20);
static_assert(offsetof(WindowState, modifiedColumnWidth) == 22);
static_assert(offsetof(WindowState, childStyle) == 24);
static_assert(offsetof(WindowState, previewPaneHeight) == 28);
static_assert(offsetof(WindowState, hiddenColumns) == 40);
static_assert(offsetof(WindowState, reserved) == 42);

TEST(WindowStateTest, Corrections) {
  struct Case {
    uint32_t view, expectView;
    uint16_t sort, expectSort;
    uint32_t style, expectStyle;
  };
  const Case cases[] = {
      {7, kViewDetails, 0x0103, kSortByName, 1, 0},
      {3, kViewList, 0x0104, 0x0104, kWindowStateMaximize, kWindowStateMaximize},
      {2, kViewSmallIcons, 0x0002, 0x0002, 0x02000000, 0},
      {1, kViewDetails, 0x0108, 0x0108, 0, 0},
      {1, kViewDetails, 0x0008, 0x0008, 0, 0},
      {1, kViewDetails, 0x0010, 0x0010, 0, 0},
      {1, kViewDetails, 0x0120, 0x0120, 0, 0},
      {1, kViewDetails, 0x0040, 0x0040, 0, 0},
      {1, kViewDetails, 0x0180, 0x0180, 0, 0},
      {1, kViewDetails, 0x000C, kSortByName, 0, 0},
      {1, kViewDetails, 0x0030, kSortByName, 0, 0},
      {4, kViewThumbnails, 0x0000, kSortByName, 0, 0},
      {5, kViewDetails, 0x0000, kSortByName, 0, 0},
      {0xFFFFFFFF, kViewDetails, 0x01FF, kSortByName, 0x01000001, 0},
  };
  for (const Case& c : cases) {
    WindowState s;
    std::memset(&s, 0, sizeof s);
    s.childWidth = 640;
    s.childHeight = -5;
    s.viewMode = c.view;
    s.sortKey = c.sort;
    s.childStyle = c.style;
    s.modifiedColumnWidth = 0xBEEF;
    s.crcColumnWidth = 0xBEEF;
    s.hiddenColumns = 0xFFFF;  // the list shows Name whatever this says
    s.reserved[9] = 0x5A;
    CorrectWindowState(&s);
    EXPECT_EQ(s.viewMode, c.expectView) << c.view;
    EXPECT_EQ(s.sortKey, c.expectSort) << c.sort;
    EXPECT_EQ(s.childStyle, c.expectStyle) << c.style;
    EXPECT_EQ(s.childWidth, 640);
    EXPECT_EQ(s.childHeight, -5);
    EXPECT_EQ(s.modifiedColumnWidth, 0xBEEF);
    EXPECT_EQ(s.crcColumnWidth, 0xBEEF);
    EXPECT_EQ(s.hiddenColumns, 0xFFFF) << "kept as read";
    EXPECT_EQ(s.reserved[9], 0x5A);
  }
}

TEST(WindowStateTest, ZipCompressionLevel) {
  EXPECT_EQ(CorrectZipCompressionLevel(0xFFFFFFFFu), 6u);  // preset, value missing
  EXPECT_EQ(CorrectZipCompressionLevel(12), 6u);
  EXPECT_EQ(CorrectZipCompressionLevel(10), 6u);
  EXPECT_EQ(CorrectZipCompressionLevel(9), 9u);
  EXPECT_EQ(CorrectZipCompressionLevel(0), 0u);
}

namespace {

// A submenu that starts with the resource's one empty placeholder item.
class FakeMenu : public RecentMenu {
 public:
  struct Item {
    uint32_t command;
    std::string text;
  };
  std::vector<Item> items{{0, ""}};
  int ItemCount() override { return static_cast<int>(items.size()); }
  void SetItem(int position, uint32_t command, const char* text) override {
    items.at(position) = {command, text};
  }
  void InsertItem(int position, uint32_t command, const char* text) override {
    items.insert(items.begin() + position, Item{command, text});
  }
};

std::vector<std::string> Entries(const RecentFileList& list) {
  std::vector<std::string> out;
  for (int i = 0; list.At(i); ++i) out.push_back(list.At(i));
  return out;
}

}  // namespace

TEST(RecentFileListTest, CapacityIsCappedAndEmptyPathsIgnored) {
  FakeMenu menu;
  RecentFileList list;
  list.Add("c:\\before-create.pak");  // not created yet: ignored
  ASSERT_TRUE(list.Create(&menu, 40));
  EXPECT_EQ(list.capacity(), kRecentFileMaxCapacity);
  list.Add(nullptr);
  list.Add("");
  EXPECT_EQ(list.At(0), nullptr);
  ASSERT_EQ(menu.items.size(), 1u);
  EXPECT_EQ(menu.items[0].text, "");
}

TEST(RecentFileListTest, ReopeningTheThirdMovesItToTheTopWithoutACopy) {
  FakeMenu menu;
  RecentFileList list;
  ASSERT_TRUE(list.Create(&menu, kRecentFileCapacity));
  for (const char* p : {"d.pak", "c.pak", "b.pak", "a.pak"}) list.Add(p);
  const char* third = list.At(2);
  ASSERT_STREQ(third, "c.pak");
  list.Add("c.pak");
  EXPECT_EQ(list.At(0), third);  // the same entry, not a new copy
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"c.pak", "a.pak", "b.pak", "d.pak"}));
  ASSERT_EQ(menu.items.size(), 4u);
  EXPECT_EQ(menu.items[0].text, "&1\tc.pak");
  EXPECT_EQ(menu.items[3].text, "&4\td.pak");
  EXPECT_EQ(menu.items[3].command, kRecentFileFirstCommand + 3);
}

TEST(RecentFileListTest, EleventhArchiveDropsTheOldestAndLabelsStayInOrder) {
  FakeMenu menu;
  RecentFileList list;
  ASSERT_TRUE(list.Create(&menu, kRecentFileCapacity));
  for (int i = 1; i <= 11; ++i) list.Add(("file" + std::to_string(i) + ".pk3").c_str());
  std::vector<std::string> entries = Entries(list);
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries.front(), "file11.pk3");
  EXPECT_EQ(entries.back(), "file2.pk3");
  ASSERT_EQ(menu.items.size(), 10u);
  const char* labels[] = {"&1\t", "&2\t", "&3\t", "&4\t", "&5\t",
                          "&6\t", "&7\t", "&8\t", "&9\t", "1&0\t"};
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(menu.items[k].text, std::string(labels[k]) + entries[k]) << k;
    EXPECT_EQ(menu.items[k].command, kRecentFileFirstCommand + k);
  }
}

TEST(RecentFileListTest, PathsDifferingInCaseAreTwoEntries) {
  FakeMenu menu;
  RecentFileList list;
  ASSERT_TRUE(list.Create(&menu, kRecentFileCapacity));
  list.Add("C:\\Games\\Pak0.pak");
  list.Add("c:\\games\\pak0.pak");
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"c:\\games\\pak0.pak", "C:\\Games\\Pak0.pak"}));
}

TEST(RecentFileListTest, LabelsBeyondTenHaveNoMnemonic) {
  char buffer[16];
  RecentFileLabel(0, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "&1\t");
  RecentFileLabel(9, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "1&0\t");
  RecentFileLabel(14, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "15\t");
}
