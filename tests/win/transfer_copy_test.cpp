// Items of archive windows copied into a directory of the same or another window, the
// checks before it, and the Confirm File Replace dialog itself.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "window/archive_transfer.h"
#include "transfer/replace_dialog.h"
#include "panes/views.h"

namespace {

using Names = std::vector<std::string>;

// The live nodes a paste or a drop of Copy, Cut or a drag finds for its ids.
struct Payload {
  TransferPayload payload{};
  Payload(ArchiveDocument* source, std::initializer_list<const Node*> nodes) : payload{source, nodes} {}
};

std::vector<int> SelectedRows(HWND list) {
  std::vector<int> rows;
  for (int i = -1; (i = ListView_GetNextItem(list, i, LVNI_SELECTED)) >= 0;) rows.push_back(i);
  return rows;
}

class TransferCopyTest : public ArchiveWindowTest {
 protected:
  TransferState state_{0, 0, ReplaceMode::Ask};
};

}  // namespace

TEST_F(TransferCopyTest, CopyWithinOneArchiveKeepsArchiveFilesAndListsTheNewItems) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.pak"), &window);
  ASSERT_NE(doc, nullptr);
  Payload p(doc, {NodeAt(doc, "maps"), NodeAt(doc, "readme")});
  // Into the root, which the list shows: the items' own folder, refused without a message.
  EXPECT_EQ(CheckTransfer(window, doc, doc->root(), p.payload, false), 0);
  // Into sound/, the current folder once selected.
  HTREEITEM sound = TreeChildNamed(doc->folderTree, TreeView_GetRoot(doc->folderTree), "sound");
  TreeView_SelectItem(doc->folderTree, sound);
  Node* target = NodeAt(doc, "sound");
  ASSERT_EQ(CheckTransfer(window, doc, target, p.payload, false), 1);
  EXPECT_EQ(RunTransfer(window, doc, target, p.payload, &state_), 1);
  EXPECT_EQ(state_.changed, 1);
  EXPECT_EQ(ListNames(doc->itemList), (Names{"maps", "readme"}));
  EXPECT_EQ(SelectedRows(doc->itemList), (std::vector<int>{0, 1}));
  EXPECT_TRUE(IsSourceFile(NodeAt(doc, "sound/maps/dm/arena.bsp")));
  EXPECT_EQ(EntryText(doc, "sound/maps/level1.bsp"), std::string(700, 'L'));
  EXPECT_EQ(EntryText(doc, "sound/readme"), "read me first\n");
  // The copied directory has its folder items.
  HTREEITEM copied = TreeChildNamed(doc->folderTree, sound, "maps");
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(TreeChildren(doc->folderTree, copied), Names{"dm"});
}

TEST_F(TransferCopyTest, CopyFromAnotherWindowTurnsFilesIntoMemoryFiles) {
  HWND sourceWindow, targetWindow;
  WindowDocument* source = OpenDoc(WinFixture("views.zip"), &sourceWindow);
  WindowDocument* target = OpenDoc("", &targetWindow);
  ASSERT_NE(source, nullptr);
  ASSERT_NE(target, nullptr);
  {
    Payload p(source, {NodeAt(source, "maps"), NodeAt(source, "big.dat"), NodeAt(source, "empty.txt")});
    ASSERT_EQ(CheckTransfer(targetWindow, target, target->root(), p.payload, false), 1);
    EXPECT_EQ(RunTransfer(targetWindow, target, target->root(), p.payload, &state_), 1);
  }
  EXPECT_EQ(ListNames(target->itemList), (Names{"maps", "big.dat", "empty.txt"}));
  EXPECT_EQ(SelectedRows(target->itemList), (std::vector<int>{0, 1, 2}));
  const std::string big = EntryText(source, "big.dat");
  // The source may go away: the copies hold their bytes.
  SendMessageA(sourceWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(sourceWindow); }));
  for (const char* p : {"maps/level1.bsp", "maps/dm/arena.bsp", "big.dat", "empty.txt"})
    EXPECT_TRUE(IsMemoryFile(NodeAt(target, p))) << p;
  EXPECT_EQ(EntryText(target, "maps/level1.bsp"), std::string(700, 'L'));
  EXPECT_EQ(EntryText(target, "big.dat"), big);
  EXPECT_EQ(big.size(), 1234567u);
  EXPECT_EQ(EntryText(target, "empty.txt"), "");
}

