// Undo and Redo driven by real keys and menus: each kind of edit taken back and made again
// leaves the archive exactly as it was (paths, order, sizes, CRC-32s), the title's mark
// follows the history, and a move between two windows is undone on either side.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/edit_history.h"
#include "archive/entry_data.h"
#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "services/globals.h"
#include "services/messages.h"
#include "transfer/drop_target.h"
#include "tests/core/test_support.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/drop_files_block.h"
#include "tests/win/support/transfer_test_support.h"
#include "window/transfer_commands.h"
#include "panes/views.h"

namespace {

using Dump = std::vector<std::string>;

// Every node in the tree's own order: "path size crc" for files, "path/" for folders.
Dump DumpOf(const WindowDocument* doc) {
  Dump lines;
  for (const Node* n = doc->root()->firstChild(); n; n = NextInSubtree(n, doc->root())) {
    std::string line = StoredPath(n);
    if (n->IsFile()) {
      SharedBytes bytes;
      EXPECT_EQ(LoadEntryBytes(doc, n, &bytes), EntryLoad::Ok) << line;
      const uint32_t crc = bytes ? Crc32(bytes->data(), bytes->size()) : 0;
      line += " " + std::to_string(n->size()) + " " + std::to_string(crc);
    }
    lines.push_back(line);
  }
  return lines;
}

std::string MenuText(int command) {
  char text[256] = {};
  GetMenuStringA(g_mainMenu, command, text, sizeof text, MF_BYCOMMAND);
  return text;
}

bool MenuEnabled(int command) { return !(GetMenuState(g_mainMenu, command, MF_BYCOMMAND) & MF_GRAYED); }

bool Marked(HWND window, const WindowDocument* doc) {
  const std::string title = Title(window);
  const bool mark = title.size() > 2 && title.compare(title.size() - 2, 2, " *") == 0;
  EXPECT_EQ(mark, doc->modified != 0) << title;
  return mark;
}

class UndoTest : public DataExchangeTest {
 public:
  void SetUp() override {
    DataExchangeTest::SetUp();
    OpenViews();
  }
  void OpenViews() {
    if (window_) {
      SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window_), 0);
      ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window_); }));
    }
    doc_ = OpenDoc(WinFixture("views.zip"), &window_);
    ASSERT_NE(doc_, nullptr);
    ShowFolderAt(doc_, "");
  }
  // Real keys into a pane of the window, as the user presses them.
  void Keys(HWND pane, std::initializer_list<WORD> keys) {
    SetForegroundWindow(frame_);
    SetFocus(pane);
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == pane; }));
    PressKeys(keys);
  }
  // Presses keys and waits until the document holds want.
  void KeysUntil(std::initializer_list<WORD> keys, const Dump& want) {
    Keys(doc_->itemList, keys);
    EXPECT_TRUE(PumpUntil([&] { return DumpOf(doc_) == want; })) << MenuText(ID_EDIT_UNDO);
  }
  // Edit > Undo or Redo picked from the menu bar with the keyboard; the entry's text as
  // the menu showed it.
  std::string FromEditMenu(WORD mnemonic, const Dump& want) {
    PopupMenuWatcher watcher(mnemonic);
    Keys(doc_->itemList, {VK_MENU, 'E'});
    EXPECT_TRUE(PumpUntil([&] { return watcher.Done(); }, 12000));
    const WatchedMenu seen = watcher.Wait();
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(PumpUntil([&] { return DumpOf(doc_) == want; }));
    return seen.entries.empty() ? std::string() : seen.entries[0].first;
  }
  int ListIndex(const std::string& name) {
    const std::vector<std::string> names = ListNames(doc_->itemList);
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return static_cast<int>(i);
    return -1;
  }
  // Waits until the status bar's text begins with start.
  bool StatusSays(const std::string& start) {
    return PumpUntil([&] { return StatusText().rfind(start, 0) == 0; });
  }
  void SelectInList(const std::vector<std::string>& names) {
    SelectListItems(doc_, names);
    PumpPending();
  }
  std::string ImportFolder() {
    const std::string dir = TempDir();
    EXPECT_TRUE(WriteDiskFile(dir + "one.txt", "the first imported file"));
    EXPECT_TRUE(WriteDiskFile(dir + "two.txt", "the second"));
    EXPECT_TRUE(WriteDiskFile(dir + "notes.txt", "notes that replace the archive's"));
    return dir;
  }
  // An Open dialog's answer: the folder, then each name, NUL after each, then one more.
  static std::string Chosen(const std::string& dir, const std::vector<std::string>& names) {
    std::string chosen = dir.substr(0, dir.size() - 1) + '\0';
    for (const std::string& name : names) chosen += name + '\0';
    return chosen + '\0';
  }

  HWND window_ = nullptr;
  WindowDocument* doc_ = nullptr;
};

