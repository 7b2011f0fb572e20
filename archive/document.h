// The archive side of a document: its tree, its open source and its format.
// The archive window adds its panes and view state on top of this record.
#pragma once

#include <cstdint>

#include "archive/formats.h"
#include "archive/tree.h"

enum class ArchiveKind : int32_t { None = 0, Pak = 1, Pk3 = 2 };

struct ArchiveDocument {
  int32_t modified;
  ArchiveKind archiveKind;
  void* source;  // PakArchive* for Pak, Pk3Archive* for Pk3, null for None; owned
  ArchiveNode* root;
};

inline PakArchive* DocumentPak(const ArchiveDocument* doc) {
  return doc->archiveKind == ArchiveKind::Pak ? static_cast<PakArchive*>(doc->source) : nullptr;
}
inline Pk3Archive* DocumentPk3(const ArchiveDocument* doc) {
  return doc->archiveKind == ArchiveKind::Pk3 ? static_cast<Pk3Archive*>(doc->source) : nullptr;
}
