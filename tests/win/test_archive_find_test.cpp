// File > Test Archive and Edit > Find in archive windows: the progress dialog, the result
// messages, Cancel, and the Find dialog driven through its controls and real keys.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "resources/command_ids.h"
#include "resources/find_ids.h"
#include "services/globals.h"
#include "tests/core/sample_archives.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/screenshot.h"

namespace {

bool Grayed(int command) { return (GetMenuState(g_mainMenu, command, MF_BYCOMMAND) & MF_GRAYED) != 0; }

class TestArchiveTest : public ArchiveWindowTest {
 protected:
  // Runs File > Test Archive through the frame and answers the result box with OK.
  WatchedDialog RunTest() {
    DialogWatcher result("Test Archive", IDOK);
    SendMessageA(frame_, WM_COMMAND, ID_FILE_TEST_ARCHIVE, 0);
    return result.Wait();
  }
};

TEST_F(TestArchiveTest, ACleanArchiveHasNoErrorsInAllItsFilesAndStaysAsItWas) {
  const std::string path = TempDir() + "views.zip";
  HWND window = OpenCopy("views.zip", path);
  ASSERT_NE(window, nullptr);
  WindowDocument* doc = DocumentOf(window);
  EXPECT_FALSE(Grayed(ID_FILE_TEST_ARCHIVE));
  const std::vector<uint8_t> before = FileBytes(path);
  const std::string title = Title(window);

  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  // views.zip holds ten files and one directory.
  EXPECT_EQ(seen.message, "No errors found in 10 files.");
  EXPECT_EQ(doc->modified, 0);
  EXPECT_EQ(Title(window), title);
  EXPECT_EQ(FileBytes(path), before);
  EXPECT_EQ(FindOwnDialog("Testing..."), nullptr) << "the progress dialog is gone";
}

// An archive in a folder of the Quake III family: the test names the rules of its engine the
// archive breaks, after the damage it finds.
TEST_F(TestArchiveTest, TheRulesOfTheArchivesEngineFollowTheDamage) {
  const std::string folder = TempDir() + "baseq3";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string longPath = "textures/base/" + std::string(46, 't') + ".tga";  // 64 characters
  sample::ZipEntry lzma = StoredZipEntry("maps/lzma.bsp", "not really LZMA");
  lzma.method = 14;
  const std::vector<uint8_t> bytes =
      sample::ZipWithData({StoredZipEntry(longPath, "texture"), StoredZipEntry("sound/a..b.wav", "sound"), lzma});
  const std::string path = folder + "\\zz-mod.pk3";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  ASSERT_NE(Open(path), nullptr);
  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message,
            "1 of 3 files is damaged:\nmaps/lzma.bsp: it uses a compression method Vellumix cannot read\n\n"
            "This archive breaks 3 rules of Quake III Arena family:\n"
            "\nMost of a Quake III Arena family engine cannot name a path longer than 63 characters (MAX_QPATH): \"" +
                longPath +
                "\" has 64."
                "\nQuake III Arena family engines refuse a path holding \"..\", \"\\\" or \":\": \"sound/a..b.wav\"."
                "\nQuake III Arena family engines read only stored and deflated entries: \"maps/lzma.bsp\" is "
                "compressed by method 14 (LZMA).");
}

// A path stored twice is no damage: the box says so, and warns that only the first is used.
TEST_F(TestArchiveTest, APathStoredTwiceIsAWarningNotAnError) {
  HWND window = OpenCopy("twice.zip", TempDir() + "twice.zip");
  ASSERT_NE(window, nullptr);
  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message,
            "No errors found in 2 files.\n\nWarning: stored more than once (only the first is used):\n"
            "maps/same.txt: 2 times");
}

TEST_F(TestArchiveTest, ANewDocumentHasNoFileToTest) {
  HWND window = OpenNew();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(Grayed(ID_FILE_TEST_ARCHIVE));
  // Sent anyway (the grayed item cannot be chosen), it says why nothing is tested.
  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message, "This archive has not been saved yet, so there is no file to test.");
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  EXPECT_TRUE(Grayed(ID_FILE_TEST_ARCHIVE)) << "no archive window left";
}

