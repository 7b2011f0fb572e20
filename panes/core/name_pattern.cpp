#include "panes/core/name_pattern.h"

#include <cstring>

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

}  // namespace

bool WildcardMatches(const char* pattern, const char* name) {
  // One pass over name. A '*' only ever needs its latest position remembered: when the text
  // after it fails to match, that star takes one more character and matching resumes; the
  // stars before it can never do better, so nothing further back is retried.
  const char* p = pattern;
  const char* n = name;
  const char* star = nullptr;  // just after the last '*' seen
  const char* resume = nullptr;  // where in name that star's run ends for now
  while (*n) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (*p == '\0') return true;
      star = p;
      resume = n;
    } else if (*p != '\0' && (*p == '?' || Folded(*p) == Folded(*n))) {
      ++p;
      ++n;
    } else if (star) {
      p = star;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

NamePattern::NamePattern(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return;
  const size_t last = text.find_last_not_of(" \t");
  pattern_ = text.substr(first, last - first + 1);
  if (!HasWildcard(pattern_)) pattern_ = "*" + pattern_ + "*";
}

bool NamePattern::Matches(const char* name) const {
  return !pattern_.empty() && name != nullptr && WildcardMatches(pattern_.c_str(), name);
}

std::vector<const Node*> FindMatchingNodes(const Node* root, const NamePattern& pattern) {
  std::vector<const Node*> found;
  if (root == nullptr || pattern.Empty()) return found;
  for (const Node* n = NextInSubtree(root, root); n; n = NextInSubtree(n, root)) {
    if (pattern.Matches(n->name().c_str())) found.push_back(n);
  }
  return found;
}

std::string FolderPathOf(const Node* node) {
  std::vector<const char*> names;
  for (const Node* up = node ? node->parent() : nullptr; up && up->parent(); up = up->parent())
    names.push_back(up->name().c_str());
  if (names.empty()) return "/";
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    path += '/';
    path += *it;
  }
  return path;
}
