// File > Test Archive: reads every file of the active archive from disk in a progress dialog
// and reports the damaged ones, and the rules of the archive's engine target it breaks. The
// document is not changed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct ArchiveCheckResult;
struct WindowDocument;

// Runs the test of the window's archive and shows its result in a message box.
void TestArchive(HWND window, WindowDocument* doc);

// The result's message: "No errors found in N files.", the damaged entries each as
// "path: reason" (at most a screenful, then "and N more"), or how far a cancelled test came.
// total is the number of files the test had to read.
std::string TestResultMessage(const ArchiveCheckResult& result, uint32_t total);
