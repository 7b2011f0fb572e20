// What the fuzz targets share: the input as a file, a save host that shows nothing, and the
// invariants every built tree keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/document.h"
#include "archive/progress.h"

// Writes the input to a per-process temporary file with the given extension and
// returns its path; empty on failure.
std::string WriteInputFile(const uint8_t* data, size_t size, const char* extension);

// A save's host that shows nothing and opens no progress dialog.
class QuietSaveHost : public SaveHost {
 public:
  void Repaint() override {}
  SaveProgress* OpenProgress(uint32_t) override { return nullptr; }
};

// Checks the invariants every built tree keeps, and that each file of the document reads
// from an entry its source has, of that entry's size; aborts (a finding) when one is broken.
void CheckTree(const ArchiveDocument& doc);

// Builds the tree of an opened source as the program does and checks it. Each of the
// source's stored paths adds at most one leaf.
void BuildAndCheck(std::unique_ptr<ArchiveSource> source);
