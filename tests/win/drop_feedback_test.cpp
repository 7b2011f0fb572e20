// The drop target's feedback while something is dragged over an archive window: the
// highlighted target, the refused places, the edge scrolling and the hover expansion.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "services/dpi.h"
#include "resources/command_ids.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "transfer/drag_image.h"
#include "transfer/drop_target.h"
#include "panes/views.h"

namespace {

// The drop target's clock in these tests: time passes only when a test says so.
constexpr DWORD kStart = 100000;
DWORD g_now = kStart;
DWORD TestClock() { return g_now; }

class DropFeedbackTest : public DataExchangeTest {
 protected:
  void SetUp() override {
    DataExchangeTest::SetUp();
    ASSERT_TRUE(WriteDiskFile(TempDir() + "f.txt", "f"));
    ASSERT_TRUE(PutFilesOnClipboard({TempDir() + "f.txt"}));
    ASSERT_EQ(OleGetClipboard(&files_), S_OK);
    doc_ = OpenDoc(WinFixture("views.zip"), &window_);
    ASSERT_NE(doc_, nullptr);
    ShowWindow(window_, SW_MAXIMIZE);
    SendCommand(window_, ID_VIEW_DETAILS);
    ShowFolderAt(doc_, "");
    target_ = static_cast<IDropTarget*>(doc_->dropTarget);
    ASSERT_NE(target_, nullptr);
    g_now = kStart;
    SetDropTargetClock(target_, TestClock);
  }
  void TearDown() override {
    if (files_) files_->Release();
    DataExchangeTest::TearDown();
  }
  POINTL At(HWND pane, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(pane, &p);
    return POINTL{p.x, p.y};
  }
  DWORD Enter(POINTL at) {
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target_->DragEnter(files_, 0, at, &effect);
    return effect;
  }
  DWORD Over(POINTL at) {
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target_->DragOver(0, at, &effect);
    return effect;
  }
  int Row(const std::string& name) {
    const std::vector<std::string> names = ListNames(doc_->itemList);
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
  }
  POINTL RowCentre(const std::string& name) {
    RECT r = {};
    r.left = LVIR_LABEL;
    SendMessageA(doc_->itemList, LVM_GETITEMRECT, Row(name), reinterpret_cast<LPARAM>(&r));
    return At(doc_->itemList, r.left + 5, (r.top + r.bottom) / 2);
  }
  bool RowHighlighted(const std::string& name) {
    return (ListView_GetItemState(doc_->itemList, Row(name), LVIS_DROPHILITED) & LVIS_DROPHILITED) != 0;
  }

  IDataObject* files_ = nullptr;
  HWND window_ = nullptr;
  WindowDocument* doc_ = nullptr;
  IDropTarget* target_ = nullptr;
};

}  // namespace

TEST_F(DropFeedbackTest, DirectoryItemsAreHighlightedFilesAreNot) {
  EXPECT_EQ(Enter(RowCentre("maps")), static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_TRUE(RowHighlighted("maps"));
  EXPECT_EQ(Over(RowCentre("readme")), static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_FALSE(RowHighlighted("maps"));
  EXPECT_FALSE(RowHighlighted("readme"));
  Over(RowCentre("sound"));
  EXPECT_TRUE(RowHighlighted("sound"));
  EXPECT_EQ(target_->DragLeave(), S_OK);
  EXPECT_FALSE(RowHighlighted("sound"));
}

TEST_F(DropFeedbackTest, TreeFolderIsDropHighlightedUntilTheDragLeaves) {
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), "maps");
  RECT r = {};
  ASSERT_TRUE(TreeView_GetItemRect(doc_->folderTree, maps, &r, TRUE));
  Enter(At(doc_->folderTree, r.left + 3, (r.top + r.bottom) / 2));
  EXPECT_EQ(TreeView_GetDropHilight(doc_->folderTree), maps);
  target_->DragLeave();
  EXPECT_EQ(TreeView_GetDropHilight(doc_->folderTree), nullptr);
}

TEST_F(DropFeedbackTest, ColumnHeaderAndSplitterRefuseTheDrop) {
  HWND header = ListView_GetHeader(doc_->itemList);
  ASSERT_NE(header, nullptr);
  RECT h;
  GetWindowRect(header, &h);
  EXPECT_EQ(Enter(POINTL{h.left + 10, (h.top + h.bottom) / 2}), static_cast<DWORD>(DROPEFFECT_NONE));
  RECT tree, list;
  GetWindowRect(doc_->folderTree, &tree);
  GetWindowRect(doc_->itemList, &list);
  if (list.left - tree.right >= 2) {
    EXPECT_EQ(Over(POINTL{(tree.right + list.left) / 2, (list.top + list.bottom) / 2}),
              static_cast<DWORD>(DROPEFFECT_NONE));
  }
  // Empty list space is the folder shown.
  RECT client;
  GetClientRect(doc_->itemList, &client);
  EXPECT_EQ(Over(At(doc_->itemList, client.right / 2, client.bottom - 40)), static_cast<DWORD>(DROPEFFECT_COPY));
  target_->DragLeave();
}

