// Finds a node of an archive tree by its stored path ("maps/dm/arena.bsp"), one
// component at a time as the program itself looks names up; null when absent.
#pragma once

#include <string>

#include "archive/tree.h"

inline Node* NodeAtPath(Node* root, const std::string& storedPath) {
  Node* node = root;
  size_t start = 0;
  while (node && start < storedPath.size()) {
    size_t slash = storedPath.find('/', start);
    if (slash == std::string::npos) slash = storedPath.size();
    node = FindChildNamed(node, storedPath.substr(start, slash - start));
    start = slash + 1;
  }
  return node;
}
