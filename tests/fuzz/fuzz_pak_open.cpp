// Opens the input as a PAK file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "archive/loading.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteInputFile(data, size, ".pak");
  if (path.empty()) return 0;
  PakArchive* pak = PakOpen(path.c_str());
  if (pak == nullptr) return 0;
  ArchiveDocument doc{};
  doc.archiveKind = ArchiveKind::Pak;
  doc.source = pak;
  AcceptingFolderTree folders;
  ArchiveNode* root = TreeBuildFromSource(&doc, folders);
  CheckTree(root);
  // Every stored path adds at most one leaf.
  if (root && pak->entryCount > 0 && TreeCountLeaves(root) > pak->entryCount) __builtin_trap();
  TreeFree(root, FreeEntry);
  CloseDocumentSource(&doc);
  return 0;
}
