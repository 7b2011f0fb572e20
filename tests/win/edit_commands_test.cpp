// Delete and New Directory in an archive window, driven by WM_COMMAND with the focus in
// one pane or the other, and checked in both panes, the archive tree and the title.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "services/globals.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "window/edit_commands.h"
#include "window/folder_status.h"
#include "panes/views.h"

namespace {

using Names = std::vector<std::string>;

Names Without(Names names, const Names& gone) {
  for (const std::string& name : gone) names.erase(std::remove(names.begin(), names.end(), name), names.end());
  return names;
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The names of the children of an archive tree node, as the document holds them.
Names NodeChildren(const Node* node) {
  Names names;
  for (const Node* child = node->firstChild(); child; child = child->nextSibling()) names.push_back(child->name());
  return names;
}

// Whether this thread is in a menu's loop (the menu bar's or a popup menu's).
bool InMenu() {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  return GetGUIThreadInfo(GetCurrentThreadId(), &gui) && (gui.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE));
}

class EditCommandsTest : public ViewsWindowTest {
 protected:
  void Command(int id) { SendCommand(window_, id); }
  void Focus(HWND pane) {
    SetFocus(pane);
    PumpUntil([pane] { return GetFocus() == pane; });
    ASSERT_EQ(GetFocus(), pane);
  }
  void SelectFolder(HTREEITEM item) {
    TreeView_SelectItem(doc_->folderTree, item);
    PumpPending();
  }
  void SelectListItems(const Names& names) {
    ListView_SetItemState(doc_->itemList, -1, 0, LVIS_SELECTED);
    for (const std::string& name : names) {
      int index = ListIndexOf(name);
      ASSERT_GE(index, 0) << name;
      ListView_SetItemState(doc_->itemList, index, LVIS_SELECTED, LVIS_SELECTED);
    }
    PumpPending();
  }
  HWND ListEdit() { return ListView_GetEditControl(doc_->itemList); }
  std::string EditText(HWND edit) {
    char text[300] = {};
    GetWindowTextA(edit, text, sizeof text);
    return text;
  }
  void CancelListEdit() {
    if (HWND edit = ListEdit()) SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpPending();
  }
  // Opens a pane's context menu as a user does (a right click at a point of the pane, or
  // Shift+F10 when at is null), checks its entries and picks one by its mnemonic.
  using Entries = std::vector<std::pair<std::string, bool>>;
  void ChooseFromContextMenu(HWND pane, const POINT* at, const Entries& expected, WORD key,
                             const std::string& screenshot = "") {
    SetForegroundWindow(frame_);
    SetFocus(pane);
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == pane; }));
    PopupMenuWatcher watcher(key, screenshot);
    if (at) {
      POINT screen = *at;
      ClientToScreen(pane, &screen);
      ClickAt(screen, true);
    } else {
      PressKeys({VK_SHIFT, VK_F10});
    }
    PumpUntil([&] { return watcher.Done(); }, 12000);
    const WatchedMenu seen = watcher.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.entries, expected);
    // The menu has ended and what its entry posted has run.
    EXPECT_TRUE(PumpUntil([] { return !InMenu(); }));
    PumpPending();
  }
  static bool Pasteable() {
    return IsClipboardFormatAvailable(CF_HDROP) || (g_cfVellumixData && IsClipboardFormatAvailable(g_cfVellumixData));
  }
  // The items' menu with every entry that a selection enables.
  static Entries ItemsMenu() {
    return {{"&View", true},         {"&Export...", true},          {"Cu&t\tCtrl+X", true},
            {"&Copy\tCtrl+C", true}, {"&Paste\tCtrl+V", Pasteable()}, {"&Delete\tDel", true},
            {"Re&name\tF2", true},  {"P&roperties\tAlt+Enter", true}};
  }
  // The folder's menu, with the step Undo would take (none: grayed).
  static Entries SpaceMenu(const std::string& step = "") {
    return {{step.empty() ? "&Undo\tCtrl+Z" : "&Undo " + step + "\tCtrl+Z", !step.empty()},
            {"&Redo\tCtrl+Y", false},
            {"&New Directory", true}, {"Import &File...", true}, {"Import &Directory...", true},
            {"Import Directory &Contents...", true}, {"&Paste\tCtrl+V", Pasteable()},
            {"P&roperties\tAlt+Enter", true}};
  }
  POINT ListItemPoint(const std::string& name) {
    RECT rc = {};
    ListView_GetItemRect(doc_->itemList, ListIndexOf(name), &rc, LVIR_LABEL);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }
  POINT TreeItemPoint(HTREEITEM item) {
    RECT rc = {};
    TreeView_GetItemRect(doc_->folderTree, item, &rc, TRUE);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }
  bool Grayed(int id) { return (GetMenuState(g_mainMenu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; }
  bool ButtonEnabled(int id) { return SendMessageA(g_toolbar, TB_ISBUTTONENABLED, id, 0) != 0; }
  bool MarkedModified() {
    std::string title = Title(window_);
    return doc_->modified && title.size() > 2 && title.compare(title.size() - 2, 2, " *") == 0;
  }
};

}  // namespace

