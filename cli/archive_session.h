// An archive opened from the command line: its source and its tree, as the window program
// has them.
#pragma once

#include <string>

#include "archive/document.h"
#include "cli/console.h"

class OpenedDocument {
 public:
  // Opens the archive at path (by its extension, as the window program does) and builds its
  // tree (one that keeps the case of names when keepCase) unless withTree is false. False
  // after the message naming the archive and what is wrong.
  bool Open(const std::string& path, bool withTree = true, bool keepCase = false);
  // An empty new document, for create.
  void New(bool keepCase);

  ArchiveDocument doc;
  std::string path;
};
