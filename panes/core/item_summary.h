// What a set of items adds up to, for their Properties: files and folders below them, their
// plain size, and the stored size of those that lie in the archive file.
#pragma once

#include <cstdint>

#include "archive/document.h"
#include "archive/tree.h"

struct ItemSummary {
  uint64_t files = 0;
  uint64_t folders = 0;  // folders below the items, and the items that are folders
  uint64_t size = 0;     // the plain bytes of every file
  // Files that lie in the archive file: how many, their plain and their stored bytes. The
  // others are held in memory until a save stores them.
  uint64_t storedFiles = 0;
  uint64_t storedPlainSize = 0;
  uint64_t storedSize = 0;
};

// Adds node (a file or a folder, counted with everything below it) to summary; the root
// adds what it holds but is no folder of its own.
void AddToSummary(const ArchiveDocument* doc, const Node* node, ItemSummary* summary);

// What compression saves of plain bytes stored in stored bytes, in whole percent rounded
// to nearest (negative when the stored bytes are more); 0 for no plain bytes.
int SavingPercent(uint64_t plain, uint64_t stored);
