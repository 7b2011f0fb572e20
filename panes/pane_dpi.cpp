#include "panes/pane_dpi.h"

#include <commctrl.h>

#include "services/dpi.h"
#include "services/icon_lists.h"
#include "services/settings.h"
#include "services/splitter.h"
#include "services/core/window_state.h"
#include "panes/list_columns.h"
#include "panes/thumbnails.h"

namespace {

// The tree control's own indent of its levels at 96 DPI.
constexpr int kTreeIndentAt96 = 19;
uint16_t* RememberedWidth(int column) {
  WindowState& state = g_settings.windowState;
  switch (column) {
    case kNameColumn: return &state.nameColumnWidth;
    case kSizeColumn: return &state.sizeColumnWidth;
    case kTypeColumn: return &state.typeColumnWidth;
    case kPackedColumn: return &state.packedColumnWidth;
    case kRatioColumn: return &state.ratioColumnWidth;
    case kMethodColumn: return &state.methodColumnWidth;
    case kCrcColumn: return &state.crcColumnWidth;
    case kModifiedColumn: return &state.modifiedColumnWidth;
    case kFromColumn: {
      // Not kept in the settings: it only shows for game folders, and fits its names.
      static uint16_t fromWidth = 90;
      return &fromWidth;
    }
    default: return nullptr;
  }
}

}  // namespace

int RememberedColumnWidth(int column, UINT dpi) {
  const uint16_t* width = RememberedWidth(column);
  return width ? ScaleToDpi(*width, dpi) : 0;
}

void RememberColumnWidth(const WindowDocument* doc, int position, int width) {
  // A width fitted to the values shown is this folder's, not the user's choice.
  if (FittingColumns() || doc == nullptr) return;
  uint16_t* kept = RememberedWidth(ColumnAt(doc, position));
  if (!kept || width < 0) return;
  const int at96 = ScaleFromDpi(width, doc ? doc->dpi : kBaseDpi);
  *kept = static_cast<uint16_t>(at96 > 0xFFFF ? 0xFFFF : at96);
}

void ApplyPaneDpi(WindowDocument* doc) {
  const UINT dpi = doc->dpi;
  if (HFONT font = IconTitleFontForDpi(dpi)) {
    SendMessageA(doc->folderTree, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageA(doc->itemList, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  SendMessageA(doc->folderTree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(FolderIconsForDpi(dpi)));
  SendMessageA(doc->folderTree, TVM_SETINDENT, ScaleToDpi(kTreeIndentAt96, dpi), 0);
  SendMessageA(doc->itemList, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(SmallIconsForDpi(dpi)));
  SendMessageA(doc->itemList, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(LargeIconsForDpi(dpi)));
  // At the system's DPI the list's own spacing is right; at another it is the one for dpi.
  const LPARAM spacing = dpi == SystemDpi() ? static_cast<LPARAM>(-1)
                                            : MAKELPARAM(MetricForDpi(SM_CXICONSPACING, dpi),
                                                         MetricForDpi(SM_CYICONSPACING, dpi));
  SendMessageA(doc->itemList, LVM_SETICONSPACING, 0, spacing);
  FitFilterBox(doc);
}

void FitFilterBox(WindowDocument* doc) {
  if (!doc->filterBox) return;
  HFONT font = IconTitleFontForDpi(doc->dpi);
  if (font) SendMessageA(doc->filterBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  TEXTMETRICA metrics = {};
  HDC dc = GetDC(doc->filterBox);
  if (dc) {
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(doc->filterBox, dc);
  }
  // A line of text, the edit's own margin above and below it, and its sunken edge.
  const int height = metrics.tmHeight + ScaleToDpi(4, doc->dpi) + 2 * MetricForDpi(SM_CYEDGE, doc->dpi);
  SetSplitterHeader(doc->previewSplitter, doc->filterBox, height);
}

void MovePanesToDpi(WindowDocument* doc, UINT dpi) {
  if (dpi == doc->dpi) return;
  doc->dpi = dpi;
  ApplyPaneDpi(doc);
  // The user's widths at the new DPI, and the values' at its font.
  ResetColumnWidths(doc);
  // The thumbnails' cells take the new DPI's size.
  if (doc->viewMode == kViewThumbnails) ShowThumbnailImages(doc);
  SendMessageA(doc->itemList, LVM_ARRANGE, LVA_DEFAULT, 0);
}
