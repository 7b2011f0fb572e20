// The View action on one item of an archive window.
#pragma once

#include <windows.h>

#include <string>

#include "archive/tree.h"

// A directory becomes the current folder; a WAV file is played; any other file is written
// to a temporary copy in TempDirectory and opened with the program the shell associates
// with its type, watched until that program ends. true when the item is shown or playing.
bool ViewEntry(HWND window, Node* node);

// The message of a failure to open name: "Can't open "name": <the system's reason>.", with
// the reason's inserts filled in.
std::string ShellFailureText(const char* name, unsigned long error);
