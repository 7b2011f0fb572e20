// The Compare dialog: what a comparison of an archive window's document found, and the
// commands on it (showing an item in its window, saving the differences).
#pragma once

#include <windows.h>

#include <string>

#include "archive/archive_compare.h"

struct WindowDocument;

// A finished comparison of the window's document (side A) with side B, an archive file or
// a folder at pathB. Only paths of B are used once it is compared: B's file is not held.
struct CompareOutcome {
  HWND window = nullptr;
  WindowDocument* doc = nullptr;
  std::string pathB;
  bool folderB = false;
  bool gameFolderB = false;  // B is a folder compared as its game reads it
  Comparison comparison;
};

// Runs the modal Compare dialog over outcome. The dialog is modal to the frame, so the
// document cannot change while it shows the comparison's nodes.
void ShowCompareDialog(CompareOutcome* outcome);
