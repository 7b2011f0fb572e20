// The ZIP64 extended-information field: read alone, and through the central directory of
// an archive. The first byte says which of the record's sizes and offset hold the ZIP64
// marker (bits 0-2: uncompressed size, compressed size, offset) and whether the archive has
// ZIP64 end records (bit 3); the rest is the extra field of its one central record, whose
// entry holds kPlain. With bit 7 set the rest is instead a whole archive file, for inputs
// whose ZIP64 records lie elsewhere.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "archive/zip64_extra.h"
#include "tests/fuzz/support.h"

namespace {

constexpr char kName[] = "z64.bin";
constexpr char kPlain[] = "zip64 data";
constexpr uint32_t kPlainSize = sizeof kPlain - 1;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

// Read alone: a value that is no marker never changes, and a failed read changes nothing.
void CheckAlone(uint8_t markers, const uint8_t* extra, uint32_t length) {
  const Zip64Values given = {(markers & 1) ? kZip64Marker : 0x1111u, (markers & 2) ? kZip64Marker : 0x2222u,
                             (markers & 4) ? kZip64Marker : 0x3333u};
  Zip64Values values = given;
  const bool found = ReadZip64Extra(extra, length, &values);
  if (!found && std::memcmp(&values, &given, sizeof values) != 0) std::abort();
  if ((!(markers & 1) && values.uncompressed != given.uncompressed) ||
      (!(markers & 2) && values.compressed != given.compressed) || (!(markers & 4) && values.offset != given.offset))
    std::abort();
}

// One stored entry of kPlain at offset 0 whose central record carries the extra field.
std::vector<uint8_t> ArchiveWith(uint8_t flags, const uint8_t* extra, uint16_t extraLength) {
  const uint32_t crc = Crc32(kPlain, kPlainSize);
  const uint16_t nameLength = sizeof kName - 1;
  std::vector<uint8_t> out;
  Put32(out, kZipLocalSignature);
  Put16(out, 20);
  Put16(out, 0);  // flags
  Put16(out, 0);  // stored
  Put32(out, 0);  // time and date
  Put32(out, crc);
  Put32(out, kPlainSize);
  Put32(out, kPlainSize);
  Put16(out, nameLength);
  Put16(out, 0);
  out.insert(out.end(), kName, kName + nameLength);
  out.insert(out.end(), kPlain, kPlain + kPlainSize);

  const uint32_t central = static_cast<uint32_t>(out.size());
  Put32(out, kZipCentralSignature);
  Put16(out, 45);
  Put16(out, 45);
  Put16(out, 0);
  Put16(out, 0);
  Put32(out, 0);
  Put32(out, crc);
  Put32(out, (flags & 2) ? kZip64Marker : kPlainSize);
  Put32(out, (flags & 1) ? kZip64Marker : kPlainSize);
  Put16(out, nameLength);
  Put16(out, extraLength);
  Put16(out, 0);  // comment
  Put16(out, 0);  // disk
  Put16(out, 0);  // internal attributes
  Put32(out, 0);  // external attributes
  Put32(out, (flags & 4) ? kZip64Marker : 0);
  out.insert(out.end(), kName, kName + nameLength);
  out.insert(out.end(), extra, extra + extraLength);
  const uint32_t centralSize = static_cast<uint32_t>(out.size()) - central;

  if (flags & 8) {
    const uint64_t end64 = out.size();
    Put32(out, kZip64EndSignature);
    Put64(out, kZip64EndSize - 12);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, 1);
    Put64(out, 1);
    Put64(out, centralSize);
    Put64(out, central);
    Put32(out, kZip64LocatorSignature);
    Put32(out, 0);
    Put64(out, end64);
    Put32(out, 1);
  }
  Put32(out, kZipEndSignature);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, centralSize);
  Put32(out, central);
  Put16(out, 0);
  return out;
}

// Opens the archive, builds its tree and reads its entries; an entry that reads as one of
// this target's own must read as kPlain.
void OpenAndRead(const std::vector<uint8_t>& file, bool own) {
  const std::string path = WriteInputFile(file.data(), file.size(), ".pk3");
  if (path.empty()) return;
  ArchiveDocument doc;
  Failure why;
  doc.source = DefaultFormat().open(DefaultFormat(), path, &why);
  if (!doc.source) return;
  BuildTree(&doc);
  CheckTree(doc);
  const Node* root = doc.root();
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    if (n->source() == nullptr) continue;
    SharedBytes bytes;
    const EntryLoad load = LoadEntryBytes(&doc, n, &bytes);
    if (own && load == EntryLoad::Ok &&
        (!bytes || bytes->size() != kPlainSize || std::memcmp(bytes->data(), kPlain, kPlainSize) != 0))
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  if (flags & 0x80) {
    OpenAndRead(std::vector<uint8_t>(data + 1, data + size), false);
    return 0;
  }
  const uint32_t length = size - 1 > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(size - 1);
  CheckAlone(flags & 7, data + 1, length);
  OpenAndRead(ArchiveWith(flags, data + 1, static_cast<uint16_t>(length)), true);
  return 0;
}
