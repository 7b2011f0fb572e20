// Undo and redo of tree edits: each kind of change taken back and made again leaves the
// tree exactly as it was (order and bytes included); what no step can bring back is freed;
// the limits hold; a save keeps every step's bytes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/edit_history.h"
#include "archive/save.h"
#include "services/core/archive_text.h"
#include "tests/core/writer_support.h"

namespace {

struct EditCase {
  const char* name;
  std::function<void(TestDocument&)> edit;
};

SharedBytes SharedBytesOf(const std::vector<uint8_t>& bytes) { return EntryBuffer::Copy(bytes.data(), bytes.size()); }

// A document with a little of everything: nested folders, memory files, an empty folder.
void Fill(TestDocument& doc) {
  doc.AddPath("maps/e1m1.bsp", TextBytes(1, 3000));
  doc.AddPath("maps/e1m2.bsp", TextBytes(2, 100));
  doc.AddPath("sound/misc/null.wav", TextBytes(3, 40));
  doc.AddPath("progs.dat", TextBytes(4, 700));
  doc.AddDirectory(doc.root(), "empty");
}

TEST(EditHistoryTest, EachKindOfStepUndoneAndRedoneLeavesTheTreeAsItWas) {
  const EditCase cases[] = {
      {"remove files of one folder",
       [](TestDocument& d) {
         d.tree().Remove(d.Find("maps/e1m1.bsp"));
         d.tree().Remove(d.Find("maps/e1m2.bsp"));
       }},
      {"remove a folder with its subtree", [](TestDocument& d) { d.tree().Remove(d.Find("sound/")); }},
      {"remove the middle child", [](TestDocument& d) { d.tree().Remove(d.Find("maps/")); }},
      {"remove a file and then its folder",
       [](TestDocument& d) {
         d.tree().Remove(d.Find("sound/misc/null.wav"));
         d.tree().Remove(d.Find("sound/"));
       }},
      {"rename a folder", [](TestDocument& d) { d.tree().Rename(d.Find("maps/"), "levels"); }},
      {"new data for a file", [](TestDocument& d) { d.tree().SetData(d.Find("progs.dat"), MemoryBytes{}); }},
      {"add a folder with files",
       [](TestDocument& d) {
         Node* dir = d.AddDirectory(d.root(), "textures");
         d.AddFile(dir, "a.tga", TextBytes(5, 10));
         d.AddFile(d.AddDirectory(dir, "sub"), "b.tga", TextBytes(6, 20));
       }},
      {"add, replace and remove in one step",
       [](TestDocument& d) {
         Node* added = d.AddFile(d.Find("maps/"), "e1m3.bsp", TextBytes(7, 5));
         d.tree().SetData(d.Find("maps/e1m1.bsp"), MemoryBytes{SharedBytesOf(TextBytes(8, 9))});
         d.tree().Rename(added, "start.bsp");
         d.tree().Remove(d.Find("empty/"));
       }},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestDocument doc;
    Fill(doc);
    EditHistory& history = doc.tree().history();
    const std::vector<ItemContent> before = Contents(doc.doc);
    history.Begin(c.name, 2);
    c.edit(doc);
    history.End();
    const std::vector<ItemContent> after = Contents(doc.doc);
    ASSERT_NE(after, before);
    ASSERT_TRUE(history.CanUndo());
    EXPECT_EQ(StepTitle(*history.NextUndo()), std::string(c.name) + " (2 items)");
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(history.Undo(nullptr));
      EXPECT_EQ(Contents(doc.doc), before);
      EXPECT_TRUE(history.AtSavedState());
      ASSERT_TRUE(history.Redo(nullptr));
      EXPECT_EQ(Contents(doc.doc), after);
      EXPECT_FALSE(history.AtSavedState());
    }
    EXPECT_FALSE(history.Redo(nullptr));
  }
}

TEST(EditHistoryTest, NodesOutOfTheTreeAreNotFoundAndAreFreedWhenNoStepCanBringThemBack) {
  TestDocument doc;
  Fill(doc);
  EditHistory& history = doc.tree().history();
  const size_t nodes = doc.tree().NodeCount();
  Node* sound = doc.Find("sound/");
  const NodeId soundId = sound->id(), wavId = doc.Find("sound/misc/null.wav")->id();
  history.Begin("Delete");
  doc.tree().Remove(sound);
  history.End();
  EXPECT_EQ(doc.tree().Find(soundId), nullptr);
  EXPECT_EQ(doc.tree().Find(wavId), nullptr);
  EXPECT_EQ(doc.tree().NodeCount(), nodes);
  ASSERT_TRUE(history.Undo(nullptr));
  EXPECT_EQ(doc.tree().Find(wavId), doc.Find("sound/misc/null.wav"));
  // A new edit after the undo: the delete cannot be redone, its nodes stay; the added
  // folder of an undone step goes when a later edit drops the redo side.
  history.Begin("New Directory");
  doc.AddDirectory(doc.root(), "new");
  history.End();
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(doc.tree().NodeCount(), nodes + 1);
  ASSERT_TRUE(history.Undo(nullptr));
  history.Begin("Rename");
  doc.tree().Rename(doc.Find("maps/"), "m");
  history.End();
  EXPECT_EQ(doc.tree().NodeCount(), nodes);
  // Outside a step a removal frees at once, as it always did.
  doc.tree().Remove(doc.Find("m/"));
  EXPECT_EQ(doc.tree().NodeCount(), nodes - 3);
  // A step without changes is no step; nested steps are one.
  history.Begin("Paste");
  history.End();
  history.Begin("Move", 1);
  history.Begin("Delete", 5);
  doc.tree().Remove(doc.Find("progs.dat"));
  history.End();
  EXPECT_FALSE(history.CanUndo());
  history.End();
  EXPECT_EQ(StepTitle(*history.NextUndo()), "Move");
  EXPECT_EQ(history.UndoCount(), 2u);
}

