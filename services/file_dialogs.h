// The system's Open, Save and folder dialogs as the program uses them: filters from the
// string table, starting in InitialDirectory and updating it after every choice.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

// The filter id that stands for the archives' filter, which the format table makes: every
// archive extension on one line ("All PAK Files (*.PAK;*.PK3;*.ZIP)"), then each format's
// own lines, then all files.
constexpr UINT kArchiveFilter = 0;
// That filter as the string table would hold it: parts separated by "|".
std::string ArchiveFilterText();

// Opens the Open dialog owned by the frame. With OFN_ALLOWMULTISELECT the buffer then
// always holds the directory, each chosen name and an empty string, NUL-separated;
// otherwise the full path. true when the user chose, false on cancel or failure.
bool ShowOpenDialog(char* buffer, DWORD size, const char* initialName, UINT filterId,
                   const char* title, DWORD flags);

// Opens the Save dialog owned by owner (null: the frame), with hook (which may be null) as
// its hook procedure, in the folder startIn (null or empty: the folder last used by any of
// the file dialogs); the full chosen path goes to the buffer. true when the user chose.
bool ShowSaveDialog(char* buffer, DWORD size, const char* initialName, UINT filterId,
                   const char* defaultExtension, const char* title, DWORD flags, LPARAM custom,
                   LPOFNHOOKPROC hook, HWND owner = nullptr, const char* startIn = nullptr);

// Lets the user choose a directory below My Computer, by the tree or by a path typed into
// its edit box, starting at InitialDirectory, which then becomes the chosen directory.
// true when a file-system path was written to buffer (at least kPathBufferSize bytes).
bool BrowseForDirectory(HWND owner, char* buffer, const char* title);

// Sets InitialDirectory to the directory part of a chosen path (empty when it has none).
void RememberDirectoryOf(const char* path);
// The folder part of a path, before its last separator ("" when it has none).
std::string FolderOfPath(const char* path);
// Notes the folder of an archive just opened or saved: where Save As of a new one starts.
void RememberArchiveFolderOf(const char* path);
