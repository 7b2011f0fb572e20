#include "services/core/file_type_table.h"

#include <cstring>

namespace {

struct Crc16Table {
  uint16_t v[256];
  Crc16Table() : v() {
    for (int i = 0; i < 256; ++i) {
      uint16_t crc = static_cast<uint16_t>(i << 8);
      for (int bit = 0; bit < 8; ++bit) {
        crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                             : static_cast<uint16_t>(crc << 1);
      }
      v[i] = crc;
    }
  }
};

const Crc16Table kCrc16Table;

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

uint16_t Crc16CcittFalse(const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table.v[((crc >> 8) ^ p[i]) & 0xFF]);
  }
  return crc;
}

const char* FileNameExtension(const char* fileName) {
  if (!fileName) return "";
  const char* dot = std::strrchr(fileName, '.');
  return dot ? dot + 1 : "";
}

static int BucketOf(const char* extension) {
  return Crc16CcittFalse(extension, std::strlen(extension)) % kFileTypeBuckets;
}

const FileType* FileTypeTable::Find(const char* extension) const {
  // The newest record first: an extension entered again answers with what it got last.
  const std::vector<std::unique_ptr<Record>>& bucket = buckets_[BucketOf(extension)];
  for (auto record = bucket.rbegin(); record != bucket.rend(); ++record)
    if ((*record)->extension == extension) return &(*record)->type;
  return nullptr;
}

const FileType* FileTypeTable::Enter(const char* dottedExtension) {
  const char* extension = dottedExtension[0] == '.' ? dottedExtension + 1 : dottedExtension;
  size_t extLength = std::strlen(extension);
  int32_t icon = 0;
  char typeName[kTypeNameMax + 1] = {};
  if (!source_ || !source_->Query(dottedExtension, &icon, typeName, sizeof typeName)) {
    if (extLength == 0) return nullptr;
    icon = defaultFileIcon_;
    typeName[0] = '\0';
  }
  typeName[kTypeNameMax] = '\0';
  if (typeName[0] == '\0') {
    if (extLength >= 1 && extLength <= 74) {
      for (size_t i = 0; i < extLength; ++i) typeName[i] = AsciiUpper(extension[i]);
      std::memcpy(typeName + extLength, " File", 6);
    } else {
      std::memcpy(typeName, "File", 5);
    }
  }
  std::unique_ptr<Record> record(new Record{std::string(extension, extLength), typeName, FileType{}});
  record->type = FileType{record->extension.c_str(), record->typeName.c_str(), icon};
  const FileType* entered = &record->type;
  buckets_[BucketOf(extension)].push_back(std::move(record));
  ++count_;
  if (extLength == 0) defaultFileIcon_ = icon;
  return entered;
}

const FileType* FileTypeTable::Lookup(const char* fileName) {
  const char* extension = FileNameExtension(fileName);
  if (const FileType* found = Find(extension)) return found;
  return Enter((std::string(".") + extension).c_str());
}

void FileTypeFallbackName(const char* extension, char* buffer, size_t size) {
  size_t length = std::strlen(extension);
  // An extension too long for the buffer gets the plain name rather than a cut one.
  if (length == 0 || length + sizeof(" File") > size) {
    std::memcpy(buffer, "File", 5);
    return;
  }
  for (size_t i = 0; i < length; ++i) buffer[i] = AsciiUpper(extension[i]);
  std::memcpy(buffer + length, " File", 6);
}

int32_t FileTypeTable::Info(const char* fileName, const char** typeName) {
  if (const FileType* type = Lookup(fileName)) {
    *typeName = type->typeName;
    return type->iconIndex;
  }
  FileTypeFallbackName(FileNameExtension(fileName), infoFallback_, sizeof infoFallback_);
  *typeName = infoFallback_;
  return defaultFileIcon_;
}

int32_t FileTypeTable::Icon(const char* fileName) {
  const FileType* type = Lookup(fileName);
  return type ? type->iconIndex : defaultFileIcon_;
}

const char* FileTypeTable::Name(const char* fileName) {
  if (const FileType* type = Lookup(fileName)) return type->typeName;
  FileTypeFallbackName(FileNameExtension(fileName), nameFallback_, sizeof nameFallback_);
  return nameFallback_;
}
