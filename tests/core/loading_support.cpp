#include "tests/core/loading_support.h"

#include <gtest/gtest.h>

#include "services/core/archive_text.h"

Loaded::Loaded(const std::string& file) : path(Lower(file)) {
  doc.source = OpenArchive(path, &opened, &triedAs);
  if (!doc.source) messages.push_back(ArchiveErrorMessage(triedAs ? triedAs->name : nullptr, path, opened));
}

Node* Loaded::Build() {
  built = BuildTree(&doc);
  return doc.root();
}

std::string Listing(const Node* root) {
  std::string out;
  if (root == nullptr) return out;
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root)) {
    if (!out.empty()) out += " ";
    out += StoredPath(n);
  }
  return out;
}

void CheckTreeLinks(const ArchiveTree& tree) {
  const Node* root = tree.root();
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->IsRoot());
  EXPECT_EQ(root->parent(), nullptr);
  EXPECT_EQ(root->name(), "/");
  size_t nodes = 0;
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    ++nodes;
    EXPECT_EQ(tree.Find(n->id()), n) << StoredPath(n);
    if (n->firstChild()) {
      EXPECT_TRUE(n->IsContainer()) << StoredPath(n);
      EXPECT_EQ(n->firstChild()->prevSibling(), nullptr) << StoredPath(n);
    }
    for (const Node* c = n->firstChild(); c; c = c->nextSibling()) {
      EXPECT_EQ(c->parent(), n) << StoredPath(c);
      EXPECT_FALSE(c->IsRoot()) << StoredPath(c);
      if (c->nextSibling()) {
        EXPECT_EQ(c->nextSibling()->prevSibling(), c) << StoredPath(c);
      }
    }
  }
  EXPECT_EQ(tree.NodeCount(), nodes);
}
