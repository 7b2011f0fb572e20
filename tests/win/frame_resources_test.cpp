// The frame's menu, accelerators, strings and toolbar as the resources and start-up make them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/file_dialogs.h"
#include "services/globals.h"
#include "tests/win/support/frame_test_support.h"
#include "tests/win/support/toolbar_buttons.h"

namespace {

using FrameResourcesTest = FrameTest;

std::string MenuText(HMENU menu, UINT item, UINT by) {
  char text[256] = {};
  GetMenuStringA(menu, item, text, sizeof text, by);
  return text;
}

// What a user meets for one id: its menu item, its key, its string (the status-bar help of a
// command, or a text of its own) and its tooltip. Null: the id has no such thing to check.
struct Shown {
  UINT id;
  const char* menu;
  bool grayed;
  bool checked;
  WORD key;  // 0: no accelerator
  BYTE modifiers;
  const char* text;
  const char* tooltip;  // "": none
};

constexpr WORD kNoKey = 0;

const Shown kShown[] = {
    {57600, "&New\tCtrl+N", false, false, 'N', FCONTROL, "Creates a new document", "New (Ctrl+N)"},
    {57601, "&Open...\tCtrl+O", false, false, 'O', FCONTROL, nullptr, nullptr},
    {40110, "Open &Game Folder...", false, false, kNoKey, 0,
     "Opens a game folder as the game reads it: every archive it loads, in its search order, and its loose files", ""},
    {40111, "Show in &Archive", true, false, kNoKey, 0, "Opens the archive the selected file is read from, at the file", ""},
    {57602, "&Close", true, false, kNoKey, 0, nullptr, ""},
    {57603, "&Save\tCtrl+S", true, false, 'S', FCONTROL, nullptr, nullptr},
    {40004, "Save &As...", true, false, kNoKey, 0, nullptr, nullptr},
    {40012, "Save A&ll", true, false, kNoKey, 0, nullptr, nullptr},
    {40040, "&Test Archive", true, false, kNoKey, 0, "Reads every file of the archive and reports the damaged ones",
     ""},
    {40090, "Compare &With...", true, false, kNoKey, 0,
     "Compares the archive with another archive and lists the files added, removed and changed", ""},
    {40091, "Compare With Fol&der...", true, false, kNoKey, 0,
     "Compares the archive with a folder on disk and lists the files added, removed and changed", ""},
    {40011, "E&xit", false, false, kNoKey, 0, nullptr, nullptr},
    {57643, "&Undo\tCtrl+Z", true, false, 'Z', FCONTROL, "Undoes the last change to the archive", ""},
    {57643, nullptr, false, false, VK_BACK, FALT, nullptr, nullptr},
    {57644, "&Redo\tCtrl+Y", true, false, 'Y', FCONTROL, "Makes again the change last undone", ""},
    {57644, nullptr, false, false, 'Z', FCONTROL | FSHIFT, nullptr, nullptr},
    {57635, "Cu&t\tCtrl+X", false, false, 'X', FCONTROL,
     "Removes the selected items and move them onto the Clipboard", "Cut (Ctrl+X)"},
    {57634, "&Copy\tCtrl+C", false, false, 'C', FCONTROL, nullptr, nullptr},
    {57637, "&Paste\tCtrl+V", false, false, 'V', FCONTROL, nullptr, nullptr},
    {40008, "&Delete\tDel", false, false, VK_DELETE, 0, nullptr, "Delete (Del)"},
    {40038, "Re&name\tF2", false, false, VK_F2, 0, "Renames the selected item", nullptr},
    {57642, "Select &All\tCtrl+A", false, false, 'A', FCONTROL, nullptr, nullptr},
    {40010, "&Invert Selection", false, false, kNoKey, 0, nullptr, nullptr},
    {40041, "&Find...\tCtrl+F", false, false, 'F', FCONTROL, "Finds files and directories of the archive by name", ""},
    {40031, nullptr, false, false, kNoKey, 0, nullptr, "Up"},
    {40032, "&New Directory", false, false, kNoKey, 0, nullptr, nullptr},
    {40033, "Import &File...", false, false, kNoKey, 0, nullptr, nullptr},
    {40036, "Import &Directory...", false, false, kNoKey, 0, nullptr, nullptr},
    {40093, "Import Directory &Contents...", false, false, kNoKey, 0,
     "Imports the files and folders a directory holds, not the directory itself", ""},
    {40034, "&Export...", false, false, kNoKey, 0, nullptr, nullptr},
    {40046, "P&roperties\tAlt+Enter", false, false, VK_RETURN, FALT,
     "Shows the properties of the selected items, or of the archive", nullptr},
    {59392, "&Toolbar", false, true, kNoKey, 0, nullptr, nullptr},
    {59393, "Status &Bar", false, true, kNoKey, 0, nullptr, nullptr},
    {40020, "Lar&ge Icons", true, false, kNoKey, 0, nullptr, nullptr},
    {40021, "S&mall Icons", true, false, kNoKey, 0, nullptr, nullptr},
    {40022, "&List", true, false, kNoKey, 0, nullptr, nullptr},
    {40023, "&Details", true, false, kNoKey, 0, nullptr, "Details"},
    {40045, "T&humbnails", true, false, kNoKey, 0,
     "Displays pictures as thumbnails and other items by using large icons", "Thumbnails"},
    {40024, "by &Name", false, false, kNoKey, 0, nullptr, nullptr},
    {40026, "by Si&ze", false, false, kNoKey, 0, nullptr, nullptr},
    {40025, "by &Type", false, false, kNoKey, 0, nullptr, nullptr},
    {40035, "Refresh\tF5", true, false, VK_F5, 0, nullptr, nullptr},
    {40044, "Preview &Pane\tF3", true, false, VK_F3, 0, "Shows or hides the preview of the focused item under the list",
     nullptr},
    {40092, "&Filter\tCtrl+E", true, false, 'E', FCONTROL,
     "Shows only the items of the folder whose names match the text typed", ""},
    {40112, "Only Files That &Shadow Another", true, false, kNoKey, 0,
     "Shows only the files of a game folder that shadow a file of the same path searched later, as a mod overrides them",
     ""},
    {40113, "&Any", false, false, kNoKey, 0,
     "Searches the game folder's .pak, .pk3 and .pk4 files, a later name first, then its loose files", ""},
    {40114, "&Quake", false, false, kNoKey, 0,
     "Searches the game folder as Quake does: pak0.pak up to the first number missing, a higher number first", ""},
    {40115, "Quake &II", false, false, kNoKey, 0,
     "Searches the game folder as Quake II does: pak0.pak to pak9.pak, a higher number first", ""},
    {40116, "Quake III Arena &family", false, false, kNoKey, 0,
     "Searches the game folder as the Quake III Arena family does: every .pk3 and .pk4 file, a later name first", ""},
    {40043, "&Options...", false, false, kNoKey, 0, "Changes the settings of the program", nullptr},
    {40013, "Cl&ose", false, false, kNoKey, 0, nullptr, nullptr},
    {40014, "Close &All", false, false, kNoKey, 0, nullptr, nullptr},
    {40028, "Ne&xt", false, false, kNoKey, 0, nullptr, nullptr},
    {40029, "Pre&vious", false, false, kNoKey, 0, nullptr, nullptr},
    {57650, "&Cascade\tShift+F5", false, false, VK_F5, FSHIFT, nullptr, nullptr},
    {57651, "Tile &Horizontally\tShift+F4", false, false, VK_F4, FSHIFT, nullptr, nullptr},
    {57652, "Tile V&ertically", false, false, kNoKey, 0, nullptr, nullptr},
    {40030, "Arrange &Icons", false, false, kNoKey, 0, nullptr, nullptr},
    {40037, "Send To &Back", false, false, kNoKey, 0, "Sends the active window to the back of all displayed windows",
     nullptr},
    {40027, "&About Vellumix...", false, false, kNoKey, 0, "Displays program information, version number and copyright",
     nullptr},
    {59395, nullptr, false, false, kNoKey, 0, "Opens this document", nullptr},
    {59396, nullptr, false, false, kNoKey, 0, "\\/:*?\"<>|", nullptr},
    {59398, nullptr, false, false, kNoKey, 0, "A filename cannot contain any of the following characters:\n\t",
     nullptr},
    {59399, nullptr, false, false, kNoKey, 0, "All Files (*.*)|*.*|", nullptr},
};

// The menu bar's popups by position, and the submenus a user opens below them.
struct Popup {
  const char* text;
  bool grayed;
  int items;
};
const Popup kPopups[] = {{"&File", false, 16}, {"&Edit", true, 13},   {"&Object", true, 9},
                         {"&View", false, 19}, {"&Window", true, 11}, {"&Help", false, 1}};

std::string LoadedString(UINT id) {
  char buffer[512] = {};
  LoadStringA(g_instance, id, buffer, sizeof buffer);
  return buffer;
}

// The first start's menus, keys, strings and toolbar, as a user meets them.
TEST_F(FrameResourcesTest, MenusKeysStringsAndToolbarAsFirstShown) {
  HMENU menu = GetMenu(frame_);
  ASSERT_EQ(menu, g_mainMenu);
  ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(std::size(kPopups)));
  for (int i = 0; i < static_cast<int>(std::size(kPopups)); ++i) {
    SCOPED_TRACE(kPopups[i].text);
    EXPECT_EQ(MenuText(menu, i, MF_BYPOSITION), kPopups[i].text);
    EXPECT_EQ((GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) != 0, kPopups[i].grayed);
    HMENU popup = GetSubMenu(menu, i);
    EXPECT_EQ(GetMenuItemCount(popup), kPopups[i].items);
    // Each item's mnemonic picks it alone.
    std::string mnemonics;
    for (int item = 0; item < GetMenuItemCount(popup); ++item) {
      const std::string text = MenuText(popup, item, MF_BYPOSITION);
      const size_t amp = text.find('&');
      if (amp == std::string::npos || amp + 1 >= text.size()) continue;
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(text[amp + 1])));
      EXPECT_EQ(mnemonics.find(key), std::string::npos) << text;
      mnemonics += key;
    }
  }
  HMENU view = GetSubMenu(menu, MENU_POS_VIEW);
  EXPECT_EQ(MenuText(view, 9, MF_BYPOSITION), "Arrange &Icons");
  EXPECT_TRUE(GetMenuState(view, 9, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_EQ(MenuText(view, 16, MF_BYPOSITION), "Search &As");
  EXPECT_TRUE(GetMenuState(view, 16, MF_BYPOSITION) & MF_GRAYED);
  HMENU file = GetSubMenu(menu, MENU_POS_FILE);
  EXPECT_EQ(MenuText(file, FILE_MENU_POS_RECENT, MF_BYPOSITION), "Recent &Files");
  HMENU recent = GetSubMenu(file, FILE_MENU_POS_RECENT);
  ASSERT_NE(recent, nullptr);
  EXPECT_EQ(GetMenuItemCount(recent), 1);

  // Each key combination runs one command, so the table's order is of no consequence.
  const int keys = CopyAcceleratorTableA(g_accelerators, nullptr, 0);
  std::vector<ACCEL> accelerators(keys);
  CopyAcceleratorTableA(g_accelerators, accelerators.data(), keys);
  int keyed = 0;
  for (const Shown& shown : kShown) {
    SCOPED_TRACE(shown.id);
    if (shown.menu) {
      const UINT state = GetMenuState(menu, shown.id, MF_BYCOMMAND);
      ASSERT_NE(state, static_cast<UINT>(-1));
      EXPECT_EQ(MenuText(menu, shown.id, MF_BYCOMMAND), shown.menu);
      EXPECT_EQ((state & MF_GRAYED) != 0, shown.grayed);
      EXPECT_EQ((state & MF_CHECKED) != 0, shown.checked);
    }
    if (shown.key != kNoKey) {
      ++keyed;
      int found = 0;
      for (const ACCEL& a : accelerators) {
        if (a.key != shown.key || (a.fVirt & (FSHIFT | FCONTROL | FALT)) != shown.modifiers) continue;
        ++found;
        EXPECT_EQ(a.cmd, shown.id);
        EXPECT_EQ(a.fVirt & ~0x80, FVIRTKEY | FNOINVERT | shown.modifiers);
      }
      EXPECT_EQ(found, 1);
    }
    if (shown.text) {
      EXPECT_EQ(LoadedString(shown.id), shown.text);
    }
    if (shown.tooltip) {
      // An empty tooltip: the command has no toolbar button, so no tooltip string at all.
      char buffer[512] = {};
      const int length = LoadStringA(g_instance, shown.id + TOOLTIP_OFFSET, buffer, sizeof buffer);
      EXPECT_EQ(length, static_cast<int>(std::strlen(shown.tooltip)));
      EXPECT_STREQ(buffer, shown.tooltip);
    }
  }
  EXPECT_EQ(keys, keyed) << "a key that runs no command of the table";
  // The file dialogs' archive filter: each format's line from the string table after the
  // line of them all, PK4 and WAD2 after the formats of old.
  EXPECT_EQ(ArchiveFilterText(),
            "All PAK Files (*.PAK;*.PK3;*.ZIP;*.PK4;*.WAD)|*.PAK;*.PK3;*.ZIP;*.PK4;*.WAD|PAK Files (*.PAK)|*.PAK|"
            "PK3 Files (*.PK3)|*.PK3|Zip Files (*.ZIP)|*.ZIP|PK4 Files (*.PK4)|*.PK4|WAD2 Files (*.WAD)|*.WAD|"
            "All Files (*.*)|*.*|");

  ASSERT_EQ(SendMessageA(g_toolbar, TB_BUTTONCOUNT, 0, 0), static_cast<LRESULT>(std::size(kToolbarButtons)));
  for (int i = 0; i < static_cast<int>(std::size(kToolbarButtons)); ++i) {
    SCOPED_TRACE(i);
    TBBUTTON button = {};
    ASSERT_TRUE(SendMessageA(g_toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button)));
    EXPECT_EQ(button.idCommand, kToolbarButtons[i].command);
    EXPECT_EQ(button.fsStyle, kToolbarButtons[i].style);
    EXPECT_EQ(button.dwData, 0u);
    if (kToolbarButtons[i].style == TBSTYLE_SEP) continue;
    EXPECT_EQ(button.iBitmap, kToolbarButtons[i].image);
    EXPECT_EQ((button.fsState & TBSTATE_ENABLED) != 0, kToolbarButtons[i].enabled);
    EXPECT_FALSE(button.fsState & TBSTATE_CHECKED);
  }
  EXPECT_TRUE(GetWindowLongA(g_toolbar, GWL_STYLE) & TBSTYLE_TOOLTIPS);
  EXPECT_NE(SendMessageA(g_toolbar, TB_GETTOOLTIPS, 0, 0), 0);
}

TEST_F(FrameResourcesTest, ChildWindowsOfTheFrame) {
  EXPECT_EQ(GetDlgItem(frame_, 1), g_mdiClient);
  EXPECT_EQ(GetDlgItem(frame_, 2), g_statusBar);
  EXPECT_EQ(GetDlgItem(frame_, 3), g_toolbar);
  EXPECT_EQ(Title(frame_), "Vellumix");
  EXPECT_EQ(StatusText(), "Ready");
  char name[64] = {};
  GetClassNameA(g_mdiClient, name, sizeof name);
  EXPECT_STREQ(name, "MDIClient");
}

}  // namespace
