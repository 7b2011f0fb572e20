// What the fuzz targets share: the input as a file, and seams that accept everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/ui.h"

// Writes the input to a per-process temporary file with the given extension and
// returns its path (lower case, as the loader lowers paths); empty on failure.
std::string WriteInputFile(const uint8_t* data, size_t size, const char* extension);

class AcceptingFolderTree : public FolderTree {
 public:
  TreeItem InsertRootItem(ArchiveEntry*) override { return Next(); }
  TreeItem InsertFolderItem(TreeItem, ArchiveEntry*) override { return Next(); }
  TreeItem RootMarker() override { return &marker_; }

 private:
  TreeItem Next() { return reinterpret_cast<TreeItem>(++count_); }
  uintptr_t count_ = 0;
  char marker_ = 0;
};

class IgnoringMessages : public MessageSink {
 public:
  void ShowMessage(const char*, const char*, MessageIcon) override {}
};

// Checks the invariants every built tree keeps; aborts (a finding) when one is broken.
void CheckTree(const ArchiveNode* root);
