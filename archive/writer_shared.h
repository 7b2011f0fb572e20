// What the writers share: the walk of a tree in the order an archive is written, with the
// stored path of each node's folder, the queue of one save's entries, and copying stored bytes from a source.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_output.h"
#include "archive/format.h"
#include "archive/progress.h"
#include "archive/save_pipeline.h"
#include "archive/tree.h"

// Walks ArchiveOrder(root, source). path holds the stored path of the node's folder ("" in
// the root) when file(node) is called, and the directory's own ("name/" ended) when
// directory(node) is. Both steps return false when the walk must stop. True when the walk
// went through.
template <typename DirectoryStep, typename FileStep>
bool WalkInArchiveOrder(const Node* root, const ArchiveSource* source, std::string& path, DirectoryStep directory,
                        FileStep file) {
  const Node* folder = root;
  path.clear();
  for (const Node* node : ArchiveOrder(root, source)) {
    if (node->parent() != folder) {
      folder = node->parent();
      path = folder == root ? std::string() : StoredPath(folder);
    }
    if (node->IsDirectory()) {
      const size_t length = path.size();
      path += node->name();
      path += '/';
      const bool go = directory(node);
      path.resize(length);
      if (!go) return false;
    } else if (!file(node)) {
      return false;
    }
  }
  return true;
}

// The queue of one save as its walk fills it, on the calling thread. write(item) writes one
// entry of the writer's own item type once its work is done and returns its failure.
class SaveQueue {
 public:
  SaveQueue(SaveProgress* progress, unsigned threads) : progress_(progress), pipeline_(threads) {}

  // Writes entries from the front until one holding cost bytes may join. False when the
  // save stopped (failure() says why).
  template <typename Write>
  bool MakeRoom(uint64_t cost, Write write) {
    while (!pipeline_.Admits(cost))
      if (!WriteFront(progress_, pipeline_, &failure_, write)) return false;
    return true;
  }
  void Push(std::unique_ptr<SaveItem> item) { pipeline_.Push(std::move(item)); }
  // Queues an entry that failed while being queued: its failure stops the save after every
  // entry before it was written, unless one of them fails first. Returns false, for the walk.
  // The item is taken by reference, so that a failure naming item->path in the same call is
  // made before the item moves, whichever argument the compiler evaluates first.
  template <typename Item>
  bool Refuse(std::unique_ptr<Item>&& item, Failure failure) {
    item->failure = std::move(failure);
    pipeline_.Push(std::move(item));
    return false;
  }
  // Writes everything queued; false when the save stopped.
  template <typename Write>
  bool Drain(Write write) {
    while (!pipeline_.Empty())
      if (!WriteFront(progress_, pipeline_, &failure_, write)) return false;
    return true;
  }
  const Failure& failure() const { return failure_; }

 private:
  SaveProgress* progress_;
  SavePipeline pipeline_;
  Failure failure_;
};

// Copies n bytes at offset of a source file to the output through buffer.
enum class CopyResult { Ok, ReadFailed, WriteFailed };
CopyResult CopySourceBytes(FILE* from, uint64_t offset, uint64_t n, ArchiveOutput* out, uint8_t* buffer,
                           size_t bufferSize);
// Copies the n stored bytes at offset of the job's source to the output as they lie; the
// failure names the entry at path.
Failure CopyEntryBytes(const WriteJob& job, uint64_t offset, uint64_t n, ArchiveOutput* out,
                       std::vector<uint8_t>& buffer, const std::string& path);
// The buffer size for CopySourceBytes: its pieces are large enough to go straight to the
// file and small enough to stay in the processor's cache between reading and writing.
constexpr size_t kCopyBufferSize = 256 << 10;

// The bytes of a file larger than this that must be inflated, checked or compressed on their
// way are never held whole: the file is streamed in pieces when its turn to be written comes,
// its compression split among the workers.
constexpr uint32_t kStreamedFileSize = 16u << 20;

// Writes what it takes to the output, while the output's limit leaves room.
class OutputSink : public ByteSink {
 public:
  explicit OutputSink(ArchiveOutput* out) : out_(out) {}
  bool Take(const uint8_t* data, size_t size) override {
    if (!OutputHasRoom(out_, size) || !OutputWrite(out_, data, size)) {
      failed = true;
      return false;
    }
    return true;
  }
  bool failed = false;

