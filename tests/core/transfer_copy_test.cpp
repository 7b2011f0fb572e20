// Copies of archive items into a directory: within one archive and from another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"
#include "transfer/core/node_copy.h"
#include "transfer/core/transfer_measure.h"

namespace {

class ScriptedAsker : public ReplaceAsker {
 public:
  explicit ScriptedAsker(std::vector<int32_t> answers = {}) : answers_(std::move(answers)) {}
  int32_t AskReplace(const ConflictItem& existing, const ConflictItem& incoming) override {
    questions.push_back(existing.name);
    EXPECT_EQ(existing.name, incoming.name);
    return asked < answers_.size() ? answers_[asked++] : (++asked, 2);
  }
  size_t asked = 0;
  std::vector<std::string> questions;

 private:
  std::vector<int32_t> answers_;
};

struct Copier {
  explicit Copier(TestDocument& t) : target(t) {}
  TestDocument& target;
  ScriptedAsker asker;
  TransferState state{};
  const ArchiveDocument* source = nullptr;
  bool arrived = false;  // the last item copied arrived whole

  Node* Copy(Node* dir, const Node* item) {
    NodeCopyContext c{target.tree(), asker, &state, source};
    Node* top = CopyNodeInto(c, dir, item);
    arrived = !c.incomplete;
    return top;
  }
};

std::string Text(const ArchiveDocument& doc, const std::string& path, const TestDocument& d) {
  const Node* n = d.Find(path);
  if (!n) return "<missing>";
  SharedBytes bytes;
  if (LoadEntryBytes(&doc, n, &bytes) != EntryLoad::Ok) return "<unreadable>";
  return bytes ? std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : std::string();
}

std::vector<std::string> Paths(const ArchiveDocument& doc) {
  std::vector<std::string> out;
  for (const ItemContent& c : SortedContents(doc))
    out.push_back(c.path + "=" + std::string(c.bytes.begin(), c.bytes.end()));
  return out;
}

int CountNamed(const Node* dir, const char* name) {
  int n = 0;
  for (const Node* c = dir->firstChild(); c; c = c->nextSibling()) n += c->name() == name;
  return n;
}

}  // namespace

TEST(CloneFileNodeTest, OwnNameSharedBytes) {
  TestDocument d;
  Node* f = d.AddFile(d.root(), "a.txt", Bytes("hello"));
  Node* dir = d.AddDirectory(d.root(), "dir");
  Node* copy = CloneFileNode(d.tree(), dir, f, "b.txt");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(dir->firstChild(), copy);
  EXPECT_EQ(copy->parent(), dir);
  EXPECT_EQ(copy->name(), "b.txt");
  EXPECT_TRUE(copy->IsFile());
  EXPECT_NE(copy->id(), f->id());
  // Bytes in memory never change once filled: the copy shares them.
  EXPECT_EQ(copy->memory(), f->memory());
  EXPECT_EQ(Text(d.doc, "dir/b.txt", d), "hello");
  // Another file's bytes for the original leave the copy's as they were.
  d.tree().SetData(f, MemoryBytes{EntryBuffer::Copy(reinterpret_cast<const uint8_t*>("other"), 5)});
  EXPECT_EQ(Text(d.doc, "dir/b.txt", d), "hello");
  EXPECT_EQ(Text(d.doc, "a.txt", d), "other");

  Node* empty = d.AddFile(d.root(), "empty", {});
  Node* emptyCopy = CloneFileNode(d.tree(), dir, empty, "empty");
  ASSERT_NE(emptyCopy, nullptr);
  EXPECT_EQ(emptyCopy->memory(), nullptr);
  EXPECT_EQ(emptyCopy->size(), 0u);

  EXPECT_EQ(CloneFileNode(d.tree(), dir, d.Find("dir"), "x"), nullptr);  // not a file
  EXPECT_EQ(CloneFileNode(d.tree(), copy, f, "x"), nullptr);             // not into a file
}

