#include "window/transfer_commands.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <new>
#include <vector>

#include "archive/disk.h"

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/file_dialogs.h"
#include "transfer/core/disk_names.h"
#include "transfer/export.h"
#include "window/disk_import.h"
#include "window/drop_paste.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "window/undo.h"
#include "panes/views.h"
#include "services/message_box.h"

namespace {

constexpr DWORD kImportDialogSize = 16384;

TransferState NewState() { return TransferState{0, 0, ReplaceMode::Ask}; }

// Imported files may have replaced listed ones: their sizes are shown anew.
void FinishImport(HWND window, WindowDocument* doc, const TransferState& state) {
  if (!state.changed) return;
  MarkModified(window);
  RefreshListColumn(doc->itemList, 1);
  UpdateCommandState(window, doc);
}

void ImportFileCommand(HWND window, WindowDocument* doc) {
  char* chosen = new (std::nothrow) char[kImportDialogSize];
  if (chosen == nullptr) return;
  chosen[0] = '\0';
  if (ShowOpenDialog(chosen, kImportDialogSize, nullptr, IDS_ALL_FILES_FILTER, "Import File",
                     OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NONETWORKBUTTON))
    ImportChosenFiles(window, doc, chosen);
  delete[] chosen;
}

void ImportDirectoryCommand(HWND window, WindowDocument* doc) {
  if (CurrentFolderItem(doc->folderTree) == nullptr) return;
  char path[kPathBufferSize] = {};
  if (!BrowseForDirectory(window, path, "Select import directory")) return;
  BeginImportCommand(doc);
  TransferState state = NewState();
  {
    EditScope step(doc, "Import", 1);
    ImportDirectory(window, doc, path, &state);
  }
  FinishImport(window, doc, state);
}

// What a chosen folder holds comes in, the folder itself not (as "DIR/." does for the
// tool): its files and folders join the current folder as one step.
void ImportContentsCommand(HWND window, WindowDocument* doc) {
  HTREEITEM into = CurrentFolderItem(doc->folderTree);
  if (into == nullptr) return;
  char path[kPathBufferSize] = {};
  if (!BrowseForDirectory(window, path, "Select the directory whose contents to import")) return;
  std::vector<std::string> names;
  if (!ListDirectory(path, &names)) {
    const std::string text = std::string("The folder ") + path + " cannot be read.";
    ShowErrorMessage(window, text.c_str(), "Import");
    return;
  }
  std::sort(names.begin(), names.end());
  TransferState state = NewState();
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const std::string& name : names) {
    std::string full = JoinDiskPath(path, name);
    if (Utf16Length(full) > kMaxPathUnits) {
      NoteTransferFailure(&state, full.c_str(), "the path is too long");
      state.skipped = true;
      continue;
    }
    paths.push_back(std::move(full));
  }
  ImportDiskPaths(window, doc, into, paths, &state);
}

// A directory chosen for an export, with its separator appended; false when it is too long.
bool ChooseExportDirectory(HWND window, std::string* folder) {
  char chosen[kPathBufferSize] = {};
  if (!BrowseForDirectory(window, chosen, "Select export directory")) return false;
  *folder = chosen;
  if (folder->empty() || folder->back() != '\\') *folder += '\\';
  return Utf16Length(*folder) <= kMaxDiskPath;
}

// Names what an export could not write, after it ended.
void ReportExportFailures(HWND window, const TransferState& state) {
  const std::string text = TransferFailureMessage(state, "export", "exported");
  if (!text.empty()) ShowErrorMessage(window, text.c_str(), "Export");
}

void ExportFolder(HWND window, WindowDocument* doc, const Node* entry) {
  std::string folder;
  if (!ChooseExportDirectory(window, &folder)) return;
  TransferState state = NewState();
  ExportNode(window, doc, entry, folder.c_str(), &state);
  ReportExportFailures(window, state);
}

