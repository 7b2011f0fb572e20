// Saving as WAD2: the layout written, lumps whose names lose their type's extension and
// whose types come from it or from the WAD2 they were read from, the format's limits, and
// failures that leave the document as it was. Written files are read back by ParseWad,
// which shares no code with the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "archive/bytes.h"
#include "archive/entry_data.h"
#include "archive/save.h"
#include "services/core/archive_text.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"
#include "transfer/core/transfer_measure.h"

namespace {

const ArchiveFormat& Wad2() { return *FormatForPath("x.wad"); }

// One lump of a written WAD2: its stored name, type and bytes.
struct Lump {
  std::string name;
  uint8_t type;
  std::vector<uint8_t> bytes;
  bool operator==(const Lump& o) const { return name == o.name && type == o.type && bytes == o.bytes; }
  bool operator<(const Lump& o) const { return name != o.name ? name < o.name : type < o.type; }
};

std::ostream& operator<<(std::ostream& out, const Lump& l) {
  return out << "{\"" << l.name << "\", 0x" << std::hex << int(l.type) << std::dec << ", " << l.bytes.size()
             << " bytes}";
}

// The lumps of the WAD2 file at path, sorted, after checking what every file the writer
// makes has: the header's count and directory offset, the lumps' bytes one after another
// from the end of the header in directory order, the directory at the end of the file,
// stored lumps (size on disk = size, no compression) and NUL-padded records.
std::vector<Lump> WrittenLumps(const std::string& path) {
  const std::vector<uint8_t> file = FileBytes(path);
  const WadListing listing = ParseWad(file);
  EXPECT_TRUE(listing.ok) << path;
  EXPECT_EQ(listing.items.size(), listing.count);
  uint64_t position = 12;
  std::vector<Lump> lumps;
  for (const WadListingItem& item : listing.items) {
    EXPECT_EQ(item.filePos, position) << item.name;
    EXPECT_EQ(item.diskSize, item.size) << item.name;
    EXPECT_EQ(item.compression, 0) << item.name;
    EXPECT_TRUE(item.padded) << item.name;
    position += item.size;
    lumps.push_back({item.name, item.type, item.data});
  }
  EXPECT_EQ(listing.dirOffset, position);
  EXPECT_EQ(file.size(), position + 32ull * listing.count);
  std::sort(lumps.begin(), lumps.end());
  return lumps;
}

std::string Message(const RecordingSaveHost& host) { return host.messages.empty() ? "" : host.messages[0]; }

TEST(WadWriterTest, EmptyRootIsTheHeaderAlone) {
  ScratchDir dir;
  TestDocument doc;
  RecordingSaveHost window;
  const std::string path = dir.Path("empty.wad");
  ASSERT_TRUE(SaveAs(doc, Wad2(), path, window));
  EXPECT_TRUE(window.messages.empty());
  const std::vector<uint8_t> expected = {'W', 'A', 'D', '2', 0, 0, 0, 0, 12, 0, 0, 0};
  EXPECT_EQ(FileBytes(path), expected);
  EXPECT_EQ(&doc.doc.source->format(), &Wad2());
  EXPECT_EQ(doc.doc.source->Count(), 0u);
  // One step per lump: none.
  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{0});
  EXPECT_EQ(window.closes, 1);
}

