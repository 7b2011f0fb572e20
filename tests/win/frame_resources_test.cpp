// The frame's menu, accelerators, strings and toolbar as the resources and start-up make them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
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

TEST_F(FrameResourcesTest, MenuBarPopupsAndTheirStates) {
  struct Popup {
    const char* text;
    bool grayed;
    int items;
  };
  const Popup popups[] = {{"&File", false, 11}, {"&Edit", true, 8},   {"&Object", true, 5},
                          {"&View", false, 11}, {"&Window", true, 11}, {"&Help", false, 1}};
  HMENU menu = GetMenu(frame_);
  ASSERT_EQ(menu, g_mainMenu);
  ASSERT_EQ(GetMenuItemCount(menu), 6);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(popups[i].text);
    EXPECT_EQ(MenuText(menu, i, MF_BYPOSITION), popups[i].text);
    EXPECT_EQ((GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) != 0, popups[i].grayed);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, i)), popups[i].items);
  }
  HMENU view = GetSubMenu(menu, MENU_POS_VIEW);
  EXPECT_EQ(MenuText(view, 8, MF_BYPOSITION), "Arrange &Icons");
  EXPECT_TRUE(GetMenuState(view, 8, MF_BYPOSITION) & MF_GRAYED);
  HMENU recent = GetSubMenu(GetSubMenu(menu, MENU_POS_FILE), FILE_MENU_POS_RECENT);
  ASSERT_NE(recent, nullptr);
  EXPECT_EQ(MenuText(GetSubMenu(menu, MENU_POS_FILE), FILE_MENU_POS_RECENT, MF_BYPOSITION),
            "Recent &Files");
  EXPECT_EQ(GetMenuItemCount(recent), 1);
}

TEST_F(FrameResourcesTest, MenuItemsTextsAndStates) {
  struct Item {
    int id;
    const char* text;
    bool grayed;
    bool checked;
  };
  const Item items[] = {
      {57600, "&New\tCtrl+N", false, false},
      {57601, "&Open...\tCtrl+O", false, false},
      {57602, "&Close", true, false},
      {57603, "&Save\tCtrl+S", true, false},
      {40004, "Save &As...", true, false},
      {40012, "Save A&ll", true, false},
      {40011, "E&xit", false, false},
      {57635, "Cu&t\tCtrl+X", false, false},
      {57634, "&Copy\tCtrl+C", false, false},
      {57637, "&Paste\tCtrl+V", false, false},
      {40008, "&Delete\tDel", false, false},
      {40038, "Re&name\tF2", false, false},
      {57642, "Select &All\tCtrl+A", false, false},
      {40010, "&Invert Selection", false, false},
      {40032, "&New Directory", false, false},
      {40033, "Import &File...", false, false},
      {40036, "Import &Directory...", false, false},
      {40034, "&Export...", false, false},
      {59392, "&Toolbar", false, true},
      {59393, "Status &Bar", false, true},
      {40020, "Lar&ge Icons", true, false},
      {40021, "S&mall Icons", true, false},
      {40022, "&List", true, false},
      {40023, "&Details", true, false},
      {40024, "by &Name", false, false},
      {40026, "by Si&ze", false, false},
      {40025, "by &Type", false, false},
      {40035, "Refresh\tF5", true, false},
      {40013, "Cl&ose", false, false},
      {40014, "Close &All", false, false},
      {40028, "Ne&xt", false, false},
      {40029, "Pre&vious", false, false},
      {57650, "&Cascade\tShift+F5", false, false},
      {57651, "Tile &Horizontally\tShift+F4", false, false},
      {57652, "Tile &Vertically", false, false},
      {40030, "Arrange &Icons", false, false},
      {40037, "Send To &Back", false, false},
      {40027, "&About Vellumix...", false, false},
  };
  HMENU menu = GetMenu(frame_);
  for (const Item& item : items) {
    SCOPED_TRACE(item.id);
    UINT state = GetMenuState(menu, item.id, MF_BYCOMMAND);
    ASSERT_NE(state, static_cast<UINT>(-1));
    EXPECT_EQ(MenuText(menu, item.id, MF_BYCOMMAND), item.text);
    EXPECT_EQ((state & MF_GRAYED) != 0, item.grayed);
    EXPECT_EQ((state & MF_CHECKED) != 0, item.checked);
  }
}

TEST_F(FrameResourcesTest, AcceleratorTable) {
  struct Key {
    WORD key;
    BYTE modifiers;
    WORD command;
  };
  const Key expected[] = {
      {'A', FCONTROL, 57642},  {'C', FCONTROL, 57634},  {'N', FCONTROL, 57600},
      {'O', FCONTROL, 57601},  {'S', FCONTROL, 57603},  {'V', FCONTROL, 57637},
      {'X', FCONTROL, 57635},  {VK_DELETE, 0, 40008},   {VK_F2, 0, 40038},
      {VK_F5, 0, 40035},
      {VK_F5, FSHIFT, 57650},  {VK_F4, FSHIFT, 57651},
  };
  int count = CopyAcceleratorTableA(g_accelerators, nullptr, 0);
  ASSERT_EQ(count, 12);
  std::vector<ACCEL> table(count);
  CopyAcceleratorTableA(g_accelerators, table.data(), count);
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(table[i].key, expected[i].key);
    EXPECT_EQ(table[i].cmd, expected[i].command);
    EXPECT_EQ(table[i].fVirt & ~0x80, FVIRTKEY | FNOINVERT | expected[i].modifiers);
  }
}

TEST_F(FrameResourcesTest, StringTable) {
  struct Text {
    UINT id;
    const char* text;
  };
  const Text texts[] = {
      {57600, "Creates a new document"},
      {57635, "Removes the selected items and move them onto the Clipboard"},
      {40037, "Sends the active window to the back of all displayed windows"},
      {40027, "Displays program information, version number and copyright"},
      {57700, "New (Ctrl+N)"},
      {57735, "Cut (Ctrl+X)"},
      {40108, "Delete (Del)"},
      {40131, "Up"},
      {40123, "Details"},
      {59394,
       "All PAK Files (*.PAK;*.PK3)|*.PAK;*PK3|PAK Files (*.PAK)|*.PAK|PK3 Files "
       "(*.PK3)|*.PK3|Zip Files (*.ZIP)|*.ZIP|All Files (*.*)|*.*|"},
      {59395, "Opens this document"},
      {59396, "\\/:*?\"<>|"},
      {59398, "A filename cannot contain any of the following characters:\n\t"},
      {59399, "All Files (*.*)|*.*|"},
  };
  for (const Text& text : texts) {
    SCOPED_TRACE(text.id);
    char buffer[512] = {};
    LoadStringA(g_instance, text.id, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, text.text);
  }
  // Commands without a toolbar button have no tooltip.
  char buffer[64];
  EXPECT_EQ(LoadStringA(g_instance, 57602 + TOOLTIP_OFFSET, buffer, sizeof buffer), 0);
}

TEST_F(FrameResourcesTest, ToolbarButtonsAndInitialStates) {
  ASSERT_EQ(SendMessageA(g_toolbar, TB_BUTTONCOUNT, 0, 0), 16);
  for (int i = 0; i < 16; ++i) {
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
