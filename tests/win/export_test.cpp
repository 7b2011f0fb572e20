// Nodes of archive windows written to the disk: files, directories and the root, their
// conflicts with disk files, and stored names that must not lead out of the chosen directory.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "window/view_entry.h"
#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "transfer/export.h"
#include "window/disk_import.h"
#include "panes/views.h"
#include "services/settings.h"

namespace {

using Names = std::vector<std::string>;

// A PAK of the given stored names and bytes; length, when not -1, replaces an entry's true one.
std::string PakBytes(const std::vector<std::pair<std::string, std::string>>& items, int64_t badLength = -1) {
  std::string body, dir;
  auto put32 = [](std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  };
  for (const auto& item : items) {
    std::string name = item.first;
    name.resize(56, '\0');
    dir += name;
    put32(dir, static_cast<uint32_t>(12 + body.size()));
    put32(dir, badLength >= 0 ? static_cast<uint32_t>(badLength) : static_cast<uint32_t>(item.second.size()));
    body += item.second;
  }
  std::string out = "PACK";
  put32(out, static_cast<uint32_t>(12 + body.size()));
  put32(out, static_cast<uint32_t>(dir.size()));
  return out + body + dir;
}

class ExportTest : public ArchiveWindowTest {
 protected:
  WindowDocument* OpenFixture(const std::string& name) {
    return OpenDoc(WinFixture(name), &window_);
  }
  WindowDocument* OpenPak(const std::string& bytes) {
    const std::string path = TempDir() + "made.pak";
    EXPECT_TRUE(WriteDiskFile(path, bytes));
    return OpenDoc(path, &window_);
  }
  // A fresh directory below the test's own, with its separator.
  std::string Folder(const std::string& name) {
    CreateDirectoryA((TempDir() + name).c_str(), nullptr);
    return TempDir() + name + "\\";
  }
  int Export(WindowDocument* doc, const std::string& storedPath, const std::string& path) {
    Node* node = storedPath.empty() ? doc->root() : NodeAt(doc, storedPath);
    EXPECT_NE(node, nullptr) << storedPath;
    if (!node) return -1;
    return ExportNode(window_, doc, node, path.c_str(), &state_);
  }
  TransferState state_{0, 0, ReplaceMode::Ask};
  HWND window_ = nullptr;
};

void SelectListItems(HWND list, const Names& names) {
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  const Names all = ListNames(list);
  for (size_t i = 0; i < all.size(); ++i)
    for (const std::string& n : names)
      if (all[i] == n) ListView_SetItemState(list, static_cast<int>(i), LVIS_SELECTED, LVIS_SELECTED);
}

}  // namespace

TEST_F(ExportTest, RootDirectoriesAndFilesCarryTheArchivesBytes) {
  for (const char* fixture : {"views.zip", "views.pak"}) {
    SCOPED_TRACE(fixture);
    WindowDocument* doc = OpenFixture(fixture);
    ASSERT_NE(doc, nullptr);
    const std::string all = Folder(std::string("all-") + fixture);
    EXPECT_EQ(Export(doc, "", all), 1);
    Names expected = {"a.bsp", "b", "empty.txt", "maps\\", "maps\\dm\\", "maps\\dm\\arena.bsp",
                      "maps\\level1.bsp", "maps\\level2.bsp", "notes.txt", "readme", "sound\\", "z.bsp"};
    if (std::string(fixture) == "views.zip") expected.insert(expected.begin() + 2, "big.dat");
    EXPECT_EQ(DiskListing(all), expected);
    for (const std::string& p : expected) {
      if (p.back() == '\\') continue;
      std::string stored = p;
      for (char& c : stored) c = c == '\\' ? '/' : c;
      EXPECT_EQ(ReadDiskFile(all + p), EntryText(doc, stored)) << p;
    }
    EXPECT_EQ(ReadDiskFile(all + "maps\\level1.bsp"), std::string(700, 'L'));  // inflated

    const std::string one = Folder(std::string("one-") + fixture);
    EXPECT_EQ(Export(doc, "maps", one), 1);
    EXPECT_EQ(DiskListing(one), (Names{"maps\\", "maps\\dm\\", "maps\\dm\\arena.bsp", "maps\\level1.bsp",
                                      "maps\\level2.bsp"}));
    EXPECT_EQ(Export(doc, "empty.txt", one + "copy of empty"), 1);
    EXPECT_EQ(ReadDiskFile(one + "copy of empty"), "");
    SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);
  }
}

