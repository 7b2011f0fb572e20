// The folder tree and item list of an archive window: sorting, column clicks, view
// modes, Up, the arrow on the sorted column, and the times of the Modified column.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/number_format.h"
#include "services/settings.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "window/transfer_commands.h"

namespace {

using Names = std::vector<std::string>;

class ArchiveViewsTest : public ViewsWindowTest {
 protected:
  void Command(int id) { SendCommand(window_, id); }
  Names Listed() { return ListNames(doc_->itemList); }
  bool MenuChecked(int id) {
    return (GetMenuState(g_mainMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  bool ButtonChecked(int id) { return SendMessageA(g_toolbar, TB_ISBUTTONCHECKED, id, 0) != 0; }
  bool ButtonEnabled(int id) { return SendMessageA(g_toolbar, TB_ISBUTTONENABLED, id, 0) != 0; }
  void ClickHeaderColumn(int column) {
    HWND header = ListView_GetHeader(doc_->itemList);
    RECT rc;
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
    for (size_t i = 0; i < names.size(); ++i) times[names[i]] = ListText(doc_->itemList, static_cast<int>(i), 3);
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
  ClickHeaderColumn(3);
  EXPECT_EQ(doc_->sortKey, 8u);
  EXPECT_EQ(g_settings.windowState.sortKey, 8);
  EXPECT_EQ(Listed(), kByName);
  ClickHeaderColumn(3);
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
  };
  const Case cases[] = {{ID_VIEW_DETAILS, LVS_REPORT},
                        {ID_VIEW_SMALL_ICONS, LVS_SMALLICON},
                        {ID_VIEW_LIST, LVS_LIST},
                        {ID_VIEW_LARGE_ICONS, LVS_ICON}};
  const int all[] = {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS};
  for (const Case& c : cases) {
    Command(c.command);
    EXPECT_EQ(GetWindowLongA(doc_->itemList, GWL_STYLE) & LVS_TYPEMASK, static_cast<LONG>(c.style));
    EXPECT_EQ(doc_->viewMode, c.style);
    EXPECT_EQ(g_settings.windowState.viewMode, c.style);
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
  EXPECT_EQ(arrows(), (Arrows{HDF_SORTUP, 0, 0, 0}));
  const struct {
    int command;
    Arrows expected;
  } steps[] = {
      {ID_VIEW_BY_NAME, {HDF_SORTDOWN, 0, 0, 0}},     {ID_VIEW_BY_SIZE, {0, HDF_SORTUP, 0, 0}},
      {ID_VIEW_BY_SIZE, {0, HDF_SORTDOWN, 0, 0}},     {ID_VIEW_BY_TYPE, {0, 0, HDF_SORTUP, 0}},
      {ID_VIEW_BY_MODIFIED, {0, 0, 0, HDF_SORTUP}},   {ID_VIEW_BY_MODIFIED, {0, 0, 0, HDF_SORTDOWN}},
      {ID_VIEW_BY_NAME, {HDF_SORTUP, 0, 0, 0}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.command);
    Command(step.command);
    EXPECT_EQ(arrows(), step.expected);
  }
  // A click on a column's header sorts by it and moves the arrow there.
  ClickHeaderColumn(2);
  EXPECT_EQ(arrows(), (Arrows{0, 0, HDF_SORTUP, 0}));
  ClickHeaderColumn(3);
  EXPECT_EQ(arrows(), (Arrows{0, 0, 0, HDF_SORTUP}));
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
  ASSERT_TRUE(SendMessageA(doc_->itemList, LVM_GETCOLUMNA, 3, reinterpret_cast<LPARAM>(&column)));
  EXPECT_STREQ(caption, "Modified");
  EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(doc_->itemList)), 4);
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
  ClickHeaderColumn(3);
  EXPECT_EQ(doc_->sortKey, 8u);
  EXPECT_EQ(Listed(), oldestFirst);
  for (int id : {ID_VIEW_BY_NAME, ID_VIEW_BY_TYPE, ID_VIEW_BY_SIZE}) EXPECT_FALSE(MenuChecked(id)) << id;
  ClickHeaderColumn(3);
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
  EXPECT_EQ(ListView_GetColumnWidth(doc_->itemList, 3), ScaleToDpi(120, doc_->dpi));
  const int wider = ScaleToDpi(187, doc_->dpi);
  ASSERT_TRUE(ListView_SetColumnWidth(doc_->itemList, 3, wider));
  ASSERT_TRUE(PumpUntil([] { return g_settings.windowState.modifiedColumnWidth == 187; }))
      << g_settings.windowState.modifiedColumnWidth;
  EXPECT_EQ(g_settings.windowState.typeColumnWidth, 120);
  Switch(WinFixture("views.pak"));
  EXPECT_EQ(ListView_GetColumnWidth(doc_->itemList, 3), wider);
}
