// The user's remembered window layout and output choices, as one 52-byte
// block read from and written to the registry, plus the compression level.
#pragma once

#include <cstdint>

struct WindowState {
  int32_t childWidth;        // outer width of a new archive window
  int32_t childHeight;       // outer height of a new archive window
  uint16_t folderPaneWidth;  // splitter position of a new archive window
  uint16_t nameColumnWidth;
  uint16_t sizeColumnWidth;
  uint16_t typeColumnWidth;
  uint32_t viewMode;  // 0 Large Icons, 1 Details, 2 Small Icons, 3 List, 4 Thumbnails
  uint16_t sortKey;   // low byte: 1 Name, 2 Type, 4 Size, 8 Modified; 0x100: descending
  // Two bytes older versions left unused (zero in the blocks they made): a block they
  // stored reads with the default width.
  uint16_t modifiedColumnWidth;
  uint32_t childStyle;  // 0 or kWindowStateMaximize
  // Bytes older versions kept unused and zero: a zero reads as the default.
  uint16_t previewPaneHeight;  // the preview pane's height, in 96-DPI units
  uint16_t previewShown;       // 1 when View > Preview Pane is checked
  uint16_t packedColumnWidth;
  uint16_t ratioColumnWidth;
  uint16_t methodColumnWidth;
  uint16_t crcColumnWidth;
  uint16_t hiddenColumns;  // one bit a Details column (1 << column) the user hid
  uint8_t reserved[10];    // kept as read
};
static_assert(sizeof(WindowState) == 52, "the stored block is 52 bytes");

constexpr int32_t kUseDefaultSize = static_cast<int32_t>(0x80000000u);  // CW_USEDEFAULT
constexpr uint32_t kWindowStateMaximize = 0x01000000;                   // WS_MAXIMIZE
constexpr uint16_t kSortByName = 1, kSortByType = 2, kSortBySize = 4, kSortByModified = 8;
constexpr uint16_t kSortByPacked = 0x10, kSortByRatio = 0x20, kSortByMethod = 0x40, kSortByCrc = 0x80;
constexpr uint16_t kSortDescending = 0x100;
constexpr uint32_t kViewLargeIcons = 0, kViewDetails = 1, kViewSmallIcons = 2, kViewList = 3, kViewThumbnails = 4;
constexpr uint32_t kDefaultZipLevel = 6;

// Replaces zero and out-of-range fields (a missing value reads as zero) with the defaults.
void CorrectWindowState(WindowState* state);

// The compression level as used: anything above 9, taken as unsigned, becomes 6.
uint32_t CorrectZipCompressionLevel(uint32_t level);
