// Renaming in place: label edits of the folder tree and the item list opened with
// TVM_EDITLABEL / LVM_EDITLABEL, F2 or Edit > Rename, typed into with WM_SETTEXT or real
// keys and ended with Enter, their refusals answered in the "Rename" message box.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "resources/command_ids.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "panes/views.h"
#include "transfer/core/disk_names.h"
#include "window/rename.h"
#include "window/save.h"
#include "archive/loading.h"
#include "services/core/archive_text.h"
#include "services/settings.h"
#include "resources/shell_ids.h"

namespace {

using Names = std::vector<std::string>;

const char kInvalidNameMessage[] =
    "A filename cannot contain any of the following characters:\n\t\\/:*?\"<>|";
const char kTakenForDirectory[] =
    "A file or directory with the name you specified already exists. Specify a different "
    "directory name.";
const char kTakenForFile[] =
    "A file or directory with the name you specified already exists. Specify a different "
    "filename.";

class RenameTest : public ViewsWindowTest {
 protected:
  Node* ListEntry(int index) { return ListItemNode(doc_->itemList, index); }
  int ListImage(int index) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    ListView_GetItem(doc_->itemList, &item);
    return item.iImage;
  }
  static std::string EditText(HWND edit) {
    char text[300] = {};
    GetWindowTextA(edit, text, sizeof text);
    return text;
  }
  // Opens the list item's label for editing, types text into it and presses Enter.
  void RenameListItem(const std::string& from, const char* to) {
    int index = ListIndexOf(from);
    ASSERT_GE(index, 0) << from;
    SetFocus(doc_->itemList);
    HWND edit = ListView_EditLabel(doc_->itemList, index);
    ASSERT_NE(edit, nullptr);
    Type(edit, to);
  }
  void RenameFolder(HTREEITEM item, const char* to) {
    HWND edit = TreeView_EditLabel(doc_->folderTree, item);
    ASSERT_NE(edit, nullptr);
    Type(edit, to);
  }
  // The end of an edit is answered at once; what the answer posts (a new edit after a
  // refusal, the sorting of the tree's level) has run when this returns.
  static void Type(HWND edit, const char* text) {
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    PumpPending();
  }
  HWND ListEdit() { return ListView_GetEditControl(doc_->itemList); }
  HWND TreeEdit() { return TreeView_GetEditControl(doc_->folderTree); }
  static void Cancel(HWND edit) {
    if (edit) SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpPending();
  }
  bool MarkedModified() {
    std::string title = Title(window_);
    return doc_->modified && title.size() > 2 && title.compare(title.size() - 2, 2, " *") == 0;
  }
  // A refused rename: the message box with exactly this text, then a new edit of the same
  // item showing its unchanged name.
  void ExpectListRefusal(const std::string& from, const char* to, const char* message) {
    SCOPED_TRACE(from + " -> " + to);
    DialogWatcher box("Rename", IDOK);
    RenameListItem(from, to);
    WatchedDialog seen = box.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, message);
    PumpUntil([&] { return ListEdit() && GetFocus() == ListEdit(); });
    HWND edit = ListEdit();
    ASSERT_NE(edit, nullptr) << "the edit is not reopened";
    // The text typed stays, all of it selected, to be corrected.
    EXPECT_EQ(EditText(edit), to);
    DWORD start = 1, end = 0;
    PumpUntil([&] {
      SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
      return start == 0 && end == std::strlen(to);
    });
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, std::strlen(to));
    EXPECT_EQ(GetFocus(), edit);
    Cancel(edit);
    EXPECT_GE(ListIndexOf(from), 0);
    EXPECT_EQ(doc_->modified, 0);
  }

  void FocusListItem(const std::string& name) {
    int index = ListIndexOf(name);
    ASSERT_GE(index, 0) << name;
    FocusPane(doc_->itemList);
    ListView_SetItemState(doc_->itemList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(doc_->itemList, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    PumpPending();
  }
  void FocusFolder(HTREEITEM item) {
    TreeView_SelectItem(doc_->folderTree, item);
    FocusPane(doc_->folderTree);
  }
  // The edit that F2 opened once it has the focus, and its selection then.
  static HWND WaitForFocusedEdit(HWND pane, bool tree) {
    HWND edit = nullptr;
    PumpUntil([&] {
      edit = tree ? TreeView_GetEditControl(pane) : ListView_GetEditControl(pane);
      return edit && GetFocus() == edit;
    });
    PumpPending();  // the narrower selection of a file's name is posted after the edit opens
    return edit;
  }
  static std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  static void TypeKeys(const char* text) {
    TypeText(text);
    PressKeys({VK_RETURN});
  }
  bool RenameGrayed() { return GetMenuState(g_mainMenu, ID_EDIT_RENAME, MF_BYCOMMAND) & MF_GRAYED; }
};

}  // namespace

