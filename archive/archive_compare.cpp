#include "archive/archive_compare.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/crc32.h"
#include "archive/disk.h"
#include "archive/disk_walk.h"
#include "archive/entry_data.h"
#include "archive/format.h"
#include "archive/source.h"
#include "archive/source_file.h"

namespace {

// A file of one side as the comparison lists it.
struct Listed {
  std::string key;   // the lower-cased path: what paths match by
  std::string path;  // as the side shows it
  CompareFile file;
  bool hasCrc = false;
  uint32_t crc = 0;
};

bool ByKey(const Listed& x, const Listed& y) { return x.key < y.key; }

// The shown files of an archive's tree, with the CRC-32 their records keep, if any.
std::vector<Listed> ListArchive(const ArchiveDocument& doc) {
  std::vector<Listed> files;
  const Node* root = doc.root();
  if (root == nullptr) return files;
  ArchiveSource* source = doc.source.get();
  Shadows shadows(source);
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    if (!n->IsFile() || shadows.IsShadowed(n)) continue;
    Listed f;
    f.path = StoredPath(n);
    f.key = LowerCased(f.path);
    f.file.node = n->id();
    f.file.size = n->size();
    const SourceEntry* entry = n->source();
    if (entry && source && entry->index < source->Count()) {
      const EntryInfo info = source->Info(entry->index);
      f.hasCrc = info.hasCrc;
      f.crc = info.crc;
    }
    files.push_back(std::move(f));
  }
  return files;
}

// The files below a folder on disk. Only plain files count (a link to one is the file);
// a link leading back into a folder above is not entered again.
std::vector<Listed> ListFolder(const std::string& folder, const CompareOptions& options, Comparison* result) {
  std::vector<Listed> files;
  WalkDiskTree(
      folder, std::string(),
      [&](const DiskWalkEntry& entry, const std::string& place, std::string* child) {
        const std::string name = options.keepCase ? entry.name : LowerCased(entry.name);
        if (entry.item.kind == DiskKind::Directory) {
          if (entry.loop) return false;
          *child = place + name + "/";
          return true;
        }
        if (entry.item.kind != DiskKind::File) return false;
        if (!options.leaveOut.empty() && SameDiskFile(entry.path, options.leaveOut)) return false;
        Listed f;
        f.path = place + name;
        f.key = LowerCased(f.path);
        f.file.diskPath = entry.path;
        f.file.size = entry.item.size;
        files.push_back(std::move(f));
        return false;
      },
      [&](const std::string& path, const std::string&) { result->unreadableFolders.push_back(path); },
      [] { return false; });
  return files;
}

// Sorts a side by path; of files whose paths differ only in case the first listed stays.
void SortSide(std::vector<Listed>* files, Comparison* result) {
  std::stable_sort(files->begin(), files->end(), ByKey);
  size_t kept = 0;
  for (size_t i = 0; i < files->size(); ++i) {
    Listed& f = (*files)[i];
    if (kept > 0 && (*files)[kept - 1].key == f.key) {
      if (!f.file.diskPath.empty()) result->caseTwins.push_back(f.file.diskPath);
      continue;
    }
    if (kept != i) (*files)[kept] = std::move(f);
    ++kept;
  }
  files->resize(kept);
}

std::vector<Listed> ListSide(const CompareSide& side, const CompareOptions& options, Comparison* result) {
  std::vector<Listed> files = side.document ? ListArchive(*side.document) : ListFolder(side.folder, options, result);
  SortSide(&files, result);
  return files;
}

const Node* NodeOf(const CompareSide& side, const CompareFile& file) {
  return side.document && side.document->tree ? side.document->tree->Find(file.node) : nullptr;
}

Failure EntryFailure(const CompareSide& side, const Node* node, EntryLoad load) {
  Failure f = Fail(Problem::LoadFailed, node ? StoredNameOf(side.document, node) : std::string());
  f.load = load;
  return f;
}

// The bytes of one file read on demand, a piece at a time: a disk file, a memory file, an
// entry stored as plain bytes (read where they lie, its CRC-32 checked at the end), or,
// for an entry that must be inflated, its bytes loaded whole.
class PulledFile {
 public:
  PulledFile() = default;
  ~PulledFile() {
    if (disk_ != nullptr) std::fclose(disk_);
  }
  PulledFile(const PulledFile&) = delete;
  PulledFile& operator=(const PulledFile&) = delete;

