// A folder tree that accepts every item and keeps nothing: the items are distinct
// non-null handles. For programs with no tree pane (the command-line tool) and for the
// fuzz targets and benchmarks, where recording would be the larger part of the work.
#pragma once

#include <cstdint>

#include "archive/ui.h"

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
