// Copying archive nodes into a directory of a document: file entries cloned or turned
// into memory files, directories created or merged, name conflicts settled by the rule.
#pragma once

#include <cstdint>

#include "archive/document.h"
#include "archive/tree.h"
#include "archive/ui.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/transfer_state.h"

// A copy of a file entry linked at the head of targetDir's children: its own name, its kind
// without the Viewing flag, and for a memory file its own copy of the bytes. Null (nothing
// left allocated) on failure.
ArchiveNode* CloneFileEntry(ArchiveNode* targetDir, const ArchiveEntry* entry, const char* name);

// A new memory file node at the head of parent's children that takes over data (size bytes,
// null when size is 0). Null on failure; data then still belongs to the caller.
ArchiveNode* AddMemoryFileNode(ArchiveNode* parent, const char* name, uint8_t* data, uint32_t size);

// Rewrites a file entry in place as a memory file holding data: its old buffer is freed, its
// node, name, list and tree items stay, and a Viewing flag stays with it.
void ReplaceWithMemoryFile(ArchiveEntry* entry, uint8_t* data, uint32_t size);

// A heap copy of size bytes (null for 0). false when the copy cannot be made or the
// source claims bytes it does not have.
bool CopyBytes(const uint8_t* data, uint32_t size, uint8_t** copy);

// Where copied items go and how conflicts and new directories are handled.
struct NodeCopyContext {
  FolderTree& folderTree;  // new directories get their folder-tree items here
  ReplaceAsker& asker;
  TransferState* state;
  // Null: the items belong to the target document, and file copies keep their kind.
  // Otherwise the document whose source holds the items' bytes: files arrive as memory files.
  const ArchiveDocument* sourceDocument;
  // Set by CopyNodeInto when anything of the item did not arrive (a file the user chose to
  // keep, an unreadable one, a failure, a cancel): a move must then leave the item where it is.
  bool incomplete = false;
};

// Copies item (a node copy whose entries are live entries) into targetDir, following the
// copy's own children. The new top-level node, or null when nothing new was made at the top
// (merged directory, replaced or skipped file, failure). context.incomplete tells afterwards
// whether the item arrived whole.
ArchiveNode* CopyNodeInto(NodeCopyContext& context, ArchiveNode* targetDir, const ArchiveNode* item);
