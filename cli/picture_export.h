// extract --images png: each extracted entry that is a picture of our own decoders' kinds
// (LMP, palette, conchars, WAL, mip texture, PCX, TGA) also written as "<file>.png" beside
// its file, in the colours of the palette the window program would use.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/tree.h"
#include "pictures/picture.h"

class PictureExport {
 public:
  PictureExport(const ArchiveDocument& doc, const std::string& archivePath, bool overwrite)
      : doc_(doc), archivePath_(archivePath), overwrite_(overwrite) {}

  // After node was extracted to diskPath: writes its PNG when it is one of our pictures.
  // A picture that cannot be decoded or written is reported, naming the entry and why.
  void Offer(const Node* node, const std::string& stored, const std::string& diskPath);

  int written = 0;
  int failed = 0;  // pictures not decoded, or PNG files not written

 private:
  const GamePalette* PaletteFor(PictureKind kind);

  const ArchiveDocument& doc_;
  const std::string& archivePath_;
  bool overwrite_;
  // Per game: looked for yet, found, and what was found.
  struct Found {
    bool looked = false, found = false;
    GamePalette palette;
  } found_[2];
  bool toldGrey_ = false;
};
