#include "window/rename.h"

#include <cstring>
#include <string>

#include "archive/tree.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "window/archive_window.h"
#include "window/panes.h"
#include "window/undo.h"
#include "services/message_box.h"
#include "transfer/core/disk_names.h"
#include "panes/views.h"

namespace {

constexpr char kRenameCaption[] = "Rename";
constexpr char kDirectoryExists[] = "Directory already exists";
constexpr char kNameTakenForDirectory[] =
    "A file or directory with the name you specified already exists. Specify a different "
    "directory name.";
constexpr char kNameTakenForFile[] =
    "A file or directory with the name you specified already exists. Specify a different "
    "filename.";
// Stands in only when the string table cannot be read: a name is never let through unchecked.
constexpr char kDefaultInvalidCharacters[] = "\\/:*?\"<>|";

constexpr int kInvalidCharactersSize = 64;
constexpr int kInvalidMessageSize = 960;

// A label edit can end a second time while the first end is still being decided: a message
// box takes the focus from the edit box, and the pane ends the edit on losing the focus.
// The end already being decided is the one that counts.
bool g_decidingLabelEdit = false;

class LabelEditDecision {
 public:
  LabelEditDecision() : nested_(g_decidingLabelEdit) { g_decidingLabelEdit = true; }
  ~LabelEditDecision() {
    if (!nested_) g_decidingLabelEdit = false;
  }
  bool Nested() const { return nested_; }