TEST_F(TestArchiveTest, AFlippedByteNamesTheDamagedEntryAndItsReason) {
  std::vector<uint8_t> text(20000);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>("abcdefgh\n"[i % 9]);
  std::vector<sample::ZipEntry> entries = {DeflatedZipEntry("maps/e1m1.bsp", text),
                                           StoredZipEntry("sound/beep.wav", "RIFF....WAVEfmt "),
                                           StoredZipEntry("readme.txt", "Read me.")};
  entries[1].bytes[5] ^= 0x01;
  const std::string path = TempDir() + "flipped.pk3";
  ASSERT_TRUE(WriteBytes(path, sample::ZipWithData(entries)));
  HWND window = Open(path);
  ASSERT_NE(window, nullptr);
  const std::vector<uint8_t> before = FileBytes(path);

  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message,
            "1 of 3 files is damaged:\n"
            "sound/beep.wav: its data does not match its CRC-32 (the archive is damaged)");
  EXPECT_EQ(DocumentOf(window)->modified, 0);
  EXPECT_EQ(FileBytes(path), before);
}

// Two central records over one local header stand for one entry's bytes twice, the way a
// crafted archive makes a small file stand for many large ones: both are named, with each
// other, and neither is inflated.
TEST_F(TestArchiveTest, EntriesSharingTheirBytesAreNamedWithEachOther) {
  std::vector<uint8_t> text(20000);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>("abcdefgh\n"[i % 9]);
  std::vector<uint8_t> zip =
      sample::ZipWithData({DeflatedZipEntry("maps/a.bsp", text), DeflatedZipEntry("maps/b.bsp", text),
                           StoredZipEntry("readme.txt", "Read me.")});
  // The second central record is pointed at the first local header.
  size_t central = 0;
  for (int records = 0;; ++central) {
    const bool signature = zip[central] == 0x50 && zip[central + 1] == 0x4B && zip[central + 2] == 1 && zip[central + 3] == 2;
    if (signature && ++records == 2) break;
  }
  std::fill_n(zip.begin() + static_cast<std::ptrdiff_t>(central + 42), 4, 0);
  const std::string path = TempDir() + "shared.pk3";
  ASSERT_TRUE(WriteBytes(path, zip));
  ASSERT_NE(Open(path), nullptr);

  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message.rfind("2 of 3 files are damaged:\n", 0), 0u) << seen.message;
  EXPECT_NE(seen.message.find("\nmaps/a.bsp: it shares its data with \"maps/b.bsp\""), std::string::npos) << seen.message;
  EXPECT_NE(seen.message.find("\nmaps/b.bsp: it shares its data with \"maps/a.bsp\""), std::string::npos) << seen.message;
}

TEST_F(TestArchiveTest, ManyDamagedEntriesAreListedAScreenfulAtMostAndTheRestCounted) {
  std::vector<sample::ZipEntry> entries;
  for (int i = 0; i < 26; ++i) {
    entries.push_back(StoredZipEntry("bad" + std::to_string(100 + i) + ".txt", "damaged text"));
    entries.back().bytes[0] ^= 0x20;
  }
  entries.push_back(StoredZipEntry("good.txt", "sound text"));
  const std::string path = TempDir() + "many.pk3";
  ASSERT_TRUE(WriteBytes(path, sample::ZipWithData(entries)));
  ASSERT_NE(Open(path), nullptr);

  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  std::vector<std::string> lines;
  for (size_t start = 0, end; start <= seen.message.size(); start = end + 1) {
    end = seen.message.find('\n', start);
    if (end == std::string::npos) end = seen.message.size();
    lines.push_back(seen.message.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 22u) << seen.message;
  EXPECT_EQ(lines[0], "26 of 27 files are damaged:");
  for (size_t i = 1; i <= 20; ++i) {
    EXPECT_EQ(lines[i].rfind("bad", 0), 0u) << lines[i];
    EXPECT_NE(lines[i].find(".txt: its data does not match its CRC-32"), std::string::npos) << lines[i];
  }
  EXPECT_EQ(lines[21], "and 6 more");
}

TEST_F(TestArchiveTest, ADamagedEntryIsNamedWithItsControlBytesEscaped) {
  // A line break in the name would start a line of the box of its own.
  std::vector<sample::ZipEntry> entries = {StoredZipEntry("two\nlines\x1b[0m.txt", "damaged text"),
                                           StoredZipEntry("readme.txt", "Read me.")};
  entries[0].bytes[0] ^= 0x20;
  const std::string path = TempDir() + "hostile.pk3";
  ASSERT_TRUE(WriteBytes(path, sample::ZipWithData(entries)));
  ASSERT_NE(Open(path), nullptr);

  const WatchedDialog seen = RunTest();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message,
            "1 of 2 files is damaged:\n"
            "two\\nlines\\x1b[0m.txt: its data does not match its CRC-32 (the archive is damaged)");
}

