// The View action on one item of an archive window.
#pragma once

#include <windows.h>

#include "archive/tree.h"

// A directory becomes the current folder; a WAV file is played; any other file is written
// to a temporary copy in TempDirectory and opened with the program the shell associates
// with its type, watched until that program ends. true when the item is shown or playing.
bool ViewEntry(HWND window, ArchiveEntry* entry);