TEST_F(EditCommandsTest, NewDirectoryNamesCountUpAndReuseAFreedName) {
  Focus(doc_->folderTree);
  Command(ID_OBJECT_NEW_DIRECTORY);
  // The new item is appended, unsorted, and its name is open for editing in the list. Its
  // name is lower-cased like every name that enters the tree.
  EXPECT_EQ(ListNames(doc_->itemList).back(), "new directory");
  HWND edit = ListEdit();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(EditText(edit), "new directory");
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_TRUE(MarkedModified());
  CancelListEdit();

  Command(ID_OBJECT_NEW_DIRECTORY);
  EXPECT_EQ(ListNames(doc_->itemList).back(), "new directory (2)");
  ASSERT_NE(ListEdit(), nullptr);
  EXPECT_EQ(EditText(ListEdit()), "new directory (2)");
  CancelListEdit();
  EXPECT_EQ(Sorted(TreeChildren(doc_->folderTree, root_)),
            Sorted({"maps", "sound", "new directory", "new directory (2)"}));

  // Renaming the first frees its name for the next one.
  int first = ListIndexOf("new directory");
  ASSERT_GE(first, 0);
  SetFocus(doc_->itemList);
  edit = ListView_EditLabel(doc_->itemList, first);
  ASSERT_NE(edit, nullptr);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("First"));
  SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  PumpPending();
  EXPECT_EQ(ListText(doc_->itemList, first, 0), "first");

  Command(ID_OBJECT_NEW_DIRECTORY);
  EXPECT_EQ(ListNames(doc_->itemList).back(), "new directory");
  CancelListEdit();
  EXPECT_EQ(Sorted(TreeChildren(doc_->folderTree, root_)),
            Sorted({"maps", "sound", "first", "new directory (2)", "new directory"}));
  Names all = kViewsRootListed;
  all.insert(all.end(), {"first", "new directory (2)", "new directory"});
  EXPECT_EQ(Sorted(NodeChildren(doc_->root())), Sorted(all));
}

TEST_F(EditCommandsTest, NewDirectoryGoesIntoTheCurrentFolder) {
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, root_, "maps");
  SelectFolder(maps);
  Command(ID_OBJECT_NEW_DIRECTORY);
  CancelListEdit();
  EXPECT_EQ(ListNames(doc_->itemList), (Names{"dm", "level1.bsp", "level2.bsp", "new directory"}));
  EXPECT_EQ(Sorted(TreeChildren(doc_->folderTree, maps)), Sorted({"dm", "new directory"}));
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"maps", "sound"}));
  // The new folder can be opened and is empty.
  SelectFolder(TreeChildNamed(doc_->folderTree, maps, "new directory"));
  EXPECT_TRUE(ListNames(doc_->itemList).empty());
}

TEST_F(EditCommandsTest, NewDirectoryNameTable) {
  struct Case {
    Names existing;
    const char* expected;
  };
  const Case cases[] = {
      {{}, "New Directory"},
      {{"New Directory"}, "New Directory (2)"},
      {{"New Directory", "New Directory (2)", "New Directory (3)"}, "New Directory (4)"},
      {{"New Directory", "New Directory (3)"}, "New Directory (2)"},
      {{"New Directory (2)"}, "New Directory"},
      {{"new directory"}, "New Directory (2)"},  // names compare without regard to case
      {{"NEW DIRECTORY (2)", "new directory"}, "New Directory (3)"},
  };
  for (const Case& c : cases) {
    ArchiveTree tree;
    for (const std::string& existing : c.existing) ASSERT_NE(tree.AddDirectory(tree.root(), existing), nullptr);
    char name[kNewDirectoryNameSize];
    ChooseNewDirectoryName(tree.root(), name);
    EXPECT_STREQ(name, c.expected);
  }
}

