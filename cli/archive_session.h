// An archive opened from the command line: its source and its tree, as the window program
// has them.
#pragma once

#include <string>

#include "archive/archive_check.h"
#include "archive/document.h"
#include "archive/format.h"
#include "archive/game_folder.h"
#include "archive/loading.h"
#include "cli/console.h"

class OpenedDocument {
 public:
  // Opens the archive at path (by its extension, as the window program does) and builds its
  // tree (one that keeps the case of names when keepCase) unless withTree is false. A folder
  // is opened as a game folder (archive/game_folder.h) searched as target's engine would,
  // or as the engine its name suggests when target is null; what its view leaves out is
  // named on stderr. False after the message naming the archive and what is wrong.
  bool Open(const std::string& path, bool withTree = true, bool keepCase = false, const EngineTarget* target = nullptr);
  // Opens the archive or game folder at path as Open does, without its tree, and makes walk
  // of it instead, refusing what Open refuses with the same message. With check, its entries
  // are checked meanwhile (WalkAndCheckEntries).
  bool OpenWalk(const std::string& path, SourceWalk* walk, bool keepCase = false, const EngineTarget* target = nullptr,
                CheckWhileWalking* check = nullptr);
  // An empty new document, for create.
  void New(bool keepCase);

  ArchiveDocument doc;
  std::string path;
  // A file a game folder's view leaves out (see OpenGameFolder).
  std::string leaveOut;
  // The game folder opened, or null for an archive.
  const GameFolderSource* folder() const { return doc.source ? doc.source->AsGameFolder() : nullptr; }
};

// The target a command-line gives, or null for the one guessed.
inline const EngineTarget* GivenTarget(bool given, const EngineTarget& target) { return given ? &target : nullptr; }

// The node at a path typed by the user ("maps/e1m1.bsp", "maps/", "Maps\\"), its names
// compared without regard to case; of a file stored more than once, the one shown. Null when
// the archive holds nothing there.
const Node* FindTyped(const Node* root, const std::string& path, Shadows& shadows);
