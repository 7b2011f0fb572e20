#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/pak_writer.h"
#include "archive/pk3_writer.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"
#include "transfer/core/transfer_measure.h"

namespace {


// Every file entry of the document is a PakFile of archive.
void ExpectAllFilesIn(const ArchiveNode* node, const PakArchive* archive) {
  ExpectEachSavedFile(node, [archive](const ArchiveNode* c) {
    const ArchiveEntry* e = c->entry;
    EXPECT_TRUE(IsKind(e, EntryKind::PakFile)) << e->name;
    EXPECT_GE(PakEntryIndex(archive, e->pakEntry), 0) << e->name;
    EXPECT_EQ(e->pk3Record, nullptr);
    EXPECT_EQ(e->node, c);
  });
}

TEST(PakWriterTest, EmptyRootIsTheHeaderAlone) {
  ScratchDir dir;
  TestDocument doc;
  RecordingSaveWindow window;
  const std::string path = dir.Path("empty.pak");
  PakArchive* saved = PakSave(window, &doc.doc, path.c_str());
  ASSERT_NE(saved, nullptr);
  EXPECT_TRUE(window.messages.empty());
  const std::vector<uint8_t> expected = {'P', 'A', 'C', 'K', 12, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(FileBytes(path), expected);
  EXPECT_EQ(saved->entryCount, 0u);
  EXPECT_EQ(saved->header.dirOffset, 12u);
  EXPECT_NE(saved->file, nullptr);
  EXPECT_STREQ(saved->path, path.c_str());
  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{1});
  EXPECT_EQ(window.closes, 1);
  EXPECT_EQ(window.repaints, 1);
  doc.Adopt(saved);
}

TEST(PakWriterTest, LayoutFollowsTheTreeWalk) {
  ScratchDir dir;
  TestDocument doc;
  // Children are linked at the head: the last added is written first.
  ArchiveNode* maps = doc.AddDirectory(doc.root(), "maps");
  doc.AddFile(maps, "b.bsp", Bytes("BBBB"));
  doc.AddFile(maps, "a.bsp", Bytes("AA"));
  doc.AddFile(doc.root(), "readme.txt", Bytes("hello"));
  doc.AddFile(doc.root(), "zero.dat", {});
  ArchiveNode* textures = doc.AddDirectory(doc.root(), "textures");
  doc.AddDirectory(textures, "empty");

  RecordingSaveWindow window;
  const std::string path = dir.Path("layout.pak");
  PakArchive* saved = PakSave(window, &doc.doc, path.c_str());
  ASSERT_NE(saved, nullptr);
  const std::vector<uint8_t> file = FileBytes(path);
  const PakListing listing = ParsePak(file);
  ASSERT_TRUE(listing.ok);
  // Walk order: textures/empty/, zero.dat, readme.txt, maps/a.bsp, maps/b.bsp.
  const std::vector<std::tuple<std::string, uint32_t, uint32_t>> expected = {
      {"textures/empty/", 0, 0}, {"zero.dat", 12, 0}, {"readme.txt", 12, 5},
      {"maps/a.bsp", 17, 2},     {"maps/b.bsp", 19, 4}};
  ASSERT_EQ(listing.items.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(listing.items[i].name, std::get<0>(expected[i]));
    EXPECT_EQ(listing.items[i].offset, std::get<1>(expected[i])) << listing.items[i].name;
    EXPECT_EQ(listing.items[i].length, std::get<2>(expected[i])) << listing.items[i].name;
  }
  EXPECT_EQ(listing.dirOffset, 23u);
  EXPECT_EQ(listing.dirLength, 5u * 64);
  EXPECT_EQ(file.size(), 23u + 5 * 64);
  EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 23), "helloAABBBB");
  // The name field is NUL-padded.
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 23 + 15, file.begin() + 23 + 56), std::vector<uint8_t>(41, 0));

  // Progress: one step per file, each shown with its stored path and size.
  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{5});
  const std::vector<std::pair<std::string, uint32_t>> items = {
      {"zero.dat", 0}, {"readme.txt", 5}, {"maps/a.bsp", 2}, {"maps/b.bsp", 4}};
  EXPECT_EQ(window.items, items);
  EXPECT_EQ(window.steps, 4u);

  // The document's files now live in the new archive; its memory buffers are gone.
  ExpectAllFilesIn(doc.root(), saved);
  EXPECT_TRUE(IsKind(doc.Find("textures/empty")->entry, EntryKind::Directory));
  doc.Adopt(saved);
  const std::vector<ItemContent> contents = Contents(doc.doc);
  const std::vector<ItemContent> expectedContents = {
      {"textures/", {}}, {"textures/empty/", {}}, {"zero.dat", {}}, {"readme.txt", Bytes("hello")},
      {"maps/", {}},     {"maps/a.bsp", Bytes("AA")}, {"maps/b.bsp", Bytes("BBBB")}};
  EXPECT_EQ(contents, expectedContents);
}

