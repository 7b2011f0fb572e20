#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/entry_data.h"
#include "tests/core/sample_archives.h"
#include "tests/core/writer_support.h"

namespace {

TEST(Crc32Test, KnownValues) {
  const struct {
    std::string text;
    uint32_t crc;
  } cases[] = {
      {"", 0u},
      {"123456789", 0xCBF43926u},
      {"a", 0xE8B7BE43u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
  };
  for (const auto& c : cases) EXPECT_EQ(Crc32(c.text.data(), c.text.size()), c.crc) << c.text;
}

TEST(Crc32Test, AgreesWithZlibOnLargeBuffers) {
  for (size_t size : {1u, 255u, 4096u, 1000003u}) {
    const std::vector<uint8_t> data = RandomBytes(static_cast<uint32_t>(size), size);
    EXPECT_EQ(Crc32(data.data(), data.size()), crc32(0, data.data(), static_cast<uInt>(size))) << size;
  }
}

TEST(DeflateBufferTest, CompressesWhatShrinksAndRefusesWhatDoesNot) {
  const std::vector<uint8_t> zeros(1000, 0);
  std::vector<uint8_t> out(1000);
  uint32_t size = 1000;
  ASSERT_EQ(DeflateBuffer(out.data(), &size, zeros.data(), 1000, 6), 1);
  EXPECT_LT(size, 100u);
  out.resize(size);
  std::vector<uint8_t> back;
  EXPECT_TRUE(RawInflate(out, 1000, &back));
  EXPECT_EQ(back, zeros);

  const std::vector<uint8_t> random = RandomBytes(16, 16);
  std::vector<uint8_t> small(16);
  uint32_t smallSize = 16;
  EXPECT_EQ(DeflateBuffer(small.data(), &smallSize, random.data(), 16, 9), 0);

  // A save being abandoned stops its compression.
  const std::atomic<bool> stop{true};
  size = 1000;
  EXPECT_EQ(DeflateBuffer(out.data(), &size, zeros.data(), 1000, 6, &stop), 0);
}

TEST(DeflateBufferTest, EveryLevelGivesARawStreamZlibInflates) {
  // Larger than the slices the input goes to zlib in: the stream is still zlib's own.
  const std::vector<uint8_t> text = TextBytes(7, 2500000);
  for (int level = 0; level <= 9; ++level) {
    std::vector<uint8_t> out(text.size() + 1024);
    uint32_t size = static_cast<uint32_t>(out.size());
    ASSERT_EQ(DeflateBuffer(out.data(), &size, text.data(), static_cast<uint32_t>(text.size()), level), 1)
        << level;
    out.resize(size);
    EXPECT_EQ(out, RawDeflate(text, level)) << level;
    std::vector<uint8_t> back;
    EXPECT_TRUE(RawInflate(out, text.size(), &back)) << level;
    EXPECT_EQ(back, text) << level;
  }
}

TEST(InflateBufferTest, DamagedAndMismatchedStreamsFail) {
  const std::vector<uint8_t> text = TextBytes(3, 20000);
  const std::vector<uint8_t> packed = RawDeflate(text, 6);
  std::vector<uint8_t> out(text.size() + 1);
  const uint32_t n = static_cast<uint32_t>(text.size());
  const uint32_t packedSize = static_cast<uint32_t>(packed.size());

  EXPECT_EQ(InflateBuffer(out.data(), n, packed.data(), packedSize), 1);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), text);
  // The stream holds more than asked for, or less.
  EXPECT_EQ(InflateBuffer(out.data(), n - 1, packed.data(), packedSize), 0);
  EXPECT_EQ(InflateBuffer(out.data(), n + 1, packed.data(), packedSize), 0);
  // Cut short, or damaged in its first bytes (an invalid block type).
  EXPECT_EQ(InflateBuffer(out.data(), n, packed.data(), packedSize / 2), 0);
  std::vector<uint8_t> damaged = packed;
  damaged[0] = 0xFF;
  EXPECT_EQ(InflateBuffer(out.data(), n, damaged.data(), packedSize), 0);
  const std::vector<uint8_t> garbage = RandomBytes(11, 300);
  EXPECT_EQ(InflateBuffer(out.data(), n, garbage.data(), 300), 0);
  // An empty stream ends at once.
  const std::vector<uint8_t> none = RawDeflate({}, 6);
  EXPECT_EQ(InflateBuffer(out.data(), 0, none.data(), static_cast<uint32_t>(none.size())), 1);
  EXPECT_EQ(InflateBuffer(out.data(), 1, none.data(), static_cast<uint32_t>(none.size())), 0);
}