TEST_F(TransferCopyTest, ConflictsAreAskedAndClosingTheDialogStopsTheTransfer) {
  HWND sourceWindow, targetWindow;
  WindowDocument* source = OpenDoc(WinFixture("views.pak"), &sourceWindow);
  WindowDocument* target = OpenDoc(WinFixture("views.zip"), &targetWindow);
  ASSERT_NE(source, nullptr);
  ASSERT_NE(target, nullptr);
  Payload p(source, {NodeAt(source, "z.bsp"), NodeAt(source, "a.bsp"), NodeAt(source, "notes.txt")});
  // Make the target's files differ, so a replacement shows.
  for (const char* name : {"z.bsp", "a.bsp", "notes.txt"}) MakeFileDifferent(target, name);
  DialogSeries series(kReplaceCaption, {IDYES, IDCANCEL});
  EXPECT_EQ(RunTransfer(targetWindow, target, target->root(), p.payload, &state_), 0);
  std::vector<AnsweredDialog> seen = series.Finish();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(series.extra(), 0);
  EXPECT_EQ(seen[0].message, "This directory already contains a file named 'z.bsp'.");
  EXPECT_EQ(seen[0].existingSize, "3 bytes");
  EXPECT_EQ(seen[0].incomingSize, "100 bytes");  // the PAK entry's length
  EXPECT_EQ(state_.cancelled, 1);
  EXPECT_EQ(state_.changed, 1);
  EXPECT_EQ(EntryText(target, "z.bsp"), std::string(100, 'z'));
  EXPECT_EQ(EntryText(target, "a.bsp"), "old");
  EXPECT_EQ(EntryText(target, "notes.txt"), "old");  // never reached
}

TEST_F(TransferCopyTest, FailedChecksShowTheirMessageAndChangeNothing) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.pak"), &window);
  ASSERT_NE(doc, nullptr);
  Node* maps = NodeAt(doc, "maps");
  Node* dm = NodeAt(doc, "maps/dm");
  {
    Payload p(doc, {maps});
    DialogWatcher watcher("Move", IDOK);
    EXPECT_EQ(CheckTransfer(window, doc, dm, p.payload, true), 0);
    WatchedDialog seen = watcher.Wait();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.message, "Can't move directory to child.\nOperation aborted.");
  }
  {
    // A PAK path of 56 characters: "maps/dm/" and a 48-character name.
    HWND otherWindow;
    WindowDocument* other = OpenDoc("", &otherWindow);
    ASSERT_NE(other, nullptr);
    const std::string longName(48, 'n');
    doc->tree->Rename(NodeAt(doc, "a.bsp"), longName);
    Payload p(doc, {NodeAt(doc, longName)});
    DialogWatcher watcher("Copy", IDOK);
    EXPECT_EQ(CheckTransfer(window, doc, dm, p.payload, false), 0);
    WatchedDialog seen = watcher.Wait();
    EXPECT_EQ(seen.message, "Maximum path length exceeded: \"maps/dm/" + longName +
                                "\" has 56 characters, a PAK allows 55.\nOperation aborted.");
    // Into a new document the long limit applies.
    EXPECT_EQ(CheckTransfer(otherWindow, other, other->root(), p.payload, false), 1);
  }
  {
    HWND otherWindow;
    WindowDocument* other = OpenDoc("", &otherWindow);
    ASSERT_NE(other, nullptr);
    Payload p(doc, {NodeAt(doc, "maps")});
    // A file named "maps" in the target clashes with the directory.
    other->tree->AddFile(other->root(), "maps", MemoryBytes{});
    DialogWatcher watcher("Copy", IDOK);
    EXPECT_EQ(CheckTransfer(otherWindow, other, other->root(), p.payload, false), 0);
    EXPECT_EQ(watcher.Wait().message, "File and directory share the same name.\nOperation aborted.");
    EXPECT_EQ(other->modified, 0);
    EXPECT_EQ(CountNodes(other->root()), 2u);
  }
}

