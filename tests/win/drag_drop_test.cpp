// Real mouse drags between archive windows: a helper thread moves the mouse with SendInput
// while OLE's drag loop runs on the test's thread, as a user's drag would.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "resources/command_ids.h"
#include "services/globals.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "transfer/data_object.h"
#include "panes/views.h"

namespace {

void MouseButton(bool down) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
}

// Wine takes the modifier state of each mouse event from the X server, so a modifier held
// during a drag is pressed on the X server itself (xdotool) as well as through SendInput.
void RunX(const char* args) {
  std::string command = std::string("Z:\\usr\\bin\\xdotool ") + args;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "xdotool could not be started: " << GetLastError();
    return;
  }
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

void Key(WORD vk, bool down) {
  if (vk == VK_SHIFT) RunX(down ? "keydown shift" : "keyup shift");
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
}

POINT ListItemCentre(HWND list, const std::string& name) {
  const std::vector<std::string> names = ListNames(list);
  const int index = static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
  RECT r = {};
  r.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(list, &p);
  return p;
}

POINT TreeItemCentre(HWND tree, HTREEITEM item) {
  RECT r = {};
  TreeView_GetItemRect(tree, item, &r, TRUE);
  POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(tree, &p);
  return p;
}

class DragDropTest : public DataExchangeTest {
 protected:
  void SetUp() override {
    DataExchangeTest::SetUp();
    ShowWindow(frame_, SW_MAXIMIZE);
    source_ = OpenDoc(WinFixture("views.pak"), &sourceWindow_);
    target_ = OpenDoc("", &targetWindow_);
    ASSERT_NE(source_, nullptr);
    ASSERT_NE(target_, nullptr);
    SendMessageA(g_mdiClient, WM_MDITILE, MDITILE_VERTICAL, 0);
    PumpPending();
    ShowFolderAt(source_, "");
  }

  // Presses on from, nudges the cursor a few pixels, moves to `to` in ten steps, holding
  // Shift from the fourth step when move is set, and lets go. Each step waits until the
  // program has taken the input of the one before. Returns whether a drag was under way
  // (the source's drag object existed) just before the button went up.
  bool Drag(POINT from, POINT to, bool move) {
    std::atomic<bool> done{false};
    std::atomic<bool> dragging{false};
    const DWORD gui = GetCurrentThreadId();
    WindowDocument* source = source_;
    auto waitFor = [](const std::function<bool()>& condition, DWORD timeoutMs) {
      const DWORD start = GetTickCount();
      while (!condition() && GetTickCount() - start < timeoutMs) Sleep(5);
    };
    std::thread mover([&] {
      InputWatch taken(gui);
      // A move the system made is taken by the program as a mouse message made there.
      auto moveTo = [&](int x, int y) {
        const unsigned long before = taken.Count();
        POINT now;
        if (MoveMouseAndWait(x, y) && GetCursorPos(&now)) taken.WaitFor(before, 0, &now);
      };
      moveTo(from.x, from.y);
      const unsigned long beforeDown = taken.Count();
      MouseButton(true);
      taken.WaitFor(beforeDown, WM_LBUTTONDOWN, nullptr);
      // The list tells a drag from a click by the first moves inside itself.
      for (int nudge = 1; nudge <= 3; ++nudge) moveTo(from.x + 4 * nudge, from.y + 2 * nudge);
      waitFor([&] { return source->dragSource != nullptr; }, 3000);
      for (int step = 1; step <= 10; ++step) {
        moveTo(from.x + (to.x - from.x) * step / 10, from.y + (to.y - from.y) * step / 10);
        if (move && step == 4) Key(VK_SHIFT, true);
      }
      // A few more small moves over the target, so that it has seen the cursor settle.
      for (int wiggle = 0; wiggle < 3; ++wiggle) moveTo(to.x + 2 * (wiggle & 1), to.y);
      dragging = source->dragSource != nullptr;
      const unsigned long beforeUp = taken.Count();
      MouseButton(false);
      taken.WaitFor(beforeUp, WM_LBUTTONUP, nullptr);
      // The drop reads the keys as the button goes up: Shift is let go once the drag is over.
      waitFor([&] { return source->dragSource == nullptr; }, 10000);
      if (move) Key(VK_SHIFT, false);
      done = true;
    });
    PumpUntil([&] { return done.load(); }, 30000);
    mover.join();
    PumpPending();
    return dragging;
  }

  // Retries a drag that never started (the pointer steps can be lost under a busy X server).
  bool DragWithRetries(const std::string& item, POINT to, bool move, const std::function<bool()>& happened) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      SelectListItems(source_, {item});
      PumpPending();
      const POINT from = ListItemCentre(source_->itemList, item);
      const bool started = Drag(from, to, move);
      if (started || happened()) return true;
      PumpPending();
    }
    return false;
  }

  HWND sourceWindow_ = nullptr;
  HWND targetWindow_ = nullptr;
  WindowDocument* source_ = nullptr;
  WindowDocument* target_ = nullptr;
};

}  // namespace

