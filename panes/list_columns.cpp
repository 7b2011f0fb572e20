#include "panes/list_columns.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <unordered_set>
#include <new>
#include <variant>

#include "archive/crc32.h"
#include "archive/entry_data.h"
#include "archive/entry_snapshot.h"
#include "archive/game_folder.h"
#include "panes/core/column_values.h"
#include "panes/pane_dpi.h"
#include "panes/sort_arrow.h"
#include "panes/views.h"
#include "resources/command_ids.h"
#include "services/core/archive_text.h"
#include "services/core/window_state.h"
#include "services/dpi.h"
#include "services/file_types.h"
#include "services/number_format.h"
#include "services/settings.h"

namespace {

struct ColumnRow {
  const char* caption;
  const char* menuCaption;  // the header menu's item
  int format;
  uint16_t sortBit;
  int sortCommand;
};

const ColumnRow kColumns[kListColumnCount] = {
    {"Name", "&Name", LVCFMT_LEFT, kSortByName, ID_VIEW_BY_NAME},
    {"Size", "&Size", LVCFMT_RIGHT, kSortBySize, ID_VIEW_BY_SIZE},
    {"Type", "&Type", LVCFMT_LEFT, kSortByType, ID_VIEW_BY_TYPE},
    {"Packed", "&Packed", LVCFMT_RIGHT, kSortByPacked, ID_VIEW_BY_PACKED},
    {"Ratio", "&Ratio", LVCFMT_RIGHT, kSortByRatio, ID_VIEW_BY_RATIO},
    {"Method", "&Method", LVCFMT_LEFT, kSortByMethod, ID_VIEW_BY_METHOD},
    {"CRC-32", "&CRC-32", LVCFMT_LEFT, kSortByCrc, ID_VIEW_BY_CRC},
    {"Modified", "M&odified", LVCFMT_LEFT, kSortByModified, ID_VIEW_BY_MODIFIED},
    {"From", "&From", LVCFMT_LEFT, 0, 0},
};

// The game folder a document shows, or null for an archive.
const GameFolderSource* GameFolderOf(const WindowDocument* doc) {
  return doc && doc->source ? doc->source->AsGameFolder() : nullptr;
}

// The header menu's items: the column's index, off the commands' range.
constexpr UINT kColumnMenuBase = 1;

bool g_fitting = false;

// The columns a stored choice may hide: never Name, none past the last.
constexpr uint16_t kHideableColumns = ((1u << kListColumnCount) - 1) & ~1u;

// A moment in the user's short date and time formats, or empty when the system cannot
// show it.
std::string LocalTimeText(int64_t moment) {
  char text[96];
  return FormatLocalMoment(moment, text, sizeof text) ? std::string(text) : std::string();
}

void SetSubItemText(HWND list, int index, int subItem, const char* text) {
  LVITEMA item = {};
  item.iSubItem = subItem;
  item.pszText = const_cast<char*>(text);
  SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
}

std::string Grouped(uint64_t n) {
  char text[32];
  if (FormatUserNumber(n, text, sizeof text) == 0) std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(n));
  return text;
}

int ListCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

void InsertColumnAt(WindowDocument* doc, int column) {
  LVCOLUMNA c = {};
  c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  c.fmt = kColumns[column].format;
  c.cx = RememberedColumnWidth(column, doc->dpi);
  c.pszText = const_cast<char*>(kColumns[column].caption);
  SendMessageA(doc->itemList, LVM_INSERTCOLUMNA, ColumnPosition(doc, column), reinterpret_cast<LPARAM>(&c));
}

// The CRC-32 the column needs worked out: a file whose record holds none.
bool NeedsWorkedOutCrc(const WindowDocument* doc, const Node* node) {
  if (node == nullptr || !node->IsFile() || node->size() == 0) return false;
  const SourceEntry* entry = node->source();
  if (entry == nullptr) return true;
  return doc->source && entry->index < doc->source->Count() && !doc->source->Info(entry->index).hasCrc;
}

}  // namespace

ListState* ListStateOf(WindowDocument* doc) {
  if (!doc->listState) {
    doc->listState = std::make_shared<ListState>(doc->itemList);
    doc->listState->hiddenColumns = static_cast<uint16_t>(g_settings.windowState.hiddenColumns & kHideableColumns);
  }
  return doc->listState.get();
}

bool ColumnShown(const WindowDocument* doc, int column) {
  if (column < 0 || column >= kListColumnCount) return false;
  if (column == kFromColumn && GameFolderOf(doc) == nullptr) return false;
  const uint16_t hidden = doc && doc->listState ? doc->listState->hiddenColumns : 0;
  return column == kNameColumn || !(hidden & (1u << column));
}

