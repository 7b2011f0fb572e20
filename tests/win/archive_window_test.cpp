// Archive windows opened for real archives: creation, titles, refusals, closing.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "archive/format.h"
#include "resources/command_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/settings.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"

namespace {

using Names = std::vector<std::string>;

}  // namespace

TEST_F(ArchiveWindowTest, ZipShowsFoldersAndRootItemsSortedByName) {
  std::string path = WinFixture("views.zip");
  HWND window = Open(path);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(DocumentFormat(doc), &DefaultFormat());
  EXPECT_EQ(Title(window), Lower(path));
  EXPECT_EQ(std::string(g_recentFiles.At(0)), Lower(path));

  EXPECT_EQ(TreeChildren(doc->folderTree, nullptr), Names{"/"});
  HTREEITEM root = TreeView_GetRoot(doc->folderTree);
  EXPECT_EQ(TreeChildren(doc->folderTree, root), (Names{"maps", "sound"}));
  HTREEITEM maps = TreeChildNamed(doc->folderTree, root, "maps");
  EXPECT_EQ(TreeChildren(doc->folderTree, maps), Names{"dm"});
  EXPECT_EQ(TreeView_GetSelection(doc->folderTree), root);

  EXPECT_EQ(ListNames(doc->itemList), kViewsRootListed);
  EXPECT_EQ(ListText(doc->itemList, 0, 1), "");  // directories show no size
  EXPECT_EQ(ListText(doc->itemList, 2, 1), "50");
  EXPECT_EQ(ListText(doc->itemList, 4, 1), Grouped(1234567));
  EXPECT_EQ(ListText(doc->itemList, 5, 1), "0");
  EXPECT_EQ(ListText(doc->itemList, 4, 1).find('.'), std::string::npos) << "no decimals";
  EXPECT_NE(ListText(doc->itemList, 0, 2), "");  // the shell's folder type name
  EXPECT_NE(ListText(doc->itemList, 2, 2), "");
}

TEST_F(ArchiveWindowTest, PakNestedPk3AndFileWithoutExtensionOpen) {
  HWND pak = Open(WinFixture("views.pak"));
  ASSERT_NE(pak, nullptr);
  EXPECT_EQ(DocumentFormat(DocumentOf(pak)), &PakFormat());
  EXPECT_EQ(ListNames(DocumentOf(pak)->itemList),
            (Names{"maps", "sound", "a.bsp", "b", "empty.txt", "notes.txt", "readme", "z.bsp"}));

  HWND nested = Open(WinFixture("nested.pk3"));
  ASSERT_NE(nested, nullptr);
  WindowDocument* doc = DocumentOf(nested);
  HTREEITEM root = TreeView_GetRoot(doc->folderTree);
  EXPECT_EQ(TreeChildren(doc->folderTree, root), (Names{"env", "levelshots", "scripts", "textures"}));
  EXPECT_EQ(TreeChildren(doc->folderTree, TreeChildNamed(doc->folderTree, root, "textures")),
            Names{"base"});
  EXPECT_EQ(ListNames(doc->itemList), (Names{"env", "levelshots", "scripts", "textures", "readme.txt"}));

  HWND plain = Open(WinFixture("noextension"));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(DocumentFormat(DocumentOf(plain)), &DefaultFormat());
  EXPECT_EQ(ArchiveWindows().size(), 3u);
}

TEST_F(ArchiveWindowTest, SameArchiveInOtherCaseActivatesTheOpenWindow) {
  std::string path = TempDir() + "Mixed.Pk3";
  HWND first = OpenCopy("views.zip", path);
  ASSERT_NE(first, nullptr);
  HWND other = OpenNew();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(ActiveArchiveWindow(), other);
  EXPECT_EQ(Open(TempDir() + "MIXED.PK3"), nullptr);
  EXPECT_EQ(ArchiveWindows().size(), 2u);
  EXPECT_EQ(ActiveArchiveWindow(), first);
}

TEST_F(ArchiveWindowTest, UntitledNumbersKeepCountingAfterAClose) {
  HWND one = OpenNew();
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(Title(one), "Untitled1");
  EXPECT_EQ(DocumentFormat(DocumentOf(one)), nullptr);
  EXPECT_EQ(ListNames(DocumentOf(one)->itemList), Names{});
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE, 0);
  EXPECT_TRUE(PumpUntil([] { return ArchiveWindows().empty(); }));
  EXPECT_EQ(ArchiveWindows().size(), 0u);
  EXPECT_EQ(Title(OpenNew()), "Untitled2");
  EXPECT_EQ(Title(OpenNew()), "Untitled3");
}

TEST_F(ArchiveWindowTest, UnreadableArchivesShowTheirErrorAndWhyAndOpenNothing) {
  struct Case {
    const char* fixture;  // null: a folder
    const char* name;
    const char* message;
    const char* why;
  };
  const Case cases[] = {
      {"damaged.pk3", "damaged.pk3", "Error reading PK3 file",
       "the central directory is damaged at entry 1 of 11"},
      {"views.zip", "zip-in-disguise.pak", "Error reading PAK file", "no \"PACK\" header (not a PAK archive)"},
      {"views.pak", "pak-in-disguise.zip", "Error reading PK3 file",
       "no end-of-central-directory record (not a ZIP archive, or cut short)"},
      {nullptr, "folder.pk3", "Error reading PK3 file", "it is a folder"},
  };
  for (const Case& c : cases) {
    std::string path = TempDir() + c.name;
    if (c.fixture)
      ASSERT_TRUE(CopyFixture(c.fixture, path));
    else
      ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    DialogWatcher watcher("Vellumix", IDOK);
    EXPECT_EQ(Open(path), nullptr) << c.name;
    WatchedDialog seen = watcher.Wait();
    EXPECT_TRUE(seen.found) << c.name;
    EXPECT_EQ(seen.message, c.message + ("\n" + Lower(path)) + ": " + c.why + ".") << c.name;
    EXPECT_EQ(ArchiveWindows().size(), 0u);
  }
}

