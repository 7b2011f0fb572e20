// Paths beyond ASCII through every door of the window program: the command line and a second
// start, the Open, Save and folder dialogs, Import and Export, the recent files and the
// settings, and shell files dropped in. The manifest makes the process's code page UTF-8, so
// the folder "Мод Ωμέγα 模组" is a narrow path like any other, and one of MAX_PATH characters
// takes more than MAX_PATH bytes.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "resources/command_ids.h"
#include "services/core/path_length.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/messages.h"
#include "services/settings.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "tests/win/support/unicode_support.h"
#include "transfer/core/disk_names.h"
#include "panes/views.h"

namespace {

using Names = std::vector<std::string>;

// Names in the three scripts, with capitals in and beyond ASCII: only A to Z are lower-cased.
const std::string kMapName = "\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0 \xC3\x9C.TXT";     // Карта Ü.TXT
const std::string kMapStored = "\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0 \xC3\x9C.txt";   // Карта Ü.txt
const std::string kArchiveName = "\xCE\x91\xCF\x81\xCF\x87\xCE\xB5\xCE\xAF\xCE\xBF \xE6\xA1\xA3.PAK";  // Αρχείο 档.PAK
const std::string kSoundName = "\xE9\x9F\xB3 \xF0\x9F\x94\x8A.wav";                      // 音 🔊.wav

class UnicodePathsTest : public DataExchangeTest {
 protected:
  void SetUp() override {
    DataExchangeTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest's code page";
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor");
  }
  void TearDown() override {
    DataExchangeTest::TearDown();
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor");
  }
  // The folder "Мод Ωμέγα 模组" (and below it the given path), made, with its separator.
  std::string Folder(const std::string& below = "") {
    std::string folder = TempDir() + kUnicodeFolderName;
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!below.empty()) {
      folder += "\\" + below;
      CreateDirectoryA(folder.c_str(), nullptr);
    }
    EXPECT_TRUE(DiskExists(folder)) << folder;
    return folder + "\\";
  }
  // A folder below the three scripts' one whose path holds more than MAX_PATH bytes of UTF-8
  // but fewer characters than the system's limit, so that a file in it still fits: three
  // folders of 30 characters of three bytes each.
  std::string LongFolder() {
    const std::string part = Repeated("\xE6\xA8\xA1", 30);
    Folder(part);
    Folder(part + "\\" + part);
    const std::string folder = Folder(part + "\\" + part + "\\" + part);
    EXPECT_GT(folder.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_LT(Utf16Length(folder) + 20, kMaxPathUnits);
    return folder;
  }
};

// Types a name into the file dialog and presses OK.
std::function<void(HWND)> TypeAndConfirm(const std::string& text) {
  return [text](HWND dialog) {
    TypeFileName(dialog, text);
    PressDialogButton(dialog, IDOK);
  };
}

// What the system itself counts: the UTF-16 units of a text.
size_t SystemUnits(const std::string& text) {
  return static_cast<size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0));
}

}  // namespace

TEST(PathLengthTest, LengthsAreCountedAsTheSystemCountsThem) {
  struct Case {
    std::string text;
    size_t units;
    bool utf8;
    bool likeTheSystem;  // the system's conversion counts the same
  } cases[] = {
      {"", 0, true, true},
      {"C:\\plain.pak", 12, true, true},
      {kUnicodeFolderName, 12, true, true},
      {"\xF0\x9F\x94\x8A", 2, true, true},                 // beyond U+FFFF: a surrogate pair
      {Repeated("\xE6\xA8\xA1", 259), 259, true, true},    // 777 bytes, the longest path
      {"a\xFF" "b", 3, false, true},                       // a byte that begins nothing
      {"\xC0\xAF", 2, false, true},                        // an overlong '/'
      // Systems differ in how many U+FFFD they make of these; the count is an upper bound.
      {"\xED\xA0\x80", 3, false, false},                   // an encoded surrogate
      {"\xF4\x90\x80\x80", 4, false, false},               // past U+10FFFF
      {"\xE6\xA8", 2, false, false},                       // cut short
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utf16Length(c.text), c.units);
    EXPECT_EQ(IsUtf8(c.text), c.utf8);
    if (c.likeTheSystem) {
      EXPECT_EQ(Utf16Length(c.text), SystemUnits(c.text));
    }
  }
  // Cuts fall between characters, never inside one.
  const std::string mixed = "a\xCE\xA9\xE6\xA8\xA1\xF0\x9F\x94\x8A";
  const size_t cuts[][2] = {{0, 0}, {1, 1}, {2, 1}, {3, 3}, {5, 3}, {6, 6}, {9, 6}, {10, 10}, {50, 10}};
  for (const auto& cut : cuts) EXPECT_EQ(Utf8CutLength(mixed, cut[0]), cut[1]) << cut[0];
  EXPECT_EQ(Utf8CutLength("\xFF\xFF", 1), 1u);
  EXPECT_EQ(kMaxDiskPath, static_cast<size_t>(MAX_PATH - 1));
  EXPECT_GE(kPathBufferSize, 3u * (MAX_PATH - 1) + 1);
}

