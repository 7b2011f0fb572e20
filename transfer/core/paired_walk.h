// A walk over a subtree that keeps, beside each node, the directory of another tree that
// receives it: copying and counting both merge directories of the same name this way.
#pragma once

#include "archive/tree.h"

// One step of the walk: into the node's children when it maps onto directory into,
// otherwise on to the next node, climbing back up (on both sides) past finished
// directories. node becomes null when item's subtree is done.
template <typename Dst>
void StepPairedWalk(const ArchiveNode*& node, Dst*& dst, const ArchiveNode* item, Dst* into) {
  if (into && node->firstChild) {
    node = node->firstChild;
    dst = into;
    return;
  }
  while (node != item && node->nextSibling == nullptr) {
    node = node->parent;
    dst = dst->parent;
  }
  node = node == item ? nullptr : node->nextSibling;
}
