// Icon index and type name per file extension, asked of the shell once per
// extension and kept in a small hash table for the rest of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// CRC-16/CCITT-FALSE: polynomial 0x1021, MSB first, initial 0xFFFF, no final XOR.
uint16_t Crc16CcittFalse(const void* data, size_t length);

struct FileType {
  const char* extension;  // text after the dot, case kept; empty for no extension
  const char* typeName;   // at most 79 characters
  int32_t iconIndex;
};

// Where the table gets a type's icon and name from (the desktop shell on Windows).
class FileTypeSource {
 public:
  // Asks about dottedExtension (".wav", or "." for no extension). On success stores the icon
  // index and the type name (empty when the shell gives none; at most size - 1 characters).
  virtual bool Query(const char* dottedExtension, int32_t* iconIndex, char* typeName,
                     size_t size) = 0;

 protected:
  ~FileTypeSource() = default;
};

constexpr int kFileTypeBuckets = 97;
constexpr size_t kTypeNameMax = 79;

class FileTypeTable {
 public:
  explicit FileTypeTable(FileTypeSource* source) : source_(source) {}
  FileTypeTable(const FileTypeTable&) = delete;
  FileTypeTable& operator=(const FileTypeTable&) = delete;

  // Enters an extension given with its leading dot; null when it could not be entered.
  const FileType* Enter(const char* dottedExtension);
  // The record of an extension (without the dot), or null when it is not in the table.
  const FileType* Find(const char* extension) const;

  // Lookups by file name (may be null): the cached record, entered on first use.
  // The returned name stays valid until the table is destroyed, except a fallback name,
  // which the next fallback of the same function overwrites.
  int32_t Info(const char* fileName, const char** typeName);
  int32_t Icon(const char* fileName);
  const char* Name(const char* fileName);

  int32_t defaultFileIcon() const { return defaultFileIcon_; }
  int RecordCount() const { return count_; }

 private:
  // A record and the two strings it points into, which stay where they are for the table's
  // life.
  struct Record {
    std::string extension;
    std::string typeName;
    FileType type;
  };
  const FileType* Lookup(const char* fileName);

  FileTypeSource* source_;
  std::vector<std::unique_ptr<Record>> buckets_[kFileTypeBuckets];
  int32_t defaultFileIcon_ = 0;
  int count_ = 0;
  char infoFallback_[1024] = {};
  char nameFallback_[1024] = {};
};

// The type name used when an extension cannot be entered: "EXT File", or "File" for the
// empty extension and for one too long for the buffer.
void FileTypeFallbackName(const char* extension, char* buffer, size_t size);

// The extension of a file name: the text after its last '.', or "" (also for null).
const char* FileNameExtension(const char* fileName);
