// Opens the input as an archive, saves its tree with the core's writers as the tool's
// convert does, opens the written file afresh and compares it with what was read from the
// input. The first byte chooses the reader (bit 0: PK3, else PAK), the writer (bit 1: PK3,
// else PAK), the compression level (bits 2-5) and one or two compressing threads (bit 6);
// the rest is the archive file. An entry that cannot be read stops the save, which is
// fine; a save that reports success must reopen with every file and folder of the input,
// and every entry read from the input must read back as the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_output.h"
#include "archive/entry_data.h"
#include "archive/loading.h"
#include "archive/pak_writer.h"
#include "archive/pk3_writer.h"
#include "archive/writer_shared.h"
#include "tests/fuzz/support.h"

namespace {

// What one path of a tree holds: a folder, or a file and its bytes when they could be read.
struct Held {
  bool folder = false;
  bool read = false;
  std::vector<uint8_t> bytes;
  bool operator==(const Held& o) const { return folder == o.folder && read == o.read && bytes == o.bytes; }
};

std::string PathOf(const ArchiveNode* node) {
  std::string path;
  for (const ArchiveNode* n = node; n && !IsKind(n->entry, EntryKind::Root); n = n->parent)
    path = std::string(n->entry->name) + (path.empty() ? "" : "/") + path;
  return path;
}

std::map<std::string, Held> Contents(const ArchiveDocument& doc) {
  std::map<std::string, Held> held;
  for (const ArchiveNode* n = doc.root ? doc.root->firstChild : nullptr; n; n = NextInSubtree(n, doc.root)) {
    Held h;
    h.folder = IsKind(n->entry, EntryKind::Directory);
    if (!h.folder) {
      EntryBytes bytes;
      h.read = LoadEntryBytes(&doc, n->entry, &bytes) == EntryLoad::Ok;
      if (h.read && bytes.size) h.bytes.assign(bytes.data, bytes.data + bytes.size);
      ReleaseEntryBytes(&bytes);
    }
    held.emplace(PathOf(n), std::move(h));
  }
  return held;
}

bool Open(ArchiveDocument* doc, ArchiveKind kind, const std::string& path) {
  doc->archiveKind = kind;
  doc->source = kind == ArchiveKind::Pak ? static_cast<void*>(PakOpen(path.c_str()))
                                         : static_cast<void*>(Pk3Open(path.c_str()));
  return doc->source != nullptr;
}

void Close(ArchiveDocument* doc) {
  TreeFree(doc->root, FreeEntry);
  doc->root = nullptr;
  CloseDocumentSource(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const ArchiveKind from = (data[0] & 1) ? ArchiveKind::Pk3 : ArchiveKind::Pak;
  const ArchiveKind to = (data[0] & 2) ? ArchiveKind::Pk3 : ArchiveKind::Pak;
  const int level = ((data[0] >> 2) & 0x0F) % 10;
  const unsigned threads = (data[0] & 0x40) ? 2 : 1;
  const std::string path = WriteInputFile(data + 1, size - 1, from == ArchiveKind::Pak ? ".pak" : ".pk3");
  if (path.empty()) return 0;
  ArchiveDocument doc{};
  if (!Open(&doc, from, path)) return 0;
  AcceptingFolderTree folders;
  doc.root = TreeBuildFromSource(&doc, folders);
  // The window program and the tool refuse to save a tree the format cannot hold.
  const TreeLimit limit = to == ArchiveKind::Pak ? CheckPakLimits(doc.root) : CheckPk3Limits(doc.root);
  if (doc.root == nullptr || limit != TreeLimit::Ok) {
    Close(&doc);
    return 0;
  }
  const std::map<std::string, Held> before = Contents(doc);

  QuietSaveWindow window;
  const std::string out = path + (to == ArchiveKind::Pak ? ".out.pak" : ".out.pk3");
  ArchiveNode* copy = nullptr;
  void* written = to == ArchiveKind::Pak
                      ? static_cast<void*>(PakSaveLimited(window, &doc, out.c_str(), kArchiveSizeLimit, &copy, threads))
                      : static_cast<void*>(Pk3SaveLimited(window, &doc, out.c_str(), level, kArchiveSizeLimit, &copy, threads));
  if (written == nullptr) {
    Close(&doc);
    std::remove(out.c_str());
    return 0;
  }
  AbandonSave(copy);
  CloseSource(written, to);
  // The input's document is left as it was: it reads the same bytes as before the save.
  if (Contents(doc) != before) std::abort();
  Close(&doc);

  ArchiveDocument again{};
  if (!Open(&again, to, out)) std::abort();
  again.root = TreeBuildFromSource(&again, folders);
  if (again.root == nullptr) std::abort();
  CheckTree(again.root);
  const std::map<std::string, Held> after = Contents(again);
  Close(&again);
  std::remove(out.c_str());

  if (after.size() != before.size()) std::abort();
  for (const auto& [name, held] : before) {
    const auto found = after.find(name);
    if (found == after.end() || found->second.folder != held.folder) std::abort();
    if (held.read && !(found->second == held)) std::abort();
  }
  return 0;
}
