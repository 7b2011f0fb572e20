// Choosing the reader for an archive file by its name, and closing sources.
#include "archive/loading.h"

#include <cstring>

namespace {

const char kCaption[] = "Vellumix";
const char kPakError[] = "Error reading PAK file";
const char kPk3Error[] = "Error reading PK3 file";

// The extension is looked for in the file name only, so that a dot in a
// directory name does not decide the format of a file without extension.
const char* FileExtension(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return std::strrchr(name, '.');
}

}  // namespace

void LowerCaseInPlace(char* text) {
  // Only ASCII letters change: the result must not depend on the locale or
  // code page in force, since names are compared byte by byte.
  if (text == nullptr) return;
  for (char* p = text; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

OpenedArchive OpenArchiveFile(char* path, MessageSink& messages) {
  OpenedArchive result{ArchiveKind::None, nullptr};
  if (path == nullptr) return result;
  LowerCaseInPlace(path);
  const char* extension = FileExtension(path);
  if (extension == nullptr || std::strcmp(extension, ".pak") == 0) {
    if (PakArchive* pak = PakOpen(path)) {
      result.kind = ArchiveKind::Pak;
      result.source = pak;
      return result;
    }
    if (extension != nullptr) {
      messages.ShowMessage(kPakError, kCaption, MessageIcon::Stop);
      return result;
    }
  }
  if (Pk3Archive* pk3 = Pk3Open(path)) {
    result.kind = ArchiveKind::Pk3;
    result.source = pk3;
    return result;
  }
  messages.ShowMessage(kPk3Error, kCaption, MessageIcon::Stop);
  return result;
}

void CloseDocumentSource(ArchiveDocument* doc) {
  if (doc == nullptr) return;
  if (doc->archiveKind == ArchiveKind::Pak)
    PakClose(static_cast<PakArchive*>(doc->source));
  else if (doc->archiveKind == ArchiveKind::Pk3)
    Pk3Close(static_cast<Pk3Archive*>(doc->source));
  doc->source = nullptr;
  doc->archiveKind = ArchiveKind::None;
}