struct UndoCase {
  const char* name;
  const char* undo;  // the Undo entry's text
  std::function<void(UndoTest*)> edit;
};

}  // namespace

TEST_F(UndoTest, EachKindOfEditIsUndoneAndRedoneByItsKeys) {
  const UndoCase cases[] = {
      {"delete in the list", "&Undo Delete (3 items)\tCtrl+Z",
       [](UndoTest* t) {
         t->SelectInList({"b", "a.bsp", "sound"});
         t->Keys(t->doc_->itemList, {VK_DELETE});
       }},
      {"delete of a folder in the tree", "&Undo Delete\tCtrl+Z",
       [](UndoTest* t) {
         ShowFolderAt(t->doc_, "maps/dm");
         t->Keys(t->doc_->folderTree, {VK_DELETE});
       }},
      {"rename in the list", "&Undo Rename\tCtrl+Z",
       [](UndoTest* t) {
         HWND list = t->doc_->itemList;
         t->Keys(list, {});
         HWND edit = ListView_EditLabel(list, t->ListIndex("readme"));
         ASSERT_NE(edit, nullptr);
         SetWindowTextA(edit, "readme.txt");
         t->Keys(edit, {VK_RETURN});
         ASSERT_TRUE(PumpUntil([&] { return NodeAt(t->doc_, "readme.txt") != nullptr; }));
       }},
      {"new directory", "&Undo New Directory\tCtrl+Z",
       [](UndoTest* t) {
         SendCommand(t->window_, ID_OBJECT_NEW_DIRECTORY);
         if (HWND edit = ListView_GetEditControl(t->doc_->itemList)) t->Keys(edit, {VK_ESCAPE});
         ASSERT_TRUE(PumpUntil([&] { return ListView_GetEditControl(t->doc_->itemList) == nullptr; }));
       }},
      {"import of two files", "&Undo Import (2 items)\tCtrl+Z",
       [](UndoTest* t) {
         const std::string chosen = Chosen(t->ImportFolder(), {"one.txt", "two.txt"});
         ImportChosenFiles(t->window_, t->doc_, chosen.c_str());
       }},
      {"import that replaces a file", "&Undo Import\tCtrl+Z",
       [](UndoTest* t) {
         const std::string chosen = Chosen(t->ImportFolder(), {"notes.txt"});
         DialogWatcher replace("Confirm File Replace", IDYES);
         ImportChosenFiles(t->window_, t->doc_, chosen.c_str());
         EXPECT_TRUE(replace.Wait().found);
       }},
      {"a folder and a file of the disk pasted", "&Undo Import (2 items)\tCtrl+Z",
       [](UndoTest* t) {
         const std::string dir = t->ImportFolder();
         CreateDirectoryA((dir + "Sub").c_str(), nullptr);
         ASSERT_TRUE(WriteDiskFile(dir + "Sub\\deep.txt", "below"));
         ASSERT_TRUE(PutFilesOnClipboard({dir + "Sub", dir + "one.txt"}));
         t->Keys(t->doc_->itemList, {VK_CONTROL, 'V'});
         ASSERT_TRUE(PumpUntil([&] { return NodeAt(t->doc_, "sub/deep.txt") != nullptr; }));
       }},
      {"a folder of the disk dropped on a folder", "&Undo Import\tCtrl+Z",
       [](UndoTest* t) {
         const std::string dir = t->ImportFolder();
         HGLOBAL files = MakeDropFiles({dir.substr(0, dir.size() - 1)});
         DropRequest request = {DROPEFFECT_COPY, CF_HDROP, files, FolderItemOf(t->doc_, NodeAt(t->doc_, "maps")), -1};
         DialogWatcher none("Confirm File Replace", IDYES, 2000);
         SendMessageA(t->window_, WMU_DROP, reinterpret_cast<WPARAM>(&request), 0);
         GlobalFree(files);
         EXPECT_FALSE(none.Finish().found);
       }},
      {"paste of a file and a folder", "&Undo Paste (2 items)\tCtrl+Z",
       [](UndoTest* t) {
         t->SelectInList({"readme", "maps"});
         t->Keys(t->doc_->itemList, {VK_CONTROL, 'C'});
         ASSERT_TRUE(PumpUntil([&] { return t->doc_->clipboardSource != nullptr; }));
         ShowFolderAt(t->doc_, "sound");
         t->Keys(t->doc_->itemList, {VK_CONTROL, 'V'});
         ASSERT_TRUE(PumpUntil([&] { return NodeAt(t->doc_, "sound/maps/dm/arena.bsp") != nullptr; }));
       }},
      {"cut and paste within the window", "&Undo Move\tCtrl+Z",
       [](UndoTest* t) {
         t->SelectInList({"notes.txt"});
         t->Keys(t->doc_->itemList, {VK_CONTROL, 'X'});
         ASSERT_TRUE(PumpUntil([&] { return t->doc_->clipboardSource != nullptr; }));
         ShowFolderAt(t->doc_, "maps");
         t->Keys(t->doc_->itemList, {VK_CONTROL, 'V'});
         ASSERT_TRUE(PumpUntil([&] { return NodeAt(t->doc_, "notes.txt") == nullptr; }));
       }},
  };
  for (const UndoCase& c : cases) {
    SCOPED_TRACE(c.name);
    OpenViews();
    ASSERT_FALSE(MenuEnabled(ID_EDIT_UNDO));
    EXPECT_EQ(MenuText(ID_EDIT_UNDO), "&Undo\tCtrl+Z");
    const Dump before = DumpOf(doc_);
    c.edit(this);
    PumpPending();
    const Dump after = DumpOf(doc_);
    ASSERT_NE(after, before);
    EXPECT_TRUE(Marked(window_, doc_));
    EXPECT_TRUE(MenuEnabled(ID_EDIT_UNDO));
    EXPECT_FALSE(MenuEnabled(ID_EDIT_REDO));
    EXPECT_EQ(MenuText(ID_EDIT_UNDO), c.undo);
    KeysUntil({VK_CONTROL, 'Z'}, before);
    EXPECT_FALSE(Marked(window_, doc_));
    std::string redo = std::string("&Redo") + (c.undo + 5);
    redo.back() = 'Y';
    EXPECT_EQ(MenuText(ID_EDIT_REDO), redo);
    KeysUntil({VK_CONTROL, 'Y'}, after);
    EXPECT_TRUE(Marked(window_, doc_));
    // The other keys of each command.
    KeysUntil({VK_MENU, VK_BACK}, before);
    KeysUntil({VK_CONTROL, VK_SHIFT, 'Z'}, after);
  }
}

