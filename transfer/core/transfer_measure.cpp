// Every walk here is iterative: trees come from untrusted archives whose paths can nest
// thousands of directories deep, more than the stack would hold as recursion.
#include "transfer/core/transfer_measure.h"

#include "transfer/core/paired_walk.h"

uint32_t MaxPathBelow(const Node* node) {
  // The tree's own measure counts exactly these shares along every path to a leaf.
  return MaxPathLength(node);
}

int64_t CountNewEntries(const Node* targetDir, const Node* item, int countDirectories) {
  if (targetDir == nullptr || item == nullptr) return 0;
  int64_t total = 0;
  WalkPaired(item, targetDir, [&](const Node* node, const Node* dst, bool& stop) {
    const Node* existing = FindChildNamed(dst, node->name());
    const Node* into = nullptr;
    if (node->IsFile()) {
      stop = existing && !existing->IsFile();
      if (!existing) ++total;
    } else if (node->IsDirectory()) {
      stop = existing && !existing->IsDirectory();
      if (existing) {
        into = existing;
      } else {
        total += CountFiles(node->firstChild()) + (countDirectories ? 1 : 0);
      }
    }
    if (stop) total = -1;
    return into;
  });
  return total;
}

uint64_t TargetPathLength(const Node* targetDir) {
  uint64_t length = 0;
  for (const Node* n = targetDir; n && n->parent(); n = n->parent()) length += n->name().size() + 1;
  return length;
}
