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

#include "archive/entry_data.h"

SaveProgress* RecordingSaveWindow::OpenProgress(uint32_t steps) {
  if (refuseProgress) return nullptr;
  progressOpened.push_back(steps);
  return &progress_;
}

std::vector<std::string> RecordingSaveWindow::Texts() const {
  std::vector<std::string> texts;
  for (const RecordedMessage& m : messages) texts.push_back(m.text);
  return texts;
}

// ---- TestDocument ----

TestDocument::TestDocument() { doc.root = TreeBuildFromSource(&doc, folders); }

TestDocument::TestDocument(const std::string& path) {
  std::vector<char> buffer(path.begin(), path.end());
  buffer.push_back('\0');
  OpenedArchive opened = OpenArchiveFile(buffer.data(), messages);
  doc.archiveKind = opened.kind;
  doc.source = opened.source;
  if (opened.kind != ArchiveKind::None) doc.root = TreeBuildFromSource(&doc, folders);
}

TestDocument::~TestDocument() {
  TreeFree(doc.root, FreeEntry);
  CloseDocumentSource(&doc);
}

ArchiveNode* TestDocument::AddDirectory(ArchiveNode* parent, const std::string& name) {
  return AddDirectoryNode(folders, parent, name.c_str());
}

ArchiveNode* TestDocument::AddFile(ArchiveNode* parent, const std::string& name,
                                   const std::vector<uint8_t>& bytes) {
  auto* entry = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  entry->kind = static_cast<uint32_t>(EntryKind::MemoryFile);
  entry->name = static_cast<char*>(std::malloc(name.size() + 1));
  std::memcpy(entry->name, name.c_str(), name.size() + 1);
  entry->size = static_cast<uint32_t>(bytes.size());
  if (!bytes.empty()) {
    entry->data = static_cast<uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(entry->data, bytes.data(), bytes.size());
  }
  ArchiveNode* node = TreeAddChild(parent, entry);
  entry->node = node;
  return node;
}

ArchiveNode* TestDocument::AddPath(const std::string& storedPath, const std::vector<uint8_t>& bytes) {
  ArchiveNode* parent = doc.root;
  size_t start = 0;
  for (;;) {
    const size_t slash = storedPath.find('/', start);
    if (slash == std::string::npos) break;
    const std::string name = storedPath.substr(start, slash - start);
    ArchiveEntry key{};
    key.name = const_cast<char*>(name.c_str());
    ArchiveNode* child = TreeFindChild(parent, &key, EntryNameCompare);
    parent = child ? child : AddDirectory(parent, name);
    start = slash + 1;
  }
  if (start == storedPath.size()) return parent;
  return AddFile(parent, storedPath.substr(start), bytes);
}

ArchiveNode* TestDocument::Find(const std::string& storedPath) const {
  return NodeAtPath(doc.root, storedPath);
}

void TestDocument::Adopt(PakArchive* archive) {
  CloseDocumentSource(&doc);
  doc.archiveKind = ArchiveKind::Pak;
  doc.source = archive;
}

void TestDocument::Adopt(Pk3Archive* archive) {
  CloseDocumentSource(&doc);
  doc.archiveKind = ArchiveKind::Pk3;
  doc.source = archive;
}

// ---- Contents and snapshots ----

namespace {

void CollectContents(const ArchiveDocument& doc, const ArchiveNode* node, const std::string& prefix,
                     std::vector<ItemContent>* out) {
  for (const ArchiveNode* c = node->firstChild; c; c = c->nextSibling) {
    const ArchiveEntry* e = c->entry;
    ItemContent item;
    item.path = prefix + e->name;
    if (IsKind(e, EntryKind::Directory)) {
      item.path += "/";
      out->push_back(item);
      CollectContents(doc, c, item.path, out);
      continue;
    }
    EntryBytes bytes;
    // An unreadable entry is marked, so that it never compares equal to a readable one.
    if (LoadEntryBytes(&doc, e, &bytes) != EntryLoad::Ok) item.path += " (unreadable)";
    if (bytes.size) item.bytes.assign(bytes.data, bytes.data + bytes.size);
    ReleaseEntryBytes(&bytes);
    out->push_back(item);
  }
}

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

}  // namespace

std::vector<ItemContent> Contents(const ArchiveDocument& doc) {
  std::vector<ItemContent> out;
  if (doc.root) CollectContents(doc, doc.root, "", &out);
  return out;
}

std::vector<ItemContent> SortedContents(const ArchiveDocument& doc) {
  std::vector<ItemContent> out = Contents(doc);
  std::sort(out.begin(), out.end());
  return out;
}

