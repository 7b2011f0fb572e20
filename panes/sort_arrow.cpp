#include "panes/sort_arrow.h"

#include <commctrl.h>

#include "panes/list_columns.h"

int SortedColumn(HWND list, unsigned sortKey) {
  return ColumnPosition(DocumentOf(ArchiveWindowOfPane(list)), ColumnOfSortKey(sortKey));
}

void ShowSortArrow(HWND list, unsigned sortKey) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  if (!header) return;
  const int sorted = SortedColumn(list, sortKey);
  const int arrow = (sortKey & 0x100) ? HDF_SORTDOWN : HDF_SORTUP;
  const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    if (!SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) continue;
    const int format = (item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN)) | (i == sorted ? arrow : 0);
    if (format == item.fmt) continue;
    item.fmt = format;
    SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
}
