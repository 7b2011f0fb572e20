// The archive tree operations.
//
// Every walk here is iterative. Trees come from untrusted archives: a ZIP name
// can nest thousands of directories and a directory can hold tens of thousands
// of children, so recursion on depth or along a sibling chain could exhaust the
// stack (1 MB on Windows). Subtree walks move with the parent pointers, which
// TreeAddChild and TreeCopy always set.
#include "archive/tree.h"

#include <cstdlib>
#include <cstring>

void (*StopViewerWatchHook)(ArchiveEntry* entry) = nullptr;

const char kMaxFilesMessage[] = "Maximum number of files exceeded.\nOperation aborted.";
const char kMaxPathMessage[] = "Maximum path length exceeded.\nOperation aborted.";

namespace {

ArchiveNode* NewNode() { return static_cast<ArchiveNode*>(std::calloc(1, sizeof(ArchiveNode))); }

// A node's share of a stored path: a directory's name is followed by "/".
uint64_t PathShare(const ArchiveNode* node) {
  const ArchiveEntry* e = node->entry;
  if (e == nullptr || e->name == nullptr) return 0;
  switch (KindOf(e)) {
    case EntryKind::Directory:
      return std::strlen(e->name) + 1;
    case EntryKind::PakFile:
    case EntryKind::Pk3File:
    case EntryKind::MemoryFile:
      return std::strlen(e->name);
    default:
      return 0;
  }
}

}  // namespace

ArchiveNode* TreeNewRoot() { return NewNode(); }

ArchiveNode* TreeAddChild(ArchiveNode* parent, ArchiveEntry* entry) {
  if (parent == nullptr) return nullptr;
  ArchiveNode* node = NewNode();
  if (node == nullptr) return nullptr;
  node->parent = parent;
  node->entry = entry;
  node->nextSibling = parent->firstChild;
  if (parent->firstChild) parent->firstChild->prevSibling = node;
  parent->firstChild = node;
  return node;
}

ArchiveNode* TreeFindChild(const ArchiveNode* parent, const ArchiveEntry* key, EntryCompare compare) {
  if (parent == nullptr || compare == nullptr) return nullptr;
  for (ArchiveNode* child = parent->firstChild; child; child = child->nextSibling)
    if (compare(key, child->entry) == 0) return child;
  return nullptr;
}

ArchiveNode* FindChildNamed(const ArchiveNode* parent, const char* name) {
  if (parent == nullptr || name == nullptr) return nullptr;
  ArchiveEntry key{};
  key.name = const_cast<char*>(name);
  return TreeFindChild(parent, &key, EntryNameCompare);
}

ArchiveNode* TreeFindSibling(const ArchiveNode* node, const ArchiveEntry* key, EntryCompare compare) {
  if (node == nullptr || node->parent == nullptr || compare == nullptr) return nullptr;
  for (ArchiveNode* n = node->prevSibling; n; n = n->prevSibling)
    if (compare(key, n->entry) == 0) return n;
  for (ArchiveNode* n = node->nextSibling; n; n = n->nextSibling)
    if (compare(key, n->entry) == 0) return n;
  return nullptr;
}

ArchiveNode* TreeSearch(ArchiveNode* node, const void* key, EntryTest test) {
  if (test == nullptr) return nullptr;
  for (ArchiveNode* top = node; top; top = top->nextSibling)
    for (ArchiveNode* n = top; n; n = NextInSubtree(n, top))
      if (test(n->entry, key) == 0) return n;
  return nullptr;
}

int TreeIsAncestor(const ArchiveNode* candidate, const ArchiveNode* node) {
  if (candidate == nullptr || node == nullptr) return 0;
  for (const ArchiveNode* n = node->parent; n; n = n->parent)
    if (n == candidate) return 1;
  return 0;
}