TEST(CopyWithinArchiveTest, ArchiveFilesKeepTheirEntryMemoryFilesShareTheirBytes) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.Path("a.pak"),
                             sample::Pak({{"maps/e1m1.bsp", "level one"}, {"readme.txt", "hi"}})));
  TestDocument d(dir.Path("a.pak"));
  ASSERT_TRUE(d.ok());
  d.AddFile(d.Find("maps"), "notes.txt", Bytes("memory"));
  Node* backup = d.AddDirectory(d.root(), "backup");
  Copier c(d);
  Node* maps = c.Copy(backup, d.Find("maps"));
  ASSERT_NE(maps, nullptr);
  EXPECT_EQ(maps, d.Find("backup/maps"));
  Node* readme = c.Copy(backup, d.Find("readme.txt"));
  EXPECT_EQ(readme, d.Find("backup/readme.txt"));
  EXPECT_EQ(c.state.changed, 1);
  EXPECT_EQ(c.asker.asked, 0u);

  Node* bsp = d.Find("backup/maps/e1m1.bsp");
  ASSERT_NE(bsp, nullptr);
  ASSERT_NE(bsp->source(), nullptr);
  EXPECT_EQ(bsp->source()->index, d.Find("maps/e1m1.bsp")->source()->index);
  Node* notes = d.Find("backup/maps/notes.txt");
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ(notes->memory(), d.Find("maps/notes.txt")->memory());
  EXPECT_EQ(Text(d.doc, "backup/maps/e1m1.bsp", d), "level one");
  EXPECT_EQ(Text(d.doc, "backup/maps/notes.txt", d), "memory");
  EXPECT_EQ(Text(d.doc, "backup/readme.txt", d), "hi");
  // The new directory lies under the target.
  EXPECT_EQ(maps->parent(), backup);
  EXPECT_TRUE(maps->IsDirectory());
}

