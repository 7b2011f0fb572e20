// The folder tree and item list of an archive window: sorting, column clicks, view
// modes, Up, the arrow on the sorted column, and the times of the Modified column.
#include <cstring>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "panes/core/column_values.h"
#include "panes/list_columns.h"
#include "panes/preview_pane.h"
#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "services/dpi.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/number_format.h"
#include "services/settings.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/screenshot.h"
#include "tests/win/support/transfer_test_support.h"
#include "window/transfer_commands.h"

namespace {

using Names = std::vector<std::string>;

class ArchiveViewsTest : public ViewsWindowTest {
 protected:
  void Command(int id) { SendCommand(window_, id); }
  Names Listed() { return ListNames(doc_->itemList); }
  // The text of an item in a column, wherever the column stands; "" while it is hidden.
  std::string Text(int index, int column) {
    const int position = ColumnPosition(doc_, column);
    return position < 0 ? std::string() : ListText(doc_->itemList, index, position);
  }
  std::string TextOf(const std::string& name, int column) { return Text(ListIndexOf(name), column); }
  void ClickColumn(int column) { ClickHeaderColumn(ColumnPosition(doc_, column)); }
  bool MenuChecked(int id) {
    return (GetMenuState(g_mainMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  bool ButtonChecked(int id) { return SendMessageA(g_toolbar, TB_ISBUTTONCHECKED, id, 0) != 0; }
  bool ButtonEnabled(int id) { return SendMessageA(g_toolbar, TB_ISBUTTONENABLED, id, 0) != 0; }
  void ClickHeaderColumn(int column) {
    HWND header = ListView_GetHeader(doc_->itemList);
    RECT rc, client;
    // A column past the list's right edge is scrolled into view first, as a user would.
    GetClientRect(doc_->itemList, &client);
    Header_GetItemRect(header, column, &rc);
    MapWindowPoints(header, doc_->itemList, reinterpret_cast<POINT*>(&rc), 2);
    if (rc.right > client.right) ListView_Scroll(doc_->itemList, rc.right - client.right, 0);
    if (rc.left < client.left) ListView_Scroll(doc_->itemList, rc.left - client.left, 0);
    PumpPending();
    Header_GetItemRect(header, column, &rc);
    // A second click near the first within the double-click time would be a double click:
    // the clicks alternate between two spots farther apart than a double click allows.
    const int apart = GetSystemMetrics(SM_CXDOUBLECLK) / 2 + 1;
    const int side = (clicks_++ & 1) ? apart : -apart;
    POINT p = {(rc.left + rc.right) / 2 + side, (rc.top + rc.bottom) / 2};
    ClientToScreen(header, &p);
    ASSERT_TRUE(ClickAndWait(p));
  }
  int clicks_ = 0;
  // A real left click in the middle of rc (client coordinates of window).
  static void ClickIn(HWND window, const RECT& rc) {
    POINT p = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(window, &p);
    ClickAt(p);
  }
  // Opens path in a window of its own, which the helpers above then work on.
  void Switch(const std::string& path) {
    window_ = Open(path);
    ASSERT_NE(window_, nullptr) << path;
    doc_ = DocumentOf(window_);
    ASSERT_NE(doc_, nullptr);
    Command(ID_VIEW_DETAILS);
  }
  // The Modified text of each listed item, by name.
  std::map<std::string, std::string> ShownTimes() {
    std::map<std::string, std::string> times;
    const Names names = Listed();
    for (size_t i = 0; i < names.size(); ++i) times[names[i]] = Text(static_cast<int>(i), kModifiedColumn);
    return times;
  }
  void SelectFolder(const char* name) {
    HTREEITEM item = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), name);
    ASSERT_NE(item, nullptr) << name;
    TreeView_SelectItem(doc_->folderTree, item);
    PumpPending();
  }
  std::string ShownFolder() {
    return TreeText(doc_->folderTree, TreeView_GetSelection(doc_->folderTree));
  }
};

const Names kMapsListed = {"dm", "level1.bsp", "level2.bsp"};
const Names& kByName = kViewsRootListed;

// The list's text of a local time: the user's short date, a space, the time without seconds.
std::string ShownTime(const SYSTEMTIME& local) {
  char date[64] = {}, time[64] = {};
  EXPECT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date), 0);
  EXPECT_GT(GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, sizeof time), 0);
  return std::string(date) + " " + time;
}

// A DOS date and time is a local time already.
std::string ShownDosTime(uint32_t dos) {
  FILETIME local;
  SYSTEMTIME fields = {};
  EXPECT_TRUE(DosDateTimeToFileTime(HIWORD(dos), LOWORD(dos), &local));
  EXPECT_TRUE(FileTimeToSystemTime(&local, &fields));
  return ShownTime(fields);
}

// A file's time on disk is UTC.
std::string ShownFileTime(const FILETIME& utc) {
  SYSTEMTIME universal = {}, local = {};
  EXPECT_TRUE(FileTimeToSystemTime(&utc, &universal));
  EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local));
  return ShownTime(local);
}

