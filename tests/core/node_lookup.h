// Finds a node of an archive tree by its stored path ("maps/dm/arena.bsp"), one
// component at a time as the program itself looks names up; null when absent.
#pragma once

#include <string>

#include "archive/tree.h"

inline ArchiveNode* NodeAtPath(ArchiveNode* root, const std::string& storedPath) {
  ArchiveNode* node = root;
  size_t start = 0;
  while (node && start < storedPath.size()) {
    size_t slash = storedPath.find('/', start);
    if (slash == std::string::npos) slash = storedPath.size();
    const std::string name = storedPath.substr(start, slash - start);
    ArchiveEntry key{};
    key.name = const_cast<char*>(name.c_str());
    node = TreeFindChild(node, &key, EntryNameCompare);
    start = slash + 1;
  }
  return node;
}
