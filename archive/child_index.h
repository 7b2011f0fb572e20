// An index of the children of every directory by (parent node, name), used
// while a whole archive is turned into a tree: looking a name up among the
// children of a directory by walking its list would make loading quadratic in
// the size of the largest directory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/tree.h"

struct ChildIndex {
  struct Slot {
    ArchiveNode* node;  // null for an empty slot
    uint32_t hash;
  };
  Slot* slots;
  size_t capacity;  // a power of two
  size_t used;
};

// Sized for about expectedNodes nodes; grows as needed. False when memory runs out.
bool ChildIndexInit(ChildIndex* index, size_t expectedNodes);
void ChildIndexFree(ChildIndex* index);
// The child of parent with this name, or null.
ArchiveNode* ChildIndexFind(const ChildIndex* index, const ArchiveNode* parent, const char* name);
// The same through index when there is one, otherwise by walking parent's children (an
// index given up for lack of memory leaves its lookups to the walk).
ArchiveNode* FindChildIndexed(const ChildIndex* index, const ArchiveNode* parent, const char* name);
// Records a node under its parent and name. False when memory runs out; the
// index is then left as it was.
bool ChildIndexAdd(ChildIndex* index, ArchiveNode* node);