TEST(WadWriterTest, LayoutFollowsTheTreeWalkAndTypesComeFromTheNames) {
  ScratchDir dir;
  TestDocument doc;
  doc.tree().SetKeepsCase(true);
  // Children are linked at the head: the last added is written first.
  doc.AddFile(doc.root(), "wall_01.mip", Bytes("MIPTEX"));
  doc.AddFile(doc.root(), "conback.lmp", Bytes("PIC"));
  doc.AddFile(doc.root(), "PALETTE.LMP", Bytes("RGB"));
  doc.AddFile(doc.root(), "colormap", Bytes("CM"));
  doc.AddFile(doc.root(), "empty.mip", {});
  doc.AddFile(doc.root(), "readme.txt", Bytes("text"));

  RecordingSaveHost window;
  const std::string path = dir.Path("layout.wad");
  ASSERT_TRUE(SaveAs(doc, Wad2(), path, window)) << Message(window);
  const std::vector<uint8_t> file = FileBytes(path);
  const WadListing listing = ParseWad(file);
  ASSERT_TRUE(listing.ok);
  struct Record {
    const char* name;
    uint32_t filePos, size;
    uint8_t type;
  };
  const Record expected[] = {{"readme.txt", 12, 4, 0x00}, {"empty", 16, 0, 0x44},  {"colormap", 16, 2, 0x00},
                             {"PALETTE", 18, 3, 0x40},    {"conback", 21, 3, 0x42}, {"wall_01", 24, 6, 0x44}};
  ASSERT_EQ(listing.count, std::size(expected));
  ASSERT_EQ(listing.items.size(), std::size(expected));
  for (size_t i = 0; i < listing.items.size(); ++i) {
    const WadListingItem& item = listing.items[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(item.name, expected[i].name);
    EXPECT_EQ(item.filePos, expected[i].filePos);
    EXPECT_EQ(item.diskSize, expected[i].size);
    EXPECT_EQ(item.size, expected[i].size);
    EXPECT_EQ(item.type, expected[i].type);
    EXPECT_EQ(item.compression, 0);
    EXPECT_TRUE(item.padded);
  }
  EXPECT_EQ(listing.dirOffset, 30u);
  EXPECT_EQ(file.size(), 30u + 6 * 32);
  EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 30), "textCMRGBPICMIPTEX");
  EXPECT_EQ(WrittenLumps(path).size(), 6u);

  // Progress: one step per lump, each shown with its name and size.
  EXPECT_EQ(window.progressOpened, std::vector<uint32_t>{6});
  const std::vector<std::pair<std::string, uint32_t>> items = {{"readme.txt", 4}, {"empty.mip", 0},
                                                               {"colormap", 2},   {"PALETTE.LMP", 3},
                                                               {"conback.lmp", 3}, {"wall_01.mip", 6}};
  EXPECT_EQ(window.items, items);

  // The document's files read from the new file, each under the name it had.
  EXPECT_EQ(&doc.doc.source->format(), &Wad2());
  ExpectEachSavedFile(doc.doc);
  for (const char* name : {"readme.txt", "empty.mip", "colormap", "conback.lmp", "wall_01.mip"}) {
    EXPECT_EQ(StoredNameOf(&doc.doc, doc.Find(name)), name);
  }
  const std::vector<ItemContent> contents = {{"readme.txt", Bytes("text")}, {"empty.mip", {}},
                                             {"colormap", Bytes("CM")},     {"PALETTE.LMP", Bytes("RGB")},
                                             {"conback.lmp", Bytes("PIC")}, {"wall_01.mip", Bytes("MIPTEX")}};
  EXPECT_EQ(Contents(doc.doc), contents);
}