int ColumnPosition(const WindowDocument* doc, int column) {
  if (!ColumnShown(doc, column)) return -1;
  int position = 0;
  for (int c = 0; c < column; ++c)
    if (ColumnShown(doc, c)) ++position;
  return position;
}

int ColumnAt(const WindowDocument* doc, int position) {
  for (int c = 0; c < kListColumnCount; ++c)
    if (ColumnShown(doc, c) && position-- == 0) return c;
  return -1;
}

int ColumnOfSortKey(uint32_t sortKey) {
  for (int c = 0; c < kListColumnCount; ++c)
    if (kColumns[c].sortBit == (sortKey & 0xFF)) return c;
  return -1;
}

int SortCommandOfColumn(int column) {
  return column >= 0 && column < kListColumnCount ? kColumns[column].sortCommand : 0;
}

uint32_t SortKeyOfCommand(int command) {
  for (const ColumnRow& row : kColumns)
    if (row.sortCommand == command) return row.sortBit;
  return 0;
}

void InsertListColumns(WindowDocument* doc) {
  ListStateOf(doc);
  for (int column = 0; column < kListColumnCount; ++column)
    if (ColumnShown(doc, column)) InsertColumnAt(doc, column);
}

ColumnTexts::ColumnTexts(WindowDocument* doc) : doc_(doc) {}

bool ColumnTexts::Info(const Node* node, EntryInfo* info) const {
  const SourceEntry* entry = node && node->IsFile() ? node->source() : nullptr;
  if (entry == nullptr || !doc_->source || entry->index >= doc_->source->Count()) return false;
  *info = doc_->source->Info(entry->index);
  return true;
}

bool ColumnTexts::Crc(const Node* node, uint32_t* crc) {
  EntryInfo info;
  if (Info(node, &info) && info.hasCrc) {
    *crc = info.crc;
    return true;
  }
  // No bytes: the CRC-32 of nothing.
  if (node && node->IsFile() && node->size() == 0) {
    *crc = 0;
    return true;
  }
  if (!NeedsWorkedOutCrc(doc_, node) || !doc_->listState) return false;
  const auto known = doc_->listState->crcs.find(node->id());
  if (known == doc_->listState->crcs.end() || known->second.pending || !known->second.ok ||
      !SameData(known->second.of, IdentityOf(doc_, node)))
    return false;
  *crc = known->second.crc;
  return true;
}

bool ColumnTexts::Moment(const Node* node, int64_t* moment) {
  if (node == nullptr || !node->IsFile()) return false;
  EntryInfo info;
  // A file of a format that stores no times takes the archive file's, asked of the disk once.
  if (!Info(node, &info) || info.hasTime) return EntryModified(doc_, node, moment);
  if (archive_ == Archive::NotAsked)
    archive_ = EntryModified(doc_, node, &archiveMoment_) ? Archive::Known : Archive::Unknown;
  if (archive_ == Archive::Unknown) return false;
  *moment = archiveMoment_;
  return true;
}

std::string ColumnTexts::Of(const Node* node, int column) {
  EntryInfo info;
  switch (column) {
    case kSizeColumn:
      return EntryHasSize(node) ? Grouped(EntryDisplaySize(node)) : std::string();
    case kTypeColumn: {
      const char* type = "";
      if (node->IsDirectory()) FolderTypeInfo(&type);
      else type = FileTypeName(node->name().c_str());
      return type;
    }
    // A file not saved yet has no stored form: the save decides how it is stored (a ZIP
    // writer stores what deflating would not shrink), so nothing is shown before.
    case kPackedColumn:
      return Info(node, &info) ? Grouped(info.storedSize) : std::string();
    case kRatioColumn:
      return Info(node, &info) ? SavingText(info.size, info.storedSize) : std::string();
    case kMethodColumn: {
      if (!Info(node, &info)) return std::string();
      // A game folder's entries are named in the numbering of the archive they come from.
      const GameFolderSource* folder = GameFolderOf(doc_);
      const ArchiveSource* from = folder ? folder->MemberOf(node->source()->index).source.get() : doc_->source.get();
      return MethodText(info.method, info.methodCode, from != nullptr && from->format().compresses);
    }
    case kFromColumn: {
      const GameFolderSource* folder = GameFolderOf(doc_);
      const SourceEntry* entry = node->IsFile() ? node->source() : nullptr;
      if (folder == nullptr || entry == nullptr || entry->index >= folder->Count()) return std::string();
      return FromPlaceText(*folder, entry->index);
    }
    case kCrcColumn: {
      uint32_t crc;
      return Crc(node, &crc) ? CrcText(crc) : std::string();
    }
    case kModifiedColumn: {
      int64_t moment;
      return Moment(node, &moment) ? LocalTimeText(moment) : std::string();
    }
    default:
      return node->name();
  }
}

