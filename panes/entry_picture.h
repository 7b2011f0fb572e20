// Decoding the picture an entry holds, whatever its kind, with the game palette an 8-bit
// Quake picture needs. Finding the palette has two halves: where it lies is looked up on the
// window thread (the trees belong to it), its bytes are read on any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/entry_snapshot.h"
#include "panes/window_document.h"
#include "pictures/picture.h"

// Where a picture's game palette is to be had, found on the window thread: an entry of the
// window's own archive or of another open archive window (a snapshot of its bytes), else the
// folder of the archive's file, where pak0.pak or pak0.pk3 may hold one.
struct PaletteSource {
  PaletteGame game = PaletteGame::Quake;
  bool inArchive = false;   // entry and from are set
  EntrySnapshot entry;
  std::string from;         // "gfx/palette.lmp", or "pak0.pak: gfx/palette.lmp" for another window's
  std::string besideFile;   // the archive file whose folder is searched; empty for none
};

// Looks up where the palette of kind's game is for the archive window's document (window
// thread only): its own tree, else another open archive window's.
PaletteSource FindPaletteSource(HWND window, const WindowDocument* doc, PictureKind kind);

// Reads the palette the source names (any thread; reads files). False when there is none:
// the picture is then shown in grey levels.
bool LoadPalette(const PaletteSource& source, GamePalette* palette, const std::atomic<bool>* stop);

// Decodes the picture of kind held whole in data: PNG, JPEG, BMP and GIF through the
// platform, the others with our decoders and palette (null: grey levels for a Quake kind).
// Any thread. False, with the reason, for a damaged or refused picture.
bool DecodeEntryPicture(const uint8_t* data, size_t size, PictureKind kind, const GamePalette* palette,
                        Picture* picture, std::string* why);
