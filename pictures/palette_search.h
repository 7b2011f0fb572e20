// Finding the game palette an 8-bit Quake picture needs: in an open archive's tree, or in
// the game's first archive (pak0.pak, pak0.pk3) beside an archive's file.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/tree.h"
#include "pictures/picture.h"

// The file node of the document's tree that holds the game's palette (PalettePaths, in
// their order; names compared without regard to case), or null. *path is its path.
const Node* PaletteNodeIn(const ArchiveDocument* doc, PaletteGame game, std::string* path);

// Reads the palette of a document's tree into *palette (its from: the entry's path). False
// when the tree has none or its bytes hold no palette.
bool PaletteFromDocument(const ArchiveDocument* doc, PaletteGame game, GamePalette* palette);

// Opens pak0.pak, then pak0.pk3, in the folder of archivePath (not archivePath itself) and
// reads the palette from it (its from: "pak0.pak: gfx/palette.lmp"). False when neither
// is there or holds one. Opens and reads files: not for the window thread.
bool PaletteBesideArchive(const std::string& archivePath, PaletteGame game, GamePalette* palette);