constexpr uint32_t Dos(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute, uint32_t second) {
  return (year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2;
}

// A PK3 of empty files, each stored with its DOS time, and a folder.
struct DatedEntry {
  const char* name;
  uint32_t dosTime;
};
const DatedEntry kDated[] = {
    {"maps/", Dos(2001, 2, 3, 4, 5, 6)},
    {"maps/e1m1.bsp", Dos(2001, 2, 3, 4, 5, 6)},
    {"new.bsp", Dos(2026, 8, 12, 15, 4, 0)},
    {"old.txt", Dos(1999, 12, 31, 23, 58, 0)},
    {"same-b.txt", Dos(2005, 3, 1, 12, 0, 0)},
    {"mid.wav", Dos(2010, 6, 15, 8, 30, 10)},
    {"same-a.txt", Dos(2005, 3, 1, 12, 0, 0)},
    {"late.txt", Dos(2037, 12, 31, 23, 59, 58)},
    // Month 0 and day 0 name no day: nothing is known.
    {"nodate.txt", 0},
};

std::string DatedPk3() {
  std::vector<sample::ZipEntry> entries;
  for (const DatedEntry& e : kDated) {
    sample::ZipEntry entry{e.name, 0, {}, 0, 0};
    entry.dosTime = e.dosTime;
    entries.push_back(entry);
  }
  const std::vector<uint8_t> bytes = sample::ZipWithData(entries);
  return std::string(bytes.begin(), bytes.end());
}

// A descending order of an ascending one that lists its directories first: each
// group is reversed, the directories stay before the files.
Names Descending(const Names& names, size_t directories) {
  Names out(names.rend() - static_cast<std::ptrdiff_t>(directories), names.rend());
  out.insert(out.end(), names.rbegin(), names.rend() - static_cast<std::ptrdiff_t>(directories));
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Deflated(const std::vector<uint8_t>& plain) {
  std::vector<uint8_t> out(plain.size() + 1024);
  uint32_t size = static_cast<uint32_t>(out.size());
  EXPECT_EQ(DeflateBuffer(out.data(), &size, plain.data(), static_cast<uint32_t>(plain.size()), 6), 1);
  out.resize(size);
  return out;
}

// A PK3 entry stored (method 0) or deflated (8) from plain bytes.
sample::ZipEntry PlainEntry(const std::string& name, uint16_t method, const std::vector<uint8_t>& plain) {
  const uint32_t crc = Crc32(plain.data(), plain.size());
  return sample::ZipEntry{name, method, method == 8 ? Deflated(plain) : plain, crc,
                          static_cast<uint32_t>(plain.size())};
}

const std::string kStoredText = "stored bytes, as they are";
const std::string kMemoryText = "a file from the disk, not saved yet";
const std::vector<uint8_t> kPackedPlain(1000, 'a');

// A PK3 of a stored, a deflated and an LZMA entry (whose stored bytes no one reads here),
// and a folder: what the Packed, Ratio, Method and CRC-32 columns show of each.
std::string ColumnsPk3() {
  std::vector<sample::ZipEntry> entries = {
      PlainEntry("stored.txt", 0, Bytes(kStoredText)),
      PlainEntry("packed.txt", 8, kPackedPlain),
      sample::ZipEntry{"lzma.bin", 14, std::vector<uint8_t>(10, 0x5D), 0x12345678u, 20},
      sample::ZipEntry{"maps/", 0, {}, 0, 0},
  };
  const std::vector<uint8_t> bytes = sample::ZipWithData(entries);
  return std::string(bytes.begin(), bytes.end());
}

// An uncompressed TGA of one colour (0xRRGGBB) and opacity, its top row first.
std::vector<uint8_t> FlatTga(int width, int height, uint32_t rgb, uint8_t alpha = 0xFF) {
  const bool withAlpha = alpha != 0xFF;
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                              static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                              static_cast<uint8_t>(withAlpha ? 32 : 24),
                              static_cast<uint8_t>(withAlpha ? 0x28 : 0x20)};
  for (int i = 0; i < width * height; ++i) {
    tga.push_back(static_cast<uint8_t>(rgb));
    tga.push_back(static_cast<uint8_t>(rgb >> 8));
    tga.push_back(static_cast<uint8_t>(rgb >> 16));
    if (withAlpha) tga.push_back(alpha);
  }
  return tga;
}

// A 24-bit BMP of one colour, which the platform decodes.
std::vector<uint8_t> FlatBmp(int width, int height, uint32_t rgb) {
  const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u, pixels = row * height;
  std::vector<uint8_t> bmp = {'B', 'M'};
  sample::Put32(bmp, 54 + pixels);
  sample::Put32(bmp, 0);
  sample::Put32(bmp, 54);
  sample::Put32(bmp, 40);
  sample::Put32(bmp, width);
  sample::Put32(bmp, height);
  sample::Put16(bmp, 1);
  sample::Put16(bmp, 24);
  for (int i = 0; i < 6; ++i) sample::Put32(bmp, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bmp.push_back(static_cast<uint8_t>(rgb));
      bmp.push_back(static_cast<uint8_t>(rgb >> 8));
      bmp.push_back(static_cast<uint8_t>(rgb >> 16));
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < row; ++pad) bmp.push_back(0);
  }
  return bmp;
}

}  // namespace

TEST_F(ArchiveViewsTest, ThreeSortKeysAndTheirDescendingOrders) {
  EXPECT_EQ(Listed(), kByName);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_NAME));
  Command(ID_VIEW_BY_NAME);  // the same key again reverses, directories still first
  EXPECT_EQ(Listed(), Descending(kByName, 2));
  EXPECT_EQ(doc_->sortKey, 0x101u);
  EXPECT_EQ(g_settings.windowState.sortKey, 0x101);

  Command(ID_VIEW_BY_TYPE);
  const Names byType = {"maps", "sound", "b", "readme", "a.bsp", "z.bsp", "big.dat", "empty.txt", "notes.txt"};
  EXPECT_EQ(Listed(), byType);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_TYPE));
  EXPECT_FALSE(MenuChecked(ID_VIEW_BY_NAME));
  Command(ID_VIEW_BY_TYPE);
  EXPECT_EQ(Listed(), Descending(byType, 2));

  Command(ID_VIEW_BY_SIZE);
  // empty.txt and the two directories all count 0: directories first, then by name.
  const Names bySize = {"maps", "sound", "empty.txt", "b", "readme", "notes.txt", "a.bsp", "z.bsp", "big.dat"};
  EXPECT_EQ(Listed(), bySize);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_SIZE));
  EXPECT_FALSE(MenuChecked(ID_VIEW_BY_TYPE));
  Command(ID_VIEW_BY_SIZE);
  EXPECT_EQ(Listed(), Descending(bySize, 2));
  EXPECT_EQ(doc_->sortKey, 0x104u);
}

TEST_F(ArchiveViewsTest, ClickingAColumnSortsByItAndASecondClickReverses) {
  Command(ID_VIEW_DETAILS);
  ClickHeaderColumn(1);
  EXPECT_EQ(doc_->sortKey, 4u);
  EXPECT_EQ(Listed().back(), "big.dat");
  ClickHeaderColumn(1);
  EXPECT_EQ(doc_->sortKey, 0x104u);
  EXPECT_EQ(Listed()[2], "big.dat");  // the largest file, after the two directories
  ClickHeaderColumn(2);
  EXPECT_EQ(doc_->sortKey, 2u);
  // Every file of views.zip has the same time: by name within the folders and the files.
  ClickColumn(kModifiedColumn);
  EXPECT_EQ(doc_->sortKey, 8u);
  EXPECT_EQ(g_settings.windowState.sortKey, 8);
  EXPECT_EQ(Listed(), kByName);
  ClickColumn(kModifiedColumn);
  EXPECT_EQ(doc_->sortKey, 0x108u);
  EXPECT_EQ(Listed(), Descending(kByName, 2));
  ClickHeaderColumn(0);
  EXPECT_EQ(doc_->sortKey, 1u);
  EXPECT_EQ(Listed(), kByName);
}

TEST_F(ArchiveViewsTest, ViewModesAreCheckedInMenuAndToolbar) {
  struct Case {
    int command;
    DWORD style;
    uint32_t mode;
  };
  const Case cases[] = {{ID_VIEW_DETAILS, LVS_REPORT, 1},
                        {ID_VIEW_SMALL_ICONS, LVS_SMALLICON, 2},
                        {ID_VIEW_THUMBNAILS, LVS_ICON, 4},
                        {ID_VIEW_LIST, LVS_LIST, 3},
                        {ID_VIEW_LARGE_ICONS, LVS_ICON, 0}};
  const int all[] = {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS, ID_VIEW_THUMBNAILS};
  for (const Case& c : cases) {
    Command(c.command);
    EXPECT_EQ(GetWindowLongA(doc_->itemList, GWL_STYLE) & (LVS_TYPEMASK | LVS_SINGLESEL), static_cast<LONG>(c.style));
    EXPECT_EQ(doc_->viewMode, c.mode);
    EXPECT_EQ(g_settings.windowState.viewMode, c.mode);
    for (int id : all) {
      EXPECT_EQ(MenuChecked(id), id == c.command) << c.command << " " << id;
      EXPECT_EQ(ButtonChecked(id), id == c.command) << c.command << " " << id;
    }
  }
}