TEST(EditHistoryTest, TheSavedStateIsFoundAgainByUndoAndRedo) {
  TestDocument doc;
  Fill(doc);
  EditHistory& history = doc.tree().history();
  const auto step = [&](const char* name) {
    history.Begin("Rename");
    doc.tree().Rename(doc.Find("progs.dat") ? doc.Find("progs.dat") : doc.root()->firstChild(), name);
    history.End();
  };
  EXPECT_TRUE(history.AtSavedState());
  step("a");
  step("b");
  history.MarkSaved();
  step("c");
  EXPECT_FALSE(history.AtSavedState());
  history.Undo(nullptr);
  EXPECT_TRUE(history.AtSavedState());
  history.Undo(nullptr);
  EXPECT_FALSE(history.AtSavedState());
  history.Redo(nullptr);
  EXPECT_TRUE(history.AtSavedState());
  // The saved state lay on the redo side that a new edit dropped: it is gone for good.
  history.Undo(nullptr);
  step("d");
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(history.AtSavedState());
    history.Undo(nullptr);
  }
}

TEST(EditHistoryTest, LimitsDropTheOldestStepsAndTheirBytes) {
  TestDocument doc;
  EditHistory& history = doc.tree().history();
  constexpr uint64_t kPiece = 4 * 1024 * 1024;
  history.SetLimits(100, 64 * 1024 * 1024);
  // A folder of memory files imported and deleted again and again: 150 deletes.
  for (int round = 0; round < 150; ++round) {
    Node* dir = doc.AddDirectory(doc.root(), "big");
    for (int i = 0; i < 2; ++i) doc.AddFile(dir, "f" + std::to_string(i), std::vector<uint8_t>(kPiece, 'x'));
    history.Begin("Delete");
    doc.tree().Remove(dir);
    history.End();
    EXPECT_LE(history.KeptBytes(), 64 * 1024 * 1024u);
  }
  EXPECT_EQ(history.UndoCount(), 8u);
  EXPECT_EQ(doc.tree().NodeCount(), 1 + 8 * 3u);
  // By count: 100 steps at most.
  history.SetLimits(100, EditHistory::kDefaultMaxBytes);
  for (int round = 0; round < 120; ++round) {
    history.Begin("New Directory");
    doc.AddDirectory(doc.root(), "d" + std::to_string(round));
    history.End();
  }
  EXPECT_EQ(history.UndoCount(), 100u);
  EXPECT_EQ(history.KeptBytes(), 0u);
  // The newest step stays even when it alone holds more than the limit.
  history.SetLimits(100, kPiece);
  Node* dir = doc.AddDirectory(doc.root(), "huge");
  doc.AddFile(dir, "f", std::vector<uint8_t>(2 * kPiece, 'y'));
  history.Begin("Delete");
  doc.tree().Remove(dir);
  history.End();
  EXPECT_EQ(history.UndoCount(), 1u);
  ASSERT_TRUE(history.Undo(nullptr));
  EXPECT_EQ(doc.Find("huge/f")->size(), 2 * kPiece);
}

TEST(EditHistoryTest, SavesKeepEveryStepsBytesAndAnUndoAfterASaveAsWritesCorrectly) {
  for (const ArchiveFormat* target : {&PakFormat(), &DefaultFormat()}) {
    SCOPED_TRACE(target->name);
    ScratchDir dir;
    const std::string path = dir.Path("own.pak");
    ASSERT_TRUE(WriteFileBytes(path, FileBytes(FixturePath("writer/sample.pak"))));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    EditHistory& history = doc.tree().history();
    const std::vector<ItemContent> original = Contents(doc.doc);
    Node* first = doc.root();
    while (first && !first->IsFile()) first = NextInSubtree(first, doc.root());
    ASSERT_NE(first, nullptr);
    const std::string replacedPath = StoredPath(first);
    // One source entry given other bytes, one source folder deleted.
    history.Begin("Update From Viewer");
    doc.tree().SetData(first, MemoryBytes{SharedBytesOf(TextBytes(9, 77))});
    history.End();
    history.Begin("Delete");
    doc.tree().Remove(doc.root()->firstChild() == first ? first->nextSibling() : doc.root()->firstChild());
    history.End();
    const std::vector<ItemContent> edited = Contents(doc.doc);
    // Saved over its own file (PAK), or as a PK3 beside it: the old entries are then gone
    // from what the document reads.
    const std::string saved = target == &PakFormat() ? path : dir.Path("own.pk3");
    RecordingSaveHost host;
    ASSERT_FALSE(SaveDocument(&doc.doc, *target, saved, SaveOptions(), &host));
    EXPECT_TRUE(history.AtSavedState());
    ASSERT_EQ(history.UndoCount(), 2u);
    history.Undo(nullptr);
    history.Undo(nullptr);
    EXPECT_FALSE(history.AtSavedState());
    EXPECT_EQ(Contents(doc.doc), original);
    ASSERT_FALSE(SaveDocument(&doc.doc, *target, saved, SaveOptions(), &host));
    TestDocument reopened(saved);
    ASSERT_TRUE(reopened.ok());
    EXPECT_EQ(SortedContents(reopened.doc), SortedContents(doc.doc));
    EXPECT_EQ(SortedContents(reopened.doc), SortedContents(TestDocument(path).doc)) << replacedPath;
#ifndef _WIN32
    if (target == &DefaultFormat()) {
      EXPECT_EQ(ZipToolFailures(saved), "");
    }
#endif
    history.Redo(nullptr);
    history.Redo(nullptr);
    EXPECT_EQ(Contents(doc.doc), edited);
  }
}

}  // namespace
