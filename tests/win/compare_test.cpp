// File > Compare With... and Compare With Folder...: the other side answered in the Open and
// Browse for Folder dialogs, the Compare dialog read back through its controls, its filter,
// items shown in their windows by a double-click and by Enter, and Save Differences As...
// answered in its Save dialog, the patch read back from disk.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "archive/loading.h"
#include "resources/command_ids.h"
#include "resources/compare_ids.h"
#include "services/core/archive_text.h"
#include "services/globals.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/screenshot.h"
#include "tests/win/support/transfer_test_support.h"

namespace {

// Side A, the mod, and side B, its base: one file added, one removed, one changed (of the
// same size, so that its bytes decide) and two the same.
std::vector<sample::ZipEntry> ModEntries() {
  return {StoredZipEntry("progs.dat", "new progs"), StoredZipEntry("maps/e1m9.bsp", "secret level"),
          StoredZipEntry("gfx/same.lmp", "same bytes"), StoredZipEntry("readme.txt", "mod readme")};
}
const std::vector<sample::PakItem> kBaseItems = {{"progs.dat", "old progs"},
                                                 {"gfx/same.lmp", "same bytes"},
                                                 {"sound/gone.wav", "gone"},
                                                 {"readme.txt", "mod readme"}};

using Rows = std::vector<std::vector<std::string>>;  // path, kind, size in A, size in B, note

Rows ReadRows(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_COMPARE_ITEMS);
  Rows rows;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::vector<std::string> row;
    for (int column = 0; column < 5; ++column) row.push_back(ListText(list, i, column));
    rows.push_back(row);
  }
  return rows;
}

// Chooses a row of the filter as the user does: the selection, then its notification.
void SetFilter(HWND dialog, const char* text) {
  HWND combo = GetDlgItem(dialog, IDC_COMPARE_FILTER);
  const LRESULT row = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text));
  SendMessageA(combo, CB_SETCURSEL, row, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_COMPARE_FILTER, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

int RowOf(const Rows& rows, const std::string& path) {
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i][0] == path) return static_cast<int>(i);
  return -1;
}

// A real double-click on a row of the list.
void DoubleClickRow(HWND dialog, int row) {
  HWND list = GetDlgItem(dialog, IDC_COMPARE_ITEMS);
  RECT rect = {};
  rect.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
  POINT at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  ClientToScreen(list, &at);
  ClickAt(at);
  ClickAt(at);
}

// The row selected and the focus in the list, then a real Enter.
void PressEnterOnRow(HWND dialog, int row) {
  HWND list = GetDlgItem(dialog, IDC_COMPARE_ITEMS);
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
  PollUntil(
      [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        return info.hwndFocus == list;
      },
      5000);
  PressKeys({VK_RETURN});
}

// The text of the message box the dialog shows next (answered with OK), or "" when none came.
std::string AnswerMessage(HWND dialog) {
  HWND box = nullptr;
  PollUntil([&] { return (box = FindOwnDialog("Compare", dialog)) != nullptr ||
                         (box = FindOwnDialog("Save Differences", dialog)) != nullptr; },
            10000);
  if (!box) return "";
  const std::string text = DialogItemText(box, 0xFFFF);
  PressDialogButton(box, IDOK);
  PollUntil([&] { return !IsWindow(box); }, 10000);
  return text;
}

// What a window's panes show: the tree's caret folder and the list's selected names.
struct PanesShown {
  std::string folder;
  std::vector<std::string> selected;
  bool operator==(const PanesShown& other) const { return folder == other.folder && selected == other.selected; }
};

PanesShown ShownIn(const WindowDocument* doc) {
  PanesShown shown;
  shown.folder = TreeText(doc->folderTree, TreeView_GetSelection(doc->folderTree));
  for (int i = -1; (i = ListView_GetNextItem(doc->itemList, i, LVNI_SELECTED)) >= 0;)
    shown.selected.push_back(ListText(doc->itemList, i, 0));
  return shown;
}

// From the watcher's thread: waits until the window's panes show folder with name selected.
bool WaitUntilShown(const WindowDocument* doc, const std::string& folder, const std::string& name) {
  const PanesShown wanted{folder, {name}};
  return PollUntil([&] { return ShownIn(doc) == wanted; }, 10000);
}

bool Grayed(int command) { return (GetMenuState(g_mainMenu, command, MF_BYCOMMAND) & MF_GRAYED) != 0; }

