// The format table: one row per archive format the program reads and writes. Everything
// that depends on the format asks the row: which one a file name asks for, what the file
// dialogs offer, the limits checked before a save, how a file is opened as a source and
// how a tree is written. A new format is its reader, its writer and one row here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/problem.h"
#include "archive/tree.h"

class ArchiveSource;
class SaveHost;
struct ArchiveFormat;

// What a format can hold; a save checks them before anything is written.
struct FormatLimits {
  // The most records: when recordsLeaves, one per file and empty directory (the only
  // directories with records of their own); otherwise one per node below the root.
  uint32_t maxRecords;
  bool recordsLeaves;
  uint32_t maxPathLength;  // the longest stored path
  bool flat;               // no folders: every file sits in the root
};

// What a writer is given: the tree to write, the source its entries read from (null for a
// document that never had one), and where and how to write it.
struct WriteJob {
  const ArchiveFormat* format;  // the format written
  const ArchiveTree* tree;
  ArchiveSource* source;
  std::string path;
  int level = 6;        // 0-9, for formats that compress
  unsigned threads = 0;  // workers; 0: one per core
  uint64_t sizeLimit = 0xFFFFFFFFu;  // the largest file the format's fields can describe
  SaveHost* host = nullptr;  // progress and repaint; may be null
};

// What a writer wrote: for every file node, the index of its entry in the written file.
struct WrittenEntries {
  std::vector<std::pair<NodeId, uint32_t>> files;
};

struct ArchiveFormat {
  const char* name;                   // "PAK", "PK3": what messages call the format
  std::vector<const char*> extensions;  // lower case, with their dot; the first is proposed
  int filterString;                   // the string resource of the file dialogs' line for it
  FormatLimits limits;
  bool compresses;                    // a save asks for a compression level
  std::unique_ptr<ArchiveSource> (*open)(const ArchiveFormat& format, const std::string& path, Failure* why);
  Failure (*write)(const WriteJob& job, WrittenEntries* written);
  // For a format that stores a name other than the one it shows (without an extension it
  // shows for the entry's type, say): the length of the name it stores for one it shows;
  // null when it stores the name as shown. The path limit counts this length.
  size_t (*storedNameLength)(const std::string& name) = nullptr;
};

// Every format, in the order the file dialogs list them.
const std::vector<const ArchiveFormat*>& ArchiveFormats();
// The format whose extensions hold path's (in any case), or null. Only the file name's
// last dot counts: a dot in a folder's name decides nothing.
const ArchiveFormat* FormatForPath(const std::string& path);
// The format a new document is saved as, and the one a file without a known extension is
// read as when it is no PAK.
const ArchiveFormat& DefaultFormat();
const ArchiveFormat& PakFormat();

// The extension of path's file name (from its last dot, lower-cased), or "".
std::string FileExtension(const std::string& path);

// The nodes below root in the order an archive is written. First the files that read from
// entries of source and still lie in the folder the source stores them in, in the order
// it stores them; then every other node in tree order (each directory's children from the
// head of its list, a directory's subtree before its next sibling). A directory comes just
// before the first node written inside it, or in tree order when none comes earlier.
std::vector<const Node*> ArchiveOrder(const Node* root, const ArchiveSource* source);

// The first limit of format that tree would pass, first in the order it is written from
// source (ArchiveOrder): Ok (None), or TooManyFiles with the path of the first record past
// the limit (name, count its number, limit the most), PathTooLong with the first path too
// long (count its length, limit the most); in a format without folders NotFlat with the
// first node inside a folder, NameTooLong with the first name too long. more counts the
// further records past the limit, or the further paths or names too long; format is the
// display name in each.
Failure CheckFormatLimits(const Node* root, const ArchiveFormat& format, const ArchiveSource* source = nullptr);

// Files stored more than once under one path (its names equal but for case) sit side by
// side in one folder. The engines load the one they meet first, so the first of them in the
// order the folder is written (ArchiveOrder) is the one shown and used; each later one is
// shadowed by it until it is renamed or the first is deleted. Answers are worked out once
// per folder and kept: make a new Shadows after the tree changes.
class Shadows {
 public:
  explicit Shadows(const ArchiveSource* source);

  bool IsShadowed(const Node* node);
  // The file shown for node's name: node itself unless it is shadowed.
  const Node* ShownFor(const Node* node);
  // The shadowed files among folder's children.
  uint32_t CountIn(const Node* folder);

 private:
  using Folder = std::unordered_map<const Node*, const Node*>;  // shadowed file -> its shown one
  const Folder& In(const Node* folder);

  const ArchiveSource* source_;
  std::unordered_map<const Node*, Folder> folders_;
};

// Every shadowed file below root, in the order they are written.
std::vector<const Node*> ShadowedFiles(const Node* root, const ArchiveSource* source);
