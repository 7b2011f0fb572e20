#include "services/core/window_state.h"

void CorrectWindowState(WindowState* state) {
  if (state->childWidth == 0) state->childWidth = kUseDefaultSize;
  if (state->childHeight == 0) state->childHeight = kUseDefaultSize;
  if (state->folderPaneWidth == 0) state->folderPaneWidth = 100;
  if (state->nameColumnWidth == 0) state->nameColumnWidth = 120;
  if (state->sizeColumnWidth == 0) state->sizeColumnWidth = 60;
  if (state->typeColumnWidth == 0) state->typeColumnWidth = 120;
  if (state->modifiedColumnWidth == 0) state->modifiedColumnWidth = 120;
  if (state->packedColumnWidth == 0) state->packedColumnWidth = 70;
  if (state->ratioColumnWidth == 0) state->ratioColumnWidth = 50;
  if (state->methodColumnWidth == 0) state->methodColumnWidth = 70;
  if (state->crcColumnWidth == 0) state->crcColumnWidth = 75;
  if (state->viewMode > kViewThumbnails) state->viewMode = kViewDetails;
  uint16_t key = state->sortKey & 0xFF;
  if (key != kSortByName && key != kSortByType && key != kSortBySize && key != kSortByModified &&
      key != kSortByPacked && key != kSortByRatio && key != kSortByMethod && key != kSortByCrc)
    state->sortKey = kSortByName;
  if (state->childStyle != 0 && state->childStyle != kWindowStateMaximize) state->childStyle = 0;
}

uint32_t CorrectZipCompressionLevel(uint32_t level) {
  return level > 9 ? kDefaultZipLevel : level;
}
