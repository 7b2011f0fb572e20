#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/save.h"
#include "archive/writer_shared.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"
#include "transfer/core/transfer_measure.h"

namespace {

// Every file node of the document reads from an entry of its source, a PAK.
void ExpectAllFilesInPak(const TestDocument& doc) {
  ASSERT_NE(doc.doc.source, nullptr);
  EXPECT_EQ(&doc.doc.source->format(), &PakFormat());
  ExpectEachSavedFile(doc.doc);
}

TEST(PakWriterTest, EmptyRootIsTheHeaderAlone) {
  ScratchDir dir;
  TestDocument doc;
  RecordingSaveHost window;
  const std::string path = dir.Path("empty.pak");
  ASSERT_TRUE(SaveAs(doc, PakFormat(), path, window));
  EXPECT_TRUE(window.messages.empty());
  const std::vector<uint8_t> expected = {'P', 'A', 'C', 'K', 12, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(FileBytes(path), expected);
  EXPECT_EQ(doc.doc.source->Count(), 0u);
  EXPECT_EQ(ParsePak(expected).dirOffset, 12u);
  EXPECT_NE(doc.doc.source->file(), nullptr);
  EXPECT_EQ(doc.doc.source->path(), path);
  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{1});
  EXPECT_EQ(window.closes, 1);
  EXPECT_EQ(window.repaints, 1);
}

TEST(PakWriterTest, LayoutFollowsTheTreeWalk) {
  ScratchDir dir;
  TestDocument doc;
  // Children are linked at the head: the last added is written first.
  Node* maps = doc.AddDirectory(doc.root(), "maps");
  doc.AddFile(maps, "b.bsp", Bytes("BBBB"));
  doc.AddFile(maps, "a.bsp", Bytes("AA"));
  doc.AddFile(doc.root(), "readme.txt", Bytes("hello"));
  doc.AddFile(doc.root(), "zero.dat", {});
  Node* textures = doc.AddDirectory(doc.root(), "textures");
  doc.AddDirectory(textures, "empty");

  RecordingSaveHost window;
  const std::string path = dir.Path("layout.pak");
  ASSERT_TRUE(SaveAs(doc, PakFormat(), path, window));
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
  ExpectAllFilesInPak(doc);
  EXPECT_TRUE(doc.Find("textures/empty")->IsDirectory());
  EXPECT_EQ(doc.doc.modified, 0);
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
  RecordingSaveHost window;
  ASSERT_TRUE(SaveAs(doc, PakFormat(), path, window)) << (window.messages.empty() ? "" : window.messages[0]);
  ExpectAllFilesInPak(doc);
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
  EXPECT_EQ(DocumentFormat(&reopened.doc), &PakFormat());
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
    // Too large to be held: inflated and checked in pieces as it is written.
    SCOPED_TRACE("PK3 with a streamed entry to PAK");
    const std::string path = dir.Path("huge.pk3");
    ASSERT_TRUE(WriteFileBytes(path, BuildZip({DeflatedPlan("maps/huge.bsp", TextBytes(5, kStreamedFileSize + 99), 6),
                                               DeflatedPlan("maps/small.bsp", TextBytes(6, 999), 6)})));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    ExpectPakRoundTrip(doc, dir.Path("from_huge.pak"));
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

TEST(PakWriterTest, EveryFileReadsFromTheSavedPakAndKeepsItsNode) {
  ScratchDir dir;
  TestDocument doc(FixturePath("writer/levels.pk3"));
  ASSERT_TRUE(doc.ok());
  Node* memory = doc.AddPath("memory.txt", Bytes("memory bytes"));
  Node* pk3File = doc.Find("text/level6.txt");
  ASSERT_NE(pk3File, nullptr);
  const NodeId memoryId = memory->id(), pk3Id = pk3File->id();

  RecordingSaveHost window;
  ASSERT_TRUE(SaveAs(doc, PakFormat(), dir.Path("k.pak"), window));
  ExpectAllFilesInPak(doc);
  // The nodes stay what they were (a window's references to them still hold); only where
  // their bytes come from changed.
  EXPECT_EQ(doc.tree().Find(memoryId), memory);
  EXPECT_EQ(doc.tree().Find(pk3Id), pk3File);
  EXPECT_EQ(memory->name(), "memory.txt");
  EXPECT_EQ(StoredNameOf(&doc.doc, memory), "memory.txt");
  EXPECT_EQ(StoredNameOf(&doc.doc, pk3File), "text/level6.txt");
}

// A written archive changes the document only when adopted: one that is dropped leaves
// every entry reading from where it read before.
TEST(PakWriterTest, AWrittenArchiveChangesTheDocumentOnlyWhenAdopted) {
  ScratchDir dir;
  for (const ArchiveFormat* format : {&PakFormat(), &DefaultFormat()}) {
    SCOPED_TRACE(format->name);
    TestDocument doc(FixturePath("writer/levels.pk3"));
    ASSERT_TRUE(doc.ok());
    doc.AddPath("memory.txt", Bytes("memory bytes"));
    doc.doc.modified = 1;
    const std::vector<ItemContent> contents = Contents(doc.doc);
    const DocumentSnapshot before = Snapshot(doc.doc);
    RecordingSaveHost window;
    const std::string extension = format == &PakFormat() ? ".pak" : ".pk3";
    std::unique_ptr<ArchiveSource> written;
    WrittenEntries entries;
    ASSERT_FALSE(WriteArchiveFile(doc.doc, *format, dir.Path("a" + extension), SaveOptions(), &window, &written,
                                  &entries));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(Snapshot(doc.doc), before);
    written.reset();
    EXPECT_EQ(Snapshot(doc.doc), before);
    EXPECT_EQ(Contents(doc.doc), contents);

    ASSERT_FALSE(WriteArchiveFile(doc.doc, *format, dir.Path("c" + extension), SaveOptions(), &window, &written,
                                  &entries));
    ASSERT_NE(written, nullptr);
    AdoptWritten(&doc.doc, std::move(written), entries);
    EXPECT_EQ(&doc.doc.source->format(), format);
    EXPECT_EQ(doc.doc.modified, 0);
    ExpectEachSavedFile(doc.doc);
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
  ExpectFailedSaveOf(doc, PakFormat(), path, message, Options(6, 0, limit), cancelAfter);
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
    RecordingSaveHost window;
    EXPECT_FALSE(SaveAs(doc, PakFormat(), dir.Path("out1.pak"), window));
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
    ExpectFailedSave(doc, dir.Path("cancelled.pak"), "", kArchiveSizeLimit, CountFiles(doc.root()->firstChild()));
  }
  {
    // Find the exact size of the archive, then allow one byte less.
    RecordingSaveHost window;
    TestDocument probe(FixturePath("writer/sample.pak"));
    AddBigAndSmall(probe);
    const std::string path = dir.Path("probe.pak");
    EXPECT_FALSE(SaveAs(probe, PakFormat(), path, window, Options(6, 0, 0)));
    // The source's entries come first, in their stored order; the files added after them.
    EXPECT_EQ(window.Texts(), std::vector<std::string>{"Error writing maps/level1.bsp"});
    RecordingSaveHost window2;
    TestDocument probe2(FixturePath("writer/sample.pak"));
    AddBigAndSmall(probe2);
    ASSERT_TRUE(SaveAs(probe2, PakFormat(), path, window2));
    const uint64_t size = FileBytes(path).size();
    SCOPED_TRACE("archive would pass the size its fields can describe");
    ExpectFailedSave(doc, dir.Path("limit1.pak"), "Error writing PAK directory listing", size - 1);
    ExpectFailedSave(doc, dir.Path("limit2.pak"), "Error writing memory/big.bin", 12 + 5 + (3 << 20) - 1);
    // Exactly the size is allowed.
    RecordingSaveHost window3;
    TestDocument exact(FixturePath("writer/sample.pak"));
    AddBigAndSmall(exact);
    ASSERT_TRUE(SaveAs(exact, PakFormat(), dir.Path("exact.pak"), window3, Options(6, 0, size)));
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
      RecordingSaveHost window;
      ASSERT_TRUE(SaveAs(doc, PakFormat(), path, window));
      EXPECT_EQ(doc.doc.source->Count(), c.paths.size());
    } else {
      ExpectFailedSave(doc, path, c.message);
    }
  }
}

TEST(PakWriterTest, EntriesOutsideTheSource) {
  ScratchDir dir;
  TestDocument doc(FixturePath("writer/levels.pk3"));
  ASSERT_TRUE(doc.ok());
  // An entry the document's source does not hold, as one of another archive's would be.
  PoseAsForeignEntry(doc, doc.AddPath("maps/foreign.bsp", Bytes("x")));
  ExpectFailedSave(doc, dir.Path("a.pak"), "No such file maps/foreign.bsp");
  TestDocument fresh;
  PoseAsForeignEntry(fresh, fresh.AddPath("maps/foreign.bsp", Bytes("x")));
  ExpectFailedSave(fresh, dir.Path("b.pak"), "No such file maps/foreign.bsp");
}

TEST(PakWriterTest, SavesWithoutAProgressDialog) {
  ScratchDir dir;
  TestDocument doc(FixturePath("writer/sample.pak"));
  ASSERT_TRUE(doc.ok());
  const std::vector<ItemContent> before = SortedContents(doc.doc);
  RecordingSaveHost window;
  window.refuseProgress = true;
  ASSERT_TRUE(SaveAs(doc, PakFormat(), dir.Path("quiet.pak"), window));
  EXPECT_EQ(SortedContents(doc.doc), before);
  EXPECT_TRUE(window.items.empty());
}

}  // namespace
