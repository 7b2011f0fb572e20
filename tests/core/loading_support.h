// Helpers of the loading tests: open an archive file as the archive window does, build its
// tree, and describe the result.
#pragma once

#include <string>
#include <vector>

#include "archive/loading.h"
#include "tests/core/test_support.h"

// An archive opened through OpenArchive by its lower-cased path, as the window program
// opens the paths it is given; a refused open is worded as the program words it.
struct Loaded {
  explicit Loaded(const std::string& file);
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;

  // The format the archive was opened as; null when the open was refused.
  const ArchiveFormat* format() const { return DocumentFormat(&doc); }
  // Builds the tree of the opened source: its root, or null (with the reason in built).
  Node* Build();

  std::string path;  // the lowered path the archive was opened by
  ArchiveDocument doc;
  const ArchiveFormat* triedAs = nullptr;  // the format the file was read as
  Failure opened;  // why the open was refused
  Failure built;   // why the tree could not be built
  // The message of a refused open: ArchiveErrorMessage, one at most.
  std::vector<std::string> messages;
};

// Every node below root in list order, as stored paths joined by spaces
// (directories end in "/").
std::string Listing(const Node* root);

// Checks the links of every node of the tree: each child names its parent, siblings link
// both ways, only containers hold children, and the tree finds every node by its id.
void CheckTreeLinks(const ArchiveTree& tree);