  // Whether the file's bytes can be had a piece at a time where they lie.
  static bool ReadsInPlace(const CompareSide& side, const CompareFile& file) {
    const Node* node = NodeOf(side, file);
    if (node == nullptr) return true;  // a disk file (or a node gone: Open says so)
    const SourceEntry* entry = node->source();
    if (entry == nullptr) return true;
    ArchiveSource* source = side.document->source.get();
    StoredBytes where;
    // An entry that cannot be located is refused by Open all the same.
    return source == nullptr || entry->index >= source->Count() ||
           source->Locate(entry->index, &where) != EntryLoad::Ok || !where.deflated;
  }

  Failure Open(const CompareSide& side, const CompareFile& file) {
    left_ = file.size;
    if (!side.document) {
      disk_ = std::fopen(file.diskPath.c_str(), "rb");
      failure_ = Fail(disk_ ? Problem::Unreadable : Problem::CannotOpen, file.diskPath);
      return disk_ ? Failure() : failure_;
    }
    const Node* node = NodeOf(side, file);
    failure_ = EntryFailure(side, node, EntryLoad::ReadFailed);
    if (node == nullptr) return EntryFailure(side, node, EntryLoad::NoBytes);
    const SourceEntry* entry = node->source();
    ArchiveSource* source = side.document->source.get();
    StoredBytes where;
    EntryLoad located = EntryLoad::NotInSource;
    if (entry && source && entry->index < source->Count()) located = source->Locate(entry->index, &where);
    // Deflated entries, and those the source reads itself (a game folder's loose files), are
    // read whole; stored ones are read in pieces from where they lie.
    if (entry == nullptr || (located == EntryLoad::Ok && (where.deflated || source->EntryFile(entry->index) == nullptr))) {
      const EntryLoad load = LoadEntryBytes(side.document, node, &held_);
      if (load != EntryLoad::Ok) return EntryFailure(side, node, load);
      memory_ = held_ ? held_->data() : nullptr;
      return Failure();
    }
    if (located != EntryLoad::Ok) return EntryFailure(side, node, located);
    if (EntryPlacement(side.document, node).problem == Problem::SharesData)
      return EntryFailure(side, node, EntryLoad::SharedData);
    if (where.size != file.size) return failure_;
    entryFile_ = source->EntryFile(entry->index);
    offset_ = where.offset;
    checkCrc_ = where.hasCrc;
    expectedCrc_ = where.crc;
    return Failure();
  }

  // The next n bytes; false when the file cannot give them (failure() says why).
  bool Read(uint8_t* out, size_t n) {
    if (n > left_) return false;
    if (n == 0) return true;
    bool ok;
    if (memory_ != nullptr) {
      std::memcpy(out, memory_ + done_, n);
      ok = true;
    } else if (entryFile_ != nullptr) {
      ok = source_file::ReadPieceAt(entryFile_, offset_ + done_, out, n);
    } else {
      ok = disk_ != nullptr && std::fread(out, 1, n, disk_) == n;
    }
    if (!ok) return false;
    if (checkCrc_) crc_ = Crc32Update(crc_, out, n);
    done_ += n;
    left_ -= n;
    return true;
  }

  // Whether the bytes are checked against a CRC-32 as they are read.
  bool checksCrc() const { return checkCrc_; }

  // Reads what is left, only to check it.
  bool ReadRest(std::vector<uint8_t>& buffer) {
    while (left_ > 0)
      if (!Read(buffer.data(), left_ < buffer.size() ? static_cast<size_t>(left_) : buffer.size())) return false;
    return true;
  }

  // After every byte was read: whether they were whole (an entry's CRC-32).
  Failure Finish() {
    if (checkCrc_ && crc_ != expectedCrc_) {
      Failure f = failure_;
      f.load = EntryLoad::CrcMismatch;
      return f;
    }
    return Failure();
  }

  const Failure& failure() const { return failure_; }

