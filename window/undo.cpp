#include "window/undo.h"

#include <commctrl.h>

#include <vector>

#include "archive/edit_history.h"
#include "resources/command_ids.h"
#include "services/code_page.h"
#include "services/globals.h"
#include "services/message_box.h"
#include "panes/views.h"
#include "panes/window_document.h"
#include "window/command_state.h"
#include "window/folder_status.h"
#include "window/moved_items.h"
#include "window/rename.h"

namespace {

constexpr DWORD kStatusNoteMs = 4000;

// Keeps the panes in step with an undo or a redo as it changes the tree, and gathers the
// items it brought back or changed, to be shown selected once it is done.
class ViewFollower : public TreeChangeObserver {
 public:
  explicit ViewFollower(WindowDocument* doc) : doc_(doc) {}

  void WillDetach(Node* node) override {
    StopViewingSubtree(doc_, node);
    TakeOutOfViews(doc_, node);
    Touch(node->parent());
  }
  void Attached(Node* node) override {
    if (node->IsDirectory()) AddFolderItems(doc_, node);
    Touch(node->parent());
    touched_.push_back(node->id());
  }
  void Renamed(Node* node) override {
    if (node->IsDirectory()) {
      SetFolderItemText(doc_->folderTree, FolderItemOf(doc_, node), node->name());
      SortFolderLevelLater(doc_->folderTree, FolderItemOf(doc_, node->parent()));
    }
    touched_.push_back(node->id());
  }
  void DataChanged(Node* node) override { touched_.push_back(node->id()); }

  // The folders whose children changed, for their buttons in the folder tree.
  const std::vector<NodeId>& folders() const { return folders_; }
  const std::vector<NodeId>& touched() const { return touched_; }

 private:
  void Touch(const Node* folder) {
    if (folder) folders_.push_back(folder->id());
  }
  WindowDocument* doc_;
  std::vector<NodeId> folders_;
  std::vector<NodeId> touched_;
};

void SelectListItems(HWND list, const std::vector<int>& indexes) {
  LVITEMA clear = {};
  clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  for (size_t i = 0; i < indexes.size(); ++i) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | (i == 0 ? LVIS_FOCUSED : 0);
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(indexes[i]), reinterpret_cast<LPARAM>(&item));
  }
  if (!indexes.empty()) SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(indexes[0]), FALSE);
}

// After an undo or a redo: the folder that holds what came back or changed is shown, with
// those items selected in their sort order, and the title, menus and status say where the
// document now stands.
void ShowOutcome(HWND window, WindowDocument* doc, const ViewFollower& follower) {
  HWND tree = doc->folderTree;
  for (NodeId id : follower.folders())
    if (const Node* folder = doc->tree->Find(id)) RepaintFolderItem(tree, FolderItemOf(doc, folder));
  std::vector<const Node*> items;
  for (NodeId id : follower.touched())
    if (const Node* node = doc->tree->Find(id)) items.push_back(node);
  const Node* shown = TreeItemNode(tree, CurrentFolderItem(tree));
  if (!items.empty() && items.front()->parent() != shown) {
    if (HTREEITEM holder = FolderItemOf(doc, items.front()->parent()))
      SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(holder));
  }
  ShowFolder(window, doc, CurrentFolderItem(tree));
  std::vector<int> indexes;
  for (const Node* node : items) {
    const int index = FindListItem(doc->itemList, node);
    if (index >= 0) indexes.push_back(index);
  }
  SelectListItems(doc->itemList, indexes);
  SetModifiedMark(window, !doc->tree->history().AtSavedState());
  UpdateCommandState(window, doc);
  ScheduleFolderStatus(window);
}

