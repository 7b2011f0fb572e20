#include "cli/archive_write.h"

#include <vector>

#include "archive/loading.h"
#include "archive/pak_writer.h"
#include "archive/pk3_writer.h"
#include "archive/quoted_name.h"
#include "archive/writer_shared.h"
#include "cli/console.h"
#include "cli/disk.h"

std::string StoredPathOf(const ArchiveNode* node) {
  std::vector<const char*> names;
  for (const ArchiveNode* n = node; n && n->entry && !IsKind(n->entry, EntryKind::Root); n = n->parent)
    names.push_back(n->entry->name ? n->entry->name : "");
  std::string path;
  for (size_t i = names.size(); i-- > 0;) {
    path += names[i];
    if (i > 0) path += '/';
  }
  if (node && IsKind(node->entry, EntryKind::Directory)) path += '/';
  return path;
}

std::string LimitProblem(const ArchiveNode* root, ArchiveKind kind) {
  if (root == nullptr) return std::string();
  const bool pak = kind == ArchiveKind::Pak;
  // A PAK has a record for every file and every empty directory; a PK3 for every node.
  const uint32_t maxEntries = pak ? kPakMaxLeaves : kPk3MaxNodes - 1;
  const size_t maxPath = pak ? kPakMaxPathLength : kPk3MaxPathLength;
  const char* format = pak ? "a PAK" : "a PK3 or ZIP archive";
  uint32_t entries = 0;
  for (const ArchiveNode* n = root->firstChild ? root->firstChild : nullptr; n; n = NextInSubtree(n, root)) {
    const bool recorded = pak ? n->firstChild == nullptr : true;
    if (!recorded) continue;
    ++entries;
    const std::string path = StoredPathOf(n);
    if (entries > maxEntries)
      return "too many entries: " + QuotedName(path.c_str()) + " would be entry " + std::to_string(entries) +
             ", and " + format + " holds at most " + std::to_string(maxEntries);
    if (path.size() > maxPath)
      return QuotedName(path.c_str()) + ": the path is " + std::to_string(path.size()) + " characters long, and " +
             format + " stores at most " + std::to_string(maxPath);
  }
  return std::string();
}

int WriteDocumentTo(ArchiveDocument* doc, ArchiveKind kind, const std::string& target, int level,
                    const std::string& context) {
  const std::string problem = LimitProblem(doc->root, kind);
  if (!problem.empty()) {
    PrintError(target + ": " + problem + "; nothing was written");
    return kExitRefused;
  }
  std::string temporary;
  if (!ReserveTemporary(target, &temporary)) {
    PrintError(target + ": a temporary file cannot be made beside it");
    return kExitRefused;
  }
  ConsoleSaveWindow window(context);
  // The save's messages show paths escaped.
  window.Rename(PrintableName(temporary), PrintableName(target));
  ArchiveNode* copy = nullptr;
  void* written = kind == ArchiveKind::Pak ? static_cast<void*>(PakSave(window, doc, temporary.c_str(), &copy))
                                           : static_cast<void*>(Pk3Save(window, doc, temporary.c_str(), level, &copy));
  if (written == nullptr) {
    RemoveFile(temporary);
    if (Interrupted()) {
      PrintError(target + ": interrupted; nothing was written");
      return kExitInterrupted;
    }
    if (window.messages() == 0) PrintError(target + ": the archive could not be written");
    return kExitRefused;
  }
  AbandonSave(copy);
  CloseSource(written, kind);
  // The source lets go of its file too: it may be the file being replaced.
  CloseDocumentSource(doc);
  if (!ReplaceWith(temporary, target)) {
    RemoveFile(temporary);
    PrintError(target + ": the file cannot be replaced (is it read-only or a directory?)");
    return kExitRefused;
  }
  return kExitOk;
}
