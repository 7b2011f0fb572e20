// Archive windows with OLE running, the program's clipboard formats and its drop source,
// as start-up provides them, and helpers for selecting and reading items.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/drop_files_block.h"

class DataExchangeTest : public ArchiveWindowTest {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Makes the folder at storedPath ("" for the root) the current folder.
void ShowFolderAt(WindowDocument* doc, const std::string& storedPath);
// Selects exactly the named items of the list and gives it the focus.
void SelectListItems(WindowDocument* doc, const std::vector<std::string>& names);
bool ListItemCut(WindowDocument* doc, const std::string& name);

// The 32-bit value of a handshake format, or -1 when it cannot be read.
long ReadDword(IDataObject* data, UINT format);
// Puts a shell file list on the clipboard the way the shell's Copy does (plain CF_HDROP),
// the paths as UTF-16 with wide, as the shell gives them.
bool PutFilesOnClipboard(const std::vector<std::string>& paths, bool wide = false);
