// Reading the file entries of a document on worker threads, ahead of the thread that uses
// them, and handing their outcomes to it in the order given: what test and extract want of
// every entry of an archive. Entries whose stored bytes are neighbours in the file are read
// together, with one read; their checks (inflating, CRC-32) run on the workers, which keep
// their inflate state from one entry to the next. What is read ahead is bounded by a byte
// budget, and a large entry is read in pieces, so memory stays bounded whatever the sizes.
// Only the calling thread touches the document and its source's file position; workers
// read the file at offsets (source_file::ParallelReader) and touch nothing else. A batch of
// little work wakes no worker: the calling thread does it when it comes to it, as it does
// any batch no worker has taken while it would wait; and a thread done with work of its own
// may help (ReadAheadHelpers), as a worker does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/document.h"
#include "archive/entry_buffer.h"
#include "archive/problem.h"
#include "archive/source.h"
#include "archive/tree.h"

namespace source_file {
class ParallelReader;
}

struct ReadAheadOptions {
  unsigned workers = 0;  // worker threads; 0: one per core
  // The plain bytes of each entry are kept for the caller (otherwise they are only checked),
  // up to keepLimit bytes an entry; a larger entry is left to the caller to read itself.
  bool keepBytes = false;
  uint32_t keepLimit = 8u << 20;
  // What the entries read ahead may hold in memory together. An entry larger than this
  // still goes, alone.
  uint64_t budget = 24u << 20;
  // An archive file of at most this many bytes is read whole, in one go, before anything
  // else (0: never); the budget keeps room for it.
  uint64_t wholeFile = 12u << 20;
};

// What came of one entry.
struct EntryOutcome {
  const Node* node = nullptr;
  // What StreamEntryBytes would have given (Ok for a memory file).
  EntryLoad load = EntryLoad::Ok;
  // With keepBytes, when load is Ok: the plain bytes, alive while the outcome is.
  const uint8_t* data = nullptr;
  size_t size = 0;
  // With keepBytes: the entry is too large to hold, and was not read; the caller streams it
  // (StreamEntryBytes), and load says nothing.
  bool readHere = false;
  SharedBytes holder;
};

class EntryReadAhead {
 public:
  // nodes: file nodes of doc, in the order their outcomes are wanted. Workers start with
  // the first entry that has bytes to read.
  EntryReadAhead(const ArchiveDocument* doc, std::vector<const Node*> nodes, const ReadAheadOptions& options);
  // entries: entries of doc's source, read as the file nodes that read from them would be
  // (the outcomes name no node), for work that needs no tree.
  EntryReadAhead(const ArchiveDocument* doc, std::vector<uint32_t> entries, const ReadAheadOptions& options);
  // Stops the workers (running ones at their next piece) and waits for them.
  ~EntryReadAhead();
  EntryReadAhead(const EntryReadAhead&) = delete;
  EntryReadAhead& operator=(const EntryReadAhead&) = delete;

  // Whether every node's outcome was handed out.
  bool Done() const { return given_ == count_; }
  // The outcome of the next node in order, once its work is done; false when slice passed
  // first (the caller may ask whether the user cancelled, and call again) or when Done.
  bool Next(std::chrono::milliseconds slice, EntryOutcome* outcome);

  // Called on another thread while the calling thread asks for outcomes: does queued
  // batches of little work (the workers take the rest) until the last batch is queued and
  // none is left, or StopHelping is called.
  void Help();
  // Makes Help and the workers return (at their entry's next piece), leaving the rest
  // undone: no outcome may be asked for after it.
  void StopHelping();

