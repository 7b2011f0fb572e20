// What the window program does with a game folder (archive/game_folder.h) beyond showing
// it: an item shown in the archive it is read from.
#pragma once

#include <windows.h>

#include "panes/window_document.h"

// Show in Archive: opens (or brings forward) the window of the archive the selected file is
// read from and selects the file there; for a loose file, shows it in the folder.
void ShowInArchive(HWND window, WindowDocument* doc);

// View > Only Files That Shadow Another: the list shows only the files of the folder that
// shadow a file of the same path searched later (what a mod overrides), and the folders
// holding one; given again, everything.
void ToggleOnlyShadowing(HWND window, WindowDocument* doc);
