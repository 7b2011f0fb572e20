// A game folder opened in a window: the merged view of its archives and loose files, the
// From column, the shadow filter, Properties' search order, Show in Archive, and edits
// refused.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "archive/disk.h"
#include "archive/game_folder.h"
#include "panes/list_columns.h"
#include "panes/views.h"
#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"

namespace {

bool Grayed(int command) { return (GetMenuState(g_mainMenu, command, MF_BYCOMMAND) & MF_GRAYED) != 0; }
bool Checked(int command) { return (GetMenuState(g_mainMenu, command, MF_BYCOMMAND) & MF_CHECKED) != 0; }

// The archive windows showing path.
int WindowsShowing(const std::string& path) {
  int count = 0;
  for (HWND child = NextMdiChild(nullptr); child; child = NextMdiChild(child)) {
    const WindowDocument* doc = DocumentOf(child);
    if (doc && DocumentPath(doc) && SameDiskFile(DocumentPath(doc), path)) ++count;
  }
  return count;
}

class GameFolderTest : public ArchiveWindowTest {
 protected:
  // id1 with pak0.pak and pak1.pak, both holding maps/e1m1.bsp (pak1's is read), and a
  // loose autoexec.cfg.
  std::string MakeId1() {
    const std::string folder = TempDir() + "id1";
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_TRUE(WriteBytes(folder + "\\pak0.pak", sample::Pak({{"maps/e1m1.bsp", "base map"}, {"progs.dat", "p0"}})));
    EXPECT_TRUE(WriteBytes(folder + "\\pak1.pak", sample::Pak({{"maps/e1m1.bsp", "mod map"}, {"sound/x.wav", "x"}})));
    const std::string loose = "exec this";
    EXPECT_TRUE(WriteBytes(folder + "\\autoexec.cfg", std::vector<uint8_t>(loose.begin(), loose.end())));
    return folder;
  }
};

TEST_F(GameFolderTest, AShadowedFileIsFoundAndShownInItsOwnArchive) {
  const std::string folder = MakeId1();
  HWND window = Open(folder);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  ASSERT_TRUE(IsGameFolderView(doc));
  EXPECT_EQ(doc->target, EngineTarget::Quake);
  // Nothing of it is saved or changed.
  EXPECT_TRUE(Grayed(ID_FILE_SAVE));
  EXPECT_TRUE(Grayed(ID_FILE_SAVE_AS));
  EXPECT_FALSE(Grayed(ID_VIEW_ONLY_SHADOWING));

  SendCommand(window, ID_VIEW_DETAILS);
  ShowFolderAt(doc, "");
  const int from = ColumnPosition(doc, kFromColumn);
  ASSERT_GE(from, 0) << "a game folder shows the From column";
  // The paks themselves are searched, not shown; the loose file is the folder's.
  std::vector<std::string> top = ListNames(doc->itemList);
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"autoexec.cfg", "maps", "progs.dat", "sound"}));
  for (int i = 0; i < static_cast<int>(top.size()); ++i) {
    const std::string name = ListText(doc->itemList, i, 0);
    if (name == "autoexec.cfg") {
      EXPECT_EQ(ListText(doc->itemList, i, from), "folder");
    }
    if (name == "progs.dat") {
      EXPECT_EQ(ListText(doc->itemList, i, from), "pak0.pak");
    }
  }

  // The filter finds what shadows another: only the folder that holds it, then the file.
  SendCommand(window, ID_VIEW_ONLY_SHADOWING);
  EXPECT_EQ(ListNames(doc->itemList), (std::vector<std::string>{"maps"}));
  ShowFolderAt(doc, "maps/");
  ASSERT_EQ(ListNames(doc->itemList), (std::vector<std::string>{"e1m1.bsp"}));
  EXPECT_EQ(ListText(doc->itemList, 0, from), "pak1.pak (shadows 1)");

  // Properties lists every archive holding the path, in search order.
  SelectListItems(doc, {"e1m1.bsp"});
  const auto rows = PropertiesRows(window, "e1m1.bsp Properties");
  std::vector<std::string> order;
  for (const auto& row : rows)
    if (row.first == "Search order" || (!order.empty() && row.first.empty())) order.push_back(row.second);
  EXPECT_EQ(order, (std::vector<std::string>{"1. pak1.pak (read from here)", "2. pak0.pak (shadowed)"}));

  // An edit is refused with the reason, and changes nothing.
  {
    DialogWatcher refusal(kProgramName, IDOK);
    SendCommand(window, ID_EDIT_DELETE);
    const WatchedDialog seen = refusal.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_NE(seen.message.find("game folder"), std::string::npos) << seen.message;
  }
  EXPECT_EQ(ListNames(doc->itemList), (std::vector<std::string>{"e1m1.bsp"}));
  EXPECT_EQ(doc->modified, 0);

  // Show in Archive opens pak1.pak's own window at the file it holds.
  SelectListItems(doc, {"e1m1.bsp"});
  EXPECT_FALSE(Grayed(ID_OBJECT_SHOW_IN_ARCHIVE));
  SendCommand(window, ID_OBJECT_SHOW_IN_ARCHIVE);
  HWND archive = ActiveArchiveWindow();
  ASSERT_NE(archive, nullptr);
  ASSERT_NE(archive, window);
  WindowDocument* own = DocumentOf(archive);
  ASSERT_NE(own, nullptr);
  EXPECT_FALSE(IsGameFolderView(own));
  EXPECT_TRUE(SameDiskFile(DocumentPath(own), folder + "\\pak1.pak"));
  EXPECT_EQ(SelectedListNames(own->itemList), (std::vector<std::string>{"e1m1.bsp"}));
  EXPECT_EQ(TreeText(own->folderTree, CurrentFolderItem(own->folderTree)), "maps");
  // There the file can be edited as in any archive.
  EXPECT_FALSE(Grayed(ID_FILE_SAVE_AS));
}

