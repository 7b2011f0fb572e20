// Cut, Copy and Paste between folders and archive windows, the finishing of a Cut when the
// clipboard lets go, and shell files pasted or dropped in.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/transfer_ids.h"
#include "services/globals.h"
#include "services/messages.h"
#include "tests/win/support/data_exchange_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"
#include "transfer/data_object.h"
#include "transfer/drop_target.h"
#include "panes/views.h"

namespace {

using Names = std::vector<std::string>;

bool Has(const Names& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

class ClipboardCommandsTest : public DataExchangeTest {
 protected:
  // A source window and a target window that already holds "readme" with other bytes, so
  // that a paste of "readme" asks before replacing it; the source shows its root.
  void OpenConflictingPair(WindowDocument** doc, HWND* source, WindowDocument** other, HWND* target) {
    *doc = OpenDoc(WinFixture("views.zip"), source);
    *other = OpenDoc(WinFixture("views.pak"), target);
    ASSERT_NE(*doc, nullptr);
    ASSERT_NE(*other, nullptr);
    MakeFileDifferent(*other, "readme");
    ShowFolderAt(*doc, "");
  }
};

}  // namespace

TEST_F(ClipboardCommandsTest, CopyThenPasteIntoAnotherFolderAndAnotherWindow) {
  HWND source;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &source);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  SelectListItems(doc, {"readme", "maps"});
  SendCommand(source, ID_EDIT_COPY);
  ASSERT_NE(doc->clipboardSource, nullptr);
  EXPECT_FALSE(ListItemCut(doc, "readme"));

  ShowFolderAt(doc, "sound");
  SendCommand(source, ID_EDIT_PASTE);
  EXPECT_EQ(EntryText(doc, "sound/readme"), EntryText(doc, "readme"));
  EXPECT_EQ(EntryText(doc, "sound/maps/dm/arena.bsp"), EntryText(doc, "maps/dm/arena.bsp"));
  EXPECT_TRUE(Has(ListNames(doc->itemList), "readme"));

  HWND target;
  WindowDocument* other = OpenDoc("", &target);
  ASSERT_NE(other, nullptr);
  SendCommand(target, ID_EDIT_PASTE);
  EXPECT_EQ(EntryText(other, "readme"), EntryText(doc, "readme"));
  EXPECT_EQ(EntryText(other, "maps/level1.bsp"), EntryText(doc, "maps/level1.bsp"));
  EXPECT_EQ(EntryText(other, "maps/level1.bsp").size(), 700u);
  EXPECT_TRUE(other->modified);
  // A copy leaves the source as it was, and still on the clipboard.
  EXPECT_NE(NodeAt(doc, "readme"), nullptr);
  EXPECT_NE(doc->clipboardSource, nullptr);
}

TEST_F(ClipboardCommandsTest, CutThenPasteInAnotherWindowMovesAfterTheRelease) {
  HWND source;
  WindowDocument* doc = OpenDoc(WinFixture("views.pak"), &source);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  const std::string readme = EntryText(doc, "readme");
  const std::string arena = EntryText(doc, "maps/dm/arena.bsp");
  SelectListItems(doc, {"readme", "maps"});
  SendCommand(source, ID_EDIT_CUT);
  ASSERT_NE(doc->clipboardSource, nullptr);
  EXPECT_TRUE(ListItemCut(doc, "readme"));
  EXPECT_TRUE(ListItemCut(doc, "maps"));
  EXPECT_FALSE(ListItemCut(doc, "a.bsp"));

  HWND target;
  WindowDocument* other = OpenDoc("", &target);
  ASSERT_NE(other, nullptr);
  SendCommand(target, ID_EDIT_PASTE);
  // The clipboard lets go of the object once the paste is over.
  EXPECT_TRUE(PumpUntil([&] { return doc->clipboardSource == nullptr; }));
  PumpPending();
  EXPECT_EQ(EntryText(other, "readme"), readme);
  EXPECT_EQ(EntryText(other, "maps/dm/arena.bsp"), arena);
  // The source removed its items once the clipboard let go of them.
  EXPECT_EQ(doc->clipboardSource, nullptr);
  EXPECT_EQ(NodeAt(doc, "readme"), nullptr);
  EXPECT_EQ(NodeAt(doc, "maps"), nullptr);
  EXPECT_FALSE(Has(ListNames(doc->itemList), "readme"));
  EXPECT_EQ(TreeChildNamed(doc->folderTree, CurrentFolderItem(doc->folderTree), "maps"), nullptr);
  EXPECT_TRUE(doc->modified);
  // The moved copies no longer depend on the source window.
  SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(source), 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(source); }));
  EXPECT_EQ(EntryText(other, "maps/dm/arena.bsp"), arena);
}

