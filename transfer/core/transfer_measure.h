// Measures of a copy or move taken before anything changes: how long the longest stored
// path below a node gets, and how many entries a copy would add to a target.
#pragma once

#include <cstdint>

#include "archive/tree.h"

// The node's own share of a stored path (a directory's name and its "/", a file's name)
// plus the longest such sum along any path down from it.
uint32_t MaxPathBelow(const Node* node);

// What copying item into targetDir adds: a new file 1, a file replacing one of its name 0,
// a new directory all the files below it (plus itself when countDirectories), a directory
// merging into one of its name the sum over its children against that one. -1 when a file
// meets a directory of its name or a directory a file, at any depth of a merge.
int64_t CountNewEntries(const Node* targetDir, const Node* item, int countDirectories);

// The stored-path length of a target directory: name and "/" of it and of each ancestor
// below the root.
uint64_t TargetPathLength(const Node* targetDir);