TEST_F(ArchiveViewsTest, UpGoesToTheParentAndIsDisabledAtTheRoot) {
  HTREEITEM root = TreeView_GetRoot(doc_->folderTree);
  EXPECT_FALSE(ButtonEnabled(ID_OBJECT_UP));
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, root, "maps");
  TreeView_SelectItem(doc_->folderTree, maps);
  PumpPending();
  EXPECT_EQ(Listed(), (Names{"dm", "level1.bsp", "level2.bsp"}));
  EXPECT_TRUE(ButtonEnabled(ID_OBJECT_UP));
  Command(ID_OBJECT_UP);
  EXPECT_EQ(TreeView_GetSelection(doc_->folderTree), root);
  EXPECT_FALSE(ButtonEnabled(ID_OBJECT_UP));
  EXPECT_EQ(Listed(), kByName);
  Command(ID_OBJECT_UP);  // at the root there is nowhere to go
  EXPECT_EQ(TreeView_GetSelection(doc_->folderTree), root);
}

TEST_F(ArchiveViewsTest, BackspaceGoesUpAFolderFromEitherPane) {
  HWND panes[] = {doc_->itemList, doc_->folderTree};
  for (HWND pane : panes) {
    SCOPED_TRACE(pane == doc_->itemList ? "list" : "tree");
    SelectFolder("maps");
    HTREEITEM maps = TreeView_GetSelection(doc_->folderTree);
    TreeView_SelectItem(doc_->folderTree, TreeView_GetChild(doc_->folderTree, maps));
    PumpPending();
    ASSERT_EQ(ShownFolder(), "dm");
    FocusPane(pane);
    PressKeys({VK_BACK});
    ASSERT_TRUE(PumpUntil([&] { return ShownFolder() == "maps"; }));
    EXPECT_EQ(Listed(), kMapsListed);
    PressKeys({VK_BACK});
    ASSERT_TRUE(PumpUntil([&] { return ShownFolder() == "/"; }));
    EXPECT_EQ(Listed(), kByName);
    EXPECT_FALSE(ButtonEnabled(ID_OBJECT_UP));
    EXPECT_EQ(GetFocus(), pane);
  }
}

TEST_F(ArchiveViewsTest, EnterOpensTheFolderFocusedInTheList) {
  FocusPane(doc_->itemList);
  ASSERT_EQ(ListText(doc_->itemList, 0, 0), "maps");
  ListView_SetItemState(doc_->itemList, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  PressKeys({VK_RETURN});
  ASSERT_TRUE(PumpUntil([&] { return ShownFolder() == "maps"; }));
  EXPECT_EQ(Listed(), kMapsListed);
  EXPECT_EQ(GetFocus(), doc_->itemList);
  // The first item of the folder shown has the focus, so Enter goes on down.
  ListView_SetItemState(doc_->itemList, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  PressKeys({VK_RETURN});
  ASSERT_TRUE(PumpUntil([&] { return ShownFolder() == "dm"; }));
}

TEST_F(ArchiveViewsTest, CollapsingAParentOfTheShownFolderShowsThatParent) {
  HWND tree = doc_->folderTree;
  EXPECT_TRUE(GetWindowLongA(tree, GWL_STYLE) & TVS_SHOWSELALWAYS);
  SelectFolder("maps");
  HTREEITEM maps = TreeView_GetSelection(tree);
  TreeView_SelectItem(tree, TreeView_GetChild(tree, maps));
  PumpPending();
  ASSERT_EQ(ShownFolder(), "dm");
  ASSERT_TRUE(TreeView_GetItemState(tree, maps, TVIS_EXPANDED) & TVIS_EXPANDED);
  // A click on the button of "maps".
  RECT rc = {};
  ASSERT_TRUE(TreeView_GetItemRect(tree, maps, &rc, TRUE));
  TVHITTESTINFO hit = {};
  hit.pt.y = (rc.top + rc.bottom) / 2;
  for (hit.pt.x = 0; hit.pt.x < rc.left; ++hit.pt.x) {
    if (TreeView_HitTest(tree, &hit) == maps && (hit.flags & TVHT_ONITEMBUTTON)) break;
  }
  ASSERT_LT(hit.pt.x, rc.left) << "no button";
  POINT at = hit.pt;
  ClientToScreen(tree, &at);
  SetForegroundWindow(frame_);
  ClickAt(at);
  ASSERT_TRUE(PumpUntil([&] { return !(TreeView_GetItemState(tree, maps, TVIS_EXPANDED) & TVIS_EXPANDED); }));
  ASSERT_TRUE(PumpUntil([&] { return ShownFolder() == "maps"; }));
  EXPECT_EQ(Listed(), kMapsListed);
}

TEST_F(ArchiveViewsTest, DoubleClickingAFolderInTheListOpensIt) {
  Command(ID_VIEW_DETAILS);
  RECT rc = {};
  rc.left = LVIR_LABEL;
  SendMessageA(doc_->itemList, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc));
  SendMessageA(doc_->itemList, WM_LBUTTONDBLCLK, MK_LBUTTON,
               MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2));
  PumpPending();
  EXPECT_EQ(TreeText(doc_->folderTree, TreeView_GetSelection(doc_->folderTree)), "maps");
  EXPECT_EQ(Listed(), (Names{"dm", "level1.bsp", "level2.bsp"}));
}

