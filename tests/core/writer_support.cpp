#include "tests/core/writer_support.h"

#include "tests/core/node_lookup.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "archive/disk.h"
#include "archive/entry_data.h"
#include "services/core/archive_text.h"

SaveProgress* RecordingSaveHost::OpenProgress(uint32_t steps) {
  if (refuseProgress) return nullptr;
  progressOpened.push_back(steps);
  return &progress_;
}

void RecordingSaveHost::RecordFailure(const Failure& why, const std::string& target) {
  failure = why;
  const std::string text = SaveFailureMessage(why, target);
  if (!text.empty()) messages.push_back(text);
}

// ---- TestDocument ----

TestDocument::TestDocument() { BuildTree(&doc); }

TestDocument::TestDocument(const std::string& path, bool keepCase) {
  Failure why;
  const ArchiveFormat* format = nullptr;
  doc.source = OpenArchive(path, &why, &format);
  if (doc.source) BuildTree(&doc, keepCase);
}

Node* TestDocument::AddDirectory(Node* parent, const std::string& name) { return tree().AddDirectory(parent, name); }

Node* TestDocument::AddFile(Node* parent, const std::string& name, const std::vector<uint8_t>& bytes) {
  SharedBytes held;
  if (!bytes.empty()) {
    held = EntryBuffer::Copy(bytes.data(), bytes.size());
    EXPECT_NE(held, nullptr) << name;
  }
  return tree().AddFile(parent, name, MemoryBytes{std::move(held)});
}

Node* TestDocument::AddPath(const std::string& storedPath, const std::vector<uint8_t>& bytes) {
  Node* parent = root();
  size_t start = 0;
  for (;;) {
    const size_t slash = storedPath.find('/', start);
    if (slash == std::string::npos) break;
    const std::string name = storedPath.substr(start, slash - start);
    Node* child = FindChildNamed(parent, name);
    parent = child ? child : AddDirectory(parent, name);
    start = slash + 1;
  }
  if (start == storedPath.size()) return parent;
  return AddFile(parent, storedPath.substr(start), bytes);
}

Node* TestDocument::Find(const std::string& storedPath) const { return NodeAtPath(root(), storedPath); }

bool SaveAs(TestDocument& doc, const ArchiveFormat& format, const std::string& path, RecordingSaveHost& host,
            const SaveOptions& options) {
  std::unique_ptr<ArchiveSource> written;
  WrittenEntries entries;
  const Failure failure = WriteArchiveFile(doc.doc, format, path, options, &host, &written, &entries);
  if (failure) {
    EXPECT_EQ(written, nullptr);
    host.RecordFailure(failure, path);
    return false;
  }
  if (written == nullptr) {
    ADD_FAILURE() << "no source for the file written at " << path;
    return false;
  }
  AdoptWritten(&doc.doc, std::move(written), entries);
  return true;
}

// ---- Contents and snapshots ----

namespace {

std::string Hex(const void* data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

std::string Pointer(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

std::string Id(const Node* node) { return node ? std::to_string(node->id()) : "-"; }

}  // namespace

void PrintTo(const ItemContent& item, std::ostream* out) {
  *out << "\"" << item.path << "\" (" << item.bytes.size() << " bytes)";
}

std::vector<ItemContent> Contents(const ArchiveDocument& doc) {
  std::vector<ItemContent> out;
  const Node* root = doc.root();
  if (root == nullptr) return out;
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root)) {
    ItemContent item;
    item.path = StoredPath(n);
    if (n->IsFile()) {
      SharedBytes bytes;
      // An unreadable entry is marked, so that it never compares equal to a readable one.
      if (LoadEntryBytes(&doc, n, &bytes) != EntryLoad::Ok) item.path += " (unreadable)";
      if (bytes) item.bytes.assign(bytes->data(), bytes->data() + bytes->size());
    }
    out.push_back(item);
  }
  return out;
}

std::vector<ItemContent> SortedContents(const ArchiveDocument& doc) {
  std::vector<ItemContent> out = Contents(doc);
  std::sort(out.begin(), out.end());
  return out;
}

