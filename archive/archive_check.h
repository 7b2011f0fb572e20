// Reading every file entry of an open archive to find the damaged ones, without changing
// the document: a PK3 entry must inflate to its recorded size and match its CRC-32, a PAK
// entry must lie inside the file and clear of its header and directory, and no entry's
// stored bytes may overlap another's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/document.h"
#include "archive/entry_buffer.h"
#include "archive/loading.h"
#include "archive/problem.h"
#include "archive/progress.h"

struct DamagedEntry {
  std::string path;  // the entry's name as stored in the archive
  // What is wrong: LoadFailed with the read's result, or where its bytes lie.
  Failure problem;
};

// A path the archive stores more than once: no damage, but only the first is used.
struct DuplicatePath {
  std::string path;  // the stored path of the tree's file
  uint32_t times;    // how many entries store it
};

struct ArchiveCheckResult {
  uint32_t files = 0;  // file entries read (damaged ones included)
  std::vector<DamagedEntry> damaged;
  std::vector<DuplicatePath> duplicates;  // in the order their shadowed entries are stored
  bool cancelled = false;  // progress asked to stop; the result covers the files before it
};

// Reads each file entry of the document's tree, reporting them in walk order. progress (may
// be null) is shown each entry's stored path and size and stepped after it, on the calling
// thread; when it says Cancelled the check stops there (asked again while a large entry is
// read). Memory files have nothing to check but are counted. Every entry of a path stored
// more than once is read, and the path named among the duplicates. The entries are read and
// checked on workers worker threads (0: one per core); the result is the same whatever
// their number.
// A small archive file is read whole first, unless readWhole is false: its entries are then
// read in runs, as a large one's are.
ArchiveCheckResult CheckArchiveEntries(const ArchiveDocument* doc, SaveProgress* progress, unsigned workers = 0,
                                       bool readWhole = true);

// The number of file entries CheckArchiveEntries reads: the progress dialog's steps.
uint32_t CountCheckedEntries(const ArchiveDocument* doc);

// What CheckArchiveEntries finds in a document whose tree is the one BuildTree makes of its
// source, found from the source and walk (made of that source) alone, with no tree: the same
// entries read, the same damage in the same order, the same duplicates. The entries are read
// (and shown to progress) in the order the archive stores them, which reads the file front
// to back; a cancelled check covers the entries read before it, in that order.
ArchiveCheckResult CheckSourceEntries(const ArchiveDocument* doc, const SourceWalk& walk, SaveProgress* progress,
                                      unsigned workers = 0, bool readWhole = true);

// A check made while the walk it is told by is made.
struct CheckWhileWalking {
  SaveProgress* progress = nullptr;  // may be null
  // Told, before the first entry, how many entries the check reads (may be empty).
  std::function<void(uint32_t)> begin;
  unsigned workers = 0;
  bool readWhole = true;
  ArchiveCheckResult result;  // once the walk passed: what CheckSourceEntries finds
};

// Makes walk of the document's source as SourceWalk::Make does (with its failure) and
// meanwhile, on another thread, checks the entries it holds as files: the two together cost
// about what the longer of them costs. check's progress and begin are called on that thread
// alone until this returns. A failed walk stops the check, and check->result then says
// nothing.
Failure WalkAndCheckEntries(const ArchiveDocument* doc, SourceWalk* walk, bool keepCase, CheckWhileWalking* check);
uint32_t CountCheckedEntries(const SourceWalk& walk);
