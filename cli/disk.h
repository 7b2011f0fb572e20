// The file system as the command-line tool uses it, alike on Linux and Windows: what a
// path is, directory listings, new directories and files, and the temporary file that
// becomes an archive only once it is complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
constexpr char kDiskSeparator = '\\';
#else
constexpr char kDiskSeparator = '/';
#endif

enum class DiskKind { Missing, File, Directory, Link, Other };

struct DiskItem {
  DiskKind kind = DiskKind::Missing;
  uint64_t size = 0;
  // Identifies a directory on its device, to notice a link leading back into a directory
  // being walked; zero where the system gives none.
  uint64_t device = 0, inode = 0;
};

// What is at path, following links (a link to a file is the file); Link is never given.
DiskItem StatPath(const std::string& path);
// What is at path itself: a symbolic link is Link.
DiskItem StatLink(const std::string& path);

// The names in a directory, without "." and "..". False when it cannot be read.
bool ListDirectory(const std::string& path, std::vector<std::string>* names);

// dir + separator + name; no second separator when dir ends in one.
std::string JoinDiskPath(const std::string& dir, const std::string& name);

// Makes the directory; true also when it exists as a directory (not as a link to one).
bool MakeDirectory(const std::string& path);
// Makes path and every missing directory above it.
bool MakeDirectories(const std::string& path);

// Writes size bytes as a new file at path, or over an existing file when overwrite; a link
// at path is never followed. A file that could not be written whole is removed.
bool WriteDiskFile(const std::string& path, const uint8_t* data, uint32_t size, bool overwrite);

// Makes a new empty file beside target (same directory, so that it can take its place in
// one step) and gives its path.
bool ReserveTemporary(const std::string& target, std::string* temporary);
// Puts the file at from in the place of to, replacing what is there in one step.
bool ReplaceWith(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

// Two paths name the same existing file.
bool SameDiskFile(const std::string& a, const std::string& b);

bool StderrIsTerminal();
