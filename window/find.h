// Edit > Find: the items of an archive whose names match a pattern, and showing one of them.
#pragma once

#include <windows.h>

struct WindowDocument;

// Runs the modal Find dialog over the window's document. A result the user chooses has its
// folder shown in the tree and is selected and focused in the list once the dialog is gone.
void FindInArchive(HWND window, WindowDocument* doc);