ArchiveNode* TreeUnlink(ArchiveNode* node) {
  if (node == nullptr || node->parent == nullptr) return nullptr;
  if (node->prevSibling) {
    node->prevSibling->nextSibling = node->nextSibling;
    if (node->nextSibling) node->nextSibling->prevSibling = node->prevSibling;
  } else {
    node->parent->firstChild = node->nextSibling;
    if (node->nextSibling) node->nextSibling->prevSibling = nullptr;
  }
  node->prevSibling = nullptr;
  node->nextSibling = nullptr;
  node->parent = nullptr;
  return node;
}

ArchiveNode* TreeCopy(const ArchiveNode* node, EntryCopier copyEntry, EntryFreer freeEntry) {
  if (node == nullptr) return nullptr;
  ArchiveNode* top = NewNode();
  if (top == nullptr) return nullptr;
  bool failed = false;
  if (copyEntry) {
    top->entry = copyEntry(node);
    if (top->entry == nullptr) failed = true;
  } else {
    top->entry = node->entry;
  }

  // Walk the source in pre-order with the copy's cursor in step. A node reached
  // through firstChild becomes its parent copy's first child; one reached through
  // nextSibling is linked after the copy made just before it at that level, so
  // children keep their order.
  const ArchiveNode* src = node;
  ArchiveNode* dst = top;
  while (!failed) {
    const ArchiveNode* next;
    ArchiveNode* copyParent;
    ArchiveNode* copyPrev;
    if (src->firstChild) {
      next = src->firstChild;
      copyParent = dst;
      copyPrev = nullptr;
    } else {
      while (src != node && src->nextSibling == nullptr) {
        src = src->parent;
        dst = dst->parent;
      }
      if (src == node) break;
      next = src->nextSibling;
      copyParent = dst->parent;
      copyPrev = dst;
    }
    ArchiveEntry* entry = copyEntry ? copyEntry(next) : next->entry;
    ArchiveNode* copy = entry ? NewNode() : nullptr;
    if (copy == nullptr) {
      if (entry && copyEntry && freeEntry) freeEntry(entry);
      failed = true;
      break;
    }
    copy->entry = entry;
    copy->parent = copyParent;
    copy->prevSibling = copyPrev;
    if (copyPrev)
      copyPrev->nextSibling = copy;
    else
      copyParent->firstChild = copy;
    src = next;
    dst = copy;
  }
  if (!failed) return top;

  if (freeEntry && top->entry) freeEntry(top->entry);
  TreeFree(top->firstChild, freeEntry);
  std::free(top);
  return nullptr;
}

void TreeFree(ArchiveNode* node, EntryFreer freeEntry) {
  // Children are spliced into the sibling chain just after their parent, so the
  // chain can be consumed front to back without a stack.
  while (node) {
    while (ArchiveNode* child = node->firstChild) {
      node->firstChild = child->nextSibling;
      child->nextSibling = node->nextSibling;
      node->nextSibling = child;
    }
    ArchiveNode* next = node->nextSibling;
    if (freeEntry && node->entry) freeEntry(node->entry);
    std::free(node);
    node = next;
  }
}

uint32_t TreeCountNodes(const ArchiveNode* node) {
  uint32_t count = 0;
  for (const ArchiveNode* n = node; n; n = NextInSubtree(n, node)) ++count;
  return count;
}

uint32_t TreeCountLeaves(const ArchiveNode* node) {
  uint32_t count = 0;
  for (const ArchiveNode* n = node; n; n = NextInSubtree(n, node))
    if (n->firstChild == nullptr) ++count;
  return count;
}

void TreeCollectLeaves(ArchiveNode* node, ArchiveNode** array) {
  if (array == nullptr) return;
  size_t index = 0;
  for (ArchiveNode* top = node; top; top = top->nextSibling)
    for (ArchiveNode* n = top; n; n = NextInSubtree(n, top))
      if (n->firstChild == nullptr) array[index++] = n;
}