// The system draws the header and its sort arrow: the sorted column's item carries the
// arrow's format flag, up while ascending and down while descending, and no other item does.
TEST_F(ArchiveViewsTest, TheSortedColumnCarriesTheArrow) {
  Command(ID_VIEW_DETAILS);
  HWND header = ListView_GetHeader(doc_->itemList);
  auto arrows = [&] {
    std::vector<int> found;
    for (int column = 0; column < Header_GetItemCount(header); ++column) {
      HDITEMA item = {};
      item.mask = HDI_FORMAT;
      EXPECT_TRUE(Header_GetItem(header, column, &item));
      EXPECT_FALSE(item.fmt & HDF_OWNERDRAW) << column;
      found.push_back(item.fmt & (HDF_SORTUP | HDF_SORTDOWN));
    }
    return found;
  };
  using Arrows = std::vector<int>;
  constexpr int up = HDF_SORTUP, down = HDF_SORTDOWN;
  EXPECT_EQ(arrows(), (Arrows{up, 0, 0, 0, 0, 0, 0, 0}));
  const struct {
    int command;
    Arrows expected;
  } steps[] = {
      {ID_VIEW_BY_NAME, {down, 0, 0, 0, 0, 0, 0, 0}},   {ID_VIEW_BY_SIZE, {0, up, 0, 0, 0, 0, 0, 0}},
      {ID_VIEW_BY_SIZE, {0, down, 0, 0, 0, 0, 0, 0}},   {ID_VIEW_BY_TYPE, {0, 0, up, 0, 0, 0, 0, 0}},
      {ID_VIEW_BY_PACKED, {0, 0, 0, up, 0, 0, 0, 0}},   {ID_VIEW_BY_RATIO, {0, 0, 0, 0, up, 0, 0, 0}},
      {ID_VIEW_BY_METHOD, {0, 0, 0, 0, 0, up, 0, 0}},   {ID_VIEW_BY_CRC, {0, 0, 0, 0, 0, 0, up, 0}},
      {ID_VIEW_BY_CRC, {0, 0, 0, 0, 0, 0, down, 0}},    {ID_VIEW_BY_MODIFIED, {0, 0, 0, 0, 0, 0, 0, up}},
      {ID_VIEW_BY_MODIFIED, {0, 0, 0, 0, 0, 0, 0, down}}, {ID_VIEW_BY_NAME, {up, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.command);
    Command(step.command);
    EXPECT_EQ(arrows(), step.expected);
  }
  // A click on a column's header sorts by it and moves the arrow there.
  ClickHeaderColumn(2);
  EXPECT_EQ(arrows(), (Arrows{0, 0, up, 0, 0, 0, 0, 0}));
  ClickColumn(kModifiedColumn);
  EXPECT_EQ(arrows(), (Arrows{0, 0, 0, 0, 0, 0, 0, up}));
}

// Tab, Shift+Tab and F6 walk the panes that show (the folder tree, the filter box, the item
// list, the preview pane) with real keys, and take no item's name search with them.
TEST_F(ArchiveViewsTest, TabAndF6WalkThePanesThatShow) {
  SetForegroundWindow(frame_);
  SetFocus(doc_->itemList);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->itemList; }));
  const HTREEITEM caret = TreeView_GetSelection(doc_->folderTree);
  struct Step {
    bool shift;
    WORD key;
    HWND to;
  };
  auto walk = [](std::initializer_list<Step> steps) {
    for (const Step& step : steps) {
      if (step.shift)
        PressKeys({VK_SHIFT, step.key});
      else
        PressKeys({step.key});
      EXPECT_TRUE(PumpUntil([&] { return GetFocus() == step.to; }))
          << "key " << step.key << " shift " << step.shift << " focus " << GetFocus();
    }
  };
  HWND tree = doc_->folderTree, filter = doc_->filterBox, list = doc_->itemList;
  ASSERT_NE(filter, nullptr);
  walk({{false, VK_TAB, tree}, {false, VK_TAB, filter}, {false, VK_TAB, list}, {true, VK_TAB, filter},
        {true, VK_TAB, tree}, {true, VK_TAB, list}, {false, VK_F6, tree}, {true, VK_F6, list}});
  EXPECT_EQ(TreeView_GetSelection(doc_->folderTree), caret);
  EXPECT_EQ(ArchiveWindows().size(), 1u);  // Ctrl is not down: no other window was asked for

  // With the preview shown, its text is the stop after the list, and Tab goes on from there.
  Command(ID_VIEW_PREVIEW_PANE);
  const int notes = ListIndexOf("notes.txt");
  ASSERT_GE(notes, 0);
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(list, notes, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  HWND text = GetDlgItem(doc_->previewPane, kPreviewEditId);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(text) && GetWindowTextLengthA(text) > 0; }));
  SetFocus(list);
  walk({{false, VK_TAB, text}, {false, VK_TAB, tree}, {true, VK_TAB, text}, {true, VK_F6, list}});
  Command(ID_VIEW_PREVIEW_PANE);
  walk({{false, VK_TAB, tree}});
}

// The pixels of a toolbar button on the screen that are plainly coloured (not grey): a
// disabled button is drawn in greys alone.
int ColouredPixels(int command) {
  RECT rc = {};
  const LRESULT index = SendMessageA(g_toolbar, TB_COMMANDTOINDEX, command, 0);
  if (index < 0 || !SendMessageA(g_toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc))) return -1;
  MapWindowPoints(g_toolbar, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  HDC screen = GetDC(nullptr);
  int coloured = 0;
  for (int y = rc.top; y < rc.bottom; ++y) {
    for (int x = rc.left; x < rc.right; ++x) {
      const COLORREF c = GetPixel(screen, x, y);
      const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
      const int high = std::max({r, g, b}), low = std::min({r, g, b});
      if (high - low > 48) ++coloured;
    }
  }
  ReleaseDC(nullptr, screen);
  return coloured;
}

// The Copy button looks as enabled as Cut and Delete when a selection enables them all, and
// as grey as they do when nothing is selected.
TEST_F(ArchiveViewsTest, TheEditButtonsLookEnabledWhenTheyAre) {
  SetForegroundWindow(frame_);
  SetFocus(doc_->itemList);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->itemList; }));
  SelectListItems(doc_, {"readme"});
  for (int command : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_DELETE}) {
    SCOPED_TRACE(command);
    EXPECT_TRUE(PumpUntil([&] { return ButtonEnabled(command); }));
    EXPECT_TRUE(PumpUntil([&] { return ColouredPixels(command) > 8; })) << ColouredPixels(command);
  }
  SelectListItems(doc_, {});
  for (int command : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_DELETE}) {
    SCOPED_TRACE(command);
    EXPECT_TRUE(PumpUntil([&] { return !ButtonEnabled(command); }));
    EXPECT_TRUE(PumpUntil([&] { return ColouredPixels(command) == 0; })) << ColouredPixels(command);
  }
}