TEST(CopyWithinArchiveTest, DirectoriesMergeAndConflictsFollowTheAnswers) {
  TestDocument d;
  d.AddPath("from/maps/a", Bytes("new a"));
  d.AddPath("from/maps/b", Bytes("new b"));
  d.AddPath("from/maps/c", Bytes("new c"));
  d.AddPath("to/maps/a", Bytes("old a"));
  d.AddPath("to/maps/b", Bytes("old b"));
  const size_t nodes = d.tree().NodeCount();
  Copier c(d);
  c.asker = ScriptedAsker({kReplaceYes, kReplaceNo});
  // A merged directory is not new at the top.
  EXPECT_EQ(c.Copy(d.Find("to"), d.Find("from/maps")), nullptr);
  EXPECT_EQ(CountNamed(d.Find("to"), "maps"), 1);
  EXPECT_EQ(d.tree().NodeCount(), nodes + 1);  // c alone is new
  // Children are copied in list order (c, b, a: the newest first).
  EXPECT_EQ(c.asker.questions, (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(Text(d.doc, "to/maps/a", d), "old a");
  EXPECT_EQ(Text(d.doc, "to/maps/b", d), "new b");
  EXPECT_EQ(Text(d.doc, "to/maps/c", d), "new c");
  EXPECT_EQ(c.state.changed, 1);
  // "a" stayed as it was: a move must not take the directory from its origin.
  EXPECT_FALSE(c.arrived);
}

TEST(CopyWithinArchiveTest, ToAllAnswersAndCancelling) {
  struct Case {
    std::vector<int32_t> answers;
    std::vector<std::string> expected;  // contents of to/ afterwards
    size_t asked;
    int32_t cancelled;
    bool arrived;  // every file of the item reached the target
  };
  const Case cases[] = {
      {{kReplaceYesToAll}, {"to/=", "to/f1=new", "to/f2=new", "to/f3=new"}, 1, 0, true},
      {{kReplaceNoToAll}, {"to/=", "to/f1=old", "to/f2=old", "to/f3=old"}, 1, 0, false},
      {{kReplaceNo, kReplaceYesToAll}, {"to/=", "to/f1=old", "to/f2=new", "to/f3=new"}, 2, 0, false},
      // Closing the dialog at the second file stops the walk: the third is not copied.
      {{kReplaceYes, 2}, {"to/=", "to/f1=new", "to/f2=old", "to/f3=old"}, 2, 1, false},
  };
  for (const Case& k : cases) {
    TestDocument d;
    for (const char* n : {"f3", "f2", "f1"}) {
      d.AddPath(std::string("from/to/") + n, Bytes("new"));
      d.AddPath(std::string("to/") + n, Bytes("old"));
    }
    Copier c(d);
    c.asker = ScriptedAsker(k.answers);
    EXPECT_EQ(c.Copy(d.root(), d.Find("from/to")), nullptr);
    std::vector<std::string> to;
    for (const std::string& p : Paths(d.doc))
      if (p.rfind("to/", 0) == 0) to.push_back(p);
    EXPECT_EQ(to, k.expected);
    EXPECT_EQ(c.asker.asked, k.asked);
    EXPECT_EQ(c.state.cancelled, k.cancelled);
    EXPECT_EQ(c.arrived, k.arrived);
  }
}

TEST(CopyWithinArchiveTest, IntoItsOwnSubdirectoryCopiesTheDirectoryAsItWas) {
  TestDocument d;
  d.AddPath("a/f", Bytes("x"));
  Node* b = d.AddDirectory(d.Find("a"), "b");
  Copier c(d);
  ASSERT_NE(c.Copy(b, d.Find("a")), nullptr);
  EXPECT_EQ(Paths(d.doc), (std::vector<std::string>{"a/=", "a/b/=", "a/b/a/=", "a/b/a/b/=", "a/b/a/f=x",
                                                    "a/f=x"}));
}

TEST(CopyWithinArchiveTest, FileAndDirectoryOfOneNameAreNeverMixed) {
  TestDocument d;
  d.AddPath("from/x", Bytes("file"));
  d.AddPath("from/y/inner", Bytes("i"));
  d.AddDirectory(d.AddDirectory(d.root(), "to"), "x");
  d.AddPath("to/y", Bytes("file y"));
  Copier c(d);
  EXPECT_EQ(c.Copy(d.Find("to"), d.Find("from/x")), nullptr);
  EXPECT_EQ(c.Copy(d.Find("to"), d.Find("from/y")), nullptr);
  EXPECT_EQ(c.asker.asked, 0u);
  EXPECT_EQ(c.state.changed, 0);
  EXPECT_TRUE(d.Find("to/x")->IsDirectory());
  EXPECT_EQ(Text(d.doc, "to/y", d), "file y");
}

// Regression: replacing a memory file freed its buffer before the incoming bytes were
// copied, so a file copied onto itself read freed memory.
TEST(CopyWithinArchiveTest, ReplacingAFileWithItselfKeepsItsBytes) {
  TestDocument d;
  Node* f = d.AddPath("dir/f", Bytes("same bytes"));
  // Items from the folder itself, as a drop onto the list's own directory item would carry.
  Copier c(d);
  c.asker = ScriptedAsker({kReplaceYes});
  EXPECT_EQ(c.Copy(d.Find("dir"), f), nullptr);
  EXPECT_EQ(Text(d.doc, "dir/f", d), "same bytes");
  // The node itself stays: references to it still find it.
  EXPECT_EQ(d.Find("dir/f"), f);
  EXPECT_EQ(d.tree().Find(f->id()), f);
}

TEST(CopyFromArchiveTest, EveryFileArrivesAsMemoryAndOutlivesItsSource) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFileBytes(
      dir.Path("src.pk3"),
      BuildZip({StoredPlan("maps/stored.txt", Bytes("stored bytes")),
                DeflatedPlan("maps/deflated.txt", TextBytes(7, 5000), 9), StoredPlan("maps/empty", {})})));
  ASSERT_TRUE(WriteFileBytes(dir.Path("src.pak"), sample::Pak({{"sound/a.wav", "RIFFdata"}})));
  TestDocument target;
  target.AddPath("maps/stored.txt", Bytes("old"));
  {
    TestDocument pk3(dir.Path("src.pk3"));
    TestDocument pak(dir.Path("src.pak"));
    ASSERT_TRUE(pk3.ok());
    ASSERT_TRUE(pak.ok());
    Copier c(target);
    c.asker = ScriptedAsker({kReplaceYes});
    c.source = &pk3.doc;
    EXPECT_EQ(c.Copy(target.root(), pk3.Find("maps")), nullptr);  // merged into maps
    c.source = &pak.doc;
    Node* sound = c.Copy(target.root(), pak.Find("sound"));
    EXPECT_EQ(sound, target.Find("sound"));
    EXPECT_EQ(c.asker.questions, (std::vector<std::string>{"stored.txt"}));
  }
  // The sources are closed now; everything reads from memory.
  for (const char* p : {"maps/stored.txt", "maps/deflated.txt", "maps/empty", "sound/a.wav"}) {
    const Node* n = target.Find(p);
    ASSERT_NE(n, nullptr) << p;
    EXPECT_TRUE(n->IsFile()) << p;
    EXPECT_EQ(n->source(), nullptr) << p;
  }
  EXPECT_EQ(Text(target.doc, "maps/stored.txt", target), "stored bytes");
  const std::vector<uint8_t> text = TextBytes(7, 5000);
  EXPECT_EQ(Text(target.doc, "maps/deflated.txt", target), std::string(text.begin(), text.end()));
  EXPECT_EQ(target.Find("maps/empty")->memory(), nullptr);
  EXPECT_EQ(Text(target.doc, "sound/a.wav", target), "RIFFdata");
}