class CompareTest : public ArchiveWindowTest {
 protected:
  void WriteSides() {
    modPath_ = TempDir() + "mod.pk3";
    basePath_ = TempDir() + "base.pak";
    ASSERT_TRUE(WriteBytes(modPath_, sample::ZipWithData(ModEntries())));
    ASSERT_TRUE(WriteBytes(basePath_, sample::Pak(kBaseItems)));
  }

  // Runs Compare With... through the frame, answers the Open dialog with other, and lets act
  // work the Compare dialog; false when a dialog did not come or the command did not end.
  bool RunCompare(const std::string& other, const std::function<void(HWND)>& act) {
    DialogWatcher open("Compare With", 0, 10000, [other](HWND dialog) {
      TypeFileName(dialog, other);
      PressDialogButton(dialog, IDOK);
    });
    return WorkCompareDialog(ID_FILE_COMPARE, act) && open.Wait().found;
  }

  bool RunCompareWithFolder(const std::string& folder, const std::function<void(HWND)>& act) {
    DialogWatcher browse("Browse for Folder", 0, 10000,
                         [folder](HWND dialog) { ChooseFolderInBrowseDialog(dialog, folder); });
    return WorkCompareDialog(ID_FILE_COMPARE_FOLDER, act) && browse.Wait().found;
  }

  std::string modPath_, basePath_;

 private:
  bool WorkCompareDialog(int command, const std::function<void(HWND)>& act) {
    std::atomic<bool> acted{false};
    DialogWatcher compare("Compare", 0, 20000, [&](HWND dialog) {
      WaitForDialogReady(dialog);
      act(dialog);
      acted = true;
      if (IsWindow(dialog)) PressDialogButton(dialog, IDCANCEL);
    });
    SendMessageA(frame_, WM_COMMAND, command, 0);
    return compare.Wait().found && acted;
  }
};

TEST_F(CompareTest, TwoArchivesAreListedFilteredShownAndTheirDifferencesSaved) {
  WriteSides();
  EXPECT_TRUE(Grayed(ID_FILE_COMPARE)) << "no archive window yet";
  HWND window = Open(modPath_);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  EXPECT_FALSE(Grayed(ID_FILE_COMPARE));
  EXPECT_FALSE(Grayed(ID_FILE_COMPARE_FOLDER));
  const std::vector<uint8_t> before = FileBytes(modPath_);
  const std::string patchPath = TempDir() + "zzz-patch.pk3";

  std::string sides, counts, proposed, onlyInB, note;
  Rows differences, all, removed;
  bool addedShown = false, changedShown = false;
  ASSERT_TRUE(RunCompare(basePath_, [&](HWND dialog) {
    sides = DialogItemText(dialog, IDC_COMPARE_SIDES);
    counts = DialogItemText(dialog, IDC_COMPARE_COUNTS);
    differences = ReadRows(dialog);
    WaitUntilDrawn(dialog);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "compare-differences");
    SetFilter(dialog, "All files");
    all = ReadRows(dialog);
    SetFilter(dialog, "Removed");
    removed = ReadRows(dialog);
    SetFilter(dialog, "Differences");
    const int added = RowOf(differences, "maps/e1m9.bsp");
    const int changed = RowOf(differences, "progs.dat");
    const int gone = RowOf(differences, "sound/gone.wav");
    if (added < 0 || changed < 0 || gone < 0) return;
    DoubleClickRow(dialog, added);
    addedShown = WaitUntilShown(doc, "maps", "e1m9.bsp");
    PressEnterOnRow(dialog, changed);
    changedShown = WaitUntilShown(doc, "/", "progs.dat");
    // No window shows B: the item only there is a note.
    PressEnterOnRow(dialog, gone);
    onlyInB = AnswerMessage(dialog);

    PressDialogButton(dialog, IDC_COMPARE_SAVE);
    HWND save = nullptr;
    PollUntil([&] { return (save = FindOwnDialog("Save Differences As", dialog)) != nullptr; }, 10000);
    if (!save) return;
    WaitForDialogReady(save);
    // The name box: an edit control in a dialog with a hook, a combo box in the plain one.
    proposed = GetDlgItem(save, cmb13) ? DialogItemText(save, cmb13) : DialogItemText(save, edt1);
    TypeFileName(save, patchPath);
    PressDialogButton(save, IDOK);
    PollUntil([&] { return DialogItemText(dialog, IDC_COMPARE_NOTE).rfind("Saved", 0) == 0; }, 10000);
    note = DialogItemText(dialog, IDC_COMPARE_NOTE);
  }));

  // Both paths shown as the windows show theirs: lower-cased, as names are not kept in case.
  EXPECT_EQ(sides, "A: " + Lower(modPath_) + "\nB: " + Lower(basePath_));
  EXPECT_EQ(counts, "1 added, 1 removed, 1 changed, 2 the same");
  // In path order without regard to case; the differences first shown.
  EXPECT_EQ(differences, (Rows{{"maps/e1m9.bsp", "added", "12", "", ""},
                               {"progs.dat", "changed", "9", "9", ""},
                               {"sound/gone.wav", "removed", "", "4", ""}}));
  EXPECT_EQ(all, (Rows{{"gfx/same.lmp", "the same", "10", "10", ""},
                       {"maps/e1m9.bsp", "added", "12", "", ""},
                       {"progs.dat", "changed", "9", "9", ""},
                       {"readme.txt", "the same", "10", "10", ""},
                       {"sound/gone.wav", "removed", "", "4", ""}}));
  EXPECT_EQ(removed, (Rows{{"sound/gone.wav", "removed", "", "4", ""}}));
  EXPECT_TRUE(addedShown) << ShownIn(doc).folder;
  EXPECT_TRUE(changedShown) << ShownIn(doc).folder;
  EXPECT_EQ(onlyInB, "sound/gone.wav is only in " + Lower(basePath_) + ". Open that archive to see it there.");
  EXPECT_EQ(proposed, "zzz-patch.pk3");
  EXPECT_EQ(note, "Saved 2 files to " + Lower(patchPath) + ". A patch cannot take away the file only in B.");

  // The patch holds the added and the changed file, with A's bytes, and nothing else.
  Failure why;
  const ArchiveFormat* format = nullptr;
  ArchiveDocument patch;
  patch.source = OpenArchive(patchPath, &why, &format);
  ASSERT_NE(patch.source, nullptr) << FailureReason(why);
  ASSERT_FALSE(BuildTree(&patch));
  EXPECT_STREQ(format->name, "PK3");
  EXPECT_EQ(CountFiles(patch.root()->firstChild()), 2u);
  EXPECT_EQ(EntryText(&patch, "maps/e1m9.bsp"), "secret level");
  EXPECT_EQ(EntryText(&patch, "progs.dat"), "new progs");
  // The compared archive is as it was.
  EXPECT_EQ(doc->modified, 0);
  EXPECT_EQ(FileBytes(modPath_), before);
  EXPECT_EQ(Title(window), Lower(modPath_));

  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  EXPECT_TRUE(Grayed(ID_FILE_COMPARE)) << "no archive window left";
  EXPECT_TRUE(Grayed(ID_FILE_COMPARE_FOLDER));
}