TEST_F(UndoTest, ThreeStepsGoBackFromTheMenuAndANewEditDropsWhatCouldBeRedone) {
  const Dump start = DumpOf(doc_);
  SelectInList({"z.bsp"});
  Keys(doc_->itemList, {VK_DELETE});
  ASSERT_TRUE(PumpUntil([&] { return NodeAt(doc_, "z.bsp") == nullptr; }));
  EXPECT_TRUE(StatusSays("1 item deleted ")) << StatusText();
  const Dump one = DumpOf(doc_);
  SendCommand(window_, ID_OBJECT_NEW_DIRECTORY);
  if (HWND edit = ListView_GetEditControl(doc_->itemList)) Keys(edit, {VK_ESCAPE});
  const Dump two = DumpOf(doc_);
  SelectInList({"b", "readme"});
  Keys(doc_->itemList, {VK_DELETE});
  ASSERT_TRUE(PumpUntil([&] { return NodeAt(doc_, "b") == nullptr; }));
  EXPECT_TRUE(StatusSays("2 items deleted ")) << StatusText();
  const Dump three = DumpOf(doc_);
  // The items that come back are shown selected.
  EXPECT_EQ(FromEditMenu('U', two), "&Undo Delete (2 items)\tCtrl+Z");
  EXPECT_EQ(ListView_GetSelectedCount(doc_->itemList), 2u);
  EXPECT_EQ(FromEditMenu('U', one), "&Undo New Directory\tCtrl+Z");
  EXPECT_EQ(FromEditMenu('U', start), "&Undo Delete\tCtrl+Z");
  EXPECT_FALSE(Marked(window_, doc_));
  EXPECT_FALSE(MenuEnabled(ID_EDIT_UNDO));
  KeysUntil({VK_CONTROL, 'Y'}, one);
  KeysUntil({VK_CONTROL, 'Y'}, two);
  KeysUntil({VK_CONTROL, 'Y'}, three);
  EXPECT_FALSE(MenuEnabled(ID_EDIT_REDO));
  KeysUntil({VK_CONTROL, 'Z'}, two);
  SelectInList({"a.bsp"});
  Keys(doc_->itemList, {VK_DELETE});
  ASSERT_TRUE(PumpUntil([&] { return NodeAt(doc_, "a.bsp") == nullptr; }));
  EXPECT_FALSE(MenuEnabled(ID_EDIT_REDO));
  EXPECT_EQ(MenuText(ID_EDIT_REDO), "&Redo\tCtrl+Y");
  KeysUntil({VK_CONTROL, 'Z'}, two);
  // An undone folder that the tree shows is left for its parent.
  ShowFolderAt(doc_, "new directory");
  KeysUntil({VK_CONTROL, 'Z'}, one);
  EXPECT_EQ(CurrentFolderItem(doc_->folderTree), FolderItemOf(doc_, doc_->root()));
}