TEST_F(ExportTest, MemoryFilesAreWrittenFromTheirOwnBuffer) {
  window_ = OpenNew();
  WindowDocument* doc = DocumentOf(window_);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(WriteDiskFile(TempDir() + "memo.txt", "held in memory"));
  ASSERT_EQ(ImportFile(window_, doc, (TempDir() + "memo.txt").c_str(), &state_), 1);
  const EntryBuffer* before = NodeAt(doc, "memo.txt")->memory();
  ASSERT_NE(before, nullptr);
  const std::string out = Folder("out");
  EXPECT_EQ(Export(doc, "", out), 1);
  EXPECT_EQ(ReadDiskFile(out + "memo.txt"), "held in memory");
  EXPECT_EQ(NodeAt(doc, "memo.txt")->memory(), before);
}

TEST_F(ExportTest, ExportedFilesCarryTheTimesTheArchiveGivesThem) {
  // A PK3 entry's DOS time, a local time; the shell's times are UTC.
  WindowDocument* zip = OpenFixture("views.zip");
  ASSERT_NE(zip, nullptr);
  const std::string out = Folder("out");
  ASSERT_EQ(Export(zip, "maps/level2.bsp", out + "level2.bsp"), 1);
  const EntryInfo info = zip->source->Info(NodeAt(zip, "maps/level2.bsp")->source()->index);
  FILETIME local, utc;
  ASSERT_TRUE(DosDateTimeToFileTime(HIWORD(info.dosTime), LOWORD(info.dosTime), &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  const FILETIME exported = WriteTimeOf(out + "level2.bsp");
  EXPECT_EQ(CompareFileTime(&exported, &utc), 0);
  // A PAK stores no times: its files take the archive file's.
  const std::string pak = TempDir() + "stamped.pak";
  ASSERT_TRUE(WriteDiskFile(pak, PakBytes({{"readme.txt", "read me"}})));
  const FILETIME pakTime = SystemTimeAt(2011, 3, 4, 5);
  ASSERT_TRUE(SetWriteTime(pak, pakTime));
  HWND pakWindow;
  WindowDocument* stamped = OpenDoc(pak, &pakWindow);
  ASSERT_NE(stamped, nullptr);
  ASSERT_EQ(Export(stamped, "readme.txt", out + "readme.txt"), 1);
  const FILETIME fromPak = WriteTimeOf(out + "readme.txt");
  EXPECT_EQ(CompareFileTime(&fromPak, &pakTime), 0);
  // An imported file keeps its own time, and an export gives it back.
  const std::string disk = TempDir() + "memo.txt";
  ASSERT_TRUE(WriteDiskFile(disk, "memo"));
  const FILETIME diskTime = SystemTimeAt(2004, 7, 8, 9);
  ASSERT_TRUE(SetWriteTime(disk, diskTime));
  ASSERT_EQ(ImportFile(pakWindow, stamped, disk.c_str(), &state_), 1);
  ASSERT_EQ(Export(stamped, "memo.txt", out + "memo.txt"), 1);
  const FILETIME fromMemory = WriteTimeOf(out + "memo.txt");
  EXPECT_EQ(CompareFileTime(&fromMemory, &diskTime), 0);
}

TEST_F(ExportTest, ExistingDiskFilesGoThroughTheQuestion) {
  WindowDocument* doc = OpenFixture("views.pak");
  ASSERT_NE(doc, nullptr);
  const std::string out = Folder("out");
  ASSERT_EQ(Export(doc, "maps", out), 1);
  const Names files = {"maps\\dm\\arena.bsp", "maps\\level1.bsp", "maps\\level2.bsp"};
  struct Case {
    std::vector<int> answers;
    size_t asked;
    int written;
    int result;
    int cancelled;
  };
  const Case cases[] = {
      {{IDYES, IDYES, IDYES}, 3, 3, 1, 0},
      {{IDNO, IDYES, IDNO}, 3, 1, 0, 0},
      {{IDC_REPLACE_YES_TO_ALL}, 1, 3, 1, 0},
      {{IDC_REPLACE_NO_TO_ALL}, 1, 0, 0, 0},
      {{IDYES, IDCANCEL}, 2, 1, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "answers " << c.answers.size() << " first " << c.answers[0]);
    for (const std::string& f : files) ASSERT_TRUE(WriteDiskFile(out + f, "on disk"));
    TransferState state{0, 0, ReplaceMode::Ask};
    DialogSeries series(kReplaceCaption, c.answers);
    EXPECT_EQ(ExportNode(window_, doc, NodeAt(doc, "maps"), out.c_str(), &state), c.result);
    std::vector<AnsweredDialog> seen = series.Finish();
    EXPECT_EQ(seen.size(), c.asked);
    EXPECT_EQ(series.extra(), 0);
    EXPECT_EQ(state.cancelled, c.cancelled);
    int written = 0;
    for (const std::string& f : files) written += ReadDiskFile(out + f) != "on disk";
    EXPECT_EQ(written, c.written);
    // The disk file is the existing side: its name and its size; the archive's file the other.
    for (const AnsweredDialog& d : seen) {
      EXPECT_EQ(d.existingSize, "7 bytes");
      EXPECT_NE(d.message.find(".bsp'."), std::string::npos) << d.message;
      EXPECT_NE(d.incomingSize, "7 bytes");
    }
  }
}

// Regression: a file written over was written into, so a second name of it elsewhere (a hard
// link to a file outside the chosen folder) got the archive's bytes too.
TEST_F(ExportTest, AFileWrittenOverIsReplacedNeverWrittenThroughAHardLink) {
  WindowDocument* doc = OpenFixture("views.pak");
  ASSERT_NE(doc, nullptr);
  const std::string out = Folder("linked");
  const std::string outside = TempDir() + "outside.bsp";
  ASSERT_TRUE(WriteDiskFile(outside, "keep me"));
  ASSERT_TRUE(CreateDirectoryA((out + "maps").c_str(), nullptr));
  ASSERT_TRUE(CreateHardLinkA((out + "maps\\level1.bsp").c_str(), outside.c_str(), nullptr));
  TransferState state{0, 0, ReplaceMode::Ask};
  DialogSeries series(kReplaceCaption, {IDYES});
  EXPECT_EQ(ExportNode(window_, doc, NodeAt(doc, "maps"), out.c_str(), &state), 1);
  EXPECT_EQ(series.Finish().size(), 1u);
  EXPECT_EQ(ReadDiskFile(outside), "keep me");
  EXPECT_EQ(ReadDiskFile(out + "maps\\level1.bsp"), EntryText(doc, "maps/level1.bsp"));
  // No temporary file is left beside it.
  EXPECT_EQ(DiskListing(out), (Names{"maps\\", "maps\\dm\\", "maps\\dm\\arena.bsp", "maps\\level1.bsp",
                                    "maps\\level2.bsp"}));
}

// Regression: stored names were joined to the chosen directory as they were, so an archive
// could write anywhere ("..", a drive, backslashes inside a stored name).
TEST_F(ExportTest, NamesThatWouldLeaveTheChosenDirectoryAreRefused) {
  WindowDocument* doc = OpenPak(PakBytes({{"good.txt", "good"},
                                          {"../../escape.txt", "escaped"},
                                          {"sub/..\\..\\evil.txt", "evil"},
                                          {"sub/fine.txt", "fine"},
                                          {"c:/drive.txt", "drive"},
                                          {"dots/.. /x.txt", "dots"},
                                          {"nul.txt", "device"}}));
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(NodeAt(doc, ".."), nullptr);
  ASSERT_NE(NodeAt(doc, "sub/..\\..\\evil.txt"), nullptr);
  const std::string deep = Folder("a") + "b\\";
  CreateDirectoryA(deep.c_str(), nullptr);
  const std::string out = deep + "out\\";
  CreateDirectoryA(out.c_str(), nullptr);

  // Each name is left out and noted, for one message once the export is over.
  EXPECT_EQ(Export(doc, "", out), 0);
  EXPECT_EQ(state_.failures, 5);
  EXPECT_NE(state_.firstFailure.find(": the name is not allowed on disk"), std::string::npos) << state_.firstFailure;
  // Everything written lies inside the chosen directory, and the rest was exported.
  EXPECT_EQ(DiskListing(TempDir()),
            (Names{"a\\", "a\\b\\", "a\\b\\out\\", "a\\b\\out\\dots\\", "a\\b\\out\\good.txt",
                   "a\\b\\out\\sub\\", "a\\b\\out\\sub\\fine.txt", "made.pak"}));
  EXPECT_EQ(ReadDiskFile(out + "sub\\fine.txt"), "fine");

  // The same names chosen one by one in the list are refused too.
  SetFocus(doc->itemList);
  SelectListItems(doc->itemList, {"..", "nul.txt", "good.txt"});
  const std::string picked = Folder("picked");
  DialogSeries refusals("Export", {IDOK});
  DialogWatcher browse("Browse for Folder", 0, 10000,
                       [picked](HWND dialog) { ChooseFolderInBrowseDialog(dialog, picked); });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  EXPECT_TRUE(browse.Wait().found);
  const std::vector<AnsweredDialog> told = refusals.Finish();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].message, "2 items were not exported. The first: \"..\": the name is not allowed on disk.");
  EXPECT_EQ(DiskListing(picked), Names{"good.txt"});
}