DocumentSnapshot Snapshot(const ArchiveDocument& doc) {
  DocumentSnapshot s;
  s.lines.push_back("document " + std::to_string(doc.modified) + " " + Pointer(doc.source.get()) + " " +
                    Pointer(doc.tree.get()));
  if (doc.tree) {
    s.lines.push_back("nodes " + std::to_string(doc.tree->NodeCount()));
    const Node* root = doc.root();
    for (const Node* n = root; n; n = NextInSubtree(n, root)) {
      std::string line = "node " + Id(n) + " " + std::to_string(static_cast<int>(n->kind())) + " " + n->name() +
                         " " + Pointer(n) + " " + Id(n->parent()) + " " + Id(n->prevSibling()) + " " +
                         Id(n->nextSibling()) + " " + Id(n->firstChild());
      if (n->IsFile()) {
        if (const SourceEntry* entry = n->source()) {
          line += " entry " + std::to_string(entry->index) + " " + std::to_string(entry->size);
        } else {
          const SharedBytes& bytes = std::get<MemoryBytes>(n->data()).bytes;
          line += " memory " + Pointer(bytes.get());
          if (bytes) line += " " + Hex(bytes->data(), bytes->size());
        }
      }
      s.lines.push_back(line);
    }
  }
  if (const ArchiveSource* source = doc.source.get()) {
    s.lines.push_back("source " + std::string(source->format().name) + " " + source->path() + " " +
                      Pointer(source->file()) + " " + std::to_string(source->Count()));
    for (uint32_t i = 0; i < source->Count(); ++i) {
      const EntryInfo info = source->Info(i);
      s.lines.push_back(Hex(source->Name(i).data(), source->Name(i).size()) + " " + std::to_string(info.size) +
                        " " + std::to_string(info.storedSize) + " " + std::to_string(info.offset) + " " +
                        std::to_string(static_cast<int>(info.method)) + " " + std::to_string(info.methodCode) +
                        " " + std::to_string(info.hasCrc) + " " + std::to_string(info.crc) + " " +
                        std::to_string(info.hasTime) + " " + std::to_string(info.dosTime) + " " +
                        std::to_string(info.hasType) + " " + std::to_string(info.type));
    }
  }
  return s;
}

// ---- Independent readers ----

namespace {

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(Le16(b, at)) | static_cast<uint32_t>(Le16(b, at + 2)) << 16;
}

}  // namespace

PakListing ParsePak(const std::vector<uint8_t>& file) {
  PakListing out;
  if (file.size() < 12 || std::memcmp(file.data(), "PACK", 4) != 0) return out;
  out.dirOffset = Le32(file, 4);
  out.dirLength = Le32(file, 8);
  if (out.dirLength % 64 != 0 || out.dirOffset > file.size() || out.dirLength > file.size() - out.dirOffset)
    return out;
  for (uint32_t at = out.dirOffset; at < out.dirOffset + out.dirLength; at += 64) {
    PakListingItem item;
    const char* name = reinterpret_cast<const char*>(file.data() + at);
    item.name.assign(name, strnlen(name, 56));
    item.offset = Le32(file, at + 56);
    item.length = Le32(file, at + 60);
    if (item.offset > file.size() || item.length > file.size() - item.offset) return out;
    out.items.push_back(item);
  }
  out.ok = true;
  return out;
}

WadListing ParseWad(const std::vector<uint8_t>& file) {
  WadListing out;
  if (file.size() < 12 || std::memcmp(file.data(), "WAD2", 4) != 0) return out;
  out.count = Le32(file, 4);
  out.dirOffset = Le32(file, 8);
  if (out.dirOffset > file.size() || static_cast<uint64_t>(out.count) * 32 > file.size() - out.dirOffset) return out;
  for (uint32_t i = 0; i < out.count; ++i) {
    const size_t at = out.dirOffset + static_cast<size_t>(i) * 32;
    WadListingItem item;
    item.filePos = Le32(file, at);
    item.diskSize = Le32(file, at + 4);
    item.size = Le32(file, at + 8);
    item.type = file[at + 12];
    item.compression = file[at + 13];
    const char* name = reinterpret_cast<const char*>(file.data() + at + 16);
    item.name.assign(name, strnlen(name, 16));
    item.padded = file[at + 14] == 0 && file[at + 15] == 0 &&
                  std::all_of(file.begin() + static_cast<std::ptrdiff_t>(at + 16 + item.name.size()),
                              file.begin() + static_cast<std::ptrdiff_t>(at + 32), [](uint8_t b) { return b == 0; });
    if (item.filePos > file.size() || item.size > file.size() - item.filePos) return out;
    item.data.assign(file.begin() + item.filePos, file.begin() + item.filePos + item.size);
    out.items.push_back(item);
  }
  out.ok = true;
  return out;
}