TEST_F(ClipboardCommandsTest, CutThenPasteIntoAnotherFolderOfTheSameWindowMoves) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  const std::string bytes = EntryText(doc, "z.bsp");
  SelectListItems(doc, {"z.bsp"});
  SendCommand(window, ID_EDIT_CUT);
  ShowFolderAt(doc, "maps");
  SendCommand(window, ID_EDIT_PASTE);
  EXPECT_TRUE(PumpUntil([&] { return doc->clipboardSource == nullptr; }));
  PumpPending();
  EXPECT_EQ(EntryText(doc, "maps/z.bsp"), bytes);
  EXPECT_EQ(NodeAt(doc, "z.bsp"), nullptr);
  ShowFolderAt(doc, "");
  EXPECT_FALSE(Has(ListNames(doc->itemList), "z.bsp"));
}

// Cut items stay faded while their folder is left and shown again, until a Copy of something
// else or another program's data takes the clipboard; they stay where they are.
TEST_F(ClipboardCommandsTest, CutItemsStayFadedUntilTheClipboardChanges) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  SelectListItems(doc, {"readme", "a.bsp", "maps"});
  SendCommand(window, ID_EDIT_CUT);
  ASSERT_TRUE(ListItemCut(doc, "readme"));
  ShowFolderAt(doc, "maps");
  EXPECT_FALSE(ListItemCut(doc, "level1.bsp"));
  ShowFolderAt(doc, "");
  for (const char* name : {"readme", "a.bsp", "maps"}) EXPECT_TRUE(ListItemCut(doc, name)) << name;
  EXPECT_FALSE(ListItemCut(doc, "z.bsp"));
  // A Copy of something else.
  SelectListItems(doc, {"z.bsp"});
  SendCommand(window, ID_EDIT_COPY);
  EXPECT_FALSE(ListItemCut(doc, "readme"));
  EXPECT_FALSE(ListItemCut(doc, "a.bsp"));
  EXPECT_NE(doc->clipboardSource, nullptr);
  // Another program's data.
  SelectListItems(doc, {"readme"});
  SendCommand(window, ID_EDIT_CUT);
  ASSERT_TRUE(ListItemCut(doc, "readme"));
  ASSERT_TRUE(PutFilesOnClipboard({WinFixture("views.pak")}));
  EXPECT_TRUE(PumpUntil([&] { return doc->clipboardSource == nullptr; }));
  PumpPending();
  EXPECT_FALSE(ListItemCut(doc, "readme"));
  ShowFolderAt(doc, "maps");
  ShowFolderAt(doc, "");
  EXPECT_FALSE(ListItemCut(doc, "readme"));
  for (const char* name : {"readme", "a.bsp", "maps"}) EXPECT_NE(NodeAt(doc, name), nullptr) << name;
  EXPECT_FALSE(doc->modified);
}

