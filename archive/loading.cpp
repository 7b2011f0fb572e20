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

bool IsPakExtension(const char* extension) {
  if (extension == nullptr || std::strlen(extension) != 4) return false;
  char lower[5];
  std::memcpy(lower, extension, 5);
  LowerCaseInPlace(lower);
  return std::strcmp(lower, ".pak") == 0;
}

}  // namespace

void LowerCaseInPlace(char* text) {
  // Only ASCII letters change: the result must not depend on the locale or
  // code page in force, since names are compared byte by byte.
  if (text == nullptr) return;
  for (char* p = text; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

std::string ArchiveErrorMessage(ArchiveKind kind, const char* path, const std::string& why) {
  std::string text = kind == ArchiveKind::Pak ? kPakError : kPk3Error;
  text += "\n";
  text += path ? path : "";
  if (!why.empty()) text += ": " + why + ".";
  return text;
}

void ShowArchiveError(MessageSink& messages, ArchiveKind kind, const char* path,
                      const std::string& why) {
  messages.ShowMessage(ArchiveErrorMessage(kind, path, why).c_str(), kCaption, MessageIcon::Stop);
}

OpenedArchive OpenArchiveFile(char* path, MessageSink& messages) {
  LowerCaseInPlace(path);
  return OpenArchiveAt(path, messages);
}

OpenedArchive OpenArchiveAt(const char* path, MessageSink& messages) {
  OpenedArchive result{ArchiveKind::None, nullptr};
  if (path == nullptr) return result;
  const char* extension = FileExtension(path);
  std::string why;
  if (extension == nullptr || IsPakExtension(extension)) {
    if (PakArchive* pak = PakOpen(path, &why)) {
      result.kind = ArchiveKind::Pak;
      result.source = pak;
      return result;
    }
    if (extension != nullptr) {
      ShowArchiveError(messages, ArchiveKind::Pak, path, why);
      return result;
    }
  }
  if (Pk3Archive* pk3 = Pk3Open(path, &why)) {
    result.kind = ArchiveKind::Pk3;
    result.source = pk3;
    return result;
  }
  ShowArchiveError(messages, ArchiveKind::Pk3, path, why);
  return result;
}

void CloseSource(void* source, ArchiveKind kind) {
  if (kind == ArchiveKind::Pak)
    PakClose(static_cast<PakArchive*>(source));
  else if (kind == ArchiveKind::Pk3)
    Pk3Close(static_cast<Pk3Archive*>(source));
}

void CloseDocumentSource(ArchiveDocument* doc) {
  if (doc == nullptr) return;
  CloseSource(doc->source, doc->archiveKind);
  doc->source = nullptr;
  doc->archiveKind = ArchiveKind::None;
}