// Searched as another engine, the folder shows what that engine loads: Quake stops at the
// gap before pak3.pak, Quake II searches it first. The view opens again in the same place,
// at the folder shown, and the menu checks the target.
TEST_F(GameFolderTest, SearchedAsAnotherEngineTheViewShowsWhatThatEngineLoads) {
  const std::string folder = MakeId1();
  ASSERT_TRUE(WriteBytes(folder + "\\pak3.pak", sample::Pak({{"maps/e1m1.bsp", "gap map"}, {"maps/e1m2.bsp", "2"}})));
  HWND window = Open(folder);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  ASSERT_EQ(doc->target, EngineTarget::Quake);
  EXPECT_FALSE(Grayed(ID_VIEW_SEARCH_AS_QUAKE2));
  EXPECT_TRUE(Checked(ID_VIEW_SEARCH_AS_QUAKE));
  EXPECT_FALSE(Checked(ID_VIEW_SEARCH_AS_QUAKE2));
  SendCommand(window, ID_VIEW_DETAILS);
  ShowFolderAt(doc, "maps/");
  const int from = ColumnPosition(doc, kFromColumn);
  ASSERT_GE(from, 0);
  ASSERT_EQ(ListNames(doc->itemList), (std::vector<std::string>{"e1m1.bsp"}));
  EXPECT_EQ(ListText(doc->itemList, 0, from), "pak1.pak (shadows 1)");

  SendCommand(window, ID_VIEW_SEARCH_AS_QUAKE2);
  HWND searched = ActiveArchiveWindow();
  ASSERT_NE(searched, nullptr);
  EXPECT_FALSE(IsWindow(window)) << "the new view takes the old one's place";
  EXPECT_EQ(WindowsShowing(folder), 1);
  doc = DocumentOf(searched);
  ASSERT_TRUE(IsGameFolderView(doc));
  EXPECT_EQ(doc->target, EngineTarget::Quake2);
  EXPECT_TRUE(Checked(ID_VIEW_SEARCH_AS_QUAKE2));
  EXPECT_FALSE(Checked(ID_VIEW_SEARCH_AS_QUAKE));
  EXPECT_EQ(TreeText(doc->folderTree, CurrentFolderItem(doc->folderTree)), "maps");
  std::vector<std::string> names = ListNames(doc->itemList);
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names, (std::vector<std::string>{"e1m1.bsp", "e1m2.bsp"}));
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(ListText(doc->itemList, i, ColumnPosition(doc, kFromColumn)),
              ListText(doc->itemList, i, 0) == "e1m1.bsp" ? "pak3.pak (shadows 2)" : "pak3.pak");

  // And back: what Quake does not load is gone again.
  SendCommand(searched, ID_VIEW_SEARCH_AS_QUAKE);
  HWND again = ActiveArchiveWindow();
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(IsWindow(searched));
  doc = DocumentOf(again);
  EXPECT_EQ(doc->target, EngineTarget::Quake);
  EXPECT_EQ(ListNames(doc->itemList), (std::vector<std::string>{"e1m1.bsp"}));
  EXPECT_EQ(WindowsShowing(folder), 1);
}

}  // namespace
