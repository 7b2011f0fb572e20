// Opens the input as an archive, builds its tree, reads every entry and saves the
// document in the other format. The first byte chooses the reader (even: PAK, or WAD2 with
// the top bit set; odd: PK3) and the save's compression level; the rest is the archive file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "archive/save.h"
#include "archive/zip_source.h"
#include "tests/fuzz/support.h"

namespace {

// Takes the pieces of a streamed read.
struct Collect : ByteSink {
  std::vector<uint8_t> bytes;
  bool Take(const uint8_t* data, size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
};

// Reads every file of the document whole, streamed and (from its source) as stored bytes
// decoded; whatever succeeds must agree.
void ReadAll(ArchiveDocument* doc) {
  const Node* root = doc->root();
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    if (!n->IsFile()) continue;
    SharedBytes bytes;
    const EntryLoad result = LoadEntryBytes(doc, n, &bytes);
    const size_t size = bytes ? bytes->size() : 0;
    if (result == EntryLoad::Ok && size != n->size()) __builtin_trap();
    if (result != EntryLoad::Ok && bytes) __builtin_trap();
    if (size) {
      volatile uint8_t sink = bytes->data()[0] ^ bytes->data()[size - 1];
      (void)sink;
    }
    Collect streamed;
    const EntryLoad stream = StreamEntryBytes(doc, n, &streamed);
    if (stream == EntryLoad::Ok && result == EntryLoad::Ok &&
        (streamed.bytes.size() != size || (size && std::memcmp(streamed.bytes.data(), bytes->data(), size) != 0)))
      __builtin_trap();
    const SourceEntry* entry = n->source();
    if (entry == nullptr || !doc->source) continue;
    StoredBytes where;
    // An empty entry has no bytes to look for.
    if (doc->source->Locate(entry->index, &where) != EntryLoad::Ok || where.size == 0) continue;
    // The located bytes of an entry lie inside the file: they can be read as they are.
    Collect raw;
    if (ReadPieces(doc->source->file(), where.offset, where.storedSize, &raw) != EntryLoad::Ok) __builtin_trap();
    std::vector<uint8_t> plain = where.deflated ? std::vector<uint8_t>(where.size) : raw.bytes;
    const EntryLoad decoded = DecodeStored(where, raw.bytes.data(), plain.data());
    if (result == EntryLoad::Ok && decoded == EntryLoad::Ok &&
        (plain.size() != size || (size && std::memcmp(plain.data(), bytes->data(), size) != 0)))
      __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool pk3 = (data[0] & 1) != 0;
  const int level = (data[0] >> 1) % 10;
  const ArchiveFormat& from = ChosenFormat(pk3, data[0]);
  const ArchiveFormat& to = ChosenFormat(!pk3, data[0]);
  const std::string path = WriteInputFile(data + 1, size - 1, from.extensions.front());
  if (path.empty()) return 0;
  ArchiveDocument doc;
  Failure why;
  doc.source = from.open(from, path, &why);
  if (!doc.source || BuildTree(&doc)) return 0;
  ReadAll(&doc);
  // Saving reads every entry again through the writers' own paths (raw copies,
  // recompression) and must either fail cleanly or give a readable archive.
  if (!CheckFormatLimits(doc.root(), to, doc.source.get())) {
    QuietSaveHost host;
    SaveOptions options;
    options.level = level;
    const std::string out = path + ".out" + to.extensions.front();
    std::unique_ptr<ArchiveSource> written;
    WrittenEntries entries;
    if (!WriteArchiveFile(doc, to, out, options, &host, &written, &entries)) {
      if (!written) __builtin_trap();
      AdoptWritten(&doc, std::move(written), entries);
      CheckTree(doc);
      ReadAll(&doc);
    } else if (written) {
      __builtin_trap();
    }
    std::remove(out.c_str());
  }
  return 0;
}