TEST_F(ArchiveWindowTest, ModifiedMarkIsAppendedOnceAndCancelKeepsTheWindow) {
  HWND window = OpenNew();
  ASSERT_NE(window, nullptr);
  MarkModified(window);
  MarkModified(window);
  EXPECT_EQ(Title(window), "Untitled1 *");
  {
    DialogWatcher watcher("Vellumix", IDCANCEL);
    SendMessageA(window, WM_CLOSE, 0, 0);
    WatchedDialog seen = watcher.Wait();
    EXPECT_EQ(seen.message, "Save changes to Untitled1?");
  }
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(Title(window), "Untitled1 *");
  {
    DialogWatcher watcher("Vellumix", IDNO);
    EXPECT_TRUE(SendMessageA(window, WM_QUERYENDSESSION, 0, 0));
    EXPECT_TRUE(watcher.Wait().found);
  }
}

TEST_F(ArchiveWindowTest, RestoredSizeAndMaximizedStyleAreRemembered) {
  HWND window = Open(WinFixture("views.zip"));
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_RESTORE);
  SetWindowPos(window, nullptr, 0, 0, 333, 222, SWP_NOMOVE | SWP_NOZORDER);
  // Kept in 96-DPI units: as it is at 96 DPI.
  const int width = ScaleFromDpi(333, WindowDpi(window)), height = ScaleFromDpi(222, WindowDpi(window));
  EXPECT_TRUE(PumpUntil([&] { return g_settings.windowState.childWidth == width && g_settings.windowState.childHeight == height; }));
  EXPECT_EQ(g_settings.windowState.childWidth, width);
  EXPECT_EQ(g_settings.windowState.childHeight, height);
  EXPECT_EQ(g_settings.windowState.childStyle, 0u);
  ShowWindow(window, SW_MAXIMIZE);
  EXPECT_TRUE(PumpUntil([] { return g_settings.windowState.childStyle == static_cast<uint32_t>(WS_MAXIMIZE); }));
  EXPECT_EQ(g_settings.windowState.childStyle, static_cast<uint32_t>(WS_MAXIMIZE));
}

TEST_F(ArchiveWindowTest, RecentFilesReopenAndActivateTheirArchives) {
  std::string zip = Lower(WinFixture("views.zip"));
  std::string pak = Lower(WinFixture("views.pak"));
  HWND zipWindow = Open(zip);
  ASSERT_NE(zipWindow, nullptr);
  ASSERT_NE(Open(pak), nullptr);
  ASSERT_STREQ(g_recentFiles.At(0), pak.c_str());
  ASSERT_STREQ(g_recentFiles.At(1), zip.c_str());

  // The second entry is open already: its window comes forward and none is added.
  SendMessageA(frame_, WM_COMMAND, ID_FILE_MRU_FIRST + 1, 0);
  EXPECT_TRUE(PumpUntil([&] { return ActiveArchiveWindow() == zipWindow; }));
  PumpPending();
  EXPECT_EQ(ArchiveWindows().size(), 2u);
  EXPECT_EQ(ActiveArchiveWindow(), zipWindow);

  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  PumpUntil([] { return ArchiveWindows().empty(); });
  ASSERT_EQ(ArchiveWindows().size(), 0u);
  SendMessageA(frame_, WM_COMMAND, ID_FILE_MRU_FIRST + 1, 0);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), zip);
  EXPECT_STREQ(g_recentFiles.At(0), zip.c_str());  // reopened, so on top again
  EXPECT_STREQ(g_recentFiles.At(1), pak.c_str());
  EXPECT_EQ(g_recentFiles.At(2), nullptr);
}

// With archive windows maximized, the frame's title names the active one after every way
// of switching: a new window by Ctrl+N, and Next and Previous from the Window menu.
TEST_F(ArchiveWindowTest, TheFrameTitleNamesTheActiveMaximizedWindow) {
  auto framesTitle = [&] { return Title(frame_); };
  auto namesActive = [&] {
    HWND active = ActiveArchiveWindow();
    return active && framesTitle() == std::string(kProgramName) + " - [" + Title(active) + "]";
  };
  HWND first = Open(WinFixture("views.zip"));
  ASSERT_NE(first, nullptr);
  SendMessageA(g_mdiClient, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(first), 0);
  SetForegroundWindow(frame_);
  SetFocus(frame_);
  ASSERT_TRUE(PumpUntil(namesActive)) << framesTitle();
  PressKeys({VK_CONTROL, 'N'});
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 2; })) << "Ctrl+N";
  EXPECT_TRUE(PumpUntil([&] { return namesActive() && ActiveArchiveWindow() != first; })) << framesTitle();
  // Window > Next, then Window > Previous, through the menu bar's keys.
  for (WORD command : {'X', 'V'}) {
    HWND before = ActiveArchiveWindow();
    // Queued together: the menu's own loop reads the item's key once the menu is open.
    PressKeys({VK_MENU, 'W'});
    PressKeys({command});
    EXPECT_TRUE(PumpUntil([&] { return ActiveArchiveWindow() != before && namesActive(); }))
        << static_cast<char>(command) << ": " << framesTitle();
  }
}
