// A save writes the source's entries in the order the source stores them: the engines take
// the first of a path they meet, and a PK3's pure checksum follows the central directory's
// order. New and moved files come after them, in tree order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/entry_data.h"

#include "archive/format.h"
#include "tests/core/sample_archives.h"
#include "tests/core/test_support.h"
#include "tests/core/writer_support.h"

namespace {

// The file names a written file stores, in its directory's order (a ZIP's folder entries
// left out).
std::vector<std::string> WrittenOrder(const std::string& path) {
  const std::vector<uint8_t> file = FileBytes(path);
  std::vector<std::string> names;
  if (path.substr(path.size() - 4) == ".pak") {
    for (const PakListingItem& item : ParsePak(file).items) names.push_back(item.name);
  } else {
    for (const ZipListingItem& item : ParseZip(file).items)
      if (item.name.back() != '/') names.push_back(item.name);
  }
  return names;
}

TEST(ArchiveOrderTest, SavesKeepTheStoredOrderAndAddTheRestAfter) {
  // Folders interleaved, files out of name order: the tree's own walk would give another.
  const std::vector<std::string> stored = {"sound/b.wav", "progs/player.mdl", "sound/a.wav", "maps/x/e1m1.bsp",
                                           "progs/armor.mdl", "top.cfg"};
  ScratchDir dir;
  for (const char* from : {".pk3", ".pak"}) {
    SCOPED_TRACE(from);
    const std::string source = dir.Path(std::string("source") + from);
    if (std::string(from) == ".pak") {
      std::vector<sample::PakItem> items;
      for (const std::string& name : stored) items.push_back({name, name});
      ASSERT_TRUE(WriteFileBytes(source, sample::Pak(items)));
    } else {
      std::vector<ZipPlan> plans;
      for (const std::string& name : stored) plans.push_back(DeflatedPlan(name, Bytes(name + name), 6));
      ASSERT_TRUE(WriteFileBytes(source, BuildZip(plans)));
    }
    for (const char* to : {".pk3", ".pak"}) {
      SCOPED_TRACE(to);
      TestDocument doc(source);
      ASSERT_TRUE(doc.ok());
      // Untouched, in either format: the stored order exactly.
      const std::string same = dir.Path(std::string("same") + to);
      RecordingSaveHost host;
      ASSERT_TRUE(SaveAs(doc, *FormatForPath(same), same, host));
      EXPECT_EQ(WrittenOrder(same), stored);
      // Saved again from what it wrote: still the same order.
      const std::string again = dir.Path(std::string("again") + to);
      ASSERT_TRUE(SaveAs(doc, *FormatForPath(again), again, host));
      EXPECT_EQ(WrittenOrder(again), stored);
      // A renamed file keeps its place; a new one, and one moved to another folder, come
      // after the rest; a deleted one leaves its place.
      doc.tree().Rename(doc.Find("sound/a.wav"), "c.wav");
      doc.AddPath("maps/new.bsp", Bytes("new"));
      Node* moved = doc.Find("progs/player.mdl");
      const SourceEntry entry = *moved->source();
      doc.tree().AddFile(doc.Find("maps/"), "player.mdl", entry);
      doc.tree().Remove(moved);
      doc.tree().Remove(doc.Find("top.cfg"));
      const std::string edited = dir.Path(std::string("edited") + to);
      ASSERT_TRUE(SaveAs(doc, *FormatForPath(edited), edited, host));
      const std::vector<std::string> expected = {"sound/b.wav", "sound/c.wav", "maps/x/e1m1.bsp", "progs/armor.mdl",
                                                 "maps/player.mdl", "maps/new.bsp"};
      EXPECT_EQ(WrittenOrder(edited), expected);
    }
  }
}

TEST(ArchiveOrderTest, AnUntouchedPk3IsWrittenBackEntryForEntry) {
  // Every copied entry keeps its bytes, and the central directory its order: only the
  // folder entries a ZIP gives each folder are added, each just before its contents.
  std::vector<ZipPlan> plans = {DeflatedPlan("b/two.txt", TextBytes(2, 4000), 9), StoredPlan("a.txt", Bytes("one")),
                                DeflatedPlan("b/one.txt", TextBytes(1, 4000), 9)};
  ScratchDir dir;
  const std::string source = dir.Path("source.pk3");
  ASSERT_TRUE(WriteFileBytes(source, BuildZip(plans)));
  TestDocument doc(source);
  ASSERT_TRUE(doc.ok());
  const std::string saved = dir.Path("saved.pk3");
  RecordingSaveHost host;
  ASSERT_TRUE(SaveAs(doc, DefaultFormat(), saved, host, Options(9)));
  const ZipListing before = ParseZip(FileBytes(source)), after = ParseZip(FileBytes(saved));
  ASSERT_TRUE(before.ok && after.ok) << after.error;
  std::vector<std::string> names;
  for (const ZipListingItem& item : after.items) names.push_back(item.name);
  EXPECT_EQ(names, (std::vector<std::string>{"b/", "b/two.txt", "a.txt", "b/one.txt"}));
  for (const ZipListingItem& was : before.items) {
    SCOPED_TRACE(was.name);
    bool found = false;
    for (const ZipListingItem& now : after.items) {
      if (now.name != was.name) continue;
      found = true;
      EXPECT_EQ(now.data, was.data);
      EXPECT_EQ(now.crc, was.crc);
      EXPECT_EQ(now.method, was.method);
      EXPECT_EQ(now.time, was.time);
      EXPECT_EQ(now.date, was.date);
    }
    EXPECT_TRUE(found);
  }
}

// What one folder shows: each file's name and bytes, in the order written, the shadowed
// ones marked "(shadowed)".
std::vector<std::string> Shown(TestDocument& doc, const std::string& folder) {
  Shadows shadows(doc.doc.source.get());
  std::vector<std::string> shown;
  const Node* node = folder.empty() ? doc.root() : doc.Find(folder);
  for (const Node* n : ArchiveOrder(doc.root(), doc.doc.source.get())) {
    if (n->parent() != node || !n->IsFile()) continue;
    SharedBytes bytes;
    EXPECT_EQ(LoadEntryBytes(&doc.doc, n, &bytes), EntryLoad::Ok);
    std::string text = n->name() + "=" + (bytes ? std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : "");
    if (shadows.IsShadowed(n)) text += " (shadowed)";
    shown.push_back(text);
  }
  EXPECT_EQ(shadows.CountIn(node), std::count_if(shown.begin(), shown.end(), [](const std::string& t) {
              return t.find("(shadowed)") != std::string::npos;
            }));
  return shown;
}

}  // namespace