// Lumps through a chain of saves (as WAD2, or as PK3 or PAK and then WAD2): every document
// along the way shows the same names and bytes, and the last file holds the lumps expected.
TEST(WadWriterTest, RoundTripsKeepNamesTypesAndBytes) {
  const std::vector<uint8_t> palette = RandomBytes(1, 768), picture = RandomBytes(2, 72),
                             texture = RandomBytes(3, 1400), colormap = RandomBytes(4, 16640);
  const auto text = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };
  const std::vector<sample::WadLump> gfx = {
      {"palette", 0x40, text(palette)}, {"CONBACK", 0x42, text(picture)},  {"Wall_01", 0x44, text(texture)},
      {"colormap", 0x41, text(colormap)}, {"raw", 0x00, "raw"},            {"top", 0xFF, "top"},
      {"fifteen_letters", 0x44, "15"},   {"blank", 0x42, ""},              {"x.mip", 0x44, "twice"},
      {"*water1", 0x44, "liquid"},
  };
  // As a save in WAD2 keeps them: lower-cased, as the tree shows them.
  const std::vector<Lump> kept = {
      {"*water1", 0x44, Bytes("liquid")}, {"blank", 0x42, {}},       {"colormap", 0x41, colormap},
      {"conback", 0x42, picture},        {"fifteen_letters", 0x44, Bytes("15")}, {"palette", 0x40, palette},
      {"raw", 0x00, Bytes("raw")},       {"top", 0xFF, Bytes("top")},   {"wall_01", 0x44, texture},
      {"x.mip", 0x44, Bytes("twice")},
  };
  // Through a format without types, each comes from the extension the name kept.
  std::vector<Lump> retyped = kept;
  for (Lump& l : retyped)
    if (l.type == 0x41 || l.type == 0xFF) l.type = 0x00;
  struct Case {
    const char* what;
    std::vector<sample::WadLump> lumps;
    std::vector<const char*> through;  // the extensions of the formats saved in turn
    std::vector<Lump> expected;
    // Lumps renamed in the tree before the first save, from and to.
    std::vector<std::pair<const char*, const char*>> renames = {};
  };
  const Case cases[] = {
      {"WAD2 to WAD2", gfx, {".wad"}, kept},
      {"WAD2 to WAD2 twice", gfx, {".wad", ".wad"}, kept},
      {"WAD2 to PK3 to WAD2", gfx, {".pk3", ".wad"}, retyped},
      {"WAD2 to PAK to WAD2", gfx, {".pak", ".wad"}, retyped},
      {"a picture named palette keeps its type", {{"palette", 0x42, "pic"}}, {".wad"},
       {{"palette", 0x42, Bytes("pic")}}},
      {"...and takes the palette's through a PK3", {{"palette", 0x42, "pic"}}, {".pk3", ".wad"},
       {{"palette", 0x40, Bytes("pic")}}},
      {"types without an extension, names ending in one", {{"notes.mip", 0x41, "n"}, {"old.LMP", 0x00, "o"}},
       {".wad", ".wad"}, {{"notes.mip", 0x41, Bytes("n")}, {"old.lmp", 0x00, Bytes("o")}}},
      {"a mip texture without a name", {{"", 0x44, "m"}, {"a", 0x42, "a"}}, {".wad", ".wad"},
       {{"", 0x44, Bytes("m")}, {"a", 0x42, Bytes("a")}}},
      {"a lump renamed to another type's extension takes that type",
       {{"wall", 0x44, "w"}, {"pic", 0x42, "p"}, {"palette", 0x40, "c"}, {"bare", 0x44, "b"}},
       {".wad", ".wad"},
       {{"bare", 0x00, Bytes("b")}, {"pal2", 0x40, Bytes("c")}, {"pic", 0x44, Bytes("p")}, {"wall", 0x42, Bytes("w")}},
       {{"wall.mip", "wall.lmp"}, {"pic.lmp", "pic.mip"}, {"palette.lmp", "pal2.lmp"}, {"bare.mip", "bare"}}},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string source = dir.Path("source.wad");
    ASSERT_TRUE(WriteFileBytes(source, sample::Wad(c.lumps)));
    TestDocument doc(source);
    ASSERT_TRUE(doc.ok());
    for (const auto& [from, to] : c.renames) {
      Node* lump = FindChildNamed(doc.doc.root(), from);
      ASSERT_NE(lump, nullptr) << from;
      doc.doc.tree->Rename(lump, to);
    }
    const std::vector<ItemContent> before = SortedContents(doc.doc);
    ASSERT_EQ(before.size(), c.lumps.size());
    std::string path;
    for (size_t step = 0; step < c.through.size(); ++step) {
      const ArchiveFormat& format = *FormatForPath(c.through[step]);
      SCOPED_TRACE(format.name);
      path = dir.Path("step" + std::to_string(step) + c.through[step]);
      RecordingSaveHost window;
      ASSERT_TRUE(SaveAs(doc, format, path, window)) << Message(window);
      EXPECT_EQ(&doc.doc.source->format(), &format);
      ExpectEachSavedFile(doc.doc);
      EXPECT_EQ(SortedContents(doc.doc), before);
      TestDocument reopened(path);
      ASSERT_TRUE(reopened.ok());
      EXPECT_EQ(SortedContents(reopened.doc), before);
#ifndef _WIN32
      if (&format == &DefaultFormat()) {
        EXPECT_EQ(ZipToolFailures(path), "");
      }
#endif
    }
    EXPECT_EQ(WrittenLumps(path), c.expected);
  }
}