TEST_F(DropFeedbackTest, HoveringOnACollapsedFolderExpandsItAfterTwoSeconds) {
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), "maps");
  TreeView_Expand(doc_->folderTree, maps, TVE_COLLAPSE);
  RECT r = {};
  ASSERT_TRUE(TreeView_GetItemRect(doc_->folderTree, maps, &r, TRUE));
  const POINTL at = At(doc_->folderTree, r.left + 3, (r.top + r.bottom) / 2);
  const auto expanded = [&] { return (TreeView_GetItemState(doc_->folderTree, maps, TVIS_EXPANDED) & TVIS_EXPANDED) != 0; };
  Enter(at);
  Over(at);  // the rest on the folder begins here
  for (DWORD t : {500u, 1000u, 1999u}) {
    g_now = kStart + t;
    Over(at);
    EXPECT_FALSE(expanded()) << "opened after " << t << " ms";
  }
  g_now = kStart + 2000;
  Over(at);
  EXPECT_TRUE(expanded());
  target_->DragLeave();
}

TEST_F(DropFeedbackTest, RestingNearTheListsBottomEdgeScrollsUntilTheEnd) {
  ShowWindow(window_, SW_RESTORE);
  // Lower than the list's rows, higher than its two scroll zones, at any DPI.
  const UINT dpi = WindowDpi(window_);
  MoveWindow(window_, 0, 0, ScaleToDpi(500, dpi), ScaleToDpi(160, dpi), TRUE);
  PumpPending();
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(doc_->itemList, SB_VERT, &info));
  ASSERT_GT(info.nMax - static_cast<int>(info.nPage), 0) << "the list must need scrolling";
  RECT client;
  GetClientRect(doc_->itemList, &client);
  const POINTL at = At(doc_->itemList, client.right / 2, client.bottom - 5);
  Enter(at);
  const auto position = [&] {
    info.fMask = SIF_ALL;
    GetScrollInfo(doc_->itemList, SB_VERT, &info);
    return info.nPos;
  };
  Over(at);  // the rest at the edge begins here
  g_now = kStart + 199;
  Over(at);
  EXPECT_EQ(position(), 0) << "scrolled before the cursor rested 200 ms";
  // Each step waits its 200 ms again, one line at a time, until the list's end.
  int steps = 0;
  for (; steps < 100 && position() < info.nMax - static_cast<int>(info.nPage) + 1; ++steps) {
    const int before = position();
    Over(at);  // a new wait begins
    g_now += 200;
    Over(at);
    ASSERT_EQ(position(), before + 1);
  }
  EXPECT_LT(steps, 100);
  const int end = position();
  EXPECT_EQ(end, info.nMax - static_cast<int>(info.nPage) + 1);
  Over(at);
  g_now += 1000;
  Over(at);
  EXPECT_EQ(position(), end);
  target_->DragLeave();
}

TEST_F(DropFeedbackTest, DragImageBeginsOnceAndEndsCleanly) {
  EXPECT_EQ(BeginDragImage(nullptr, 0, 0, 0), 0);
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, TreeView_GetRoot(doc_->folderTree), "maps");
  POINT hotspot = {};
  HIMAGELIST tree = MakeDragImage(doc_->folderTree, 0, maps, &hotspot);
  ASSERT_NE(tree, nullptr);
  // The middle of the item's icon: 8, 8 at 96 DPI.
  const int middle = MetricForDpi(SM_CXSMICON, WindowDpi(doc_->folderTree)) / 2;
  EXPECT_EQ(hotspot.x, middle);
  EXPECT_EQ(hotspot.y, middle);
  SelectListItems(doc_, {"maps", "readme"});
  HIMAGELIST list = MakeDragImage(doc_->itemList, 1, nullptr, &hotspot);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(list), 1);
  EXPECT_EQ(BeginDragImage(list, 0, hotspot.x, hotspot.y), 1);
  EXPECT_EQ(DragImageActive(), 1);
  EXPECT_EQ(BeginDragImage(tree, 0, 8, 8), 0);  // one at a time
  MoveDragImage(300, 300);
  ShowDragImage(0);
  ShowDragImage(0);
  MoveDragImage(310, 305);
  ShowDragImage(1);
  EndDragImage();
  EXPECT_EQ(DragImageActive(), 0);
  EndDragImage();
  MoveDragImage(1, 1);  // nothing active: nothing happens
  ImageList_Destroy(list);
  ImageList_Destroy(tree);
  // Nothing selected: no image.
  ListView_SetItemState(doc_->itemList, -1, 0, LVIS_SELECTED);
  EXPECT_EQ(MakeDragImage(doc_->itemList, 1, nullptr, &hotspot), nullptr);
}
