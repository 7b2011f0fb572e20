// What an archive window's item list keeps beside its items: the Details columns it shows,
// the CRC-32s worked out for files that store none, its thumbnails, and the worker that
// makes both. Owned by the window's document (WindowDocument::listState).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "archive/entry_buffer.h"
#include "archive/source.h"
#include "archive/tree.h"
#include "panes/list_work.h"

// What a value worked out from a file's bytes was worked out from: the same node with other
// data (new bytes, or an entry of another file after a save) must not take it.
struct DataIdentity {
  std::weak_ptr<const EntryBuffer> memory;  // a memory file's bytes
  const ArchiveSource* source = nullptr;    // or the source entry's file and record
  uint32_t index = 0;
  uint64_t offset = 0;
  uint32_t size = 0;
};
DataIdentity IdentityOf(const ArchiveDocument* doc, const Node* node);
bool SameData(const DataIdentity& a, const DataIdentity& b);

struct KnownCrc {
  DataIdentity of;
  bool pending = false;  // queued, not worked out yet
  bool ok = false;       // false: the bytes could not be read
  uint32_t crc = 0;
};

struct Thumbnail {
  DataIdentity of;
  bool pending = false;
  int image = -1;  // its image in the thumbnails' image list; -1 while none
};

struct ListState {
  explicit ListState(HWND list) : work(list) {}
  ~ListState();
  uint16_t hiddenColumns = 0;  // 1 << column of each Details column not shown
  std::unordered_map<NodeId, KnownCrc> crcs;
  std::unordered_map<NodeId, Thumbnail> thumbnails;
  HIMAGELIST thumbnailImages = nullptr;  // the Thumbnails view's large images
  int thumbnailSide = 0;                 // the side of their cells, in pixels
  std::unordered_map<int, int> iconCells;  // a large icon's index -> its cell's image
  // Work posted to the list to run once its caller's messages have run.
  bool changeScheduled = false;
  bool scrollScheduled = false;
  ListWork work;
};
