// Every walk here is iterative: trees come from untrusted archives whose paths can nest
// thousands of directories deep, more than the stack would hold as recursion.
#include "transfer/core/transfer_measure.h"

#include "transfer/core/paired_walk.h"

#include <cstring>

uint32_t MaxPathBelow(const ArchiveNode* node) {
  // The tree's own measure counts exactly these shares along every path to a leaf.
  return TreeMaxPathLength(node);
}

uint32_t CountFiles(const ArchiveNode* firstChild) {
  uint32_t count = 0;
  for (const ArchiveNode* top = firstChild; top; top = top->nextSibling) {
    for (const ArchiveNode* n = top; n; n = NextInSubtree(n, top))
      if (IsFileKind(n->entry)) ++count;
  }
  return count;
}

int64_t CountNewEntries(const ArchiveNode* targetDir, const ArchiveNode* item, int countDirectories) {
  if (targetDir == nullptr || item == nullptr) return 0;
  int64_t total = 0;
  WalkPaired(item, targetDir, [&](const ArchiveNode* node, const ArchiveNode* dst, bool& stop) {
    const ArchiveEntry* e = node->entry;
    const ArchiveNode* existing = e ? FindChildNamed(dst, e->name) : nullptr;
    const ArchiveNode* into = nullptr;
    if (IsFileKind(e)) {
      stop = existing && !IsFileKind(existing->entry);
      if (!existing) ++total;
    } else if (IsKind(e, EntryKind::Directory)) {
      stop = existing && !IsKind(existing->entry, EntryKind::Directory);
      if (existing) {
        into = existing;
      } else {
        total += CountFiles(node->firstChild) + (countDirectories ? 1 : 0);
      }
    }
    if (stop) total = -1;
    return into;
  });
  return total;
}

uint64_t TargetPathLength(const ArchiveNode* targetDir) {
  uint64_t length = 0;
  for (const ArchiveNode* n = targetDir; n && n->parent; n = n->parent) {
    if (n->entry && n->entry->name) length += std::strlen(n->entry->name) + 1;
  }
  return length;
}