// An item only in B is shown in the window that shows B's archive, and an item of A back in
// A's window.
TEST_F(CompareTest, AnItemOnlyInTheOtherArchiveIsShownInItsWindow) {
  WriteSides();
  HWND baseWindow = Open(basePath_);
  ASSERT_NE(baseWindow, nullptr);
  HWND modWindow = Open(modPath_);
  ASSERT_NE(modWindow, nullptr);
  ASSERT_EQ(ActiveMdiChild(), modWindow);
  bool goneShown = false, changedShown = false;
  HWND activeAfterGone = nullptr, activeAfterChanged = nullptr;
  ASSERT_TRUE(RunCompare(basePath_, [&](HWND dialog) {
    const Rows rows = ReadRows(dialog);
    const int gone = RowOf(rows, "sound/gone.wav"), changed = RowOf(rows, "progs.dat");
    if (gone < 0 || changed < 0) return;
    PressEnterOnRow(dialog, gone);
    goneShown = WaitUntilShown(DocumentOf(baseWindow), "sound", "gone.wav");
    activeAfterGone = ActiveMdiChild();
    DoubleClickRow(dialog, changed);
    changedShown = WaitUntilShown(DocumentOf(modWindow), "/", "progs.dat");
    PollUntil([&] { return ActiveMdiChild() == modWindow; }, 5000);
    activeAfterChanged = ActiveMdiChild();
  }));
  EXPECT_TRUE(goneShown) << ShownIn(DocumentOf(baseWindow)).folder;
  EXPECT_EQ(activeAfterGone, baseWindow);
  EXPECT_TRUE(changedShown);
  EXPECT_EQ(activeAfterChanged, modWindow);
}