 private:
  ArchiveOutput* out_;
};

// Gives the plain bytes of a streamed file to sink in pieces: those of the job's source
// entry where describes, read and checked (inflated, their CRC-32 matched) on the way, or
// those of a memory file. *crc gets their CRC-32. Between pieces the progress is asked
// whether the user cancelled: Stopped then, with *cancelled set. Stopped also when the
// sink refused a piece.
EntryLoad StreamFileBytes(const WriteJob& job, const SaveItem& item, SaveProgress* progress, ByteSink* sink,
                          uint32_t* crc, bool* cancelled);

// The failure of a streamed file's write: the user's stop, the output's, or the entry's.
Failure StreamFailure(EntryLoad load, bool cancelled, bool writeFailed, const std::string& path);

// One file of a format whose directory is an array of slots (PAK, WAD2) on its way in.
struct SlotItem : SaveItem {
  uint32_t slot = 0;
  NodeId node = kNoNode;
  bool fromSource = false;  // copied straight from the source at offset
  uint64_t offset = 0;
};

// Reads the stored bytes at work->where from the job's source for a worker to decode; the
// entry's load says why they could not be.
void ReadStoredInput(const WriteJob& job, EntryWork* work);

// Decides where the bytes of a slot file of source entry index (of item->size bytes, which
// are not 0) come from: stored bytes with nothing to check are copied as they lie; a large
// file's are streamed when it is written; others are read here and inflated and checked by
// a worker. False when the save stopped while making room for them.
template <typename Write>
bool ReadySlotSourceBytes(const WriteJob& job, SaveQueue& queue, uint32_t index, SlotItem* item, Write write) {
  EntryWork& work = item->work;
  work.load = job.source->Locate(index, &work.where);
  if (work.load != EntryLoad::Ok) return true;
  if (!work.where.deflated && !work.where.hasCrc) {
    item->fromSource = true;
    item->offset = work.where.offset;
  } else if (item->size > kStreamedFileSize) {
    item->streamed = true;
  } else {
    work.decode = true;
    item->cost = work.where.storedSize + work.Cost(item->size);
    if (!queue.MakeRoom(item->cost, write)) return false;
    ReadStoredInput(job, &work);
    item->needsWork = work.load == EntryLoad::Ok;
  }
  return true;
}

// Writes the plain bytes of a slot file whose work is done, at the output's position.
Failure WriteSlotBytes(const WriteJob& job, ArchiveOutput* out, SaveProgress* progress, std::vector<uint8_t>& copyBuffer,
                       const SlotItem& item);

// Ends a write that failed: the output is closed and removed, and the failure names the
// job's format.
Failure EndFailedWrite(const WriteJob& job, ArchiveOutput* output, Failure failure);

// The bytes the job's source stores node's name under, as stored or lower-cased (as a tree
// that lower-cases names holds them), while they still read as path (the node's stored path in the tree): the file was
// neither renamed nor moved since it was read. How they read goes to *coding. False when
// they do not, or the node has no entry in the source.
bool UnchangedSourceName(const WriteJob& job, const Node* node, const std::string& path, std::string* bytes,
                         NameCoding* coding);

// The name bytes of a file of a format whose names are plain bytes (PAK, WAD2): the source's
// own while unchanged and read the same as bytes, otherwise path's UTF-8 text.
std::string BytesNameFor(const WriteJob& job, const Node* node, const std::string& path);

// A failure naming an entry, or its load failure.
Failure EntryFailure(Problem problem, const std::string& path, EntryLoad load = EntryLoad::Ok);

// The progress display of a job, opened for steps files, closed when this goes.
class JobProgress {
 public:
  JobProgress(const WriteJob& job, uint32_t steps);
  ~JobProgress();
  JobProgress(const JobProgress&) = delete;
  JobProgress& operator=(const JobProgress&) = delete;
  SaveProgress* get() const { return progress_; }

 private:
  SaveProgress* progress_;
};