// The filter box: Ctrl+E goes there, what is typed narrows the folder at once (a part of the
// name, or '*' and '?'), the status bar counts what shows of how many, Esc empties it and
// goes back to the list, and another folder shows whole.
TEST_F(ArchiveViewsTest, TheFilterBoxNarrowsTheShownFolderAsTyped) {
  SetForegroundWindow(frame_);
  SetFocus(doc_->itemList);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->itemList; }));
  ASSERT_TRUE(PumpUntil([] { return StatusText() == "9 items"; })) << StatusText();
  PressKeys({VK_CONTROL, 'E'});
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->filterBox; }));
  auto sorted = [&] {
    Names names = Listed();
    std::sort(names.begin(), names.end());
    return names;
  };
  TypeText("bsp");
  EXPECT_TRUE(PumpUntil([&] { return sorted() == Names{"a.bsp", "z.bsp"}; })) << ::testing::PrintToString(Listed());
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "2 of 9 items"; })) << StatusText();
  // A selected item that still shows stays selected as the text changes. Ctrl+E selects the
  // box's text: what is typed then replaces it.
  SelectListItems(doc_, {"z.bsp"});
  PressKeys({VK_CONTROL, 'E'});
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->filterBox; }));
  TypeText("b");
  EXPECT_TRUE(PumpUntil([&] { return sorted() == Names{"a.bsp", "b", "big.dat", "z.bsp"}; }))
      << ::testing::PrintToString(Listed());
  EXPECT_EQ(SelectedListNames(doc_->itemList), Names{"z.bsp"});
  EXPECT_TRUE(PumpUntil([] { return StatusText().rfind("4 of 9 items, 1 selected", 0) == 0; })) << StatusText();
  // The patterns of Find.
  PressKeys({VK_CONTROL, 'E'});
  TypeText("*.txt");
  EXPECT_TRUE(PumpUntil([&] { return sorted() == Names{"empty.txt", "notes.txt"}; }))
      << ::testing::PrintToString(Listed());
  PressKeys({VK_CONTROL, 'E'});
  TypeText("?");
  EXPECT_TRUE(PumpUntil([&] { return sorted() == Names{"b"}; })) << ::testing::PrintToString(Listed());
  // Esc: everything again, and the keys are the list's.
  PressKeys({VK_ESCAPE});
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == doc_->itemList; }));
  EXPECT_EQ(Listed().size(), 9u);
  EXPECT_EQ(GetWindowTextLengthA(doc_->filterBox), 0);
  EXPECT_TRUE(PumpUntil([] { return StatusText().rfind("9 items", 0) == 0; })) << StatusText();
  // Nothing matches: an empty list that says so. Another folder clears the filter.
  PressKeys({VK_CONTROL, 'E'});
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->filterBox; }));
  TypeText("arena");
  EXPECT_TRUE(PumpUntil([&] { return Listed().empty(); })) << ::testing::PrintToString(Listed());
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "0 of 9 items"; })) << StatusText();
  ShowFolderAt(doc_, "maps");
  EXPECT_EQ(GetWindowTextLengthA(doc_->filterBox), 0);
  EXPECT_EQ(sorted(), (Names{"dm", "level1.bsp", "level2.bsp"}));
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "3 items"; })) << StatusText();
}

// With no menu help showing, the status bar counts the folder's items and the selection.
TEST_F(ArchiveViewsTest, TheStatusBarCountsTheFolderAndTheSelection) {
  // The root of views.zip: two folders and seven files.
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "9 items"; })) << StatusText();
  // Ctrl+A selects everything: the seven files hold 1,234,764 bytes.
  SetForegroundWindow(frame_);
  SetFocus(doc_->itemList);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->itemList; }));
  PressKeys({VK_CONTROL, 'A'});
  char bytes[32] = {};
  ASSERT_GT(FormatUserNumber(1234764, bytes, sizeof bytes), 0);
  const std::string all = std::string("9 items, 9 selected (") + bytes + " bytes)";
  EXPECT_TRUE(PumpUntil([&] { return StatusText() == all; })) << StatusText();
  // A click on one file selects it alone.
  const Names listed = Listed();
  const auto readme = std::find(listed.begin(), listed.end(), "readme");
  ASSERT_NE(readme, listed.end());
  // Where the list shows it: large icons may put it below the window's edge.
  ListView_EnsureVisible(doc_->itemList, static_cast<int>(readme - listed.begin()), FALSE);
  RECT rc = {LVIR_LABEL, 0, 0, 0};
  ASSERT_TRUE(SendMessageA(doc_->itemList, LVM_GETITEMRECT, readme - listed.begin(), reinterpret_cast<LPARAM>(&rc)));
  ClickIn(doc_->itemList, rc);
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "9 items, 1 selected (14 bytes)"; })) << StatusText();
  // Another folder: its own count.
  TreeView_SelectItem(doc_->folderTree, TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), "maps"));
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "3 items"; })) << StatusText();
  // A right click on a folder of the tree counts that folder while its menu is open.
  {
    HTREEITEM sound = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), "sound");
    ASSERT_NE(sound, nullptr);
    // The message takes the item in the rectangle it fills.
    RECT item = {};
    std::memcpy(&item, &sound, sizeof sound);
    ASSERT_TRUE(SendMessageA(doc_->folderTree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&item)));
    POINT p = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(doc_->folderTree, &p);
    PopupMenuWatcher watcher(VK_ESCAPE);
    SetForegroundWindow(frame_);
    EXPECT_TRUE(ClickAndWait(p, true));
    EXPECT_TRUE(PumpUntil([&] { return watcher.Done(); }));
    const WatchedMenu menu = watcher.Wait();
    ASSERT_TRUE(menu.found);
    EXPECT_EQ(TreeView_GetSelection(doc_->folderTree), sound);
    const int count = ListView_GetItemCount(doc_->itemList);
    EXPECT_NE(count, 3);
    EXPECT_EQ(menu.status, std::to_string(count) + (count == 1 ? " item" : " items"));
  }
  // Without an archive window the bar is ready again.
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  EXPECT_TRUE(PumpUntil([] { return StatusText() == "Ready"; })) << StatusText();
}

// Filling the list freezes its drawing; what thaws it must repaint all of it, the header
// with its sort arrow included, or rows and columns of whatever was shown before stay.
TEST_F(ArchiveViewsTest, AListFilledWhileFrozenIsRepaintedWhole) {
  Command(ID_VIEW_DETAILS);
  HWND header = ListView_GetHeader(doc_->itemList);
  auto wholly = [](HWND pane) {
    RECT client, update;
    GetClientRect(pane, &client);
    return GetUpdateRect(pane, &update, FALSE) && EqualRect(&client, &update);
  };
  for (const char* folder : {"maps", "sound"}) {
    SCOPED_TRACE(folder);
    // Painted and validated first: what is pending afterwards is the fill's doing.
    UpdateWindow(window_);
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    ASSERT_FALSE(GetUpdateRect(header, nullptr, FALSE));
    HTREEITEM item = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), folder);
    ASSERT_NE(item, nullptr);
    TreeView_SelectItem(doc_->folderTree, item);
    EXPECT_TRUE(wholly(doc_->itemList));
    EXPECT_TRUE(wholly(header));
  }
}

// Each file shows the time its archive gives it, in the user's local time and short formats;
// folders, and files whose time names no day, show none.
TEST_F(ArchiveViewsTest, TheModifiedColumnShowsTheTimesOfAPk3) {
  const std::string path = TempDir() + "dated.pk3";
  ASSERT_TRUE(WriteDiskFile(path, DatedPk3()));
  Switch(path);
  char caption[32] = {};
  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT;
  column.pszText = caption;
  column.cchTextMax = sizeof caption;
  ASSERT_TRUE(SendMessageA(doc_->itemList, LVM_GETCOLUMNA, 7, reinterpret_cast<LPARAM>(&column)));
  EXPECT_STREQ(caption, "Modified");
  EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(doc_->itemList)), 8);
  std::map<std::string, std::string> expected;
  for (const DatedEntry& e : kDated) {
    const std::string name = e.name;
    if (name.find('/') != std::string::npos) continue;
    expected[name] = e.dosTime == 0 ? "" : ShownDosTime(e.dosTime);
  }
  expected["maps"] = "";
  EXPECT_EQ(ShownTimes(), expected);
  SelectFolder("maps");
  EXPECT_EQ(ShownTimes(), (std::map<std::string, std::string>{{"e1m1.bsp", ShownDosTime(Dos(2001, 2, 3, 4, 5, 6))}}));
}

