// The file system as both programs use it, alike on Linux and Windows: what a path is,
// directory listings, new directories and files, and the temporary file that becomes an
// archive only once it is complete. The one place the core asks the system itself for what
// the C library does not give (replacing a file in one step, a file's identity).
#pragma once

#include <cstdint>
#include <cstdio>
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
  int64_t modified = 0;  // when it was last changed, in seconds since 1970
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

// A file written in pieces at path: a new file, or one that takes the place of the existing
// file there once it is complete. An existing file is never written into, so neither a link
// at path nor a second name of the same file (a hard link) leads the bytes anywhere else.
// A file that was not completed is removed; the old one, if any, stays as it was.
class DiskFileOut {
 public:
  DiskFileOut() = default;
  ~DiskFileOut() { Abandon(); }
  DiskFileOut(const DiskFileOut&) = delete;
  DiskFileOut& operator=(const DiskFileOut&) = delete;

  // Starts the file; replace: an existing file at path is to be replaced, else there must be
  // none. False on failure, with the reason in Error(). Where the system can, a new file
  // has no name until Commit gives it one, and one found there by then fails the commit.
  bool Open(const std::string& path, bool replace);
  bool Write(const uint8_t* data, size_t size);
  // Closes the file and, when it replaces one, puts it in the old one's place.
  bool Commit();
  // Closes and removes what was written.
  void Abandon();

  // The system's error number of the first failure, 0 when none was given.
  int Error() const { return error_; }

 private:
  bool Fail();
  std::FILE* file_ = nullptr;
  bool unnamed_ = false;          // the file has no name yet (written_ is empty)
  std::string target_, written_;  // written_: target_ itself, or the file that replaces it
  int error_ = 0;
};

// A failure that every later file on the same disk would meet as well: no space left, a
// quota used up, a disk that cannot be written.
bool FailsEveryLaterWrite(int error);
// The system's text for an error number.
std::string ErrorText(int error);

// Makes a new empty file beside target (same directory, so that it can take its place in
// one step) and gives its path.
bool ReserveTemporary(const std::string& target, std::string* temporary);
// Puts the file at from in the place of to, replacing what is there in one step. On failure
// *why (when given) holds the system's error and, where the system can tell, whether to is
// read-only or may not be changed (accessDenied) or another program holds it (sharing).
struct ReplaceError {
  int systemError = 0;
  bool accessDenied = false;
  bool sharing = false;
};
bool ReplaceWith(const std::string& from, const std::string& to, ReplaceError* why = nullptr);
// Whether the file at path is marked read-only.
bool IsReadOnlyFile(const std::string& path);
// Gives the file at path the time it was last changed (seconds since 1970); false when the
// system refused.
bool SetFileModified(const std::string& path, int64_t modified);
bool RemoveFile(const std::string& path);

// Whether two paths name one file: another spelling of its path, a link or a second name of
// it (a hard link) all do. Where either file does not exist, the full paths are compared.
bool SameDiskFile(const std::string& a, const std::string& b);

// The folder part of path (without its last separator), "." when it has none.
std::string FolderOfPath(const std::string& path);