TEST_F(EditCommandsTest, DeleteWithTheRootSelectedEmptiesTheArchiveButKeepsTheRoot) {
  Focus(doc_->folderTree);
  ASSERT_EQ(TreeView_GetSelection(doc_->folderTree), root_);
  EXPECT_FALSE(Grayed(ID_EDIT_DELETE));  // the root counts as a selection
  EXPECT_TRUE(ButtonEnabled(ID_EDIT_DELETE));
  Command(ID_EDIT_DELETE);
  EXPECT_EQ(TreeView_GetRoot(doc_->folderTree), root_);
  EXPECT_EQ(TreeText(doc_->folderTree, root_), "/");
  EXPECT_TRUE(TreeChildren(doc_->folderTree, root_).empty());
  EXPECT_EQ(TreeView_GetCount(doc_->folderTree), 1u);
  EXPECT_TRUE(ListNames(doc_->itemList).empty());
  ASSERT_NE(doc_->root(), nullptr);
  EXPECT_EQ(doc_->root()->firstChild(), nullptr);
  EXPECT_TRUE(MarkedModified());

  // The empty archive takes new folders again.
  Command(ID_OBJECT_NEW_DIRECTORY);
  CancelListEdit();
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"new directory"}));
}

// A path stored twice (the second time in capitals) lists both files, the later one
// marked shadowed and counted on the status bar; deleting the shown one reveals the other.
TEST_F(EditCommandsTest, DeletingTheShownOfTwoDuplicatesRevealsTheOther) {
  HWND window = OpenCopy("twice.zip", TempDir() + "twice.zip");
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  HTREEITEM maps = TreeChildNamed(doc->folderTree, TreeView_GetRoot(doc->folderTree), "maps");
  ASSERT_NE(maps, nullptr);
  TreeView_SelectItem(doc->folderTree, maps);
  ASSERT_EQ(ListNames(doc->itemList), (Names{"same.txt", "same.txt"}));
  int shown = -1, shadowed = -1;
  for (int i = 0; i < 2; ++i) {
    const bool marked = ListText(doc->itemList, i, 2).find(" (shadowed)") != std::string::npos;
    (marked ? shadowed : shown) = i;
  }
  ASSERT_GE(shown, 0);
  ASSERT_GE(shadowed, 0);
  Node* first = ListItemNode(doc->itemList, shown);
  Node* second = ListItemNode(doc->itemList, shadowed);
  EXPECT_EQ(first->source()->index, 0u);
  EXPECT_EQ(FolderStatusText(doc), "2 items (1 shadowed)");

  SetFocus(doc->itemList);
  ListView_SetItemState(doc->itemList, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(doc->itemList, shown, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendCommand(window, ID_EDIT_DELETE);
  ASSERT_EQ(ListNames(doc->itemList), (Names{"same.txt"}));
  EXPECT_EQ(ListItemNode(doc->itemList, 0), second);
  EXPECT_EQ(ListText(doc->itemList, 0, 2).find("shadowed"), std::string::npos);
  EXPECT_EQ(FolderStatusText(doc), "1 item");
}

TEST_F(EditCommandsTest, DeletingFromAnEmptyArchiveChangesNothing) {
  HWND fresh = OpenNew();
  ASSERT_NE(fresh, nullptr);
  WindowDocument* doc = DocumentOf(fresh);
  ASSERT_NE(doc, nullptr);
  std::string title = Title(fresh);
  SetFocus(doc->folderTree);
  PumpUntil([&] { return GetFocus() == doc->folderTree; });
  SendMessageA(fresh, WM_COMMAND, ID_EDIT_DELETE, 0);
  PumpPending();
  EXPECT_EQ(Title(fresh), title);
  EXPECT_EQ(doc->modified, 0);
}

TEST_F(EditCommandsTest, DeletingSelectedListItemsRemovesFilesAndFolders) {
  Focus(doc_->itemList);
  SelectListItems({"maps", "a.bsp", "readme"});
  EXPECT_FALSE(Grayed(ID_EDIT_DELETE));
  Command(ID_EDIT_DELETE);
  EXPECT_EQ(ListNames(doc_->itemList), Without(kViewsRootListed, {"maps", "a.bsp", "readme"}));
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"sound"}));
  EXPECT_EQ(Sorted(NodeChildren(doc_->root())), Sorted(Without(kViewsRootListed, {"maps", "a.bsp", "readme"})));
  EXPECT_TRUE(MarkedModified());
  // Nothing is selected any more: Delete, Cut and Copy follow.
  EXPECT_EQ(ListView_GetSelectedCount(doc_->itemList), 0u);
  EXPECT_TRUE(Grayed(ID_EDIT_DELETE));
  EXPECT_TRUE(Grayed(ID_EDIT_CUT));
  EXPECT_TRUE(Grayed(ID_EDIT_COPY));
  EXPECT_FALSE(ButtonEnabled(ID_EDIT_DELETE));
  EXPECT_FALSE(Grayed(ID_OBJECT_NEW_DIRECTORY));

  // With nothing selected, Delete does nothing.
  Command(ID_EDIT_DELETE);
  EXPECT_EQ(ListNames(doc_->itemList).size(), kViewsRootListed.size() - 3);
}