// What CheckFormatLimits, a save through the writer alone and the whole save protocol say
// of a tree a WAD2 cannot hold; each failure leaves the document as it was and no file.
TEST(WadWriterTest, FormatLimitsAreNeverPassed) {
  ScratchDir dir;
  const std::string fifteen = "fifteen_letters";
  struct Case {
    const char* what;
    const char* fixture;             // the document's file; null: a new one of paths
    std::vector<std::string> paths;  // added, in turn (the last one comes first)
    Problem problem;                 // None: the save succeeds
    std::string named;               // the first path that breaks the limits
    uint64_t count;                  // its stored name's length
  };
  const std::vector<Case> cases = {
      {"a file in a folder", nullptr, {"maps/e1m1.bsp", "flat.mip"}, Problem::NotFlat, "maps/", 0},
      {"an empty folder", nullptr, {"empty/"}, Problem::NotFlat, "empty/", 0},
      // The first folder in the source's stored order.
      {"a PK3 with folders", "writer/levels.pk3", {}, Problem::NotFlat, "text/", 0},
      {"a PAK with folders", "writer/sample.pak", {}, Problem::NotFlat, "maps/", 0},
      {"a name of 16 characters and a type's extension", nullptr, {"a_name_of_16_chr.mip"}, Problem::NameTooLong,
       "a_name_of_16_chr.mip", 16},
      {"a name of 16 characters", nullptr, {fifteen + "x"}, Problem::NameTooLong, fifteen + "x", 16},
      {"15 characters and an extension of no type", nullptr, {fifteen + ".txt"}, Problem::NameTooLong,
       fifteen + ".txt", 19},
      {"the first of two names too long", nullptr, {"a_name_of_16_chr.mip", "ok.mip", "b_name_of_16_chr.lmp"},
       Problem::NameTooLong, "b_name_of_16_chr.lmp", 16},
      {"15 characters and .mip", nullptr, {fifteen + ".mip"}, Problem::None, "", 0},
      {"15 characters and .LMP", nullptr, {"FIFTEEN_LETTERS.LMP"}, Problem::None, "", 0},
      {"15 characters", nullptr, {fifteen}, Problem::None, "", 0},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    std::unique_ptr<TestDocument> doc(c.fixture ? new TestDocument(FixturePath(c.fixture)) : new TestDocument());
    ASSERT_TRUE(doc->ok());
    for (const std::string& p : c.paths) doc->AddPath(p, Bytes("x"));
    // A file of its own for each case: a saved document keeps its file open.
    const std::string path = dir.Path("limits" + std::to_string(i) + ".wad");
    const Failure checked = CheckFormatLimits(doc->root(), Wad2(), doc->doc.source.get());
    EXPECT_EQ(checked.problem, c.problem);
    if (c.problem == Problem::None) {
      RecordingSaveHost window;
      ASSERT_TRUE(SaveAs(*doc, Wad2(), path, window)) << Message(window);
      const std::vector<Lump> lumps = WrittenLumps(path);
      ASSERT_EQ(lumps.size(), 1u);
      EXPECT_EQ(lumps[0].name.size(), 15u);
      continue;
    }
    EXPECT_EQ(checked.name, c.named);
    EXPECT_EQ(checked.count, c.count);
    EXPECT_EQ(checked.limit, c.problem == Problem::NameTooLong ? 15u : 0u);
    EXPECT_STREQ(checked.format, "WAD2");
    const std::string message = SaveFailureMessage(checked, path);
    if (c.problem == Problem::NameTooLong) {
      EXPECT_EQ(message, "\"" + c.named + "\": the name is " + std::to_string(c.count) +
                             " characters long, and a WAD2 file stores at most 15.\nOperation aborted.");
    }
    // The writer refuses the same tree with the same words, should the limits go unchecked.
    ExpectFailedSaveOf(*doc, Wad2(), path, message);
    // The save protocol checks the limits before anything is written.
    const DocumentSnapshot before = Snapshot(doc->doc);
    RecordingSaveHost host;
    const Failure saved = SaveDocument(&doc->doc, Wad2(), path, SaveOptions(), &host);
    EXPECT_EQ(saved.problem, c.problem);
    EXPECT_EQ(saved.name, c.named);
    EXPECT_TRUE(host.progressOpened.empty());
    EXPECT_TRUE(Snapshot(doc->doc) == before);
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::exists(path, ec));
  }
}

