#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/entry_data.h"
#include "archive/entry_snapshot.h"
#include "archive/zip_source.h"
#include "panes/core/item_summary.h"
#include "services/core/archive_text.h"
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
    // Carried on from piece to piece, at an odd split.
    const size_t split = size / 3;
    EXPECT_EQ(Crc32Update(Crc32(data.data(), split), data.data() + split, size - split),
              Crc32(data.data(), data.size()))
        << size;
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

TEST(DeflateBufferTest, OnlyBytesDeflateHardlyShrinksAreLeftUncompressed) {
  const uint32_t mb = 1u << 20;
  const std::vector<uint8_t> random = RandomBytes(41, mb);
  const auto with = [&](uint32_t at, const std::vector<uint8_t>& part) {
    std::vector<uint8_t> bytes = random;
    std::copy(part.begin(), part.end(), bytes.begin() + at);
    return bytes;
  };
  std::vector<uint8_t> sevenBits = random;
  for (uint8_t& b : sevenBits) b &= 0x7F;
  // A run of 6 KB found again 10 KB on, within deflate's reach: the byte values still look
  // random block by block.
  const std::vector<uint8_t> repeated =
      with(500000 + 10240, std::vector<uint8_t>(random.begin() + 500000, random.begin() + 500000 + 6144));
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    bool hardly;
  } cases[] = {
      {"random bytes", random, true},
      {"random bytes, just large enough", RandomBytes(42, 32 * 1024), true},
      {"random bytes, too few to tell", RandomBytes(43, 32 * 1024 - 1), false},
      {"text", TextBytes(44, mb), false},
      {"seven bits a byte", sevenBits, false},
      {"16 KB of zeros in the middle", with(600000, std::vector<uint8_t>(16384, 0)), false},
      {"a short run of zeros at the end", with(mb - 2048, std::vector<uint8_t>(2048, 0)), false},
      {"a repeated run", repeated, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t size = static_cast<uint32_t>(c.bytes.size());
    EXPECT_EQ(HardlyCompressible(c.bytes.data(), size), c.hardly);
    // What is said of the bytes holds for zlib's own result at its best.
    const std::vector<uint8_t> packed = RawDeflate(c.bytes, 9);
    if (c.hardly) {
      EXPECT_GT(packed.size(), size - size / 200);
    } else if (size > 32 * 1024) {
      EXPECT_LT(packed.size(), size - size / 1000);
    }
  }
  EXPECT_FALSE(HardlyCompressible(nullptr, 0));
}

