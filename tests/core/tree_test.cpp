#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/tree.h"
#include "services/core/archive_text.h"

namespace {

Node* Dir(ArchiveTree& t, Node* parent, const std::string& name) { return t.AddDirectory(parent, name); }
Node* File(ArchiveTree& t, Node* parent, const std::string& name) { return t.AddFile(parent, name, MemoryBytes{}); }

std::vector<std::string> ChildNames(const Node* node) {
  std::vector<std::string> names;
  for (const Node* c = node->firstChild(); c; c = c->nextSibling()) names.push_back(c->name());
  return names;
}

// The subtree in list order, as "name(children)" text; checks the links on the way.
std::string Shape(const Node* node) {
  std::string s = node->name();
  if (node->firstChild()) {
    s += "(";
    const Node* prev = nullptr;
    for (const Node* c = node->firstChild(); c; prev = c, c = c->nextSibling()) {
      EXPECT_EQ(c->parent(), node);
      EXPECT_EQ(c->prevSibling(), prev);
      if (prev) s += ",";
      s += Shape(c);
    }
    s += ")";
  }
  return s;
}

TEST(TreeTest, NewChildrenGoToTheHead) {
  ArchiveTree t;
  for (const char* n : {"a", "b", "c"}) File(t, t.root(), n);
  EXPECT_EQ(ChildNames(t.root()), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(Shape(t.root()), "/(c,b,a)");
}

TEST(TreeTest, NullArgumentsGiveNothing) {
  ArchiveTree t;
  EXPECT_EQ(t.AddFile(nullptr, "f", MemoryBytes{}), nullptr);
  EXPECT_EQ(t.AddDirectory(nullptr, "d"), nullptr);
  EXPECT_EQ(CountNodes(nullptr), 0u);
  EXPECT_EQ(CountLeaves(nullptr), 0u);
  EXPECT_EQ(CountFiles(nullptr), 0u);
  EXPECT_EQ(MaxPathLength(nullptr), 0u);
  EXPECT_FALSE(IsAncestor(nullptr, nullptr));
  EXPECT_EQ(FindChildNamed(nullptr, "x"), nullptr);
  EXPECT_EQ(StoredPath(nullptr), "");
  EXPECT_EQ(ShellPath(nullptr), "");
  EXPECT_EQ(t.Find(kNoNode), nullptr);
  t.Remove(nullptr);
  t.Rename(nullptr, "x");
  t.SetData(nullptr, MemoryBytes{});
  EXPECT_EQ(t.NodeCount(), 1u);
  EXPECT_EQ(Shape(t.root()), "/");
}

TEST(TreeTest, RemoveTable) {
  struct Case {
    const char* remove;
    const char* shapeAfter;
  };
  // Children are added a, b, c, so the list is c, b, a.
  const Case cases[] = {{"c", "/(b,a)"}, {"b", "/(c,a)"}, {"a", "/(c,b)"}};
  for (const Case& c : cases) {
    ArchiveTree t;
    Node* nodes[3];
    const char* names[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) nodes[i] = File(t, t.root(), names[i]);
    Node* target = nodes[c.remove[0] - 'a'];
    const NodeId id = target->id();
    t.Remove(target);
    // The node is gone: its id finds nothing, now and after any number of new nodes.
    EXPECT_EQ(t.Find(id), nullptr);
    EXPECT_EQ(t.NodeCount(), 3u);
    EXPECT_EQ(Shape(t.root()), c.shapeAfter) << c.remove;
    Node* added = File(t, t.root(), c.remove);
    EXPECT_NE(added->id(), id);
    EXPECT_EQ(t.Find(id), nullptr);
  }
}

TEST(TreeTest, RemoveOnlyChildFreesItsSubtreeAndRootStays) {
  ArchiveTree t;
  Node* d = Dir(t, t.root(), "d");
  Node* f = File(t, d, "f");
  const NodeId dirId = d->id(), fileId = f->id();
  t.Remove(d);
  EXPECT_EQ(t.root()->firstChild(), nullptr);
  EXPECT_EQ(t.Find(dirId), nullptr);
  EXPECT_EQ(t.Find(fileId), nullptr);
  EXPECT_EQ(t.NodeCount(), 1u);
  t.Remove(t.root());
  EXPECT_EQ(t.Find(t.root()->id()), t.root());
  EXPECT_EQ(t.NodeCount(), 1u);
}

TEST(TreeTest, CountsTable) {
  struct Case {
    const char* what;
    void (*build)(ArchiveTree& t);
    uint32_t nodes, leaves, maxPath;
  };
  const Case cases[] = {
      {"empty root", [](ArchiveTree&) {}, 1, 1, 0},
      {"one empty directory", [](ArchiveTree& t) { Dir(t, t.root(), "empty"); }, 2, 1, 6},
      {"maps/level1.bsp", [](ArchiveTree& t) { File(t, Dir(t, t.root(), "maps"), "level1.bsp"); }, 3, 1, 15},
      {"two files",
       [](ArchiveTree& t) {
         File(t, t.root(), "a");
         File(t, t.root(), "bb");
       },
       3, 2, 2},
      {"deeper path wins",
       [](ArchiveTree& t) {
         File(t, t.root(), "a-very-long-file-name");
         File(t, Dir(t, Dir(t, t.root(), "x"), "y"), "z");
         Dir(t, t.root(), "e");
       },
       6, 3, 21},
      {"nested beats wide",
       [](ArchiveTree& t) {
         Node* a = Dir(t, t.root(), "aaaa");
         File(t, a, "b");
         File(t, Dir(t, a, "cc"), "ddddd");
       },
       5, 2, 13},
  };
  for (const Case& c : cases) {
    ArchiveTree t;
    c.build(t);
    EXPECT_EQ(CountNodes(t.root()), c.nodes) << c.what;
    EXPECT_EQ(t.NodeCount(), c.nodes) << c.what;
    EXPECT_EQ(CountLeaves(t.root()), c.leaves) << c.what;
    EXPECT_EQ(MaxPathLength(t.root()), c.maxPath) << c.what;
  }
}

TEST(TreeTest, ShellPathUsesBackslashesAndStoredPathSlashes) {
  ArchiveTree t;
  Node* maps = Dir(t, t.root(), "maps");
  Node* bsp = File(t, maps, "level1.bsp");
  Node* sub = Dir(t, Dir(t, t.root(), "a"), "b");
  struct Case {
    const Node* node;
    const char* shell;
    const char* stored;
  };
  const Case cases[] = {{bsp, "maps\\level1.bsp", "maps/level1.bsp"},
                        {maps, "maps", "maps/"},
                        {sub, "a\\b", "a/b/"},
                        {t.root(), "", ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(ShellPath(c.node), c.shell);
    EXPECT_EQ(StoredPath(c.node), c.stored);
  }
}

TEST(TreeTest, FindChildAndAncestor) {
  ArchiveTree t;
  Node* a = File(t, t.root(), "Readme");
  Node* b = Dir(t, t.root(), "b");
  File(t, t.root(), "c");
  Node* inner = File(t, b, "inner");
  // The tree lower-cases names unless it keeps their case; either way a lookup ignores case.
  EXPECT_EQ(a->name(), "readme");
  EXPECT_EQ(FindChildNamed(t.root(), "readme"), a);
  EXPECT_EQ(FindChildNamed(t.root(), "README"), a);
  EXPECT_EQ(FindChildNamed(t.root(), "readm"), nullptr);
  ArchiveTree kept(true);
  Node* mixed = File(kept, kept.root(), "Readme");
  EXPECT_EQ(mixed->name(), "Readme");
  EXPECT_EQ(FindChildNamed(kept.root(), "rEADME"), mixed);
  kept.Rename(mixed, "ReadMe");
  EXPECT_EQ(mixed->name(), "ReadMe");
  kept.SetKeepsCase(false);
  kept.Rename(mixed, "ReadMe");
  EXPECT_EQ(mixed->name(), "readme");
  EXPECT_EQ(FindChildNamed(t.root(), "b"), b);
  // Only children are looked at, not what lies below them.
  EXPECT_EQ(FindChildNamed(t.root(), "inner"), nullptr);
  EXPECT_EQ(FindChildNamed(b, "inner"), inner);

  EXPECT_TRUE(IsAncestor(t.root(), inner));
  EXPECT_TRUE(IsAncestor(b, inner));
  EXPECT_FALSE(IsAncestor(inner, inner));
  EXPECT_FALSE(IsAncestor(a, inner));
  EXPECT_FALSE(IsAncestor(inner, t.root()));
}

TEST(TreeTest, WalkVisitsLeavesInPreOrderAndFileCountsTakeFollowingSiblings) {
  ArchiveTree t;
  Node* a = Dir(t, t.root(), "a");
  File(t, a, "a1");
  File(t, a, "a2");
  Dir(t, t.root(), "empty");
  File(t, t.root(), "f");
  // List order under the root: f, empty, a(a2, a1).
  ASSERT_EQ(CountLeaves(t.root()), 4u);
  std::vector<std::string> names;
  for (const Node* n = t.root(); n; n = NextInSubtree(n, t.root()))
    if (n->firstChild() == nullptr) names.push_back(n->name());
  EXPECT_EQ(names, (std::vector<std::string>{"f", "empty", "a2", "a1"}));

  // From "empty": itself and its following siblings, not the ones before it.
  const Node* empty = t.root()->firstChild()->nextSibling();
  ASSERT_EQ(empty->name(), "empty");
  EXPECT_EQ(CountFiles(empty), 2u);
  EXPECT_EQ(CountFiles(t.root()->firstChild()), 3u);
  // A walk of one subtree stays inside it.
  names.clear();
  for (const Node* n = a; n; n = NextInSubtree(n, a)) names.push_back(n->name());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "a2", "a1"}));
}

