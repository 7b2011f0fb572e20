// File-type icons and names from the desktop shell, the system image lists and
// the folder tree's image list; built at start-up, released when the frame goes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "services/core/file_type_table.h"

// Fills the table with the start-up extensions and fetches the folder icons and the
// system image lists; false when any required step fails.
bool BuildFileTypes();
// Creates FolderImageList: folder, open folder, the program's icon (resource 120).
bool CreateFolderImageList(HINSTANCE instance);
// Destroys FolderImageList, the folder icons and the table.
void ReleaseFileTypes();

int FileTypeInfo(const char* fileName, const char** typeName);
int FileTypeIcon(const char* fileName);
const char* FileTypeName(const char* fileName);
int FolderTypeInfo(const char** typeName);

HIMAGELIST SystemImageListSmall();
HIMAGELIST SystemImageListLarge();
HIMAGELIST FolderImageList();
// The table itself, for inspection.
FileTypeTable* FileTypes();