TEST_F(TestArchiveTest, CancelStopsTheTestAndClaimsNothingForTheFilesNotRead) {
  // Four hundred entries of 4 MiB of zeros: a small file whose test inflates and checks
  // 1.6 GB, long enough for a click on Cancel to land midway.
  const std::vector<uint8_t> zeros(4u << 20, 0);
  const sample::ZipEntry packed = DeflatedZipEntry("x", zeros);
  std::vector<sample::ZipEntry> entries;
  for (int i = 0; i < 400; ++i) {
    sample::ZipEntry e = packed;
    e.name = "data/file" + std::to_string(i) + ".bin";
    entries.push_back(std::move(e));
  }
  const std::string path = TempDir() + "big.pk3";
  ASSERT_TRUE(WriteBytes(path, sample::ZipWithData(entries)));
  entries.clear();
  HWND window = Open(path);
  ASSERT_NE(window, nullptr);
  const std::vector<uint8_t> before = FileBytes(path);

  DialogWatcher testing("Testing...", 0, 10000, [](HWND dialog) {
    WaitForDialogReady(dialog);
    UpdateWindow(dialog);
    WaitUntilDrawn(dialog);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "testing-with-cancel");
    RECT button;
    GetWindowRect(GetDlgItem(dialog, IDCANCEL), &button);
    ClickAt(POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2});
  });
  const WatchedDialog result = RunTest();
  ASSERT_TRUE(testing.Wait().found);
  ASSERT_TRUE(result.found);
  unsigned read = 0, total = 0;
  char rest[8] = {};
  ASSERT_EQ(std::sscanf(result.message.c_str(), "Test cancelled after %u of %u files%7s", &read, &total, rest), 3)
      << result.message;
  EXPECT_EQ(std::string(rest), ".") << result.message;
  EXPECT_EQ(total, 400u);
  EXPECT_LT(read, 400u);
  EXPECT_EQ(DocumentOf(window)->modified, 0);
  EXPECT_EQ(Title(window), Lower(path));
  EXPECT_EQ(FileBytes(path), before);
}

// ---- Find ----

using Found = std::vector<std::pair<std::string, std::string>>;  // name, folder

Found Results(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_FIND_RESULTS);
  Found found;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) found.push_back({ListText(list, i, 0), ListText(list, i, 1)});
  return found;
}

// Waits (from the watcher's thread) until the dialog's count line reads text.
bool WaitForStatus(HWND dialog, const std::string& text) {
  for (int i = 0; i < 250; ++i) {
    if (DialogItemText(dialog, IDC_FIND_STATUS) == text) return true;
    Sleep(20);
  }
  return false;
}

// Types a pattern into the dialog and presses Find; the results once the count reads status.
Found Search(HWND dialog, const std::string& pattern, const std::string& status) {
  SendMessageA(GetDlgItem(dialog, IDC_FIND_PATTERN), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pattern.c_str()));
  PressDialogButton(dialog, IDOK);
  EXPECT_TRUE(WaitForStatus(dialog, status)) << pattern << ": " << DialogItemText(dialog, IDC_FIND_STATUS);
  return Results(dialog);
}