// Takes every piece it is given, or refuses the first one.
struct Collect : ByteSink {
  std::vector<uint8_t> bytes;
  bool refuse = false;
  bool Take(const uint8_t* data, size_t size) override {
    if (refuse) return false;
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
};

// Every way a whole stream is inflated says the same of each stream, a small one and one
// larger than what is inflated at once before it goes to a sink: once, with one object
// reused from stream to stream (after failures too), and through a sink.
TEST(InflateBufferTest, DamagedAndMismatchedStreamsFail) {
  InflateReuse reuse;
  struct Way {
    const char* what;
    std::function<int(uint8_t*, uint32_t, const uint8_t*, uint32_t)> inflate;
  };
  const Way ways[] = {
      {"once", InflateBuffer},
      {"reused", [&](uint8_t* out, uint32_t n, const uint8_t* in, uint32_t size) { return reuse.Inflate(out, n, in, size); }},
      {"to a sink",
       [&](uint8_t* out, uint32_t n, const uint8_t* in, uint32_t size) {
         Collect sink;
         if (reuse.InflateTo(in, size, n, &sink) != InflateStream::Status::Ended || sink.bytes.size() != n) return 0;
         std::copy(sink.bytes.begin(), sink.bytes.end(), out);
         return 1;
       }},
  };
  for (const size_t length : {size_t{20000}, size_t{1536} * 1024}) {
    const std::vector<uint8_t> text = TextBytes(3, length);
    const std::vector<uint8_t> packed = RawDeflate(text, 6);
    const uint32_t n = static_cast<uint32_t>(text.size());
    const uint32_t packedSize = static_cast<uint32_t>(packed.size());
    std::vector<uint8_t> damaged = packed;
    damaged[0] = 0xFF;  // an invalid block type
    const std::vector<uint8_t> garbage = RandomBytes(11, 300);
    const std::vector<uint8_t> none = RawDeflate({}, 6);
    for (const Way& way : ways) {
      SCOPED_TRACE(std::string(way.what) + ", " + std::to_string(length) + " bytes");
      std::vector<uint8_t> out(text.size() + 1);
      EXPECT_EQ(way.inflate(out.data(), n, packed.data(), packedSize), 1);
      EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), text);
      // The stream holds more than asked for, or less.
      EXPECT_EQ(way.inflate(out.data(), n - 1, packed.data(), packedSize), 0);
      EXPECT_EQ(way.inflate(out.data(), n + 1, packed.data(), packedSize), 0);
      // Cut short, or damaged in its first bytes, or no deflate data at all.
      EXPECT_EQ(way.inflate(out.data(), n, packed.data(), packedSize / 2), 0);
      EXPECT_EQ(way.inflate(out.data(), n, damaged.data(), packedSize), 0);
      EXPECT_EQ(way.inflate(out.data(), n, garbage.data(), 300), 0);
      // Bytes after the end of the stream are no part of it.
      std::vector<uint8_t> trailed = packed;
      trailed.insert(trailed.end(), 64, 0xAB);
      std::fill(out.begin(), out.end(), 0);
      EXPECT_EQ(way.inflate(out.data(), n, trailed.data(), static_cast<uint32_t>(trailed.size())), 1);
      EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), text);
      // An empty stream ends at once.
      EXPECT_EQ(way.inflate(out.data(), 0, none.data(), static_cast<uint32_t>(none.size())), 1);
      EXPECT_EQ(way.inflate(out.data(), 1, none.data(), static_cast<uint32_t>(none.size())), 0);
    }
    // A sink that takes nothing stops the inflating, and the object serves the next stream.
    Collect refusing;
    refusing.refuse = true;
    EXPECT_EQ(reuse.InflateTo(packed.data(), packedSize, n, &refusing), InflateStream::Status::Stopped);
    EXPECT_EQ(reuse.InflateTo(packed.data(), packedSize, n, nullptr), InflateStream::Status::Ended);
  }
}

// One entry of a ZIP made to order, opened as a PK3.
struct OneEntryZip {
  explicit OneEntryZip(const ZipPlan& plan) {
    std::vector<uint8_t> bytes = BuildZip({plan});
    path = dir.Path("one.pk3");
    WriteFileBytes(path, bytes);
    Failure why;
    pk3 = DefaultFormat().open(DefaultFormat(), path, &why);
  }
  ScratchDir dir;
  std::string path;
  std::unique_ptr<ArchiveSource> pk3;
};

std::vector<uint8_t> Held(const SharedBytes& bytes) {
  return bytes ? std::vector<uint8_t>(bytes->data(), bytes->data() + bytes->size()) : std::vector<uint8_t>();
}

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
    // LoadEntryBytes sizes its buffer from the record only after the file vouched for it.
    TestDocument doc(zip.path);
    ASSERT_TRUE(doc.ok());
    const Node* node = doc.root()->firstChild();
    ASSERT_NE(node, nullptr);
    SharedBytes bytes;
    const EntryLoad load = LoadEntryBytes(&doc.doc, node, &bytes);
    EXPECT_EQ(load, c.result);
    // The source read in pieces agrees.
    Collect streamed;
    EXPECT_EQ(zip.pk3->Read(0, &streamed) == ok, c.result == ok);
    if (c.result == ok) {
      EXPECT_EQ(Held(bytes), text);
      EXPECT_EQ(bytes.use_count(), 1);  // a buffer of its own
      EXPECT_EQ(streamed.bytes, text);
    } else {
      EXPECT_EQ(bytes, nullptr);
    }
  }
}