TEST(TreeTest, CompareNamesTable) {
  struct Case {
    const char *a, *b;
    int sign;
  };
  const Case cases[] = {
      {"readme", "readme", 0}, {"Readme", "readme", -1}, {"readme", "Readme", 1},
      {"a", "ab", -1},         {"ab", "a", 1},           {"\x80", "a", 1},
      {"", "", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CompareNames(c.a, c.b), c.sign) << c.a << " vs " << c.b;
}

void BuildSample(ArchiveTree& t) {
  Node* a = Dir(t, t.root(), "a");
  File(t, a, "a1");
  Node* b = Dir(t, a, "b");
  File(t, b, "b1");
  File(t, b, "b2");
  Dir(t, a, "emptydir");
  File(t, t.root(), "top");
  File(t, Dir(t, t.root(), "z"), "z1");
}

TEST(TreeTest, RemoveFreesTheSubtreeOnlyAndEachNodeOnce) {
  ArchiveTree t;
  BuildSample(t);
  // Under the root: z(z1), top, a(emptydir, b(b2, b1), a1).
  Node* second = t.root()->firstChild()->nextSibling();
  ASSERT_EQ(second->name(), "top");
  Node* a = second->nextSibling();
  std::vector<NodeId> below;
  for (const Node* n = a; n; n = NextInSubtree(n, a)) below.push_back(n->id());
  const size_t before = t.NodeCount();
  t.Remove(a);
  EXPECT_EQ(t.NodeCount(), before - below.size());
  for (NodeId id : below) EXPECT_EQ(t.Find(id), nullptr);
  // Its siblings stay, linked as before.
  EXPECT_EQ(Shape(t.root()), "/(z(z1),top)");
  t.Remove(t.root()->firstChild());
  EXPECT_EQ(Shape(t.root()), "/(top)");
  EXPECT_EQ(t.NodeCount(), 2u);
}

TEST(TreeTest, FormatLimitsTable) {
  struct Case {
    const char* what;
    uint32_t files;       // files directly under the root
    uint32_t nameLength;  // of one extra file in directory "d" (path "d/" + name)
    Problem pak, pk3;
  };
  const Problem ok = Problem::None, files = Problem::TooManyFiles, path = Problem::PathTooLong;
  const Case cases[] = {
      {"4096 leaves, path 55", 4095, 53, ok, ok},
      {"4097 leaves", 4096, 10, files, ok},
      {"path 56", 10, 54, path, ok},
      {"65535 nodes, path 65534", 65532, 65532, files, ok},
      {"65536 nodes", 65533, 10, files, files},
      {"path 65535", 10, 65533, path, path},
  };
  for (const Case& c : cases) {
    ArchiveTree t;
    char name[16];
    for (uint32_t i = 0; i < c.files; ++i) {
      std::snprintf(name, sizeof name, "f%u", i);
      File(t, t.root(), name);
    }
    File(t, Dir(t, t.root(), "d"), std::string(c.nameLength, 'n'));
    EXPECT_EQ(CheckFormatLimits(t.root(), PakFormat()).problem, c.pak) << c.what;
    EXPECT_EQ(CheckFormatLimits(t.root(), DefaultFormat()).problem, c.pk3) << c.what;
  }
  // The messages name the limit, the first path past it and how many more there are.
  {
    ArchiveTree t;
    // Each new file goes first: the 4,097th in the order written is "f110".
    for (int i = 0; i < 4207; ++i) File(t, t.root(), "f" + std::to_string(i));
    const Failure many = CheckFormatLimits(t.root(), PakFormat());
    EXPECT_EQ(many.more, 110u);
    EXPECT_EQ(SaveFailureMessage(many, "x.pak"),
              "Maximum number of files exceeded: \"f110\" would be entry 4,097, a PAK allows 4,096 (110 more "
              "entries are past the limit).\nOperation aborted.");
    ArchiveTree p;
    Node* maps = Dir(p, p.root(), "maps");
    File(p, maps, "ok.bsp");
    for (int i = 0; i < 4; ++i) File(p, maps, std::string(50, 'a' + i) + ".bsp");  // 59 characters
    EXPECT_EQ(SaveFailureMessage(CheckFormatLimits(p.root(), PakFormat()), "x.pak"),
              "Maximum path length exceeded: \"maps/" + std::string(50, 'd') +
                  ".bsp\" has 59 characters, a PAK allows 55 (3 more paths are too long).\nOperation aborted.");
    Failure one = CheckFormatLimits(p.root(), PakFormat());
    one.more = 0;
    EXPECT_EQ(LimitProblemText(one), "\"maps/" + std::string(50, 'd') +
                                         ".bsp\": the path is 59 characters long, and a PAK file stores at most 55");
  }
  // A writer that meets a limit itself names no path.
  EXPECT_EQ(SaveFailureMessage(Fail(Problem::TooManyFiles), "x.pak"),
            "Maximum number of files exceeded.\nOperation aborted.");
  EXPECT_EQ(SaveFailureMessage(Fail(Problem::PathTooLong), "x.pak"),
            "Maximum path length exceeded.\nOperation aborted.");
  EXPECT_EQ(SaveFailureMessage(Failure(), "x.pak"), "");
}

// Regression: walking a tree by recursion overflowed the stack on deep or wide trees.
TEST(TreeTest, DeepAndWideTreesNeedNoStack) {
  const uint32_t depth = 200000;
  ArchiveTree t;
  Node* n = t.root();
  for (uint32_t i = 0; i < depth; ++i) n = Dir(t, n, "d");
  File(t, n, "f");
  EXPECT_EQ(CountNodes(t.root()), depth + 2);
  EXPECT_EQ(CountLeaves(t.root()), 1u);
  EXPECT_EQ(MaxPathLength(t.root()), depth * 2 + 1);
  EXPECT_EQ(StoredPath(n).size(), depth * 2u);
  t.Remove(t.root()->firstChild());
  EXPECT_EQ(t.NodeCount(), 1u);

  ArchiveTree wide;
  for (uint32_t i = 0; i < depth; ++i) File(wide, wide.root(), "w");
  EXPECT_EQ(CountLeaves(wide.root()), depth);
  EXPECT_EQ(FindChildNamed(wide.root(), "none"), nullptr);
}

}  // namespace
