#include "archive/save_pipeline.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/zip_source.h"

unsigned SaveThreadsFor(unsigned threads) {
  if (threads != 0) return threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores != 0 ? cores : 1;
}

// ---- EntryWork ----

namespace {

// The room the compressed form of plainSize bytes gets: as many bytes as the plain form
// when compressed whole (a larger result is not kept), each part's worst case when the
// work is split.
uint64_t CompressionRoom(uint32_t plainSize) {
  const uint32_t parts = DeflatePartCount(plainSize);
  if (parts == 1) return plainSize;
  return static_cast<uint64_t>(parts) * DeflatePartBound(kDeflatePartSize);
}

}  // namespace

uint64_t EntryWork::Cost(uint32_t plainSize) const {
  uint64_t cost = inputRead && input ? input->size() : 0;
  // A deflated source entry is inflated into a block of its own.
  if (decode && where.deflated) cost += plainSize;
  if (level > 0) cost += CompressionRoom(plainSize);
  return cost;
}

void EntryWork::VerifyStored(const std::atomic<bool>& stop, WorkerScratch& scratch) {
  if (!scratch.reader || scratch.reader->Shared() != sourceFile)
    scratch.reader.reset(new (std::nothrow) source_file::ParallelReader(sourceFile, sourcePath));
  if (!scratch.piece) scratch.piece.reset(new (std::nothrow) uint8_t[WorkerScratch::kPiece]);
  uint8_t* buffer = scratch.piece.get();
  if (!scratch.reader || buffer == nullptr) {
    load = EntryLoad::NoMemory;
    return;
  }
  // Only the plain bytes' CRC-32 is wanted of them.
  struct CrcOnly : ByteSink {
    uint32_t crc = 0;
    bool Take(const uint8_t* data, size_t size) override {
      crc = Crc32Update(crc, data, size);
      return true;
    }
  } sum;
  InflateStream inflater(where.size);
  uint64_t offset = where.offset;
  uint64_t left = where.storedSize;
  InflateStream::Status status = InflateStream::Status::More;
  while (left > 0 && status == InflateStream::Status::More) {
    if (stop.load(std::memory_order_relaxed)) return;
    const size_t piece = left < WorkerScratch::kPiece ? static_cast<size_t>(left) : WorkerScratch::kPiece;
    if (!scratch.reader->ReadAt(offset, buffer, piece)) {
      load = EntryLoad::ReadFailed;
      return;
    }
    status = inflater.Feed(buffer, piece, &sum);
    offset += piece;
    left -= piece;
  }
  status = inflater.Finish();
  if (status == InflateStream::Status::NoMemory)
    load = EntryLoad::NoMemory;
  else if (status != InflateStream::Status::Ended)
    load = EntryLoad::ReadFailed;
  else if (sum.crc != where.crc)
    load = EntryLoad::CrcMismatch;
}

uint32_t EntryWork::Run(const std::atomic<bool>& stop, WorkerScratch& scratch) {
  if (verifyStored) {
    VerifyStored(stop, scratch);
    return 0;
  }
  if (decode) {
    if (where.deflated) {
      std::shared_ptr<EntryBuffer> block = EntryBuffer::Allocate(where.size);
      if (!block) {
        load = EntryLoad::NoMemory;
        return 0;
      }
      load = DecodeStored(where, input->data(), block->data());
      plain = std::move(block);
    } else {
      // Stored bytes are their own plain form: only their CRC-32 is checked.
      load = DecodeStored(where, input->data(), const_cast<uint8_t*>(input->data()));
      plain = input;
    }
    if (keepStored && where.deflated && load == EntryLoad::Ok) stored = std::move(input);
    input.reset();
    if (load != EntryLoad::Ok) return 0;
  } else {
    plain = std::move(input);
  }
  const uint32_t size = PlainSize();
  if (computeCrc) crc = Crc32(PlainData(), size);
  const uint32_t parts = Compress(stop);
  if (parts == 0) KeepSmaller();
  return parts;
}

uint32_t EntryWork::Compress(const std::atomic<bool>& stop) {
  const uint32_t size = PlainSize();
  if (level <= 0 || size == 0) return 0;
  // Compressed only when that makes the bytes smaller; a failure to compress is no error,
  // the entry is stored.
  const uint64_t room = CompressionRoom(size);
  if (room > SIZE_MAX || room > UINT32_MAX) return 0;
  // Bytes that would come out hardly smaller are stored without the work.
  if (HardlyCompressible(PlainData(), size)) return 0;
  std::shared_ptr<EntryBuffer> out = EntryBuffer::Allocate(static_cast<size_t>(room));
  if (!out) return 0;
  const uint32_t parts = DeflatePartCount(size);
  if (parts > 1) {
    packed = std::move(out);
    partRoom_ = DeflatePartBound(kDeflatePartSize);
    partSizes_.assign(parts, 0);
    partsLeft_.store(parts, std::memory_order_relaxed);
    return parts;
  }
  uint32_t outSize = size;
  if (!DeflateBuffer(out->data(), &outSize, PlainData(), size, level, &stop) || outSize >= size) return 0;
  packed = std::move(out);
  packedSize = outSize;
  // The plain form is not needed any more.
  plain.reset();
  return 0;
}

