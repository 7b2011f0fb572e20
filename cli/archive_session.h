// An archive opened from the command line: its source and its tree, as the window program
// has them.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/format.h"
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

// The node at a path typed by the user ("maps/e1m1.bsp", "maps/", "Maps\\"), its names
// compared without regard to case; of a file stored more than once, the one shown. Null when
// the archive holds nothing there.
const Node* FindTyped(const Node* root, const std::string& path, Shadows& shadows);
