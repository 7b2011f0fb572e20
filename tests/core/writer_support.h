// Helpers of the entry-data and writer tests: documents built in memory or opened
// from files, a recording save host, snapshots of a document, readers of the
// written bytes that share no code with the program, and ZIP files made to order.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_output.h"
#include "archive/document.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "archive/save.h"
#include "archive/tree.h"
#include "archive/zip_records.h"
#include "tests/core/test_support.h"

// Records every call of a save's host and of its progress dialog, and the message the
// window program shows for a failed save (SaveFailureMessage; none for a cancelled one).
class RecordingSaveHost : public SaveHost {
 public:
  void Repaint() override { ++repaints; }
  SaveProgress* OpenProgress(uint32_t steps) override;
  // Records the message of a save to target that failed so.
  void RecordFailure(const Failure& failure, const std::string& target);

  // Texts of the messages shown, in order.
  const std::vector<std::string>& Texts() const { return messages; }

  bool refuseProgress = false;  // OpenProgress returns null
  std::vector<std::string> messages;
  Failure failure;  // of the last failed save
  int repaints = 0;
  std::vector<uint32_t> progressOpened;  // steps of each opened dialog
  std::vector<std::pair<std::string, uint32_t>> items;
  uint32_t steps = 0;
  uint32_t cancelAfterSteps = 0;  // the user cancels once this many files are written; 0 never
  int closes = 0;

 private:
  class Progress : public SaveProgress {
   public:
    explicit Progress(RecordingSaveHost* owner) : owner_(owner) {}
    void ShowItem(const char* storedPath, uint32_t size) override {
      owner_->items.emplace_back(storedPath, size);
    }
    void Step() override { ++owner_->steps; }
    bool Cancelled() override { return owner_->cancelAfterSteps != 0 && owner_->steps >= owner_->cancelAfterSteps; }
    void Close() override { ++owner_->closes; }

   private:
    RecordingSaveHost* owner_;
  };
  Progress progress_{this};
};

// A document for one test: a new one (empty root), or one opened from a file.
class TestDocument {
 public:
  TestDocument();
  // Opened from path, in a tree that keeps the case of names when keepCase.
  explicit TestDocument(const std::string& path, bool keepCase = false);
  TestDocument(const TestDocument&) = delete;
  TestDocument& operator=(const TestDocument&) = delete;

  bool ok() const { return doc.tree != nullptr; }
  Node* root() const { return doc.root(); }
  ArchiveTree& tree() const { return *doc.tree; }
  Node* AddDirectory(Node* parent, const std::string& name);
  // A memory file holding a copy of bytes.
  Node* AddFile(Node* parent, const std::string& name, const std::vector<uint8_t>& bytes);
  // Adds the directories of a stored path as needed and the file at its end.
  Node* AddPath(const std::string& storedPath, const std::vector<uint8_t>& bytes);
  // The node at a stored path ("maps/level1.bsp", "maps/"), or null.
  Node* Find(const std::string& storedPath) const;

  ArchiveDocument doc;
};

// Save options of a level, a number of threads and a size limit.
inline SaveOptions Options(int level, unsigned threads = 0, uint64_t sizeLimit = kArchiveSizeLimit) {
  SaveOptions options;
  options.level = level;
  options.threads = threads;
  options.sizeLimit = sizeLimit;
  return options;
}

// Writes the document in format at path as a save writes it (WriteArchiveFile) and makes
// the written file the document's source (AdoptWritten). On failure the host records the
// message and the document is left as it was. True on success.
bool SaveAs(TestDocument& doc, const ArchiveFormat& format, const std::string& path, RecordingSaveHost& host,
            const SaveOptions& options = SaveOptions());

// One node of a document as a user sees it: stored path and bytes.
struct ItemContent {
  std::string path;  // directories end in "/"
  std::vector<uint8_t> bytes;
  bool operator==(const ItemContent& o) const { return path == o.path && bytes == o.bytes; }
  bool operator<(const ItemContent& o) const { return path < o.path; }
};
// Shows a path and its bytes' count in a failed expectation.
void PrintTo(const ItemContent& item, std::ostream* out);
// Every node below the root in walk order, with the bytes of every file (read through
// LoadEntryBytes; a file that cannot be read has " (unreadable)" after its path).
std::vector<ItemContent> Contents(const ArchiveDocument& doc);
// As Contents, sorted by path: reopening an archive reverses the order of children.
std::vector<ItemContent> SortedContents(const ArchiveDocument& doc);

// Everything of a document that a failed save must leave as it was: every node and what
// its bytes are, the bytes of memory files, and the source with every entry it describes.
struct DocumentSnapshot {
  std::vector<std::string> lines;
  bool operator==(const DocumentSnapshot& o) const { return lines == o.lines; }
};
DocumentSnapshot Snapshot(const ArchiveDocument& doc);

// A save in format to path that must fail with message and leave the document exactly as
// it was, and no file at path unless one was there before (which stays, whatever it is).
// With cancelAfter, the user cancels once that many files are written, and no message
// may show.
void ExpectFailedSaveOf(TestDocument& doc, const ArchiveFormat& format, const std::string& path,
                        const std::string& message, const SaveOptions& options = SaveOptions(),
                        uint32_t cancelAfter = 0);

