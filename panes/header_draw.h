// The item list's column header, drawn by the program so that the sorted column
// carries an arrow pointing up (ascending) or down (descending).
#pragma once

#include <windows.h>

struct WindowDocument;

// Subclasses the header, ties it to the document and makes its three items owner-drawn;
// false when the header cannot be subclassed.
bool AttachHeaderDrawing(HWND header, WindowDocument* doc);

// The column that carries the arrow for a sort key (-1 for none).
int SortedColumn(unsigned sortKey);
