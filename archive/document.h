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

// The path the document was opened from or last saved to; null before its first save.
inline const char* DocumentPath(const ArchiveDocument* doc) {
  if (const PakArchive* pak = DocumentPak(doc)) return pak->path;
  if (const Pk3Archive* pk3 = DocumentPk3(doc)) return pk3->path;
  return nullptr;
}

// The open file and the path of a source of the given kind (Pak or Pk3), which both
// formats' archives keep alike.
inline FILE** SourceFile(void* source, ArchiveKind kind) {
  return kind == ArchiveKind::Pak ? &static_cast<PakArchive*>(source)->file : &static_cast<Pk3Archive*>(source)->file;
}
inline char** SourcePath(void* source, ArchiveKind kind) {
  return kind == ArchiveKind::Pak ? &static_cast<PakArchive*>(source)->path : &static_cast<Pk3Archive*>(source)->path;
}