// The other archive window whose next undo is the other side of a move's link, or null.
HWND OtherSideOf(HWND window, uint64_t link) {
  if (link == 0) return nullptr;
  for (HWND child = NextMdiChild(nullptr); child; child = NextMdiChild(child)) {
    const WindowDocument* other = child == window ? nullptr : DocumentOf(child);
    const EditStep* next = other && other->tree ? other->tree->history().NextUndo() : nullptr;
    if (next && next->link == link && other->tree->history().CanUndo()) return child;
  }
  return nullptr;
}

void CopyMenuText(HMENU menu, int command, const std::string& text, bool enable) {
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING;
  info.dwTypeData = const_cast<char*>(text.c_str());
  SetMenuItemInfoA(menu, command, FALSE, &info);
  EnableMenuItem(menu, command, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

std::string CommandText(const char* verb, const EditStep* step, const char* keys) {
  std::string text = verb;
  if (step) text += " " + StepTitle(*step);
  return text + "\t" + keys;
}

}  // namespace

EditScope::EditScope(WindowDocument* doc, const char* action, uint32_t items) : doc_(doc) {
  if (doc_ && doc_->tree) doc_->tree->history().Begin(action, items);
}

EditScope::~EditScope() { End(); }

void EditScope::End() {
  if (!doc_ || !doc_->tree) return;
  EditHistory& history = doc_->tree->history();
  history.End();
  doc_ = nullptr;
  // The menus say at once what Undo would now take back.
  if (!history.Recording()) UpdateUndoCommands(DocumentOf(ActiveMdiChild()));
}

void EditScope::Name(const char* action, uint32_t items) {
  if (doc_ && doc_->tree) doc_->tree->history().Rename(action, items);
}

void EditScope::Link(uint64_t link, bool leads) {
  if (doc_ && doc_->tree) doc_->tree->history().SetLink(link, leads);
}

void UndoEdit(HWND window, WindowDocument* doc) {
  EditHistory& history = doc->tree->history();
  if (!history.CanUndo()) return;
  const bool leads = history.NextUndo()->leads;
  const uint64_t link = history.NextUndo()->link;
  ViewFollower follower(doc);
  history.Undo(&follower);
  ShowOutcome(window, doc, follower);
  // Undoing the arrivals of a move: the items may go back where they came from, when that
  // window is still open and has done nothing since.
  HWND origin = leads ? OtherSideOf(window, link) : nullptr;
  if (!origin) return;
  const std::string text = "Put the moved items back in \"" + TitleWithoutMark(origin) + "\"?";
  if (MessageBoxA(window, text.c_str(), "Undo Move", MB_YESNO | MB_ICONQUESTION) == IDYES)
    UndoEdit(origin, DocumentOf(origin));
}

void RedoEdit(HWND window, WindowDocument* doc) {
  EditHistory& history = doc->tree->history();
  if (!history.CanRedo()) return;
  ViewFollower follower(doc);
  history.Redo(&follower);
  ShowOutcome(window, doc, follower);
}

void UpdateUndoCommands(const WindowDocument* doc) {
  const EditHistory* history = doc && doc->tree ? &doc->tree->history() : nullptr;
  const bool undo = history && history->CanUndo(), redo = history && history->CanRedo();
  CopyMenuText(g_mainMenu, ID_EDIT_UNDO, CommandText("&Undo", undo ? history->NextUndo() : nullptr, "Ctrl+Z"), undo);
  CopyMenuText(g_mainMenu, ID_EDIT_REDO, CommandText("&Redo", redo ? history->NextRedo() : nullptr, "Ctrl+Y"), redo);
}

void ShowStatusNote(HWND window, WindowDocument* doc, const std::string& text) {
  doc->statusNote = text;
  doc->statusNoteEnds = GetTickCount() + kStatusNoteMs;
  ScheduleFolderStatus(window);
}

std::string DeletedNote(uint32_t items) {
  std::string dash;
  if (!NarrowFromWide(L"\u2014", 1, &dash)) dash = "-";
  return std::to_string(items) + (items == 1 ? " item deleted " : " items deleted ") + dash + " Ctrl+Z to undo";
}
