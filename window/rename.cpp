#include "window/rename.h"

#include <cstdlib>
#include <cstring>

#include "archive/loading.h"
#include "resources/shell_ids.h"
#include "services/globals.h"
#include "window/archive_window.h"
#include "window/panes.h"
#include "services/message_box.h"
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

bool SiblingHasName(const ArchiveNode* node, const char* name) {
  ArchiveEntry key{};
  key.name = const_cast<char*>(name);
  return TreeFindSibling(node, &key, EntryNameCompare) != nullptr;
}

void ReplaceName(ArchiveEntry* entry, char* copy) {
  std::free(entry->name);
  entry->name = copy;
}

// The edit box that reported the text lives until this notification returns, and the pane
// would hand that box back instead of opening a new one; the new edit is asked for once
// the old box is gone.
void RestartFolderEdit(HWND tree, HTREEITEM item) {
  SetFocus(tree);
  PostMessageA(tree, TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(item));
}

void RestartItemEdit(HWND list, int index) {
  SetFocus(list);
  PostMessageA(list, LVM_EDITLABELA, static_cast<WPARAM>(index), 0);
}

void SetFolderItemText(HWND tree, TreeItem item, char* text) {
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = static_cast<HTREEITEM>(item);
  tv.pszText = text;
  SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
}

void SetListItemText(HWND list, int index, int subItem, char* text) {
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = text;
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// The folder tree re-sorts the level once it has stored the edited text.
void SortFolderLevelLater(HWND tree, TreeItem parent) {
  PostMessageA(tree, TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(parent));
}

// A folder renamed in the tree is also listed when its parent is the current folder; its
// list item takes the new name at once rather than when the folder is shown again.
void ShowNewFolderNameInList(HWND list, ArchiveEntry* entry) {
  int index = FindListItem(list, entry);
  if (index >= 0) SetListItemText(list, index, 0, entry->name);
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

ArchiveEntry* EditedFolderEntry(HWND tree, const NMTVDISPINFOA* info) {
  if (info->item.lParam) return reinterpret_cast<ArchiveEntry*>(info->item.lParam);
  return TreeItemEntry(tree, info->item.hItem);
}

ArchiveEntry* EditedItemEntry(HWND list, const NMLVDISPINFOA* info) {
  if (info->item.lParam) return reinterpret_cast<ArchiveEntry*>(info->item.lParam);
  return ListItemEntry(list, info->item.iItem);
}

}  // namespace

bool HasInvalidNameCharacter(const char* name) {
  char invalid[kInvalidCharactersSize];
  LoadInvalidCharacters(invalid);
  if (std::strpbrk(name, invalid) != nullptr) return true;
  // A name of dots alone ("." or "..") would step out of its folder wherever the archive
  // is unpacked; it is refused like a name with a separator.
  return name[0] != '\0' && name[std::strspn(name, ".")] == '\0';
}

LRESULT OnFolderLabelEdited(HWND window, WindowDocument* doc, NMTVDISPINFOA* info) {
  LabelEditDecision decision;
  if (decision.Nested()) return 0;
  char* text = info->item.pszText;
  if (!text) return 0;
  HWND tree = doc->folderTree;
  HTREEITEM item = info->item.hItem;
  ArchiveEntry* entry = EditedFolderEntry(tree, info);
  if (!entry || !entry->node || entry->parentTreeItem == TVI_ROOT) return 0;
  if (text[0] == '\0') {
    RestartFolderEdit(tree, item);
    return 0;
  }
  LowerCaseInPlace(text);
  if (std::strcmp(text, entry->name) == 0) return 0;
  if (SiblingHasName(entry->node, text)) {
    ShowErrorMessage(window, kDirectoryExists, kRenameCaption);
    RestartFolderEdit(tree, item);
    return 0;
  }
  if (HasInvalidNameCharacter(text)) {
    ShowInvalidNameMessage(window);
    RestartFolderEdit(tree, item);
    return 0;
  }
  char* copy = CopyString(text);
  if (!copy) return 0;
  ReplaceName(entry, copy);
  SortFolderLevelLater(tree, entry->parentTreeItem);
  ShowNewFolderNameInList(doc->itemList, entry);
  MarkModified(window);
  return TRUE;
}

LRESULT OnItemLabelEdited(HWND window, WindowDocument* doc, NMLVDISPINFOA* info) {
  LabelEditDecision decision;
  if (decision.Nested()) return 0;
  HWND list = doc->itemList;
  int index = info->item.iItem;
  ArchiveEntry* entry = EditedItemEntry(list, info);
  if (!entry || !entry->node) return 0;
  char* text = info->item.pszText;  // null when the edit was cancelled
  if (text && text[0] == '\0') {
    RestartItemEdit(list, index);
    return 0;
  }
  if (text) LowerCaseInPlace(text);
  const char* candidate = text ? text : entry->name;
  if (SiblingHasName(entry->node, candidate)) {
    bool directory = IsKind(entry, EntryKind::Directory);
    ShowErrorMessage(window, directory ? kNameTakenForDirectory : kNameTakenForFile, kRenameCaption);
    RestartItemEdit(list, index);
    return 0;
  }
  if (!text || std::strcmp(text, entry->name) == 0) return 0;
  if (HasInvalidNameCharacter(text)) {
    ShowInvalidNameMessage(window);
    RestartItemEdit(list, index);
    return 0;
  }
  char* copy = CopyString(text);
  if (!copy) return 0;
  // The name changes first: the panes may ask for the new icon and type at once.
  ReplaceName(entry, copy);
  if (IsKind(entry, EntryKind::Directory)) {
    SetFolderItemText(doc->folderTree, entry->treeItem, entry->name);
    SortFolderLevelLater(doc->folderTree, entry->parentTreeItem);
  } else {
    AskAgainForFileType(list, index);
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
    ArchiveEntry* entry = TreeItemEntry(doc->folderTree, caret);
    if (!entry || entry->parentTreeItem == TVI_ROOT) return false;
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

void OnItemLabelEditBegun(WindowDocument* doc, const NMLVDISPINFOA* info) {
  ArchiveEntry* entry = EditedItemEntry(doc->itemList, info);
  if (!entry || !entry->name || IsKind(entry, EntryKind::Directory)) return;
  const char* dot = std::strrchr(entry->name, '.');
  // A name that starts with its only dot has no extension to keep.
  if (!dot || dot == entry->name) return;
  HWND edit = reinterpret_cast<HWND>(SendMessageA(doc->itemList, LVM_GETEDITCONTROL, 0, 0));
  // The list selects the whole text once this notification returns; the narrower selection
  // is posted so that it comes after.
  if (edit) PostMessageA(edit, EM_SETSEL, 0, static_cast<LPARAM>(dot - entry->name));
}