TEST(WadWriterTest, LumpCountLimit) {
  ScratchDir dir;
  TestDocument doc;
  for (uint32_t i = 0; i < 65536; ++i) doc.AddFile(doc.root(), "l" + std::to_string(i), {});
  EXPECT_FALSE(CheckFormatLimits(doc.root(), Wad2()));
  RecordingSaveHost window;
  const std::string full = dir.Path("full.wad");
  ASSERT_TRUE(SaveAs(doc, Wad2(), full, window)) << Message(window);
  const WadListing listing = ParseWad(FileBytes(full));
  ASSERT_TRUE(listing.ok);
  EXPECT_EQ(listing.count, 65536u);
  EXPECT_EQ(doc.doc.source->Count(), 65536u);

  doc.AddFile(doc.root(), "one-more", {});
  const Failure checked = CheckFormatLimits(doc.root(), Wad2());
  EXPECT_EQ(checked.problem, Problem::TooManyFiles);
  EXPECT_EQ(checked.count, 65537u);
  EXPECT_EQ(checked.limit, 65536u);
  const std::string over = dir.Path("over.wad");
  RecordingSaveHost host;
  EXPECT_EQ(SaveDocument(&doc.doc, Wad2(), over, SaveOptions(), &host).problem, Problem::TooManyFiles);
  std::error_code ec;
  EXPECT_FALSE(std::filesystem::exists(over, ec));
  // The writer alone refuses as well, before a file its reader would refuse is written.
  ExpectFailedSaveOf(doc, Wad2(), over,
                     "Maximum number of files exceeded: \"one-more\" would be entry 65,537, a WAD2 allows 65,536.\n"
                     "Operation aborted.");
}