TEST_F(RenameTest, F2OpensTheEditWithTheNameOrTheFileNameBeforeItsExtensionSelected) {
  struct Case {
    const char* name;
    bool folder;  // in the tree, else in the list
    DWORD selectedEnd;
  };
  const Case cases[] = {
      {"notes.txt", false, 5}, {"big.dat", false, 3}, {"readme", false, 6},
      {"maps", false, 4},      {"sound", true, 5},    {"maps", true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.folder ? " in the tree" : " in the list"));
    HWND pane = c.folder ? doc_->folderTree : doc_->itemList;
    if (c.folder) {
      ASSERT_NO_FATAL_FAILURE(FocusFolder(TreeChildNamed(doc_->folderTree, root_, c.name)));
    } else {
      ASSERT_NO_FATAL_FAILURE(FocusListItem(c.name));
    }
    PressKeys({VK_F2});
    HWND edit = WaitForFocusedEdit(pane, c.folder);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(EditText(edit), c.name);
    EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, c.selectedEnd));
    Cancel(edit);
    if (c.folder) TreeView_SelectItem(doc_->folderTree, root_);
    PumpPending();
  }
  EXPECT_EQ(doc_->modified, 0);
}

TEST_F(RenameTest, TypingANewNameAfterF2RenamesAndKeepsTheExtension) {
  ASSERT_NO_FATAL_FAILURE(FocusListItem("notes.txt"));
  PressKeys({VK_F2});
  ASSERT_NE(WaitForFocusedEdit(doc_->itemList, false), nullptr);
  TypeKeys("memo");
  ASSERT_TRUE(PumpUntil([&] { return ListIndexOf("memo.txt") >= 0; }));
  EXPECT_EQ(ListIndexOf("notes.txt"), -1);
  EXPECT_EQ(ListEdit(), nullptr);

  HTREEITEM sound = TreeChildNamed(doc_->folderTree, root_, "sound");
  ASSERT_NO_FATAL_FAILURE(FocusFolder(sound));
  PressKeys({VK_F2});
  ASSERT_NE(WaitForFocusedEdit(doc_->folderTree, true), nullptr);
  TypeKeys("noise");
  ASSERT_TRUE(PumpUntil([&] { return TreeText(doc_->folderTree, sound) == "noise"; }));
  EXPECT_EQ(TreeEdit(), nullptr);
  EXPECT_TRUE(MarkedModified());
}

TEST_F(RenameTest, EditRenameIsEnabledExactlyWhenTheFocusedPaneHasAnItemToRename) {
  // The list without a selection, then with one; the tree at its root, then at a folder.
  ASSERT_NO_FATAL_FAILURE(FocusPane(doc_->itemList));
  ListView_SetItemState(doc_->itemList, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  PumpPending();
  EXPECT_TRUE(RenameGrayed());
  // The command runs while it is sent: nothing it could open is still to come afterwards.
  SendMessageA(frame_, WM_COMMAND, ID_EDIT_RENAME, 0);
  PumpPending();
  EXPECT_EQ(ListEdit(), nullptr);
  ASSERT_NO_FATAL_FAILURE(FocusListItem("a.bsp"));
  EXPECT_FALSE(RenameGrayed());
  ASSERT_NO_FATAL_FAILURE(FocusFolder(root_));
  EXPECT_TRUE(RenameGrayed());
  SendMessageA(frame_, WM_COMMAND, ID_EDIT_RENAME, 0);
  PumpPending();
  EXPECT_EQ(TreeEdit(), nullptr);
  ASSERT_NO_FATAL_FAILURE(FocusFolder(TreeChildNamed(doc_->folderTree, root_, "maps")));
  EXPECT_FALSE(RenameGrayed());

  // The menu command, as the frame passes it on, renames the list's selected item.
  TreeView_SelectItem(doc_->folderTree, root_);
  ASSERT_NO_FATAL_FAILURE(FocusListItem("a.bsp"));
  SendMessageA(frame_, WM_COMMAND, ID_EDIT_RENAME, 0);
  HWND edit = WaitForFocusedEdit(doc_->itemList, false);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, DWORD{1}));
  Type(edit, "c.bsp");
  EXPECT_GE(ListIndexOf("c.bsp"), 0);
  EXPECT_EQ(ListIndexOf("a.bsp"), -1);
}