// Saves doc as PAK and as it comes back: the document re-pointed at the result, and
// the file opened afresh. Both must hold what the document held before.
void ExpectPakRoundTrip(TestDocument& doc, const std::string& path) {
  const std::vector<ItemContent> before = SortedContents(doc.doc);
  ASSERT_FALSE(before.empty());
  RecordingSaveWindow window;
  PakArchive* saved = PakSave(window, &doc.doc, path.c_str());
  ASSERT_NE(saved, nullptr) << (window.messages.empty() ? "" : window.messages[0].text);
  ExpectAllFilesIn(doc.root(), saved);
  doc.Adopt(saved);
  EXPECT_EQ(SortedContents(doc.doc), before);
#ifndef _WIN32
  // The blocks reserved for the file up front are the ones its bytes fill: none is left
  // taken beyond its end.
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const uint64_t block = st.st_blksize > 0 ? static_cast<uint64_t>(st.st_blksize) : 4096;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  EXPECT_LE(static_cast<uint64_t>(st.st_blocks) * 512, (size + block - 1) / block * block) << size;
#endif
  TestDocument reopened(path);
  ASSERT_TRUE(reopened.ok());
  EXPECT_EQ(reopened.doc.archiveKind, ArchiveKind::Pak);
  EXPECT_EQ(SortedContents(reopened.doc), before);
}

TEST(PakWriterTest, RoundTripsKeepTreeAndBytes) {
  ScratchDir dir;
  {
    SCOPED_TRACE("PAK to PAK");
    TestDocument doc(FixturePath("writer/sample.pak"));
    ASSERT_TRUE(doc.ok());
    ExpectPakRoundTrip(doc, dir.Path("from_pak.pak"));
    // And once more from the archive just written.
    ExpectPakRoundTrip(doc, dir.Path("again.pak"));
  }
  {
    SCOPED_TRACE("PK3 to PAK");
    TestDocument doc(FixturePath("writer/levels.pk3"));
    ASSERT_TRUE(doc.ok());
    ExpectPakRoundTrip(doc, dir.Path("from_pk3.pak"));
  }
  {
    SCOPED_TRACE("mixed sources to PAK");
    TestDocument doc(FixturePath("writer/sample.pak"));
    ASSERT_TRUE(doc.ok());
    doc.AddPath("new/random.bin", RandomBytes(4, 100000));
    doc.AddPath("new/text.txt", TextBytes(4, 777));
    ExpectPakRoundTrip(doc, dir.Path("mixed.pak"));
  }
}

TEST(PakWriterTest, KindsChangeAndViewingFlagsStay) {
  ScratchDir dir;
  TestDocument doc(FixturePath("writer/levels.pk3"));
  ASSERT_TRUE(doc.ok());
  ArchiveNode* memory = doc.AddPath("memory.txt", Bytes("memory bytes"));
  ArchiveNode* pk3File = doc.Find("text/level6.txt");
  ASSERT_NE(pk3File, nullptr);
  memory->entry->kind |= kViewingFlag;
  pk3File->entry->kind |= kViewingFlag;
  char* memoryName = memory->entry->name;

  RecordingSaveWindow window;
  PakArchive* saved = PakSave(window, &doc.doc, dir.Path("k.pak").c_str());
  ASSERT_NE(saved, nullptr);
  ExpectAllFilesIn(doc.root(), saved);
  // A viewed entry stays marked: its viewer is still watched, and deleting the entry must
  // stop that watch.
  EXPECT_EQ(memory->entry->kind, static_cast<uint32_t>(EntryKind::PakFile) | kViewingFlag);
  EXPECT_EQ(pk3File->entry->kind, static_cast<uint32_t>(EntryKind::PakFile) | kViewingFlag);
  EXPECT_EQ(memory->entry->name, memoryName);
  EXPECT_STREQ(memory->entry->pakEntry->name, "memory.txt");
  doc.Adopt(saved);
}