Found Sorted(Found found) {
  std::sort(found.begin(), found.end());
  return found;
}

int IndexOf(const Found& found, const std::string& name) {
  for (size_t i = 0; i < found.size(); ++i)
    if (found[i].first == name) return static_cast<int>(i);
  return -1;
}

void SelectResult(HWND dialog, int index) {
  LVITEMA item = {};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(GetDlgItem(dialog, IDC_FIND_RESULTS), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

class FindTest : public ViewsWindowTest {
 protected:
  // Opens Find with Ctrl+F in the item list and lets act work the dialog; true when the
  // dialog came and went.
  bool RunFind(std::function<void(HWND)> act) {
    FocusPane(doc_->itemList);
    std::atomic<bool> done{false};
    DialogWatcher watcher("Find", 0, 10000, [&](HWND dialog) {
      WaitForDialogReady(dialog);
      act(dialog);
      done = true;
    });
    PressKeys({VK_CONTROL, 'F'});
    const bool ended = PumpUntil([&] { return done.load() && FindOwnDialog("Find") == nullptr; }, 15000);
    return watcher.Wait().found && ended;
  }

  HTREEITEM Caret() { return TreeView_GetSelection(doc_->folderTree); }

  std::vector<std::string> SelectedListNames() { return ::SelectedListNames(doc_->itemList); }
};

TEST_F(FindTest, APatternListsMatchesWithTheirFoldersAndTheChosenOneIsShown) {
  Found none, bsp, chosen;
  std::string noneStatus;
  ASSERT_TRUE(RunFind([&](HWND dialog) {
    none = Search(dialog, "*.pak", "No items found.");
    bsp = Search(dialog, "*.BSP", "5 items found.");
    WaitUntilDrawn(dialog);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "find-results");
    const int arena = IndexOf(bsp, "arena.bsp");
    if (arena < 0) {
      PressDialogButton(dialog, IDCANCEL);
      return;
    }
    SelectResult(dialog, arena);
    PressDialogButton(dialog, IDC_FIND_SHOW);
  }));
  EXPECT_TRUE(none.empty());
  // Listed folder by folder, each folder's items by name.
  EXPECT_EQ(bsp, (Found{{"a.bsp", "/"},
                        {"z.bsp", "/"},
                        {"level1.bsp", "/maps"},
                        {"level2.bsp", "/maps"},
                        {"arena.bsp", "/maps/dm"}}));
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, root_, "maps");
  ASSERT_NE(maps, nullptr);
  HTREEITEM dm = TreeChildNamed(doc_->folderTree, maps, "dm");
  ASSERT_NE(dm, nullptr);
  EXPECT_EQ(Caret(), dm);
  EXPECT_EQ(ListNames(doc_->itemList), std::vector<std::string>{"arena.bsp"});
  EXPECT_EQ(SelectedListNames(), std::vector<std::string>{"arena.bsp"});
  EXPECT_EQ(ListView_GetNextItem(doc_->itemList, -1, LVNI_FOCUSED), 0);
  EXPECT_EQ(GetFocus(), doc_->itemList);
  EXPECT_EQ(doc_->modified, 0);
}

// Typed text without wildcards finds the names holding it, folders among them; Enter in
// the results chooses one, which shows the folder around it with the item selected.
TEST_F(FindTest, EnterOnAFolderFoundShowsItsParentWithTheFolderSelected) {
  Found found;
  ASSERT_TRUE(RunFind([&](HWND dialog) {
    found = Search(dialog, "DM", "2 items found.");
    HWND list = GetDlgItem(dialog, IDC_FIND_RESULTS);
    const int dm = IndexOf(found, "dm");
    if (dm < 0) {
      PressDialogButton(dialog, IDCANCEL);
      return;
    }
    // The user picks the folder in the results and presses Enter there.
    SelectResult(dialog, dm);
    PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
    for (int i = 0; i < 250 && FocusOf(dialog) != list; ++i) Sleep(20);
    PressKeys({VK_RETURN});
  }));
  EXPECT_EQ(Sorted(found), (Found{{"dm", "/maps"}, {"readme", "/"}}));
  HTREEITEM maps = TreeChildNamed(doc_->folderTree, root_, "maps");
  ASSERT_NE(maps, nullptr);
  EXPECT_EQ(Caret(), maps);
  EXPECT_EQ(SelectedListNames(), std::vector<std::string>{"dm"});
  EXPECT_EQ(GetFocus(), doc_->itemList);
}

