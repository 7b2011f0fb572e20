#include "tests/fuzz/support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/loading.h"
#include "archive/tree.h"
#include "tests/core/test_support.h"

std::string WriteInputFile(const uint8_t* data, size_t size, const char* extension) {
  static std::string dir;
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = Lower(std::string(tmp && *tmp ? tmp : "/tmp") + "/vellumix-fuzz-" + std::to_string(getpid()));
  }
  std::string path = dir + extension;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return std::string();
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) return std::string();
  return path;
}

void CheckTree(const ArchiveNode* root) {
  if (root == nullptr) return;
  if (root->parent || !IsKind(root->entry, EntryKind::Root)) std::abort();
  for (const ArchiveNode* n = root; n;) {
    const ArchiveEntry* e = n->entry;
    if (e == nullptr || e->node != n || e->name == nullptr) std::abort();
    if (n != root) {
      if (e->name[0] == '\0' || std::strchr(e->name, '/')) std::abort();
      for (const char* p = e->name; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') std::abort();
      // Only directories hold children, and names are unique among siblings.
      if (!IsKind(n->parent->entry, EntryKind::Directory) && !IsKind(n->parent->entry, EntryKind::Root))
        std::abort();
      for (const ArchiveNode* s = n->nextSibling; s; s = s->nextSibling)
        if (std::strcmp(s->entry->name, e->name) == 0) std::abort();
    }
    if (n->firstChild) {
      if (n->firstChild->parent != n || n->firstChild->prevSibling) std::abort();
      n = n->firstChild;
      continue;
    }
    while (n != root && n->nextSibling == nullptr) n = n->parent;
    if (n == root) break;
    if (n->nextSibling->prevSibling != n || n->nextSibling->parent != n->parent) std::abort();
    n = n->nextSibling;
  }
}

void BuildAndCheck(ArchiveKind kind, void* source, uint32_t entryCount) {
  ArchiveDocument doc{};
  doc.archiveKind = kind;
  doc.source = source;
  AcceptingFolderTree folders;
  ArchiveNode* root = TreeBuildFromSource(&doc, folders);
  CheckTree(root);
  if (root && entryCount > 0 && TreeCountLeaves(root) > entryCount) __builtin_trap();
  TreeFree(root, FreeEntry);
  CloseDocumentSource(&doc);
}
