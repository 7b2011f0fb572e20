// Save and Save As of archive windows, with the Save As dialog answered through its
// controls and the results read back from disk.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/core/archive_text.h"
#include "services/settings.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/screenshot.h"
#include "tests/win/support/transfer_test_support.h"
#include "window/save.h"
#include "panes/views.h"

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HWND NameEdit(HWND dialog) {
  HWND box = GetDlgItem(dialog, cmb13);
  HWND edit = box ? FindWindowExA(box, nullptr, "Edit", nullptr) : nullptr;
  return edit ? edit : GetDlgItem(dialog, edt1);
}

std::function<void(HWND)> SaveTo(const std::string& path, bool overwrite = false) {
  return [path, overwrite](HWND dialog) {
    TypeFileName(dialog, path);
    // Posted: the dialog's question about an existing file comes inside the click.
    PressDialogButton(dialog, IDOK);
    if (overwrite) ConfirmOverwrite(dialog);
  };
}

using Listing = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// Every file's stored path and bytes in a document, read through its source.
Listing Contents(WindowDocument* doc) {
  Listing out;
  std::vector<std::pair<const Node*, std::string>> stack = {{doc->root(), ""}};
  while (!stack.empty()) {
    auto [node, prefix] = stack.back();
    stack.pop_back();
    for (const Node* child = node->firstChild(); child; child = child->nextSibling()) {
      std::string path = prefix + child->name();
      if (child->IsDirectory()) {
        out.push_back({path + "/", {}});
        stack.push_back({child, path + "/"});
        continue;
      }
      SharedBytes bytes;
      EXPECT_EQ(LoadEntryBytes(doc, child, &bytes), EntryLoad::Ok) << path;
      out.push_back({path, bytes ? std::vector<uint8_t>(bytes->data(), bytes->data() + bytes->size())
                                 : std::vector<uint8_t>()});
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

class SaveTest : public ArchiveWindowTest {
 protected:
  // A new directory in the root, with its folder item, as New Directory makes one.
  static Node* AddEmptyDirectory(WindowDocument* doc, const std::string& name) {
    Node* added = doc->tree->AddDirectory(doc->root(), name);
    return added && AddFolderItems(doc, added) ? added : nullptr;
  }
  int FilesInDirectory() {
    int count = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((TempDir() + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
  }
  // A copy of fixture at path, open, with a directory "added" put in its root and marked
  // modified; edited receives the contents the document then has.
  HWND OpenEdited(const char* fixture, const std::string& path, Listing* edited) {
    HWND window = OpenCopy(fixture, path);
    if (!window) return nullptr;
    WindowDocument* doc = DocumentOf(window);
    *edited = Contents(doc);
    if (!AddEmptyDirectory(doc, "added")) return nullptr;
    MarkModified(window);
    edited->push_back({"added/", {}});
    std::sort(edited->begin(), edited->end());
    return window;
  }
  // Closes every window, then opens path afresh: it must hold contents.
  void ExpectOnDisk(const std::string& path, const Listing& contents) {
    SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
    HWND again = Open(path);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Contents(DocumentOf(again)), contents);
    SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  }
};

}  // namespace

TEST_F(SaveTest, SaveAsZipTurnsAPakDocumentIntoAPk3AndLeavesThePak) {
  std::string pak = TempDir() + "Source.pak";
  ASSERT_TRUE(CopyFixture("views.pak", pak));
  std::vector<uint8_t> pakBefore = FileBytes(pak);
  HWND window = Open(pak);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  auto before = Contents(doc);
  std::string zip = TempDir() + "Converted.ZIP";
  DialogWatcher watcher("Save Archive", 0, 10000, SaveTo(zip));
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  ASSERT_TRUE(watcher.Wait().found);
  EXPECT_EQ(DocumentFormat(doc), &DefaultFormat());
  EXPECT_EQ(Title(window), Lower(zip));
  EXPECT_STREQ(g_recentFiles.At(0), Lower(zip).c_str());
  EXPECT_EQ(Contents(doc), before);
  EXPECT_EQ(FileBytes(pak), pakBefore);
  Failure why;
  const ArchiveFormat* format = nullptr;
  EXPECT_NE(OpenArchive(Lower(zip), &why, &format), nullptr) << FailureReason(why);
  EXPECT_EQ(format, &DefaultFormat());
}

// The exit code of the command-line tool run with arguments, or -1 when it did not run.
static long RunTool(const std::string& arguments) {
  std::string command = std::string("\"") + VELLUMIX_CLI_EXE + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return -1;
  DWORD code = ~0ul;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code == ~0ul ? -1 : static_cast<long>(code);
}

TEST_F(SaveTest, AnUndoAfterSaveAsToAnotherFormatBringsTheTreeBackAndSavesItWhole) {
  const std::string pak = TempDir() + "Undo.pak";
  ASSERT_TRUE(CopyFixture("views.pak", pak));
  HWND window = Open(pak);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  const Listing before = Contents(doc);
  // Entries of the PAK deleted, then the document saved as a PK3: the PAK's entries are no
  // longer what the document reads.
  SetFocus(doc->itemList);
  for (const char* name : {"readme", "maps"}) {
    LVFINDINFOA find = {};
    find.flags = LVFI_STRING;
    find.psz = name;
    const int index = ListView_FindItem(doc->itemList, -1, &find);
    ASSERT_GE(index, 0) << name;
    ListView_SetItemState(doc->itemList, index, LVIS_SELECTED, LVIS_SELECTED);
  }
  SendMessageA(window, WM_COMMAND, ID_EDIT_DELETE, 0);
  ASSERT_NE(Contents(doc), before);
  const std::string zip = TempDir() + "Undo.pk3";
  DialogWatcher watcher("Save Archive", 0, 10000, SaveTo(zip));
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  ASSERT_TRUE(watcher.Wait().found);
  ASSERT_EQ(DocumentFormat(doc), &DefaultFormat());
  EXPECT_EQ(Title(window), Lower(zip));
  SendMessageA(window, WM_COMMAND, ID_EDIT_UNDO, 0);
  EXPECT_EQ(Contents(doc), before);
  EXPECT_EQ(Title(window), Lower(zip) + " *");
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
  EXPECT_EQ(Title(window), Lower(zip));
  EXPECT_EQ(RunTool("test \"" + zip + "\""), 0);
  ExpectOnDisk(Lower(zip), before);
}

TEST_F(SaveTest, FormatFollowsTheNameOrTheDocument) {
  // A new document saved under a name without extension becomes a PK3.
  HWND untitled = OpenNew();
  ASSERT_NE(untitled, nullptr);
  std::string bare = TempDir() + "plainname";
  {
    DialogWatcher watcher("Save Archive", 0, 10000, SaveTo(bare));
    SendMessageA(untitled, WM_COMMAND, ID_FILE_SAVE, 0);  // Save of a new document is Save As
    EXPECT_TRUE(watcher.Wait().found);
  }
  EXPECT_EQ(DocumentFormat(DocumentOf(untitled)), &DefaultFormat());
  EXPECT_EQ(FileBytes(bare).size(), 22u);  // an empty ZIP
  // A PAK document saved as ".dat" stays a PAK.
  std::string pak = TempDir() + "maps.pak";
  HWND window = OpenCopy("views.pak", pak);
  ASSERT_NE(window, nullptr);
  std::string dat = TempDir() + "maps.dat";
  {
    DialogWatcher watcher("Save Archive", 0, 10000, SaveTo(dat));
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    EXPECT_TRUE(watcher.Wait().found);
  }
  EXPECT_EQ(DocumentFormat(DocumentOf(window)), &PakFormat());
  std::vector<uint8_t> written = FileBytes(dat);
  ASSERT_GE(written.size(), 4u);
  EXPECT_EQ(std::string(written.begin(), written.begin() + 4), "PACK");
}

TEST_F(SaveTest, SaveInPlaceGoesThroughATemporaryFileAndKeepsEveryByte) {
  std::string zip = TempDir() + "inplace.pk3";
  Listing edited;
  HWND window = OpenEdited("views.zip", zip, &edited);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  EXPECT_EQ(Title(window), Lower(zip) + " *");
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
  EXPECT_EQ(Title(window), Lower(zip));
  EXPECT_EQ(doc->modified, 0);
  EXPECT_EQ(FilesInDirectory(), 1) << "the temporary file took the archive's place";
  EXPECT_EQ(Contents(doc), edited);
  // The file on disk holds the change: a fresh open lists the new directory.
  ExpectOnDisk(zip, edited);
}

TEST_F(SaveTest, SaveAsToTheOwnPathIsASave) {
  std::string pak = TempDir() + "own.pak";
  HWND window = OpenCopy("views.pak", pak);
  ASSERT_NE(window, nullptr);
  MarkModified(window);
  DialogWatcher watcher("Save Archive", 0, 10000, SaveTo(pak, true));
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  EXPECT_TRUE(watcher.Wait().found);
  EXPECT_EQ(Title(window), Lower(pak));
  EXPECT_EQ(DocumentFormat(DocumentOf(window)), &PakFormat());
  EXPECT_EQ(FilesInDirectory(), 1);
}

TEST_F(SaveTest, TooManyFilesForAPakIsRefusedAndNothingIsWritten) {
  std::vector<std::string> names;
  for (int i = 0; i < 5000; ++i) names.push_back("f" + std::to_string(i) + ".txt");
  std::vector<uint8_t> bytes = sample::Zip(names);
  std::string zip = TempDir() + "many.pk3";
  FILE* f = std::fopen(zip.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  HWND window = Open(zip);
  ASSERT_NE(window, nullptr);
  std::string pak = TempDir() + "many.pak";
  DialogWatcher dialog("Save Archive", 0, 10000, SaveTo(pak));
  DialogWatcher refusal("Save", IDOK);
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  EXPECT_TRUE(dialog.Wait().found);
  WatchedDialog seen = refusal.Wait();
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(seen.message,
            "Maximum number of files exceeded: \"f4096.txt\" would be entry 4,097, a PAK allows 4,096 (903 more entries "
            "are past the limit).\nOperation aborted.");
  EXPECT_FALSE(Exists(pak));
  EXPECT_EQ(DocumentFormat(DocumentOf(window)), &DefaultFormat());
}

// Save As with a target chosen in its list: the archive breaks a rule of that engine, so the
// save asks first, No writes nothing, Yes writes the archive whole; Save asks again.
TEST_F(SaveTest, TheTargetChosenInSaveAsAsksBeforeAnArchiveThatBreaksItsRules) {
  const std::string zip = TempDir() + "many.pk3";
  const std::vector<uint8_t> bytes = sample::Zip(sample::ManyNames(2049, 0));
  ASSERT_TRUE(WriteDiskFile(zip, std::string(bytes.begin(), bytes.end())));
  HWND window = Open(zip);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  EXPECT_EQ(doc->target, EngineTarget::Any);
  g_settings.saveTarget = 0;
  const std::string pak = TempDir() + "pak0.pak";
  std::string shown;
  const auto chooseQuake = [&](HWND dialog) {
    WaitForDialogReady(dialog);
    HWND list = FindDialogControl(dialog, IDC_SAVE_TARGET);
    if (!list) return;
    char text[64] = {};
    GetWindowTextA(list, text, sizeof text);
    shown = text;
    SendMessageA(list, CB_SETCURSEL, SendMessageA(list, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("Quake")), 0);
    SaveTo(pak)(dialog);
  };
  const std::string question =
      "This archive breaks 1 rule of Quake:\n\nQuake stops with a fatal error at more than 2,048 entries: this archive "
      "has 2,049, the first past them \"f02048.dat\".\n\nSave anyway?";
  {
    DialogWatcher dialog("Save Archive", 0, 10000, chooseQuake);
    DialogWatcher ask("Save", IDNO);
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    ASSERT_TRUE(dialog.Wait().found);
    const WatchedDialog seen = ask.Wait();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.message, question);
  }
  EXPECT_EQ(shown, "Any");
  EXPECT_FALSE(Exists(pak));
  EXPECT_EQ(Title(window), Lower(zip));
  EXPECT_EQ(doc->target, EngineTarget::Quake);
  EXPECT_EQ(g_settings.saveTarget, static_cast<uint32_t>(EngineTarget::Quake));
  {
    // The list now starts at the document's target; Yes writes every entry.
    DialogWatcher dialog("Save Archive", 0, 10000, chooseQuake);
    DialogWatcher ask("Save", IDYES);
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    ASSERT_TRUE(dialog.Wait().found);
    EXPECT_TRUE(ask.Wait().found);
  }
  EXPECT_EQ(shown, "Quake");
  EXPECT_EQ(Title(window), Lower(pak));
  ASSERT_EQ(DocumentFormat(doc), &PakFormat());
  EXPECT_EQ(doc->source->Count(), 2049u);
  // Save checks again, and No leaves the file as it is.
  MarkModified(window);
  const std::vector<uint8_t> saved = FileBytes(pak);
  DialogWatcher ask("Save", IDNO);
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
  const WatchedDialog again = ask.Wait();
  ASSERT_TRUE(again.found);
  EXPECT_EQ(again.message, question);
  EXPECT_EQ(FileBytes(pak), saved);
  EXPECT_EQ(Title(window), Lower(pak) + " *");
  // An archive opened from a game's folder has that game's target, shown in its Properties.
  const std::string baseq2 = TempDir() + "baseq2";
  ASSERT_TRUE(CreateDirectoryA(baseq2.c_str(), nullptr));
  HWND q2 = OpenCopy("views.pak", baseq2 + "\\pak0.pak");
  ASSERT_NE(q2, nullptr);
  EXPECT_EQ(DocumentOf(q2)->target, EngineTarget::Quake2);
}

// Whether the archive at path holds an entry stored under name.
bool StoresEntry(const std::string& path, const std::string& name) {
  Failure why;
  const ArchiveFormat* format = nullptr;
  const std::unique_ptr<ArchiveSource> source = OpenArchive(path, &why, &format);
  for (uint32_t i = 0; source && i < source->Count(); ++i)
    if (source->Name(i) == name) return true;
  return false;
}

// File > Save All: each changed window saved, top first, a new one through Save As; a window
// without changes is not written; Cancel in a Save As leaves the rest unsaved.
TEST_F(SaveTest, SaveAllSavesEveryChangedWindowAndACancelledSaveAsStopsTheRest) {
  Listing pakEdited, zipEdited;
  const std::string pakPath = TempDir() + "a.pak", zipPath = TempDir() + "b.zip";
  HWND pak = OpenEdited("views.pak", pakPath, &pakEdited);
  HWND zip = OpenEdited("views.zip", zipPath, &zipEdited);
  ASSERT_NE(pak, nullptr);
  ASSERT_NE(zip, nullptr);
  const std::string untouchedPath = TempDir() + "c.pak";
  HWND untouched = OpenCopy("views.pak", untouchedPath);
  ASSERT_NE(untouched, nullptr);
  const std::vector<uint8_t> untouchedBytes = FileBytes(untouchedPath);
  HWND fresh = OpenNew();
  ASSERT_NE(fresh, nullptr);
  ASSERT_TRUE(AddEmptyDirectory(DocumentOf(fresh), "fresh"));
  MarkModified(fresh);
  const std::string named = TempDir() + "fresh.pk3";
  {
    DialogWatcher saveAs("Save Archive", 0, 10000, SaveTo(named));
    SendMessageA(frame_, WM_COMMAND, ID_FILE_SAVE_ALL, 0);
    ASSERT_TRUE(saveAs.Wait().found);
  }
  EXPECT_EQ(Title(fresh), Lower(named));
  EXPECT_EQ(Title(pak), Lower(pakPath));
  EXPECT_EQ(Title(zip), Lower(zipPath));
  EXPECT_TRUE(StoresEntry(Lower(named), "fresh/"));
  EXPECT_TRUE(StoresEntry(pakPath, "added/"));
  EXPECT_TRUE(StoresEntry(zipPath, "added/"));
  EXPECT_EQ(FileBytes(untouchedPath), untouchedBytes);

  // A second new window, now on top: Cancel in its Save As saves nothing after it.
  MarkModified(pak);
  MarkModified(zip);
  HWND second = OpenNew();
  ASSERT_NE(second, nullptr);
  MarkModified(second);
  const std::vector<uint8_t> pakBytes = FileBytes(pakPath);
  {
    DialogWatcher saveAs("Save Archive", IDCANCEL);
    SendMessageA(frame_, WM_COMMAND, ID_FILE_SAVE_ALL, 0);
    ASSERT_TRUE(saveAs.Wait().found);
  }
  EXPECT_EQ(Title(pak), Lower(pakPath) + " *");
  EXPECT_EQ(Title(zip), Lower(zipPath) + " *");
  EXPECT_EQ(FileBytes(pakPath), pakBytes);
}

// The folder a Save As dialog shows, read when the dialog is ready; the dialog cancelled.
std::function<void(HWND)> ReadFolderAndCancel(std::string* folder) {
  return [folder](HWND dialog) {
    WaitForDialogReady(dialog);
    char text[MAX_PATH] = {};
    SendMessageA(dialog, CDM_GETFOLDERPATH, sizeof text, reinterpret_cast<LPARAM>(text));
    *folder = text;
    std::replace(folder->begin(), folder->end(), '/', '\\');
    while (!folder->empty() && folder->back() == '\\') folder->pop_back();
    PressDialogButton(dialog, IDCANCEL);
  };
}

// Save As starts in the folder of the archive saved, and for a new archive in the folder an
// archive was last opened from, not in the one files were last imported from.
TEST_F(SaveTest, SaveAsStartsInTheArchivesFolder) {
  const std::string archives = TempDir() + "archives", imports = TempDir() + "imports";
  ASSERT_TRUE(CreateDirectoryA(archives.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(imports.c_str(), nullptr));
  HWND window = OpenCopy("views.pak", archives + "\\x.pak");
  ASSERT_NE(window, nullptr);
  std::snprintf(g_settings.initialDirectory, sizeof g_settings.initialDirectory, "%s", imports.c_str());
  std::string shown;
  {
    DialogWatcher dialog("Save Archive", 0, 10000, ReadFolderAndCancel(&shown));
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    ASSERT_TRUE(dialog.Wait().found);
  }
  std::string expected = archives;
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(Lower(shown), Lower(expected));
  HWND fresh = OpenNew();
  ASSERT_NE(fresh, nullptr);
  shown.clear();
  {
    DialogWatcher dialog("Save Archive", 0, 10000, ReadFolderAndCancel(&shown));
    SendMessageA(fresh, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    ASSERT_TRUE(dialog.Wait().found);
  }
  EXPECT_EQ(Lower(shown), Lower(expected));
  EXPECT_STREQ(g_settings.initialDirectory, imports.c_str());  // cancelled: the other dialogs keep theirs
}

TEST_F(SaveTest, CompressionListFollowsTheNameAndItsChoiceOutlivesCancel) {
  HWND window = Open(WinFixture("views.pak"));
  ASSERT_NE(window, nullptr);
  g_settings.zipCompressionLevel = 6;
  bool enabledForPak = true, enabledForPk3 = false, enabledAtStart = true, nameFocused = false;
  std::string shownAtStart, proposedName;
  DialogWatcher watcher("Save Archive", IDCANCEL, 10000, [&](HWND dialog) {
    WaitForDialogReady(dialog);
    HWND list = FindDialogControl(dialog, IDC_SAVE_COMPRESSION);
    if (!list) return;
    char text[32] = {};
    GetWindowTextA(list, text, sizeof text);
    shownAtStart = text;
    enabledAtStart = IsWindowEnabled(list) != 0;  // the PAK document's own name is proposed
    HWND edit = NameEdit(dialog);
    char name[MAX_PATH] = {};
    GetWindowTextA(edit, name, sizeof name);
    proposedName = name;
    // The typing goes into the name box at once.
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    nameFocused = GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) && gui.hwndFocus == edit;
    SetWindowTextA(edit, "out.PAK");
    enabledForPak = IsWindowEnabled(list) != 0;
    SetWindowTextA(edit, "out.pk3");
    enabledForPk3 = IsWindowEnabled(list) != 0;
    SendMessageA(list, CB_SETCURSEL, 4, 0);  // "None"
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_SAVE_COMPRESSION, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    PressDialogButton(dialog, IDCANCEL);
  });
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  ASSERT_TRUE(watcher.Wait().found);
  EXPECT_EQ(shownAtStart, "Normal");
  EXPECT_EQ(proposedName, "views.pak");
  EXPECT_TRUE(nameFocused);
  EXPECT_FALSE(enabledAtStart);
  EXPECT_FALSE(enabledForPak);
  EXPECT_TRUE(enabledForPk3);
  EXPECT_EQ(g_settings.zipCompressionLevel, 0u);
}

TEST_F(SaveTest, CompressionRowsAndLevels) {
  const int levels[] = {9, 6, 3, 1, 0};
  for (int position = 0; position < 5; ++position) {
    EXPECT_EQ(CompressionLevelOfPosition(position), levels[position]);
  }
  EXPECT_EQ(CompressionLevelOfPosition(-1), 6);
  EXPECT_EQ(CompressionLevelOfPosition(7), 6);
  const int positionOfLevel[] = {4, 3, 3, 2, 2, 1, 1, 1, 0, 0};
  for (int level = 0; level <= 9; ++level) {
    EXPECT_EQ(CompressionPositionOfLevel(level), positionOfLevel[level]) << level;
  }
}

TEST_F(SaveTest, AnsweringYesThenCancellingSaveAsKeepsTheWindow) {
  HWND window = OpenNew();
  ASSERT_NE(window, nullptr);
  MarkModified(window);
  DialogWatcher prompt("Vellumix", IDYES);
  std::string proposedName;
  DialogWatcher saveAs("Save Archive", 0, 10000, [&](HWND dialog) {
    WaitForDialogReady(dialog);
    char name[MAX_PATH] = {};
    GetWindowTextA(NameEdit(dialog), name, sizeof name);
    proposedName = name;
    PressDialogButton(dialog, IDCANCEL);
  });
  EXPECT_FALSE(SendMessageA(window, WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(prompt.Wait().message, "Save changes to Untitled1?");
  EXPECT_TRUE(saveAs.Wait().found);
  EXPECT_EQ(proposedName, "Untitled1.pk3");  // a new document becomes a PK3
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(Title(window), "Untitled1 *");
}

TEST_F(SaveTest, SavingOverAnArchiveOpenElsewhereIsRefused) {
  std::string zip = TempDir() + "open.zip";
  ASSERT_TRUE(CopyFixture("views.zip", zip));
  std::vector<uint8_t> original = FileBytes(zip);
  ASSERT_NE(Open(zip), nullptr);
  HWND untitled = OpenNew();
  ASSERT_NE(untitled, nullptr);
  DialogWatcher dialog("Save Archive", 0, 10000, SaveTo(zip, true));
  DialogWatcher refusal("Save", IDOK);
  SendMessageA(untitled, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  EXPECT_TRUE(dialog.Wait().found);
  EXPECT_EQ(refusal.Wait().message, Lower(zip) + " is open in another window.\nOperation aborted.");
  EXPECT_EQ(FileBytes(zip), original);
  EXPECT_EQ(DocumentFormat(DocumentOf(untitled)), nullptr);
}

TEST_F(SaveTest, SaveAsOntoItsOwnFileUnderAnotherNameIsASave) {
  std::string pak = TempDir() + "own.pak";
  const std::string link = TempDir() + "link.pak";
  ASSERT_TRUE(CreateDirectoryA((TempDir() + "sub").c_str(), nullptr));
  for (const std::string& spelling : {TempDir() + "sub\\..\\own.pak", link}) {
    SCOPED_TRACE(spelling);
    Listing edited;
    HWND window = OpenEdited("views.pak", pak, &edited);
    ASSERT_NE(window, nullptr);
    // A save in place puts a new file at the path: the link is made to the file opened.
    DeleteFileA(link.c_str());
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), pak.c_str(), nullptr));
    DialogWatcher watcher("Save Archive", 0, 10000, SaveTo(spelling, true));
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    EXPECT_TRUE(watcher.Wait().found);
    // Saved in place: the archive the window reads from was never written over.
    EXPECT_EQ(Title(window), Lower(pak));
    EXPECT_EQ(Contents(DocumentOf(window)), edited);
    ExpectOnDisk(pak, edited);
  }
}

// A file that cannot be replaced: read-only, or open in a program that lets nobody delete it.
struct Unreplaceable {
  const char* name;
  const char* reason;  // what the message says
  bool readOnly;
};

class UnreplaceableFile {
 public:
  UnreplaceableFile(const std::string& path, const Unreplaceable& how) : path_(path), readOnly_(how.readOnly) {
    if (readOnly_) {
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    } else {
      held_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
  }
  ~UnreplaceableFile() { Release(); }
  void Release() {
    if (readOnly_) SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
    held_ = INVALID_HANDLE_VALUE;
    readOnly_ = false;
  }

 private:
  std::string path_;
  bool readOnly_;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

const Unreplaceable kUnreplaceable[] = {
    {"read-only", "read-only", true},
    {"in use", "another program is using the file", false},
};

TEST_F(SaveTest, AFailedReplaceKeepsTheWindowTheEditsAndTheFile) {
  for (const Unreplaceable& how : kUnreplaceable) {
    SCOPED_TRACE(how.name);
    std::string zip = TempDir() + "kept.pk3";
    Listing edited;
    HWND window = OpenEdited("views.zip", zip, &edited);
    ASSERT_NE(window, nullptr);
    WindowDocument* doc = DocumentOf(window);
    const std::vector<uint8_t> original = FileBytes(zip);
    UnreplaceableFile file(zip, how);
    DialogWatcher refusal("Save", IDOK);
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
    const WatchedDialog seen = refusal.Wait();
    EXPECT_TRUE(seen.found);
    EXPECT_NE(seen.message.find(how.reason), std::string::npos) << seen.message;
    // The window, its edits and the file on disk are as they were; nothing is left behind.
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(doc->modified, 1);
    EXPECT_EQ(Title(window), Lower(zip) + " *");
    EXPECT_EQ(Contents(doc), edited);
    EXPECT_EQ(FilesInDirectory(), 1);
    EXPECT_EQ(FileBytes(zip), original);
    // Once the file may change, the same edits save.
    file.Release();
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
    EXPECT_EQ(doc->modified, 0);
    EXPECT_EQ(Contents(doc), edited);
    ExpectOnDisk(zip, edited);
  }
}

TEST_F(SaveTest, SaveAsOntoAFileHeldOpenNeverLosesIt) {
  // Another program reads the destination and lets it be deleted, but not written.
  std::string target = TempDir() + "held.pak";
  ASSERT_TRUE(CopyFixture("views.pak", target));
  HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::string zip = TempDir() + "source.zip";
  HWND window = OpenCopy("views.zip", zip);
  ASSERT_NE(window, nullptr);
  const auto contents = Contents(DocumentOf(window));
  DialogWatcher dialog("Save Archive", 0, 10000, SaveTo(target, true));
  DialogWatcher refusal("Save", IDOK);
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  EXPECT_TRUE(dialog.Wait().found);
  const bool refused = refusal.Finish().found;
  CloseHandle(held);
  // Either the save took the file's place whole, or the file is as it was: never gone.
  ASSERT_TRUE(Exists(target));
  if (refused) {
    EXPECT_EQ(Title(window), Lower(zip));
  } else {
    EXPECT_EQ(Title(window), Lower(target));
    ExpectOnDisk(target, contents);
  }
}

TEST_F(SaveTest, WhatAKilledSaveLeftIsRemovedByTheNextSaveThere) {
  RegDeleteKeyA(HKEY_CURRENT_USER, kTemporaryFilesKey);
  std::string zip = TempDir() + "again.zip";
  ASSERT_TRUE(CopyFixture("views.zip", zip));
  // A save killed midway left its temporary file beside the archive, noted as the program's
  // own; a file of the same kind of name that the program never noted is somebody else's.
  // Both are named for other processes than this one, whose save makes its own.
  const unsigned long pid = GetCurrentProcessId();
  const std::string leftover = zip + "." + std::to_string(pid + 4) + "-0.tmp";
  const std::string foreign = zip + "." + std::to_string(pid + 8) + "-0.tmp";
  for (const std::string& path : {leftover, foreign}) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("half a save", f);
    std::fclose(f);
  }
  NoteTemporaryFile(leftover.c_str());
  HWND window = Open(zip);
  ASSERT_NE(window, nullptr);
  MarkModified(window);
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
  EXPECT_EQ(DocumentOf(window)->modified, 0);
  EXPECT_FALSE(Exists(leftover));
  EXPECT_TRUE(Exists(foreign));
  EXPECT_EQ(FilesInDirectory(), 2);
  // Nothing of this save stays noted.
  HKEY key;
  DWORD values = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTemporaryFilesKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
  }
  EXPECT_EQ(values, 0u);
}

TEST_F(SaveTest, CancellingASaveLeavesTheFileAndTheDocumentAsTheyWere) {
  // A PK3 of stored, incompressible files: saving it at level 9 compresses every one anew,
  // long enough for a click on Cancel to land midway.
  std::vector<sample::PakItem> items;
  uint32_t seed = 12345;
  for (int i = 0; i < 300; ++i) {
    std::string data(128 * 1024, '\0');
    for (char& c : data) {
      seed = seed * 1103515245u + 12345u;
      c = static_cast<char>(seed >> 24);
    }
    items.push_back({"data/file" + std::to_string(i) + ".bin", std::move(data)});
  }
  const std::string pak = TempDir() + "big.pak";
  ASSERT_TRUE(WriteBytes(pak, sample::Pak(items)));
  items.clear();
  HWND window = Open(pak);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  const std::string zip = TempDir() + "big.pk3";
  g_settings.zipCompressionLevel = 0;
  DialogWatcher saveAs("Save Archive", 0, 10000, SaveTo(zip));
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
  ASSERT_TRUE(saveAs.Wait().found);
  ASSERT_EQ(Title(window), Lower(zip));

  ASSERT_NE(AddEmptyDirectory(doc, "added"), nullptr);
  MarkModified(window);
  const Listing edited = Contents(doc);
  const std::vector<uint8_t> onDisk = FileBytes(zip);
  g_settings.zipCompressionLevel = 9;
  // The user clicks the dialog's Cancel button as soon as it shows.
  DialogWatcher saving("Saving...", 0, 10000, [](HWND dialog) {
    WaitForDialogReady(dialog);
    UpdateWindow(dialog);  // painted by the saving thread, which looks at its messages between files
    WaitUntilDrawn(dialog);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "saving-with-cancel");
    RECT button;
    GetWindowRect(GetDlgItem(dialog, IDCANCEL), &button);
    ClickAt(POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2});
  });
  SendMessageA(window, WM_COMMAND, ID_FILE_SAVE, 0);
  ASSERT_TRUE(saving.Wait().found);
  EXPECT_EQ(FindOwnDialog("Save"), nullptr) << "a cancelled save shows no message";
  EXPECT_EQ(doc->modified, 1);
  EXPECT_EQ(Title(window), Lower(zip) + " *");
  EXPECT_EQ(Contents(doc), edited);
  EXPECT_EQ(FileBytes(zip), onDisk);
  EXPECT_EQ(FilesInDirectory(), 2) << "the temporary file is gone";
}
