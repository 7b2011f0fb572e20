#include "cli/archive_session.h"

#include "archive/disk.h"
#include "archive/loading.h"
#include "services/core/archive_text.h"

bool OpenedDocument::Open(const std::string& archivePath, bool withTree, bool keepCase, const EngineTarget* target) {
  path = archivePath;
  Failure why;
  const ArchiveFormat* format = nullptr;
  doc.source = OpenArchiveOrGameFolder(path, target, &why, &format, leaveOut);
  if (const GameFolderSource* folder = doc.source ? doc.source->AsGameFolder() : nullptr) {
    doc.target = folder->target();
    for (const GameFolderTrouble& trouble : folder->troubles())
      PrintError(OneLine((path + ": warning: " + FolderTroubleText(trouble)).c_str()));
  }
  if (!doc.source) {
    PrintError(OneLine(ArchiveErrorMessage(format ? format->name : nullptr, path, why).c_str()));
    return false;
  }
  if (!withTree) return true;
  why = BuildTree(&doc, keepCase);
  if (why) {
    PrintError(OneLine(ArchiveErrorMessage(format->name, path, why).c_str()));
    return false;
  }
  return true;
}

bool OpenedDocument::OpenWalk(const std::string& archivePath, SourceWalk* walk, bool keepCase,
                              const EngineTarget* target, CheckWhileWalking* check) {
  if (!Open(archivePath, false, keepCase, target)) return false;
  const Failure why = check ? WalkAndCheckEntries(&doc, walk, keepCase, check) : walk->Make(*doc.source, keepCase);
  if (why) {
    PrintError(OneLine(ArchiveErrorMessage(doc.source->format().name, path, why).c_str()));
    return false;
  }
  return true;
}

void OpenedDocument::New(bool keepCase) { BuildTree(&doc, keepCase); }

const Node* FindTyped(const Node* root, const std::string& path, Shadows& shadows) {
  const Node* node = root;
  size_t at = 0;
  while (node && at <= path.size()) {
    size_t end = path.find_first_of("/\\", at);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(at, end - at);
    if (!component.empty() && component != ".") node = shadows.ShownFor(FindChildNamed(node, component));
    at = end + 1;
  }
  return node;
}
