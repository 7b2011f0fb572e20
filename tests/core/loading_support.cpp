#include "tests/core/loading_support.h"

#include <gtest/gtest.h>

#include <filesystem>

Loaded::Loaded(const std::string& file) {
  std::vector<char> buffer(file.begin(), file.end());
  buffer.push_back('\0');
  OpenedArchive opened = OpenArchiveFile(buffer.data(), messages);
  path = buffer.data();
  doc.archiveKind = opened.kind;
  doc.source = opened.source;
}

Loaded::~Loaded() {
  TreeFree(doc.root, FreeEntry);
  CloseDocumentSource(&doc);
}

ArchiveNode* Loaded::Build() { return TreeBuildFromSource(&doc, folders); }

namespace {

void ListInto(const ArchiveNode* node, const std::string& prefix, std::string* out) {
  for (const ArchiveNode* c = node->firstChild; c; c = c->nextSibling) {
    std::string path = prefix + c->entry->name;
    if (IsKind(c->entry, EntryKind::Directory)) path += "/";
    if (!out->empty()) *out += " ";
    *out += path;
    ListInto(c, path, out);
  }
}

}  // namespace

std::string Listing(const ArchiveNode* root) {
  std::string out;
  ListInto(root, "", &out);
  return out;
}

void CheckFolderItems(const ArchiveNode* root, const RecordingFolderTree& folders) {
  size_t directories = 0;
  std::vector<const ArchiveNode*> stack{root};
  while (!stack.empty()) {
    const ArchiveNode* n = stack.back();
    stack.pop_back();
    for (const ArchiveNode* c = n->firstChild; c; c = c->nextSibling) stack.push_back(c);
    const ArchiveEntry* e = n->entry;
    EXPECT_EQ(e->node, n);
    const bool folder = IsKind(e, EntryKind::Root) || IsKind(e, EntryKind::Directory);
    if (!folder) {
      EXPECT_EQ(e->treeItem, nullptr) << e->name;
      continue;
    }
    ++directories;
    auto* item = static_cast<RecordingFolderTree::Item*>(e->treeItem);
    ASSERT_NE(item, nullptr) << e->name;
    EXPECT_EQ(item->entry, e);
    EXPECT_EQ(item->text, e->name);
    EXPECT_EQ(item->parent, e->parentTreeItem);
    if (n->parent)
      EXPECT_EQ(e->parentTreeItem, n->parent->entry->treeItem) << e->name;
    else
      EXPECT_EQ(e->parentTreeItem, const_cast<RecordingFolderTree&>(folders).RootMarker());
  }
  EXPECT_EQ(folders.items.size(), directories);
}

bool MakeDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::create_directory(path, ec);
}