TEST_F(ClipboardCommandsTest, CutFolderInTheTreeIsDimmedAndUndimmedWhenReplaced) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "maps");
  HTREEITEM maps = CurrentFolderItem(doc->folderTree);
  SetFocus(doc->folderTree);
  SendCommand(window, ID_EDIT_CUT);
  ASSERT_NE(doc->clipboardSource, nullptr);
  EXPECT_TRUE(TreeView_GetItemState(doc->folderTree, maps, TVIS_CUT) & TVIS_CUT);
  ASSERT_TRUE(PutFilesOnClipboard({WinFixture("views.pak")}));
  PumpUntil([&] { return doc->clipboardSource == nullptr; });
  PumpPending();
  EXPECT_EQ(doc->clipboardSource, nullptr);
  EXPECT_FALSE(TreeView_GetItemState(doc->folderTree, maps, TVIS_CUT) & TVIS_CUT);
  EXPECT_NE(NodeAt(doc, "maps/level1.bsp"), nullptr);
}

TEST_F(ClipboardCommandsTest, DeleteOfACopiedItemEmptiesTheClipboardFirst) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  SelectListItems(doc, {"maps"});
  SendCommand(window, ID_EDIT_COPY);
  ASSERT_NE(doc->clipboardSource, nullptr);
  // Deleting something else keeps the clipboard.
  SelectListItems(doc, {"z.bsp"});
  SendCommand(window, ID_EDIT_DELETE);
  EXPECT_NE(doc->clipboardSource, nullptr);
  // Deleting what lies under a copied item lets the clipboard go first.
  ShowFolderAt(doc, "maps/dm");
  SetFocus(doc->folderTree);
  SendCommand(window, ID_EDIT_DELETE);
  EXPECT_EQ(doc->clipboardSource, nullptr);
  EXPECT_EQ(NodeAt(doc, "maps/dm"), nullptr);
  EXPECT_FALSE(IsClipboardFormatAvailable(g_cfVellumixData));
  HWND other;
  WindowDocument* target = OpenDoc("", &other);
  SendCommand(other, ID_EDIT_PASTE);
  EXPECT_EQ(target->root()->firstChild(), nullptr);
}

TEST_F(ClipboardCommandsTest, ClosingTheSourceWindowEmptiesTheClipboard) {
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowFolderAt(doc, "");
  SelectListItems(doc, {"readme"});
  SendCommand(window, ID_EDIT_COPY);
  ASSERT_TRUE(IsClipboardFormatAvailable(g_cfVellumixData));
  SendMessageA(window, WM_CLOSE, 0, 0);
  PumpUntil([&] { return !IsWindow(window); });
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsClipboardFormatAvailable(g_cfVellumixData));
}

TEST_F(ClipboardCommandsTest, PasteOfShellFilesImportsThemAndLeavesThemOnDisk) {
  const std::string& dir = TempDir();
  ASSERT_TRUE(WriteDiskFile(dir + "One.TXT", "first"));
  CreateDirectoryA((dir + "Sub").c_str(), nullptr);
  ASSERT_TRUE(WriteDiskFile(dir + "Sub\\two.bin", "second"));
  ASSERT_TRUE(PutFilesOnClipboard({dir + "One.TXT", dir + "Sub", dir + "missing.txt"}));
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  SendCommand(window, ID_EDIT_PASTE);
  EXPECT_EQ(EntryText(doc, "one.txt"), "first");
  EXPECT_EQ(EntryText(doc, "sub/two.bin"), "second");
  EXPECT_TRUE(doc->modified);
  EXPECT_TRUE(DiskExists(dir + "One.TXT"));
  // Paths through "." and ".." name the folders they lead to, never items of those names;
  // a path too long for the system is refused with a message, never cut.
  HWND other;
  WindowDocument* second = OpenDoc("", &other);
  ASSERT_NE(second, nullptr);
  const std::string longPath = dir + std::string(300, 'x') + ".txt";
  ASSERT_TRUE(PutFilesOnClipboard({dir + "Sub\\..", dir + "Sub\\.", longPath}));
  DialogWatcher refusal("Import", IDOK);
  SendCommand(other, ID_EDIT_PASTE);
  const WatchedDialog seen = refusal.Wait();
  EXPECT_TRUE(seen.found);
  EXPECT_NE(seen.message.find("too long"), std::string::npos) << seen.message;
  std::string base = dir.substr(0, dir.size() - 1);
  base = Lower(base.substr(base.rfind('\\') + 1));
  EXPECT_EQ(EntryText(second, base + "/one.txt"), "first");
  EXPECT_EQ(EntryText(second, "sub/two.bin"), "second");
  EXPECT_EQ(NodeAt(second, ".."), nullptr);
  EXPECT_EQ(NodeAt(second, "."), nullptr);
}