// A path stored more than once (in any case) opens: the first stored is the file shown, the
// rest are kept in their places, shadowed, through every save; deleting the shown one
// reveals the next.
TEST(ArchiveOrderTest, DuplicatesKeepTheirPlacesAndTheFirstIsShown) {
  const std::vector<sample::PakItem> items = {{"progs/a.mdl", "1"}, {"maps/x.bsp", "x"}, {"progs/a.mdl", "2"},
                                              {"progs/b.mdl", "b"}, {"progs/a.mdl", "3"}, {"A.txt", "upper"},
                                              {"a.txt", "lower"}};
  ScratchDir dir;
  const std::string source = dir.Path("twice.pak");
  ASSERT_TRUE(WriteFileBytes(source, sample::Pak(items)));
  for (const bool keepCase : {false, true}) {
    SCOPED_TRACE(keepCase ? "keeping case" : "lower-casing");
    TestDocument doc(source, keepCase);
    ASSERT_TRUE(doc.ok());
    const std::vector<std::string> progs = {"a.mdl=1", "a.mdl=2 (shadowed)", "b.mdl=b", "a.mdl=3 (shadowed)"};
    EXPECT_EQ(Shown(doc, "progs/"), progs);
    EXPECT_EQ(Shown(doc, ""), (std::vector<std::string>{keepCase ? "A.txt=upper" : "a.txt=upper",
                                                         "a.txt=lower (shadowed)"}));
    EXPECT_EQ(ShadowedFiles(doc.root(), doc.doc.source.get()).size(), 3u);
    for (const char* to : {".pak", ".pk3"}) {
      SCOPED_TRACE(to);
      const std::string saved = dir.Path(std::string("saved") + to);
      RecordingSaveHost host;
      ASSERT_TRUE(SaveAs(doc, *FormatForPath(saved), saved, host));
      std::vector<std::string> expected;
      for (const sample::PakItem& item : items) expected.push_back(keepCase ? item.name : Lower(item.name));
      EXPECT_EQ(WrittenOrder(saved), expected);
      TestDocument reopened(saved, keepCase);
      ASSERT_TRUE(reopened.ok());
      EXPECT_EQ(Shown(reopened, "progs/"), progs);
    }
    // Deleting the shown file reveals the next; the last one stays shadowed by it.
    Shadows before(doc.doc.source.get());
    Node* shown = doc.Find("progs/")->firstChild();
    while (shown && (shown->name() != "a.mdl" || before.IsShadowed(shown))) shown = shown->nextSibling();
    ASSERT_NE(shown, nullptr);
    doc.tree().Remove(shown);
    EXPECT_EQ(Shown(doc, "progs/"), (std::vector<std::string>{"a.mdl=2", "b.mdl=b", "a.mdl=3 (shadowed)"}));
    const std::string saved = dir.Path("deleted.pak");
    RecordingSaveHost host;
    ASSERT_TRUE(SaveAs(doc, PakFormat(), saved, host));
    TestDocument reopened(saved, keepCase);
    EXPECT_EQ(Shown(reopened, "progs/"), (std::vector<std::string>{"a.mdl=2", "b.mdl=b", "a.mdl=3 (shadowed)"}));
  }
}