TEST_F(RenameTest, RenamingAFileToItsOwnNameInCapitalsChangesNothing) {
  // A box would come while the edit ends, inside the call.
  DialogWatcher none("Rename", IDOK);
  RenameListItem("notes.txt", "NOTES.TXT");
  EXPECT_FALSE(none.Finish().found);
  int index = ListIndexOf("notes.txt");
  ASSERT_GE(index, 0);
  EXPECT_EQ(ListEntry(index)->name(), "notes.txt");
  EXPECT_EQ(ListEdit(), nullptr);
  EXPECT_EQ(doc_->modified, 0);
  EXPECT_EQ(Title(window_).find('*'), std::string::npos);
}

TEST_F(RenameTest, AFileRenamedInCapitalsIsStoredInLowerCaseAndItsTypeFollows) {
  int index = ListIndexOf("a.bsp");
  ASSERT_GE(index, 0);
  Node* entry = ListEntry(index);
  ASSERT_EQ(ListText(doc_->itemList, index, 2), FileTypeName("a.bsp"));
  ASSERT_NE(std::string(FileTypeName("a.bsp")), FileTypeName("maps.txt"));

  RenameListItem("a.bsp", "MAPS.TXT");
  EXPECT_EQ(ListEdit(), nullptr);
  EXPECT_EQ(ListText(doc_->itemList, index, 0), "maps.txt");
  EXPECT_EQ(entry->name(), "maps.txt");
  EXPECT_EQ(ListEntry(index), entry);
  EXPECT_EQ(ListText(doc_->itemList, index, 2), FileTypeName("maps.txt"));
  EXPECT_EQ(ListImage(index), FileTypeIcon("maps.txt"));
  EXPECT_TRUE(MarkedModified());
}

// "Keep the case of names" chosen in the Options dialog: a rename of the case alone is a
// change, a new folder keeps the name typed, names still compare without case, and the save
// stores the names as shown.
TEST_F(RenameTest, WithTheCaseKeptRenamesAndNewFoldersKeepTheirCaseThroughASave) {
  DialogWatcher options("Options", 0, 10000, [](HWND dialog) {
    SendMessageA(GetDlgItem(dialog, IDC_OPTIONS_KEEP_CASE), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  SendMessageA(frame_, WM_COMMAND, ID_VIEW_OPTIONS, 0);
  ASSERT_TRUE(options.Wait().found);
  EXPECT_TRUE(g_settings.keepCase);
  EXPECT_TRUE(doc_->tree->keepsCase());  // the open window's names given from now on

  const std::string path = TempDir() + "Case.zip";
  window_ = OpenCopy("views.zip", path);
  ASSERT_NE(window_, nullptr);
  doc_ = DocumentOf(window_);
  root_ = TreeView_GetRoot(doc_->folderTree);
  EXPECT_EQ(Title(window_), path);  // the path as given

  // Another name in other capitals is still the same name.
  ExpectListRefusal("z.bsp", "MAPS", kTakenForFile);
  RenameListItem("notes.txt", "Notes.txt");
  EXPECT_GE(ListIndexOf("Notes.txt"), 0);
  EXPECT_TRUE(MarkedModified());

  HTREEITEM sound = TreeChildNamed(doc_->folderTree, root_, "sound");
  ASSERT_NE(sound, nullptr);
  TreeView_SelectItem(doc_->folderTree, sound);
  SendCommand(window_, ID_OBJECT_NEW_DIRECTORY);
  ASSERT_TRUE(PumpUntil([&] { return ListEdit() != nullptr; }));
  Type(ListEdit(), "Maps");
  EXPECT_GE(ListIndexOf("Maps"), 0);
  ASSERT_TRUE(SaveDocument(window_));

  ArchiveDocument saved;
  Failure why;
  const ArchiveFormat* format = nullptr;
  saved.source = OpenArchive(path, &why, &format);
  ASSERT_NE(saved.source, nullptr) << FailureReason(why);
  ASSERT_FALSE(BuildTree(&saved, true));
  std::vector<std::string> names;
  for (uint32_t i = 0; i < saved.source->Count(); ++i) names.push_back(std::string(saved.source->Name(i)));
  EXPECT_EQ(std::count(names.begin(), names.end(), "Notes.txt"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "notes.txt"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "sound/Maps/"), 1);
  // The dialog kept its choice in the registry at once; later tests start from none (and
  // the frame, which writes the settings back as it goes, writes the choice undone).
  g_settings.keepCase = false;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, "KeepCase");
    RegCloseKey(key);
  }
}

TEST_F(RenameTest, InvalidCharactersAreRefusedAndTheEditReopens) {
  for (const char* name : {"what?.txt", "star*.txt", "a/b", "c:d", "q\"uote", "back\\slash", "p|pe"}) {
    ExpectListRefusal("notes.txt", name, kInvalidNameMessage);
  }
  // Names Export could not write are refused as they are typed, each with its reason.
  const std::string dots = "A name cannot be made of dots alone: \".\" and \"..\" stand for folders.";
  const std::string trailing =
      "A name cannot end in a dot or a space: Windows drops them, and the file would take another name.";
  const std::string device =
      "This name is kept by Windows for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$), "
      "with or without an extension: no file can have it.";
  const std::pair<const char*, const std::string*> cases[] = {
      {"..", &dots},     {".", &dots},          {"x.", &trailing},     {" ", &trailing}, {"notes.txt ", &trailing},
      {"con", &device}, {"aux.cfg", &device},  {"CONIN$", &device},   {"com1", &device}, {"Lpt9.txt", &device}};
  for (const auto& c : cases) ExpectListRefusal("notes.txt", c.first, c.second->c_str());
  EXPECT_EQ(Title(window_).find('*'), std::string::npos);
}

TEST_F(RenameTest, NamesTakenBySiblingsAreRefusedWithTheirOwnMessage) {
  ExpectListRefusal("maps", "README", kTakenForDirectory);   // a directory onto a file
  ExpectListRefusal("readme", "sound", kTakenForFile);       // a file onto a directory
  ExpectListRefusal("notes.txt", "Z.BSP", kTakenForFile);     // a file onto a file
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"maps", "sound"}));
}

