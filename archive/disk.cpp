#include "archive/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <process.h>
#include <sys/utime.h>
#include <cwchar>
#include <time.h>
// For what the C library lacks: putting a file in another's place in a single step, and a
// file's identity on its volume.
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Narrow paths are in the process's code page (UTF-8 where the system honours the
// program's manifest); the wide functions take them converted. False when the text does
// not convert whole.
bool WideOfNarrow(const std::string& narrow, std::wstring* wide) {
  wide->clear();
  if (narrow.empty()) return true;
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), static_cast<int>(narrow.size()), &(*wide)[0], n) == n;
}

bool NarrowOfWide(const wchar_t* wide, std::string* narrow) {
  narrow->clear();
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return n == 1;
  narrow->resize(static_cast<size_t>(n));
  // A character the code page lacks would come out as "?", naming another file: refused.
  BOOL lossy = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, &(*narrow)[0], n, nullptr, utf8 ? nullptr : &lossy) != n || lossy)
    return false;
  narrow->resize(static_cast<size_t>(n - 1));
  return true;
}

// The full path of path, or "" when the system gives none.
std::string FullPathOf(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::string();
  std::string full(needed, '\0');
  const DWORD n = GetFullPathNameA(path.c_str(), needed, &full[0], nullptr);
  if (n == 0 || n >= needed) return std::string();
  full.resize(n);
  return full;
}

using StatRecord = struct _stati64;
int StatOf(const char* path, StatRecord* info) { return _stati64(path, info); }
int LinkStatOf(const char* path, StatRecord* info) { return _stati64(path, info); }
#else
using StatRecord = struct stat;
int StatOf(const char* path, StatRecord* info) { return stat(path, info); }
int LinkStatOf(const char* path, StatRecord* info) { return lstat(path, info); }
#endif

DiskItem ItemOf(int status, const StatRecord& info) {
  DiskItem item;
  if (status != 0) return item;
#ifdef _WIN32
  if (info.st_mode & _S_IFDIR)
    item.kind = DiskKind::Directory;
  else if (info.st_mode & _S_IFREG)
    item.kind = DiskKind::File;
  else
    item.kind = DiskKind::Other;
#else
  if (S_ISLNK(info.st_mode))
    item.kind = DiskKind::Link;
  else if (S_ISDIR(info.st_mode))
    item.kind = DiskKind::Directory;
  else if (S_ISREG(info.st_mode))
    item.kind = DiskKind::File;
  else
    item.kind = DiskKind::Other;
  item.device = static_cast<uint64_t>(info.st_dev);
  item.inode = static_cast<uint64_t>(info.st_ino);
#endif
  item.size = static_cast<uint64_t>(info.st_size);
  item.modified = static_cast<int64_t>(info.st_mtime);
  return item;
}

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

int OpenNew(const char* path, bool exclusive) {
#ifdef _WIN32
  return _open(path, _O_WRONLY | _O_CREAT | _O_BINARY | (exclusive ? _O_EXCL : _O_TRUNC), _S_IREAD | _S_IWRITE);
#else
  return open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | (exclusive ? O_EXCL : O_TRUNC), 0666);
#endif
}

#if defined(__linux__) && defined(O_TMPFILE)
// A new file is made without a name in the folder that is to hold it, and given its name
// once complete. Making a file's inode is the costly part of making a file, and made
// unnamed it is made outside the folder's lock: threads making files in one folder make
// them side by side, and only the names are added one at a time. No partial file is ever
// seen under the name either. -1 where the system or the file system cannot do it.
int OpenUnnamedBeside(const std::string& path) {
  // The name is given through the process's own view of its descriptors.
  static const bool linkable = access("/proc/self/fd", X_OK) == 0;
  if (!linkable) return -1;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return open(folder.c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
}

// Gives the unnamed file open at fd the name path; fails where anything is there already
// (a link included, which is not followed).
bool NameUnnamed(int fd, const std::string& path) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}
#else
int OpenUnnamedBeside(const std::string&) { return -1; }
bool NameUnnamed(int, const std::string&) { return false; }
#endif

}  // namespace

DiskItem StatPath(const std::string& path) {
  StatRecord info;
  const int status = StatOf(path.c_str(), &info);
  return ItemOf(status, info);
}