// A path on the command line, as start-up posts it, and from a second start: in an atom
// where its name fits (255 bytes), as the data of WM_COPYDATA where it does not.
TEST_F(UnicodePathsTest, AnArchiveThereOpensByCommandLineAndBySecondStart) {
  const std::string first = Folder() + kArchiveName;
  ASSERT_TRUE(WriteSmallPak(first));
  std::string commandLine = "\"" + first + "\"";
  PostCommandLine(&commandLine[0]);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  HWND window = ArchiveWindows()[0];
  EXPECT_EQ(Title(window), Lower(first));
  EXPECT_EQ(ListNames(DocumentOf(window)->itemList), Names{"readme.txt"});
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);

  std::string handed = "\"" + first + "\"";
  EXPECT_EQ(HandOffToRunningInstance(&handed[0]), 1);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), Lower(first));
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);

  const std::string longPath = LongFolder() + kArchiveName;
  ASSERT_GT(longPath.size(), 255u);
  ASSERT_TRUE(WriteSmallPak(longPath));
  std::string longLine = "\"" + longPath + "\"";
  EXPECT_EQ(HandOffToRunningInstance(&longLine[0]), 1);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), Lower(longPath));
  EXPECT_EQ(ListNames(DocumentOf(ArchiveWindows()[0])->itemList), Names{"readme.txt"});
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
}

// Names inside an archive show as the ZIP format reads them: flagged ones as UTF-8, others
// in code page 437 (here UTF-8 bytes without the flag, as Info-ZIP writes them on Linux).
TEST_F(UnicodePathsTest, NamesInAnArchiveShowAsTheirCodingReads) {
  const std::string path = Folder() + "names.pk3";
  const auto entry = [](const std::string& name, uint16_t flags) {
    return sample::ZipEntry{name, 0, {'x'}, 0x8CDC1683u, 1, flags};  // the CRC-32 of "x"
  };
  const std::vector<uint8_t> zip =
      sample::ZipWithData({entry("\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0/\xC3\xA9.txt", 0x0800),
                           entry("caf\x82.txt", 0), entry("\xC3\xA9t\xC3\xA9.txt", 0)});
  ASSERT_TRUE(WriteDiskFile(path, std::string(zip.begin(), zip.end())));
  HWND window;
  WindowDocument* doc = OpenDoc(path, &window);
  ASSERT_NE(doc, nullptr);
  // Only A to Z are lower-cased: the Cyrillic capital stays.
  std::vector<std::string> shown = ListNames(doc->itemList);
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(shown, (Names{"caf\xC3\xA9.txt", "\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0",
                          "\xE2\x94\x9C\xE2\x8C\x90t\xE2\x94\x9C\xE2\x8C\x90.txt"}));
  EXPECT_EQ(TreeChildren(doc->folderTree, TreeView_GetRoot(doc->folderTree)),
            Names{"\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0"});
}

// The frame takes from WM_COPYDATA only what the hand-off sends, and copies it before it
// returns: the sender frees its data then.
TEST_F(UnicodePathsTest, TheFrameTakesOnlyAPathHandedOverAsData) {
  const std::string path = Folder() + kArchiveName;
  ASSERT_TRUE(WriteSmallPak(path));
  const auto send = [&](ULONG_PTR tag, std::string bytes, DWORD size) {
    COPYDATASTRUCT data = {tag, size, bytes.empty() ? nullptr : &bytes[0]};
    const LRESULT answer = SendMessageA(frame_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    std::fill(bytes.begin(), bytes.end(), 'x');
    return answer;
  };
  EXPECT_EQ(send(kOpenArchiveData + 1, path, static_cast<DWORD>(path.size())), 0);
  EXPECT_EQ(send(kOpenArchiveData, path, 0), 0);
  EXPECT_EQ(send(kOpenArchiveData, "", 0), 0);
  EXPECT_EQ(send(kOpenArchiveData, std::string(kPathBufferSize, 'a'), static_cast<DWORD>(kPathBufferSize)), 0);
  PumpPending();
  EXPECT_TRUE(ArchiveWindows().empty());
  // A NUL the sender put in ends the path.
  EXPECT_NE(send(kOpenArchiveData, path + std::string(1, '\0') + "junk", static_cast<DWORD>(path.size() + 5)), 0);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), Lower(path));
}

