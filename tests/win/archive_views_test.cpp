// The folder tree and item list of an archive window: sorting, column clicks, view
// modes, Up, and the arrow on the sorted column.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "services/globals.h"
#include "services/settings.h"
#include "tests/win/support/archive_window_support.h"

namespace {

using Names = std::vector<std::string>;

class ArchiveViewsTest : public ArchiveWindowTest {
 protected:
  void SetUp() override {
    ArchiveWindowTest::SetUp();
    window_ = Open(WinFixture("views.zip"));
    ASSERT_NE(window_, nullptr);
    doc_ = DocumentOf(window_);
    ASSERT_NE(doc_, nullptr);
  }
  void Command(int id) {
    SendMessageA(window_, WM_COMMAND, id, 0);
    Pump(20);
  }
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
    POINT p = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(header, &p);
    ClickAt(p);
    // A second click on the same spot within the double-click time would be a double click.
    Pump(GetDoubleClickTime() + 100);
  }
  // Real keys go to the focused pane of the frame in front.
  void FocusPane(HWND pane) {
    SetForegroundWindow(frame_);
    SetFocus(pane);
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == pane; }));
  }
  void SelectFolder(const char* name) {
    HTREEITEM item = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), name);
    ASSERT_NE(item, nullptr) << name;
    TreeView_SelectItem(doc_->folderTree, item);
    Pump(20);
  }
  std::string ShownFolder() {
    return TreeText(doc_->folderTree, TreeView_GetSelection(doc_->folderTree));
  }
  HWND window_ = nullptr;
  WindowDocument* doc_ = nullptr;
};

const Names kMapsListed = {"dm", "level1.bsp", "level2.bsp"};
const Names kByName = {"maps", "sound", "a.bsp", "b", "big.dat", "empty.txt", "notes.txt", "readme", "z.bsp"};

Names Reversed(Names names) { return Names(names.rbegin(), names.rend()); }

}  // namespace

TEST_F(ArchiveViewsTest, ThreeSortKeysAndTheirDescendingOrders) {
  EXPECT_EQ(Listed(), kByName);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_NAME));
  Command(ID_VIEW_BY_NAME);  // the same key again reverses, directories then last
  EXPECT_EQ(Listed(), Reversed(kByName));
  EXPECT_EQ(doc_->sortKey, 0x101u);
  EXPECT_EQ(g_settings.windowState.sortKey, 0x101);

  Command(ID_VIEW_BY_TYPE);
  const Names byType = {"maps", "sound", "b", "readme", "a.bsp", "z.bsp", "big.dat", "empty.txt", "notes.txt"};
  EXPECT_EQ(Listed(), byType);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_TYPE));
  EXPECT_FALSE(MenuChecked(ID_VIEW_BY_NAME));
  Command(ID_VIEW_BY_TYPE);
  EXPECT_EQ(Listed(), Reversed(byType));

  Command(ID_VIEW_BY_SIZE);
  // empty.txt and the two directories all count 0: directories first, then by name.
  const Names bySize = {"maps", "sound", "empty.txt", "b", "readme", "notes.txt", "a.bsp", "z.bsp", "big.dat"};
  EXPECT_EQ(Listed(), bySize);
  EXPECT_TRUE(MenuChecked(ID_VIEW_BY_SIZE));
  EXPECT_FALSE(MenuChecked(ID_VIEW_BY_TYPE));
  Command(ID_VIEW_BY_SIZE);
  EXPECT_EQ(Listed(), Reversed(bySize));
  EXPECT_EQ(doc_->sortKey, 0x104u);
}

TEST_F(ArchiveViewsTest, ClickingAColumnSortsByItAndASecondClickReverses) {
  Command(ID_VIEW_DETAILS);
  ClickHeaderColumn(1);
  EXPECT_EQ(doc_->sortKey, 4u);
  EXPECT_EQ(Listed().back(), "big.dat");
  ClickHeaderColumn(1);
  EXPECT_EQ(doc_->sortKey, 0x104u);
  EXPECT_EQ(Listed().front(), "big.dat");
  ClickHeaderColumn(2);
  EXPECT_EQ(doc_->sortKey, 2u);
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
  Pump(20);
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
    Pump(20);
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
  Pump(20);
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
  Pump(20);
  EXPECT_EQ(TreeText(doc_->folderTree, TreeView_GetSelection(doc_->folderTree)), "maps");
  EXPECT_EQ(Listed(), (Names{"dm", "level1.bsp", "level2.bsp"}));
}

TEST_F(ArchiveViewsTest, TheSortedColumnCarriesTheArrow) {
  Command(ID_VIEW_DETAILS);
  ShowWindow(window_, SW_MAXIMIZE);
  Pump(100);
  HWND header = ListView_GetHeader(doc_->itemList);
  // Counts the pixels drawn in the button shadow colour inside a column: the caption is
  // drawn in the button text colour, so only the arrow's shaded edge has this colour.
  auto arrowPixels = [&](int column) {
    RedrawWindow(header, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT rc;
    Header_GetItemRect(header, column, &rc);
    HDC dc = GetDC(header);
    COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    int found = 0;
    for (int x = rc.left + 2; x < rc.right - 2; ++x) {
      for (int y = rc.top + 2; y < rc.bottom - 2; ++y) {
        if (GetPixel(dc, x, y) == shadow) ++found;
      }
    }
    ReleaseDC(header, dc);
    return found;
  };
  Command(ID_VIEW_BY_NAME);  // descending by name now
  Command(ID_VIEW_BY_SIZE);
  int sizeColumn = arrowPixels(1);
  EXPECT_GT(sizeColumn, 3);
  EXPECT_LT(arrowPixels(2), 3);
  Command(ID_VIEW_BY_TYPE);
  EXPECT_GT(arrowPixels(2), 3);
  EXPECT_LT(arrowPixels(1), 3);
}
