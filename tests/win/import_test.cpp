// Files and directory trees imported from the disk into archive windows.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "services/dpi.h"
#include "services/settings.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "window/disk_import.h"
#include "window/transfer_commands.h"
#include "panes/views.h"

namespace {

using Names = std::vector<std::string>;

class ImportTest : public ArchiveWindowTest {
 protected:
  // A new archive window and its document.
  WindowDocument* NewWindow() {
    return OpenDoc("", &window_);
  }
  // The tree Maps\E1M1.BSP, Maps\Sub\Deep.TXT, Maps\Empty.dat, Maps\Nothing\ on disk.
  std::string MakeMaps() {
    const std::string maps = TempDir() + "Maps";
    CreateDirectoryA(maps.c_str(), nullptr);
    CreateDirectoryA((maps + "\\Sub").c_str(), nullptr);
    CreateDirectoryA((maps + "\\Nothing").c_str(), nullptr);
    EXPECT_TRUE(WriteDiskFile(maps + "\\E1M1.BSP", std::string(3000, 'L')));
    EXPECT_TRUE(WriteDiskFile(maps + "\\Sub\\Deep.TXT", "deep text"));
    EXPECT_TRUE(WriteDiskFile(maps + "\\Empty.dat", ""));
    return maps;
  }
  TransferState state_{0, 0, ReplaceMode::Ask};
  HWND window_ = nullptr;
};

HTREEITEM RootItem(WindowDocument* doc) { return TreeView_GetRoot(doc->folderTree); }

std::vector<int> SelectedRows(HWND list) {
  std::vector<int> rows;
  for (int i = -1; (i = ListView_GetNextItem(list, i, LVNI_SELECTED)) >= 0;) rows.push_back(i);
  return rows;
}

// A file of the given length that takes no disk space.
bool MakeSparseFile(const std::string& path, long long length) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = length;
  bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  return ok;
}

}  // namespace

TEST_F(ImportTest, FileBecomesAMemoryFileWithItsBytesAndItsNameByTheTreesRule) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "README.TXT", "hello, archive"));
  ASSERT_TRUE(WriteDiskFile(TempDir() + "empty", ""));
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "README.TXT").c_str(), &state_), 1);
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "empty").c_str(), &state_), 1);
  EXPECT_EQ(state_.changed, 1);
  // Lower-cased, as every import is while the case of names is not kept.
  Node* readme = NodeAt(doc, "readme.txt");
  ASSERT_NE(readme, nullptr);
  EXPECT_EQ(readme->name(), "readme.txt");
  EXPECT_TRUE(IsMemoryFile(readme));
  EXPECT_EQ(EntryText(doc, "readme.txt"), "hello, archive");
  Node* empty = NodeAt(doc, "empty");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_TRUE(IsMemoryFile(empty));
  EXPECT_EQ(empty->memory(), nullptr);
  // In the list in their sort position, selected, with the list focused.
  EXPECT_EQ(ListNames(doc->itemList), (Names{"empty", "readme.txt"}));
  EXPECT_EQ(SelectedRows(doc->itemList), (std::vector<int>{0, 1}));
  EXPECT_EQ(ListText(doc->itemList, 1, 1), "14");
  EXPECT_EQ(GetFocus(), doc->itemList);
  // Unreadable paths are passed over silently.
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "missing").c_str(), &state_), 0);
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "trailing\\").c_str(), &state_), 0);
  // A tree that keeps the case of names keeps the file's; the same name in other capitals
  // is the name already there, and asks to be replaced.
  doc->tree->SetKeepsCase(true);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "Notes.TXT", "notes"));
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "Notes.TXT").c_str(), &state_), 1);
  ASSERT_NE(NodeAt(doc, "Notes.TXT"), nullptr);
  EXPECT_EQ(NodeAt(doc, "Notes.TXT")->name(), "Notes.TXT");
  DialogWatcher replace("Confirm File Replace", IDNO);
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "README.TXT").c_str(), &state_), 0);
  EXPECT_TRUE(replace.Wait().found);
  EXPECT_EQ(NodeAt(doc, "readme.txt")->name(), "readme.txt");
}