TEST_F(ClipboardCommandsTest, APasteOfAThousandFilesShowsItsProgressAndTakesEveryOne) {
  const std::string& dir = TempDir();
  std::vector<std::string> paths;
  for (int i = 0; i < 1000; ++i) {
    paths.push_back(dir + "f" + std::to_string(i) + ".txt");
    ASSERT_TRUE(WriteDiskFile(paths.back(), std::to_string(i)));
  }
  // One of them is already there: its question comes while the index holds the folder.
  HWND window;
  WindowDocument* doc = OpenDoc("", &window);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(PutFilesOnClipboard({dir + "f500.txt"}));
  SendCommand(window, ID_EDIT_PASTE);
  ASSERT_TRUE(PutFilesOnClipboard(paths));
  DialogWatcher progress("Importing...", 0, 20000, [](HWND) {});
  DialogSeries replace(kReplaceCaption, {IDNO});
  SendCommand(window, ID_EDIT_PASTE);
  EXPECT_TRUE(progress.Wait().found);
  EXPECT_EQ(replace.Finish().size(), 1u);
  EXPECT_EQ(ListNames(doc->itemList).size(), 1000u);
  EXPECT_EQ(EntryText(doc, "f999.txt"), "999");
  EXPECT_EQ(EntryText(doc, "f500.txt"), "500");
  EXPECT_EQ(FindWindowA("#32770", "Importing..."), nullptr);
}