TEST(Pk3ReadEntryTest, IndexIsCheckedAndTheStoredBytesLieWhereLocated) {
  const std::vector<uint8_t> text = TextBytes(5, 3000);
  for (const ZipPlan& plan : {StoredPlan("s.txt", text), DeflatedPlan("d.txt", text, 9)}) {
    OneEntryZip zip(plan);
    ASSERT_NE(zip.pk3, nullptr);
    SharedBytes bytes;
    Collect none;
    StoredBytes where;
    for (uint32_t index : {1u, 0xFFFFFFFFu}) {
      EXPECT_EQ(zip.pk3->Load(index, &bytes), EntryLoad::NotInSource);
      EXPECT_EQ(zip.pk3->Read(index, &none), EntryLoad::NotInSource);
      EXPECT_EQ(zip.pk3->Locate(index, &where), EntryLoad::NotInSource);
    }
    EXPECT_TRUE(none.bytes.empty());
    ASSERT_EQ(zip.pk3->Load(0, &bytes), EntryLoad::Ok);
    EXPECT_EQ(Held(bytes), text);

    // The raw form is the stored bytes exactly, and decodes to the plain ones.
    ASSERT_EQ(zip.pk3->Locate(0, &where), EntryLoad::Ok);
    EXPECT_EQ(where.storedSize, plan.stored.size());
    EXPECT_EQ(where.size, text.size());
    EXPECT_EQ(where.deflated, plan.method == 8);
    Collect raw;
    ASSERT_EQ(ReadPieces(zip.pk3->file(), where.offset, where.storedSize, &raw), EntryLoad::Ok);
    EXPECT_EQ(raw.bytes, plan.stored);
    // Stored bytes are checked where they lie; deflated ones are inflated into a buffer.
    std::vector<uint8_t> plain = where.deflated ? std::vector<uint8_t>(text.size()) : raw.bytes;
    EXPECT_EQ(DecodeStored(where, raw.bytes.data(), plain.data()), EntryLoad::Ok);
    EXPECT_EQ(plain, text);
  }
}

TEST(Pk3ReadEntryTest, ClosedArchiveFails) {
  OneEntryZip zip(StoredPlan("s.txt", Bytes("hello")));
  ASSERT_NE(zip.pk3, nullptr);
  zip.pk3->LetGoOfFile();
  SharedBytes bytes;
  StoredBytes where;
  Collect sink;
  EXPECT_NE(zip.pk3->Load(0, &bytes), EntryLoad::Ok);
  EXPECT_NE(zip.pk3->Read(0, &sink), EntryLoad::Ok);
  EXPECT_NE(zip.pk3->Locate(0, &where), EntryLoad::Ok);
  ASSERT_TRUE(zip.pk3->TakeFile(zip.path));
  EXPECT_EQ(zip.pk3->Load(0, &bytes), EntryLoad::Ok);
  EXPECT_EQ(Held(bytes), Bytes("hello"));

  // A WAD2 the same.
  const std::string path = zip.dir.Path("one.wad");
  ASSERT_TRUE(WriteFileBytes(path, sample::Wad({{"s", 0x42, "hello"}})));
  const ArchiveFormat& format = *FormatForPath(path);
  Failure why;
  std::unique_ptr<ArchiveSource> wad = format.open(format, path, &why);
  ASSERT_NE(wad, nullptr);
  wad->LetGoOfFile();
  EXPECT_NE(wad->Load(0, &bytes), EntryLoad::Ok);
  EXPECT_NE(wad->Read(0, &sink), EntryLoad::Ok);
  EXPECT_NE(wad->Locate(0, &where), EntryLoad::Ok);
  EXPECT_TRUE(sink.bytes.empty());
  ASSERT_TRUE(wad->TakeFile(path));
  EXPECT_EQ(wad->Load(0, &bytes), EntryLoad::Ok);
  EXPECT_EQ(Held(bytes), Bytes("hello"));
}

// A PAK of three entries whose third entry lies at the given offset and length.
std::vector<uint8_t> ThreeEntryPak(uint32_t offset = ~0u, uint32_t length = ~0u) {
  std::vector<uint8_t> bytes = sample::Pak({{"one.txt", "hello"}, {"empty.txt", ""}, {"two.txt", "world!"}});
  const size_t third = bytes.size() - 64;
  if (offset != ~0u) PutLE32(bytes.data() + third + 56, offset);
  if (length != ~0u) PutLE32(bytes.data() + third + 60, length);
  return bytes;
}