TEST_F(TransferCopyTest, DialogShowsEachKindsSizeAndAnswersWithItsButtons) {
  HWND pakWindow, zipWindow;
  WindowDocument* pak = OpenDoc(WinFixture("views.pak"), &pakWindow);
  WindowDocument* zip = OpenDoc(WinFixture("views.zip"), &zipWindow);
  ASSERT_NE(pak, nullptr);
  ASSERT_NE(zip, nullptr);
  const ConflictItem pakEntry = ConflictItemOf(NodeAt(pak, "maps/level1.bsp"));
  const ConflictItem zipEntry = ConflictItemOf(NodeAt(zip, "big.dat"));
  const ConflictItem unknown = DiskFileRecord("disk.bsp", -1);
  const ConflictItem memory = DiskFileRecord("disk.bsp", 1234567);
  const ConflictItem folder = ConflictItemOf(NodeAt(zip, "maps"));
  const struct {
    const ConflictItem* existing;
    const ConflictItem* incoming;
    int button;
    int32_t answer;
    std::string existingSize, incomingSize;
  } cases[] = {
      {&pakEntry, &zipEntry, IDYES, kReplaceYes, "700 bytes", Grouped(1234567) + " bytes"},
      {&zipEntry, &pakEntry, IDNO, kReplaceNo, Grouped(1234567) + " bytes", "700 bytes"},
      {&memory, &unknown, IDC_REPLACE_YES_TO_ALL, kReplaceYesToAll, Grouped(1234567) + " bytes", "? bytes"},
      {&unknown, &folder, IDC_REPLACE_NO_TO_ALL, kReplaceNoToAll, "? bytes", "? bytes"},
      {&pakEntry, &pakEntry, IDCANCEL, 2, "700 bytes", "700 bytes"},
  };
  for (const auto& c : cases) {
    DialogSeries series(kReplaceCaption, {c.button});
    EXPECT_EQ(AskReplace(*c.existing, *c.incoming), c.answer);
    std::vector<AnsweredDialog> seen = series.Finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message,
              "This directory already contains a file named '" + c.existing->name + "'.");
    EXPECT_EQ(seen[0].existingSize, c.existingSize);
    EXPECT_EQ(seen[0].incomingSize, c.incomingSize);
  }
  // Escape closes it as the close box does.
  DialogWatcher escape(kReplaceCaption, 0, 10000, [](HWND dialog) {
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(dialog, WM_KEYUP, VK_ESCAPE, 0);
  });
  EXPECT_EQ(AskReplace(pakEntry, zipEntry), IDCANCEL);
  EXPECT_TRUE(escape.Wait().found);
  DialogWatcher closeBox(kReplaceCaption, 0, 10000, [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); });
  EXPECT_EQ(AskReplace(pakEntry, zipEntry), IDCANCEL);
  EXPECT_TRUE(closeBox.Wait().found);
}

TEST_F(TransferCopyTest, DialogDrawsTheFileTypeIconInBothPlaces) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.pak"), &window);
  ASSERT_NE(doc, nullptr);
  const ConflictItem entry = ConflictItemOf(NodeAt(doc, "notes.txt"));
  int painted = 0;
  DialogWatcher watcher(kReplaceCaption, 0, 10000, [&painted](HWND dialog) {
    // The dialog paints its icons once it is shown: wait (bounded) until both places show one.
    auto iconsDrawn = [dialog] {
      int drawn = 0;
      for (int id : {IDC_REPLACE_EXISTING_ICON, IDC_REPLACE_INCOMING_ICON}) {
        HWND place = GetDlgItem(dialog, id);
        HDC dc = GetDC(place);
        const COLORREF background = GetPixel(dc, 19, 19);
        bool differs = false;
        for (int y = 0; y < 32 && !differs; ++y)
          for (int x = 0; x < 32 && !differs; ++x) differs = GetPixel(dc, x, y) != background;
        ReleaseDC(place, dc);
        drawn += differs;
      }
      return drawn;
    };
    const DWORD start = GetTickCount();
    while ((painted = iconsDrawn()) < 2 && GetTickCount() - start < 5000) Sleep(20);
    PressDialogButton(dialog, IDNO);
  });
  EXPECT_EQ(AskReplace(entry, entry), kReplaceNo);
  EXPECT_TRUE(watcher.Wait().found);
  EXPECT_EQ(painted, 2);
}