TEST_F(RenameTest, ADirectoryRenamedInTheListIsRenamedAndResortedInTheTree) {
  RenameListItem("maps", "Zmaps");
  EXPECT_GE(ListIndexOf("zmaps"), 0);
  PumpUntil([&] { return TreeChildren(doc_->folderTree, root_) == Names{"sound", "zmaps"}; });
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"sound", "zmaps"}));
  HTREEITEM zmaps = TreeChildNamed(doc_->folderTree, root_, "zmaps");
  ASSERT_NE(zmaps, nullptr);
  EXPECT_EQ(TreeChildren(doc_->folderTree, zmaps), (Names{"dm"}));
  EXPECT_EQ(ListText(doc_->itemList, ListIndexOf("zmaps"), 2), ListText(doc_->itemList, ListIndexOf("sound"), 2));
  EXPECT_TRUE(MarkedModified());
}

TEST_F(RenameTest, AFolderRenamedInTheTreeIsLowerCasedResortedAndRelisted) {
  HTREEITEM sound = TreeChildNamed(doc_->folderTree, root_, "sound");
  ASSERT_NE(sound, nullptr);
  RenameFolder(sound, "ASound");
  EXPECT_EQ(TreeEdit(), nullptr);
  PumpUntil([&] { return TreeChildren(doc_->folderTree, root_) == Names{"asound", "maps"}; });
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"asound", "maps"}));
  EXPECT_EQ(TreeText(doc_->folderTree, sound), "asound");
  // The list shows the root, so the folder's list item follows at once.
  EXPECT_EQ(ListIndexOf("sound"), -1);
  EXPECT_GE(ListIndexOf("asound"), 0);
  bool found = false;
  for (const Node* node = doc_->root()->firstChild(); node; node = node->nextSibling())
    found = found || node->name() == "asound";
  EXPECT_TRUE(found);
  EXPECT_TRUE(MarkedModified());
}

