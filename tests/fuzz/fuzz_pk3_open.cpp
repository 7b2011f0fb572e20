// Opens the input as a PK3 file and builds its tree.
#include <cstddef>
#include <cstdint>

#include "archive/loading.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = WriteInputFile(data, size, ".pk3");
  if (path.empty()) return 0;
  Pk3Archive* pk3 = Pk3Open(path.c_str());
  if (pk3 == nullptr) return 0;
  ArchiveDocument doc{};
  doc.archiveKind = ArchiveKind::Pk3;
  doc.source = pk3;
  AcceptingFolderTree folders;
  ArchiveNode* root = TreeBuildFromSource(&doc, folders);
  CheckTree(root);
  // Every stored path adds at most one leaf.
  if (root && pk3->TotalEntries() > 0 && TreeCountLeaves(root) > pk3->TotalEntries()) __builtin_trap();
  TreeFree(root, FreeEntry);
  CloseDocumentSource(&doc);
  return 0;
}