// A save whose working copy is handed over changes the document only when committed: an
// abandoned one leaves every entry reading from where it read before.
TEST(PakWriterTest, AHandedOverSaveChangesTheDocumentOnlyWhenCommitted) {
  ScratchDir dir;
  for (const bool pak : {true, false}) {
    SCOPED_TRACE(pak ? "PAK" : "PK3");
    TestDocument doc(FixturePath("writer/levels.pk3"));
    ASSERT_TRUE(doc.ok());
    doc.AddPath("memory.txt", Bytes("memory bytes"));
    const std::vector<ItemContent> contents = Contents(doc.doc);
    const DocumentSnapshot before = Snapshot(doc.doc);
    RecordingSaveWindow window;
    const auto save = [&](const std::string& path, ArchiveNode** copy) -> void* {
      if (pak) return PakSave(window, &doc.doc, path.c_str(), copy);
      return Pk3Save(window, &doc.doc, path.c_str(), 6, copy);
    };
    ArchiveNode* copy = nullptr;
    void* abandoned = save(dir.Path(pak ? "a.pak" : "a.pk3"), &copy);
    ASSERT_NE(abandoned, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Snapshot(doc.doc), before);
    AbandonSave(copy);
    if (pak) PakClose(static_cast<PakArchive*>(abandoned));
    else Pk3Close(static_cast<Pk3Archive*>(abandoned));
    EXPECT_EQ(Snapshot(doc.doc), before);
    EXPECT_EQ(Contents(doc.doc), contents);

    copy = nullptr;
    void* committed = save(dir.Path(pak ? "c.pak" : "c.pk3"), &copy);
    ASSERT_NE(committed, nullptr);
    CommitSave(&doc.doc, copy);
    if (pak) {
      ExpectAllFilesIn(doc.root(), static_cast<PakArchive*>(committed));
      doc.Adopt(static_cast<PakArchive*>(committed));
    } else {
      ExpectEachSavedFile(doc.root(), [](const ArchiveNode* c) { EXPECT_TRUE(IsKind(c->entry, EntryKind::Pk3File)); });
      doc.Adopt(static_cast<Pk3Archive*>(committed));
    }
    EXPECT_EQ(Contents(doc.doc), contents);
  }
}

struct FailureCase {
  std::string name;
  std::string message;
};

// A save that must fail with message and leave the document exactly as it was.
void ExpectFailedSave(TestDocument& doc, const std::string& path, const std::string& message,
                      uint64_t limit = kArchiveSizeLimit, uint32_t cancelAfter = 0) {
  ExpectFailedSaveOf(
      doc, path, message, [&](SaveWindow& window) { return PakSaveLimited(window, &doc.doc, path.c_str(), limit); },
      cancelAfter);
}