TEST_F(UnicodePathsTest, TheOpenDialogOpensAnArchiveThere) {
  const std::string folder = Folder();
  ASSERT_TRUE(CopyFixture("views.zip", folder + kArchiveName + ".zip"));
  ASSERT_TRUE(WriteSmallPak(folder + kArchiveName));
  const std::string directory = folder.substr(0, folder.size() - 1);
  std::strcpy(g_settings.initialDirectory, directory.c_str());
  DialogWatcher watcher("Open PAK File", 0, 10000,
                        TypeAndConfirm("\"" + kArchiveName + ".zip\" \"" + kArchiveName + "\""));
  SendMessageA(frame_, WM_COMMAND, ID_FILE_OPEN, 0);
  EXPECT_TRUE(watcher.Wait().found);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 2; }));
  Names titles;
  for (HWND w : ArchiveWindows()) titles.push_back(Title(w));
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (Names{Lower(folder + kArchiveName), Lower(folder + kArchiveName + ".zip")}));
  EXPECT_STREQ(g_settings.initialDirectory, directory.c_str());
}

TEST_F(UnicodePathsTest, SaveAsWritesIntoItAndTheRecentFilesKeepItThroughARestart) {
  HWND window = Open(WinFixture("views.zip"));
  ASSERT_NE(window, nullptr);
  const Names listed = ListNames(DocumentOf(window)->itemList);
  ASSERT_FALSE(listed.empty());
  // Both a path that fits MAX_PATH bytes and one that does not.
  const std::string saved = Folder() + kArchiveName;
  const std::string longSaved = LongFolder() + "\xCE\xA9.pk3";
  for (const std::string& target : {saved, longSaved}) {
    SCOPED_TRACE(target);
    DialogWatcher save("Save Archive", 0, 10000, TypeAndConfirm(target));
    SendMessageA(window, WM_COMMAND, ID_FILE_SAVE_AS, 0);
    ASSERT_TRUE(save.Wait().found);
    PumpPending();
    EXPECT_EQ(Title(window), Lower(target));
    EXPECT_STREQ(g_recentFiles.At(0), Lower(target).c_str());
    // Written there in full: the archive opens again with every entry.
    SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
    window = Open(target);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ListNames(DocumentOf(window)->itemList), listed);
  }
  // The settings go to the registry when the program ends, and come back at its next start:
  // both paths whole, in the list and in the submenu.
  std::strcpy(g_settings.initialDirectory, Folder().c_str());
  SaveSettings();
  const std::string directory = g_settings.initialDirectory;
  g_settings.initialDirectory[0] = '\0';
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING | MF_GRAYED, kRecentFileFirstCommand, "");
  ASSERT_TRUE(CreateRecentFileList(menu, kRecentFileCapacity));
  ASSERT_EQ(g_recentFiles.At(0), nullptr);
  LoadSettings();
  LoadRecentFilesFromRegistry();
  EXPECT_EQ(std::string(g_settings.initialDirectory), directory);
  ASSERT_NE(g_recentFiles.At(1), nullptr);
  EXPECT_STREQ(g_recentFiles.At(0), Lower(longSaved).c_str());
  EXPECT_STREQ(g_recentFiles.At(1), Lower(saved).c_str());
  char text[kPathBufferSize + 16] = {};
  GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
  EXPECT_EQ(std::string(text), "&1\t" + Lower(longSaved));
  DestroyMenu(menu);
}