// With the case of names kept, mixed-case names survive open, save and reopen in either
// format; without it they are lower-cased, the same in every format.
TEST(ArchiveOrderTest, MixedCaseNamesSurviveWhenTheCaseIsKept) {
  const std::vector<std::string> stored = {"video/idlogo.RoQ", "Maps/Wall.TGA", "Makefile", "Maps/e1M1.bsp"};
  ScratchDir dir;
  std::vector<ZipPlan> plans;
  for (const std::string& name : stored) plans.push_back(DeflatedPlan(name, Bytes(name), 6));
  const std::string source = dir.Path("mixed.pk3");
  ASSERT_TRUE(WriteFileBytes(source, BuildZip(plans)));
  for (const bool keepCase : {true, false}) {
    std::vector<std::string> expected;
    for (const std::string& name : stored) expected.push_back(keepCase ? name : Lower(name));
    for (const char* to : {".pak", ".pk3"}) {
      SCOPED_TRACE(std::string(to) + (keepCase ? " keeping case" : " lower-casing"));
      TestDocument doc(source, keepCase);
      ASSERT_TRUE(doc.ok());
      const std::string saved = dir.Path(std::string("saved") + to);
      RecordingSaveHost host;
      ASSERT_TRUE(SaveAs(doc, *FormatForPath(saved), saved, host));
      EXPECT_EQ(WrittenOrder(saved), expected);
      // Back from the written file, and through a rename that changes only the case.
      TestDocument reopened(saved, keepCase);
      ASSERT_TRUE(reopened.ok());
      reopened.tree().Rename(reopened.Find(keepCase ? "Makefile" : "makefile"), "MAKEFILE");
      const std::string again = dir.Path(std::string("again") + to);
      ASSERT_TRUE(SaveAs(reopened, *FormatForPath(again), again, host));
      expected[2] = keepCase ? "MAKEFILE" : "makefile";
      EXPECT_EQ(WrittenOrder(again), expected);
      expected[2] = keepCase ? "Makefile" : "makefile";
    }
  }
}