bool ColumnTexts::ValueOf(const Node* node, int column, int64_t* value) {
  EntryInfo info;
  switch (column) {
    case kPackedColumn:
      if (!Info(node, &info)) return false;
      *value = info.storedSize;
      return true;
    case kRatioColumn:
      if (!Info(node, &info)) return false;
      *value = SavingMillionths(info.size, info.storedSize);
      return true;
    case kCrcColumn: {
      uint32_t crc;
      if (!Crc(node, &crc)) return false;
      *value = crc;
      return true;
    }
    case kModifiedColumn:
      return Moment(node, value);
    default:
      return false;
  }
}

EntryValues ListedValues(WindowDocument* doc, ColumnTexts* texts, uint32_t sortKey) {
  EntryValues values;
  const int column = ColumnOfSortKey(sortKey);
  const int count = ListCount(doc->itemList);
  values.reserve(static_cast<size_t>(count));
  if (column == kMethodColumn) {
    // Methods order by their names: each file's value is its name's rank among them.
    std::map<std::string, std::vector<const Node*>> byName;
    for (int i = 0; i < count; ++i) {
      const Node* node = ListItemNode(doc->itemList, i);
      if (node == nullptr) continue;
      std::string name = texts->Of(node, column);
      if (!name.empty()) byName[name].push_back(node);
    }
    int64_t rank = 0;
    for (const auto& named : byName) {
      for (const Node* node : named.second) values[node] = rank;
      ++rank;
    }
    return values;
  }
  for (int i = 0; i < count; ++i) {
    const Node* node = ListItemNode(doc->itemList, i);
    int64_t value;
    if (node && texts->ValueOf(node, column, &value)) values[node] = value;
  }
  return values;
}

void SetColumnTexts(WindowDocument* doc, ColumnTexts* texts, int index, const Node* node, bool fresh) {
  for (int column = kSizeColumn; column < kListColumnCount; ++column) {
    const int position = ColumnPosition(doc, column);
    // A type follows the name, not the data (and may carry its "(shadowed)" mark).
    if (position < 0 || (column == kTypeColumn && !fresh)) continue;
    const std::string text = texts->Of(node, column);
    if (!fresh || !text.empty()) SetSubItemText(doc->itemList, index, position, text.c_str());
  }
}

void SetColumnShown(WindowDocument* doc, int column, bool shown) {
  if (column <= kNameColumn || column >= kListColumnCount || ColumnShown(doc, column) == shown) return;
  ListState* state = ListStateOf(doc);
  HWND list = doc->itemList;
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  if (shown) {
    state->hiddenColumns = static_cast<uint16_t>(state->hiddenColumns & ~(1u << column));
    InsertColumnAt(doc, column);
    ColumnTexts texts(doc);
    const int position = ColumnPosition(doc, column);
    for (int i = 0, count = ListCount(list); i < count; ++i)
      if (const Node* node = ListItemNode(list, i)) SetSubItemText(list, i, position, texts.Of(node, column).c_str());
    if (column == kTypeColumn) MarkShadowedItems(doc);
  } else {
    SendMessageA(list, LVM_DELETECOLUMN, ColumnPosition(doc, column), 0);
    state->hiddenColumns = static_cast<uint16_t>(state->hiddenColumns | (1u << column));
  }
  g_settings.windowState.hiddenColumns = state->hiddenColumns;
  ShowSortArrow(list, doc->sortKey);
  if (shown) {
    QueueMissingCrcs(doc);
    FitColumnWidths(doc);
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  RepaintWhole(list);
}

void ShowHeaderMenu(HWND window, WindowDocument* doc, POINT screen) {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  for (int column = 0; column < kListColumnCount; ++column) {
    if (column == kFromColumn && GameFolderOf(doc) == nullptr) continue;
    UINT flags = MF_STRING | (ColumnShown(doc, column) ? MF_CHECKED : MF_UNCHECKED);
    // The names are what the list is about: that column stays.
    if (column == kNameColumn) flags |= MF_GRAYED;
    AppendMenuA(menu, flags, kColumnMenuBase + column, kColumns[column].menuCaption);
  }
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0, window, nullptr));
  DestroyMenu(menu);
  if (chosen >= kColumnMenuBase + 1 && chosen < kColumnMenuBase + kListColumnCount) {
    const int column = static_cast<int>(chosen - kColumnMenuBase);
    SetColumnShown(doc, column, !ColumnShown(doc, column));
  }
}