TEST_F(UnicodePathsTest, ImportFromItTakesNamesAsTheyAreWithOnlyAToZLowerCased) {
  const std::string folder = Folder();
  ASSERT_TRUE(WriteDiskFile(folder + kMapName, "map"));
  ASSERT_TRUE(WriteDiskFile(folder + kSoundName, "sound"));
  const std::string inner = Folder("\xCE\x9F\xCE\xB9 \xCE\xA7\xCE\xAC\xCF\x81\xCF\x84\xCE\xB5\xCF\x82");  // Οι Χάρτες
  ASSERT_TRUE(WriteDiskFile(inner + "E1M1 \xE5\x9C\xB0.BSP", "level"));
  const std::string longFile = LongFolder() + kMapName;
  ASSERT_TRUE(WriteDiskFile(longFile, "far"));
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  // Import File: two names chosen in the dialog, which starts in the folder.
  std::strcpy(g_settings.initialDirectory, folder.substr(0, folder.size() - 1).c_str());
  DialogWatcher files("Import File", 0, 10000, TypeAndConfirm("\"" + kMapName + "\" \"" + kSoundName + "\""));
  SendMessageA(window, WM_COMMAND, ID_OBJECT_IMPORT_FILE, 0);
  ASSERT_TRUE(files.Wait().found);
  EXPECT_EQ(EntryText(doc, kMapName), "map");
  EXPECT_EQ(EntryText(doc, kSoundName), "sound");
  // Import Directory: the folder itself, chosen in the folder dialog.
  const std::string chosen = folder.substr(0, folder.size() - 1);
  DialogWatcher directory("Browse for Folder", 0, 10000,
                          [chosen](HWND dialog) { ChooseFolderInBrowseDialog(dialog, chosen); });
  SendMessageA(window, WM_COMMAND, ID_OBJECT_IMPORT_DIRECTORY, 0);
  ASSERT_TRUE(directory.Wait().found);
  const std::string top = kUnicodeFolderName;
  EXPECT_EQ(EntryText(doc, top + "/" + kMapStored), "map");
  EXPECT_EQ(EntryText(doc, top + "/\xCE\x9F\xCE\xB9 \xCE\xA7\xCE\xAC\xCF\x81\xCF\x84\xCE\xB5\xCF\x82/e1m1 \xE5\x9C\xB0.bsp"),
            "level");
  const std::string part = Repeated("\xE6\xA8\xA1", 30);
  EXPECT_EQ(EntryText(doc, top + "/" + part + "/" + part + "/" + part + "/" + kMapStored), "far");
  EXPECT_NE(FolderItemOf(doc, NodeAt(doc, top)), nullptr);
}

