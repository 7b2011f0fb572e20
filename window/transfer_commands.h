// The Import File, Import Directory and Export commands of an archive window.
#pragma once

#include <windows.h>

struct WindowDocument;

// Carries out one of the three commands; false for any other command id.
bool OnTransferCommand(HWND window, WindowDocument* doc, int command);

// Imports the files of an Open dialog's multiple-selection answer (a directory, then
// NUL-separated names, then an empty string) into the current folder.
void ImportChosenFiles(HWND window, WindowDocument* doc, const char* chosen);
