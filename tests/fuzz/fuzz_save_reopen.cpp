// Opens the input as an archive, saves its tree with the core's writers as the tool's
// convert does, opens the written file afresh and compares it with what was read from the
// input. The first byte chooses the reader (bit 0: PK3, else PAK), the writer (bit 1: PK3,
// else PAK), the compression level (bits 2-5), one or two compressing threads (bit 6) and
// WAD2 for the side that is not PK3 (bit 7); the rest is the archive file. An entry that cannot be read stops the save, which is
// fine; a save that reports success must reopen with every file and folder of the input,
// and every entry read from the input must read back as the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "archive/save.h"
#include "tests/fuzz/support.h"

namespace {

// What one path of a tree holds: a folder, or a file and its bytes when they could be read.
struct Held {
  bool folder = false;
  bool read = false;
  std::vector<uint8_t> bytes;
  bool operator==(const Held& o) const { return folder == o.folder && read == o.read && bytes == o.bytes; }
};

std::map<std::string, Held> Contents(const ArchiveDocument& doc) {
  std::map<std::string, Held> held;
  const Node* root = doc.root();
  for (const Node* n = root ? root->firstChild() : nullptr; n; n = NextInSubtree(n, root)) {
    Held h;
    h.folder = n->IsDirectory();
    if (!h.folder) {
      SharedBytes bytes;
      h.read = LoadEntryBytes(&doc, n, &bytes) == EntryLoad::Ok;
      if (h.read && bytes) h.bytes.assign(bytes->data(), bytes->data() + bytes->size());
    }
    held.emplace(StoredPath(n), std::move(h));
  }
  return held;
}

// Every path of before is in after, of the same kind, and every file read from before
// reads the same bytes in after; after holds nothing else.
bool SameContents(const std::map<std::string, Held>& before, const std::map<std::string, Held>& after) {
  if (after.size() != before.size()) return false;
  for (const auto& [name, held] : before) {
    const auto found = after.find(name);
    if (found == after.end() || found->second.folder != held.folder) return false;
    if (held.read && !(found->second == held)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const ArchiveFormat& from = ChosenFormat(data[0] & 1, data[0]);
  const ArchiveFormat& to = ChosenFormat(data[0] & 2, data[0]);
  SaveOptions options;
  options.level = ((data[0] >> 2) & 0x0F) % 10;
  options.threads = (data[0] & 0x40) ? 2 : 1;
  const std::string path = WriteInputFile(data + 1, size - 1, from.extensions.front());
  if (path.empty()) return 0;
  ArchiveDocument doc;
  Failure why;
  doc.source = from.open(from, path, &why);
  if (!doc.source) return 0;
  // The window program and the tool refuse to save a tree the format cannot hold.
  if (BuildTree(&doc) || CheckFormatLimits(doc.root(), to, doc.source.get())) return 0;
  const std::map<std::string, Held> before = Contents(doc);

  QuietSaveHost host;
  const std::string out = path + ".out" + to.extensions.front();
  std::unique_ptr<ArchiveSource> written;
  WrittenEntries entries;
  if (WriteArchiveFile(doc, to, out, options, &host, &written, &entries)) {
    // A failed save leaves no file and no source behind.
    if (written) std::abort();
    std::FILE* left = std::fopen(out.c_str(), "rb");
    if (left) std::abort();
    return 0;
  }
  if (!written) std::abort();
  // The input's document is left as it was until it adopts the written file: it reads the
  // same bytes as before the save.
  if (!SameContents(before, Contents(doc))) std::abort();
  AdoptWritten(&doc, std::move(written), entries);
  CheckTree(doc);
  if (!SameContents(before, Contents(doc))) std::abort();

  // The file opened afresh holds the same.
  ArchiveDocument again;
  again.source = to.open(to, out, &why);
  if (!again.source) std::abort();
  if (BuildTree(&again)) std::abort();
  CheckTree(again);
  const bool same = SameContents(before, Contents(again));
  std::remove(out.c_str());
  if (!same) std::abort();
  return 0;
}
