#include "archive/entry_read_ahead.h"

#include <algorithm>

#include <cstring>
#include <new>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/entry_data.h"
#include "archive/save_pipeline.h"
#include "archive/source_file.h"
#include "archive/stored_reading.h"

namespace {

// Neighbours are read together while the run stays this small: large enough that a read
// brings many small entries, small enough to share out among the workers.
constexpr uint64_t kRunBytes = 1u << 20;
// A gap between neighbours that is cheaper to read through than to read around.
constexpr uint64_t kRunGap = 16 * 1024;
// Entries handed to a worker together at most.
constexpr size_t kRunEntries = 2048;
// A batch of entries read in one run whose plain bytes come to fewer than this wakes no
// worker: the calling thread does it when it comes to it (or a thread helping does it
// first), as waking a worker and waiting for it costs about as much as its work.
constexpr uint64_t kOwnWork = 64 * 1024;
// Batches queued ahead of the calling thread at most, for each worker: enough to keep every
// worker busy, few enough that the items of a whole archive of small entries (which cost no
// budget once the file is read whole) are not all made at once.
constexpr size_t kBatchesPerWorker = 2;

// Takes plain bytes: their CRC-32 on the way, and a copy into a buffer when there is one.
struct CheckSink : ByteSink {
  uint32_t crc = 0;
  uint8_t* fill = nullptr;
  size_t room = 0;
  bool Take(const uint8_t* data, size_t size) override {
    crc = Crc32Update(crc, data, size);
    if (fill == nullptr) return true;
    if (size > room) return false;
    std::memcpy(fill, data, size);
    fill += size;
    room -= size;
    return true;
  }
};

}  // namespace

struct EntryReadAhead::Scratch {
  WorkerScratch reading;  // the file read at offsets, a piece at a time
  InflateReuse inflater;
};

EntryReadAhead::EntryReadAhead(const ArchiveDocument* doc, std::vector<const Node*> nodes,
                               const ReadAheadOptions& options)
    : EntryReadAhead(doc, std::move(nodes), {}, options) {}

EntryReadAhead::EntryReadAhead(const ArchiveDocument* doc, std::vector<uint32_t> entries,
                               const ReadAheadOptions& options)
    : EntryReadAhead(doc, {}, std::move(entries), options) {}

EntryReadAhead::EntryReadAhead(const ArchiveDocument* doc, std::vector<const Node*> nodes,
                               std::vector<uint32_t> entries, const ReadAheadOptions& options)
    : doc_(doc),
      nodes_(std::move(nodes)),
      entries_(std::move(entries)),
      count_(nodes_.empty() ? entries_.size() : nodes_.size()),
      options_(options),
      threads_(SaveThreadsFor(options.workers)),
      wholeFile_(ReadWholeFile(doc, count_, options)) {}

std::shared_ptr<EntryBuffer> EntryReadAhead::ReadWholeFile(const ArchiveDocument* doc, size_t count,
                                                           const ReadAheadOptions& options) {
  ArchiveSource* source = doc && doc->source ? doc->source.get() : nullptr;
  const int64_t length = source && source->file() && count > 1 ? source->FileLength() : -1;
  if (length <= 0 || static_cast<uint64_t>(length) > options.wholeFile ||
      static_cast<uint64_t>(length) > options.budget / 2)
    return nullptr;
  std::shared_ptr<EntryBuffer> whole = EntryBuffer::Allocate(static_cast<size_t>(length));
  // Should it fail, the entries are read in runs as for any other file.
  if (whole && !source_file::ReadPieceAt(source->file(), 0, whole->data(), whole->size())) whole.reset();
  return whole;
}

EntryReadAhead::~EntryReadAhead() {
  StopHelping();
  for (std::thread& t : workers_) t.join();
}