// One entry of a ZIP made to order, opened as a PK3.
struct OneEntryZip {
  explicit OneEntryZip(const ZipPlan& plan, const std::vector<uint8_t>& trailer = {}) {
    std::vector<uint8_t> bytes = BuildZip({plan});
    path = dir.Path("one.pk3");
    WriteFileBytes(path, bytes);
    pk3 = Pk3Open(path.c_str());
  }
  ~OneEntryZip() { Pk3Close(pk3); }
  ScratchDir dir;
  std::string path;
  Pk3Archive* pk3 = nullptr;
};

TEST(Pk3ReadEntryTest, EdgeCases) {
  const std::vector<uint8_t> text = TextBytes(21, 5000);
  struct Case {
    const char* name;
    ZipPlan plan;
    EntryLoad result;
  };
  const EntryLoad ok = EntryLoad::Ok, damaged = EntryLoad::ReadFailed,
                  mismatch = EntryLoad::HeaderMismatch;
  std::vector<Case> cases;
  {
    ZipPlan s = StoredPlan("stored.txt", text);
    cases.push_back({"stored", s, ok});
    s.localExtra = 37;  // longer than the central record's (none)
    cases.push_back({"local extra field longer than central", s, ok});
    s = StoredPlan("stored.txt", text);
    s.centralExtra = 12;
    cases.push_back({"central extra field only", s, ok});
    s = DeflatedPlan("deflated.txt", text, 6);
    cases.push_back({"deflated", s, ok});
    s.crc ^= 0x12345678u;
    cases.push_back({"wrong CRC-32", s, EntryLoad::CrcMismatch});
    s = StoredPlan("stored.txt", text);
    s.stored[100] ^= 0x01;
    cases.push_back({"one flipped bit in stored data", s, EntryLoad::CrcMismatch});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.method = 12;
    cases.push_back({"method 12 in both headers", s, EntryLoad::Unsupported});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.flags = 1;
    cases.push_back({"encrypted flag", s, EntryLoad::Encrypted});
    s = StoredPlan("stored.txt", text);
    s.method = 8;
    s.localMethod = 0;
    cases.push_back({"local header says stored, central deflated", s, mismatch});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.localMethod = 12;
    cases.push_back({"local method 12, central deflated", s, mismatch});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.method = 0;
    s.localMethod = 8;
    cases.push_back({"local deflated, central stored", s, mismatch});
    s = StoredPlan("stored.txt", text);
    s.localCompressedSize = s.compressedSize + 10;
    cases.push_back({"local size larger than central", s, mismatch});
    s = StoredPlan("stored.txt", text);
    s.compressedSize = s.uncompressedSize = 4000;
    s.localCompressedSize = 5000;
    cases.push_back({"central sizes cut short", s, mismatch});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.flags = 8;  // sizes follow the data: the local ones may be zero
    s.localCompressedSize = 0;
    cases.push_back({"data descriptor", s, ok});
    s = StoredPlan("stored.txt", text);
    s.compressedSize = 4000;
    cases.push_back({"stored with two sizes", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.uncompressedSize += 1;
    cases.push_back({"inflates to less than recorded", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.uncompressedSize -= 1;
    cases.push_back({"inflates to more than recorded", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    for (size_t i = 0; i < s.stored.size(); i += 7) s.stored[i] ^= 0x5A;
    cases.push_back({"damaged deflate stream", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.badLocalSignature = true;
    cases.push_back({"bad local signature", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.localOffset = 0x7FFFFFF0;
    cases.push_back({"local header offset beyond the file", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.compressedSize = 0x40000000;
    cases.push_back({"compressed size beyond the file", s, damaged});
    s = StoredPlan("stored.txt", text);
    s.uncompressedSize = 0xFFFFFFF0u;
    s.compressedSize = 0xFFFFFFF0u;
    cases.push_back({"stored size beyond the file", s, damaged});
    s = DeflatedPlan("deflated.txt", text, 6);
    s.uncompressedSize = 0xFFFFFFF0u;
    cases.push_back({"uncompressed size no deflate stream can reach", s, damaged});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneEntryZip zip(c.plan);
    ASSERT_NE(zip.pk3, nullptr);
    const uint32_t size = c.plan.uncompressedSize;
    // LoadEntryBytes sizes its buffer from the record only after the file vouched for it.
    TestDocument doc(zip.path);
    ASSERT_TRUE(doc.ok());
    const ArchiveNode* node = doc.root()->firstChild;
    ASSERT_NE(node, nullptr);
    EntryBytes bytes;
    const EntryLoad load = LoadEntryBytes(&doc.doc, node->entry, &bytes);
    EXPECT_EQ(load, c.result);
    std::vector<uint8_t> buffer(size < (1u << 20) ? size : 1);
    EXPECT_EQ(Pk3ReadEntry(zip.pk3, 0, buffer.data(), static_cast<uint32_t>(buffer.size())),
              c.result == ok ? 1 : 0);
    if (c.result == ok) {
      EXPECT_EQ(std::vector<uint8_t>(bytes.data, bytes.data + bytes.size), text);
      EXPECT_TRUE(bytes.owned);
      EXPECT_EQ(buffer, text);
    } else {
      EXPECT_EQ(bytes.data, nullptr);
    }
    ReleaseEntryBytes(&bytes);
  }
}

TEST(Pk3ReadEntryTest, BufferSizeAndIndexAreChecked) {
  const std::vector<uint8_t> text = TextBytes(5, 3000);
  for (const ZipPlan& plan : {StoredPlan("s.txt", text), DeflatedPlan("d.txt", text, 9)}) {
    OneEntryZip zip(plan);
    ASSERT_NE(zip.pk3, nullptr);
    std::vector<uint8_t> buffer(text.size() + 10, 0xAB);
    const uint32_t n = static_cast<uint32_t>(text.size());
    // One byte short fails before anything is read into the buffer.
    EXPECT_EQ(Pk3ReadEntry(zip.pk3, 0, buffer.data(), n - 1), 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(text.size() + 10, 0xAB));
    EXPECT_EQ(Pk3ReadEntry(zip.pk3, 1, buffer.data(), n), 0);
    EXPECT_EQ(Pk3ReadEntry(zip.pk3, -1, buffer.data(), n), 0);
    ASSERT_EQ(Pk3ReadEntry(zip.pk3, 0, buffer.data(), n + 10), 1);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), text);

    // The raw form is the stored bytes exactly, and wants room for the compressed size.
    std::vector<uint8_t> raw(plan.stored.size());
    const uint32_t rawSize = static_cast<uint32_t>(raw.size());
    EXPECT_EQ(Pk3ReadRaw(zip.pk3, 0, raw.data(), rawSize - 1), 0);
    ASSERT_EQ(Pk3ReadRaw(zip.pk3, 0, raw.data(), rawSize), 1);
    EXPECT_EQ(raw, plan.stored);
  }
}

TEST(Pk3ReadEntryTest, ClosedArchiveFails) {
  OneEntryZip zip(StoredPlan("s.txt", Bytes("hello")));
  ASSERT_NE(zip.pk3, nullptr);
  FILE* f = zip.pk3->file;
  zip.pk3->file = nullptr;
  uint8_t buffer[5];
  EXPECT_EQ(Pk3ReadEntry(zip.pk3, 0, buffer, 5), 0);
  EXPECT_EQ(Pk3ReadRaw(zip.pk3, 0, buffer, 5), 0);
  zip.pk3->file = f;
  EXPECT_EQ(Pk3ReadEntry(zip.pk3, 0, buffer, 5), 1);
}

TEST(PakReadEntryTest, EdgeCases) {
  ScratchDir dir;
  const std::string path = dir.Path("a.pak");
  std::vector<uint8_t> bytes = sample::Pak({{"one.txt", "hello"}, {"empty.txt", ""}, {"two.txt", "world!"}});
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  PakArchive* pak = PakOpen(path.c_str());
  ASSERT_NE(pak, nullptr);
  uint8_t buffer[16] = {};
  EXPECT_EQ(PakReadEntry(pak, 0, buffer, 5), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "hello");
  EXPECT_EQ(PakReadEntry(pak, 0, buffer, 4), 0);   // one byte short
  EXPECT_EQ(PakReadEntry(pak, 1, buffer, 16), 0);  // nothing to read counts as failed
  EXPECT_EQ(PakReadEntry(pak, 2, buffer, 16), 1);
  EXPECT_EQ(PakReadEntry(pak, 3, buffer, 16), 0);  // past entryCount
  EXPECT_EQ(PakReadEntry(pak, -1, buffer, 16), 0);
  // An entry whose bytes lie past the end of the file.
  pak->entries[2].offset = static_cast<uint32_t>(bytes.size()) - 2;
  EXPECT_EQ(PakReadEntry(pak, 2, buffer, 16), 0);
  PakClose(pak);
}

TEST(EntryIndexTest, PointersOutsideTheSourceAreNegative) {
  ScratchDir dir;
  const std::string pakPath = dir.Path("a.pak");
  ASSERT_TRUE(WriteFileBytes(pakPath, sample::Pak({{"a", "1"}, {"b", "2"}})));
  PakArchive* pak = PakOpen(pakPath.c_str());
  PakArchive* other = PakOpen(pakPath.c_str());
  ASSERT_TRUE(pak && other);
  EXPECT_EQ(PakEntryIndex(pak, &pak->entries[0]), 0);
  EXPECT_EQ(PakEntryIndex(pak, &pak->entries[1]), 1);
  EXPECT_LT(PakEntryIndex(pak, &pak->entries[2]), 0);  // a zero slot past the entries
  EXPECT_LT(PakEntryIndex(pak, &pak->entries[0] - 1), 0);
  EXPECT_LT(PakEntryIndex(pak, reinterpret_cast<const PakDirEntry*>(
                                   reinterpret_cast<const char*>(&pak->entries[1]) + 8)),
            0);
  EXPECT_LT(PakEntryIndex(pak, &other->entries[0]), 0);
  EXPECT_LT(PakEntryIndex(pak, nullptr), 0);
  EXPECT_LT(PakEntryIndex(nullptr, &pak->entries[0]), 0);
  PakClose(other);
  PakClose(pak);

  const std::string zipPath = dir.Path("a.pk3");
  ASSERT_TRUE(WriteFileBytes(zipPath, sample::Zip({"x", "y", "z"})));
  Pk3Archive* pk3 = Pk3Open(zipPath.c_str());
  Pk3Archive* pk3b = Pk3Open(zipPath.c_str());
  ASSERT_TRUE(pk3 && pk3b);
  EXPECT_EQ(Pk3EntryIndex(pk3, &pk3->records[2]), 2);
  EXPECT_EQ(Pk3EntryIndex(pk3, &pk3->records[3]), -1);
  EXPECT_LT(Pk3EntryIndex(pk3, &pk3->records[0] - 1), 0);
  EXPECT_LT(Pk3EntryIndex(pk3, &pk3b->records[0]), 0);
  EXPECT_LT(Pk3EntryIndex(pk3, nullptr), 0);
  Pk3Close(pk3b);
  Pk3Close(pk3);
}

TEST(LoadEntryBytesTest, ByKind) {
  ScratchDir dir;
  const std::string path = dir.Path("a.pak");
  ASSERT_TRUE(WriteFileBytes(path, sample::Pak({{"one.txt", "hello"}, {"empty.txt", ""}, {"far.bin", "xyz"}})));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  EntryBytes bytes;

  ASSERT_EQ(LoadEntryBytes(&doc.doc, doc.Find("one.txt")->entry, &bytes), EntryLoad::Ok);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data), bytes.size), "hello");
  EXPECT_TRUE(bytes.owned);
  ReleaseEntryBytes(&bytes);
  EXPECT_EQ(bytes.data, nullptr);

  ASSERT_EQ(LoadEntryBytes(&doc.doc, doc.Find("empty.txt")->entry, &bytes), EntryLoad::Ok);
  EXPECT_EQ(bytes.size, 0u);
  EXPECT_EQ(bytes.data, nullptr);

  // A length the file cannot hold fails without a buffer of that size being asked for.
  DocumentPak(&doc.doc)->entries[2].length = 0xFFFFFFF0u;
  EXPECT_EQ(LoadEntryBytes(&doc.doc, doc.Find("far.bin")->entry, &bytes), EntryLoad::ReadFailed);

  ArchiveNode* memory = doc.AddFile(doc.root(), "memory.txt", Bytes("in memory"));
  ASSERT_EQ(LoadEntryBytes(&doc.doc, memory->entry, &bytes), EntryLoad::Ok);
  EXPECT_EQ(bytes.data, memory->entry->data);  // lent, not copied
  EXPECT_FALSE(bytes.owned);
  ReleaseEntryBytes(&bytes);
  EXPECT_NE(memory->entry->data, nullptr);

  EXPECT_EQ(LoadEntryBytes(&doc.doc, doc.root()->entry, &bytes), EntryLoad::NoBytes);
  ArchiveNode* folder = doc.AddDirectory(doc.root(), "folder");
  EXPECT_EQ(LoadEntryBytes(&doc.doc, folder->entry, &bytes), EntryLoad::NoBytes);

  // An entry of another document's source does not belong here.
  TestDocument other(path);
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(LoadEntryBytes(&doc.doc, other.Find("one.txt")->entry, &bytes), EntryLoad::NotInSource);
  TestDocument fresh;
  EXPECT_EQ(LoadEntryBytes(&fresh.doc, doc.Find("one.txt")->entry, &bytes), EntryLoad::NotInSource);
}

TEST(LoadEntryBytesTest, HighlyCompressedEntriesStillRead) {
  // Zeros compress about a thousandfold, near the most deflate can do.
  const std::vector<uint8_t> zeros(4 << 20, 0);
  ScratchDir dir;
  const std::string path = dir.Path("z.pk3");
  ASSERT_TRUE(WriteFileBytes(path, BuildZip({DeflatedPlan("zeros.bin", zeros, 9)})));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  EntryBytes bytes;
  ASSERT_EQ(LoadEntryBytes(&doc.doc, doc.Find("zeros.bin")->entry, &bytes), EntryLoad::Ok);
  EXPECT_EQ(bytes.size, zeros.size());
  EXPECT_EQ(std::memcmp(bytes.data, zeros.data(), zeros.size()), 0);
  ReleaseEntryBytes(&bytes);
}

}  // namespace