TEST(PakWriterTest, FailuresLeaveTheDocumentAsItWas) {
  ScratchDir dir;
  // A source whose middle entry lies past the end of its file.
  std::vector<uint8_t> damaged =
      sample::Pak({{"maps/a.bsp", "aaaa"}, {"maps/b.bsp", "bbbb"}, {"maps/c.bsp", "cccc"}});
  const size_t second = damaged.size() - 2 * 64;
  damaged[second + 56] = 0x00;
  damaged[second + 57] = 0x10;  // offset 0x1000
  const std::string damagedPath = dir.Path("damaged.pak");
  ASSERT_TRUE(WriteFileBytes(damagedPath, damaged));
  {
    SCOPED_TRACE("source entry cannot be read");
    TestDocument doc(damagedPath);
    ASSERT_TRUE(doc.ok());
    // Walk order is c, b, a: the failure comes after one entry was written.
    const DocumentSnapshot before = Snapshot(doc.doc);
    RecordingSaveWindow window;
    EXPECT_EQ(PakSave(window, &doc.doc, dir.Path("out1.pak").c_str()), nullptr);
    EXPECT_EQ(window.Texts(), std::vector<std::string>{"Error loading maps/b.bsp: its data is damaged or missing."});
    EXPECT_EQ(window.steps, 1u);
    EXPECT_EQ(window.closes, 1);
    EXPECT_TRUE(Snapshot(doc.doc) == before);
  }

  {
    SCOPED_TRACE("the stored path in the message shows its control bytes escaped");
    std::vector<uint8_t> hostile = sample::Pak({{"maps/\x1b[0mb\nc.bsp", "bbbb"}});
    hostile[hostile.size() - 64 + 57] = 0x10;  // offset 0x1000
    const std::string hostilePath = dir.Path("hostile.pak");
    ASSERT_TRUE(WriteFileBytes(hostilePath, hostile));
    TestDocument doc(hostilePath);
    ASSERT_TRUE(doc.ok());
    ExpectFailedSave(doc, dir.Path("out3.pak"), "Error loading maps/\\x1b[0mb\\nc.bsp: its data is damaged or missing.");
  }

  {
    SCOPED_TRACE("PK3 source entry cannot be inflated, with sound ones before and after it");
    std::vector<ZipPlan> plans;
    for (const char* name : {"maps/a.bsp", "maps/b.bsp", "maps/c.bsp", "maps/d.bsp"})
      plans.push_back(DeflatedPlan(name, TextBytes(name[5], 300000), 6));
    for (size_t i = 0; i < plans[2].stored.size(); i += 5) plans[2].stored[i] ^= 0xA5;
    const std::string pk3Path = dir.Path("damaged.pk3");
    ASSERT_TRUE(WriteFileBytes(pk3Path, BuildZip(plans)));
    TestDocument doc(pk3Path);
    ASSERT_TRUE(doc.ok());
    ExpectFailedSave(doc, dir.Path("out2.pak"), "Error loading maps/c.bsp: its data is damaged or missing.");
  }

  TestDocument doc(FixturePath("writer/sample.pak"));
  ASSERT_TRUE(doc.ok());
  AddBigAndSmall(doc);
  {
    SCOPED_TRACE("output cannot be created");
    const std::string path = dir.Path("no/such/dir/out.pak");
    ExpectFailedSave(doc, path, "Error opening " + path);
  }
  {
    SCOPED_TRACE("cancelled after the first file and after the last");
    ExpectFailedSave(doc, dir.Path("cancelled.pak"), "", kArchiveSizeLimit, 1);
    ExpectFailedSave(doc, dir.Path("cancelled.pak"), "", kArchiveSizeLimit, CountFiles(doc.doc.root->firstChild));
  }
  {
    // Find the exact size of the archive, then allow one byte less.
    RecordingSaveWindow window;
    TestDocument probe(FixturePath("writer/sample.pak"));
    AddBigAndSmall(probe);
    const std::string path = dir.Path("probe.pak");
    PakArchive* saved = PakSaveLimited(window, &probe.doc, path.c_str(), 0);
    EXPECT_EQ(saved, nullptr);
    EXPECT_EQ(window.Texts(), std::vector<std::string>{"Error writing memory/small.txt"});
    RecordingSaveWindow window2;
    TestDocument probe2(FixturePath("writer/sample.pak"));
    AddBigAndSmall(probe2);
    saved = PakSave(window2, &probe2.doc, path.c_str());
    ASSERT_NE(saved, nullptr);
    probe2.Adopt(saved);
    const uint64_t size = FileBytes(path).size();
    SCOPED_TRACE("archive would pass the size its fields can describe");
    ExpectFailedSave(doc, dir.Path("limit1.pak"), "Error writing PAK directory listing", size - 1);
    ExpectFailedSave(doc, dir.Path("limit2.pak"), "Error writing memory/big.bin", 12 + 5 + (3 << 20) - 1);
    // Exactly the size is allowed.
    RecordingSaveWindow window3;
    TestDocument exact(FixturePath("writer/sample.pak"));
    AddBigAndSmall(exact);
    saved = PakSaveLimited(window3, &exact.doc, dir.Path("exact.pak").c_str(), size);
    ASSERT_NE(saved, nullptr);
    exact.Adopt(saved);
  }
#ifndef _WIN32
  {
    SCOPED_TRACE("disk full");
    ExpectFailedSave(doc, "/dev/full", "Error writing memory/big.bin");
    TestDocument smallDoc;
    smallDoc.AddPath("a.txt", Bytes("a few bytes"));
    // Small writes are buffered: the failure shows when the directory is flushed.
    ExpectFailedSave(smallDoc, "/dev/full", "Error writing PAK directory listing");
  }
#endif
}