void EntryWork::KeepSmaller() {
  if (!stored) return;
  // A recompression that does not gain keeps the bytes as they were, so that a save never
  // makes an entry larger than its source had it.
  const uint32_t chosen = packed ? packedSize : PlainSize();
  if (packed ? where.storedSize > chosen : where.storedSize >= chosen) {
    stored.reset();
    return;
  }
  packed.reset();
  plain.reset();
}

bool EntryWork::RunPart(uint32_t index, const std::atomic<bool>& stop) {
  uint32_t size = partRoom_;
  if (DeflatePart(packed->data() + static_cast<size_t>(index) * partRoom_, &size, PlainData(), PlainSize(), index,
                  level, &stop))
    partSizes_[index] = size;
  else
    partFailed_.store(true, std::memory_order_relaxed);
  // The part that ends the count sees every other part's result.
  if (partsLeft_.fetch_sub(1, std::memory_order_acq_rel) != 1) return false;
  JoinParts();
  return true;
}

void EntryWork::JoinParts() {
  uint64_t total = 0;
  if (!partFailed_.load(std::memory_order_relaxed)) {
    // Each part moves down to follow the one before; none overtakes the next one's start.
    uint8_t* data = packed->data();
    for (size_t i = 0; i < partSizes_.size(); ++i) {
      std::memmove(data + total, data + i * partRoom_, partSizes_[i]);
      total += partSizes_[i];
    }
  }
  if (partFailed_.load(std::memory_order_relaxed) || total >= PlainSize()) {
    packed.reset();
  } else {
    packedSize = static_cast<uint32_t>(total);
    plain.reset();
    // Give back the room the parts did not fill.
    packed->Shrink(total);
  }
  KeepSmaller();
}

// ---- SavePipeline ----

SavePipeline::SavePipeline(unsigned threads, uint64_t budget)
    : threads_(SaveThreadsFor(threads)), budget_(budget) {}

SavePipeline::~SavePipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    todo_.clear();
  }
  workReady_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool SavePipeline::Admits(uint64_t cost) const {
  return queue_.size() <= 1 || (inFlight_ <= budget_ && cost <= budget_ - inFlight_);
}

void SavePipeline::Push(std::unique_ptr<SaveItem> item) {
  inFlight_ += item->cost;
  SaveItem* raw = item.get();
  const bool needsWork = item->needsWork;
  if (needsWork) {
    if (workers_.empty())
      for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
    std::lock_guard<std::mutex> lock(mutex_);
    todo_.push_back({raw, kWholeEntry});
  } else {
    raw->done_ = true;  // no worker has seen it yet
  }
  queue_.push_back(std::move(item));
  if (needsWork) workReady_.notify_one();
}

bool SavePipeline::WaitFront(std::chrono::milliseconds slice) {
  SaveItem* front = queue_.front().get();
  std::unique_lock<std::mutex> lock(mutex_);
  return workDone_.wait_for(lock, slice, [front] { return front->done_; });
}

void SavePipeline::PopFront() {
  inFlight_ -= queue_.front()->cost;
  queue_.pop_front();
}

void SavePipeline::Work() {
  WorkerScratch scratch;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [this] { return stop_ || !todo_.empty(); });
    if (stop_) return;
    // Oldest first: the entry the writing thread waits for is always the next one taken,
    // and the parts of a large entry go ahead of the entries queued after it.
    const Task task = todo_.front();
    todo_.pop_front();
    lock.unlock();
    EntryWork& work = task.item->work;
    bool finished;
    if (task.part == kWholeEntry) {
      const uint32_t parts = work.Run(stop_, scratch);
      finished = parts == 0;
      if (!finished) {
        lock.lock();
        for (uint32_t i = parts - 1; i > 0; --i) todo_.push_front({task.item, i});
        lock.unlock();
        workReady_.notify_all();
        finished = work.RunPart(0, stop_);
      }
    } else {
      finished = work.RunPart(task.part, stop_);
    }
    lock.lock();
    if (finished) {
      task.item->done_ = true;
      workDone_.notify_all();
    }
  }
}
