// Copying archive nodes into a directory of a document: files cloned (within one archive)
// or turned into memory files (from another), directories created or merged, name conflicts
// settled by the rule.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/tree.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/transfer_state.h"

// A copy of a file node at the head of targetDir's children under name: its bytes are the
// file's (an entry of the same source stays one; bytes in memory are shared, as they never
// change). Null when targetDir is no folder or the node no file.
Node* CloneFileNode(ArchiveTree& tree, Node* targetDir, const Node* file, const std::string& name);

// Where copied items go and how conflicts are settled.
struct NodeCopyContext {
  ArchiveTree& tree;  // the target document's
  ReplaceAsker& asker;
  TransferState* state;
  // Null: the items belong to the target document, and file copies keep their bytes' place.
  // Otherwise the document whose source holds the items' bytes: files arrive as memory files.
  const ArchiveDocument* sourceDocument;
  // Set by CopyNodeInto when anything of the item did not arrive (a file the user chose to
  // keep, an unreadable one, a failure, a cancel): a move must then leave the item where it is.
  bool incomplete = false;
};

// Copies item (a node of the source document's tree, or of the target's own) into
// targetDir, with everything below it. The new top-level node, or null when nothing new was
// made at the top (merged directory, replaced or skipped file, failure). context.incomplete
// tells afterwards whether the item arrived whole.
Node* CopyNodeInto(NodeCopyContext& context, Node* targetDir, const Node* item);