std::unique_ptr<EntryReadAhead::Batch> EntryReadAhead::Plan() {
  std::unique_ptr<Batch> batch(new Batch);
  // Made once at its most: a batch of small entries takes thousands.
  batch->items.reserve(std::min(kRunEntries, count_ - planned_));
  bool open = true;  // the batch may take more neighbours
  while (planned_ < count_ && open) {
    const Node* node = nodes_.empty() ? nullptr : nodes_[planned_];
    // Made in place, and taken back should the batch end before it: an item filled field by
    // field and then copied whole would be read back before its fields are all written.
    Item& item = batch->items.emplace_back();
    item.node = node;
    const EntryLoad planned = !nodes_.empty() || !doc_->source
                                  ? PlanEntryRead(doc_, node, &item.where)
                                  : doc_->source->ReadPlan(entries_[planned_], &item.where);
    if (planned == EntryLoad::NoBytes && node != nullptr && node->IsFile()) {
      // A memory file: its bytes are at hand.
      if (options_.keepBytes) {
        if (const EntryBuffer* memory = node->memory()) {
          item.data = memory->data();
          item.size = memory->size();
        }
      }
    } else if (planned != EntryLoad::Ok || item.where.size == 0) {
      item.load = planned;
    } else {
      const StoredBytes& w = item.where;
      const uint64_t stored = w.deflated ? w.storedSize : w.size;
      item.entry = node ? node->source()->index : entries_[planned_];
      item.file = doc_->source->EntryFile(item.entry);
      if (options_.keepBytes && w.size > options_.keepLimit) {
        item.kind = Kind::ReadHere;
      } else if (stored > kRunBytes || item.file == nullptr) {
        item.kind = Kind::Pieces;
      } else {
        item.kind = Kind::InRun;
      }
      if (item.kind != Kind::InRun) {
        // Alone in its batch: the batch so far goes first.
        if (batch->items.size() > 1) {
          batch->items.pop_back();
          break;
        }
        batch->cost = item.kind == Kind::ReadHere ? 0
                      : options_.keepBytes      ? w.size
                                                : WorkerScratch::kPiece;
        open = false;
      } else if (batch->runEnd > batch->runStart && item.file != batch->runFile) {
        // A run is read from one file.
        batch->items.pop_back();
        break;
      } else if (batch->runEnd > batch->runStart) {
        // Neighbours in either direction, or in a hole of the run: walk order need not be
        // file order. The run takes them while it stays small and mostly made of their bytes.
        const uint64_t start = w.offset < batch->runStart ? w.offset : batch->runStart;
        const uint64_t end = w.offset + stored > batch->runEnd ? w.offset + stored : batch->runEnd;
        const uint64_t useful = batch->useful + stored;
        if (!wholeFile_ &&
            (end - start > kRunBytes || end - start - (useful < end - start ? useful : end - start) > useful + kRunGap)) {
          batch->items.pop_back();
          break;
        }
        batch->runStart = start;
        batch->runEnd = end;
        batch->useful = useful;
      } else {
        batch->runStart = w.offset;
        batch->runEnd = w.offset + stored;
        batch->useful = stored;
        batch->runFile = item.file;
      }
      if (item.kind == Kind::InRun && options_.keepBytes && w.deflated) batch->cost += w.size;
    }
    ++planned_;
    if (batch->items.size() >= kRunEntries) open = false;
  }
  if (!wholeFile_) batch->cost += batch->runEnd - batch->runStart;
  return batch;
}

void EntryReadAhead::Fill() {
  for (;;) {
    if (!pending_) {
      if (planned_ == count_) {
        // A thread helping leaves once the last batch is taken.
        if (!allQueuedTold_) {
          allQueuedTold_ = true;
          {
            std::lock_guard<std::mutex> lock(mutex_);
            allQueued_ = true;
          }
          workReady_.notify_all();
        }
        return;
      }
      pending_ = Plan();
    }
    Batch& batch = *pending_;
    const bool admitted =
        queue_.size() <= 1 || (queue_.size() < kBatchesPerWorker * threads_ + 1 && inFlight_ <= options_.budget &&
                               batch.cost <= options_.budget - inFlight_);
    if (!admitted) return;
    bool needsWork = false;
    // A run of a file read whole is there already; another is read by the worker that takes
    // the batch.
    if (batch.runEnd > batch.runStart && wholeFile_) {
      batch.run = wholeFile_;
      batch.runStart = 0;
    }
    uint64_t plain = 0;
    bool pieces = false;
    for (const Item& item : batch.items) {
      needsWork = needsWork || item.kind == Kind::InRun || item.kind == Kind::Pieces;
      pieces = pieces || item.kind == Kind::Pieces;
      if (item.kind == Kind::InRun) plain += item.where.size;
    }
    inFlight_ += batch.cost;
    Batch* raw = pending_.get();
    queue_.push_back(std::move(pending_));
    if (!needsWork) {
      raw->done = true;  // no worker has seen it
      continue;
    }
    // Little work is left to this thread, and to a thread helping, rather than woken for.
    batch.little = !pieces && plain < kOwnWork;
    const bool wake = !batch.little;
    if (wake && workers_.empty())
      for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
    bool helped = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      todo_.push_back(raw);
      helped = helpers_ > 0;
    }
    // A thread helping takes only little work: woken for more, it would leave it to a
    // worker that was not woken.
    if (helped)
      workReady_.notify_all();
    else if (wake)
      workReady_.notify_one();
  }
}