TEST_F(UnicodePathsTest, ExportIntoItWritesEveryNameWhole) {
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  static const uint8_t kBytes[] = {'o', 'u', 't'};
  Node* dir = doc->tree->AddDirectory(doc->root(), kUnicodeFolderName);
  ASSERT_NE(dir, nullptr);
  ASSERT_NE(doc->tree->AddFile(dir, kMapStored, MemoryBytes{EntryBuffer::Copy(kBytes, sizeof kBytes)}), nullptr);
  ASSERT_NE(doc->tree->AddFile(doc->root(), kSoundName, MemoryBytes{EntryBuffer::Copy(kBytes, sizeof kBytes)}), nullptr);
  ASSERT_TRUE(AddFolderItems(doc, doc->root()));
  // The list shows the root afresh, with the items added.
  ShowFolderAt(doc, kUnicodeFolderName);
  ShowFolderAt(doc, "");
  // The folder tree's root into a folder whose path holds more than MAX_PATH bytes.
  const std::string distant = LongFolder();
  const std::string farChosen = distant.substr(0, distant.size() - 1);
  SetFocus(doc->folderTree);
  DialogWatcher browse("Browse for Folder", 0, 10000,
                       [farChosen](HWND dialog) { ChooseFolderInBrowseDialog(dialog, farChosen); });
  SendMessageA(window, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  ASSERT_TRUE(browse.Wait().found);
  EXPECT_EQ(DiskListing(distant), (Names{std::string(kUnicodeFolderName) + "\\", std::string(kUnicodeFolderName) + "\\" + kMapStored,
                                     kSoundName}));
  EXPECT_EQ(ReadDiskFile(distant + kUnicodeFolderName + "\\" + kMapStored), "out");
  // One file through the Export File dialog, over an existing one: written beside it and
  // put in its place.
  const std::string target = Folder() + kSoundName;
  ASSERT_TRUE(WriteDiskFile(target, "old"));
  SelectListItems(doc, {kSoundName});
  ASSERT_EQ(ListView_GetSelectedCount(doc->itemList), 1u);
  bool asked = false;
  DialogWatcher save("Export File", 0, 10000, [target, &asked](HWND dialog) {
    TypeFileName(dialog, target);
    PressDialogButton(dialog, IDOK);
    asked = ConfirmOverwrite(dialog);
  });
  DialogSeries replace(kReplaceCaption, {IDYES});
  SendMessageA(window, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  ASSERT_TRUE(save.Wait().found);
  EXPECT_TRUE(asked) << "the dialog asked nothing about the existing file";
  EXPECT_EQ(replace.Finish().size(), 1u);
  EXPECT_EQ(ReadDiskFile(target), "out");
  const std::string part = Repeated("\xE6\xA8\xA1", 30) + "\\";
  const std::string deep = part + part + part;
  EXPECT_EQ(DiskListing(Folder()),
            (Names{part, part + part, deep, deep + kUnicodeFolderName + "\\", deep + kUnicodeFolderName + "\\" + kMapStored,
                   deep + kSoundName, kSoundName}));
}

// Explorer gives dropped files as UTF-16 paths; an older program gives ANSI ones, in UTF-8
// where its code page is UTF-8 and in the system's own page otherwise.
TEST_F(UnicodePathsTest, FilesDroppedFromThereArriveUnderTheirNames) {
  const std::string folder = Folder();
  ASSERT_TRUE(WriteDiskFile(folder + kMapName, "wide"));
  ASSERT_TRUE(WriteDiskFile(folder + kSoundName, "narrow"));
  const std::string longFile = LongFolder() + kArchiveName;
  ASSERT_TRUE(WriteDiskFile(longFile, "far"));
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  ShowWindow(window, SW_MAXIMIZE);
  auto* target = static_cast<IDropTarget*>(doc->dropTarget);
  ASSERT_NE(target, nullptr);
  const auto drop = [&](const Names& paths, bool wide) {
    EXPECT_TRUE(PutFilesOnClipboard(paths, wide));
    IDataObject* files = nullptr;
    EXPECT_EQ(OleGetClipboard(&files), S_OK);
    if (!files) return E_FAIL;
    RECT list = {};
    GetWindowRect(doc->itemList, &list);
    POINTL at = {(list.left + list.right) / 2, (list.top + list.bottom) / 2};
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(files, 0, at, &effect);
    effect = DROPEFFECT_COPY;
    target->DragOver(0, at, &effect);
    effect = DROPEFFECT_COPY;
    const HRESULT result = target->Drop(files, 0, at, &effect);
    files->Release();
    return result;
  };
  EXPECT_EQ(drop({folder + kMapName, longFile}, true), S_OK);
  EXPECT_EQ(EntryText(doc, kMapStored), "wide");
  EXPECT_EQ(EntryText(doc, Lower(kArchiveName)), "far");
  EXPECT_EQ(drop({folder + kSoundName}, false), S_OK);
  EXPECT_EQ(EntryText(doc, kSoundName), "narrow");
  // A path in the system's own code page, from a program without the UTF-8 setting.
  UINT system = 0;
  ASSERT_NE(GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&system), sizeof system / sizeof(WCHAR)), 0);
  const std::wstring name = L"caf\u00E9.txt";
  char ansi[32] = {};
  BOOL lossy = FALSE;
  const bool representable = system != CP_UTF8 &&
                             WideCharToMultiByte(system, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, ansi, sizeof ansi,
                                                 nullptr, &lossy) > 0 &&
                             !lossy && !IsUtf8(ansi);
  if (representable) {
    // Its whole path is in that page: the folder of the three scripts has no form there.
    ASSERT_TRUE(WriteDiskFile(TempDir() + Utf8Of(name), "legacy"));
    EXPECT_EQ(drop({TempDir() + ansi}, false), S_OK);
    EXPECT_EQ(EntryText(doc, Utf8Of(name)), "legacy");
  }
  EXPECT_TRUE(DiskExists(folder + kMapName));
  EXPECT_EQ(ListNames(doc->itemList).size(), representable ? 4u : 3u);
  // Pasted as the shell's Copy leaves them: the same paths.
  ASSERT_TRUE(PutFilesOnClipboard({folder + kMapName, folder + kSoundName}, true));
  HWND other;
  WindowDocument* pasted = OpenDoc("", &other);
  ASSERT_NE(pasted, nullptr);
  SendCommand(other, ID_EDIT_PASTE);
  EXPECT_EQ(EntryText(pasted, kMapStored), "wide");
  EXPECT_EQ(EntryText(pasted, kSoundName), "narrow");
}