 private:
  std::FILE* disk_ = nullptr;
  std::FILE* entryFile_ = nullptr;  // the source's, not ours to close
  uint64_t offset_ = 0;
  SharedBytes held_;
  const uint8_t* memory_ = nullptr;
  uint64_t done_ = 0, left_ = 0;
  bool checkCrc_ = false;
  uint32_t crc_ = 0, expectedCrc_ = 0;
  Failure failure_;
};

// Matches the pieces of one file against the same bytes of the other.
class MatchingSink : public ByteSink {
 public:
  MatchingSink(PulledFile& other, std::vector<uint8_t>& buffer, SaveProgress* progress)
      : other_(other), buffer_(buffer), progress_(progress) {}

  bool Take(const uint8_t* data, size_t size) override {
    if (differ) return checkRest;
    while (size > 0) {
      if (progress_ && progress_->Cancelled()) {
        cancelled = true;
        return false;
      }
      const size_t piece = std::min(size, buffer_.size());
      if (!other_.Read(buffer_.data(), piece)) {
        unreadable = true;
        return false;
      }
      if (std::memcmp(buffer_.data(), data, piece) != 0) {
        differ = true;
        return checkRest;
      }
      data += piece;
      size -= piece;
      taken += piece;
    }
    return true;
  }

  uint64_t taken = 0;
  bool differ = false, unreadable = false, cancelled = false;
  // After a difference the rest is still taken (and not matched), so that the read can
  // check the file's CRC-32: a damaged file is unreadable, not changed.
  bool checkRest = false;

 private:
  PulledFile& other_;
  std::vector<uint8_t>& buffer_;
  SaveProgress* progress_;
};

// Gives a file's bytes to sink in pieces. *stopped: the sink refused a piece.
Failure PushFile(const CompareSide& side, const CompareFile& file, ByteSink* sink, std::vector<uint8_t>& buffer,
                 bool* stopped) {
  *stopped = false;
  if (side.document) {
    const Node* node = NodeOf(side, file);
    const EntryLoad load = StreamEntryBytes(side.document, node, sink);
    if (load == EntryLoad::Stopped) *stopped = true;
    return load == EntryLoad::Ok || load == EntryLoad::Stopped ? Failure() : EntryFailure(side, node, load);
  }
  std::FILE* f = std::fopen(file.diskPath.c_str(), "rb");
  if (f == nullptr) return Fail(Problem::CannotOpen, file.diskPath);
  uint64_t left = file.size;
  Failure failure;
  while (left > 0) {
    const size_t piece = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
    if (std::fread(buffer.data(), 1, piece, f) != piece) {
      failure = Fail(Problem::Unreadable, file.diskPath);
      break;
    }
    if (!sink->Take(buffer.data(), piece)) {
      *stopped = true;
      break;
    }
    left -= piece;
  }
  std::fclose(f);
  return failure;
}

// Decides same or changed for two files of equal size by their bytes.
CompareKind CompareBytes(const CompareSide& sideA, const Listed& listedA, const CompareSide& sideB,
                         const Listed& listedB, SaveProgress* progress, ComparedItem* item, bool* cancelled) {
  const CompareFile& a = listedA.file;
  const CompareFile& b = listedB.file;
  // The file that can be read where it lies is pulled; the other (an entry that must be
  // inflated, say) pushes its pieces.
  const bool pullA = !PulledFile::ReadsInPlace(sideB, b) && PulledFile::ReadsInPlace(sideA, a);
  const CompareSide& pulledSide = pullA ? sideA : sideB;
  const CompareSide& pushedSide = pullA ? sideB : sideA;
  const CompareFile& pulledFile = pullA ? a : b;
  const CompareFile& pushedFile = pullA ? b : a;
  PulledFile pulled;
  const Failure opened = pulled.Open(pulledSide, pulledFile);
  if (opened) {
    item->failure = opened;
    item->failedInA = pullA;
    return CompareKind::Unreadable;
  }
  std::vector<uint8_t> pullBuffer(kStreamPieceSize), pushBuffer(pushedSide.document ? 0 : kStreamPieceSize);
  MatchingSink sink(pulled, pullBuffer, progress);
  sink.checkRest = (pullA ? listedB : listedA).hasCrc;
  bool stopped = false;
  const Failure pushed = PushFile(pushedSide, pushedFile, &sink, pushBuffer, &stopped);
  if (sink.cancelled) {
    *cancelled = true;
    return CompareKind::Same;
  }
  Failure failure;
  bool inA = !pullA;
  if (pushed) {
    failure = pushed;
  } else if (sink.differ) {
    // Files that differ are changed, unless one turns out damaged when read to its end.
    if (!pulled.checksCrc()) return CompareKind::Changed;
    failure = pulled.ReadRest(pullBuffer) ? pulled.Finish() : pulled.failure();
    inA = pullA;
    if (!failure) return CompareKind::Changed;
  } else if (sink.unreadable) {
    failure = pulled.failure();
    inA = pullA;
  } else if (stopped || sink.taken != pushedFile.size) {
    // The pushed file gave fewer bytes than its size says.
    failure = pushedSide.document ? EntryFailure(pushedSide, NodeOf(pushedSide, pushedFile), EntryLoad::ReadFailed)
                                  : Fail(Problem::Unreadable, pushedFile.diskPath);
  } else {
    failure = pulled.Finish();
    inA = pullA;
  }
  if (failure) {
    item->failure = failure;
    item->failedInA = inA;
    return CompareKind::Unreadable;
  }
  return CompareKind::Same;
}