ZipListing ParseZip(const std::vector<uint8_t>& file) {
  ZipListing out;
  if (file.size() < 22) {
    out.error = "too short";
    return out;
  }
  const size_t end = file.size() - 22;
  if (Le32(file, end) != 0x06054B50 || Le16(file, end + 20) != 0) {
    out.error = "no end record at the end";
    return out;
  }
  out.entries = Le16(file, end + 10);
  if (Le16(file, end + 8) != out.entries || Le16(file, end + 4) != 0 || Le16(file, end + 6) != 0) {
    out.error = "disk fields";
    return out;
  }
  out.centralSize = Le32(file, end + 12);
  out.centralOffset = Le32(file, end + 16);
  if (static_cast<uint64_t>(out.centralOffset) + out.centralSize != end) {
    out.error = "central directory does not end at the end record";
    return out;
  }
  size_t at = out.centralOffset;
  for (uint16_t i = 0; i < out.entries; ++i) {
    if (at + 46 > end || Le32(file, at) != 0x02014B50) {
      out.error = "bad central record " + std::to_string(i);
      return out;
    }
    ZipListingItem item{};
    item.versionMadeBy = Le16(file, at + 4);
    item.versionNeeded = Le16(file, at + 6);
    item.flags = Le16(file, at + 8);
    item.method = Le16(file, at + 10);
    item.time = Le16(file, at + 12);
    item.date = Le16(file, at + 14);
    item.crc = Le32(file, at + 16);
    item.compressedSize = Le32(file, at + 20);
    item.uncompressedSize = Le32(file, at + 24);
    const uint16_t nameLength = Le16(file, at + 28);
    item.extraLength = Le16(file, at + 30);
    item.commentLength = Le16(file, at + 32);
    item.diskStart = Le16(file, at + 34);
    item.internalAttributes = Le16(file, at + 36);
    item.externalAttributes = Le32(file, at + 38);
    item.localOffset = Le32(file, at + 42);
    item.name.assign(reinterpret_cast<const char*>(file.data() + at + 46), nameLength);
    at += 46 + nameLength + item.extraLength + item.commentLength;

    const size_t local = item.localOffset;
    if (local + 30 > out.centralOffset || Le32(file, local) != 0x04034B50) {
      out.error = "bad local header of " + item.name;
      return out;
    }
    const uint16_t localName = Le16(file, local + 26);
    const uint16_t localExtra = Le16(file, local + 28);
    const size_t data = local + 30 + localName + localExtra;
    if (data + item.compressedSize > out.centralOffset) {
      out.error = "data of " + item.name + " runs past the central directory";
      return out;
    }
    item.localMatches =
        Le16(file, local + 4) == item.versionNeeded && Le16(file, local + 6) == item.flags &&
        Le16(file, local + 8) == item.method && Le16(file, local + 10) == item.time &&
        Le16(file, local + 12) == item.date && Le32(file, local + 14) == item.crc &&
        Le32(file, local + 18) == item.compressedSize && Le32(file, local + 22) == item.uncompressedSize &&
        localName == nameLength && localExtra == 0 &&
        std::string(reinterpret_cast<const char*>(file.data() + local + 30), localName) == item.name;
    item.data.assign(file.begin() + data, file.begin() + data + item.compressedSize);
    out.items.push_back(item);
  }
  if (at != end) {
    out.error = "central directory size does not match its records";
    return out;
  }
  out.ok = true;
  return out;
}