TEST(PakWriterTest, FormatLimitsAreNeverPassed) {
  ScratchDir dir;
  const std::string name55(55, 'n');
  struct Case {
    const char* what;
    std::vector<std::string> paths;
    const char* message;  // null: the save succeeds
  };
  std::vector<std::string> full;
  for (int i = 0; i < 4096; ++i) full.push_back("f" + std::to_string(i));
  std::vector<std::string> tooMany = full;
  tooMany.push_back("one/more");
  std::vector<std::string> manyEmpty;
  for (int i = 0; i < 4097; ++i) manyEmpty.push_back("d" + std::to_string(i) + "/");
  const std::vector<Case> cases = {
      {"4096 files", full, nullptr},
      {"4097 files", tooMany, kMaxFiles},
      {"4097 empty directories", manyEmpty, kMaxFiles},
      {"55-character path", {name55}, nullptr},
      {"56-character path", {name55 + "x"}, kMaxPath},
      {"55-character path in a directory", {"dir/" + name55.substr(4)}, nullptr},
      {"56-character empty directory", {name55 + "/"}, kMaxPath},
      {"directory whose path alone is too long", {name55 + "/x"}, kMaxPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestDocument doc;
    for (const std::string& p : c.paths) doc.AddPath(p, Bytes("x"));
    const std::string path = dir.Path("limits.pak");
    if (c.message == nullptr) {
      RecordingSaveWindow window;
      PakArchive* saved = PakSave(window, &doc.doc, path.c_str());
      ASSERT_NE(saved, nullptr);
      EXPECT_EQ(saved->entryCount, c.paths.size());
      doc.Adopt(saved);
    } else {
      ExpectFailedSave(doc, path, c.message);
    }
  }
}

TEST(PakWriterTest, EntriesOutsideTheSourceAndUnknownKinds) {
  ScratchDir dir;
  TestDocument other(FixturePath("writer/sample.pak"));
  TestDocument doc(FixturePath("writer/levels.pk3"));
  ASSERT_TRUE(other.ok() && doc.ok());
  // A PAK entry in a PK3 document points into no source of this document.
  PosingFile foreign(doc, "maps/foreign.bsp");
  foreign.PoseAs(other.Find("progs.dat")->entry->pakEntry);
  ExpectFailedSave(doc, dir.Path("a.pak"), "No such file maps/foreign.bsp");

  foreign.entry->kind = 0x40;
  ExpectFailedSave(doc, dir.Path("b.pak"), "Unknown type");
}

TEST(PakWriterTest, SavesWithoutAProgressDialog) {
  ScratchDir dir;
  TestDocument doc(FixturePath("writer/sample.pak"));
  ASSERT_TRUE(doc.ok());
  const std::vector<ItemContent> before = SortedContents(doc.doc);
  RecordingSaveWindow window;
  window.refuseProgress = true;
  PakArchive* saved = PakSave(window, &doc.doc, dir.Path("quiet.pak").c_str());
  ASSERT_NE(saved, nullptr);
  doc.Adopt(saved);
  EXPECT_EQ(SortedContents(doc.doc), before);
  EXPECT_TRUE(window.items.empty());
}

}  // namespace