bool EntryReadAhead::Next(std::chrono::milliseconds slice, EntryOutcome* outcome) {
  Fill();
  if (queue_.empty()) return false;
  Batch* front = queue_.front().get();
  if (!front->done.load(std::memory_order_acquire)) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Rather than wait, this thread does the oldest batch of little work no thread has taken
    // yet: a worker woken for it could stay on this thread's processor (as some kernels keep
    // the threads a thread wakes) and only take turns with it. Larger ones are the workers':
    // this thread must be able to stop between slices.
    while (!front->done.load(std::memory_order_relaxed)) {
      if (!todo_.empty() && todo_.front()->little) {
        Batch* batch = todo_.front();
        todo_.pop_front();
        if (!own_) own_.reset(new Scratch);
        RunTaken(*batch, *own_, lock);
      } else if (!workDone_.wait_for(lock, slice, [front] { return front->done.load(); })) {
        // Most entries are ready when asked for: the clock is read only to wait.
        return false;
      }
    }
  }
  Item& item = front->items[front->given++];
  *outcome = EntryOutcome{};
  outcome->node = item.node;
  outcome->load = item.load;
  outcome->readHere = item.kind == Kind::ReadHere;
  // The bytes are handed out only when kept for the caller: holding the run for each of
  // thousands of small entries only checked would cost more than checking them.
  if (options_.keepBytes) {
    outcome->data = item.data;
    outcome->size = item.size;
    outcome->holder = item.plain ? std::move(item.plain) : SharedBytes(front->run);
  }
  ++given_;
  if (front->given == front->items.size()) {
    inFlight_ -= front->cost;
    queue_.pop_front();
    Fill();
  }
  return true;
}

void EntryReadAhead::Work() {
  Scratch scratch;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [this] { return stop_ || !todo_.empty(); });
    if (stop_) return;
    // Oldest first: the batch the calling thread waits for is always the next one taken.
    Batch* batch = todo_.front();
    todo_.pop_front();
    RunTaken(*batch, scratch, lock);
  }
}

void EntryReadAhead::RunTaken(Batch& batch, Scratch& scratch, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  RunBatch(batch, scratch);
  lock.lock();
  batch.done.store(true, std::memory_order_release);
  workDone_.notify_all();
}

void EntryReadAhead::Help() {
  Scratch scratch;
  std::unique_lock<std::mutex> lock(mutex_);
  ++helpers_;
  // The oldest batch of little work queued: larger ones are left to the workers, which
  // were woken for them, so that no more of them are read at once than the budget planned.
  const auto little = [this] {
    return std::find_if(todo_.begin(), todo_.end(), [](const Batch* batch) { return batch->little; });
  };
  for (;;) {
    workReady_.wait(lock, [&] { return stop_ || little() != todo_.end() || allQueued_; });
    const auto found = little();
    if (stop_ || found == todo_.end()) break;
    Batch* batch = *found;
    todo_.erase(found);
    RunTaken(*batch, scratch, lock);
  }
  --helpers_;
}

void EntryReadAhead::StopHelping() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    stopping_ = true;
    todo_.clear();
  }
  workReady_.notify_all();
}

source_file::ParallelReader* EntryReadAhead::ReaderFor(Scratch& scratch, FILE* file, uint32_t entry) {
  WorkerScratch& reading = scratch.reading;
  if (!reading.reader || reading.reader->Shared() != file)
    reading.reader.reset(new (std::nothrow) source_file::ParallelReader(file, doc_->source->EntryFilePath(entry).c_str()));
  return reading.reader.get();
}

void EntryReadAhead::RunBatch(Batch& batch, Scratch& scratch) {
  if (batch.runEnd > batch.runStart && !batch.run && !stopping_.load(std::memory_order_relaxed)) {
    // The run is read in one go, on this thread while others inflate the runs before; should
    // that fail, each of its entries is read on its own, as it would be alone.
    const Item* first = nullptr;
    for (const Item& item : batch.items)
      if (item.kind == Kind::InRun && first == nullptr) first = &item;
    source_file::ParallelReader* reader = first ? ReaderFor(scratch, batch.runFile, first->entry) : nullptr;
    if (reader != nullptr) batch.run = EntryBuffer::Allocate(static_cast<size_t>(batch.runEnd - batch.runStart));
    if (batch.run == nullptr || !reader->ReadAt(batch.runStart, batch.run->data(), batch.run->size())) {
      batch.run.reset();
      for (Item& item : batch.items)
        if (item.kind == Kind::InRun) item.kind = Kind::Pieces;
    }
  }
  for (Item& item : batch.items) {
    if (stopping_.load(std::memory_order_relaxed)) return;
    if (item.kind == Kind::InRun || item.kind == Kind::Pieces) RunItem(batch, item, scratch);
  }
}