void ExpectFailedSaveOf(TestDocument& doc, const ArchiveFormat& format, const std::string& path,
                        const std::string& message, const SaveOptions& options, uint32_t cancelAfter) {
  std::error_code ec;
  const std::filesystem::file_type typeBefore = std::filesystem::status(path, ec).type();
  const DocumentSnapshot before = Snapshot(doc.doc);
  const std::vector<ItemContent> contents = SortedContents(doc.doc);
  RecordingSaveHost host;
  host.cancelAfterSteps = cancelAfter;
  EXPECT_FALSE(SaveAs(doc, format, path, host, options));
  if (cancelAfter != 0) {
    EXPECT_EQ(host.failure.problem, Problem::Cancelled);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{});
    EXPECT_EQ(host.steps, cancelAfter);
  } else {
    EXPECT_EQ(host.Texts(), std::vector<std::string>{message});
  }
  EXPECT_EQ(host.closes, static_cast<int>(host.progressOpened.size()));
  EXPECT_TRUE(Snapshot(doc.doc) == before);
  EXPECT_EQ(SortedContents(doc.doc), contents);
  EXPECT_EQ(std::filesystem::status(path, ec).type(), typeBefore) << path;
}

void PoseAsForeignEntry(TestDocument& doc, Node* file) {
  ASSERT_NE(file, nullptr);
  const uint32_t index = doc.doc.source ? doc.doc.source->Count() : 0;
  doc.tree().SetData(file, SourceEntry{index, 1});
}

void ExpectEachSavedFile(const ArchiveDocument& doc, const std::function<void(const Node*)>& check) {
  ASSERT_NE(doc.source, nullptr);
  ASSERT_NE(doc.tree, nullptr);
  std::set<uint32_t> indexes;
  const Node* root = doc.root();
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    if (!n->IsFile()) continue;
    const SourceEntry* entry = n->source();
    ASSERT_NE(entry, nullptr) << StoredPath(n);
    EXPECT_LT(entry->index, doc.source->Count()) << StoredPath(n);
    if (entry->index < doc.source->Count()) {
      EXPECT_EQ(entry->size, doc.source->Size(entry->index)) << StoredPath(n);
    }
    EXPECT_TRUE(indexes.insert(entry->index).second) << StoredPath(n);
    EXPECT_EQ(n->memory(), nullptr) << StoredPath(n);
    if (check) check(n);
  }
}

void AddBigAndSmall(TestDocument& doc) {
  doc.AddPath("memory/big.bin", RandomBytes(9, 3 << 20));
  doc.AddPath("memory/small.txt", Bytes("small"));
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(path, &bytes)) << path;
  return bytes;
}

