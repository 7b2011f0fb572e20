#include "archive/part_deflater.h"

#include <cstring>
#include <new>

namespace {

// Parts in flight: enough for every worker to have one while the finished ones wait for the
// sink and the next one fills, few enough to keep the memory small on a machine of many cores.
size_t SlotsFor(unsigned threads) {
  const size_t slots = 2 * static_cast<size_t>(threads) + 1;
  return slots < 3 ? 3 : (slots > 17 ? 17 : slots);
}

}  // namespace

PartDeflater::PartDeflater(int level, unsigned threads, ByteSink* out, uint64_t limit)
    : level_(level), threads_(threads == 0 ? 1 : threads), out_(out), limit_(limit), slots_(SlotsFor(threads_)) {
  if (!Prepare(slots_[0])) return;
  slots_[0].state = Slot::State::Filling;
}

PartDeflater::~PartDeflater() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    todo_.clear();
  }
  workReady_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool PartDeflater::Prepare(Slot& slot) {
  if (!slot.input) slot.input.reset(new (std::nothrow) uint8_t[kDeflateWindow + kDeflatePartSize]);
  if (!slot.output) slot.output.reset(new (std::nothrow) uint8_t[DeflatePartBound(kDeflatePartSize)]);
  if (!slot.input || !slot.output) {
    Stop(Status::Failed);
    return false;
  }
  slot.dictionary = 0;
  slot.size = 0;
  slot.outputSize = 0;
  slot.last = false;
  return true;
}

void PartDeflater::Stop(Status why) {
  if (status_ == Status::Going) status_ = why;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    todo_.clear();
  }
  workReady_.notify_all();
}

bool PartDeflater::Take(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (status_ != Status::Going) return false;
    Slot& slot = slots_[fill_];
    if (slot.size == kDeflatePartSize) {
      // A full part is handed on only once more bytes follow it: the one that ends the
      // stream is compressed as its end.
      if (!Submit(false)) return false;
      continue;
    }
    const size_t room = kDeflatePartSize - slot.size;
    const size_t piece = size < room ? size : room;
    std::memcpy(slot.input.get() + slot.dictionary + slot.size, data, piece);
    slot.size += static_cast<uint32_t>(piece);
    data += piece;
    size -= piece;
  }
  return status_ == Status::Going;
}

bool PartDeflater::Submit(bool last) {
  Slot& slot = slots_[fill_];
  slot.last = last;
  if (workers_.empty())
    for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { Work(); });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.state = Slot::State::Queued;
    todo_.push_back(fill_);
  }
  workReady_.notify_one();
  if (last) return true;
  // The ring is full when the next slot is the oldest part, still on its way.
  const size_t next = (fill_ + 1) % slots_.size();
  if (!WriteDone(next == head_, false)) return false;
  Slot& following = slots_[next];
  if (!Prepare(following)) return false;
  // A part that is not last is whole, so the window before the next lies within it. The
  // workers only read it meanwhile.
  std::memcpy(following.input.get(), slot.input.get() + slot.dictionary + slot.size - kDeflateWindow, kDeflateWindow);
  following.dictionary = kDeflateWindow;
  following.state = Slot::State::Filling;
  fill_ = next;
  return true;
}

bool PartDeflater::WriteDone(bool wait, bool all) {
  for (;;) {
    if (status_ != Status::Going) return false;
    Slot& slot = slots_[head_];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (slot.state != Slot::State::Queued && slot.state != Slot::State::Done && slot.state != Slot::State::Failed)
        return true;  // the head is the part being filled: nothing is finished
      if (slot.state == Slot::State::Queued) {
        if (!wait && !all) return true;
        partDone_.wait(lock, [&slot] { return slot.state != Slot::State::Queued; });
      }
    }
    if (slot.state == Slot::State::Failed) {
      Stop(Status::Failed);
      return false;
    }
    if (produced_ + slot.outputSize >= limit_) {
      Stop(Status::Reached);
      return false;
    }
    if (!out_->Take(slot.output.get(), slot.outputSize)) {
      Stop(Status::Refused);
      return false;
    }
    produced_ += slot.outputSize;
    const bool last = slot.last;
    slot.state = Slot::State::Free;
    head_ = (head_ + 1) % slots_.size();
    if (last) return true;
    // One part written frees the slot a full ring waits for.
    if (wait && !all) wait = false;
  }
}

PartDeflater::Status PartDeflater::Finish() {
  if (status_ != Status::Going) return status_;
  if (!Submit(true)) return status_;
  if (!WriteDone(true, true)) return status_;
  status_ = Status::Done;
  return status_;
}

void PartDeflater::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [this] { return stop_ || !todo_.empty(); });
    if (stop_) return;
    Slot& slot = slots_[todo_.front()];
    todo_.pop_front();
    lock.unlock();
    uint32_t size = DeflatePartBound(kDeflatePartSize);
    const bool ok = DeflatePiece(slot.output.get(), &size, slot.input.get() + slot.dictionary, slot.size,
                                 slot.input.get(), slot.dictionary, slot.last, level_, &stop_) != 0;
    lock.lock();
    slot.outputSize = size;
    slot.state = ok ? Slot::State::Done : Slot::State::Failed;
    partDone_.notify_all();
  }
}