TEST(PakReadEntryTest, EdgeCases) {
  ScratchDir dir;
  const std::string path = dir.Path("a.pak");
  std::vector<uint8_t> bytes = ThreeEntryPak();
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  Failure why;
  std::unique_ptr<ArchiveSource> pak = PakFormat().open(PakFormat(), path, &why);
  ASSERT_NE(pak, nullptr);
  SharedBytes read;
  EXPECT_EQ(pak->Load(0, &read), EntryLoad::Ok);
  EXPECT_EQ(Held(read), Bytes("hello"));
  // An empty entry reads as no bytes.
  EXPECT_EQ(pak->Load(1, &read), EntryLoad::Ok);
  EXPECT_EQ(read, nullptr);
  EXPECT_EQ(pak->Load(2, &read), EntryLoad::Ok);
  EXPECT_EQ(Held(read), Bytes("world!"));
  EXPECT_EQ(pak->Load(3, &read), EntryLoad::NotInSource);  // past the entries
  EXPECT_EQ(pak->Load(0xFFFFFFFFu, &read), EntryLoad::NotInSource);
  // An entry whose bytes lie past the end of the file.
  const std::string far = dir.Path("far.pak");
  ASSERT_TRUE(WriteFileBytes(far, ThreeEntryPak(static_cast<uint32_t>(bytes.size()) - 2)));
  std::unique_ptr<ArchiveSource> farPak = PakFormat().open(PakFormat(), far, &why);
  ASSERT_NE(farPak, nullptr);
  EXPECT_EQ(farPak->Load(2, &read), EntryLoad::ReadFailed);
  EXPECT_EQ(read, nullptr);
}

