// The archive side of a document: its tree, and the open source its file entries read from.
// The archive window adds its panes and view state on top of this record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/engine_target.h"
#include "archive/format.h"
#include "archive/source.h"
#include "archive/tree.h"

struct ArchiveDocument {
  int32_t modified = 0;
  // The game the archive is made for: its engine's rules are checked before a save.
  EngineTarget target = EngineTarget::Any;
  // The file the document was opened from or last saved to; null before its first save.
  std::unique_ptr<ArchiveSource> source;
  // Null until the tree is built.
  std::unique_ptr<ArchiveTree> tree;

  Node* root() const { return tree ? tree->root() : nullptr; }
};

// Whether the document shows a game folder (archive/game_folder.h): read as the game reads
// it, never edited or saved.
inline bool IsGameFolderView(const ArchiveDocument* doc) {
  return doc && doc->source && doc->source->AsGameFolder() != nullptr;
}

// The path the document was opened from or last saved to; null before its first save.
inline const char* DocumentPath(const ArchiveDocument* doc) {
  return doc && doc->source ? doc->source->path().c_str() : nullptr;
}
// The format of the document's file; null before its first save.
inline const ArchiveFormat* DocumentFormat(const ArchiveDocument* doc) {
  return doc && doc->source ? &doc->source->format() : nullptr;
}
