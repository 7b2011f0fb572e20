#include "archive/reader_open.h"

#include <sys/stat.h>

#include "archive/source_file.h"

namespace reader_open {

const char kUnreadable[] = "the file cannot be read";
const char kNoMemory[] = "not enough memory";

namespace {

// A folder opens as a file on some systems (and reads as nothing or fails), and not at all
// on others: it is told apart before the open.
bool IsFolder(const char* path) {
#ifdef _WIN32
  struct _stat64 status;
  return _stat64(path, &status) == 0 && (status.st_mode & _S_IFDIR) != 0;
#else
  struct stat status;
  return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

}  // namespace

FILE* OpenForReading(const char* path, std::string* why) {
  if (IsFolder(path)) {
    Refuse(why, "it is a folder");
    return nullptr;
  }
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    Refuse(why, "the file cannot be opened");
    return nullptr;
  }
  const int64_t length = source_file::Length(f);
  if (length <= 0) {
    Refuse(why, length == 0 ? "the file is empty" : kUnreadable);
    std::fclose(f);
    return nullptr;
  }
  return f;
}

bool Refuse(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

std::string GroupedCount(uint64_t count) {
  std::string digits = std::to_string(count);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace reader_open
