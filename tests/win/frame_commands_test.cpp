// The frame's commands driven by WM_COMMAND and by real keys: opening windows, closing
// them one by one and all at once, Exit, window management, forwarding, About.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "app/frame.h"
#include "services/core/version.h"
#include "services/globals.h"
#include "services/messages.h"
#include "services/settings.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/frame_test_support.h"

namespace {

using FrameCommandsTest = FrameWithTestWindowsTest;

HWND Open(HWND frame, const char* path) {
  return reinterpret_cast<HWND>(
      SendMessageA(frame, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(path)));
}

void Command(HWND frame, int id) { SendMessageA(frame, WM_COMMAND, id, 0); }

TEST_F(FrameCommandsTest, OpenArchiveCreatesAnArchiveWindowWithThePath) {
  HWND window = Open(frame_, "C:\\Games\\Base\\PAK0.PAK");
  ASSERT_NE(window, nullptr);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  EXPECT_STREQ(name, "wcPakMDIChild");
  EXPECT_EQ(GetParent(window), g_mdiClient);
  EXPECT_EQ(Title(window), "c:\\games\\base\\pak0.pak");
  EXPECT_EQ(ActiveArchiveWindow(), window);
}

TEST_F(FrameCommandsTest, OpenArchiveByAtomAsFromASecondInstance) {
  ATOM atom = GlobalAddAtomA("D:\\Some Dir\\Mod.PK3");
  ASSERT_NE(atom, 0);
  // The frame takes the name and posts the open: the sender, which deletes the atom as soon
  // as the message returns, waits for nothing the open shows.
  EXPECT_NE(SendMessageA(frame_, WMU_OPEN_ARCHIVE, 1, atom), 0);
  GlobalDeleteAtom(atom);
  EXPECT_TRUE(ArchiveWindows().empty()) << "the open is posted, not done inside the message";
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), "d:\\some dir\\mod.pk3");
  // An atom that names nothing opens nothing.
  EXPECT_EQ(SendMessageA(frame_, WMU_OPEN_ARCHIVE, 1, 0), 0);
  ATOM other = GlobalAddAtomA("D:\\Other.PAK");
  ASSERT_NE(other, 0);
  EXPECT_NE(SendMessageA(frame_, WMU_OPEN_ARCHIVE, 1, other), 0);
  GlobalDeleteAtom(other);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 2; }));
  EXPECT_EQ(Title(ActiveArchiveWindow()), "d:\\other.pak");
}

TEST_F(FrameCommandsTest, NewPostsAnUntitledArchive) {
  Command(frame_, ID_FILE_NEW);
  EXPECT_TRUE(ArchiveWindows().empty()) << "New is posted, not sent";
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  Command(frame_, ID_FILE_NEW);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 2; }));
  EXPECT_EQ(Title(ActiveArchiveWindow()), "Untitled");
}

TEST_F(FrameCommandsTest, NewWindowFollowsTheActiveWindowsMaximizedState) {
  HWND first = Open(frame_, "c:\\a.pak");
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(IsZoomed(first));
  ShowWindow(first, SW_SHOWMAXIMIZED);
  HWND second = Open(frame_, "c:\\b.pak");
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(IsZoomed(second));
  EXPECT_EQ(g_settings.windowState.childStyle, kWindowStateMaximize);
  ShowWindow(second, SW_RESTORE);
  HWND third = Open(frame_, "c:\\c.pak");
  EXPECT_FALSE(IsZoomed(third));
  EXPECT_EQ(g_settings.windowState.childStyle, 0u);
}

TEST_F(FrameCommandsTest, WithoutAWindowTheStoredStyleDecides) {
  g_settings.windowState.childStyle = kWindowStateMaximize;
  HWND window = Open(frame_, "c:\\a.pak");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsZoomed(window));
}

