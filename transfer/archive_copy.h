// Copying items of an archive into a directory of this or another archive. What was added
// is returned; showing it in an archive window's panes is the window's.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/tree.h"
#include "transfer/core/transfer_state.h"

struct ArchiveDocument;

// The items of a "Vellumix Data" payload as the receiver reads them.
struct TransferPayload {
  ArchiveDocument* sourceDocument;  // the document the items belong to
  std::vector<const Node*> items;   // nodes of its tree
};

// Clears state and copies every item in order into targetDir of document. Stops after the
// item during which the user cancelled. true unless cancelled. arrived, when given, tells
// for each item whether it reached the target whole (a directory only with everything below
// it); added receives the new top-level nodes in order. The folder tree's items of new
// directories are the caller's to make.
bool CopyItemsInto(ArchiveDocument* document, Node* targetDir, const TransferPayload& payload, TransferState* state,
                  std::vector<bool>* arrived, std::vector<Node*>* added);