CompareKind Decide(const CompareSide& sideA, const Listed& a, const CompareSide& sideB, const Listed& b,
                   SaveProgress* progress, ComparedItem* item, bool* cancelled) {
  // One file of one document is itself.
  if (sideA.document && sideA.document == sideB.document && a.file.node == b.file.node) return CompareKind::Same;
  if (a.file.size != b.file.size) return CompareKind::Changed;
  if (a.hasCrc && b.hasCrc) return a.crc == b.crc ? CompareKind::Same : CompareKind::Changed;
  return CompareBytes(sideA, a, sideB, b, progress, item, cancelled);
}

}  // namespace

bool Comparison::Identical() const {
  return Count(CompareKind::Added) == 0 && Count(CompareKind::Removed) == 0 && Count(CompareKind::Changed) == 0 &&
         Complete();
}

bool Comparison::Complete() const {
  return Count(CompareKind::Unreadable) == 0 && unreadableFolders.empty() && !cancelled;
}

Comparison CompareSides(const CompareSide& sideA, const CompareSide& sideB, const CompareOptions& options,
                        SaveHost* host) {
  Comparison result;
  const std::vector<Listed> a = ListSide(sideA, options, &result);
  const std::vector<Listed> b = ListSide(sideB, options, &result);
  // One step for each path both sides hold.
  uint32_t pairs = 0;
  for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
    if (a[i].key < b[j].key) {
      ++i;
    } else if (b[j].key < a[i].key) {
      ++j;
    } else {
      ++pairs;
      ++i;
      ++j;
    }
  }
  SaveProgress* progress = host ? host->OpenProgress(pairs) : nullptr;
  result.items.reserve(a.size() + b.size());
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    ComparedItem item;
    if (j == b.size() || (i < a.size() && a[i].key < b[j].key)) {
      item.kind = CompareKind::Added;
      item.path = a[i].path;
      item.a = a[i++].file;
    } else if (i == a.size() || b[j].key < a[i].key) {
      item.kind = CompareKind::Removed;
      item.path = b[j].path;
      item.b = b[j++].file;
    } else {
      if (progress && progress->Cancelled()) {
        result.cancelled = true;
        break;
      }
      item.path = a[i].path;
      item.a = a[i].file;
      item.b = b[j].file;
      if (progress) progress->ShowItem(item.path.c_str(), static_cast<uint32_t>(std::min<uint64_t>(a[i].file.size, 0xFFFFFFFFu)));
      bool cancelled = false;
      item.kind = Decide(sideA, a[i], sideB, b[j], progress, &item, &cancelled);
      if (cancelled) {
        result.cancelled = true;
        break;
      }
      if (progress) progress->Step();
      ++i;
      ++j;
    }
    ++result.counts[static_cast<size_t>(item.kind)];
    result.items.push_back(std::move(item));
  }
  if (progress) progress->Close();
  return result;
}
