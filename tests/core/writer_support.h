// Helpers of the entry-data and writer tests: documents built in memory or opened
// from files, a recording save window, snapshots of a document, readers of the
// written bytes that share no code with the program, and ZIP files made to order.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "archive/document.h"
#include "archive/formats.h"
#include "archive/loading.h"
#include "archive/tree.h"
#include "archive/ui.h"
#include "tests/core/test_support.h"

// Records messages and every call of the progress dialog.
class RecordingSaveWindow : public SaveWindow {
 public:
  void ShowMessage(const char* text, const char* caption, MessageIcon icon) override {
    messages.push_back({text, caption, icon});
  }
  void Repaint() override { ++repaints; }
  SaveProgress* OpenProgress(uint32_t steps) override;

  // Texts of the messages shown, in order.
  std::vector<std::string> Texts() const;

  bool refuseProgress = false;  // OpenProgress returns null
  std::vector<RecordedMessage> messages;
  int repaints = 0;
  std::vector<uint32_t> progressOpened;  // steps of each opened dialog
  std::vector<std::pair<std::string, uint32_t>> items;
  uint32_t steps = 0;
  uint32_t cancelAfterSteps = 0;  // the user cancels once this many files are written; 0 never
  int closes = 0;

 private:
  class Progress : public SaveProgress {
   public:
    explicit Progress(RecordingSaveWindow* owner) : owner_(owner) {}
    void ShowItem(const char* storedPath, uint32_t size) override {
      owner_->items.emplace_back(storedPath, size);
    }
    void Step() override { ++owner_->steps; }
    bool Cancelled() override { return owner_->cancelAfterSteps != 0 && owner_->steps >= owner_->cancelAfterSteps; }
    void Close() override { ++owner_->closes; }

   private:
    RecordingSaveWindow* owner_;
  };
  Progress progress_{this};
};

// Node copies of live nodes, as Cut, Copy and drag make them; freed at the end.
struct Items {
  std::vector<ArchiveNode*> copies;
  explicit Items(std::initializer_list<ArchiveNode*> nodes) {
    for (ArchiveNode* n : nodes) copies.push_back(TreeCopy(n, nullptr, nullptr));
  }
  ~Items() {
    for (ArchiveNode* c : copies) TreeFree(c, nullptr);
  }
  Items(const Items&) = delete;
  Items& operator=(const Items&) = delete;
  ArchiveNode* operator[](size_t i) const { return copies[i]; }
};

// A document for one test: a new one (empty root), or one opened from a file. Its tree
// and source are freed at the end.
class TestDocument {
 public:
  TestDocument();
  explicit TestDocument(const std::string& path);
  ~TestDocument();
  TestDocument(const TestDocument&) = delete;
  TestDocument& operator=(const TestDocument&) = delete;

  bool ok() const { return doc.root != nullptr; }
  ArchiveNode* root() const { return doc.root; }
  ArchiveNode* AddDirectory(ArchiveNode* parent, const std::string& name);
  ArchiveNode* AddFile(ArchiveNode* parent, const std::string& name, const std::vector<uint8_t>& bytes);
  // Adds the directories of a stored path as needed and the file at its end.
  ArchiveNode* AddPath(const std::string& storedPath, const std::vector<uint8_t>& bytes);
  // The node at a stored path ("maps/level1.bsp", "maps/"), or null.
  ArchiveNode* Find(const std::string& storedPath) const;
  // Makes a saved archive the document's source, closing the old one, as the save
  // pipeline does after a successful save.
  void Adopt(PakArchive* archive);
  void Adopt(Pk3Archive* archive);

  ArchiveDocument doc{};
  RecordingFolderTree folders;
  RecordingMessages messages;
};

// One node of a document as a user sees it: stored path and bytes.
struct ItemContent {
  std::string path;  // directories end in "/"
  std::vector<uint8_t> bytes;
  bool operator==(const ItemContent& o) const { return path == o.path && bytes == o.bytes; }
  bool operator<(const ItemContent& o) const { return path < o.path; }
};
// Every node below the root in walk order, with the bytes of every file (read through
// LoadEntryBytes; a file that cannot be read has " (unreadable)" after its path).
std::vector<ItemContent> Contents(const ArchiveDocument& doc);
// As Contents, sorted by path: reopening an archive reverses the order of children.
std::vector<ItemContent> SortedContents(const ArchiveDocument& doc);

// Everything of a document that a failed save must leave as it was: every node and entry
// record, the bytes of memory files, and the source record.
struct DocumentSnapshot {
  std::vector<std::string> lines;
  bool operator==(const DocumentSnapshot& o) const { return lines == o.lines; }
};
DocumentSnapshot Snapshot(const ArchiveDocument& doc);

// A save to path that must fail with message and leave the document exactly as it was,
// and no file at path unless one was there before (which stays, whatever it is): save
// runs the writer with the window given and returns what it returned. With cancelAfter,
// the user cancels once that many files are written, and no message may show.
void ExpectFailedSaveOf(TestDocument& doc, const std::string& path, const std::string& message,
                        const std::function<const void*(SaveWindow&)>& save, uint32_t cancelAfter = 0);

// A one-byte memory file added to a document and then made to pose as a file of another
// archive. At the end it is the memory file again, so that the document frees its bytes.
class PosingFile {
 public:
  PosingFile(TestDocument& doc, const std::string& storedPath);
  ~PosingFile();
  PosingFile(const PosingFile&) = delete;
  PosingFile& operator=(const PosingFile&) = delete;

  // Makes the entry a PakFile at slot, or a Pk3File at record, with no bytes of its own.
  void PoseAs(PakDirEntry* slot);
  void PoseAs(Pk3CentralRecord* record);

  ArchiveEntry* entry;

 private:
  uint8_t* data_;
};

// Calls check with every file node below node, directories walked into, and expects of
// each what every saved file entry holds: no bytes of its own.
void ExpectEachSavedFile(const ArchiveNode* node, const std::function<void(const ArchiveNode*)>& check);

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

// Raw deflate and inflate with zlib directly.
std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& plain, int level);
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
std::vector<uint8_t> BuildZip(const std::vector<ZipPlan>& plans);

#ifndef _WIN32
// Runs unzip -t, 7z t, bsdtar (list and extract) and Python's zipfile.testzip() on a ZIP
// file; empty when every one accepts it, else the commands that did not.
std::string ZipToolFailures(const std::string& path);
#endif
