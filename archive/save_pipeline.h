// The threads of one save. The calling thread walks the tree, reads the source and writes
// the archive in archive order; worker threads turn the bytes of queued entries into the
// bytes written (inflating, checking, compressing), touching nothing but the entry's own
// memory. Every call of the save window and its progress dialog stays on the calling
// thread: a worker's failure is data, shown when its entry's turn to be written comes, so
// the first failure in archive order is the one the user reads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/entry_buffer.h"
#include "archive/problem.h"
#include "archive/progress.h"
#include "archive/source.h"
#include "archive/source_file.h"

// What the entries waiting to be written may hold in memory together. An entry larger
// than this still goes, with at most one other beside it.
constexpr uint64_t kSaveBytesInFlight = 64u << 20;

// How long the calling thread waits for a worker before it asks the progress dialog
// again whether the user cancelled (the dialog answers its Cancel button meanwhile).
constexpr std::chrono::milliseconds kSaveWaitSlice{30};

// The worker threads a save uses when given 0: one per core.
unsigned SaveThreadsFor(unsigned threads);

// What one worker thread keeps from one entry's work to the next.
struct WorkerScratch {
  // Reads the source of the entries whose stored bytes are checked in place, a piece of
  // this many bytes at a time.
  static constexpr size_t kPiece = 256 * 1024;
  std::unique_ptr<source_file::ParallelReader> reader;
  std::unique_ptr<uint8_t[]> piece;
};

// What a worker does for one entry, and what came of it.
struct EntryWork {
  EntryWork() = default;
  EntryWork(const EntryWork&) = delete;
  EntryWork& operator=(const EntryWork&) = delete;
  ~EntryWork() = default;

  // Set before the entry is queued.
  SharedBytes input;           // read for the save, or a memory file's own (shared)
  bool inputRead = false;      // input was read for the save: its memory counts in the budget
  bool decode = false;  // input holds a source entry's stored bytes, found at where
  StoredBytes where{};
  uint32_t crc = 0;          // computed with computeCrc
  bool computeCrc = false;   // the plain bytes' CRC-32 goes into crc
  int level = 0;             // 1-9: deflated at that level when that makes the bytes smaller
  // The input is a source entry's deflated bytes being compressed anew: they are kept, and
  // written as they lie, unless the new form is smaller.
  bool keepStored = false;
  // A PK3 entry whose stored bytes are copied as they lie: the worker reads them at where
  // from this source itself, in pieces, inflates them and checks them against where's CRC; nothing
  // of them is kept.
  bool verifyStored = false;
  FILE* sourceFile = nullptr;
  const char* sourcePath = nullptr;

  // Results.
  EntryLoad load = EntryLoad::Ok;  // why the source's bytes cannot be used
  SharedBytes plain;  // null for an empty entry
  std::shared_ptr<EntryBuffer> packed;  // the deflated form, when it is smaller than the plain one
  uint32_t packedSize = 0;
  SharedBytes stored;  // the source's own deflated bytes, smaller than either form (keepStored)

  // The most memory the entry holds on its way, for the budget.
  uint64_t Cost(uint32_t plainSize) const;
  const uint8_t* PlainData() const { return plain ? plain->data() : nullptr; }
  uint32_t PlainSize() const { return plain ? static_cast<uint32_t>(plain->size()) : 0; }
  // Does the entry's work up to its compression. Returns how many parts of a large
  // entry's compression are left to RunPart, each of which must then run once, or 0 when
  // the work is done.
  uint32_t Run(const std::atomic<bool>& stop, WorkerScratch& scratch);
  // Compresses one part; true for the part that finished the entry's work, whichever ran
  // last.
  bool RunPart(uint32_t index, const std::atomic<bool>& stop);

 private:
  // Compresses the plain bytes whole, or readies the parts; returns the parts left.
  uint32_t Compress(const std::atomic<bool>& stop);
  void JoinParts();
  // Of the source's deflated bytes (keepStored) and the form chosen, keeps the smaller.
  void KeepSmaller();
  void VerifyStored(const std::atomic<bool>& stop, WorkerScratch& scratch);

