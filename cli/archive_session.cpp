#include "cli/archive_session.h"

#include "archive/loading.h"
#include "archive/quoted_name.h"

OpenedDocument::~OpenedDocument() {
  TreeFree(doc.root, FreeEntry);
  CloseDocumentSource(&doc);
}

bool OpenedDocument::Open(const std::string& archivePath, bool withTree) {
  path = archivePath;
  ConsoleMessages messages;
  const OpenedArchive opened = OpenArchiveAt(path.c_str(), messages);
  if (opened.kind == ArchiveKind::None) return false;
  doc.archiveKind = opened.kind;
  doc.source = opened.source;
  if (!withTree) return true;
  std::string why;
  doc.root = TreeBuildFromSource(&doc, folders, &why);
  if (doc.root == nullptr) {
    messages.ShowMessage(ArchiveErrorMessage(doc.archiveKind, path.c_str(), why).c_str(), "", MessageIcon::Stop);
    return false;
  }
  return true;
}

bool OpenedDocument::New() {
  doc.root = TreeBuildFromSource(&doc, folders);
  if (doc.root == nullptr) PrintError("not enough memory");
  return doc.root != nullptr;
}

ArchiveKind KindForName(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && slash > dot)) return ArchiveKind::None;
  std::string extension = path.substr(dot);
  LowerCaseInPlace(&extension[0]);
  if (extension == ".pak") return ArchiveKind::Pak;
  if (extension == ".pk3" || extension == ".zip") return ArchiveKind::Pk3;
  return ArchiveKind::None;
}