// Makes a file of the document read from an entry its source does not hold, as an entry of
// another archive's source would: the first index past the source's entries (any index,
// for a document without a source).
void PoseAsForeignEntry(TestDocument& doc, Node* file);

// Expects of every file node what a saved one holds: its bytes are an entry of the
// document's source (of that entry's size, no two files one entry) and none in memory; and
// calls check with each.
void ExpectEachSavedFile(const ArchiveDocument& doc, const std::function<void(const Node*)>& check = nullptr);

// The writers' limit messages, as the user reads them.
inline constexpr char kMaxFiles[] = "Maximum number of files exceeded.\nOperation aborted.";
inline constexpr char kMaxPath[] = "Maximum path length exceeded.\nOperation aborted.";

// Adds the two memory files the size-limit cases write: 3 MiB of random bytes, then a
// small text.
void AddBigAndSmall(TestDocument& doc);

// ---- Reading written files independently of the program ----

// The bytes of a file written by a test (empty, after a failed expectation, when unreadable).
std::vector<uint8_t> FileBytes(const std::string& path);

struct PakListingItem {
  std::string name;
  uint32_t offset;
  uint32_t length;
};
struct PakListing {
  bool ok = false;
  uint32_t dirOffset = 0, dirLength = 0;
  std::vector<PakListingItem> items;
};
PakListing ParsePak(const std::vector<uint8_t>& file);

struct WadListingItem {
  std::string name;  // the name field up to its first NUL
  uint32_t filePos, diskSize, size;
  uint8_t type, compression;
  bool padded;  // the pad bytes and every byte of the name field after the name are NUL
  std::vector<uint8_t> data;  // size bytes at filePos
};
struct WadListing {
  bool ok = false;
  uint32_t count = 0, dirOffset = 0;
  std::vector<WadListingItem> items;
};
// A WAD2 file read by its layout alone: the header, then every 32-byte record of the
// directory; not ok when a record or its bytes lie outside the file.
WadListing ParseWad(const std::vector<uint8_t>& file);

struct ZipListingItem {
  std::string name;
  uint16_t versionMadeBy, versionNeeded, flags, method, time, date;
  uint32_t crc, compressedSize, uncompressedSize, localOffset;
  uint16_t extraLength, commentLength, diskStart, internalAttributes;
  uint32_t externalAttributes;
  bool localMatches;          // the local header repeats the central fields and name
  std::vector<uint8_t> data;  // the stored bytes, as in the file
};
struct ZipListing {
  bool ok = false;
  std::string error;
  uint16_t entries = 0;
  uint32_t centralOffset = 0, centralSize = 0;
  std::vector<ZipListingItem> items;
};
ZipListing ParseZip(const std::vector<uint8_t>& file);

// Writes files (stored path with "/", bytes) below root, making its folders; a failure to
// write fails the test.
void MakeFolder(const std::string& root, const std::vector<std::pair<std::string, std::string>>& files);

// Raw deflate and inflate with zlib directly; the deflate with the writer's memory level
// unless another is given.
std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& plain, int level, int memoryLevel = 8);
bool RawInflate(const std::vector<uint8_t>& packed, size_t size, std::vector<uint8_t>* plain);

// Deterministic test data: text-like (compresses well) or random (does not).
std::vector<uint8_t> TextBytes(uint32_t seed, size_t size);
std::vector<uint8_t> RandomBytes(uint32_t seed, size_t size);
std::vector<uint8_t> Bytes(const std::string& text);

// ---- ZIP files made to order ----

struct ZipPlan {
  std::string name;
  std::vector<uint8_t> stored;  // bytes as they lie in the file
  uint16_t method = 0;          // central record
  int localMethod = -1;         // -1: as the central record
  uint16_t flags = 0;
  uint16_t time = 0x6000, date = 0x2A43;
  uint32_t crc = 0;
  uint32_t compressedSize = 0, uncompressedSize = 0;
  uint16_t localExtra = 0, centralExtra = 0;
  int64_t localOffset = -1;  // -1: where the local header really is
  int64_t localCompressedSize = -1;  // -1: as the central record
  bool badLocalSignature = false;
};
// An entry stored as it is, or deflated with zlib at level (sizes and CRC filled in).
ZipPlan StoredPlan(const std::string& name, const std::vector<uint8_t>& plain);
ZipPlan DeflatedPlan(const std::string& name, const std::vector<uint8_t>& plain, int level);
// bytesBackwards: the local headers and data lie in the file in the reverse of the order of
// the central directory's records.
std::vector<uint8_t> BuildZip(const std::vector<ZipPlan>& plans, bool bytesBackwards = false);

#ifndef _WIN32
// Runs unzip -t, 7z t, bsdtar (list and extract) and Python's zipfile.testzip() on a ZIP
// file; empty when every one accepts it, else the commands that did not.
std::string ZipToolFailures(const std::string& path);
#endif
