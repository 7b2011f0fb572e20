// A save writes the source's entries in the order the source stores them: the engines take
// the first of a path they meet, and a PK3's pure checksum follows the central directory's
// order. New and moved files come after them, in tree order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
