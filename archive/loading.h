// Opening an archive file by the format its name asks for, and turning its stored paths
// into the archive tree.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/document.h"
#include "archive/problem.h"
#include "archive/source.h"

// Opens path as the format of its extension (in any case); a name with no known extension is
// tried as a PAK, then as the default format. Null on failure, with *why and in *format the
// format it was read as (for the message).
std::unique_ptr<ArchiveSource> OpenArchive(const std::string& path, Failure* why, const ArchiveFormat** format);

// Builds the document's tree from its source (an empty root for a document without one),
// a tree that keeps the case of names when keepCase. A file stored twice is kept twice (see
// Shadows). On failure the document has no tree and *why says what is wrong with which
// stored path.
Failure BuildTree(ArchiveDocument* doc, bool keepCase = false);

// Whether the source's entry names a directory (its stored path ends in "/"): a tree or walk
// made of a whole source holds all the other entries as files.
bool NamesDirectory(const ArchiveSource& source, uint32_t index);

// The tree BuildTree would make of a source, known by its shape alone: which entries are its
// files, in the order a walk of the tree meets them, and which files are shadowed by an
// earlier one of their path. For work that reads every file once and needs no nodes (the
// command-line test), at a fraction of a tree's cost.
class SourceWalk {
 public:
  SourceWalk() = default;
  SourceWalk(const SourceWalk&) = delete;
  SourceWalk& operator=(const SourceWalk&) = delete;

  // Shapes the source's stored paths as BuildTree does, refusing what it refuses with the
  // same failure. The source must outlive the walk.
  Failure Make(const ArchiveSource& source, bool keepCase = false);

  // The file entries of the source, in walk order.
  const std::vector<uint32_t>& Files() const { return files_; }
  // A file stored again under the path of an earlier one, which shadows it: in the order the
  // source stores them, the later entry and the earlier one's place in the shape.
  struct Shadowed {
    uint32_t entry;
    uint32_t first;
  };
  const std::vector<Shadowed>& ShadowedFiles() const { return shadowed_; }
  // The path the tree holds a place under (its StoredPath): names as the tree keeps them.
  std::string TreePath(uint32_t place) const;

 private:
  class Shape;
  static constexpr uint32_t kNone = UINT32_MAX;
  // A node: the root at 0, each other one after its parent. files and start are made once
  // all are placed: the files in the node's subtree, and where the first of them is in walk
  // order.
  struct Place {
    uint32_t parent = kNone;
    uint32_t entry = kNone;  // a file's entry; kNone for folders
    uint32_t files = 0, start = 0;
    std::string_view name;   // in the source's names or in texts_
  };
  std::vector<Place> nodes_;
  std::vector<Shadowed> shadowed_;
  std::deque<std::string> texts_;  // names converted to UTF-8
  std::vector<uint32_t> files_;
  bool keepCase_ = false;
};