TEST_F(EditCommandsTest, DeletingAFolderInTheTreeShowsAnotherFolder) {
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, root_, "maps");
  HTREEITEM dm = TreeChildNamed(doc_->folderTree, maps, "dm");
  ASSERT_NE(dm, nullptr);
  SelectFolder(dm);
  Focus(doc_->folderTree);
  EXPECT_EQ(ListNames(doc_->itemList), (Names{"arena.bsp"}));
  Command(ID_EDIT_DELETE);
  EXPECT_TRUE(TreeChildren(doc_->folderTree, maps).empty());
  EXPECT_TRUE(MarkedModified());
  // The tree selects a folder that is still there and the list shows it.
  HTREEITEM now = TreeView_GetSelection(doc_->folderTree);
  ASSERT_EQ(now, maps);
  EXPECT_EQ(ListNames(doc_->itemList), (Names{"level1.bsp", "level2.bsp"}));

  // A folder with files and subfolders goes with everything in it.
  SelectFolder(maps);
  Command(ID_OBJECT_NEW_DIRECTORY);
  CancelListEdit();
  Focus(doc_->folderTree);
  Command(ID_EDIT_DELETE);
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"sound"}));
  EXPECT_EQ(Sorted(NodeChildren(doc_->root())), Sorted(Without(kViewsRootListed, {"maps"})));
  // The tree moves to a neighbouring folder (the next sibling, here the empty "sound").
  now = TreeView_GetSelection(doc_->folderTree);
  Node* shown = TreeItemNode(doc_->folderTree, now);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(Sorted(ListNames(doc_->itemList)), Sorted(NodeChildren(shown)));
  SelectFolder(root_);
  EXPECT_EQ(ListNames(doc_->itemList), Without(kViewsRootListed, {"maps"}));
}

TEST_F(EditCommandsTest, DeleteWithTheFocusOutsideBothPanesDoesNothing) {
  // The archive window hands the focus on to a pane; the splitter keeps it.
  SetFocus(doc_->splitter);
  PumpUntil([&] { return GetFocus() == doc_->splitter; });
  ASSERT_EQ(GetFocus(), doc_->splitter);
  SelectListItems({"a.bsp"});
  Command(ID_EDIT_DELETE);
  EXPECT_EQ(ListNames(doc_->itemList), kViewsRootListed);
  EXPECT_EQ(doc_->modified, 0);
  EXPECT_TRUE(Grayed(ID_EDIT_DELETE));
}

TEST_F(EditCommandsTest, TheObjectMenuAndToolbarAreRightAsSoonAsAWindowOpensOrIsActivated) {
  // No click: the window opened in SetUp passes the focus to its list.
  const int objectCommands[] = {ID_OBJECT_NEW_DIRECTORY, ID_OBJECT_IMPORT_FILE, ID_OBJECT_IMPORT_DIRECTORY};
  auto expectReady = [&](WindowDocument* doc) {
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc->itemList; }));
    for (int id : objectCommands) EXPECT_FALSE(Grayed(id)) << id;
    EXPECT_TRUE(ButtonEnabled(ID_OBJECT_NEW_DIRECTORY));
    EXPECT_TRUE(Grayed(ID_OBJECT_EXPORT)) << "nothing is selected";
    EXPECT_FALSE(ButtonEnabled(ID_OBJECT_UP)) << "the root is shown";
  };
  expectReady(doc_);
  Focus(doc_->folderTree);
  HWND second = Open(WinFixture("views.pak"));
  ASSERT_NE(second, nullptr);
  expectReady(DocumentOf(second));
  // Back to the first window, whose tree had the focus last: the tree takes it again.
  SendMessageA(GetParent(window_), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->folderTree; }));
  for (int id : objectCommands) EXPECT_FALSE(Grayed(id)) << id;
  EXPECT_FALSE(Grayed(ID_EDIT_DELETE)) << "the tree's root counts as a selection";
}

