// File > Compare With... and Compare With Folder...: the active archive (side A, the new one)
// compared with another archive or a folder on disk (side B, the base it is compared with).
// Every path of either side is listed as added, removed, changed or the same in the modal
// Compare dialog, and the files A adds or changes can be saved as an archive of their own
// (Save Differences As...).
#pragma once

#include <windows.h>

struct WindowDocument;

// Asks for side B (an archive in the Open dialog, or a folder in Browse for Folder when
// folder), compares the two off the window thread, with a progress dialog that can cancel
// when it takes more than a moment, and shows the result. Nothing of the document changes.
void CompareWithOtherSide(HWND window, WindowDocument* doc, bool folder);