TEST_F(ImportTest, DirectoryTreeArrivesLowerCasedWithFolderItems) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  const std::string maps = MakeMaps();
  EXPECT_EQ(ImportDirectory(window_, doc, maps.c_str(), &state_), 1);
  EXPECT_EQ(state_.changed, 1);
  EXPECT_EQ(EntryText(doc, "maps/e1m1.bsp"), std::string(3000, 'L'));
  EXPECT_EQ(EntryText(doc, "maps/sub/deep.txt"), "deep text");
  EXPECT_EQ(EntryText(doc, "maps/empty.dat"), "");
  ASSERT_NE(NodeAt(doc, "maps/nothing"), nullptr);
  EXPECT_TRUE(NodeAt(doc, "maps/nothing")->IsDirectory());
  EXPECT_TRUE(IsMemoryFile(NodeAt(doc, "maps/sub/deep.txt")));

  EXPECT_EQ(ListNames(doc->itemList), Names{"maps"});
  EXPECT_EQ(SelectedRows(doc->itemList), std::vector<int>{0});
  HTREEITEM mapsItem = TreeChildNamed(doc->folderTree, RootItem(doc), "maps");
  ASSERT_NE(mapsItem, nullptr);
  EXPECT_EQ(TreeChildren(doc->folderTree, mapsItem), (Names{"nothing", "sub"}));
  // The trailing separator of a chosen directory changes nothing: the directory merges.
  DialogSeries series(kReplaceCaption, {IDC_REPLACE_NO_TO_ALL});
  EXPECT_EQ(ImportDirectory(window_, doc, (maps + "\\").c_str(), &state_), 1);
  EXPECT_EQ(series.Finish().size(), 1u);
  EXPECT_EQ(TreeChildren(doc->folderTree, RootItem(doc)), Names{"maps"});
  EXPECT_EQ(ListNames(doc->itemList), Names{"maps"});
  // A drive root has no name to give a directory.
  EXPECT_EQ(ImportDirectory(window_, doc, "C:\\", &state_), 0);
}

TEST_F(ImportTest, MergingAsksAboutEachFileOfTheSameName) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  const std::string maps = MakeMaps();
  ASSERT_TRUE(WriteDiskFile(maps + "\\Added.txt", "added"));
  ASSERT_EQ(ImportDirectory(window_, doc, maps.c_str(), &state_), 1);
  // An import again meets all four files, at two depths.
  ASSERT_TRUE(WriteDiskFile(maps + "\\E1M1.BSP", "new level"));
  ASSERT_TRUE(WriteDiskFile(maps + "\\Empty.dat", "now full"));
  ASSERT_TRUE(WriteDiskFile(maps + "\\Sub\\Deep.TXT", "new deep"));
  ASSERT_TRUE(WriteDiskFile(maps + "\\New.txt", "new file"));
  const char* const conflicting[] = {"maps/e1m1.bsp", "maps/empty.dat", "maps/sub/deep.txt", "maps/added.txt"};

  struct Case {
    std::vector<int> answers;
    size_t asked;
    int cancelled;
    int changedFiles;  // how many of the four were replaced
  };
  const Case cases[] = {
      {{IDYES, IDYES, IDYES, IDYES}, 4, 0, 4},
      {{IDNO, IDNO, IDNO, IDNO}, 4, 0, 0},
      {{IDC_REPLACE_YES_TO_ALL}, 1, 0, 4},
      {{IDC_REPLACE_NO_TO_ALL}, 1, 0, 0},
      {{IDNO, IDC_REPLACE_YES_TO_ALL}, 2, 0, 3},
      {{IDYES, IDC_REPLACE_NO_TO_ALL}, 2, 0, 1},
      {{IDCANCEL}, 1, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "first answer " << c.answers[0] << " of " << c.answers.size());
    // Back to the first bytes before each import.
    for (const char* p : conflicting) MakeFileDifferent(doc, p);
    if (Node* added = NodeAt(doc, "maps/new.txt")) doc->tree->Remove(added);
    TransferState state{0, 0, ReplaceMode::Ask};
    DialogSeries series(kReplaceCaption, c.answers);
    const int result = ImportDirectory(window_, doc, maps.c_str(), &state);
    std::vector<AnsweredDialog> seen = series.Finish();
    EXPECT_EQ(seen.size(), c.asked);
    EXPECT_EQ(series.extra(), 0);
    EXPECT_EQ(state.cancelled, c.cancelled);
    EXPECT_EQ(result, c.cancelled ? 0 : 1);
    int replaced = 0;
    for (const char* p : conflicting) replaced += EntryText(doc, p) != "old";
    // A file without a namesake is added whatever the answers, unless the import stopped.
    if (!c.cancelled) {
      EXPECT_EQ(EntryText(doc, "maps/new.txt"), "new file");
    }
    EXPECT_EQ(replaced, c.changedFiles);
    for (const AnsweredDialog& d : seen) {
      EXPECT_EQ(d.existingSize, "3 bytes");
      EXPECT_NE(d.message.find("This directory already contains a file named '"), std::string::npos) << d.message;
    }
  }
}

