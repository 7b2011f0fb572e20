// The preview pane under an archive window's item list: what the focused item holds (a
// text, a picture, a sound's facts, the bytes in hex) and its facts, or a folder's counts.
// Reading and decoding happen on the pane's worker; the window thread only takes a snapshot
// of the entry and shows the result that comes back.
#pragma once

#include <windows.h>

#include "archive/tree.h"
#include "panes/window_document.h"

// The pane's children, for tests and the layout: the name line, the note line (a caption,
// a sound's facts, "Can't show this file: ..."), the edit, the picture view
// (WMU_PICTURE_BITMAP in panes/picture_view.h), Play, Stop and the facts at the bottom.
constexpr int kPreviewTitleId = 1, kPreviewNoteId = 2, kPreviewEditId = 3, kPreviewPictureId = 4,
              kPreviewPlayId = 5, kPreviewStopId = 6, kPreviewDetailsId = 7;

// Sent to the pane: returns the number of the last result it shows (every request gets the
// next number; a result is shown only while no newer request came), and in *(uint64_t*)
// lParam, when given, the number of the newest request.
constexpr UINT WMU_PREVIEW_SHOWN = WM_USER + 0x41;

// The pane and the top/bottom splitter that holds the item list above it; doc->itemList
// moves into the splitter. False when either cannot be made.
bool CreatePreviewPane(HWND window, WindowDocument* doc, HWND outerSplitter, int splitterId, int paneId);

// Whether the pane is shown, and showing or hiding it (kept for new windows).
bool PreviewShown(const WindowDocument* doc);
// Where the keyboard goes in the pane: the text it shows, else the picture, else the pane
// itself; null while it is hidden.
HWND PreviewFocusTarget(const WindowDocument* doc);
void ShowPreviewPane(HWND window, WindowDocument* doc, bool shown);

// Shows the preview of node (a file), or the counts of a folder node; nothing happens
// while the pane is hidden.
void PreviewNode(HWND window, WindowDocument* doc, const Node* node);
// Shows the focused item of the list, or the current folder's counts when none is.
void PreviewFocusedItem(HWND window, WindowDocument* doc);
// The same once the messages already waiting have run: a burst of focus changes (a key
// held down, a folder filled) makes one request, for where the focus ends up.
void PreviewFocusedItemSoon(WindowDocument* doc);

// The pane's fonts for doc->dpi, after a DPI change.
void ApplyPreviewDpi(WindowDocument* doc);