// By Modified: folders first, then the files oldest first (one of no known time before them
// all, ties by name); again, newest first with the folders still first. No sort item of the
// menu is checked, as none stands for this order.
TEST_F(ArchiveViewsTest, ClickingModifiedSortsByTime) {
  const std::string path = TempDir() + "dated.pk3";
  ASSERT_TRUE(WriteDiskFile(path, DatedPk3()));
  Switch(path);
  const Names oldestFirst = {"maps",       "nodate.txt", "old.txt", "same-a.txt",
                             "same-b.txt", "mid.wav",    "new.bsp", "late.txt"};
  ClickColumn(kModifiedColumn);
  EXPECT_EQ(doc_->sortKey, 8u);
  EXPECT_EQ(Listed(), oldestFirst);
  for (int id : {ID_VIEW_BY_NAME, ID_VIEW_BY_TYPE, ID_VIEW_BY_SIZE}) EXPECT_FALSE(MenuChecked(id)) << id;
  ClickColumn(kModifiedColumn);
  EXPECT_EQ(doc_->sortKey, 0x108u);
  EXPECT_EQ(Listed(), Descending(oldestFirst, 1));
  // Refresh sorts again by the same key; a window made now starts in it.
  Command(ID_VIEW_REFRESH);
  EXPECT_EQ(Listed(), Descending(oldestFirst, 1));
  Switch(WinFixture("views.pak"));
  EXPECT_EQ(doc_->sortKey, 0x108u);
  for (int id : {ID_VIEW_BY_NAME, ID_VIEW_BY_TYPE, ID_VIEW_BY_SIZE}) EXPECT_FALSE(MenuChecked(id)) << id;
  Command(ID_VIEW_BY_SIZE);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_SIZE));
}

// A PAK stores no times: every file shows the archive file's. A file replaced from the disk
// shows the time it came with, the others keep theirs.
TEST_F(ArchiveViewsTest, APaksFilesShowTheArchiveFilesTimeUntilOneIsReplaced) {
  const std::string path = TempDir() + "stamped.pak";
  const std::vector<uint8_t> pak =
      sample::Pak({{"readme.txt", "read me"}, {"maps/e1m1.bsp", "bsp"}, {"notes.txt", "notes"}});
  ASSERT_TRUE(WriteDiskFile(path, std::string(pak.begin(), pak.end())));
  const FILETIME pakTime = SystemTimeAt(2011, 3, 4, 5);
  ASSERT_TRUE(SetWriteTime(path, pakTime));
  Switch(path);
  const std::string stamped = ShownFileTime(pakTime);
  EXPECT_EQ(ShownTimes(), (std::map<std::string, std::string>{
                              {"maps", ""}, {"notes.txt", stamped}, {"readme.txt", stamped}}));

  const std::string disk = TempDir() + "readme.txt";
  ASSERT_TRUE(WriteDiskFile(disk, "a newer readme"));
  const FILETIME diskTime = SystemTimeAt(2019, 10, 11, 12);
  ASSERT_TRUE(SetWriteTime(disk, diskTime));
  DialogSeries series(kReplaceCaption, {IDYES});
  const std::string directory = TempDir().substr(0, TempDir().size() - 1);
  const std::string chosen = directory + '\0' + "readme.txt" + '\0' + '\0';
  ImportChosenFiles(window_, doc_, chosen.c_str());
  EXPECT_EQ(series.Finish().size(), 1u);
  EXPECT_EQ(series.extra(), 0);
  EXPECT_EQ(ShownTimes(), (std::map<std::string, std::string>{
                              {"maps", ""}, {"notes.txt", stamped}, {"readme.txt", ShownFileTime(diskTime)}}));
  EXPECT_EQ(ListText(doc_->itemList, ListIndexOf("readme.txt"), 1), "14");
  // Saved, every file reads from the new file and has its time, the replaced one too.
  SendCommand(window_, ID_FILE_SAVE);
  ASSERT_EQ(doc_->modified, 0);
  const FILETIME saved = WriteTimeOf(path);
  ASSERT_NE(CompareFileTime(&saved, &pakTime), 0);
  const std::string now = ShownFileTime(saved);
  EXPECT_EQ(ShownTimes(), (std::map<std::string, std::string>{{"maps", ""}, {"notes.txt", now}, {"readme.txt", now}}));
}

// The Modified column's width, like the others', is kept in 96-DPI terms for new windows.
TEST_F(ArchiveViewsTest, TheModifiedColumnsWidthIsKeptForNewWindows) {
  Command(ID_VIEW_DETAILS);
  EXPECT_EQ(ListView_GetColumnWidth(doc_->itemList, 7), ScaleToDpi(120, doc_->dpi));
  const int wider = ScaleToDpi(187, doc_->dpi);
  ASSERT_TRUE(ListView_SetColumnWidth(doc_->itemList, 7, wider));
  ASSERT_TRUE(PumpUntil([] { return g_settings.windowState.modifiedColumnWidth == 187; }))
      << g_settings.windowState.modifiedColumnWidth;
  EXPECT_EQ(g_settings.windowState.typeColumnWidth, 120);
  Switch(WinFixture("views.pak"));
  EXPECT_EQ(ListView_GetColumnWidth(doc_->itemList, 7), wider);
}

