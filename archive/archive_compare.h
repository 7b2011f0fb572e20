// Comparing two sides file by file: an archive (a document whose tree is built) or a folder
// on disk, each. Side A is the new one (a mod, a newer release), side B the base it is
// compared with. Every file path of either side is one item: added (only in A), removed
// (only in B), changed, the same, or unreadable (its bytes were needed and could not be had).
//
// Paths match without regard to case, as the tree's names do. Of a path an archive stores
// more than once only the shown file counts (Shadows). Only files are compared: folders,
// empty ones too, are not items.
//
// Same or changed: when both files are entries whose records keep a CRC-32 (ZIP), their
// sizes and CRC-32s decide and nothing is read; otherwise different sizes make a change,
// and equal ones are decided by the bytes, read side by side in pieces, so memory stays
// bounded whatever the files' sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/document.h"
#include "archive/problem.h"
#include "archive/progress.h"
#include "archive/tree.h"

enum class CompareKind : uint8_t { Added, Removed, Changed, Same, Unreadable };
constexpr size_t kCompareKinds = 5;

// One side: an archive, or a folder on disk. The archive's document must not change while
// it is compared, nor while the result's node ids are used.
struct CompareSide {
  const ArchiveDocument* document = nullptr;  // an archive with its tree built, or null
  std::string folder;                         // with no document: the folder's disk path

  static CompareSide Archive(const ArchiveDocument* doc) {
    CompareSide side;
    side.document = doc;
    return side;
  }
  static CompareSide Folder(std::string path) {
    CompareSide side;
    side.folder = std::move(path);
    return side;
  }
};

// A file of one side: its node in the archive's tree, or its path on disk.
struct CompareFile {
  NodeId node = kNoNode;
  std::string diskPath;
  uint64_t size = 0;

  bool present() const { return node != kNoNode || !diskPath.empty(); }
};

struct ComparedItem {
  CompareKind kind = CompareKind::Same;
  // The stored path: as side A shows it (the tree's names, a folder's as the options
  // make them), else as side B does.
  std::string path;
  CompareFile a, b;  // a is absent from a removed item, b from an added one
  // Unreadable: why, with the stored path or the disk path of the file that could not be
  // read (LoadFailed and the read's result for an entry, Unreadable or CannotOpen for a
  // disk file), and which side it is of.
  Failure failure;
  bool failedInA = false;
};

struct CompareOptions {
  // Names of a folder side keep the case they have on disk; otherwise they are lower-cased,
  // as the tree lower-cases the names that enter it.
  bool keepCase = false;
  // A disk file left out of a folder side (the patch about to be written, say); empty: none.
  std::string leaveOut;
};

struct Comparison {
  // Sorted by path without regard to case (the byte order of the lower-cased paths), so
  // the order is the same whichever way either side was stored or walked.
  std::vector<ComparedItem> items;
  uint32_t counts[kCompareKinds] = {};
  // The folders of a folder side that could not be listed: what they hold is not compared.
  std::vector<std::string> unreadableFolders;
  // Disk files of a folder side left out because another file there has the same path
  // but for case (the first in byte order of the names counts, as a folder walk meets them).
  std::vector<std::string> caseTwins;
  // progress asked to stop: the items are incomplete.
  bool cancelled = false;

  uint32_t Count(CompareKind kind) const { return counts[static_cast<size_t>(kind)]; }
  // Whether the two sides hold the same files: nothing added, removed, changed or
  // unreadable, and every folder read.
  bool Identical() const;
  // Whether the result can be trusted whole: nothing unreadable, every folder read, not
  // cancelled.
  bool Complete() const;
};

// Compares side a with side b. host (may be null) is given one step per path both sides
// hold, and its progress is asked between files and between the pieces of a long read
// whether to stop.
Comparison CompareSides(const CompareSide& a, const CompareSide& b, const CompareOptions& options = CompareOptions(),
                        SaveHost* host = nullptr);
