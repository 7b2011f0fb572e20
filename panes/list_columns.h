// The Details view's columns: which exist, which the user shows (the header's menu), the
// texts and sort values of each, the CRC-32s worked out off the window thread for files
// that store none, and widths that fit the values shown.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "panes/core/list_order.h"
#include "panes/list_state.h"
#include "panes/window_document.h"

// The columns, in the order the header shows them; each is its bit in hiddenColumns.
enum ListColumn : int {
  kNameColumn,
  kSizeColumn,
  kTypeColumn,
  kPackedColumn,
  kRatioColumn,
  kMethodColumn,
  kCrcColumn,
  kModifiedColumn,
  kFromColumn,  // a game folder's only: the archive (or "folder") each file is read from
};
constexpr int kListColumnCount = 9;

// The document's list state, made at its first use.
ListState* ListStateOf(WindowDocument* doc);

// Where a column stands in the list (-1 while hidden), and the column at a position (-1
// for none).
int ColumnPosition(const WindowDocument* doc, int column);
int ColumnAt(const WindowDocument* doc, int position);
bool ColumnShown(const WindowDocument* doc, int column);
// The column a sort key orders by (-1 for none), the sort command of a column, and the
// sort key bit of a command (0 for none).
int ColumnOfSortKey(uint32_t sortKey);
int SortCommandOfColumn(int column);
uint32_t SortKeyOfCommand(int command);

// Gives the list the columns the settings show, at their remembered widths.
void InsertListColumns(WindowDocument* doc);

// The texts and values of one fill, refresh or sort of the list: the archive file's time is
// asked of the disk once for all the files that take it.
class ColumnTexts {
 public:
  explicit ColumnTexts(WindowDocument* doc);
  // A node's text in a column other than Name; empty where it shows none.
  std::string Of(const Node* node, int column);
  // What the column's order compares for a node; false for none (folders, unknowns).
  bool ValueOf(const Node* node, int column, int64_t* value);

 private:
  bool Info(const Node* node, EntryInfo* info) const;
  bool Crc(const Node* node, uint32_t* crc);
  bool Moment(const Node* node, int64_t* moment);

  WindowDocument* doc_;
  enum class Archive { NotAsked, Known, Unknown };
  Archive archive_ = Archive::NotAsked;
  int64_t archiveMoment_ = 0;
};

// Sets every shown column's text but the Name of the item at index. fresh: the item was
// just inserted, with no texts to clear; otherwise its data changed, and its type stays.
void SetColumnTexts(WindowDocument* doc, ColumnTexts* texts, int index, const Node* node, bool fresh);
// The values of the listed items under a sort key that orders by one (SortsByValue).
EntryValues ListedValues(WindowDocument* doc, ColumnTexts* texts, uint32_t sortKey);

// Shows or hides a column (never Name) in this window, and keeps the choice for new ones.
void SetColumnShown(WindowDocument* doc, int column, bool shown);
// The header's menu of the columns as check items, at a point on the screen; the chosen
// item shows or hides its column.
void ShowHeaderMenu(HWND window, WindowDocument* doc, POINT screen);

// Widens each shown column but Name that is narrower than its widest text to fit it (only
// that column, when one is given); a column never becomes narrower than the width the user
// gave it.
void FitColumnWidths(WindowDocument* doc, int only = -1);
// Gives every column the width the user gave it, at doc->dpi, then fits them in Details.
void ResetColumnWidths(WindowDocument* doc);
// Whether the widths change because they are being fitted (not kept for new windows then).
bool FittingColumns();

// Queues the CRC-32s the listed files show but no record holds, once each, while the
// column is shown.
void QueueMissingCrcs(WindowDocument* doc);
// Shows a CRC-32 worked out off the window thread in the item at index (-1: not listed).
void ShowWorkedOutCrc(WindowDocument* doc, const ListResult& result, int index);