DocumentSnapshot Snapshot(const ArchiveDocument& doc) {
  DocumentSnapshot s;
  s.lines.push_back("document " + std::to_string(doc.modified) + " " +
                    std::to_string(static_cast<int>(doc.archiveKind)) + " " + Pointer(doc.source) +
                    " " + Pointer(doc.root));
  std::vector<const ArchiveNode*> stack;
  if (doc.root) stack.push_back(doc.root);
  while (!stack.empty()) {
    const ArchiveNode* n = stack.back();
    stack.pop_back();
    for (const ArchiveNode* c = n->firstChild; c; c = c->nextSibling) stack.push_back(c);
    std::string line = "node " + Pointer(n) + " " + Pointer(n->parent) + " " + Pointer(n->prevSibling) +
                       " " + Pointer(n->nextSibling) + " " + Pointer(n->firstChild) + " " + Pointer(n->entry);
    if (const ArchiveEntry* e = n->entry) {
      line += " entry " + std::to_string(e->kind) + " " + Pointer(e->name) + " " +
              std::string(e->name ? e->name : "") + " " + Pointer(e->treeItem) + " " +
              Pointer(e->parentTreeItem) + " " + Pointer(e->pakEntry) + " " + Pointer(e->pk3Record) + " " +
              std::to_string(e->size) + " " + Pointer(e->data) + " " + Pointer(e->node);
      if (IsKind(e, EntryKind::MemoryFile) && e->data) line += " " + Hex(e->data, e->size);
    }
    s.lines.push_back(line);
  }
  if (const PakArchive* pak = DocumentPak(&doc)) {
    s.lines.push_back("pak " + Pointer(pak->file) + " " + std::string(pak->path ? pak->path : "") + " " +
                      Hex(&pak->header, sizeof pak->header) + " " + std::to_string(pak->entryCount));
    s.lines.push_back(Hex(pak->entries, sizeof pak->entries));
  }
  if (const Pk3Archive* pk3 = DocumentPk3(&doc)) {
    s.lines.push_back("pk3 " + Pointer(pk3->file) + " " + std::string(pk3->path ? pk3->path : "") + " " +
                      Hex(pk3->endRecord, kZipEndSize) + " " + Pointer(pk3->records));
    for (uint32_t i = 0; i < pk3->TotalEntries(); ++i)
      s.lines.push_back(Hex(pk3->records[i].header, kZipCentralSize) + " " + pk3->records[i].name);
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

void ExpectFailedSaveOf(TestDocument& doc, const std::string& path, const std::string& message,
                        const std::function<const void*(SaveWindow&)>& save, uint32_t cancelAfter) {
  std::error_code ec;
  const std::filesystem::file_type typeBefore = std::filesystem::status(path, ec).type();
  const DocumentSnapshot before = Snapshot(doc.doc);
  const std::vector<ItemContent> contents = SortedContents(doc.doc);
  RecordingSaveWindow window;
  window.cancelAfterSteps = cancelAfter;
  EXPECT_EQ(save(window), nullptr);
  if (cancelAfter != 0) {
    EXPECT_EQ(window.Texts(), std::vector<std::string>{});
    EXPECT_EQ(window.steps, cancelAfter);
  } else {
    ASSERT_EQ(window.messages.size(), 1u);
  }
  if (cancelAfter == 0) {
  EXPECT_EQ(window.messages[0].text, message);
  EXPECT_EQ(window.messages[0].caption, "Save");
  EXPECT_EQ(window.messages[0].icon, MessageIcon::Stop);
  }
  EXPECT_EQ(window.closes, static_cast<int>(window.progressOpened.size()));
  EXPECT_TRUE(Snapshot(doc.doc) == before);
  EXPECT_EQ(SortedContents(doc.doc), contents);
  EXPECT_EQ(std::filesystem::status(path, ec).type(), typeBefore) << path;
}

PosingFile::PosingFile(TestDocument& doc, const std::string& storedPath)
    : entry(doc.AddPath(storedPath, Bytes("x"))->entry), data_(entry->data) {}

PosingFile::~PosingFile() {
  entry->kind = static_cast<uint32_t>(EntryKind::MemoryFile);
  entry->data = data_;
  entry->size = 1;
  entry->pakEntry = nullptr;
  entry->pk3Record = nullptr;
}

void PosingFile::PoseAs(PakDirEntry* slot) {
  entry->kind = static_cast<uint32_t>(EntryKind::PakFile);
  entry->pakEntry = slot;
  entry->pk3Record = nullptr;
  entry->data = nullptr;
  entry->size = 0;
}

void PosingFile::PoseAs(Pk3CentralRecord* record) {
  entry->kind = static_cast<uint32_t>(EntryKind::Pk3File);
  entry->pk3Record = record;
  entry->pakEntry = nullptr;
  entry->data = nullptr;
  entry->size = 0;
}

void ExpectEachSavedFile(const ArchiveNode* node, const std::function<void(const ArchiveNode*)>& check) {
  for (const ArchiveNode* c = node->firstChild; c; c = c->nextSibling) {
    const ArchiveEntry* e = c->entry;
    if (IsKind(e, EntryKind::Directory)) {
      ExpectEachSavedFile(c, check);
      continue;
    }
    check(c);
    EXPECT_EQ(e->data, nullptr);
    EXPECT_EQ(e->size, 0u);
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

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& plain, int level) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
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

std::vector<uint8_t> BuildZip(const std::vector<ZipPlan>& plans) {
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
  std::vector<uint32_t> offsets;
  for (const ZipPlan& s : plans) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
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