TEST_F(ClipboardCommandsTest, ShellFilesDroppedOnAFolderOrAFileItem) {
  const std::string& dir = TempDir();
  ASSERT_TRUE(WriteDiskFile(dir + "dropped.txt", "dropped"));
  ASSERT_TRUE(PutFilesOnClipboard({dir + "dropped.txt"}));
  IDataObject* files = nullptr;
  ASSERT_EQ(OleGetClipboard(&files), S_OK);
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowWindow(window, SW_MAXIMIZE);
  ShowFolderAt(doc, "");
  PumpPending();
  auto* target = static_cast<IDropTarget*>(doc->dropTarget);
  ASSERT_NE(target, nullptr);
  auto dropAt = [&](HWND pane, POINT client, DWORD keys) {
    ClientToScreen(pane, &client);
    POINTL at = {client.x, client.y};
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(files, keys, at, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragOver(keys, at, &effect);
    DWORD over = effect;
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    HRESULT r = target->Drop(files, keys, at, &effect);
    return std::make_pair(over, std::make_pair(r, effect));
  };
  // On the folder "sound" of the tree: imported there, highlight gone afterwards.
  HTREEITEM sound = TreeChildNamed(doc->folderTree, CurrentFolderItem(doc->folderTree), "sound");
  ASSERT_NE(sound, nullptr);
  RECT r = {};
  ASSERT_TRUE(TreeView_GetItemRect(doc->folderTree, sound, &r, TRUE));
  auto result = dropAt(doc->folderTree, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, 0);
  EXPECT_EQ(result.first, static_cast<DWORD>(DROPEFFECT_COPY));  // from elsewhere: copy
  EXPECT_EQ(result.second.first, S_OK);
  EXPECT_EQ(EntryText(doc, "sound/dropped.txt"), "dropped");
  EXPECT_EQ(TreeView_GetDropHilight(doc->folderTree), nullptr);
  EXPECT_FALSE(Has(ListNames(doc->itemList), "dropped.txt"));
  // On a file item of the list: into the folder the list shows.
  const Names shown = ListNames(doc->itemList);
  const int readme = static_cast<int>(std::find(shown.begin(), shown.end(), "readme") - shown.begin());
  RECT item = {};
  item.left = LVIR_BOUNDS;
  ASSERT_TRUE(SendMessageA(doc->itemList, LVM_GETITEMRECT, readme, reinterpret_cast<LPARAM>(&item)));
  result = dropAt(doc->itemList, POINT{(item.left + item.right) / 2, (item.top + item.bottom) / 2}, MK_CONTROL);
  EXPECT_EQ(result.second.first, S_OK);
  EXPECT_EQ(EntryText(doc, "dropped.txt"), "dropped");
  // A link (Control and Shift) is never taken.
  result = dropAt(doc->itemList, POINT{(item.left + item.right) / 2, (item.top + item.bottom) / 2},
                  MK_CONTROL | MK_SHIFT);
  EXPECT_EQ(result.first, static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(result.second.second, static_cast<DWORD>(DROPEFFECT_NONE));
  files->Release();
}

TEST_F(ClipboardCommandsTest, DataWithoutAnAcceptedFormatIsRefused) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 3);
  std::memcpy(GlobalLock(text), "hi", 3);
  GlobalUnlock(text);
  SetClipboardData(CF_TEXT, text);
  CloseClipboard();
  IDataObject* data = nullptr;
  ASSERT_EQ(OleGetClipboard(&data), S_OK);
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  ShowWindow(window, SW_MAXIMIZE);
  PumpPending();
  auto* target = static_cast<IDropTarget*>(doc->dropTarget);
  RECT rc;
  GetWindowRect(doc->folderTree, &rc);
  POINTL at = {rc.left + 20, rc.top + 10};
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->DragEnter(data, 0, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->Drop(data, 0, at, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  data->Release();
  EXPECT_FALSE(doc->modified);
  // Paste of it does nothing either.
  SendCommand(window, ID_EDIT_PASTE);
  EXPECT_FALSE(doc->modified);
}

TEST_F(ClipboardCommandsTest, RegressionItemsOfAPayloadNoLiveObjectMadeAreNeverFollowed) {
  // A "Vellumix Data" block from another process, or from an object already gone, holds
  // addresses that mean nothing here: the drop is refused without touching them.
  HWND window;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &window);
  ASSERT_NE(doc, nullptr);
  NodeId forged[1] = {NodeAt(doc, "readme")->id()};
  VellumixDataPayload payload = {reinterpret_cast<uintptr_t>(static_cast<ArchiveDocument*>(doc)), 1,
                                 reinterpret_cast<uintptr_t>(forged)};
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof payload);
  std::memcpy(GlobalLock(block), &payload, sizeof payload);
  GlobalUnlock(block);
  DropRequest request = {DROPEFFECT_COPY, g_cfVellumixData, block, FolderItemOf(doc, NodeAt(doc, "sound")), -1};
  EXPECT_EQ(SendMessageA(window, WMU_DROP, reinterpret_cast<WPARAM>(&request), 0), 0);
  EXPECT_EQ(NodeAt(doc, "sound/readme"), nullptr);
  EXPECT_FALSE(doc->modified);
  GlobalFree(block);
}

namespace {

// The folder the tree shows is live, and the list lists exactly its children.
void ExpectPanesOnLiveNodes(WindowDocument* doc) {
  Node* shown = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(doc->tree->Find(shown->id()), shown);
  Names children;
  for (const Node* n = shown->firstChild(); n; n = n->nextSibling()) children.push_back(n->name());
  Names listed = ListNames(doc->itemList);
  std::sort(children.begin(), children.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, children);
}

}  // namespace