TEST(WadWriterTest, FailuresLeaveTheDocumentAsItWas) {
  ScratchDir dir;
  const ArchiveFormat* targets[] = {&Wad2(), &PakFormat(), &DefaultFormat()};
  const auto target = [&](const ArchiveFormat* format, const std::string& name) {
    return dir.Path(name + format->extensions.front());
  };
  {
    // basic.wad: its last lump (the first in walk order) is compressed.
    SCOPED_TRACE("a compressed lump");
    TestDocument doc(FixturePath("basic.wad"));
    ASSERT_TRUE(doc.ok());
    for (const ArchiveFormat* format : targets) {
      SCOPED_TRACE(format->name);
      ExpectFailedSaveOf(doc, *format, target(format, "out"),
                         "Error loading packed.mip: it is compressed in a way Vellumix cannot read.");
    }
  }
  {
    SCOPED_TRACE("a lump past the end of the file, with sound ones before and after it");
    std::vector<uint8_t> bytes =
        sample::Wad({{"a", 0x44, "aaaa"}, {"b", 0x42, "bbbb"}, {"c", 0x41, "cccc"}});
    PutLE32(bytes.data() + sample::WadRecordOffset(bytes, 1), 0x1000);
    const std::string path = dir.Path("damaged.wad");
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    for (const ArchiveFormat* format : targets) {
      SCOPED_TRACE(format->name);
      ExpectFailedSaveOf(doc, *format, target(format, "out"), "Error loading b.lmp: its data is damaged or missing.");
    }
  }

  const auto document = [](TestDocument& doc) {
    doc.AddFile(doc.root(), "big.mip", RandomBytes(9, 3 << 20));
    doc.AddFile(doc.root(), "small.lmp", Bytes("small"));
  };
  TestDocument doc(FixturePath("basic.wad"));
  ASSERT_TRUE(doc.ok());
  doc.tree().Remove(doc.Find("packed.mip"));
  document(doc);
  const auto failed = [&](const std::string& path, const std::string& message, uint64_t limit = kArchiveSizeLimit,
                          uint32_t cancelAfter = 0) {
    ExpectFailedSaveOf(doc, Wad2(), path, message, Options(6, 0, limit), cancelAfter);
  };
  {
    SCOPED_TRACE("output cannot be created");
    const std::string path = dir.Path("no/such/dir/out.wad");
    failed(path, "Error opening " + path);
  }
  {
    SCOPED_TRACE("cancelled after the first lump and after the last");
    failed(dir.Path("cancelled.wad"), "", kArchiveSizeLimit, 1);
    failed(dir.Path("cancelled.wad"), "", kArchiveSizeLimit, CountFiles(doc.root()->firstChild()));
  }
  {
    SCOPED_TRACE("archive would pass the size its fields can describe");
    TestDocument probe(FixturePath("basic.wad"));
    probe.tree().Remove(probe.Find("packed.mip"));
    document(probe);
    RecordingSaveHost window;
    const std::string path = dir.Path("probe.wad");
    ASSERT_TRUE(SaveAs(probe, Wad2(), path, window)) << Message(window);
    const uint64_t size = FileBytes(path).size();
    failed(dir.Path("limit1.wad"), "Error writing WAD2 directory listing", size - 1);
    // small.lmp is written first, then big.mip.
    failed(dir.Path("limit2.wad"), "Error writing big.mip", 12 + 5 + (3 << 20) - 1);
    TestDocument exact(FixturePath("basic.wad"));
    exact.tree().Remove(exact.Find("packed.mip"));
    document(exact);
    ASSERT_TRUE(SaveAs(exact, Wad2(), dir.Path("exact.wad"), window, Options(6, 0, size))) << Message(window);
  }
#ifndef _WIN32
  {
    SCOPED_TRACE("disk full");
    failed("/dev/full", "Error writing big.mip");
    TestDocument smallDoc;
    smallDoc.AddFile(smallDoc.root(), "a.lmp", Bytes("a few bytes"));
    // Small writes are buffered: the failure shows when the directory is flushed.
    ExpectFailedSaveOf(smallDoc, Wad2(), "/dev/full", "Error writing WAD2 directory listing");
  }
#endif
  {
    SCOPED_TRACE("an entry outside the source");
    PoseAsForeignEntry(doc, doc.AddFile(doc.root(), "foreign.mip", Bytes("x")));
    failed(dir.Path("foreign.wad"), "No such file foreign.mip");
    TestDocument fresh;
    PoseAsForeignEntry(fresh, fresh.AddFile(fresh.root(), "foreign.mip", Bytes("x")));
    ExpectFailedSaveOf(fresh, Wad2(), dir.Path("fresh.wad"), "No such file foreign.mip");
  }
}

}  // namespace
