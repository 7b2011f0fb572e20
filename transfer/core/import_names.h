// The names files and directories from the disk are stored under when they are imported.
#pragma once

#include <string>

// The last component of a path. Disk names never hold a forward slash, so one is taken as
// a separator too: kept in a name, it would split the stored path into directories.
const char* LastPathComponent(const char* path);

// The name a directory at path is imported under: its last component once trailing
// separators are dropped ("C:\games\" names the same directory as "C:\games"), in the case
// it has on disk (the tree it enters applies its own rule).
// Empty when no name is left to give or it names a drive ("C:\").
std::string DirectoryImportName(const char* path);