DiskItem StatLink(const std::string& path) {
  StatRecord info;
  const int status = LinkStatOf(path.c_str(), &info);
  return ItemOf(status, info);
}

bool ListDirectory(const std::string& path, std::vector<std::string>* names) {
  names->clear();
#ifdef _WIN32
  // The wide search: the narrow one holds a name in 260 bytes, which a name of more than 86
  // characters of some scripts outgrows in UTF-8.
  std::wstring pattern;
  if (!WideOfNarrow(JoinDiskPath(path, "*"), &pattern)) return false;
  _wfinddatai64_t found;
  const intptr_t search = _wfindfirsti64(pattern.c_str(), &found);
  if (search == -1) return errno == ENOENT && StatPath(path).kind == DiskKind::Directory;
  bool whole = true;
  do {
    if (std::wcscmp(found.name, L".") == 0 || std::wcscmp(found.name, L"..") == 0) continue;
    std::string name;
    if (NarrowOfWide(found.name, &name))
      names->push_back(std::move(name));
    else
      whole = false;  // a name the narrow functions cannot reach
  } while (_wfindnexti64(search, &found) == 0);
  _findclose(search);
  return whole;
#else
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names->push_back(entry->d_name);
    errno = 0;
  }
  const bool ok = errno == 0;
  closedir(dir);
  return ok;
#endif
}

std::string JoinDiskPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (IsSeparator(dir.back())) return dir + name;
  return dir + kDiskSeparator + name;
}

bool MakeDirectory(const std::string& path) {
#ifdef _WIN32
  if (_mkdir(path.c_str()) == 0) return true;
#else
  if (mkdir(path.c_str(), 0777) == 0) return true;
#endif
  return errno == EEXIST && StatLink(path).kind == DiskKind::Directory;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (StatPath(path).kind == DiskKind::Directory) return true;
  size_t end = path.size();
  while (end > 1 && IsSeparator(path[end - 1])) --end;
  size_t cut = end;
  while (cut > 0 && !IsSeparator(path[cut - 1])) --cut;
  // The parent first, unless this is the first component (or a drive, "C:").
  if (cut > 1 && !(cut == 3 && path[1] == ':')) {
    if (!MakeDirectories(path.substr(0, cut - 1))) return false;
  }
  if (StatPath(path).kind == DiskKind::Directory) return true;
#ifdef _WIN32
  return _mkdir(path.c_str()) == 0 || StatPath(path).kind == DiskKind::Directory;
#else
  return mkdir(path.c_str(), 0777) == 0 || StatPath(path).kind == DiskKind::Directory;
#endif
}

bool DiskFileOut::Fail() {
  if (error_ == 0) error_ = errno;
  return false;
}

bool DiskFileOut::Open(const std::string& path, bool replace) {
  Abandon();
  error_ = 0;
  target_ = path;
  if (replace) {
    if (!ReserveTemporary(path, &written_)) return Fail();
  } else {
    written_ = path;
  }
  // Where an unnamed file cannot be made, a named one is, and says why it fails.
  int fd = replace ? -1 : OpenUnnamedBeside(path);
  unnamed_ = fd >= 0;
  if (unnamed_) {
    written_.clear();
  } else {
    errno = 0;
    fd = OpenNew(written_.c_str(), !replace);
  }
  if (fd < 0) {
    Fail();
    if (replace) RemoveFile(written_);
    written_.clear();
    return false;
  }
#ifdef _WIN32
  file_ = _fdopen(fd, "wb");
  if (file_ == nullptr) _close(fd);
#else
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) close(fd);
#endif
  if (file_ == nullptr) {
    Fail();
    if (!unnamed_) RemoveFile(written_);
    unnamed_ = false;
    written_.clear();
    return false;
  }
  return true;
}

bool DiskFileOut::Write(const uint8_t* data, size_t size) {
  if (file_ == nullptr) return false;
  errno = 0;
  return size == 0 || std::fwrite(data, size, 1, file_) == 1 || Fail();
}

bool DiskFileOut::Commit() {
  if (file_ == nullptr) return false;
  errno = 0;
  if (unnamed_) {
    // The bytes are all in the file before it gets its name; a file a write failed in gets
    // none.
    unnamed_ = false;
    const bool named =
        error_ == 0 && (std::fflush(file_) == 0 || Fail()) && (NameUnnamed(fileno(file_), target_) || Fail());
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (named && !closed) {
      Fail();
      RemoveFile(target_);
    }
    return named && closed;
  }
  // Buffered bytes reach the disk at close: a full disk shows up here.
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) Fail();
  if (closed && written_ != target_ && !ReplaceWith(written_, target_)) Fail();
  if (error_ != 0) {
    RemoveFile(written_);
    written_.clear();
    return false;
  }
  written_.clear();
  return true;
}

