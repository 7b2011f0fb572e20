#include "archive/save_pipeline.h"

#include <cstdlib>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "archive/save_message.h"

unsigned SaveThreadsFor(unsigned threads) {
  if (threads != 0) return threads;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores != 0 ? cores : 1;
}

// ---- EntryWork ----

EntryWork::~EntryWork() {
  ReleaseEntryBytes(&input);
  ReleaseEntryBytes(&plain);
  std::free(packed);
}

uint64_t EntryWork::Cost(uint32_t plainSize) const {
  uint64_t cost = input.owned ? input.size : 0;
  // A deflated source entry is inflated into a block of its own.
  if (decode && where.deflated) cost += plainSize;
  // The compressed form gets room for as many bytes as the plain one.
  if (level > 0) cost += plainSize;
  return cost;
}

void EntryWork::Run(const std::atomic<bool>& stop) {
  if (decode) {
    if (where.deflated) {
      uint8_t* block = static_cast<uint8_t*>(std::malloc(where.uncompressedSize ? where.uncompressedSize : 1));
      if (block == nullptr) {
        load = EntryLoad::NoMemory;
        return;
      }
      plain = EntryBytes{block, where.uncompressedSize, true};
      load = Pk3DecodeStored(where, crc, input.data, block);
      ReleaseEntryBytes(&input);
    } else {
      load = Pk3DecodeStored(where, crc, input.data, input.data);
      plain = input;
      input = EntryBytes{nullptr, 0, false};
    }
    if (load != EntryLoad::Ok) return;
  } else {
    plain = input;
    input = EntryBytes{nullptr, 0, false};
  }
  if (computeCrc) crc = Crc32(plain.data, plain.size);
  if (level <= 0 || plain.size == 0) return;
  // Compressed only when that makes the bytes smaller; a failure to compress is no error,
  // the entry is stored.
  uint8_t* out = static_cast<uint8_t*>(std::malloc(plain.size));
  if (out == nullptr) return;
  uint32_t outSize = plain.size;
  if (!DeflateBuffer(out, &outSize, plain.data, plain.size, level, &stop) || outSize >= plain.size) {
    std::free(out);
    return;
  }
  packed = out;
  packedSize = outSize;
  // The plain form is not needed any more.
  ReleaseEntryBytes(&plain);
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
    todo_.push_back(raw);
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
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [this] { return stop_ || !todo_.empty(); });
    if (stop_) return;
    // Oldest first: the entry the writing thread waits for is always the next one taken.
    SaveItem* item = todo_.front();
    todo_.pop_front();
    lock.unlock();
    item->work.Run(stop_);
    lock.lock();
    item->done_ = true;
    workDone_.notify_all();
  }
}

void ShowQueuedFailure(SaveWindow& window, const SaveItem& item) {
  if (item.failure != nullptr)
    ShowSaveFailure(window, item.failure, item.path.c_str());
  else
    ShowLoadFailure(window, item.refusal, item.path.c_str(), "");
}