TEST_F(ClipboardCommandsTest, RegressionACutFileTheUserKeepsInTheTargetStaysInItsOrigin) {
  HWND source, target;
  WindowDocument *doc = nullptr, *other = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenConflictingPair(&doc, &source, &other, &target));
  SelectListItems(doc, {"readme", "big.dat"});
  SendCommand(source, ID_EDIT_CUT);
  DialogSeries replace(kReplaceCaption, {IDNO});
  SendCommand(target, ID_EDIT_PASTE);
  ASSERT_EQ(replace.Finish().size(), 1u);
  EXPECT_EQ(EntryText(other, "readme"), "old");
  EXPECT_EQ(EntryText(other, "big.dat").size(), 1234567u);
  // Only what arrived left its origin; what the user kept is there, no longer dimmed.
  EXPECT_EQ(doc->clipboardSource, nullptr);
  EXPECT_EQ(NodeAt(doc, "big.dat"), nullptr);
  ASSERT_NE(NodeAt(doc, "readme"), nullptr);
  EXPECT_EQ(EntryText(doc, "readme"), "read me first\n");
  EXPECT_FALSE(ListItemCut(doc, "readme"));
  ExpectPanesOnLiveNodes(doc);
}

TEST_F(ClipboardCommandsTest, RegressionCutOfTheFolderShownLeavesBothPanesOnLiveNodes) {
  HWND source, target;
  WindowDocument* doc = OpenDoc(WinFixture("views.zip"), &source);
  WindowDocument* other = OpenDoc("", &target);
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(other, nullptr);
  // "sound" is the last folder under the root: deleting its item lets the tree pick the
  // root, whose list would still hold the moved folder.
  ShowFolderAt(doc, "sound");
  SetFocus(doc->folderTree);
  SendCommand(source, ID_EDIT_CUT);
  ASSERT_NE(doc->clipboardSource, nullptr);
  SendCommand(target, ID_EDIT_PASTE);
  EXPECT_NE(NodeAt(other, "sound"), nullptr);
  EXPECT_EQ(NodeAt(doc, "sound"), nullptr);
  EXPECT_EQ(TreeChildNamed(doc->folderTree, TreeView_GetRoot(doc->folderTree), "sound"), nullptr);
  ExpectPanesOnLiveNodes(doc);
  EXPECT_FALSE(Has(ListNames(doc->itemList), "sound"));
  // The keys a user reaches for next find only live items.
  SendCommand(source, ID_VIEW_REFRESH);
  ExpectPanesOnLiveNodes(doc);
}

TEST_F(ClipboardCommandsTest, RegressionPasteKeepsItsItemsWhenTheClipboardIsReplacedMidway) {
  HWND source, target;
  WindowDocument *doc = nullptr, *other = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenConflictingPair(&doc, &source, &other, &target));
  // Merging "maps" asks first; "big.dat" is copied after the clipboard let the object go.
  SelectListItems(doc, {"maps", "big.dat"});
  SendCommand(source, ID_EDIT_COPY);
  ASSERT_NE(doc->clipboardSource, nullptr);
  // The clipboard is emptied while the question is open, as when another program copies:
  // its release of the object comes while the paste still walks the items.
  DialogWatcher replace(kReplaceCaption, 0, 10000, [](HWND dialog) {
    RunOnWindowThread(dialog, [] { OleSetClipboard(nullptr); });
    PressDialogButton(dialog, IDC_REPLACE_YES_TO_ALL);
  });
  SendCommand(target, ID_EDIT_PASTE);
  EXPECT_TRUE(replace.Wait().found);
  EXPECT_EQ(doc->clipboardSource, nullptr);
  EXPECT_EQ(EntryText(other, "maps/dm/arena.bsp"), EntryText(doc, "maps/dm/arena.bsp"));
  EXPECT_EQ(EntryText(other, "maps/level2.bsp"), EntryText(doc, "maps/level2.bsp"));
  EXPECT_EQ(EntryText(other, "big.dat"), std::string(1234567, '\0'));
  EXPECT_NE(NodeAt(doc, "big.dat"), nullptr);
}
