// What the fuzz targets share: the input as a file, and seams that accept everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/document.h"
#include "archive/ui.h"
#include "archive/accepting_folder_tree.h"

// Writes the input to a per-process temporary file with the given extension and
// returns its path (lower case, as the loader lowers paths); empty on failure.
std::string WriteInputFile(const uint8_t* data, size_t size, const char* extension);

class IgnoringMessages : public MessageSink {
 public:
  void ShowMessage(const char*, const char*, MessageIcon) override {}
};

// A save's window that shows nothing and opens no progress dialog.
class QuietSaveWindow : public SaveWindow {
 public:
  void ShowMessage(const char*, const char*, MessageIcon) override {}
  void Repaint() override {}
  SaveProgress* OpenProgress(uint32_t) override { return nullptr; }
};

// Checks the invariants every built tree keeps; aborts (a finding) when one is broken.
void CheckTree(const ArchiveNode* root);

// Builds the tree of an opened source as the program does, checks it and closes the
// source. entryCount is the source's number of stored paths, each of which adds at most
// one leaf.
void BuildAndCheck(ArchiveKind kind, void* source, uint32_t entryCount);
