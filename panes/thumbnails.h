// The Thumbnails view: the item list's large icons, where each picture an entry holds (a
// kind the preview shows, told by its name and first bytes) shows as a thumbnail in a
// square cell of 96 pixels at 96 DPI, and every other item as its icon in the middle of
// such a cell. Thumbnails are made off the window thread (panes/list_work.h), those of the
// items in the list's client area first, and kept per window until their node's data
// changes or the node goes.
#pragma once

#include <atomic>

#include "panes/entry_picture.h"
#include "panes/list_work.h"
#include "panes/window_document.h"
#include "pictures/picture.h"

// The game palettes the pictures of one request may need, by PaletteGame: where each lies
// is found on the window thread, its bytes are read by the worker at the first picture that
// needs it (only the worker touches what it read).
struct ThumbnailPalettes {
  PaletteSource sources[2];
  bool read[2] = {};
  bool found[2] = {};
  GamePalette palettes[2];
};

// A thumbnail cell's side at 96 DPI.
constexpr int kThumbnailSideAt96 = 96;

// Gives the list the images of its view: the cells of the thumbnails in Thumbnails (made
// anew when the DPI changed their size), the large icons otherwise, and every item its
// image there.
void ShowThumbnailImages(WindowDocument* doc);
// The image a node's item shows for its icon: in Thumbnails its thumbnail, or its icon's
// cell while it has none; the icon itself in the other views.
int ListItemImage(WindowDocument* doc, const Node* node, int icon);
// Queues the thumbnails the listed files lack, those in the client area first; in the
// Thumbnails view only.
void QueueThumbnails(WindowDocument* doc);
// Forgets the thumbnails of nodes that are gone or whose data changed.
void DropChangedThumbnails(WindowDocument* doc);
// Shows a thumbnail the worker made (or keeps the icon of a file that holds no picture) in
// the item at index (-1: not listed).
void ShowMadeThumbnail(WindowDocument* doc, const ListResult& result, int index);

// The worker's half: reads the entry, tells whether it holds a picture, decodes it and
// scales it into the cell (kept in shape, never enlarged, transparent pixels over a
// checkerboard). False for no picture, a damaged one, or a stop.
bool MakeThumbnailPixels(const ListJob& job, const std::atomic<bool>& stop, ListResult* result);
