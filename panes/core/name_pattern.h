// The name patterns of Find: '*' stands for any run of characters, '?' for any one, and
// letters match whatever their case. A pattern with neither wildcard finds the names that
// contain it, as a search box does.
#pragma once

#include <string>
#include <vector>

#include "archive/tree.h"

// Whether the whole of name matches pattern ('*', '?', ASCII letters without regard to
// case). Time grows with the product of the two lengths at worst, never exponentially.
bool WildcardMatches(const char* pattern, const char* name);

class NamePattern {
 public:
  // The text the user typed; surrounding spaces are no part of it.
  explicit NamePattern(const std::string& text);
  bool Matches(const char* name) const;
  // Nothing was typed: the pattern matches nothing.
  bool Empty() const { return pattern_.empty(); }

 private:
  std::string pattern_;
};

// The files and folders below root (root itself excluded) whose own name matches, in the
// order of a walk of the tree: each folder before what it holds.
std::vector<const Node*> FindMatchingNodes(const Node* root, const NamePattern& pattern);

// The folder holding node as "/" (the root) or "/maps/e1" (without a trailing slash).
std::string FolderPathOf(const Node* node);
