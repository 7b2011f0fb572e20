// Helpers of the loading tests: open an archive file as the archive window does,
// build its tree, and describe the result.
#pragma once

#include <string>
#include <vector>

#include "archive/loading.h"
#include "tests/core/test_support.h"

// An archive opened through OpenArchiveFile, closed with its tree at the end of the test.
struct Loaded {
  explicit Loaded(const std::string& file);
  ~Loaded();
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  // Builds the tree of the opened source (null when that fails).
  ArchiveNode* Build();

  std::string path;  // the path after OpenArchiveFile lowered it
  ArchiveDocument doc{};
  RecordingMessages messages;
  RecordingFolderTree folders;
};

// Every node below root in list order, as stored paths joined by spaces
// (directories end in "/").
std::string Listing(const ArchiveNode* root);

// Checks that the root and every directory have their folder-tree item under the
// parent's item, and that no other item exists.
void CheckFolderItems(const ArchiveNode* root, const RecordingFolderTree& folders);

bool MakeDirectory(const std::string& path);