void ExportOneFile(HWND window, WindowDocument* doc, const Node* entry) {
  char path[kPathBufferSize] = {};
  // A stored name that could not be a file name on disk is not proposed.
  const char* name = entry->name().c_str();
  const char* proposed = Utf16Length(entry->name()) <= kMaxDiskPath && IsSafeDiskName(name) ? name : nullptr;
  if (!ShowSaveDialog(path, sizeof path, proposed, IDS_ALL_FILES_FILTER, nullptr, "Export File",
                      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NONETWORKBUTTON, 0, nullptr))
    return;
  TransferState state = NewState();
  if (!ExportNode(window, doc, entry, path, &state)) {
    if (state.failures)
      ReportExportFailures(window, state);
    else
      MessageBoxA(window, "Error exporting file", "Vellumix", MB_OK);
  }
}

void ExportSelection(HWND window, WindowDocument* doc) {
  std::string folder;
  if (!ChooseExportDirectory(window, &folder)) return;
  TransferState state = NewState();
  for (int i = -1; !state.cancelled;) {
    i = static_cast<int>(SendMessageA(doc->itemList, LVM_GETNEXTITEM, i, LVNI_SELECTED));
    if (i < 0) break;
    ExportInto(window, doc, ListItemNode(doc->itemList, i), folder.c_str(), &state);
  }
  ReportExportFailures(window, state);
}

void ExportCommand(HWND window, WindowDocument* doc) {
  HWND focus = GetFocus();
  if (focus == doc->folderTree) {
    const Node* entry = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
    if (entry) ExportFolder(window, doc, entry);
    return;
  }
  if (focus != doc->itemList) return;
  const int selected = static_cast<int>(SendMessageA(doc->itemList, LVM_GETSELECTEDCOUNT, 0, 0));
  if (selected == 0) return;
  if (selected > 1) {
    ExportSelection(window, doc);
    return;
  }
  const int index = static_cast<int>(SendMessageA(doc->itemList, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
  const Node* entry = index >= 0 ? ListItemNode(doc->itemList, index) : nullptr;
  if (entry == nullptr) return;
  if (entry->IsDirectory())
    ExportFolder(window, doc, entry);
  else
    ExportOneFile(window, doc, entry);
}

}  // namespace

void ImportChosenFiles(HWND window, WindowDocument* doc, const char* chosen) {
  if (doc == nullptr || chosen == nullptr) return;
  std::string directory = chosen;
  if (directory.empty() || Utf16Length(directory) > kMaxDiskPath) return;
  if (directory.back() != '\\' && directory.back() != '/') directory += '\\';
  const size_t prefix = Utf16Length(directory);
  BeginImportCommand(doc);
  TransferState state = NewState();
  uint32_t items = 0;
  for (const char* name = chosen + std::strlen(chosen) + 1; *name; name += std::strlen(name) + 1) ++items;
  {
    EditScope step(doc, "Import", items);
    for (const char* name = chosen + std::strlen(chosen) + 1; *name && !state.cancelled; name += std::strlen(name) + 1) {
      if (prefix + Utf16Length(name) > kMaxDiskPath) continue;
      const std::string path = directory + name;
      ImportFile(window, doc, path.c_str(), &state);
    }
  }
  FinishImport(window, doc, state);
}

bool OnTransferCommand(HWND window, WindowDocument* doc, int command) {
  if (doc == nullptr) return false;
  switch (command) {
    case ID_OBJECT_IMPORT_FILE:
      ImportFileCommand(window, doc);
      return true;
    case ID_OBJECT_IMPORT_DIRECTORY:
      ImportDirectoryCommand(window, doc);
      return true;
    case ID_OBJECT_IMPORT_CONTENTS:
      ImportContentsCommand(window, doc);
      return true;
    case ID_OBJECT_EXPORT:
      ExportCommand(window, doc);
      return true;
  }
  return false;
}