void DiskFileOut::Abandon() {
  // An unnamed file goes with its descriptor.
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  unnamed_ = false;
  if (!written_.empty()) RemoveFile(written_);
  written_.clear();
}

bool FailsEveryLaterWrite(int error) {
  switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EROFS:
    case EIO:
      return true;
    default:
      return false;
  }
}

std::string ErrorText(int error) { return error ? std::strerror(error) : "the system gave no reason"; }

bool ReserveTemporary(const std::string& target, std::string* temporary) {
#ifdef _WIN32
  const long process = static_cast<long>(_getpid());
#else
  const long process = static_cast<long>(getpid());
#endif
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld-%d.tmp", process, attempt);
    const std::string candidate = target + suffix;
    const int fd = OpenNew(candidate.c_str(), true);
    if (fd >= 0) {
#ifdef _WIN32
      _close(fd);
#else
      close(fd);
#endif
      *temporary = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool IsReadOnlyFile(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
#endif
}

bool SetFileModified(const std::string& path, int64_t modified) {
#ifdef _WIN32
  __utimbuf64 times;
  times.actime = _time64(nullptr);
  times.modtime = static_cast<__time64_t>(modified);
  return _utime64(path.c_str(), &times) == 0;
#else
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = static_cast<time_t>(modified);
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

bool ReplaceWith(const std::string& from, const std::string& to, ReplaceError* why) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  ReplaceError error;
  error.systemError = static_cast<int>(GetLastError());
  if (error.systemError == ERROR_ACCESS_DENIED) {
    // A refusal is told apart by asking for the file as the replace did: a program that holds
    // it open without letting it be deleted makes that a sharing violation.
    HANDLE probe = CreateFileA(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe != INVALID_HANDLE_VALUE)
      CloseHandle(probe);
    else if (GetLastError() == ERROR_SHARING_VIOLATION)
      error.systemError = ERROR_SHARING_VIOLATION;
  }
  error.accessDenied = error.systemError == ERROR_ACCESS_DENIED;
  error.sharing = error.systemError == ERROR_SHARING_VIOLATION || error.systemError == ERROR_LOCK_VIOLATION;
  if (why) *why = error;
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  if (why) {
    why->systemError = errno;
    why->accessDenied = errno == EACCES || errno == EPERM || errno == EROFS;
    why->sharing = errno == EBUSY || errno == ETXTBSY;
  }
  return false;
#endif
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

#ifdef _WIN32
namespace {

// What identifies a file whatever its path is spelt like: its volume and its index there.
bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool read = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return read;
}

}  // namespace
#endif

bool SameDiskFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  BY_HANDLE_FILE_INFORMATION x, y;
  if (IdentityOf(a, &x) && IdentityOf(b, &y))
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
  // Paths of files not there yet: the system compares names without regard to case, for
  // every script.
  const std::string fullA = FullPathOf(a), fullB = FullPathOf(b);
  if (fullA.empty() || fullB.empty()) return lstrcmpiA(a.c_str(), b.c_str()) == 0;
  return lstrcmpiA(fullA.c_str(), fullB.c_str()) == 0;
#else
  const DiskItem x = StatPath(a), y = StatPath(b);
  if (x.kind != DiskKind::Missing && y.kind != DiskKind::Missing) return x.device == y.device && x.inode == y.inode;
  char fullA[PATH_MAX], fullB[PATH_MAX];
  const bool resolvedA = realpath(FolderOfPath(a).c_str(), fullA) != nullptr;
  const bool resolvedB = realpath(FolderOfPath(b).c_str(), fullB) != nullptr;
  if (!resolvedA || !resolvedB) return a == b;
  const auto name = [](const std::string& p) {
    const size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
  };
  return std::string(fullA) == fullB && name(a) == name(b);
#endif
}

std::string FolderOfPath(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  if (end == 0) return ".";
  if (end == 1) return path.substr(0, 1);
  return path.substr(0, end - 1);
}