// In a game folder Find searches every archive and the loose files, and finds each path
// once, where the game reads it.
TEST_F(FindTest, AGameFolderIsSearchedWholeAndEachPathFoundOnce) {
  const std::string folder = TempDir() + "id1";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((folder + "\\maps").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(folder + "\\pak0.pak", sample::Pak({{"maps/e1m1.bsp", "base"}, {"maps/start.bsp", "s"}})));
  ASSERT_TRUE(WriteBytes(folder + "\\pak1.pak", sample::Pak({{"maps/e1m1.bsp", "mod"}, {"progs.dat", "p"}})));
  ASSERT_TRUE(WriteBytes(folder + "\\maps\\custom.bsp", {'c'}));
  window_ = Open(folder);
  ASSERT_NE(window_, nullptr);
  doc_ = DocumentOf(window_);
  ASSERT_TRUE(IsGameFolderView(doc_));
  Found found;
  ASSERT_TRUE(RunFind([&](HWND dialog) {
    found = Search(dialog, "*.bsp", "3 items found.");
    const int custom = IndexOf(found, "custom.bsp");
    if (custom < 0) {
      PressDialogButton(dialog, IDCANCEL);
      return;
    }
    SelectResult(dialog, custom);
    PressDialogButton(dialog, IDC_FIND_SHOW);
  }));
  EXPECT_EQ(Sorted(found), (Found{{"custom.bsp", "/maps"}, {"e1m1.bsp", "/maps"}, {"start.bsp", "/maps"}}));
  EXPECT_EQ(TreeText(doc_->folderTree, Caret()), "maps");
  EXPECT_EQ(SelectedListNames(), std::vector<std::string>{"custom.bsp"});
}

TEST_F(FindTest, CloseLeavesTheFolderAndSelectionAsTheyWere) {
  const std::vector<std::string> listed = ListNames(doc_->itemList);
  Found found;
  ASSERT_TRUE(RunFind([&](HWND dialog) {
    found = Search(dialog, "?.bsp", "2 items found.");
    PressDialogButton(dialog, IDCANCEL);
  }));
  EXPECT_EQ(Sorted(found), (Found{{"a.bsp", "/"}, {"z.bsp", "/"}}));
  EXPECT_EQ(Caret(), root_);
  EXPECT_EQ(ListNames(doc_->itemList), listed);
  EXPECT_TRUE(SelectedListNames().empty());
}

}  // namespace

// A name found that is longer than the results list's buffer is cut between characters of
// its UTF-8, never inside one.
TEST_F(FindTest, ALongNameFoundIsCutBetweenCharacters) {
  std::string name;
  for (int i = 0; i < 100; ++i) name += "\xE6\xA8\xA1";  // 300 bytes
  name += ".txt";
  static const uint8_t kBytes[] = {'x'};
  ASSERT_NE(doc_->tree->AddFile(doc_->root(), name, MemoryBytes{EntryBuffer::Copy(kBytes, sizeof kBytes)}), nullptr);
  std::string whole, cut;
  ASSERT_TRUE(RunFind([&](HWND dialog) {
    const Found found = Search(dialog, "*.txt", "3 items found.");
    const int index = IndexOf(found, name);
    whole = index >= 0 ? found[static_cast<size_t>(index)].first : "";
    char text[260] = {};
    LVITEMA item = {};
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (index >= 0) SendMessageA(GetDlgItem(dialog, IDC_FIND_RESULTS), LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    cut = text;
    PressDialogButton(dialog, IDCANCEL);
  }));
  EXPECT_EQ(whole, name);
  // 259 bytes of room: 86 characters of three bytes each.
  EXPECT_EQ(cut, name.substr(0, 258));
}