TEST_F(RenameTest, TreeRefusalsShowTheirMessageAndReopenTheEdit) {
  struct Case {
    const char* to;
    const char* message;
  };
  const Case cases[] = {{"MAPS", "Directory already exists"},
                        {"so?nd", kInvalidNameMessage},
                        {"s*", kInvalidNameMessage},
                        {"prn", "This name is kept by Windows for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to "
                                "LPT9, CONIN$, CONOUT$), with or without an extension: no file can have it."},
                        {"sound.", "A name cannot end in a dot or a space: Windows drops them, and the file would take "
                                   "another name."}};
  HTREEITEM sound = TreeChildNamed(doc_->folderTree, root_, "sound");
  ASSERT_NE(sound, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    DialogWatcher box("Rename", IDOK);
    RenameFolder(sound, c.to);
    WatchedDialog seen = box.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, "Rename");
    EXPECT_EQ(seen.message, c.message);
    PumpUntil([&] { return TreeEdit() != nullptr; });
    HWND edit = TreeEdit();
    ASSERT_NE(edit, nullptr) << "the edit is not reopened";
    EXPECT_EQ(EditText(edit), c.to);  // as typed, to be corrected
    Cancel(edit);
    EXPECT_EQ(TreeText(doc_->folderTree, sound), "sound");
  }
  // An empty name reopens the edit without a message.
  DialogWatcher none("Rename", IDOK);
  RenameFolder(sound, "");
  EXPECT_FALSE(none.Finish().found);
  PumpUntil([&] { return TreeEdit() != nullptr; });
  ASSERT_NE(TreeEdit(), nullptr);
  Cancel(TreeEdit());
  EXPECT_EQ(TreeChildren(doc_->folderTree, root_), (Names{"maps", "sound"}));
  EXPECT_EQ(doc_->modified, 0);
}

TEST_F(RenameTest, TheRootCannotBeEdited) {
  EXPECT_EQ(TreeView_EditLabel(doc_->folderTree, root_), nullptr);
  PumpPending();
  EXPECT_EQ(TreeEdit(), nullptr);
  EXPECT_EQ(TreeText(doc_->folderTree, root_), "/");
  // Other folders can be.
  HWND edit = TreeView_EditLabel(doc_->folderTree, TreeChildNamed(doc_->folderTree, root_, "maps"));
  ASSERT_NE(edit, nullptr);
  Cancel(edit);
}

TEST_F(RenameTest, InvalidCharacterTable) {
  const char* refused[] = {"\\", "/", ":", "*", "?", "\"", "<", ">", "|", "name<", "x>y"};
  for (const char* name : refused) EXPECT_TRUE(HasInvalidNameCharacter(name)) << name;
  const char* allowed[] = {"maps.txt", "new directory (2)", "a b", "~$#@!%^&()[]{};',.=+-_`",
                           ".hidden", "..x"};
  for (const char* name : allowed) {
    EXPECT_FALSE(HasInvalidNameCharacter(name)) << name;
    EXPECT_EQ(TypedNameProblem(name), nullptr) << name;
  }
  // What the disk would not take has a reason of its own.
  for (const char* name : {".", "..", "...", "x..", "a ", "nul", "nul.txt", "COM3.tar.gz", "conout$"})
    EXPECT_NE(TypedNameProblem(name), nullptr) << name;
  for (const char* name : {"console", "com0", "lpt", "aux_", "nul_.txt"}) EXPECT_EQ(TypedNameProblem(name), nullptr) << name;
}

TEST_F(RenameTest, EditingKeysInANameEditStayInTheEdit) {
  // Del and Ctrl+A are accelerators of the frame; typed into a name being edited they must
  // edit the text, not delete or select the items.
  int index = ListIndexOf("notes.txt");
  ASSERT_GE(index, 0);
  size_t before = ListNames(doc_->itemList).size();
  SetFocus(doc_->itemList);
  HWND edit = ListView_EditLabel(doc_->itemList, index);
  ASSERT_NE(edit, nullptr);
  PumpPending();  // the edit has opened with the name before the extension selected
  SetForegroundWindow(frame_);
  SetFocus(edit);
  SendMessageA(edit, EM_SETSEL, 0, 0);  // caret before the first character
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == edit; }));
  PressKeys({VK_DELETE});
  PumpUntil([&] { return EditText(edit) != "notes.txt"; });
  PumpPending();
  EXPECT_EQ(EditText(edit), "otes.txt");
  EXPECT_EQ(ListNames(doc_->itemList).size(), before);
  SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  PumpUntil([&] { return ListEdit() == nullptr; });
  EXPECT_GE(ListIndexOf("notes.txt"), 0);
}