void EntryReadAhead::RunItem(Batch& batch, Item& item, Scratch& scratch) {
  const StoredBytes& w = item.where;
  std::shared_ptr<EntryBuffer> plain;
  CheckSink sink;
  // Stored bytes read in a run are kept where they lie; others get a buffer of their own.
  if (options_.keepBytes && (item.kind != Kind::InRun || w.deflated)) {
    plain = EntryBuffer::Allocate(w.size);
    if (!plain) {
      item.load = EntryLoad::NoMemory;
      return;
    }
    sink.fill = plain->data();
    sink.room = plain->size();
  }
  EntryLoad load = EntryLoad::Ok;
  if (item.kind == Kind::InRun) {
    const uint8_t* stored = batch.run->data() + (w.offset - batch.runStart);
    if (!w.deflated) {
      // Stored bytes are their own plain form.
      item.data = stored;
      item.size = w.size;
      sink.crc = Crc32(stored, w.size);
    } else if (plain) {
      if (!scratch.inflater.Inflate(plain->data(), w.size, stored, w.storedSize))
        load = EntryLoad::ReadFailed;
      else
        sink.crc = Crc32(plain->data(), w.size);
    } else {
      load = LoadOfInflate(scratch.inflater.InflateTo(stored, w.storedSize, w.size, &sink));
    }
  } else {
    // Read in pieces at offsets, as ReadStoredBytes reads through the source's own file.
    WorkerScratch& reading = scratch.reading;
    FILE* file = item.file;
    if (file == nullptr) {
      // An entry kept in no open file is read by the source itself, which may be asked from
      // any thread.
      item.load = doc_->source->Read(item.entry, &sink);
      if (item.load == EntryLoad::Ok && w.hasCrc && sink.crc != w.crc) item.load = EntryLoad::CrcMismatch;
      if (item.load == EntryLoad::Ok && plain) {
        item.data = plain->data();
        item.size = plain->size();
        item.plain = std::move(plain);
      }
      return;
    }
    ReaderFor(scratch, file, item.entry);
    if (!reading.piece) reading.piece.reset(new (std::nothrow) uint8_t[WorkerScratch::kPiece]);
    if (!reading.reader || !reading.piece) {
      item.load = EntryLoad::NoMemory;
      return;
    }
    std::unique_ptr<InflateStream> inflater;
    if (w.deflated) inflater.reset(new (std::nothrow) InflateStream(w.size));
    if (w.deflated && !inflater) {
      item.load = EntryLoad::NoMemory;
      return;
    }
    uint64_t offset = w.offset;
    uint64_t left = w.deflated ? w.storedSize : w.size;
    InflateStream::Status status = InflateStream::Status::More;
    while (left > 0 && status == InflateStream::Status::More && load == EntryLoad::Ok) {
      if (stopping_.load(std::memory_order_relaxed)) return;
      const size_t piece = left < WorkerScratch::kPiece ? static_cast<size_t>(left) : WorkerScratch::kPiece;
      uint8_t* buffer = reading.piece.get();
      if (!reading.reader->ReadAt(offset, buffer, piece)) {
        load = EntryLoad::ReadFailed;
      } else if (inflater) {
        status = inflater->Feed(buffer, piece, &sink);
      } else if (!sink.Take(buffer, piece)) {
        load = EntryLoad::ReadFailed;
      }
      offset += piece;
      left -= piece;
    }
    if (load == EntryLoad::Ok && inflater) load = LoadOfInflate(inflater->Finish());
  }
  if (load == EntryLoad::Ok && w.hasCrc && sink.crc != w.crc) load = EntryLoad::CrcMismatch;
  item.load = load;
  if (load == EntryLoad::Ok && plain) {
    item.data = plain->data();
    item.size = plain->size();
    item.plain = std::move(plain);
  }
}

void ReadAheadHelpers::Offer(EntryReadAhead* ahead) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    offered_ = ahead;
  }
  changed_.notify_all();
}

void ReadAheadHelpers::Withdraw() {
  std::unique_lock<std::mutex> lock(mutex_);
  closed_ = true;
  if (offered_ && inside_ > 0) offered_->StopHelping();
  offered_ = nullptr;
  changed_.notify_all();
  changed_.wait(lock, [this] { return inside_ == 0; });
}

void ReadAheadHelpers::Help() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return offered_ != nullptr || closed_; });
  if (offered_ == nullptr) return;
  EntryReadAhead* ahead = offered_;
  ++inside_;
  lock.unlock();
  ahead->Help();
  lock.lock();
  --inside_;
  changed_.notify_all();
}