TEST_F(ImportTest, DialogNamesTheFileAndShowsBothSizes) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "level.bsp", std::string(1234, 'a')));
  ASSERT_EQ(ImportFile(window_, doc, (TempDir() + "level.bsp").c_str(), &state_), 1);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "level.bsp", std::string(1234567, 'b')));
  TransferState state{0, 0, ReplaceMode::Ask};
  DialogSeries series(kReplaceCaption, {IDYES});
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "level.bsp").c_str(), &state), 1);
  std::vector<AnsweredDialog> seen = series.Finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, "This directory already contains a file named 'level.bsp'.");
  EXPECT_EQ(seen[0].existingSize, Grouped(1234) + " bytes");
  EXPECT_EQ(seen[0].incomingSize, Grouped(1234567) + " bytes");
  EXPECT_EQ(seen[0].texts, (Names{"&Yes", "Yes to &All", "&No", "No to All",
                                  "This directory already contains a file named 'level.bsp'.",
                                  "Would you like to replace the existing file", "",
                                  Grouped(1234) + " bytes", "with this one?", "", Grouped(1234567) + " bytes"}));
  // Placed 20 pixels (at 96 DPI) right of the frame's left edge, a quarter of its height down.
  RECT frame;
  GetWindowRect(frame_, &frame);
  EXPECT_EQ(seen[0].rect.left, frame.left + ScaleToDpi(20, WindowDpi(frame_)));
  EXPECT_EQ(seen[0].rect.top, frame.top + (frame.bottom - frame.top) / 4);
  // Replaced in place: one list item, its size column brought up to date by the caller.
  EXPECT_EQ(ListNames(doc->itemList), Names{"level.bsp"});
  EXPECT_EQ(EntryText(doc, "level.bsp"), std::string(1234567, 'b'));
}

TEST_F(ImportTest, FileAndDirectoryOfOneNameAreLeftAloneWithoutAQuestion) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  CreateDirectoryA((TempDir() + "Things").c_str(), nullptr);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "Things\\inner.txt", "x"));
  ASSERT_TRUE(WriteDiskFile(TempDir() + "things.txt", "file"));
  ASSERT_EQ(ImportDirectory(window_, doc, (TempDir() + "Things").c_str(), &state_), 1);
  // A disk file named like the archive's directory, and a disk directory like its file.
  CreateDirectoryA((TempDir() + "other").c_str(), nullptr);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "other\\things", "file named like the directory"));
  CreateDirectoryA((TempDir() + "other\\things.txt").c_str(), nullptr);
  ASSERT_EQ(ImportFile(window_, doc, (TempDir() + "things.txt").c_str(), &state_), 1);
  DialogSeries series(kReplaceCaption, {});
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "other\\things").c_str(), &state_), 0);
  EXPECT_EQ(ImportDirectory(window_, doc, (TempDir() + "other\\things.txt").c_str(), &state_), 0);
  series.Finish();
  EXPECT_EQ(series.extra(), 0);
  EXPECT_TRUE(NodeAt(doc, "things")->IsDirectory());
  EXPECT_EQ(EntryText(doc, "things.txt"), "file");
}