 private:
  // The archive file of doc read whole, as a read ahead of count entries with options reads
  // it before anything else; null when it is not read so (or cannot be read).
  static std::shared_ptr<EntryBuffer> ReadWholeFile(const ArchiveDocument* doc, size_t count,
                                                    const ReadAheadOptions& options);
  enum class Kind : uint8_t { Ready, InRun, Pieces, ReadHere };
  struct Item {
    const Node* node = nullptr;
    Kind kind = Kind::Ready;
    EntryLoad load = EntryLoad::Ok;
    StoredBytes where;
    // The file the stored bytes lie in; null for an entry the source reads itself.
    FILE* file = nullptr;
    uint32_t entry = 0;  // its index in the source
    SharedBytes plain;  // kept bytes, or the memory file's own
    const uint8_t* data = nullptr;
    size_t size = 0;
  };
  // Entries whose outcomes are handed out together: neighbours read in one run of bytes,
  // or one entry read in pieces.
  struct Batch {
    std::vector<Item> items;
    std::shared_ptr<EntryBuffer> run;  // the bytes from runStart, when read in one go
    FILE* runFile = nullptr;           // the file they are read from
    uint64_t runStart = 0, runEnd = 0;
    uint64_t useful = 0;  // stored bytes of the run's entries
    uint64_t cost = 0;
    size_t given = 0;   // items handed out
    bool little = false;  // little work: no worker is woken for it
    // Set under mutex_ once the batch's work is done; read without it by the calling thread,
    // which then needs no lock for the rest of the batch.
    std::atomic<bool> done{false};
  };
  struct Scratch;

  // The nodes, or when there are none the entries.
  EntryReadAhead(const ArchiveDocument* doc, std::vector<const Node*> nodes, std::vector<uint32_t> entries,
                 const ReadAheadOptions& options);
  // Plans and queues entries while the budget has room.
  void Fill();
  // Plans the next batch from the nodes not yet planned.
  std::unique_ptr<Batch> Plan();
  void Work();
  void RunBatch(Batch& batch, Scratch& scratch);
  // Runs a batch taken from todo_ with lock (on mutex_) held, lets go of the lock meanwhile,
  // and marks it done.
  void RunTaken(Batch& batch, Scratch& scratch, std::unique_lock<std::mutex>& lock);
  // The thread's reader of file, where entry's stored bytes lie; null when memory runs out.
  source_file::ParallelReader* ReaderFor(Scratch& scratch, FILE* file, uint32_t entry);
  void RunItem(Batch& batch, Item& item, Scratch& scratch);

  const ArchiveDocument* doc_;
  std::vector<const Node*> nodes_;  // or, when empty, entries_
  std::vector<uint32_t> entries_;
  const size_t count_;
  const ReadAheadOptions options_;
  const unsigned threads_;
  size_t planned_ = 0;  // nodes planned into batches
  size_t given_ = 0;    // outcomes handed out
  uint64_t inFlight_ = 0;
  // An archive file small enough is read whole, in one go, before anything else: its
  // entries then cost no read of their own, however their walk order jumps about the file.
  std::shared_ptr<EntryBuffer> wholeFile_;
  std::unique_ptr<Batch> pending_;            // planned, waiting for the budget
  std::deque<std::unique_ptr<Batch>> queue_;  // the calling thread's alone

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable workDone_;
  std::deque<Batch*> todo_;
  // The calling thread's own, for the batches it does itself.
  std::unique_ptr<Scratch> own_;
  bool stop_ = false;  // guarded by mutex_, and mirrored for the work in progress
  int helpers_ = 0;              // guarded by mutex_: threads in Help
  bool allQueued_ = false;       // guarded by mutex_: every batch is queued
  bool allQueuedTold_ = false;   // the calling thread's own copy of it
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> workers_;
};

// Where a thread that has finished its own work offers to help the read-ahead another
// thread uses: that thread offers it while it asks for outcomes and withdraws it before the
// read-ahead goes. Outlives both threads' use of it.
class ReadAheadHelpers {
 public:
  // The thread using ahead: another may help it from now until Withdraw.
  void Offer(EntryReadAhead* ahead);
  // Stops any thread helping and waits for it to leave; none may help after this.
  void Withdraw();
  // Another thread: waits for an offer and helps until the work runs out or the offer is
  // withdrawn; returns at once once Withdraw was called.
  void Help();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  EntryReadAhead* offered_ = nullptr;
  bool closed_ = false;
  int inside_ = 0;  // threads in offered_->Help()
};

// Offers ahead to helpers (may be null) for as long as it lives.
class ReadAheadOffer {
 public:
  ReadAheadOffer(ReadAheadHelpers* helpers, EntryReadAhead* ahead) : helpers_(helpers) {
    if (helpers_) helpers_->Offer(ahead);
  }
  ~ReadAheadOffer() {
    if (helpers_) helpers_->Withdraw();
  }
  ReadAheadOffer(const ReadAheadOffer&) = delete;
  ReadAheadOffer& operator=(const ReadAheadOffer&) = delete;

 private:
  ReadAheadHelpers* helpers_;
};
