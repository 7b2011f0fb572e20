// What the window program does with a game folder (archive/game_folder.h) beyond showing
// it: an item shown in the archive it is read from, the shadowing files alone, the folder
// searched as another engine would.
#pragma once

#include <windows.h>

#include "archive/engine_target.h"
#include "panes/window_document.h"

// Show in Archive: opens (or brings forward) the window of the archive the selected file is
// read from and selects the file there; for a loose file, shows it in the folder.
void ShowInArchive(HWND window, WindowDocument* doc);

// View > Only Files That Shadow Another: the list shows only the files of the folder that
// shadow a file of the same path searched later (what a mod overrides), and the folders
// holding one; given again, everything.
void ToggleOnlyShadowing(HWND window, WindowDocument* doc);

// View > Search As: the command of each target, and the target of a command (false for a
// command that names none).
int SearchAsCommand(EngineTarget target);
bool TargetOfSearchAsCommand(int command, EngineTarget* target);

// Shows the game folder searched as target's engine would: the folder is opened again in a
// window that takes this one's place, size and shown folder (when the folder is still there),
// and this one closes. When the folder cannot be opened so, this window stays as it is, and
// the open said why.
void SearchGameFolderAs(HWND window, WindowDocument* doc, EngineTarget target);