uint32_t TreeMaxPathLength(const ArchiveNode* node) {
  if (node == nullptr) return 0;
  // The longest path ends at a leaf: track the length from node down to the
  // walk's position, adding on the way down and taking back on the way up.
  uint64_t best = 0;
  uint64_t length = PathShare(node);
  const ArchiveNode* n = node;
  for (;;) {
    if (n->firstChild) {
      n = n->firstChild;
      length += PathShare(n);
      continue;
    }
    if (length > best) best = length;
    while (n != node && n->nextSibling == nullptr) {
      length -= PathShare(n);
      n = n->parent;
    }
    if (n == node) break;
    length -= PathShare(n);
    n = n->nextSibling;
    length += PathShare(n);
  }
  return best > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(best);
}

void TreeBuildPath(const ArchiveNode* node, char* buffer) {
  if (buffer == nullptr) return;
  buffer[0] = '\0';
  if (node == nullptr) return;
  // The document's root has no part in the path; a detached copy's top node does.
  auto named = [](const ArchiveNode* n) {
    return n->entry && n->entry->name && !IsKind(n->entry, EntryKind::Root);
  };
  size_t total = 0;
  for (const ArchiveNode* n = node; n; n = n->parent) {
    if (!named(n)) continue;
    total += std::strlen(n->entry->name);
    if (n != node && IsKind(n->entry, EntryKind::Directory)) ++total;
  }
  // Written from the end backwards, so the path is built in one pass up the tree.
  buffer[total] = '\0';
  size_t end = total;
  for (const ArchiveNode* n = node; n; n = n->parent) {
    if (!named(n)) continue;
    if (n != node && IsKind(n->entry, EntryKind::Directory)) buffer[--end] = '\\';
    size_t len = std::strlen(n->entry->name);
    end -= len;
    std::memcpy(buffer + end, n->entry->name, len);
  }
}

int EntryNameCompare(const ArchiveEntry* a, const ArchiveEntry* b) {
  if (a == nullptr || b == nullptr) return (a == nullptr && b == nullptr) ? 0 : 1;
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a->name);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b->name);
  if (x == nullptr || y == nullptr) return (x == nullptr && y == nullptr) ? 0 : 1;
  for (;; ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
    if (*x == 0) return 0;
  }
}

ArchiveEntry* CopyEntry(const ArchiveNode* node) {
  if (node == nullptr || node->entry == nullptr) return nullptr;
  ArchiveEntry* copy = static_cast<ArchiveEntry*>(std::malloc(sizeof(ArchiveEntry)));
  if (copy == nullptr) return nullptr;
  *copy = *node->entry;
  return copy;
}

void FreeEntry(ArchiveEntry* entry) {
  if (entry == nullptr) return;
  std::free(entry->name);
  if (entry->kind & static_cast<uint32_t>(EntryKind::MemoryFile)) std::free(entry->data);
  std::free(entry);
}

void FreeLiveEntry(ArchiveEntry* entry) {
  if (entry == nullptr) return;
  if ((entry->kind & kViewingFlag) && StopViewerWatchHook) StopViewerWatchHook(entry);
  FreeEntry(entry);
}

TreeLimit CheckPakLimits(const ArchiveNode* root) {
  if (TreeCountLeaves(root) > kPakMaxLeaves) return TreeLimit::TooManyFiles;
  if (TreeMaxPathLength(root) > kPakMaxPathLength) return TreeLimit::PathTooLong;
  return TreeLimit::Ok;
}

TreeLimit CheckPk3Limits(const ArchiveNode* root) {
  if (TreeCountNodes(root) > kPk3MaxNodes) return TreeLimit::TooManyFiles;
  if (TreeMaxPathLength(root) > kPk3MaxPathLength) return TreeLimit::PathTooLong;
  return TreeLimit::Ok;
}

const char* TreeLimitMessage(TreeLimit limit) {
  switch (limit) {
    case TreeLimit::TooManyFiles:
      return kMaxFilesMessage;
    case TreeLimit::PathTooLong:
      return kMaxPathMessage;
    default:
      return nullptr;
  }
}
