#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/tree.h"

namespace {

ArchiveEntry* MakeEntry(EntryKind kind, const char* name) {
  auto* e = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  e->kind = static_cast<uint32_t>(kind);
  e->name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
  std::strcpy(e->name, name);
  return e;
}

ArchiveNode* Add(ArchiveNode* parent, EntryKind kind, const char* name) {
  ArchiveEntry* e = MakeEntry(kind, name);
  ArchiveNode* n = TreeAddChild(parent, e);
  e->node = n;
  return n;
}
ArchiveNode* Dir(ArchiveNode* parent, const char* name) { return Add(parent, EntryKind::Directory, name); }
ArchiveNode* File(ArchiveNode* parent, const char* name) { return Add(parent, EntryKind::MemoryFile, name); }

// Owns a root and everything below it for one test.
struct Tree {
  ArchiveNode* root;
  Tree() : root(TreeNewRoot()) {
    root->entry = MakeEntry(EntryKind::Root, "/");
    root->entry->node = root;
  }
  ~Tree() { TreeFree(root, FreeEntry); }
};

std::vector<std::string> ChildNames(const ArchiveNode* node) {
  std::vector<std::string> names;
  for (const ArchiveNode* c = node->firstChild; c; c = c->nextSibling) names.push_back(c->entry->name);
  return names;
}

// The subtree in list order, as "name(children)" text; checks the links on the way.
std::string Shape(const ArchiveNode* node) {
  std::string s = node->entry ? node->entry->name : "?";
  if (node->firstChild) {
    s += "(";
    const ArchiveNode* prev = nullptr;
    for (const ArchiveNode* c = node->firstChild; c; prev = c, c = c->nextSibling) {
      EXPECT_EQ(c->parent, node);
      EXPECT_EQ(c->prevSibling, prev);
      if (prev) s += ",";
      s += Shape(c);
    }
    s += ")";
  }
  return s;
}

TEST(TreeTest, NewChildrenGoToTheHead) {
  Tree t;
  for (const char* n : {"a", "b", "c"}) File(t.root, n);
  EXPECT_EQ(ChildNames(t.root), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(Shape(t.root), "/(c,b,a)");
}

TEST(TreeTest, NullArgumentsGiveNothing) {
  EXPECT_EQ(TreeAddChild(nullptr, nullptr), nullptr);
  EXPECT_EQ(TreeCountNodes(nullptr), 0u);
  EXPECT_EQ(TreeCountLeaves(nullptr), 0u);
  EXPECT_EQ(TreeMaxPathLength(nullptr), 0u);
  EXPECT_EQ(TreeCopy(nullptr, CopyEntry, FreeEntry), nullptr);
  EXPECT_EQ(TreeUnlink(nullptr), nullptr);
  EXPECT_EQ(TreeIsAncestor(nullptr, nullptr), 0);
  EXPECT_EQ(CopyEntry(nullptr), nullptr);
  TreeFree(nullptr, FreeEntry);
  FreeEntry(nullptr);
  FreeLiveEntry(nullptr);
}

TEST(TreeTest, UnlinkTable) {
  struct Case {
    const char* unlink;
    const char* shapeAfter;
  };
  // Children are added a, b, c, so the list is c, b, a.
  const Case cases[] = {{"c", "/(b,a)"}, {"b", "/(c,a)"}, {"a", "/(c,b)"}};
  for (const Case& c : cases) {
    Tree t;
    ArchiveNode* nodes[3];
    const char* names[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) nodes[i] = File(t.root, names[i]);
    ArchiveNode* target = nodes[c.unlink[0] - 'a'];
    EXPECT_EQ(TreeUnlink(target), target);
    EXPECT_EQ(target->parent, nullptr);
    EXPECT_EQ(target->prevSibling, nullptr);
    EXPECT_EQ(target->nextSibling, nullptr);
    EXPECT_EQ(Shape(t.root), c.shapeAfter) << c.unlink;
    TreeFree(target, FreeEntry);
  }
}

TEST(TreeTest, UnlinkOnlyChildKeepsItsSubtreeAndRootIsUnchanged) {
  Tree t;
  ArchiveNode* d = Dir(t.root, "d");
  File(d, "f");
  EXPECT_EQ(TreeUnlink(d), d);
  EXPECT_EQ(t.root->firstChild, nullptr);
  EXPECT_EQ(Shape(d), "d(f)");
  EXPECT_EQ(TreeUnlink(t.root), nullptr);
  TreeFree(d, FreeEntry);
}

TEST(TreeTest, CountsTable) {
  struct Case {
    const char* what;
    void (*build)(ArchiveNode* root);
    uint32_t nodes, leaves, maxPath;
  };
  const Case cases[] = {
      {"empty root", [](ArchiveNode*) {}, 1, 1, 0},
      {"one empty directory", [](ArchiveNode* r) { Dir(r, "empty"); }, 2, 1, 6},
      {"maps/level1.bsp", [](ArchiveNode* r) { File(Dir(r, "maps"), "level1.bsp"); }, 3, 1, 15},
      {"two files", [](ArchiveNode* r) { File(r, "a"); File(r, "bb"); }, 3, 2, 2},
      {"deeper path wins",
       [](ArchiveNode* r) {
         File(r, "a-very-long-file-name");
         File(Dir(Dir(r, "x"), "y"), "z");
         Dir(r, "e");
       },
       6, 3, 21},
      {"nested beats wide",
       [](ArchiveNode* r) {
         ArchiveNode* a = Dir(r, "aaaa");
         File(a, "b");
         File(Dir(a, "cc"), "ddddd");
       },
       5, 2, 13},
  };
  for (const Case& c : cases) {
    Tree t;
    c.build(t.root);
    EXPECT_EQ(TreeCountNodes(t.root), c.nodes) << c.what;
    EXPECT_EQ(TreeCountLeaves(t.root), c.leaves) << c.what;
    EXPECT_EQ(TreeMaxPathLength(t.root), c.maxPath) << c.what;
  }
}

TEST(TreeTest, BuildPathUsesBackslashes) {
  Tree t;
  ArchiveNode* maps = Dir(t.root, "maps");
  ArchiveNode* bsp = File(maps, "level1.bsp");
  ArchiveNode* sub = Dir(Dir(t.root, "a"), "b");
  char buf[64];
  struct Case {
    const ArchiveNode* node;
    const char* path;
  };
  const Case cases[] = {{bsp, "maps\\level1.bsp"}, {maps, "maps"}, {sub, "a\\b"}, {t.root, ""}};
  for (const Case& c : cases) {
    std::memset(buf, 'X', sizeof buf);
    TreeBuildPath(c.node, buf);
    EXPECT_STREQ(buf, c.path);
  }
  // A detached copy of a directory starts its paths with the directory's own name.
  ArchiveNode* copy = TreeCopy(maps, nullptr, nullptr);
  TreeBuildPath(copy->firstChild, buf);
  EXPECT_STREQ(buf, "maps\\level1.bsp");
  TreeFree(copy, nullptr);
}

TEST(TreeTest, FindChildSiblingSearchAndAncestor) {
  Tree t;
  ArchiveNode* a = File(t.root, "Readme");
  ArchiveNode* b = Dir(t.root, "b");
  ArchiveNode* c = File(t.root, "c");
  ArchiveNode* inner = File(b, "inner");
  ArchiveEntry key{};
  key.name = const_cast<char*>("readme");
  EXPECT_EQ(TreeFindChild(t.root, &key, EntryNameCompare), nullptr);
  key.name = const_cast<char*>("Readme");
  EXPECT_EQ(TreeFindChild(t.root, &key, EntryNameCompare), a);

  // The node itself never matches; siblings on both sides do.
  key.name = const_cast<char*>("b");
  EXPECT_EQ(TreeFindSibling(b, &key, EntryNameCompare), nullptr);
  EXPECT_EQ(TreeFindSibling(a, &key, EntryNameCompare), b);
  EXPECT_EQ(TreeFindSibling(c, &key, EntryNameCompare), b);
  EXPECT_EQ(TreeFindSibling(t.root, &key, EntryNameCompare), nullptr);

  auto sameEntry = [](const ArchiveEntry* e, const void* k) { return e == k ? 0 : 1; };
  EXPECT_EQ(TreeSearch(t.root, inner->entry, sameEntry), inner);
  // The search covers the start node's following siblings too, not its preceding ones.
  EXPECT_EQ(TreeSearch(b, a->entry, sameEntry), a);
  EXPECT_EQ(TreeSearch(b, c->entry, sameEntry), nullptr);

  EXPECT_EQ(TreeIsAncestor(t.root, inner), 1);
  EXPECT_EQ(TreeIsAncestor(b, inner), 1);
  EXPECT_EQ(TreeIsAncestor(inner, inner), 0);
  EXPECT_EQ(TreeIsAncestor(a, inner), 0);
  EXPECT_EQ(TreeIsAncestor(inner, t.root), 0);
}

TEST(TreeTest, CollectLeavesInPreOrderWithFollowingSiblings) {
  Tree t;
  ArchiveNode* a = Dir(t.root, "a");
  File(a, "a1");
  File(a, "a2");
  Dir(t.root, "empty");
  File(t.root, "f");
  // List order under the root: f, empty, a(a2, a1).
  ArchiveNode* leaves[8] = {};
  ASSERT_EQ(TreeCountLeaves(t.root), 4u);
  TreeCollectLeaves(t.root, leaves);
  std::vector<std::string> names;
  for (int i = 0; i < 4; ++i) names.push_back(leaves[i]->entry->name);
  EXPECT_EQ(names, (std::vector<std::string>{"f", "empty", "a2", "a1"}));
  EXPECT_EQ(leaves[4], nullptr);

  ArchiveNode* fromEmpty[4] = {};
  TreeCollectLeaves(t.root->firstChild->nextSibling, fromEmpty);
  EXPECT_STREQ(fromEmpty[0]->entry->name, "empty");
  EXPECT_STREQ(fromEmpty[2]->entry->name, "a1");
}

TEST(TreeTest, EntryNameCompareTable) {
  struct Case {
    const char *a, *b;
    int sign;
  };
  const Case cases[] = {
      {"readme", "readme", 0}, {"Readme", "readme", -1}, {"readme", "Readme", 1},
      {"a", "ab", -1},         {"ab", "a", 1},           {"\x80", "a", 1},
      {"", "", 0},
  };
  for (const Case& c : cases) {
    ArchiveEntry x{}, y{};
    x.name = const_cast<char*>(c.a);
    y.name = const_cast<char*>(c.b);
    int r = EntryNameCompare(&x, &y);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
  }
  ArchiveEntry x{};
  x.name = const_cast<char*>("x");
  EXPECT_EQ(EntryNameCompare(nullptr, nullptr), 0);
  EXPECT_NE(EntryNameCompare(&x, nullptr), 0);
  EXPECT_NE(EntryNameCompare(nullptr, &x), 0);
}

int gCopies, gFrees, gFailAt;
ArchiveEntry* CountingCopier(const ArchiveNode* node) {
  if (++gCopies == gFailAt) return nullptr;
  return CopyEntry(node);
}
void CountingFreer(ArchiveEntry* e) {
  ++gFrees;
  std::free(e);  // copies share the names of the originals
}

void BuildSample(ArchiveNode* root) {
  ArchiveNode* a = Dir(root, "a");
  File(a, "a1");
  ArchiveNode* b = Dir(a, "b");
  File(b, "b1");
  File(b, "b2");
  Dir(a, "emptydir");
  File(root, "top");
  File(Dir(root, "z"), "z1");
}

TEST(TreeTest, CopyKeepsOrderAndSharesOrCopiesEntries) {
  Tree t;
  BuildSample(t.root);
  const std::string shape = Shape(t.root);

  ArchiveNode* shared = TreeCopy(t.root, nullptr, nullptr);
  EXPECT_EQ(Shape(shared), shape);
  EXPECT_EQ(shared->entry, t.root->entry);
  EXPECT_EQ(shared->parent, nullptr);
  TreeFree(shared, nullptr);

  ArchiveNode* copied = TreeCopy(t.root->firstChild->nextSibling, CopyEntry, CountingFreer);
  EXPECT_EQ(Shape(copied), "top");
  EXPECT_EQ(copied->nextSibling, nullptr);  // the source's siblings are not copied
  EXPECT_NE(copied->entry, t.root->firstChild->nextSibling->entry);
  EXPECT_EQ(copied->entry->name, t.root->firstChild->nextSibling->entry->name);
  TreeFree(copied, CountingFreer);
}

TEST(TreeTest, FailedCopyLeavesNothing) {
  Tree t;
  BuildSample(t.root);
  const std::string shape = Shape(t.root);
  const int total = static_cast<int>(TreeCountNodes(t.root));
  for (int failAt = 1; failAt <= total; ++failAt) {
    gCopies = gFrees = 0;
    gFailAt = failAt;
    EXPECT_EQ(TreeCopy(t.root, CountingCopier, CountingFreer), nullptr) << failAt;
    // Every entry copied before the failure was handed back to the freer.
    EXPECT_EQ(gFrees, failAt - 1) << failAt;
    EXPECT_EQ(Shape(t.root), shape);
  }
  gCopies = gFrees = 0;
  gFailAt = total + 1;
  ArchiveNode* copy = TreeCopy(t.root, CountingCopier, CountingFreer);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Shape(copy), shape);
  TreeFree(copy, CountingFreer);
  EXPECT_EQ(gFrees, total);
}

TEST(TreeTest, FreeTakesFollowingSiblingsAndCallsTheFreerOnce) {
  Tree t;
  BuildSample(t.root);
  ArchiveNode* copy = TreeCopy(t.root, CopyEntry, nullptr);
  gFrees = 0;
  // Freeing the copy's second child takes it, its following siblings and their subtrees.
  ArchiveNode* second = copy->firstChild->nextSibling;
  const int expected = static_cast<int>(TreeCountNodes(second) + TreeCountNodes(second->nextSibling));
  second->prevSibling->nextSibling = nullptr;
  TreeFree(second, CountingFreer);
  EXPECT_EQ(gFrees, expected);
  TreeFree(copy, CountingFreer);
}

int gStopped;
void RecordStop(ArchiveEntry*) { ++gStopped; }

TEST(TreeTest, FreeLiveEntryStopsTheViewerWatchOnlyWhenViewing) {
  StopViewerWatchHook = RecordStop;
  gStopped = 0;
  ArchiveEntry* plain = MakeEntry(EntryKind::PakFile, "plain");
  FreeLiveEntry(plain);
  EXPECT_EQ(gStopped, 0);
  ArchiveEntry* viewed = MakeEntry(EntryKind::MemoryFile, "viewed");
  viewed->kind |= kViewingFlag;
  viewed->size = 3;
  viewed->data = static_cast<uint8_t*>(std::malloc(3));  // freed with the entry (ASan checks)
  EXPECT_TRUE(IsKind(viewed, EntryKind::MemoryFile));
  FreeLiveEntry(viewed);
  EXPECT_EQ(gStopped, 1);
  StopViewerWatchHook = nullptr;
  ArchiveEntry* unhooked = MakeEntry(EntryKind::Pk3File, "x");
  unhooked->kind |= kViewingFlag;
  FreeLiveEntry(unhooked);
}

TEST(TreeTest, FormatLimitsTable) {
  struct Case {
    const char* what;
    uint32_t files;       // files directly under the root
    uint32_t nameLength;  // of one extra file in directory "d" (path "d/" + name)
    TreeLimit pak, pk3;
  };
  const Case cases[] = {
      {"4096 leaves, path 55", 4095, 53, TreeLimit::Ok, TreeLimit::Ok},
      {"4097 leaves", 4096, 10, TreeLimit::TooManyFiles, TreeLimit::Ok},
      {"path 56", 10, 54, TreeLimit::PathTooLong, TreeLimit::Ok},
      {"65535 nodes, path 65534", 65532, 65532, TreeLimit::TooManyFiles, TreeLimit::Ok},
      {"65536 nodes", 65533, 10, TreeLimit::TooManyFiles, TreeLimit::TooManyFiles},
      {"path 65535", 10, 65533, TreeLimit::PathTooLong, TreeLimit::PathTooLong},
  };
  for (const Case& c : cases) {
    Tree t;
    char name[16];
    for (uint32_t i = 0; i < c.files; ++i) {
      std::snprintf(name, sizeof name, "f%u", i);
      File(t.root, name);
    }
    File(Dir(t.root, "d"), std::string(c.nameLength, 'n').c_str());
    EXPECT_EQ(CheckPakLimits(t.root), c.pak) << c.what;
    EXPECT_EQ(CheckPk3Limits(t.root), c.pk3) << c.what;
  }
  EXPECT_STREQ(TreeLimitMessage(TreeLimit::TooManyFiles), "Maximum number of files exceeded.\nOperation aborted.");
  EXPECT_STREQ(TreeLimitMessage(TreeLimit::PathTooLong), "Maximum path length exceeded.\nOperation aborted.");
  EXPECT_EQ(TreeLimitMessage(TreeLimit::Ok), nullptr);
}

// Regression: walking a tree by recursion overflowed the stack on deep or wide trees.
TEST(TreeTest, DeepAndWideTreesNeedNoStack) {
  const uint32_t depth = 200000;
  Tree t;
  ArchiveNode* n = t.root;
  for (uint32_t i = 0; i < depth; ++i) n = Dir(n, "d");
  File(n, "f");
  EXPECT_EQ(TreeCountNodes(t.root), depth + 2);
  EXPECT_EQ(TreeCountLeaves(t.root), 1u);
  EXPECT_EQ(TreeMaxPathLength(t.root), depth * 2 + 1);
  ArchiveNode* copy = TreeCopy(t.root, nullptr, nullptr);
  EXPECT_EQ(TreeCountNodes(copy), depth + 2);
  TreeFree(copy, nullptr);

  Tree wide;
  for (uint32_t i = 0; i < depth; ++i) File(wide.root, "w");
  EXPECT_EQ(TreeCountLeaves(wide.root), depth);
  ArchiveEntry key{};
  key.name = const_cast<char*>("none");
  EXPECT_EQ(TreeSearch(wide.root, &key, [](const ArchiveEntry* e, const void* k) {
              return EntryNameCompare(static_cast<const ArchiveEntry*>(k), e);
            }),
            nullptr);
}

}  // namespace