 private:
  bool nested_;
};

void LoadInvalidCharacters(char (&invalid)[kInvalidCharactersSize]) {
  if (LoadStringA(g_instance, IDS_INVALID_NAME_CHARS, invalid, kInvalidCharactersSize) <= 0) {
    std::memcpy(invalid, kDefaultInvalidCharacters, sizeof kDefaultInvalidCharacters);
  }
}

void ShowInvalidNameMessage(HWND window) {
  char message[kInvalidMessageSize] = {};
  LoadStringA(g_instance, IDS_INVALID_NAME_MESSAGE, message, kInvalidMessageSize);
  char invalid[kInvalidCharactersSize];
  LoadInvalidCharacters(invalid);
  size_t used = std::strlen(message);
  std::strncat(message, invalid, sizeof message - used - 1);
  ShowErrorMessage(window, message, kRenameCaption);
}

// Shows why the name is refused and returns true, or returns false for a name a file or
// folder may have: the characters names may not hold, then what the disk would not take.
bool RefusedName(HWND window, const std::string& name) {
  if (HasInvalidNameCharacter(name.c_str())) {
    ShowInvalidNameMessage(window);
    return true;
  }
  if (const char* problem = TypedNameProblem(name.c_str())) {
    ShowErrorMessage(window, problem, kRenameCaption);
    return true;
  }
  return false;
}

// The text typed into a refused edit, given back to the edit that reopens so that it can be
// corrected; the pane it is for.
std::string g_retypedText;
HWND g_retypedPane = nullptr;

// The reopened edit of pane shows the refused text, all of it selected.
void GiveBackTypedText(HWND pane, HWND edit) {
  if (pane != g_retypedPane || edit == nullptr) return;
  g_retypedPane = nullptr;
  SetWindowTextA(edit, g_retypedText.c_str());
  // After the pane's own selection of the text it set.
  PostMessageA(edit, EM_SETSEL, 0, -1);
}

bool SiblingHasName(const Node* node, const std::string& name) {
  for (const Node* child = node->parent()->firstChild(); child; child = child->nextSibling())
    if (child != node && SameName(child->name(), name)) return true;
  return false;
}

// The edit box that reported the text lives until this notification returns, and the pane
// would hand that box back instead of opening a new one; the new edit is asked for once
// the old box is gone.
// Reopens the edit of a refused name with typed in it (null: the item's own name).
void RestartFolderEdit(HWND tree, HTREEITEM item, const char* typed = nullptr) {
  g_retypedPane = typed ? tree : nullptr;
  if (typed) g_retypedText = typed;
  SetFocus(tree);
  PostMessageA(tree, TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(item));
}

void RestartItemEdit(HWND list, int index, const char* typed = nullptr) {
  g_retypedPane = typed ? list : nullptr;
  if (typed) g_retypedText = typed;
  SetFocus(list);
  PostMessageA(list, LVM_EDITLABELA, static_cast<WPARAM>(index), 0);
}

void SetListItemText(HWND list, int index, int subItem, const char* text) {
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = const_cast<char*>(text);
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void SetFolderItemText(HWND tree, HTREEITEM item, const std::string& text) {
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = item;
  tv.pszText = const_cast<char*>(text.c_str());
  SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
}

// The folder tree re-sorts the level once it has stored the edited text.
void SortFolderLevelLater(HWND tree, HTREEITEM parent) {
  PostMessageA(tree, TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(parent));
}

namespace {

// A folder renamed in the tree is also listed when its parent is the current folder; its
// list item takes the new name at once rather than when the folder is shown again.
void ShowNewFolderNameInList(HWND list, const Node* folder) {
  int index = FindListItem(list, folder);
  if (index >= 0) SetListItemText(list, index, 0, folder->name().c_str());
}

// The list asks again for the icon and the type of a renamed file, which follow its extension.
void AskAgainForFileType(HWND list, int index) {
  LVITEMA item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  item.iImage = I_IMAGECALLBACK;
  SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  SetListItemText(list, index, 2, LPSTR_TEXTCALLBACKA);
}

Node* EditedFolder(HWND tree, const NMTVDISPINFOA* info) {
  if (info->item.lParam) return reinterpret_cast<Node*>(info->item.lParam);
  return TreeItemNode(tree, info->item.hItem);
}

Node* EditedItem(HWND list, const NMLVDISPINFOA* info) {
  if (info->item.lParam) return reinterpret_cast<Node*>(info->item.lParam);
  return ListItemNode(list, info->item.iItem);
}

}  // namespace

bool HasInvalidNameCharacter(const char* name) {
  char invalid[kInvalidCharactersSize];
  LoadInvalidCharacters(invalid);
  return std::strpbrk(name, invalid) != nullptr;
}

LRESULT OnFolderLabelEdited(HWND window, WindowDocument* doc, NMTVDISPINFOA* info) {
  LabelEditDecision decision;
  if (decision.Nested()) return 0;
  char* text = info->item.pszText;
  if (!text) return 0;
  HWND tree = doc->folderTree;
  HTREEITEM item = info->item.hItem;
  Node* entry = EditedFolder(tree, info);
  if (!entry || entry->IsRoot()) return 0;
  if (text[0] == '\0') {
    RestartFolderEdit(tree, item);
    return 0;
  }
  const std::string name = doc->tree->EnteredName(text);
  if (name == entry->name()) return 0;
  if (SiblingHasName(entry, name)) {
    ShowErrorMessage(window, kDirectoryExists, kRenameCaption);
    RestartFolderEdit(tree, item, text);
    return 0;
  }
  if (RefusedName(window, name)) {
    RestartFolderEdit(tree, item, text);
    return 0;
  }
  {
    EditScope step(doc, "Rename");
    doc->tree->Rename(entry, name);
  }
  // The tree stores the edited text as typed: it is told the name as the archive keeps it.
  std::strncpy(text, name.c_str(), std::strlen(text));
  SortFolderLevelLater(tree, FolderItemOf(doc, entry->parent()));
  ShowNewFolderNameInList(doc->itemList, entry);
  MarkModified(window);
  return TRUE;
}

LRESULT OnItemLabelEdited(HWND window, WindowDocument* doc, NMLVDISPINFOA* info) {
  LabelEditDecision decision;
  if (decision.Nested()) return 0;
  HWND list = doc->itemList;
  int index = info->item.iItem;
  Node* entry = EditedItem(list, info);
  if (!entry || entry->IsRoot()) return 0;
  char* text = info->item.pszText;  // null when the edit was cancelled
  if (text && text[0] == '\0') {
    RestartItemEdit(list, index);
    return 0;
  }
  const std::string typed = text ? text : "";
  const std::string name = text ? doc->tree->EnteredName(text) : entry->name();
  if (text) std::strncpy(text, name.c_str(), std::strlen(text));
  if (SiblingHasName(entry, name)) {
    ShowErrorMessage(window, entry->IsDirectory() ? kNameTakenForDirectory : kNameTakenForFile, kRenameCaption);
    RestartItemEdit(list, index, text ? typed.c_str() : nullptr);
    return 0;
  }
  if (!text || name == entry->name()) return 0;
  if (RefusedName(window, name)) {
    RestartItemEdit(list, index, typed.c_str());
    return 0;
  }
  // The name changes first: the panes may ask for the new icon and type at once.
  {
    EditScope step(doc, "Rename");
    doc->tree->Rename(entry, name);
  }
  if (entry->IsDirectory()) {
    SetFolderItemText(doc->folderTree, FolderItemOf(doc, entry), entry->name());
    SortFolderLevelLater(doc->folderTree, FolderItemOf(doc, entry->parent()));
  } else {
    AskAgainForFileType(list, index);
    // A file renamed away from its duplicates, or the one they were shadowed by, changes
    // which of them is shown.
    MarkShadowedItems(doc);
  }
  MarkModified(window);
  return TRUE;
}

bool FindRenameTarget(WindowDocument* doc, int* listIndex, HTREEITEM* treeItem) {
  *listIndex = -1;
  *treeItem = nullptr;
  HWND focus = GetFocus();
  if (!focus) return false;
  if (focus == doc->itemList) {
    *listIndex = SelectedListItem(doc->itemList);
    return *listIndex >= 0;
  }
  if (focus == doc->folderTree) {
    HTREEITEM caret = CurrentFolderItem(doc->folderTree);
    const Node* folder = TreeItemNode(doc->folderTree, caret);
    if (!folder || folder->IsRoot()) return false;
    *treeItem = caret;
    return true;
  }
  return false;
}

void StartRename(WindowDocument* doc) {
  int index;
  HTREEITEM item;
  if (!FindRenameTarget(doc, &index, &item)) return;
  if (item) {
    SendMessageA(doc->folderTree, TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(item));
    return;
  }
  SendMessageA(doc->itemList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  SendMessageA(doc->itemList, LVM_EDITLABELA, static_cast<WPARAM>(index), 0);
}

void OnFolderLabelEditBegun(WindowDocument* doc) {
  GiveBackTypedText(doc->folderTree, reinterpret_cast<HWND>(SendMessageA(doc->folderTree, TVM_GETEDITCONTROL, 0, 0)));
}

void OnItemLabelEditBegun(WindowDocument* doc, const NMLVDISPINFOA* info) {
  if (g_retypedPane == doc->itemList) {
    GiveBackTypedText(doc->itemList, reinterpret_cast<HWND>(SendMessageA(doc->itemList, LVM_GETEDITCONTROL, 0, 0)));
    return;
  }
  const Node* entry = EditedItem(doc->itemList, info);
  if (!entry || entry->IsDirectory()) return;
  const size_t dot = entry->name().rfind('.');
  // A name that starts with its only dot has no extension to keep.
  if (dot == std::string::npos || dot == 0) return;
  HWND edit = reinterpret_cast<HWND>(SendMessageA(doc->itemList, LVM_GETEDITCONTROL, 0, 0));
  // The list selects the whole text once this notification returns; the narrower selection
  // is posted so that it comes after.
  if (edit) PostMessageA(edit, EM_SETSEL, 0, static_cast<LPARAM>(dot));
}
