#include "tests/fuzz/support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "archive/format.h"
#include "archive/loading.h"
#include "archive/tree.h"

std::string WriteInputFile(const uint8_t* data, size_t size, const char* extension) {
  static std::string dir;
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/vellumix-fuzz-" + std::to_string(getpid());
  }
  std::string path = dir + extension;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return std::string();
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) return std::string();
  return path;
}

void CheckTree(const ArchiveDocument& doc) {
  if (!doc.tree) return;
  const ArchiveTree& tree = *doc.tree;
  const Node* root = tree.root();
  if (root == nullptr || root->parent() || !root->IsRoot() || root->prevSibling() || root->nextSibling())
    std::abort();
  size_t nodes = 0;
  Shadows shadows(doc.source.get());
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    ++nodes;
    if (tree.Find(n->id()) != n) std::abort();
    if (n != root) {
      const std::string& name = n->name();
      if (name.empty() || name == "." || name.find('/') != std::string::npos ||
          name.find('\0') != std::string::npos)
        std::abort();
      for (char c : name)
        if (c >= 'A' && c <= 'Z') std::abort();
      // Only containers hold children, and names are unique among siblings but for files
      // stored more than once, each read from its own entry, of which the one shown is not
      // shadowed.
      if (n->IsRoot() || !n->parent() || !n->parent()->IsContainer()) std::abort();
      for (const Node* s = n->nextSibling(); s; s = s->nextSibling())
        if (SameName(s->name(), name) &&
            (!s->IsFile() || !n->IsFile() || !s->source() || !n->source() || s->source()->index == n->source()->index))
          std::abort();
      if (shadows.IsShadowed(shadows.ShownFor(n))) std::abort();
      if (n->nextSibling() && (n->nextSibling()->prevSibling() != n || n->nextSibling()->parent() != n->parent()))
        std::abort();
    }
    if (n->firstChild() && (n->IsFile() || n->firstChild()->parent() != n || n->firstChild()->prevSibling()))
      std::abort();
    if (const SourceEntry* entry = n->source()) {
      if (!doc.source || entry->index >= doc.source->Count() || entry->size != doc.source->Size(entry->index))
        std::abort();
    }
  }
  if (nodes != tree.NodeCount()) std::abort();
}

void BuildAndCheck(std::unique_ptr<ArchiveSource> source) {
  ArchiveDocument doc;
  doc.source = std::move(source);
  const uint32_t entryCount = doc.source ? doc.source->Count() : 0;
  const Failure why = BuildTree(&doc);
  // A refused tree says why, and leaves none behind.
  if (why && doc.tree) std::abort();
  CheckTree(doc);
  if (doc.tree && entryCount > 0 && CountLeaves(doc.root()) > entryCount) __builtin_trap();
}

void OpenAndCheck(const uint8_t* data, size_t size, const char* extension) {
  const std::string path = WriteInputFile(data, size, extension);
  if (path.empty()) return;
  const ArchiveFormat* format = FormatForPath(path);
  if (format == nullptr) std::abort();
  Failure why;
  std::unique_ptr<ArchiveSource> source = format->open(*format, path, &why);
  // A refused open says why.
  if (source == nullptr && !why) __builtin_trap();
  if (source != nullptr) BuildAndCheck(std::move(source));
}

const ArchiveFormat& ChosenFormat(bool pk3, uint8_t choice) {
  if (pk3) return DefaultFormat();
  return (choice & 0x80) ? *FormatForPath("x.wad") : PakFormat();
}
