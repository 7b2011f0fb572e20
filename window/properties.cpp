#include "window/properties.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "archive/crc32.h"
#include "archive/entry_data.h"
#include "archive/game_folder.h"
#include "archive/quoted_name.h"
#include "panes/core/item_summary.h"
#include "panes/views.h"
#include "resources/shell_ids.h"
#include "services/core/archive_text.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "services/number_format.h"
#include "window/archive_window.h"
#include "window/panes.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

struct PropertiesPage {
  std::string caption;
  Rows rows;
};

std::string Number(uint64_t value) {
  char text[40];
  if (FormatUserNumber(value, text, sizeof text) == 0) std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return text;
}

std::string Bytes(uint64_t value) { return Number(value) + (value == 1 ? " byte" : " bytes"); }

std::string Counted(uint64_t count, const char* one, const char* many) {
  return Number(count) + " " + (count == 1 ? one : many);
}

std::string Percent(int percent) { return std::to_string(percent) + "%"; }

std::string Hex32(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

const char* MethodName(const EntryInfo& info) {
  switch (info.method) {
    case StoredMethod::Stored: return "Stored";
    case StoredMethod::Deflated: return "Deflated";
    case StoredMethod::Encrypted: return "Encrypted";
    case StoredMethod::Other: break;
  }
  return nullptr;
}

// The folder path a node lies in, as the folder tree shows it: "/" for the top folder.
std::string LocationOf(const Node* node) {
  const Node* parent = node->parent();
  return parent == nullptr || parent->IsRoot() ? "/" : "/" + StoredPath(parent);
}

class CrcOfBytes : public ByteSink {
 public:
  bool Take(const uint8_t* data, size_t size) override {
    crc = Crc32Update(crc, data, size);
    return true;
  }
  uint32_t crc = 0;
};

// The entry's CRC-32: the one its record holds, else taken over its bytes; false when they
// cannot be read.
bool CrcOf(const ArchiveDocument* doc, const Node* file, uint32_t* crc) {
  if (const SourceEntry* entry = file->source()) {
    if (doc->source && entry->index < doc->source->Count()) {
      const EntryInfo info = doc->source->Info(entry->index);
      if (info.hasCrc) {
        *crc = info.crc;
        return true;
      }
    }
  }
  CrcOfBytes sink;
  if (StreamEntryBytes(doc, file, &sink) != EntryLoad::Ok) return false;
  *crc = sink.crc;
  return true;
}

void AddStoredRows(const ItemSummary& summary, Rows* rows) {
  if (summary.storedFiles > 0) {
    rows->push_back({"Stored size", Bytes(summary.storedSize)});
    rows->push_back({"Saving", Percent(SavingPercent(summary.storedPlainSize, summary.storedSize))});
  }
  const uint64_t unsaved = summary.files - summary.storedFiles;
  if (unsaved > 0) rows->push_back({"Not yet stored", Counted(unsaved, "file, stored when the archive is saved", "files, stored when the archive is saved")});
}

PropertiesPage FilePage(const WindowDocument* doc, const Node* file) {
  PropertiesPage page;
  page.caption = PrintableName(file->name()) + " Properties";
  Rows& rows = page.rows;
  rows.push_back({"Name", PrintableName(file->name())});
  rows.push_back({"Type", FileTypeName(file->name().c_str())});
  rows.push_back({"Location", PrintableName(LocationOf(file))});
  rows.push_back({"Stored path", PrintableName(StoredNameOf(doc, file))});
  rows.push_back({"Size", Bytes(file->size())});
  const SourceEntry* entry = file->source();
  if (entry && doc->source && entry->index < doc->source->Count()) {
    const EntryInfo info = doc->source->Info(entry->index);
    rows.push_back({"Stored size", Bytes(info.storedSize)});
    const char* method = MethodName(info);
    rows.push_back({"Method", method ? method : "Method " + std::to_string(info.methodCode)});
    rows.push_back({"Saving", Percent(SavingPercent(info.size, info.storedSize))});
  } else {
    rows.push_back({"Stored size", "Not yet stored: stored when the archive is saved"});
  }
  uint32_t crc;
  rows.push_back({"CRC-32", CrcOf(doc, file, &crc) ? Hex32(crc) : "Can't be read"});
  int64_t moment;
  char when[96] = "";
  if (!EntryModified(doc, file, &moment) || !FormatLocalMoment(moment, when, sizeof when))
    std::snprintf(when, sizeof when, "Not known");
  rows.push_back({"Modified", when});
  // Of a game folder: every place that holds the path, in the order the game searches them.
  const GameFolderSource* folder = doc->source ? doc->source->AsGameFolder() : nullptr;
  if (folder && entry && entry->index < folder->Count()) {
    uint32_t place = 0;
    for (const GameFolderHolder* h = folder->HoldersBegin(entry->index); h != folder->HoldersEnd(entry->index); ++h) {
      const std::string from = FromText(*folder->members()[h->member]);
      rows.push_back({place == 0 ? "Search order" : "",
                      std::to_string(place + 1) + ". " + PrintableName(from) + (place == 0 ? " (read from here)" : " (shadowed)")});
      ++place;
    }
  }
  return page;
}

// A folder, or several items: what they hold and add up to.
PropertiesPage ItemsPage(const WindowDocument* doc, const std::vector<const Node*>& items) {
  PropertiesPage page;
  ItemSummary summary;
  for (const Node* node : items) AddToSummary(doc, node, &summary);
  Rows& rows = page.rows;
  if (items.size() == 1) {
    const Node* folder = items.front();
    page.caption = PrintableName(folder->name()) + " Properties";
    rows.push_back({"Name", PrintableName(folder->name())});
    rows.push_back({"Type", "Folder"});
    rows.push_back({"Location", PrintableName(LocationOf(folder))});
    rows.push_back({"Path", "/" + PrintableName(StoredPath(folder))});
    --summary.folders;  // the folder itself
  } else {
    page.caption = "Properties";
    rows.push_back({"Selected", Counted(items.size(), "item", "items")});
    rows.push_back({"Location", PrintableName(LocationOf(items.front()))});
  }
  rows.push_back({"Contains", Counted(summary.files, "file", "files") + ", " + Counted(summary.folders, "folder", "folders")});
  rows.push_back({"Size", Bytes(summary.size)});
  AddStoredRows(summary, &rows);
  return page;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

PropertiesPage ArchivePage(HWND window, WindowDocument* doc) {
  PropertiesPage page;
  ItemSummary summary;
  AddToSummary(doc, doc->root(), &summary);
  Rows& rows = page.rows;
  const char* path = DocumentPath(doc);
  page.caption = (path ? PrintableName(FileNameOf(path)) : TitleWithoutMark(window)) + " Properties";
  if (path) {
    rows.push_back({"Format", DocumentFormat(doc)->name});
    rows.push_back({"File", PrintableName(path)});
    const int64_t length = doc->source->FileLength();
    rows.push_back({"Size on disk", length >= 0 ? Bytes(static_cast<uint64_t>(length)) : "Not known"});
    rows.push_back({"Entries", Number(doc->source->Count())});
  } else {
    rows.push_back({"File", "Not saved yet"});
  }
  rows.push_back({"Contains", Counted(summary.files, "file", "files") + ", " + Counted(summary.folders, "folder", "folders")});
  rows.push_back({"Size", Bytes(summary.size)});
  AddStoredRows(summary, &rows);
  rows.push_back({"Target", TargetName(doc->target)});
  if (const GameFolderSource* folder = doc->source ? doc->source->AsGameFolder() : nullptr) {
    std::string searched;
    for (const auto& member : folder->members()) searched += (searched.empty() ? "" : ", ") + FromText(*member);
    rows.push_back({"Searched", PrintableName(searched)});
    for (const GameFolderTrouble& trouble : folder->troubles()) rows.push_back({"Left out", PrintableName(FolderTroubleText(trouble))});
  }
  if (doc->modified) rows.push_back({"Changes", "Not saved yet"});
  const std::string comment = path ? doc->source->Comment() : std::string();
  rows.push_back({"Comment", comment.empty() ? "None" : PrintableName(comment)});
  return page;
}

// What the command is about: the selected items of the list, else the current folder, and
// the archive when that is its top folder.
PropertiesPage PageFor(HWND window, WindowDocument* doc) {
  std::vector<const Node*> items;
  if (GetFocus() != doc->folderTree) {
    for (int i = -1; (i = static_cast<int>(SendMessageA(doc->itemList, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
      if (const Node* node = ListItemNode(doc->itemList, i)) items.push_back(node);
  }
  if (items.empty()) {
    const Node* folder = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
    if (folder == nullptr || folder->IsRoot()) return ArchivePage(window, doc);
    items.push_back(folder);
  }
  if (items.size() == 1 && items.front()->IsFile()) return FilePage(doc, items.front());
  return ItemsPage(doc, items);
}

void FillRows(HWND list, const Rows& rows) {
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  RECT client;
  GetClientRect(list, &client);
  const int labelWidth = (client.right - client.left) * 3 / 10;
  LVCOLUMNA column = {};
  column.mask = LVCF_WIDTH;
  column.cx = labelWidth;
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  column.cx = client.right - client.left - labelWidth - GetSystemMetrics(SM_CXVSCROLL);
  SendMessageA(list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
  int index = 0;
  for (const auto& row : rows) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(row.first.c_str());
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(row.second.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    ++index;
  }
}

INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      const PropertiesPage* page = reinterpret_cast<const PropertiesPage*>(lParam);
      SetWindowTextA(dialog, page->caption.c_str());
      FillRows(GetDlgItem(dialog, IDC_PROPERTIES_LIST), page->rows);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

}  // namespace

void ShowProperties(HWND window, WindowDocument* doc) {
  HCURSOR before = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  const PropertiesPage page = PageFor(window, doc);
  SetCursor(before);
  HWND focus = GetFocus();
  DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PROPERTIES), window, PropertiesDialogProc,
                  reinterpret_cast<LPARAM>(&page));
  if (focus && IsWindow(focus)) SetFocus(focus);
}
