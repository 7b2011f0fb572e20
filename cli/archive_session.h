// An archive opened from the command line: its source and its tree, as the window
// program has them, freed at the end.
#pragma once

#include <string>

#include "archive/accepting_folder_tree.h"
#include "archive/document.h"
#include "cli/console.h"

class OpenedDocument {
 public:
  OpenedDocument() = default;
  ~OpenedDocument();
  OpenedDocument(const OpenedDocument&) = delete;
  OpenedDocument& operator=(const OpenedDocument&) = delete;

  // Opens the archive at path (PAK or PK3 by its extension, as the window program does) and
  // builds its tree unless withTree is false. False after the message naming the archive
  // and what is wrong.
  bool Open(const std::string& path, bool withTree = true);
  // An empty new document, for create.
  bool New();

  ArchiveDocument doc{};
  AcceptingFolderTree folders;
  std::string path;
};

// The archive format a file name asks for: ".pak" a PAK, ".pk3" and ".zip" a PK3, in any
// case; None for any other name.
ArchiveKind KindForName(const std::string& path);