TEST_F(FrameCommandsTest, OpenDialogSelectionsOpenInOrder) {
  struct Case {
    const char* name;
    std::string selection;  // as the Open dialog returns it, ending in an empty string
    std::vector<std::string> titles;
  };
  const Case cases[] = {
      {"three files", std::string("C:\\Maps\0a.pak\0B.PK3\0c.zip\0\0", 27),
       {"c:\\maps\\a.pak", "c:\\maps\\b.pk3", "c:\\maps\\c.zip"}},
      {"root of a drive", std::string("C:\\\0x.pak\0y.pak\0\0", 17), {"c:\\x.pak", "c:\\y.pak"}},
      {"directory ending in a slash", std::string("C:/data/\0z.pak\0\0", 16),
       {"c:/data/z.pak"}},
      {"one file alone", std::string("C:\\One\\only.pak\0\0", 17), {"c:\\one\\only.pak"}},
      {"a name too long for a path",
       std::string("C:\\d") + '\0' + std::string(260, 'n') + '\0' + "ok.pak" + '\0' + '\0',
       {"c:\\d\\ok.pak"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Command(frame_, ID_WINDOW_CLOSE_ALL);
    ASSERT_TRUE(ArchiveWindows().empty());
    EXPECT_EQ(OpenArchivesFromSelection(c.selection.data()), static_cast<int>(c.titles.size()));
    std::vector<HWND> windows = ArchiveWindows();
    ASSERT_EQ(windows.size(), c.titles.size());
    // Each new window comes to the top: z-order is the reverse of the opening order.
    for (size_t i = 0; i < windows.size(); ++i) {
      EXPECT_EQ(Title(windows[windows.size() - 1 - i]), c.titles[i]);
    }
  }
}

TEST_F(FrameCommandsTest, CloseAllVisitsEveryWindowAndKeepsARefusingOne) {
  ChildBehaviour behaviour[3];
  HWND windows[3];
  const char* paths[3] = {"c:\\1.pak", "c:\\2.pak", "c:\\3.pak"};
  for (int i = 0; i < 3; ++i) {
    windows[i] = Open(frame_, paths[i]);
    ASSERT_NE(windows[i], nullptr);
    InstallChildBehaviour(windows[i], &behaviour[i]);
  }
  behaviour[1].allowClose = false;
  Command(frame_, ID_WINDOW_CLOSE_ALL);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(behaviour[i].closeQueries, 1) << i;
  EXPECT_EQ(CloseQueryLog().size(), 3u);
  EXPECT_FALSE(IsWindow(windows[0]));
  EXPECT_TRUE(IsWindow(windows[1]));
  EXPECT_FALSE(IsWindow(windows[2]));
  EXPECT_EQ(ActiveArchiveWindow(), windows[1]);
}

TEST_F(FrameCommandsTest, CloseAllKeepsTheRememberedStyle) {
  g_settings.windowState.childStyle = kWindowStateMaximize;
  HWND a = Open(frame_, "c:\\a.pak");
  HWND b = Open(frame_, "c:\\b.pak");
  ASSERT_TRUE(a && b);
  Command(frame_, ID_WINDOW_CLOSE_ALL);
  EXPECT_TRUE(ArchiveWindows().empty());
  EXPECT_EQ(g_settings.windowState.childStyle, kWindowStateMaximize);
}

TEST_F(FrameCommandsTest, ExitKeepsTheFrameWhileAWindowRefuses) {
  ChildBehaviour keep, go;
  keep.allowClose = false;
  HWND kept = Open(frame_, "c:\\modified.pak");
  HWND gone = Open(frame_, "c:\\clean.pak");
  InstallChildBehaviour(kept, &keep);
  InstallChildBehaviour(gone, &go);
  Command(frame_, ID_APP_EXIT);
  EXPECT_TRUE(IsWindow(frame_));
  EXPECT_TRUE(IsWindow(kept));
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_EQ(keep.closeQueries, 1);

  // A session end asks again and is refused as well.
  EXPECT_EQ(SendMessageA(frame_, WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_TRUE(IsWindow(kept));

  keep.allowClose = true;
  EXPECT_NE(SendMessageA(frame_, WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_FALSE(IsWindow(kept));
  Command(frame_, ID_APP_EXIT);
  EXPECT_FALSE(IsWindow(frame_));
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  frame_ = nullptr;
}

TEST_F(FrameCommandsTest, CloseAsksOnlyTheActiveWindow) {
  for (int id : {ID_FILE_CLOSE, ID_WINDOW_CLOSE}) {
    SCOPED_TRACE(id);
    ChildBehaviour back, front;
    HWND other = Open(frame_, "c:\\back.pak");
    HWND active = Open(frame_, "c:\\front.pak");
    InstallChildBehaviour(other, &back);
    InstallChildBehaviour(active, &front);
    front.allowClose = false;
    Command(frame_, id);
    EXPECT_TRUE(IsWindow(active));
    front.allowClose = true;
    Command(frame_, id);
    EXPECT_FALSE(IsWindow(active));
    EXPECT_EQ(back.closeQueries, 0);
    EXPECT_EQ(front.closeQueries, 2);
    DestroyWindow(other);
  }
  Command(frame_, ID_WINDOW_CLOSE);  // no window: nothing happens
  EXPECT_TRUE(IsWindow(frame_));
}

TEST_F(FrameCommandsTest, NextPreviousAndSendToBack) {
  HWND a = Open(frame_, "c:\\a.pak");
  HWND b = Open(frame_, "c:\\b.pak");
  HWND c = Open(frame_, "c:\\c.pak");
  ASSERT_EQ(ActiveArchiveWindow(), c);
  Command(frame_, ID_WINDOW_NEXT);
  HWND afterNext = ActiveArchiveWindow();
  EXPECT_NE(afterNext, c);
  Command(frame_, ID_WINDOW_PREVIOUS);
  EXPECT_EQ(ActiveArchiveWindow(), c);

  Command(frame_, ID_WINDOW_SEND_TO_BACK);
  EXPECT_NE(ActiveArchiveWindow(), c);
  EXPECT_EQ(GetWindow(g_mdiClient, GW_CHILD) != c, true);
  std::vector<HWND> order = ArchiveWindows();
  EXPECT_EQ(order.back(), c);
  (void)a;
  (void)b;
}

TEST_F(FrameCommandsTest, SendToBackWithOneWindowLeavesItActive) {
  HWND only = Open(frame_, "c:\\only.pak");
  Command(frame_, ID_WINDOW_SEND_TO_BACK);
  EXPECT_EQ(ActiveArchiveWindow(), only);
  EXPECT_EQ(ArchiveWindows().back(), only);
}

TEST_F(FrameCommandsTest, TileAndCascadeArrangeTheWindows) {
  HWND a = Open(frame_, "c:\\a.pak");
  HWND b = Open(frame_, "c:\\b.pak");
  RECT client;
  GetClientRect(g_mdiClient, &client);
  Command(frame_, ID_WINDOW_TILE_VERT);
  RECT ra = ChildRect(a), rb = ChildRect(b);
  EXPECT_EQ(ra.top, rb.top);
  EXPECT_TRUE(ra.right <= rb.left || rb.right <= ra.left);
  Command(frame_, ID_WINDOW_TILE_HORZ);
  ra = ChildRect(a), rb = ChildRect(b);
  EXPECT_EQ(ra.left, rb.left);
  EXPECT_TRUE(ra.bottom <= rb.top || rb.bottom <= ra.top);
  Command(frame_, ID_WINDOW_CASCADE);
  ra = ChildRect(a), rb = ChildRect(b);
  EXPECT_NE(ra.left, rb.left);
  EXPECT_NE(ra.top, rb.top);
}

TEST_F(FrameCommandsTest, DocumentCommandsGoToTheActiveWindow) {
  const int forwarded[] = {57603, 40004, 40040, 40041, 57635, 57634, 57637, 40008, 57642, 40010,
                           40031, 40032, 40033, 40036, 40034, 40035, 40020, 40021, 40022, 40023,
                           40024, 40025, 40026};
  // Without an archive window they go nowhere.
  for (int id : forwarded) Command(frame_, id);
  ChildBehaviour back, front;
  HWND other = Open(frame_, "c:\\back.pak");
  HWND active = Open(frame_, "c:\\front.pak");
  InstallChildBehaviour(other, &back);
  InstallChildBehaviour(active, &front);
  for (int id : forwarded) {
    SendMessageA(frame_, WM_COMMAND, MAKEWPARAM(id, 1), 1234);
  }
  ASSERT_EQ(front.commands.size(), sizeof forwarded / sizeof forwarded[0]);
  for (size_t i = 0; i < front.commands.size(); ++i) {
    EXPECT_EQ(front.commands[i].first, MAKEWPARAM(forwarded[i], 1));
    EXPECT_EQ(front.commands[i].second, 1234);
  }
  EXPECT_TRUE(back.commands.empty());
  // Frame commands are not forwarded.
  Command(frame_, ID_WINDOW_CASCADE);
  Command(frame_, ID_FILE_SAVE_ALL);
  EXPECT_EQ(front.commands.size(), sizeof forwarded / sizeof forwarded[0]);
}

TEST_F(FrameCommandsTest, RecentFilePlaceholderOpensNothing) {
  Command(frame_, ID_FILE_MRU_FIRST);
  PumpPending();  // an open would have been posted
  EXPECT_TRUE(ArchiveWindows().empty());
}

TEST_F(FrameCommandsTest, RecentFilesOpenTheirEntry) {
  g_recentFiles.Add("c:\\older.pak");
  g_recentFiles.Add("c:\\newer.pak");
  Command(frame_, ID_FILE_MRU_FIRST + 1);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), "c:\\older.pak");
  Command(frame_, ID_FILE_MRU_FIRST + 5);  // beyond the list
  PumpPending();
  EXPECT_EQ(ArchiveWindows().size(), 1u);
}

TEST_F(FrameCommandsTest, AboutBoxShowsNameAndVersion) {
  DialogWatcher watcher("About Vellumix", IDOK);
  Command(frame_, ID_APP_ABOUT);
  WatchedDialog seen = watcher.Wait();
  ASSERT_TRUE(seen.found);
  bool name = false, version = false;
  for (const std::string& text : seen.texts) {
    name |= text == "Vellumix";
    version |= text == std::string("Version ") + kProductVersion;
  }
  EXPECT_TRUE(name);
  EXPECT_TRUE(version);
}

// Real keys through the frame's message loop reach the frame's commands.
TEST_F(FrameCommandsTest, AcceleratorsReachTheFrameCommands) {
  SetForegroundWindow(frame_);
  SetFocus(frame_);
  PumpUntil([&] { return GetForegroundWindow() == frame_ && GetFocus() == frame_; });
  PressKeys({VK_CONTROL, 'N'});
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; })) << "Ctrl+N";
  PressKeys({VK_CONTROL, 'N'});
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 2; })) << "Ctrl+N again";

  std::vector<HWND> windows = ArchiveWindows();
  HWND a = windows[0], b = windows[1];
  PressKeys({VK_SHIFT, VK_F4});  // tile horizontally
  ASSERT_TRUE(PumpUntil([&] {
    RECT ra = ChildRect(a), rb = ChildRect(b);
    return ra.left == rb.left && (ra.bottom <= rb.top || rb.bottom <= ra.top);
  })) << "Shift+F4";
  PressKeys({VK_SHIFT, VK_F5});  // cascade
  ASSERT_TRUE(PumpUntil([&] {
    RECT ra = ChildRect(a), rb = ChildRect(b);
    return ra.left != rb.left && ra.top != rb.top;
  })) << "Shift+F5";

  ChildBehaviour behaviour;
  InstallChildBehaviour(ActiveArchiveWindow(), &behaviour);
  SetFocus(ActiveArchiveWindow());
  // A grayed menu item takes no accelerator: Save and Refresh are grayed until an archive
  // window enables them.
  PressKeys({VK_CONTROL, 'S'});
  PressKeys({VK_F5});
  // Keys are taken in order: once the command of Ctrl+C arrives, the two before it were read.
  PressKeys({VK_CONTROL, 'C'});
  ASSERT_TRUE(PumpUntil([&] { return !behaviour.commands.empty(); }));
  PumpPending();
  ASSERT_EQ(behaviour.commands.size(), 1u);
  EXPECT_EQ(LOWORD(behaviour.commands[0].first), ID_EDIT_COPY) << "only the enabled command arrived";
  behaviour.commands.clear();
  EnableMenuItem(GetMenu(frame_), ID_FILE_SAVE, MF_BYCOMMAND | MF_ENABLED);
  EnableMenuItem(GetMenu(frame_), ID_VIEW_REFRESH, MF_BYCOMMAND | MF_ENABLED);
  EnableMenuItem(GetMenu(frame_), ID_VIEW_FILTER, MF_BYCOMMAND | MF_ENABLED);
  struct Key {
    std::initializer_list<WORD> keys;
    int command;
  };
  const Key keys[] = {
      {{VK_CONTROL, 'S'}, ID_FILE_SAVE},  {{VK_CONTROL, 'X'}, ID_EDIT_CUT},
      {{VK_CONTROL, 'C'}, ID_EDIT_COPY},  {{VK_CONTROL, 'V'}, ID_EDIT_PASTE},
      {{VK_CONTROL, 'A'}, ID_EDIT_SELECT_ALL}, {{VK_DELETE}, ID_EDIT_DELETE},
      {{VK_F2}, ID_EDIT_RENAME},     {{VK_F5}, ID_VIEW_REFRESH},
      {{VK_CONTROL, 'F'}, ID_EDIT_FIND},  {{VK_CONTROL, 'E'}, ID_VIEW_FILTER},
  };
  for (const Key& key : keys) {
    SCOPED_TRACE(key.command);
    size_t before = behaviour.commands.size();
    PressKeys(key.keys);
    ASSERT_TRUE(PumpUntil([&] { return behaviour.commands.size() == before + 1; }));
    EXPECT_EQ(LOWORD(behaviour.commands.back().first), key.command);
    EXPECT_EQ(HIWORD(behaviour.commands.back().first), 1) << "sent by an accelerator";
  }
}

}  // namespace