// Packed, Ratio, Method and CRC-32 of a stored, a deflated and an LZMA entry, a folder, a
// PAK's entries (which store no CRC-32: worked out from their bytes) and a file imported
// from the disk (not stored yet: only its CRC-32 is known, worked out from its bytes).
TEST_F(ArchiveViewsTest, TheNewColumnsShowEachEntrysStoredForm) {
  const std::string path = TempDir() + "columns.pk3";
  ASSERT_TRUE(WriteDiskFile(path, ColumnsPk3()));
  Switch(path);
  const std::vector<uint8_t> deflated = Deflated(kPackedPlain);
  const std::string disk = TempDir() + "memory.txt";
  ASSERT_TRUE(WriteDiskFile(disk, kMemoryText));
  const std::string chosen = TempDir().substr(0, TempDir().size() - 1) + '\0' + "memory.txt" + '\0' + '\0';
  ImportChosenFiles(window_, doc_, chosen.c_str());
  ASSERT_GE(ListIndexOf("memory.txt"), 0);
  struct Row {
    std::string name, size, packed, ratio, method, crc;
  };
  const Row rows[] = {
      {"stored.txt", Grouped(kStoredText.size()), Grouped(kStoredText.size()), "0%", "Stored",
       CrcText(Crc32(kStoredText.data(), kStoredText.size()))},
      {"packed.txt", Grouped(1000), Grouped(deflated.size()), std::to_string((1000 - deflated.size()) * 100 / 1000) + "%",
       "Deflate", CrcText(Crc32(kPackedPlain.data(), kPackedPlain.size()))},
      {"lzma.bin", "20", "10", "50%", "LZMA", "12345678"},
      {"maps", "", "", "", "", ""},
      {"memory.txt", Grouped(kMemoryText.size()), "", "", "", CrcText(Crc32(kMemoryText.data(), kMemoryText.size()))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // A CRC-32 worked out off the window thread arrives when it is done.
    EXPECT_TRUE(PumpUntil([&] { return TextOf(row.name, kCrcColumn) == row.crc; })) << TextOf(row.name, kCrcColumn);
    EXPECT_EQ(TextOf(row.name, kSizeColumn), row.size);
    EXPECT_EQ(TextOf(row.name, kPackedColumn), row.packed);
    EXPECT_EQ(TextOf(row.name, kRatioColumn), row.ratio);
    EXPECT_EQ(TextOf(row.name, kMethodColumn), row.method);
  }
  // A PAK stores its files as they are and keeps no CRC-32.
  Switch(WinFixture("views.pak"));
  ASSERT_GE(ListIndexOf("readme"), 0);
  EXPECT_EQ(TextOf("readme", kPackedColumn), TextOf("readme", kSizeColumn));
  EXPECT_EQ(TextOf("readme", kRatioColumn), "0%");
  EXPECT_EQ(TextOf("readme", kMethodColumn), "Stored");
  // views.pak holds the same files as views.zip, whose records give their CRC-32s.
  EXPECT_TRUE(PumpUntil([&] { return TextOf("readme", kCrcColumn) == "59D34256"; })) << TextOf("readme", kCrcColumn);
  EXPECT_TRUE(PumpUntil([&] { return TextOf("z.bsp", kCrcColumn) == "ADAFB2A5"; })) << TextOf("z.bsp", kCrcColumn);
}

// Each new column sorts by its value with a click on its header, and back with another;
// the folder stays first both ways.
TEST_F(ArchiveViewsTest, EachNewColumnSortsBothWays) {
  const std::string path = TempDir() + "columns.pk3";
  ASSERT_TRUE(WriteDiskFile(path, ColumnsPk3()));
  Switch(path);
  const struct {
    int column;
    uint32_t key;
    Names ascending;
  } cases[] = {
      // Stored sizes: 10, the deflated 1,000 bytes' few, the 25 stored ones.
      {kPackedColumn, 0x10, {"maps", "lzma.bin", "packed.txt", "stored.txt"}},
      {kRatioColumn, 0x20, {"maps", "stored.txt", "lzma.bin", "packed.txt"}},
      {kMethodColumn, 0x40, {"maps", "packed.txt", "lzma.bin", "stored.txt"}},
      {kCrcColumn, 0x80, {"maps", "lzma.bin", "packed.txt", "stored.txt"}},
  };
  // The CRC-32 order needs the entries' values in that order.
  ASSERT_LT(Crc32(kPackedPlain.data(), kPackedPlain.size()), Crc32(kStoredText.data(), kStoredText.size()));
  ASSERT_LT(0x12345678u, Crc32(kPackedPlain.data(), kPackedPlain.size()));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    ClickColumn(c.column);
    EXPECT_EQ(doc_->sortKey, c.key);
    EXPECT_EQ(Listed(), c.ascending);
    ClickColumn(c.column);
    EXPECT_EQ(doc_->sortKey, c.key | 0x100);
    EXPECT_EQ(Listed(), Descending(c.ascending, 1));
    EXPECT_EQ(g_settings.windowState.sortKey, c.key | 0x100);
  }
}

// A right click on the header offers every column, checked while shown, Name not to be
// hidden; choosing one hides it here and in windows made afterwards, choosing it again
// shows it with its texts.
TEST_F(ArchiveViewsTest, TheHeadersMenuHidesAndShowsColumnsForNewWindowsToo) {
  Command(ID_VIEW_DETAILS);
  HWND header = ListView_GetHeader(doc_->itemList);
  auto rightClickHeader = [&](WORD key) {
    PopupMenuWatcher watcher(key);
    RECT rc;
    Header_GetItemRect(header, 0, &rc);
    POINT p = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(header, &p);
    SetForegroundWindow(frame_);
    EXPECT_TRUE(ClickAndWait(p, true));
    EXPECT_TRUE(PumpUntil([&] { return watcher.Done(); }));
    return watcher.Wait();
  };
  const std::vector<std::pair<std::string, bool>> all = {
      {"&Name", false},  {"&Size", true},   {"&Type", true},   {"&Packed", true},
      {"&Ratio", true},  {"&Method", true}, {"&CRC-32", true}, {"M&odified", true}};
  WatchedMenu menu = rightClickHeader('T');
  ASSERT_TRUE(menu.found);
  EXPECT_EQ(menu.entries, all);
  EXPECT_EQ(menu.checked.size(), 8u);
  ASSERT_TRUE(PumpUntil([&] { return Header_GetItemCount(header) == 7; }));
  EXPECT_EQ(ColumnPosition(doc_, kTypeColumn), -1);
  EXPECT_EQ(ColumnPosition(doc_, kPackedColumn), 2);
  EXPECT_EQ(g_settings.windowState.hiddenColumns, 1 << kTypeColumn);
  EXPECT_EQ(TextOf("big.dat", kPackedColumn), Grouped(1213));
  // The arrow and the clicks follow the columns to where they stand now.
  ClickColumn(kModifiedColumn);
  EXPECT_EQ(doc_->sortKey, 8u);

  Switch(WinFixture("views.pak"));
  header = ListView_GetHeader(doc_->itemList);
  EXPECT_EQ(Header_GetItemCount(header), 7);
  EXPECT_EQ(ColumnPosition(doc_, kTypeColumn), -1);
  menu = rightClickHeader('T');
  EXPECT_EQ(menu.checked, (std::vector<std::string>{"&Name", "&Size", "&Packed", "&Ratio", "&Method", "&CRC-32", "M&odified"}));
  ASSERT_TRUE(PumpUntil([&] { return Header_GetItemCount(header) == 8; }));
  EXPECT_EQ(g_settings.windowState.hiddenColumns, 0);
  EXPECT_EQ(TextOf("readme", kTypeColumn), FileTypeName("readme"));
  EXPECT_FALSE(TextOf("maps", kTypeColumn).empty());
  // Escape leaves the columns as they are.
  menu = rightClickHeader(VK_ESCAPE);
  EXPECT_TRUE(menu.found);
  EXPECT_EQ(Header_GetItemCount(header), 8);
}