TEST_F(DragDropTest, ListItemDraggedOntoAnotherWindowsFolderTreeIsCopied) {
  HTREEITEM root = TreeView_GetRoot(target_->folderTree);
  const POINT to = TreeItemCentre(target_->folderTree, root);
  ASSERT_TRUE(DragWithRetries("maps", to, false, [&] { return NodeAt(target_, "maps") != nullptr; }));
  EXPECT_EQ(EntryText(target_, "maps/level1.bsp"), EntryText(source_, "maps/level1.bsp"));
  EXPECT_EQ(EntryText(target_, "maps/dm/arena.bsp"), EntryText(source_, "maps/dm/arena.bsp"));
  EXPECT_NE(NodeAt(source_, "maps"), nullptr);
  EXPECT_FALSE(source_->modified);
  EXPECT_TRUE(target_->modified);
  EXPECT_EQ(source_->dragSource, nullptr);
  EXPECT_EQ(TreeView_GetDropHilight(target_->folderTree), nullptr);
}

TEST_F(DragDropTest, ListItemDraggedWithShiftIsMoved) {
  const std::string bytes = EntryText(source_, "readme");
  HTREEITEM root = TreeView_GetRoot(target_->folderTree);
  const POINT to = TreeItemCentre(target_->folderTree, root);
  ASSERT_TRUE(DragWithRetries("readme", to, true, [&] { return NodeAt(target_, "readme") != nullptr; }));
  EXPECT_EQ(EntryText(target_, "readme"), bytes);
  EXPECT_EQ(NodeAt(source_, "readme"), nullptr);
  const std::vector<std::string> left = ListNames(source_->itemList);
  EXPECT_EQ(std::find(left.begin(), left.end(), "readme"), left.end());
  EXPECT_TRUE(source_->modified);
}

TEST_F(DragDropTest, RegressionADragOfItemsTheClipboardCannotLetGoOnlyCopies) {
  const std::string bytes = EntryText(source_, "readme");
  SelectListItems(source_, {"readme"});
  SetFocus(source_->itemList);
  SendCommand(sourceWindow_, ID_EDIT_COPY);
  ASSERT_NE(source_->clipboardSource, nullptr);
  // Another program took the clipboard's object and holds it: emptying the clipboard does
  // not free it, and it still points at the item's data.
  IDataObject* held = AsDataObject(static_cast<ArchiveDataObject*>(source_->clipboardSource));
  held->AddRef();
  // Within its own window a drag moves unless it may only copy.
  HTREEITEM sound = TreeChildNamed(source_->folderTree, TreeView_GetRoot(source_->folderTree), "sound");
  ASSERT_NE(sound, nullptr);
  const POINT to = TreeItemCentre(source_->folderTree, sound);
  ASSERT_TRUE(DragWithRetries("readme", to, false, [&] { return NodeAt(source_, "sound/readme") != nullptr; }));
  EXPECT_EQ(EntryText(source_, "sound/readme"), bytes);
  // The drag could only copy: the item stays where the held object needs it.
  ASSERT_NE(NodeAt(source_, "readme"), nullptr);
  EXPECT_EQ(EntryText(source_, "readme"), bytes);
  held->Release();
  EXPECT_EQ(source_->clipboardSource, nullptr);
  EXPECT_EQ(EntryText(source_, "readme"), bytes);
}

TEST_F(DragDropTest, ADropTheTargetRefusesLeavesEverything) {
  // Onto empty space of the source's own list: the folder that already holds the item.
  RECT client;
  GetClientRect(source_->itemList, &client);
  POINT to = {client.right - 30, client.bottom - 30};
  ClientToScreen(source_->itemList, &to);
  const std::vector<std::string> before = ListNames(source_->itemList);
  ASSERT_TRUE(DragWithRetries("a.bsp", to, true, [] { return false; }));
  EXPECT_EQ(ListNames(source_->itemList), before);
  EXPECT_NE(NodeAt(source_, "a.bsp"), nullptr);
  EXPECT_FALSE(source_->modified);
  EXPECT_EQ(target_->root()->firstChild(), nullptr);
}

TEST_F(DragDropTest, FolderDraggedFromTheTreeWithShiftIsMovedToAnotherWindow) {
  const std::string arena = EntryText(source_, "maps/dm/arena.bsp");
  HTREEITEM maps = TreeChildNamed(source_->folderTree, TreeView_GetRoot(source_->folderTree), "maps");
  ASSERT_NE(maps, nullptr);
  const POINT to = TreeItemCentre(target_->folderTree, TreeView_GetRoot(target_->folderTree));
  bool moved = false;
  for (int attempt = 0; attempt < 3 && !moved; ++attempt) {
    Drag(TreeItemCentre(source_->folderTree, maps), to, true);
    moved = NodeAt(target_, "maps") != nullptr;
  }
  ASSERT_TRUE(moved);
  EXPECT_EQ(EntryText(target_, "maps/dm/arena.bsp"), arena);
  EXPECT_EQ(NodeAt(source_, "maps"), nullptr);
  EXPECT_EQ(TreeChildNamed(source_->folderTree, TreeView_GetRoot(source_->folderTree), "maps"), nullptr);
  EXPECT_TRUE(source_->modified);
}