TEST_F(ImportTest, FilesIntoAnotherFolderLeaveTheListAsItIs) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  const std::string maps = MakeMaps();
  ASSERT_EQ(ImportDirectory(window_, doc, maps.c_str(), &state_), 1);
  HTREEITEM mapsItem = TreeChildNamed(doc->folderTree, RootItem(doc), "maps");
  // As a drop does: the target is highlighted while the current folder stays the root.
  TreeView_SelectDropTarget(doc->folderTree, mapsItem);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "dropped.txt", "dropped"));
  EXPECT_EQ(ImportFile(window_, doc, (TempDir() + "dropped.txt").c_str(), &state_), 1);
  TreeView_SelectDropTarget(doc->folderTree, nullptr);
  EXPECT_EQ(EntryText(doc, "maps/dropped.txt"), "dropped");
  EXPECT_EQ(ListNames(doc->itemList), Names{"maps"});
}

// Regression: a file longer than an entry can hold was read into a buffer of its length cut
// to 32 bits (or the allocation failed without a check); it is now passed over cleanly.
TEST_F(ImportTest, HugeFilesAreRefusedWithoutHarm) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  struct Huge {
    const char* name;
    long long length;
  };
  // Longer than an entry can hold: cut to 32 bits, these lengths would be 3 bytes and none.
  std::vector<Huge> huge = {{"five.gib", (5LL << 30) + 3}, {"four.gib", 4LL << 30}};
  // Within an entry's limit but more than a 32-bit process can hold, so no buffer can be had
  // for it there. A 64-bit build has the room and imports it like any other file.
  if (sizeof(void*) == 4) huge.push_back({"three.gib", 3LL << 30});
  for (const Huge& h : huge) {
    SCOPED_TRACE(h.name);
    ASSERT_TRUE(MakeSparseFile(TempDir() + h.name, h.length));
    EXPECT_EQ(DiskFileSize((TempDir() + h.name).c_str()), h.length);
    EXPECT_EQ(ImportFile(window_, doc, (TempDir() + h.name).c_str(), &state_), 0);
    EXPECT_EQ(NodeAt(doc, h.name), nullptr);
  }
  ASSERT_TRUE(WriteDiskFile(TempDir() + "small", "s"));
  EXPECT_EQ(ImportDirectory(window_, doc, TempDir().c_str(), &state_), 1);
  EXPECT_EQ(state_.changed, 1);
  ASSERT_EQ(ListNames(doc->itemList).size(), 1u);  // the imported directory only
  const std::string name = ListNames(doc->itemList)[0];
  for (const Huge& h : huge) EXPECT_EQ(NodeAt(doc, name + "/" + h.name), nullptr) << h.name;
  EXPECT_EQ(EntryText(doc, name + "/small"), "s");
}

TEST_F(ImportTest, ImportFileCommandImportsEveryChosenFile) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "One.txt", "1"));
  ASSERT_TRUE(WriteDiskFile(TempDir() + "two.txt", "22"));
  std::string directory = TempDir().substr(0, TempDir().size() - 1);
  strcpy(g_settings.initialDirectory, directory.c_str());
  DialogWatcher watcher("Import File", 0, 10000, [](HWND dialog) {
    SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>("\"One.txt\" \"two.txt\""));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_IMPORT_FILE, 0);
  EXPECT_TRUE(watcher.Wait().found);
  EXPECT_EQ(EntryText(doc, "One.txt"), "1");
  EXPECT_EQ(EntryText(doc, "two.txt"), "22");
  EXPECT_EQ(doc->modified, 1);
  EXPECT_EQ(Title(window_).substr(Title(window_).size() - 2), " *");

  // The dialog's answer parsed: a directory with or without its separator, and nothing at all.
  std::string answer = directory + '\\' + '\0' + "two.txt" + '\0' + '\0';
  DialogSeries series(kReplaceCaption, {IDC_REPLACE_NO_TO_ALL});
  ImportChosenFiles(window_, doc, answer.c_str());
  EXPECT_EQ(series.Finish().size(), 1u);
  ImportChosenFiles(window_, doc, "\0\0");
  EXPECT_EQ(ListNames(doc->itemList).size(), 2u);
}