// Lumps of a WAD2 read as they are stored, whole and in pieces; one the file does not hold
// fails without a buffer of its recorded size, and a compressed one is refused as such.
TEST(WadReadEntryTest, EdgeCasesTable) {
  const std::vector<uint8_t> text = TextBytes(8, 3 * kStreamPieceSize + 123);
  const std::string big(text.begin(), text.end());
  const std::vector<sample::WadLump> lumps = {{"one", 0x42, "hello"}, {"empty", 0x44, ""}, {"big", 0x44, big}};
  const uint32_t size = static_cast<uint32_t>(big.size());
  struct Case {
    const char* what;
    int64_t filePos, diskSize, lumpSize;  // of the third record; -1 as written
    uint8_t compression;
    EntryLoad result;
    size_t bytes;  // read when Ok
  };
  const EntryLoad damaged = EntryLoad::ReadFailed;
  const Case cases[] = {
      {"stored", -1, -1, -1, 0, EntryLoad::Ok, size},
      {"compressed", -1, -1, -1, 1, EntryLoad::Compressed, 0},
      {"compressed by another method", -1, -1, -1, 0xFF, EntryLoad::Compressed, 0},
      {"larger than its size on disk", -1, -1, size + 1, 0, damaged, 0},
      {"smaller than its size on disk", -1, -1, size - 3, 0, EntryLoad::Ok, size - 3},
      // Later by the directory's length and two bytes, the lump ends two bytes past the file.
      {"running past the end", 12 + 5 + 3 * 32 + 2, -1, -1, 0, damaged, 0},
      {"starting past the end", 0x7FFFFFF0, -1, -1, 0, damaged, 0},
      {"sizes no file can hold", -1, 0xFFFFFFF0, 0xFFFFFFF0, 0, damaged, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = sample::Wad(lumps);
    const size_t record = sample::WadRecordOffset(bytes, 2);
    if (c.filePos >= 0) PutLE32(bytes.data() + record, static_cast<uint32_t>(c.filePos));
    if (c.diskSize >= 0) PutLE32(bytes.data() + record + 4, static_cast<uint32_t>(c.diskSize));
    if (c.lumpSize >= 0) PutLE32(bytes.data() + record + 8, static_cast<uint32_t>(c.lumpSize));
    bytes[record + 13] = c.compression;
    ScratchDir dir;
    const std::string path = dir.Path("lumps.wad");
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    TestDocument doc(path);
    ASSERT_TRUE(doc.ok());
    ArchiveSource& wad = *doc.doc.source;
    ASSERT_STREQ(wad.format().name, "WAD2");
    const Node* node = doc.Find("big.mip");
    ASSERT_NE(node, nullptr);
    SharedBytes whole;
    EXPECT_EQ(wad.Load(2, &whole), c.result);
    SharedBytes loaded;
    EXPECT_EQ(LoadEntryBytes(&doc.doc, node, &loaded), c.result);
    struct Pieces : Collect {
      size_t largest = 0;
      bool Take(const uint8_t* data, size_t n) override {
        largest = std::max(largest, n);
        return Collect::Take(data, n);
      }
    } streamed, fromDocument;
    EXPECT_EQ(wad.Read(2, &streamed), c.result);
    EXPECT_EQ(StreamEntryBytes(&doc.doc, node, &fromDocument), c.result);
    StoredBytes where;
    EXPECT_EQ(wad.Locate(2, &where), c.result);
    if (c.result == EntryLoad::Ok) {
      const std::vector<uint8_t> expected(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(c.bytes));
      EXPECT_TRUE(Held(whole) == expected);
      EXPECT_TRUE(Held(loaded) == expected);
      EXPECT_TRUE(streamed.bytes == expected);
      EXPECT_TRUE(fromDocument.bytes == expected);
      EXPECT_LE(streamed.largest, kStreamPieceSize);
      // Stored bytes are the plain ones, with nothing to check them by.
      EXPECT_EQ(where.offset, 12u + 5u);
      EXPECT_EQ(where.size, c.bytes);
      EXPECT_EQ(where.storedSize, c.bytes);
      EXPECT_FALSE(where.deflated);
      EXPECT_FALSE(where.hasCrc);
    } else {
      EXPECT_EQ(whole, nullptr);
      EXPECT_EQ(loaded, nullptr);
      EXPECT_TRUE(streamed.bytes.empty());
    }
    if (c.result == EntryLoad::Compressed) {
      EXPECT_STREQ(EntryLoadReason(c.result), "it is compressed in a way Vellumix cannot read");
    }
    // The lumps beside it read whatever becomes of it.
    EXPECT_EQ(wad.Load(0, &whole), EntryLoad::Ok);
    EXPECT_EQ(Held(whole), Bytes("hello"));
    EXPECT_EQ(wad.Load(1, &whole), EntryLoad::Ok);
    EXPECT_EQ(whole, nullptr);
    EXPECT_EQ(wad.Load(3, &whole), EntryLoad::NotInSource);
    EXPECT_EQ(wad.Load(0xFFFFFFFFu, &whole), EntryLoad::NotInSource);
  }
}

TEST(EntryIndexTest, EntriesOutsideTheSourceAreNotInIt) {
  ScratchDir dir;
  const std::string pakPath = dir.Path("a.pak");
  ASSERT_TRUE(WriteFileBytes(pakPath, sample::Pak({{"a", "1"}, {"b", "2"}})));
  const std::string zipPath = dir.Path("a.pk3");
  ASSERT_TRUE(WriteFileBytes(zipPath, sample::Zip({"x", "y", "z"})));
  const std::string wadPath = dir.Path("a.wad");
  ASSERT_TRUE(WriteFileBytes(wadPath, sample::Wad({{"wall", 0x44, "m"}, {"pic", 0x42, "p"}, {"other", 0x41, "o"}})));
  for (const std::string& path : {pakPath, zipPath, wadPath}) {
    SCOPED_TRACE(path);
    TestDocument doc(path);
    TestDocument other(path);
    ASSERT_TRUE(doc.ok() && other.ok());
    const uint32_t count = doc.doc.source->Count();
    SharedBytes bytes;
    Collect sink;
    // Every entry of its own source reads.
    for (const Node* n = doc.root()->firstChild(); n; n = n->nextSibling()) {
      ASSERT_NE(n->source(), nullptr);
      EXPECT_LT(n->source()->index, count);
      EXPECT_EQ(LoadEntryBytes(&doc.doc, n, &bytes), EntryLoad::Ok) << n->name();
    }
    // The first index past the entries, and every one beyond.
    Node* posing = doc.AddPath("posing", Bytes("x"));
    for (uint32_t index : {count, count + 1, 0xFFFFFFFFu}) {
      doc.tree().SetData(posing, SourceEntry{index, 1});
      EXPECT_EQ(LoadEntryBytes(&doc.doc, posing, &bytes), EntryLoad::NotInSource) << index;
      EXPECT_EQ(StreamEntryBytes(&doc.doc, posing, &sink), EntryLoad::NotInSource) << index;
      EXPECT_EQ(doc.doc.source->Load(index, &bytes), EntryLoad::NotInSource) << index;
    }
    // A node of another document's tree, though its index is one this source has.
    const Node* foreign = other.root()->firstChild();
    ASSERT_LT(foreign->source()->index, count);
    EXPECT_EQ(LoadEntryBytes(&doc.doc, foreign, &bytes), EntryLoad::NotInSource);
    EXPECT_EQ(StreamEntryBytes(&doc.doc, foreign, &sink), EntryLoad::NotInSource);
    EXPECT_TRUE(sink.bytes.empty());
  }
}

TEST(LoadEntryBytesTest, ByKind) {
  ScratchDir dir;
  const std::string path = dir.Path("a.pak");
  ASSERT_TRUE(WriteFileBytes(path, sample::Pak({{"one.txt", "hello"}, {"empty.txt", ""}, {"far.bin", "xyz"}})));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  SharedBytes bytes;

  ASSERT_EQ(LoadEntryBytes(&doc.doc, doc.Find("one.txt"), &bytes), EntryLoad::Ok);
  EXPECT_EQ(Held(bytes), Bytes("hello"));
  EXPECT_EQ(bytes.use_count(), 1);  // a buffer of its own

  ASSERT_EQ(LoadEntryBytes(&doc.doc, doc.Find("empty.txt"), &bytes), EntryLoad::Ok);
  EXPECT_EQ(bytes, nullptr);

  // A length the file cannot hold fails without a buffer of that size being asked for.
  std::vector<uint8_t> huge = sample::Pak({{"one.txt", "hello"}, {"empty.txt", ""}, {"far.bin", "xyz"}});
  PutLE32(huge.data() + huge.size() - 64 + 60, 0xFFFFFFF0u);
  const std::string hugePath = dir.Path("huge.pak");
  ASSERT_TRUE(WriteFileBytes(hugePath, huge));
  TestDocument hugeDoc(hugePath);
  ASSERT_TRUE(hugeDoc.ok());
  EXPECT_EQ(LoadEntryBytes(&hugeDoc.doc, hugeDoc.Find("far.bin"), &bytes), EntryLoad::ReadFailed);
  EXPECT_EQ(bytes, nullptr);

  Node* memory = doc.AddFile(doc.root(), "memory.txt", Bytes("in memory"));
  ASSERT_EQ(LoadEntryBytes(&doc.doc, memory, &bytes), EntryLoad::Ok);
  EXPECT_EQ(bytes.get(), memory->memory());  // shared, not copied
  bytes.reset();
  ASSERT_NE(memory->memory(), nullptr);
  EXPECT_EQ(memory->size(), 9u);

  EXPECT_EQ(LoadEntryBytes(&doc.doc, doc.root(), &bytes), EntryLoad::NoBytes);
  Node* folder = doc.AddDirectory(doc.root(), "folder");
  EXPECT_EQ(LoadEntryBytes(&doc.doc, folder, &bytes), EntryLoad::NoBytes);

  // An entry of another document's source does not belong here.
  TestDocument other(path);
  ASSERT_TRUE(other.ok());
  EXPECT_EQ(LoadEntryBytes(&doc.doc, other.Find("one.txt"), &bytes), EntryLoad::NotInSource);
  TestDocument fresh;
  EXPECT_EQ(LoadEntryBytes(&fresh.doc, doc.Find("one.txt"), &bytes), EntryLoad::NotInSource);
}

TEST(LoadEntryBytesTest, HighlyCompressedEntriesStillRead) {
  // Zeros compress about a thousandfold, near the most deflate can do.
  const std::vector<uint8_t> zeros(4 << 20, 0);
  ScratchDir dir;
  const std::string path = dir.Path("z.pk3");
  ASSERT_TRUE(WriteFileBytes(path, BuildZip({DeflatedPlan("zeros.bin", zeros, 9)})));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  SharedBytes bytes;
  ASSERT_EQ(LoadEntryBytes(&doc.doc, doc.Find("zeros.bin"), &bytes), EntryLoad::Ok);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes->size(), zeros.size());
  EXPECT_EQ(std::memcmp(bytes->data(), zeros.data(), zeros.size()), 0);
}