TEST(CopyFromArchiveTest, UnreadableItemsAreLeftOutAndNamed) {
  ScratchDir dir;
  // The second entry claims more bytes than the file holds.
  std::vector<uint8_t> pak = sample::Pak({{"good", "fine"}, {"bad", "xy"}});
  const size_t badLength = pak.size() - 64 + 60;
  pak[badLength] = 0xFF;
  pak[badLength + 1] = 0xFF;
  ASSERT_TRUE(WriteFileBytes(dir.Path("bad.pak"), pak));
  TestDocument src(dir.Path("bad.pak"));
  ASSERT_TRUE(src.ok());
  ASSERT_NE(src.Find("bad"), nullptr);
  TestDocument target;
  target.AddPath("bad", Bytes("keep me"));
  Copier c(target);
  c.asker = ScriptedAsker({kReplaceYes});
  c.source = &src.doc;
  EXPECT_NE(c.Copy(target.root(), src.Find("good")), nullptr);
  EXPECT_TRUE(c.arrived);
  EXPECT_EQ(c.Copy(target.root(), src.Find("bad")), nullptr);
  EXPECT_FALSE(c.arrived);
  EXPECT_EQ(Text(target.doc, "bad", target), "keep me");
  EXPECT_EQ(Text(target.doc, "good", target), "fine");
  EXPECT_EQ(c.state.failures, 1u);
  EXPECT_EQ(TransferFailureMessage(c.state, "copy", "copied"),
            "Can't copy \"bad\": its data is damaged or missing.");

  // An entry that belongs to no source at all.
  TestDocument other;
  Copier none(other);
  none.source = &target.doc;
  EXPECT_EQ(none.Copy(other.root(), src.Find("good")), nullptr);
  EXPECT_EQ(none.state.changed, 0);
}

TEST(CopyNodeTest, DirectoryThatCannotBeMadeIsLeftOutWithItsContents) {
  TestDocument src;
  src.AddPath("a/b/f", Bytes("x"));
  src.AddPath("c", Bytes("y"));
  TestDocument target;
  target.AddPath("a", Bytes("a file"));  // holds the directory's name
  Copier c(target);
  c.source = &src.doc;
  EXPECT_EQ(c.Copy(target.root(), src.Find("a")), nullptr);
  EXPECT_FALSE(c.arrived);
  EXPECT_NE(c.Copy(target.root(), src.Find("c")), nullptr);
  EXPECT_TRUE(c.arrived);
  EXPECT_EQ(Paths(target.doc), (std::vector<std::string>{"a=a file", "c=y"}));
}

// Regression: the copy recursed once per directory level.
TEST(CopyNodeTest, DeepNestingIsCopiedWithoutRecursion) {
  TestDocument src;
  Node* top = src.AddDirectory(src.root(), "d");
  Node* n = top;
  for (int i = 0; i < 20000; ++i) n = src.AddDirectory(n, "d");
  src.AddFile(n, "f", Bytes("deep"));
  src.AddFile(top, "g", Bytes("shallow"));
  TestDocument target;
  Copier c(target);
  c.source = &src.doc;
  ASSERT_NE(c.Copy(target.root(), top), nullptr);
  EXPECT_EQ(CountNodes(target.root()), 1u + 20001u + 2u);
  EXPECT_EQ(CountFiles(target.root()->firstChild()), 2u);
  EXPECT_EQ(MaxPathBelow(target.root()->firstChild()), MaxPathBelow(top));
}
