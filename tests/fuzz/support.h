// What the fuzz targets share: the input as a file, a save host that shows nothing, and the
// invariants every built tree keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/document.h"
#include "archive/format.h"
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

// Opens the input as the format of the extension (".pak", ".pk3", ".wad"), which must say
// why when it refuses, and builds and checks the tree of what it opens.
void OpenAndCheck(const uint8_t* data, size_t size, const char* extension);

// The format a target's choice byte names: PK3 when odd, otherwise PAK, or WAD2 when
// the byte's top bit is set (the other format without folders).
const ArchiveFormat& ChosenFormat(bool pk3, uint8_t choice);