// A snapshot reads on its own file what LoadEntryBytes reads, whole (CRC-32 checked) or as a
// prefix, also after the node it was taken of is gone.
TEST(EntrySnapshotTest, ReadsWholeOrPrefixAfterTheTreeChanged) {
  const std::vector<uint8_t> text = TextBytes(7, 300000);
  ScratchDir dir;
  const std::string path = dir.Path("s.pk3");
  std::vector<uint8_t> zip = BuildZip({DeflatedPlan("packed.txt", text, 6), StoredPlan("plain.txt", text)});
  ASSERT_TRUE(WriteFileBytes(path, zip));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  Node* memory = doc.AddFile(doc.root(), "memory.txt", Bytes("in memory"));
  const EntrySnapshot packed = SnapshotEntry(&doc.doc, doc.Find("packed.txt"));
  const EntrySnapshot plain = SnapshotEntry(&doc.doc, doc.Find("plain.txt"));
  const EntrySnapshot held = SnapshotEntry(&doc.doc, memory);
  doc.doc.tree->Remove(doc.Find("packed.txt"));
  doc.doc.tree->Remove(memory);

  const struct {
    const EntrySnapshot* entry;
    uint32_t limit;
    std::vector<uint8_t> expected;
  } cases[] = {
      {&packed, ~0u, text},
      {&packed, 1000, std::vector<uint8_t>(text.begin(), text.begin() + 1000)},
      {&plain, ~0u, text},
      {&plain, 299999, std::vector<uint8_t>(text.begin(), text.end() - 1)},
      {&held, ~0u, Bytes("in memory")},
      {&held, 2, Bytes("in")},
  };
  for (const auto& c : cases) {
    SharedBytes bytes;
    ASSERT_EQ(ReadSnapshot(*c.entry, c.limit, &bytes), EntryLoad::Ok) << c.limit;
    EXPECT_EQ(Held(bytes), c.expected) << c.limit;
  }
  const std::atomic<bool> stop{true};
  SharedBytes bytes;
  EXPECT_EQ(ReadSnapshot(packed, ~0u, &bytes, &stop), EntryLoad::Stopped);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(SnapshotEntry(&doc.doc, doc.root()).refused, EntryLoad::NoBytes);
  TestDocument other(path);
  EXPECT_EQ(SnapshotEntry(&doc.doc, other.Find("plain.txt")).refused, EntryLoad::NotInSource);

  // A damaged byte of the deflated entry fails its whole read by the CRC-32 or the stream.
  const size_t at = 30 + std::string("packed.txt").size() + 100;
  zip[at] ^= 0x55;
  ASSERT_TRUE(WriteFileBytes(path, zip));
  EXPECT_NE(ReadSnapshot(packed, ~0u, &bytes), EntryLoad::Ok);
}


