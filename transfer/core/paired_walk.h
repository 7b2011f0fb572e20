// A walk over a subtree that keeps, beside each node, the directory of another tree that
// receives it: copying and counting both merge directories of the same name this way.
#pragma once

#include "archive/tree.h"

// One step of the walk: into the node's children when it maps onto directory into,
// otherwise on to the next node, climbing back up (on both sides) past finished
// directories. node becomes null when item's subtree is done.
template <typename Dst>
void StepPairedWalk(const Node*& node, Dst*& dst, const Node* item, Dst* into) {
  if (into && node->firstChild()) {
    node = node->firstChild();
    dst = into;
    return;
  }
  while (node != item && node->nextSibling() == nullptr) {
    node = node->parent();
    dst = dst->parent();
  }
  node = node == item ? nullptr : node->nextSibling();
}

// The whole walk of item's subtree against targetDir. visit(node, dst, stop) handles node,
// which dst receives, and returns the directory of dst's tree that node maps onto (node's
// children are then walked against it) or null to pass over them; setting stop ends the
// walk at once.
template <typename Dst, typename Visit>
void WalkPaired(const Node* item, Dst* targetDir, Visit visit) {
  const Node* node = item;
  Dst* dst = targetDir;
  bool stop = false;
  while (node) {
    Dst* into = visit(node, dst, stop);
    if (stop) return;
    StepPairedWalk(node, dst, item, into);
  }
}