void MakeFolder(const std::string& root, const std::vector<std::pair<std::string, std::string>>& files) {
  ASSERT_TRUE(MakeDirectories(root));
  for (const auto& [path, data] : files) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
      ASSERT_TRUE(MakeDirectories(root + "/" + path.substr(0, slash)));
    }
    ASSERT_TRUE(WriteFileBytes(root + "/" + path, Bytes(data)));
  }
}

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& plain, int level, int memoryLevel) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, memoryLevel, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> out(deflateBound(&s, plain.size()) + 16);
  s.next_in = const_cast<Bytef*>(plain.data());
  s.avail_in = static_cast<uInt>(plain.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

bool RawInflate(const std::vector<uint8_t>& packed, size_t size, std::vector<uint8_t>* plain) {
  plain->assign(size + 1, 0);
  z_stream s{};
  if (inflateInit2(&s, -15) != Z_OK) return false;
  s.next_in = const_cast<Bytef*>(packed.data());
  s.avail_in = static_cast<uInt>(packed.size());
  s.next_out = plain->data();
  s.avail_out = static_cast<uInt>(plain->size());
  const int r = inflate(&s, Z_FINISH);
  const size_t produced = s.total_out;
  inflateEnd(&s);
  plain->resize(produced);
  return r == Z_STREAM_END && produced == size;
}

std::vector<uint8_t> TextBytes(uint32_t seed, size_t size) {
  static const char* const words[] = {"worldspawn", "origin", "angle", "light", "target", "model",
                                      "classname", "info_player_start", "{", "}", "\"", "0 0 0"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(size + 32);
  while (out.size() < size) {
    const char* w = words[rng() % (sizeof words / sizeof *words)];
    out.insert(out.end(), w, w + std::strlen(w));
    out.push_back(rng() % 8 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> RandomBytes(uint32_t seed, size_t size) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// ---- ZIP files made to order ----

ZipPlan StoredPlan(const std::string& name, const std::vector<uint8_t>& plain) {
  ZipPlan s;
  s.name = name;
  s.stored = plain;
  s.crc = static_cast<uint32_t>(crc32(0, plain.data(), static_cast<uInt>(plain.size())));
  s.compressedSize = s.uncompressedSize = static_cast<uint32_t>(plain.size());
  return s;
}

ZipPlan DeflatedPlan(const std::string& name, const std::vector<uint8_t>& plain, int level) {
  ZipPlan s = StoredPlan(name, plain);
  s.method = 8;
  s.stored = RawDeflate(plain, level);
  s.compressedSize = static_cast<uint32_t>(s.stored.size());
  return s;
}

std::vector<uint8_t> BuildZip(const std::vector<ZipPlan>& plans, bool bytesBackwards) {
  std::vector<uint8_t> out;
  auto put16 = [&out](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&put16](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto putText = [&out](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
  // The fields the local header and the central record share, flags to uncompressed size.
  auto putFields = [&](const ZipPlan& s, uint32_t method, uint32_t compressedSize) {
    put16(s.flags);
    put16(method);
    put16(s.time);
    put16(s.date);
    put32(s.crc);
    put32(compressedSize);
    put32(s.uncompressedSize);
  };
  std::vector<uint32_t> offsets(plans.size());
  for (size_t k = 0; k < plans.size(); ++k) {
    const size_t i = bytesBackwards ? plans.size() - 1 - k : k;
    const ZipPlan& s = plans[i];
    offsets[i] = static_cast<uint32_t>(out.size());
    put32(s.badLocalSignature ? 0x04034B51 : 0x04034B50);
    put16(20);
    putFields(s, s.localMethod >= 0 ? static_cast<uint32_t>(s.localMethod) : s.method,
              s.localCompressedSize >= 0 ? static_cast<uint32_t>(s.localCompressedSize) : s.compressedSize);
    put16(static_cast<uint32_t>(s.name.size()));
    put16(s.localExtra);
    putText(s.name);
    out.insert(out.end(), s.localExtra, 0xEE);
    out.insert(out.end(), s.stored.begin(), s.stored.end());
  }
  const uint32_t central = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < plans.size(); ++i) {
    const ZipPlan& s = plans[i];
    put32(0x02014B50);
    put16(20);
    put16(20);
    putFields(s, s.method, s.compressedSize);
    put16(static_cast<uint32_t>(s.name.size()));
    put16(s.centralExtra);
    put16(0);
    put16(0);
    put16(0);
    put32(0);
    put32(s.localOffset >= 0 ? static_cast<uint32_t>(s.localOffset) : offsets[i]);
    putText(s.name);
    out.insert(out.end(), s.centralExtra, 0xDD);
  }
  const uint32_t centralSize = static_cast<uint32_t>(out.size()) - central;
  put32(0x06054B50);
  put16(0);
  put16(0);
  put16(static_cast<uint32_t>(plans.size()));
  put16(static_cast<uint32_t>(plans.size()));
  put32(centralSize);
  put32(central);
  put16(0);
  return out;
}

#ifndef _WIN32
std::string ZipToolFailures(const std::string& path) {
  const std::string quoted = "'" + path + "'";
  std::vector<uint8_t> bytes;
  ReadFileBytes(path, &bytes);
  // unzip warns about an archive without entries, which is exactly what an empty one is.
  const bool empty = ParseZip(bytes).ok && ParseZip(bytes).entries == 0;
  const struct {
    const char* name;
    std::string command;
  } tools[] = {
      {"unzip -t", empty ? "unzip -tqq " + quoted + " 2>&1 | grep -q 'zipfile is empty'"
                         : "unzip -tqq " + quoted},
      {"7z t", "7z t " + quoted},
      {"bsdtar -tf", "bsdtar -tf " + quoted},
      {"bsdtar -xOf", "bsdtar -xOf " + quoted},
      {"zipfile.testzip", "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                          "sys.exit(z.testzip() is not None)' " + quoted},
  };
  std::string failures;
  for (const auto& tool : tools) {
    const std::string command = tool.command + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) failures += std::string(failures.empty() ? "" : ", ") + tool.name;
  }
  return failures;
}
#endif
