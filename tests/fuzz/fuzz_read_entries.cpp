// Opens the input as an archive, builds its tree, reads every entry and saves the
// document in the other format. The first byte chooses the reader (even: PAK, odd:
// PK3) and the save's compression level; the rest is the archive file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/entry_data.h"
#include "archive/loading.h"
#include "archive/pak_writer.h"
#include "archive/pk3_writer.h"
#include "tests/fuzz/support.h"

namespace {

// Reads every file below node, whole and (for PK3 sources) raw.
void ReadAll(ArchiveDocument* doc, ArchiveNode* node) {
  for (ArchiveNode* n = node; n;) {
    ArchiveEntry* e = n->entry;
    EntryBytes bytes;
    const EntryLoad result = LoadEntryBytes(doc, e, &bytes);
    uint32_t size = 0;
    const bool sized = EntryByteSize(doc, e, &size);
    if (result == EntryLoad::Ok && (!sized || size != bytes.size)) __builtin_trap();
    if (bytes.size) {
      volatile uint8_t sink = bytes.data[0] ^ bytes.data[bytes.size - 1];
      (void)sink;
    }
    ReleaseEntryBytes(&bytes);
    if (Pk3Archive* pk3 = DocumentPk3(doc); pk3 && IsKind(e, EntryKind::Pk3File)) {
      const int index = Pk3EntryIndex(pk3, e->pk3Record);
      Pk3EntryData where;
      if (index >= 0 && Pk3LocateEntry(pk3, index, &where) == EntryLoad::Ok && Pk3RawFits(where) && where.compressedSize) {
        uint8_t* raw = static_cast<uint8_t*>(std::malloc(where.compressedSize));
        if (raw) Pk3ReadRaw(pk3, index, raw, where.compressedSize);
        std::free(raw);
      }
    }
    if (n->firstChild) {
      n = n->firstChild;
      continue;
    }
    while (n != node && n->nextSibling == nullptr) n = n->parent;
    if (n == node) break;
    n = n->nextSibling;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool pak = (data[0] & 1) == 0;
  const int level = (data[0] >> 1) % 10;
  const std::string path = WriteInputFile(data + 1, size - 1, pak ? ".pak" : ".pk3");
  if (path.empty()) return 0;
  ArchiveDocument doc{};
  if (pak) {
    doc.archiveKind = ArchiveKind::Pak;
    doc.source = PakOpen(path.c_str());
  } else {
    doc.archiveKind = ArchiveKind::Pk3;
    doc.source = Pk3Open(path.c_str());
  }
  if (doc.source == nullptr) return 0;
  AcceptingFolderTree folders;
  doc.root = TreeBuildFromSource(&doc, folders);
  if (doc.root) {
    ReadAll(&doc, doc.root);
    // Saving reads every entry again through the writers' own paths (raw copies,
    // recompression) and must either fail cleanly or give a readable archive.
    QuietSaveWindow window;
    const std::string out = path + (pak ? ".out.pk3" : ".out.pak");
    if (pak) {
      if (Pk3Archive* saved = Pk3Save(window, &doc, out.c_str(), level)) {
        CloseDocumentSource(&doc);
        doc.archiveKind = ArchiveKind::Pk3;
        doc.source = saved;
        ReadAll(&doc, doc.root);
      }
    } else if (CheckPakLimits(doc.root) == TreeLimit::Ok) {
      if (PakArchive* saved = PakSave(window, &doc, out.c_str())) {
        CloseDocumentSource(&doc);
        doc.archiveKind = ArchiveKind::Pak;
        doc.source = saved;
        ReadAll(&doc, doc.root);
      }
    }
    std::remove(out.c_str());
  }
  TreeFree(doc.root, FreeEntry);
  CloseDocumentSource(&doc);
  return 0;
}