  // A large entry's compression: each part goes into its own stretch of packed, partRoom_
  // bytes apart, and the stretches are closed up once all are done.
  uint32_t partRoom_ = 0;
  std::vector<uint32_t> partSizes_;
  std::atomic<uint32_t> partsLeft_{0};
  std::atomic<bool> partFailed_{false};
};

// One entry of a save in the queue, in archive order. A writer derives its own record of
// what to write from this.
struct SaveItem {
  virtual ~SaveItem() = default;
  std::string path;  // the stored path, for the dialog and the messages
  bool file = false;  // files show in the progress dialog and count a step each
  uint32_t size = 0;  // plain size, as the dialog shows it
  // A failure found while queuing, reported when the entry's turn comes (before it shows in
  // the dialog, as it was never begun).
  Failure failure;
  bool needsWork = false;  // work runs on a worker; else the entry is ready as queued
  // A large file whose bytes are streamed when it is written, from work.where in the source,
  // or from work.input for a memory file.
  bool streamed = false;
  uint64_t cost = 0;
  EntryWork work;

 private:
  friend class SavePipeline;
  bool done_ = false;  // guarded by the pipeline's mutex
};

class SavePipeline {
 public:
  // threads: workers to start (0: one per core); they start with the first entry that
  // needs one.
  explicit SavePipeline(unsigned threads, uint64_t budget = kSaveBytesInFlight);
  // Stops the workers: none begins another entry, running ones stop at their next slice;
  // waits for them.
  ~SavePipeline();
  SavePipeline(const SavePipeline&) = delete;
  SavePipeline& operator=(const SavePipeline&) = delete;

  // True when an entry holding cost bytes may join the queue now: the queue holds at most
  // one entry or the budget has room.
  bool Admits(uint64_t cost) const;
  void Push(std::unique_ptr<SaveItem> item);
  bool Empty() const { return queue_.empty(); }
  SaveItem& Front() { return *queue_.front(); }
  // Waits at most slice for the front entry's work; true when it is done.
  bool WaitFront(std::chrono::milliseconds slice);
  // Drops the front entry once written, and the memory it held.
  void PopFront();

 private:
  void Work();

  const unsigned threads_;
  const uint64_t budget_;
  uint64_t inFlight_ = 0;
  std::deque<std::unique_ptr<SaveItem>> queue_;  // the calling thread's alone

  // An entry's work, or one part of a large entry's compression.
  struct Task {
    SaveItem* item;
    uint32_t part;
  };
  static constexpr uint32_t kWholeEntry = UINT32_MAX;

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable workDone_;
  std::deque<Task> todo_;  // work no worker took yet
  std::atomic<bool> stop_{false};
  std::vector<std::thread> workers_;
};

// Writes the front entry on the calling thread: takes a failure found while queuing, shows
// the entry in the dialog, waits for its work (asking the dialog between slices whether the
// user cancelled), calls write(item) and counts the step. False when the save stops here,
// with *failure set (Cancelled when the user stopped it).
template <typename Write>
bool WriteFront(SaveProgress* progress, SavePipeline& pipeline, Failure* failure, Write write) {
  SaveItem& item = pipeline.Front();
  if (item.failure) {
    *failure = item.failure;
    return false;
  }
  const bool shown = item.file && progress != nullptr;
  if (shown) progress->ShowItem(item.path.c_str(), item.size);
  while (!pipeline.WaitFront(kSaveWaitSlice)) {
    if (progress != nullptr && progress->Cancelled()) {
      *failure = Fail(Problem::Cancelled);
      return false;
    }
  }
  *failure = write(item);
  if (*failure) return false;
  pipeline.PopFront();
  if (shown) {
    progress->Step();
    if (progress->Cancelled()) {
      *failure = Fail(Problem::Cancelled);
      return false;
    }
  }
  return true;
}