TEST_F(CompareTest, AFolderOnTheOtherSideIsComparedFileByFile) {
  WriteSides();
  const std::string folder = TempDir() + "base";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  for (const sample::PakItem& item : kBaseItems) {
    std::string path = folder + "\\" + item.name;
    for (char& c : path)
      if (c == '/') c = '\\';
    const size_t slash = path.rfind('\\');
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    ASSERT_TRUE(WriteDiskFile(path, item.data)) << path;
  }
  ASSERT_NE(Open(modPath_), nullptr);
  std::string sides, counts, onlyInB;
  Rows differences;
  ASSERT_TRUE(RunCompareWithFolder(folder, [&](HWND dialog) {
    sides = DialogItemText(dialog, IDC_COMPARE_SIDES);
    counts = DialogItemText(dialog, IDC_COMPARE_COUNTS);
    differences = ReadRows(dialog);
    const int gone = RowOf(differences, "sound/gone.wav");
    if (gone < 0) return;
    PressEnterOnRow(dialog, gone);
    onlyInB = AnswerMessage(dialog);
  }));
  EXPECT_EQ(counts, "1 added, 1 removed, 1 changed, 2 the same");
  EXPECT_EQ(differences, (Rows{{"maps/e1m9.bsp", "added", "12", "", ""},
                               {"progs.dat", "changed", "9", "9", ""},
                               {"sound/gone.wav", "removed", "", "4", ""}}));
  EXPECT_NE(sides.find("\nB: "), std::string::npos) << sides;
  EXPECT_NE(sides.find("base (folder)"), std::string::npos) << sides;
  EXPECT_EQ(onlyInB.rfind("sound/gone.wav is only in ", 0), 0u) << onlyInB;
  EXPECT_NE(onlyInB.find("base, the folder compared with."), std::string::npos) << onlyInB;
}

// A folder holding archives its game searches is compared as the game reads it: the path two
// paks hold from the later one, the loose files with them.
TEST_F(CompareTest, AGameFolderOnTheOtherSideIsComparedAsTheGameReadsIt) {
  WriteSides();
  const std::string folder = TempDir() + "id1";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(folder + "\\pak0.pak", sample::Pak({{"progs.dat", "old"}, {"sound/gone.wav", "gone"}})));
  ASSERT_TRUE(WriteBytes(folder + "\\pak1.pak", sample::Pak({{"progs.dat", "newer progs"}, {"gfx/same.lmp", "same bytes"}})));
  ASSERT_TRUE(WriteDiskFile(folder + "\\readme.txt", "mod readme"));
  ASSERT_NE(Open(modPath_), nullptr);
  std::string sides, counts;
  Rows differences;
  ASSERT_TRUE(RunCompareWithFolder(folder, [&](HWND dialog) {
    sides = DialogItemText(dialog, IDC_COMPARE_SIDES);
    counts = DialogItemText(dialog, IDC_COMPARE_COUNTS);
    differences = ReadRows(dialog);
  }));
  EXPECT_EQ(counts, "1 added, 1 removed, 1 changed, 2 the same");
  EXPECT_EQ(differences, (Rows{{"maps/e1m9.bsp", "added", "12", "", ""},
                               {"progs.dat", "changed", "9", "11", ""},
                               {"sound/gone.wav", "removed", "", "4", ""}}));
  EXPECT_NE(sides.find("\nB: "), std::string::npos) << sides;
  EXPECT_NE(sides.find("id1 (game folder)"), std::string::npos) << sides;
}

// An archive compared with its own file, as saved: nothing to list and nothing to save, and
// the note says so.
TEST_F(CompareTest, AnArchiveComparedWithItsOwnFileHoldsTheSameFiles) {
  WriteSides();
  ASSERT_NE(Open(modPath_), nullptr);
  std::string counts, note;
  Rows differences, all;
  bool saveEnabled = true;
  ASSERT_TRUE(RunCompare(modPath_, [&](HWND dialog) {
    counts = DialogItemText(dialog, IDC_COMPARE_COUNTS);
    note = DialogItemText(dialog, IDC_COMPARE_NOTE);
    differences = ReadRows(dialog);
    saveEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_COMPARE_SAVE)) != FALSE;
    SetFilter(dialog, "The same");
    all = ReadRows(dialog);
  }));
  EXPECT_EQ(counts, "0 added, 0 removed, 0 changed, 4 the same");
  EXPECT_EQ(note, "A and B hold the same files.");
  EXPECT_TRUE(differences.empty());
  EXPECT_EQ(all.size(), 4u);
  EXPECT_FALSE(saveEnabled);
}

