// Writing a tree as a WAD2 file: the header, every lump's bytes as they are, and the
// directory at the end. A lump's name loses the extension of its type, which sets the type;
// a lump that came from a WAD2 keeps its own.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/bytes.h"
#include "archive/formats_internal.h"
#include "archive/source_file.h"
#include "archive/wad_records.h"
#include "archive/writer_shared.h"

namespace {

using WadItem = SlotItem;

struct WadWriter {
  const WriteJob& job;
  ArchiveOutput output{};
  std::vector<WadLump> lumps;
  SaveQueue* queue = nullptr;
  std::vector<uint8_t> copyBuffer;
  WrittenEntries* written;
  SaveProgress* progress = nullptr;
};

// The type a lump named so takes, when it brings none of its own.
uint8_t TypeOfName(const std::string& name) {
  const size_t stored = WadStoredNameLength(name);
  if (stored == name.size()) return 0;
  const std::string lower = LowerCased(name);
  if (lower.compare(stored, 4, ".mip") == 0) return kWadMipTexture;
  // A picture, but for the palette, which Quake names so.
  return lower.compare(0, stored, "palette") == 0 ? kWadPalette : kWadPicture;
}

// Whether a lump of the WAD2 it came from, of type, keeps that type: while its name shows
// the extension the type shows (a type that shows none always keeps it). One renamed to
// another extension takes the type of that one.
bool KeepsOwnType(const std::string& name, uint8_t type) {
  const std::string extension = WadExtensionOfType(type);
  if (extension.empty()) return true;
  return name.size() >= extension.size() && LowerCased(name.substr(name.size() - extension.size())) == extension;
}

// The length of the name a lump shown as name is stored under. One that keeps its own type
// loses only the extension that type shows: a type that shows none keeps the name whole,
// whatever it ends in. Any other loses the extension it is named with.
size_t StoredLength(const std::string& name, bool keepsOwn, uint8_t type) {
  if (keepsOwn) return name.size() - std::strlen(WadExtensionOfType(type));
  return WadStoredNameLength(name);
}

Failure WriteItem(WadWriter& w, SaveItem& queued) {
  WadItem& item = static_cast<WadItem&>(queued);
  if (!OutputHasRoom(&w.output, item.size)) return Fail(Problem::WriteFailed, item.path);
  if (item.work.load != EntryLoad::Ok) return EntryFailure(Problem::LoadFailed, item.path, item.work.load);
  const uint64_t offset = w.output.position;
  const Failure failure = WriteSlotBytes(w.job, &w.output, w.progress, w.copyBuffer, item);
  if (failure) return failure;
  WadLump& lump = w.lumps[item.slot];
  lump.filePos = static_cast<uint32_t>(offset);
  lump.diskSize = lump.size = item.size;
  w.written->files.emplace_back(item.node, item.slot);
  return Failure();
}

// Where a lump's bytes come from: stored bytes with nothing to check are copied as they
// lie, others are read here and checked by a worker, a memory file's are written from its
// own buffer. False when the save stopped.
bool QueueFile(WadWriter& w, const Node* node) {
  const auto write = [&](SaveItem& i) { return WriteItem(w, i); };
  auto item = std::make_unique<WadItem>();
  item->path = node->name();
  item->file = true;
  item->node = node->id();
  item->size = node->size();
  // A lump read from the source keeps the type it has there, unless renamed to another.
  const SourceEntry* entry = node->source();
  ArchiveSource* source = w.job.source;
  const bool inSource = entry && source && entry->index < source->Count();
  const EntryInfo info = inSource ? source->Info(entry->index) : EntryInfo();
  const bool keepsOwn = info.hasType && KeepsOwnType(node->name(), info.type);
  // The name's own bytes, less the extension its type shows (ASCII, the same in any coding).
  const std::string bytes = BytesNameFor(w.job, node, node->name());
  const size_t stored = bytes.size() - (node->name().size() - StoredLength(node->name(), keepsOwn, info.type));
  if (stored > kWadMaxNameLength) {
    Failure f = Fail(Problem::NameTooLong, node->name());
    f.count = stored;
    f.limit = kWadMaxNameLength;
    f.format = w.job.format ? w.job.format->name : nullptr;
    return w.queue->Refuse(std::move(item), f);
  }
  // More lumps than the format's count would write a file its reader refuses.
  if (w.lumps.size() >= kWadMaxLumps) {
    Failure f = Fail(Problem::TooManyFiles, node->name());
    f.count = w.lumps.size() + 1;
    f.limit = kWadMaxLumps;
    return w.queue->Refuse(std::move(item), f);
  }
  WadLump lump;
  lump.name = bytes.substr(0, stored);
  lump.type = keepsOwn ? info.type : TypeOfName(node->name());
  EntryWork& work = item->work;
  if (entry) {
    if (!inSource)
      return w.queue->Refuse(std::move(item), EntryFailure(Problem::LoadFailed, item->path, EntryLoad::NotInSource));
    if (item->size == 0)
      work.load = source->Locate(entry->index, &work.where);
    else if (!ReadySlotSourceBytes(w.job, *w.queue, entry->index, item.get(), write))
      return false;
  } else {
    work.plain = std::get<MemoryBytes>(node->data()).bytes;
  }
  item->slot = static_cast<uint32_t>(w.lumps.size());
  w.lumps.push_back(lump);
  if (!w.queue->MakeRoom(item->cost, write)) return false;
  w.queue->Push(std::move(item));
  return true;
}

bool WriteDirectory(WadWriter& w) {
  const uint64_t length = static_cast<uint64_t>(w.lumps.size()) * kWadLumpSize;
  if (!OutputHasRoom(&w.output, length)) return false;
  for (const WadLump& lump : w.lumps) {
    uint8_t record[kWadLumpSize] = {};
    PutLE32(record, lump.filePos);
    PutLE32(record + 4, lump.diskSize);
    PutLE32(record + 8, lump.size);
    record[12] = lump.type;
    std::memcpy(record + 16, lump.name.data(), lump.name.size());
    if (!OutputWrite(&w.output, record, sizeof record)) return false;
  }
  return true;
}

Failure WriteArchive(WadWriter& w) {
  const Node* root = w.job.tree->root();
  if (!OutputCreate(&w.output, w.job.path.c_str(), w.job.sizeLimit)) return Fail(Problem::OutputOpen, w.job.path);
  JobProgress progress(w.job, CountFiles(root->firstChild()));
  w.progress = progress.get();
  w.copyBuffer.resize(kCopyBufferSize);
  // The header goes in last, once the directory's place is known.
  if (!OutputSeek(&w.output, kWadHeaderSize)) return Fail(Problem::WriteHeader);
  {
    SaveQueue queue(progress.get(), w.job.threads);
    w.queue = &queue;
    std::string path;
    // A WAD2 has no folders: the format's limits are checked before a save, and a folder
    // met here all the same stops it.
    const bool walked = WalkInArchiveOrder(
        root, w.job.source, path,
        [&](const Node* node) { return w.queue->Refuse(std::make_unique<WadItem>(), Fail(Problem::NotFlat, StoredPath(node))); },
        [&](const Node* node) { return QueueFile(w, node); });
    const bool drained = queue.Drain([&](SaveItem& i) { return WriteItem(w, i); });
    w.queue = nullptr;
    if (!walked || !drained) return queue.failure();
  }
  const uint32_t dirOffset = static_cast<uint32_t>(w.output.position);
  if (!WriteDirectory(w) || !OutputSeek(&w.output, 0)) return Fail(Problem::WriteDirectory);
  uint8_t header[kWadHeaderSize];
  std::memcpy(header, "WAD2", 4);
  PutLE32(header + 4, static_cast<uint32_t>(w.lumps.size()));
  PutLE32(header + 8, dirOffset);
  if (!OutputWrite(&w.output, header, sizeof header) || !OutputClose(&w.output)) return Fail(Problem::WriteHeader);
  return Failure();
}

}  // namespace

Failure WriteWad(const WriteJob& job, WrittenEntries* written) {
  WadWriter w{job, {}, {}, nullptr, {}, written};
  written->files.clear();
  const Failure failure = WriteArchive(w);
  return failure ? EndFailedWrite(job, &w.output, failure) : failure;
}