TEST_F(EditCommandsTest, ContextMenusOfTheListCarryOutTheirCommands) {
  Command(ID_VIEW_DETAILS);
  // A right click on an item that is not selected selects it alone; Rename edits its name.
  SelectListItems({"a.bsp"});
  POINT notes = ListItemPoint("notes.txt");
  ChooseFromContextMenu(doc_->itemList, &notes, ItemsMenu(), 'N', "context-menu");
  ASSERT_TRUE(PumpUntil([&] { return ListEdit() != nullptr; }));
  EXPECT_EQ(EditText(ListEdit()), "notes.txt");
  EXPECT_EQ(ListView_GetSelectedCount(doc_->itemList), 1u);
  CancelListEdit();

  // A right click beside the items speaks of the folder: New Directory goes into it.
  RECT client;
  GetClientRect(doc_->itemList, &client);
  POINT space = {client.right - 5, client.bottom - 5};
  ChooseFromContextMenu(doc_->itemList, &space, SpaceMenu(), 'N');
  ASSERT_TRUE(PumpUntil([&] { return ListIndexOf("new directory") >= 0; }));
  CancelListEdit();
  EXPECT_EQ(Sorted(TreeChildren(doc_->folderTree, root_)), Sorted({"maps", "sound", "new directory"}));

  // From the keyboard the menu is about the selected items; View opens a folder.
  SelectListItems({"maps"});
  ChooseFromContextMenu(doc_->itemList, nullptr, ItemsMenu(), 'V');
  ASSERT_TRUE(PumpUntil([&] { return ListIndexOf("dm") >= 0; }));
  EXPECT_EQ(TreeText(doc_->folderTree, TreeView_GetSelection(doc_->folderTree)), "maps");

  // With nothing selected Shift+F10 opens the folder's menu; Escape chooses nothing.
  SelectListItems({});
  ChooseFromContextMenu(doc_->itemList, nullptr, SpaceMenu("New Directory"), VK_ESCAPE);
  EXPECT_EQ(ListNames(doc_->itemList), (Names{"dm", "level1.bsp", "level2.bsp"}));
}

TEST_F(EditCommandsTest, ContextMenusOfTheTreeActOnTheFolderClicked) {
  HTREEITEM sound = TreeChildNamed(doc_->folderTree, root_, "sound");
  ASSERT_NE(sound, nullptr);
  // The root cannot be renamed, so its menu grays Rename.
  Entries atRoot = ItemsMenu();
  atRoot[atRoot.size() - 2].second = false;
  ChooseFromContextMenu(doc_->folderTree, nullptr, atRoot, VK_ESCAPE);
  EXPECT_EQ(TreeView_GetSelection(doc_->folderTree), root_);

  // A right click on a folder makes it the current folder; Delete removes it.
  POINT at = TreeItemPoint(sound);
  ChooseFromContextMenu(doc_->folderTree, &at, ItemsMenu(), 'D');
  ASSERT_TRUE(PumpUntil([&] { return TreeChildNamed(doc_->folderTree, root_, "sound") == nullptr; }));
  EXPECT_TRUE(MarkedModified());

  // View on a folder passes the focus to the list that shows it.
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, root_, "maps");
  at = TreeItemPoint(maps);
  ChooseFromContextMenu(doc_->folderTree, &at, ItemsMenu(), 'V');
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == doc_->itemList; }));
  EXPECT_EQ(TreeView_GetSelection(doc_->folderTree), maps);
  EXPECT_EQ(ListNames(doc_->itemList), (Names{"dm", "level1.bsp", "level2.bsp"}));
}

TEST_F(EditCommandsTest, TheDeleteKeyDeletesTheSelectedItems) {
  SetForegroundWindow(frame_);
  Focus(doc_->itemList);
  SelectListItems({"b", "sound"});
  PressKeys({VK_DELETE});
  ASSERT_TRUE(PumpUntil([&] { return ListIndexOf("b") < 0; }, 3000));
  EXPECT_EQ(ListNames(doc_->itemList), Without(kViewsRootListed, {"b", "sound"}));
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"maps"}));
  EXPECT_TRUE(MarkedModified());
}