bool FittingColumns() { return g_fitting; }

void ResetColumnWidths(WindowDocument* doc) {
  g_fitting = true;
  for (int column = 0; column < kListColumnCount; ++column) {
    const int position = ColumnPosition(doc, column);
    if (position >= 0)
      SendMessageA(doc->itemList, LVM_SETCOLUMNWIDTH, position, MAKELPARAM(RememberedColumnWidth(column, doc->dpi), 0));
  }
  g_fitting = false;
  if (doc->viewMode == kViewDetails) FitColumnWidths(doc);
}

void FitColumnWidths(WindowDocument* doc, int only) {
  HWND list = doc->itemList;
  const int count = ListCount(list);
  // The room the list leaves beside a subitem's text.
  const int padding = ScaleToDpi(16, doc->dpi);
  // One device context with the list's font measures every text as the list does, without
  // the list taking one for each.
  HDC dc = GetDC(list);
  if (dc == nullptr) return;
  HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
  auto widthOf = [dc](const char* text, int length) {
    SIZE extent = {};
    return GetTextExtentPoint32A(dc, text, length, &extent) ? static_cast<int>(extent.cx) : 0;
  };
  g_fitting = true;
  char text[260];
  for (int column = kSizeColumn; column < kListColumnCount; ++column) {
    const int position = ColumnPosition(doc, column);
    if (position < 0 || (only >= 0 && column != only)) continue;
    int needed = 0;
    for (int i = 0; i < count; ++i) {
      LVITEMA item = {};
      item.iSubItem = position;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      const int length = static_cast<int>(SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item)));
      if (length > 0) needed = std::max(needed, widthOf(text, length) + padding);
    }
    const int width = std::max(RememberedColumnWidth(column, doc->dpi), needed);
    if (width != static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, position, 0)))
      SendMessageA(list, LVM_SETCOLUMNWIDTH, position, MAKELPARAM(width, 0));
  }
  g_fitting = false;
  SelectObject(dc, font);
  ReleaseDC(list, dc);
}

void QueueMissingCrcs(WindowDocument* doc) {
  if (!ColumnShown(doc, kCrcColumn)) return;
  ListState* state = ListStateOf(doc);
  std::vector<ListJob> jobs;
  std::unordered_set<NodeId> queued;
  for (int i = 0, count = ListCount(doc->itemList); i < count; ++i) {
    const Node* node = ListItemNode(doc->itemList, i);
    if (!NeedsWorkedOutCrc(doc, node)) continue;
    KnownCrc& known = state->crcs[node->id()];
    const DataIdentity identity = IdentityOf(doc, node);
    // Worked out already (or found unreadable) for these bytes.
    if (SameData(known.of, identity) && !known.pending) continue;
    known = KnownCrc{identity, true, false, 0};
    ListJob job;
    job.kind = ListJobKind::Crc;
    job.node = node->id();
    job.entry = SnapshotEntry(doc, node);
    jobs.push_back(std::move(job));
    queued.insert(node->id());
  }
  // The waiting jobs of files no longer listed are dropped: they are queued again when
  // their files are listed again.
  for (auto known = state->crcs.begin(); known != state->crcs.end();)
    known = known->second.pending && queued.count(known->first) == 0 ? state->crcs.erase(known) : std::next(known);
  state->work.Replace(ListJobKind::Crc, std::move(jobs));
}

void ShowWorkedOutCrc(WindowDocument* doc, const ListResult& result, int index) {
  ListState* state = ListStateOf(doc);
  const auto known = state->crcs.find(result.node);
  const Node* node = doc->tree ? doc->tree->Find(result.node) : nullptr;
  if (known == state->crcs.end() || node == nullptr) return;
  // Bytes that changed while they were read leave the result to the job queued for the new.
  if (!SameData(known->second.of, IdentityOf(doc, node))) return;
  known->second.pending = false;
  known->second.ok = result.ok;
  known->second.crc = result.crc;
  const int position = ColumnPosition(doc, kCrcColumn);
  if (index < 0 || position < 0 || !result.ok) return;
  SetSubItemText(doc->itemList, index, position, CrcText(result.crc).c_str());
}