// A size of two million bytes and more shows whole: the column grows to its text, and after
// a folder of smaller sizes goes back to the width the user gave it, which it never goes
// below.
TEST_F(ArchiveViewsTest, ColumnsAreWideEnoughForTheirLargestValue) {
  const std::string path = TempDir() + "large.pk3";
  std::vector<uint8_t> large(2089567, 0);
  large[12345] = 7;
  const std::vector<sample::ZipEntry> entries = {PlainEntry("huge.dat", 8, large),
                                                 PlainEntry("small/tiny.txt", 0, Bytes("tiny"))};
  const std::vector<uint8_t> pk3 = sample::ZipWithData(entries);
  ASSERT_TRUE(WriteDiskFile(path, std::string(pk3.begin(), pk3.end())));
  Switch(path);
  const int size = ColumnPosition(doc_, kSizeColumn);
  auto textWidth = [&](const std::string& text) {
    return static_cast<int>(SendMessageA(doc_->itemList, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
  };
  // The list leaves room on either side of a subitem's text: without it the text is cut.
  const int room = ScaleToDpi(12, doc_->dpi);
  ASSERT_EQ(TextOf("huge.dat", kSizeColumn), Grouped(2089567));
  EXPECT_GE(ListView_GetColumnWidth(doc_->itemList, size), textWidth(Grouped(2089567)) + room);
  const std::string method = TextOf("huge.dat", kMethodColumn);
  EXPECT_GE(ListView_GetColumnWidth(doc_->itemList, ColumnPosition(doc_, kMethodColumn)), textWidth(method) + room);
  EXPECT_GE(ListView_GetColumnWidth(doc_->itemList, ColumnPosition(doc_, kCrcColumn)),
            textWidth(TextOf("huge.dat", kCrcColumn)) + room);
  // Fitted widths are the folder's: new windows start from the user's.
  EXPECT_EQ(g_settings.windowState.sizeColumnWidth, 60);
  SelectFolder("small");
  EXPECT_EQ(ListView_GetColumnWidth(doc_->itemList, size), ScaleToDpi(60, doc_->dpi));
  // A width the user chose wider stays.
  const int wide = ScaleToDpi(150, doc_->dpi);
  ASSERT_TRUE(ListView_SetColumnWidth(doc_->itemList, size, wide));
  ASSERT_TRUE(PumpUntil([] { return g_settings.windowState.sizeColumnWidth == 150; }));
  Command(ID_OBJECT_UP);
  ASSERT_EQ(ShownFolder(), "/");
  EXPECT_EQ(ListView_GetColumnWidth(doc_->itemList, size), wide);
}

// Thumbnails shows each picture in a cell of its own, in its colours, kept in shape and never
// enlarged, transparency over a checkerboard; other items show their icons; the mode is
// kept for new windows.
TEST_F(ArchiveViewsTest, ThumbnailsShowThePicturesThemselves) {
  const std::string path = TempDir() + "pictures.pk3";
  const std::vector<sample::ZipEntry> entries = {
      PlainEntry("red.tga", 8, FlatTga(4, 4, 0xFF0000)),
      PlainEntry("wide.bmp", 8, FlatBmp(200, 100, 0x00C000)),
      PlainEntry("clear.tga", 0, FlatTga(6, 6, 0x0000FF, 0)),
      PlainEntry("notes.txt", 0, Bytes("no picture here")),
  };
  const std::vector<uint8_t> pk3 = sample::ZipWithData(entries);
  ASSERT_TRUE(WriteDiskFile(path, std::string(pk3.begin(), pk3.end())));
  Switch(path);
  Command(ID_VIEW_THUMBNAILS);
  EXPECT_TRUE(MenuChecked(ID_VIEW_THUMBNAILS));
  EXPECT_TRUE(ButtonChecked(ID_VIEW_THUMBNAILS));
  EXPECT_EQ(g_settings.windowState.viewMode, 4u);
  const int side = ScaleToDpi(96, doc_->dpi);
  auto images = [&] { return reinterpret_cast<HIMAGELIST>(SendMessageA(doc_->itemList, LVM_GETIMAGELIST, LVSIL_NORMAL, 0)); };
  // A pixel of the image an item shows, drawn from the list's own image list; -1 for none.
  auto pixel = [&](const std::string& name, int x, int y) -> long long {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = ListIndexOf(name);
    if (item.iItem < 0 || !ListView_GetItem(doc_->itemList, &item)) return -1;
    IMAGEINFO info = {};
    if (!ImageList_GetImageInfo(images(), item.iImage, &info)) return -1;
    if (info.rcImage.right - info.rcImage.left != side || info.rcImage.bottom - info.rcImage.top != side) return -2;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = side;
    bi.bmiHeader.biHeight = -side;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    ImageList_Draw(images(), item.iImage, dc, 0, 0, ILD_NORMAL);
    GdiFlush();
    const long long value = static_cast<const uint32_t*>(bits)[y * side + x] & 0xFFFFFF;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return value;
  };
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const long long windowColour = GetRValue(window) << 16 | GetGValue(window) << 8 | GetBValue(window);
  const int middle = side / 2;
  EXPECT_TRUE(PumpUntil([&] { return pixel("red.tga", middle, middle) == 0xFF0000; })) << pixel("red.tga", middle, middle);
  EXPECT_TRUE(PumpUntil([&] { return pixel("wide.bmp", middle, middle) == 0x00C000; })) << pixel("wide.bmp", middle, middle);
  // Four pixels a side stay four: the cell around them is the window's.
  EXPECT_EQ(pixel("red.tga", middle - 4, middle), windowColour);
  // 200 x 100 fits as 96 x 48 at 96 DPI: the rows above and below are the window's.
  EXPECT_EQ(pixel("wide.bmp", middle, side / 8), windowColour);
  EXPECT_EQ(pixel("wide.bmp", 0, middle), 0x00C000);
  // Fully transparent pixels show the checkerboard, not their blue.
  EXPECT_TRUE(PumpUntil([&] {
    const long long p = pixel("clear.tga", middle, middle);
    return p == 0xFFFFFF || p == 0xCCCCCC;
  })) << pixel("clear.tga", middle, middle);
  // A text shows its icon in the middle of a cell of the window's colour.
  EXPECT_EQ(pixel("notes.txt", 0, 0), windowColour);
  SetForegroundWindow(frame_);
  RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  WaitUntilDrawn(frame_);
  EXPECT_TRUE(SaveWindowScreenshotTo(frame_, VELLUMIX_SCREENSHOT_DIR, "thumbnails"));

  // The mode and its images are what a new window starts with.
  HWND second = Open(WinFixture("views.pak"));
  ASSERT_NE(second, nullptr);
  WindowDocument* doc = DocumentOf(second);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->viewMode, 4u);
  EXPECT_EQ(GetWindowLongA(doc->itemList, GWL_STYLE) & (LVS_TYPEMASK | LVS_SINGLESEL), static_cast<LONG>(LVS_ICON));
  HIMAGELIST cells = reinterpret_cast<HIMAGELIST>(SendMessageA(doc->itemList, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
  int cx = 0, cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(cells, &cx, &cy));
  EXPECT_EQ(cx, ScaleToDpi(96, doc->dpi));
  EXPECT_EQ(cy, cx);
}
