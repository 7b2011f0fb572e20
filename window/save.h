// Saving an archive window's document: Save in place through a temporary file, Save As
// in the format the name asks for, and the compression choice of the Save As dialog.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "archive/engine_target.h"

struct WindowDocument;

// The Save command: in place when the document has a file, else Save As. true when saved.
bool SaveDocument(HWND window);
// The Save As command. true when saved, false when cancelled or failed.
bool SaveDocumentAs(HWND window);
// The Save dialog of Save As, titled title, with the formats and the compression list (the
// compression list reading doc), owned by owner (null: the frame) and proposing
// proposedName. false when the user cancelled; otherwise *path is the chosen file, lower-cased
// unless the case of names is kept.
bool AskSaveAsPath(HWND owner, WindowDocument* doc, const std::string& proposedName, const char* title,
                   std::string* path);
// Saves a document no window shows (the differences of a comparison) at path, in the format
// the name asks for, through the same save as any; a file an archive window reads is
// refused. true when saved; the document then reads from that file.
bool SaveUnshownDocument(HWND owner, WindowDocument* doc, const std::string& path);
// Writes the document to a temporary file next to its archive and puts it in the
// archive's place in one step. true when saved; after a failure the window shows the document
// as it was, still modified, and the archive on disk is untouched.
bool SaveInPlace(HWND window, WindowDocument* doc);

// The hook of the program's Save dialogs: keeps the default extension with the chosen
// file type and, for Save As, runs the compression list.
UINT_PTR CALLBACK SaveDialogHook(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// The target chosen in the last Save As dialog that was confirmed.
EngineTarget ChosenSaveTarget();

// The compression level a list position sets, and the position shown for a level.
int CompressionLevelOfPosition(int position);
int CompressionPositionOfLevel(int level);