// Properties add up a folder's files below it, and the stored bytes of those in the file.
TEST(ItemSummaryTest, CountsEverythingBelowAndStoredBytesOfStoredFiles) {
  const std::vector<uint8_t> text = TextBytes(3, 20000);
  ScratchDir dir;
  const std::string path = dir.Path("s.pk3");
  ASSERT_TRUE(WriteFileBytes(path, BuildZip({DeflatedPlan("maps/a.txt", text, 9), StoredPlan("maps/deep/b.txt", text)})));
  TestDocument doc(path);
  ASSERT_TRUE(doc.ok());
  doc.AddFile(doc.Find("maps/deep/"), "new.txt", Bytes("four"));
  const EntryInfo packed = doc.doc.source->Info(0);
  ASSERT_LT(packed.storedSize, 20000u);

  ItemSummary maps;
  AddToSummary(&doc.doc, doc.Find("maps/"), &maps);
  EXPECT_EQ(maps.files, 3u);
  EXPECT_EQ(maps.folders, 2u);  // maps and deep
  EXPECT_EQ(maps.size, 40004u);
  EXPECT_EQ(maps.storedFiles, 2u);
  EXPECT_EQ(maps.storedPlainSize, 40000u);
  EXPECT_EQ(maps.storedSize, packed.storedSize + 20000u);
  ItemSummary all;
  AddToSummary(&doc.doc, doc.root(), &all);
  EXPECT_EQ(all.folders, 2u);  // the root is no folder of its own
  EXPECT_EQ(all.files, 3u);

  const struct {
    uint64_t plain, stored;
    int percent;
  } savings[] = {{0, 0, 0}, {100, 37, 63}, {1000, 995, 1}, {1000, 994, 1}, {1000, 1005, -1}, {200, 0, 100}, {3, 2, 33}};
  for (const auto& c : savings) EXPECT_EQ(SavingPercent(c.plain, c.stored), c.percent) << c.plain << " " << c.stored;
}

}  // namespace