TEST_F(UndoTest, AMoveBetweenWindowsIsUndoneOnEitherSide) {
  const Dump origin = DumpOf(doc_);
  HWND target;
  WindowDocument* other = OpenDoc("", &target);
  ASSERT_NE(other, nullptr);
  const auto move = [&] {
    SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window_), 0);
    SelectInList({"readme", "maps"});
    SendCommand(window_, ID_EDIT_CUT);
    SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(target), 0);
    SendCommand(target, ID_EDIT_PASTE);
    ASSERT_TRUE(PumpUntil([&] { return NodeAt(doc_, "readme") == nullptr && NodeAt(other, "readme"); }));
  };
  // Undone in the target, which offers to put the items back where they came from.
  move();
  const Dump moved = DumpOf(doc_);
  {
    DialogWatcher back("Undo Move", IDYES);
    SendCommand(target, ID_EDIT_UNDO);
    const WatchedDialog seen = back.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, "Put the moved items back in \"" + Lower(WinFixture("views.zip")) + "\"?");
  }
  EXPECT_TRUE(PumpUntil([&] { return DumpOf(doc_) == origin; }));
  EXPECT_EQ(other->root()->firstChild(), nullptr);
  EXPECT_FALSE(Marked(window_, doc_));
  EXPECT_FALSE(Marked(target, other));
  // Undone in the origin alone: the target keeps its copies.
  SendCommand(target, ID_EDIT_REDO);
  SendCommand(window_, ID_EDIT_REDO);
  EXPECT_EQ(DumpOf(doc_), moved);
  SendCommand(window_, ID_EDIT_UNDO);
  EXPECT_EQ(DumpOf(doc_), origin);
  EXPECT_NE(NodeAt(other, "maps/dm/arena.bsp"), nullptr);
  // Undone in the origin after the target window went.
  SendCommand(window_, ID_EDIT_REDO);
  SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(target), 0);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(target); }));
  SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window_), 0);
  KeysUntil({VK_CONTROL, 'Z'}, origin);
}