TEST_F(ImportTest, ImportDirectoryCommandTakesTheChosenDirectory) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  const std::string maps = MakeMaps();
  DialogWatcher cancel("Browse for Folder", IDCANCEL);
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_IMPORT_DIRECTORY, 0);
  EXPECT_TRUE(cancel.Wait().found);
  EXPECT_EQ(doc->modified, 0);
  // Folders and files already listed: the imported folder takes its place among them.
  for (const char* name : {"a.txt", "z.txt"}) ASSERT_TRUE(WriteDiskFile(TempDir() + name, name));
  const std::string zone = TempDir() + "Zone";
  CreateDirectoryA(zone.c_str(), nullptr);
  const std::string alpha = TempDir() + "Alpha";
  CreateDirectoryA(alpha.c_str(), nullptr);
  for (const std::string& path : {TempDir() + "z.txt", TempDir() + "a.txt"}) ImportFile(window_, doc, path.c_str(), &state_);
  for (const std::string& path : {zone, alpha}) ImportDirectory(window_, doc, path.c_str(), &state_);
  EXPECT_EQ(ListNames(doc->itemList), (Names{"alpha", "zone", "a.txt", "z.txt"}));
  DialogWatcher choose("Browse for Folder", 0, 10000,
                       [maps](HWND dialog) { ChooseFolderInBrowseDialog(dialog, maps); });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_IMPORT_DIRECTORY, 0);
  EXPECT_TRUE(choose.Wait().found);
  EXPECT_EQ(EntryText(doc, "maps/sub/deep.txt"), "deep text");
  EXPECT_EQ(doc->modified, 1);
  EXPECT_EQ(ListNames(doc->itemList), (Names{"alpha", "maps", "zone", "a.txt", "z.txt"}));
  EXPECT_EQ(SelectedListNames(doc->itemList), Names{"maps"});
}

// Import Directory Contents brings what the chosen folder holds into the current folder,
// the folder itself not, as one step that one undo takes back.
TEST_F(ImportTest, ImportDirectoryContentsTakesWhatTheFolderHolds) {
  WindowDocument* doc = NewWindow();
  ASSERT_NE(doc, nullptr);
  const std::string maps = MakeMaps();
  ASSERT_TRUE(WriteDiskFile(TempDir() + "b.txt", "b"));
  ImportFile(window_, doc, (TempDir() + "b.txt").c_str(), &state_);
  DialogWatcher choose("Browse for Folder", 0, 10000,
                       [maps](HWND dialog) { ChooseFolderInBrowseDialog(dialog, maps); });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_IMPORT_CONTENTS, 0);
  ASSERT_TRUE(choose.Wait().found);
  EXPECT_EQ(NodeAt(doc, "maps"), nullptr);
  EXPECT_EQ(EntryText(doc, "e1m1.bsp"), std::string(3000, 'L'));
  EXPECT_EQ(EntryText(doc, "sub/deep.txt"), "deep text");
  EXPECT_EQ(EntryText(doc, "empty.dat"), "");
  ASSERT_NE(NodeAt(doc, "nothing"), nullptr);
  EXPECT_TRUE(NodeAt(doc, "nothing")->IsDirectory());
  EXPECT_EQ(ListNames(doc->itemList), (Names{"nothing", "sub", "b.txt", "e1m1.bsp", "empty.dat"}));
  EXPECT_EQ(SelectedListNames(doc->itemList), (Names{"nothing", "sub", "e1m1.bsp", "empty.dat"}));
  EXPECT_NE(TreeChildNamed(doc->folderTree, RootItem(doc), "sub"), nullptr);
  EXPECT_EQ(doc->modified, 1);
  // One step: the four items go with one undo, the file imported before stays.
  SendMessageA(window_, WM_COMMAND, ID_EDIT_UNDO, 0);
  EXPECT_EQ(ListNames(doc->itemList), Names{"b.txt"});
  EXPECT_EQ(NodeAt(doc, "sub"), nullptr);
}