// A file of B that cannot be read is listed with why; the differences are then not known
// whole, and none are saved.
TEST_F(CompareTest, AnUnreadableFileIsListedWithWhyAndNoPatchIsMadeWithoutIt) {
  const std::string modPath = TempDir() + "mod.pak";
  const std::string basePath = TempDir() + "base.pk3";
  ASSERT_TRUE(WriteBytes(modPath, sample::Pak({{"progs.dat", "new progs"}, {"maps/e1m9.bsp", "secret level"}})));
  std::vector<sample::ZipEntry> base = {StoredZipEntry("progs.dat", "old progs")};
  base[0].bytes[0] ^= 0x20;
  ASSERT_TRUE(WriteBytes(basePath, sample::ZipWithData(base)));
  ASSERT_NE(Open(modPath), nullptr);
  std::string counts, refusal, proposed;
  Rows differences;
  ASSERT_TRUE(RunCompare(basePath, [&](HWND dialog) {
    counts = DialogItemText(dialog, IDC_COMPARE_COUNTS);
    differences = ReadRows(dialog);
    PressDialogButton(dialog, IDC_COMPARE_SAVE);
    refusal = AnswerMessage(dialog);
  }));
  EXPECT_EQ(counts, "1 added, 0 removed, 0 changed, 0 the same, 1 unreadable");
  EXPECT_EQ(differences,
            (Rows{{"maps/e1m9.bsp", "added", "12", "", ""},
                  {"progs.dat", "unreadable", "9", "9",
                   "in B: its data does not match its CRC-32 (the archive is damaged)"}}));
  EXPECT_EQ(refusal, "Some files could not be compared, so the differences are not known whole.\nNothing was saved.");
  EXPECT_EQ(FindOwnDialog("Save Differences As"), nullptr);
}

// A long comparison shows its progress, and Cancel ends it with no list: an unfinished one
// would pass files not yet compared for the same.
TEST_F(CompareTest, CancelEndsALongComparisonWithoutAList) {
  // 512 entries of 4 MiB of zeros: a small archive whose comparison inflates 2 GiB,
  // against a folder of files that take no room on disk (their zeros were never written).
  const std::vector<uint8_t> zeros(4u << 20, 0);
  const sample::ZipEntry packed = DeflatedZipEntry("x", zeros);
  std::vector<sample::ZipEntry> entries;
  const std::string folder = TempDir() + "zeros";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  for (int i = 0; i < 512; ++i) {
    sample::ZipEntry e = packed;
    e.name = "file" + std::to_string(i) + ".bin";
    entries.push_back(std::move(e));
    const std::string path = folder + "\\" + entries.back().name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(zeros.size());
    EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
  }
  const std::string path = TempDir() + "zeros.pk3";
  ASSERT_TRUE(WriteBytes(path, sample::ZipWithData(entries)));
  entries.clear();
  HWND window = Open(path);
  ASSERT_NE(window, nullptr);

  DialogWatcher comparing("Comparing...", 0, 20000, [](HWND dialog) {
    WaitForDialogReady(dialog);
    UpdateWindow(dialog);
    WaitUntilDrawn(dialog);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "comparing-with-cancel");
    RECT button;
    GetWindowRect(GetDlgItem(dialog, IDCANCEL), &button);
    ClickAt(POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2});
  });
  DialogWatcher list("Compare", IDCANCEL);
  DialogWatcher browse("Browse for Folder", 0, 10000,
                       [folder](HWND dialog) { ChooseFolderInBrowseDialog(dialog, folder); });
  SendMessageA(frame_, WM_COMMAND, ID_FILE_COMPARE_FOLDER, 0);
  ASSERT_TRUE(browse.Wait().found);
  EXPECT_TRUE(comparing.Wait().found);
  EXPECT_FALSE(list.Finish().found) << "a cancelled comparison shows no list";
  EXPECT_EQ(FindOwnDialog("Comparing..."), nullptr) << "the progress dialog is gone";
  EXPECT_EQ(DocumentOf(window)->modified, 0);
}

TEST_F(CompareTest, AnOtherSideThatIsNoArchiveSaysWhyAndShowsNoList) {
  WriteSides();
  const std::string notAnArchive = TempDir() + "notes.pak";
  ASSERT_TRUE(WriteDiskFile(notAnArchive, "just some notes, no archive at all"));
  ASSERT_NE(Open(modPath_), nullptr);
  DialogWatcher open("Compare With", 0, 10000, [&](HWND dialog) {
    TypeFileName(dialog, notAnArchive);
    PressDialogButton(dialog, IDOK);
  });
  DialogWatcher error("Compare", IDOK);
  SendMessageA(frame_, WM_COMMAND, ID_FILE_COMPARE, 0);
  ASSERT_TRUE(open.Wait().found);
  const WatchedDialog seen = error.Wait();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message.rfind("Error reading PAK file", 0), 0u) << seen.message;
  EXPECT_NE(seen.message.find(Lower(notAnArchive)), std::string::npos) << seen.message;
}

}  // namespace
