// An archive window's panes at the window's DPI: their fonts, the images of both panes, the
// tree's indent, the list's icon spacing and its column widths, which are remembered in
// 96-DPI units.
#pragma once

#include <windows.h>

#include "panes/window_document.h"

// Gives both panes the fonts and image lists for doc->dpi, the tree its indent and the list
// its icon spacing.
void ApplyPaneDpi(WindowDocument* doc);
// Gives the filter box the panes' font at doc->dpi and the height of a line of it.
void FitFilterBox(WindowDocument* doc);
// The window moved to dpi: the list's column widths are scaled from doc->dpi, dpi becomes
// the panes' DPI and ApplyPaneDpi follows. Nothing happens when dpi is the panes' DPI.
void MovePanesToDpi(WindowDocument* doc, UINT dpi);

// A column's width in the settings (a ListColumn), in pixels at dpi.
int RememberedColumnWidth(int column, UINT dpi);
// Keeps the width the column at a position of doc's list now has, for new windows; not
// while the widths are fitted to the values (FittingColumns).
void RememberColumnWidth(const WindowDocument* doc, int position, int width);