TEST_F(ExportTest, DirectoryThatCannotBeMadeIsReportedAndLongPathsLeftOut) {
  WindowDocument* doc = OpenFixture("views.pak");
  ASSERT_NE(doc, nullptr);
  const std::string missing = TempDir() + "no such place\\";
  DialogWatcher error("Export", IDOK);
  EXPECT_EQ(Export(doc, "maps", missing), 0);
  WatchedDialog seen = error.Wait();
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(seen.message, "Error creating directory " + missing + "maps");
  // A directory whose path would reach 260 characters is not made, and neither is a file
  // whose path would be too long; each is named.
  std::string longPath = Folder("l");
  longPath += std::string(259 - longPath.size() - 4, 'x') + "\\";
  EXPECT_EQ(Export(doc, "maps", longPath), 0);
  EXPECT_EQ(Export(doc, "z.bsp", TempDir() + std::string(300, 'y')), 0);
  EXPECT_EQ(state_.failures, 2);
}

TEST_F(ExportTest, ExportCommandWritesTheChosenFileOrSaysItFailed) {
  WindowDocument* doc = OpenPak(PakBytes({{"readme.txt", "read me"}}));
  ASSERT_NE(doc, nullptr);
  SetFocus(doc->itemList);
  SelectListItems(doc->itemList, {"readme.txt"});
  const std::string target = TempDir() + "exported.txt";
  DialogWatcher save("Export File", 0, 10000, [target](HWND dialog) {
    SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(target.c_str()));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  WatchedDialog dialog = save.Wait();
  EXPECT_TRUE(dialog.found);
  EXPECT_EQ(ReadDiskFile(target), "read me");
  SendMessageA(frame_, WM_COMMAND, ID_WINDOW_CLOSE_ALL, 0);

  // An entry whose bytes lie beyond the end of its archive cannot be exported.
  doc = OpenPak(PakBytes({{"broken.txt", "xyz"}}, 1000));
  ASSERT_NE(doc, nullptr);
  SetFocus(doc->itemList);
  SelectListItems(doc->itemList, {"broken.txt"});
  const std::string broken = TempDir() + "broken.txt";
  DialogWatcher save2("Export File", 0, 10000, [broken](HWND dialog) {
    SendMessageA(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(broken.c_str()));
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  // The entry's bytes lie beyond the end of the archive: the message names it and says so.
  DialogSeries failure("Export", {IDOK});
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  EXPECT_TRUE(save2.Wait().found);
  std::vector<AnsweredDialog> seen = failure.Finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, "Can't export \"broken.txt\": its data is damaged or missing.");
  EXPECT_FALSE(DiskExists(broken));
}

TEST_F(ExportTest, EncryptedEntriesAreNamedNeverWrittenAndNeverViewed) {
  WindowDocument* doc = OpenFixture("encrypted.pk3");
  ASSERT_NE(doc, nullptr);
  const std::string folder = Folder("encrypted");
  SetFocus(doc->itemList);
  SelectListItems(doc->itemList, {"secret.txt", "tiny.txt"});
  DialogWatcher browse("Browse for Folder", 0, 10000,
                       [folder](HWND dialog) { ChooseFolderInBrowseDialog(dialog, folder); });
  DialogSeries failure("Export", {IDOK});
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  EXPECT_TRUE(browse.Wait().found);
  std::vector<AnsweredDialog> seen = failure.Finish();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, "2 items were not exported. The first: \"secret.txt\": it is encrypted.");
  EXPECT_TRUE(DiskListing(folder).empty());

  Node* secret = nullptr;
  for (Node* n = doc->root()->firstChild(); n; n = n->nextSibling())
    if (n->name() == "secret.txt") secret = n;
  ASSERT_NE(secret, nullptr);
  DialogWatcher view("View", IDOK);
  EXPECT_EQ(ViewEntry(window_, secret), 0);
  WatchedDialog refused = view.Wait();
  EXPECT_TRUE(refused.found);
  EXPECT_EQ(refused.message, "Can't view \"secret.txt\": it is encrypted.");
}

TEST_F(ExportTest, ExportCommandOnTheFolderTreeAndOnSeveralItems) {
  WindowDocument* doc = OpenFixture("views.pak");
  ASSERT_NE(doc, nullptr);
  auto browseTo = [](const std::string& folder) {
    return [folder](HWND dialog) { ChooseFolderInBrowseDialog(dialog, folder); };
  };
  // Both folders are made before the first chooser opens: a chooser shows the folders its
  // shell read, and one made between two choosers may not be among them yet.
  const std::string whole = Folder("whole");
  const std::string some = Folder("some");
  // The folder tree with the root selected: the root's children into the folder.
  SetFocus(doc->folderTree);
  DialogWatcher browse("Browse for Folder", 0, 10000, browseTo(whole));
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  EXPECT_TRUE(browse.Wait().found);
  EXPECT_EQ(DiskListing(whole).size(), 12u);
  EXPECT_EQ(ReadDiskFile(whole + "maps\\dm\\arena.bsp"), "AAAAA");

  // Several list items: directories made in the folder, files written into it.
  SetFocus(doc->itemList);
  SelectListItems(doc->itemList, {"maps", "z.bsp", "readme"});
  DialogWatcher browse2("Browse for Folder", 0, 10000, browseTo(some));
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  EXPECT_TRUE(browse2.Wait().found);
  EXPECT_EQ(DiskListing(some), (Names{"maps\\", "maps\\dm\\", "maps\\dm\\arena.bsp", "maps\\level1.bsp",
                                     "maps\\level2.bsp", "readme", "z.bsp"}));

  // Nothing selected: nothing happens, no dialog.
  SelectListItems(doc->itemList, {});
  DialogSeries none("Browse for Folder", {});
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  none.Finish();
  EXPECT_EQ(none.extra(), 0);
}

// The folder chooser starts at the folder last used and takes a path typed into its edit box.
TEST_F(ExportTest, TheFolderChooserStartsAtTheLastFolderAndTakesATypedPath) {
  WindowDocument* doc = OpenPak(PakBytes({{"readme.txt", "read me"}, {"notes.txt", "notes"}}));
  ASSERT_NE(doc, nullptr);
  SetFocus(doc->itemList);
  SelectListItems(doc->itemList, {"readme.txt", "notes.txt"});
  const std::string start = Folder("start");
  const std::string typed = Folder("typed");
  std::snprintf(g_settings.initialDirectory, sizeof g_settings.initialDirectory, "%s", start.c_str());
  // The caret folder of the dialog's tree once it is the one expected: the tree selects
  // its top item first and moves to the starting folder as it fills. The last one seen if
  // it never does.
  auto caretFolder = [](HWND dialog, const char* expected) {
    char text[MAX_PATH] = {};
    PollUntil(
        [&] {
          HWND tree = FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
          TVITEMA item = {};
          item.mask = TVIF_TEXT;
          item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
          item.pszText = text;
          item.cchTextMax = sizeof text;
          if (!item.hItem || !TreeView_GetItem(tree, &item)) text[0] = '\0';
          return lstrcmpiA(text, expected) == 0;
        },
        30000);
    return std::string(text);
  };
  std::string startedAt;
  bool edit = false;
  DialogWatcher browse("Browse for Folder", 0, 10000, [&](HWND dialog) {
    startedAt = caretFolder(dialog, "start");
    HWND box = FindWindowExA(dialog, nullptr, "Edit", nullptr);
    edit = box != nullptr;
    // The chooser writes the selected folder's name into the box once it has settled on
    // it; the user types after that.
    char shown[MAX_PATH] = {};
    PollUntil(
        [&] {
          GetWindowTextA(box, shown, sizeof shown);
          return lstrcmpiA(shown, startedAt.c_str()) == 0;
        },
        box ? 30000 : 0);
    if (box) SetWindowTextA(box, typed.c_str());
    PressDialogButton(dialog, box ? IDOK : IDCANCEL);
  });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  ASSERT_TRUE(browse.Wait().found);
  EXPECT_EQ(Lower(startedAt), "start");
  ASSERT_TRUE(edit) << "the dialog has no edit box";
  EXPECT_EQ(ReadDiskFile(typed + "readme.txt"), "read me");
  EXPECT_EQ(ReadDiskFile(typed + "notes.txt"), "notes");
  EXPECT_TRUE(DiskListing(start).empty());

  // The next export starts where the last one went.
  DialogWatcher again("Browse for Folder", 0, 10000, [&](HWND dialog) {
    startedAt = caretFolder(dialog, "typed");
    PressDialogButton(dialog, IDCANCEL);
  });
  SendMessageA(window_, WM_COMMAND, ID_OBJECT_EXPORT, 0);
  ASSERT_TRUE(again.Wait().found);
  EXPECT_EQ(Lower(startedAt), "typed");
}