// Copies the program noted are found again by their folder, whatever its script, and the
// folder's case is folded in A to Z alone.
TEST_F(UnicodePathsTest, NotedCopiesThereAreRemovedByTheirFolder) {
  const std::string folder = Folder();
  const std::string copy = folder + kSoundName;
  const std::string other = Folder("\xD0\xBC\xD0\xBE\xD0\xB4") + "kept.txt";  // мод: Мод in lower case
  ASSERT_TRUE(WriteDiskFile(copy, "copy"));
  ASSERT_TRUE(WriteDiskFile(other, "other"));
  NoteTemporaryFile(copy.c_str());
  NoteTemporaryFile(other.c_str());
  // The folder named in other capitals: "C:\USERS\..." stands for "C:\users\...".
  std::string upper = folder;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  RemoveLeftoverFiles(upper.c_str());
  EXPECT_FALSE(DiskExists(copy));
  EXPECT_TRUE(DiskExists(other));
  const std::string otherFolder = other.substr(0, other.rfind('\\'));
  // "МОД" is not "мод" for the program: only A to Z fold.
  std::string cyrillicUpper = otherFolder.substr(0, otherFolder.rfind('\\') + 1) + "\xD0\x9C\xD0\x9E\xD0\x94";
  RemoveLeftoverFiles(cyrillicUpper.c_str());
  EXPECT_TRUE(DiskExists(other));
  RemoveLeftoverFiles(otherFolder.c_str());
  EXPECT_FALSE(DiskExists(other));
}

// The tool run in a console of its own code page: while it runs the console takes UTF-8, its
// messages and listing reach the console whole, and the console has its own page back once
// the tool ended.
TEST(ToolConsoleTest, TheToolWritesUtf8ToTheConsoleAndGivesItsPageBack) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  ASSERT_TRUE(SetConsoleOutputCP(437));
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  const COORD origin = {0, 0};
  const auto run = [&](const std::string& arguments, bool* sawUtf8) {
    DWORD written = 0;
    FillConsoleOutputCharacterW(screen, L' ', 80 * 25, origin, &written);
    SetConsoleCursorPosition(screen, origin);
    std::string command = std::string("\"") + VELLUMIX_CLI_EXE + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = screen;
    startup.hStdError = screen;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
      return ~0ul;
    // The console's page as the tool leaves it while it lists.
    while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
      if (GetConsoleOutputCP() == CP_UTF8) *sawUtf8 = true;
    DWORD code = ~0ul;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<unsigned long>(code);
  };
  const auto screenText = [&] {
    std::wstring shown(80 * 25, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, &shown[0], static_cast<DWORD>(shown.size()), origin, &read);
    shown.resize(read);
    return Utf8Of(shown);
  };
  // A listing long enough to be seen while it runs.
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  const std::string folder = std::string(base) + kUnicodeFolderName;
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<sample::PakItem> entries;
  for (int i = 0; i < 3000; ++i) entries.push_back({"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB " + std::to_string(i), "x"});
  const std::vector<uint8_t> pak = sample::Pak(entries);
  const std::string archive = folder + "\\" + kArchiveName;
  ASSERT_TRUE(WriteDiskFile(archive, std::string(pak.begin(), pak.end())));
  bool sawUtf8 = false;
  EXPECT_EQ(run("list \"" + archive + "\"", &sawUtf8), 0ul);
  EXPECT_TRUE(sawUtf8) << "the console never took UTF-8 while the tool ran";
  EXPECT_EQ(GetConsoleOutputCP(), 437u);
  EXPECT_NE(screenText().find("stored    \xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB 2"), std::string::npos) << screenText();
  // A message names the archive whole.
  const std::string missing = folder + "\\missing " + kArchiveName;
  bool ignored = false;
  EXPECT_EQ(run("list \"" + missing + "\"", &ignored), 1ul);
  EXPECT_EQ(GetConsoleOutputCP(), 437u);
  EXPECT_NE(screenText().find("missing " + kArchiveName), std::string::npos) << screenText();
  DeleteFileA(archive.c_str());
  RemoveDirectoryA(folder.c_str());
  CloseHandle(screen);
  FreeConsole();
}
