// Compressing a stream of plain bytes of any length on several threads in bounded memory:
// the bytes are cut into parts of kDeflatePartSize as they arrive, each part is compressed
// by a worker with the 32 KB before it as its dictionary, and the parts' outputs go to a
// sink in order as they are done. Joined, they are the one raw deflate stream DeflatePart
// makes of the same bytes held whole, whichever threads made them. A few parts are held at a
// time, whatever the length of the stream.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/deflate.h"

class PartDeflater : public ByteSink {
 public:
  enum class Status {
    Going,    // more plain bytes may come
    Done,     // every part was compressed and taken by the sink
    Reached,  // the output reached the limit: the compressed form would not be smaller
    Failed,   // a part could not be compressed, or memory ran out
    Refused,  // the sink refused a part (a write failed)
  };

  // level: 1-9. threads: the workers (at least one). The compression stops with Reached as
  // soon as its output would reach limit bytes.
  PartDeflater(int level, unsigned threads, ByteSink* out, uint64_t limit);
  // Stops the workers (running parts stop at their next slice) and waits for them.
  ~PartDeflater();
  PartDeflater(const PartDeflater&) = delete;
  PartDeflater& operator=(const PartDeflater&) = delete;

  // Takes the next plain bytes; false once the status is not Going.
  bool Take(const uint8_t* data, size_t size) override;
  // Compresses what is left as the stream's end and waits for every part to reach the sink.
  Status Finish();
  Status status() const { return status_; }
  // The compressed bytes the sink took.
  uint64_t produced() const { return produced_; }

 private:
  struct Slot {
    enum class State { Free, Filling, Queued, Done, Failed };
    State state = State::Free;  // guarded by mutex_ from Queued on
    std::unique_ptr<uint8_t[]> input;   // the dictionary, then the part's plain bytes
    std::unique_ptr<uint8_t[]> output;
    uint32_t dictionary = 0;
    uint32_t size = 0;
    uint32_t outputSize = 0;
    bool last = false;
  };

  bool Prepare(Slot& slot);
  // Hands the slot being filled to the workers and, unless it is the last, readies the next
  // one with the window of bytes before it. False when the status stops being Going.
  bool Submit(bool last);
  // Gives the sink the finished parts at the head, in order; with wait, until the head
  // slot is free (or everything, for the last). False once the status is not Going.
  bool WriteDone(bool wait, bool all);
  void Stop(Status why);
  void Work();

  const int level_;
  const unsigned threads_;
  ByteSink* const out_;
  const uint64_t limit_;
  Status status_ = Status::Going;
  uint64_t produced_ = 0;

  std::vector<Slot> slots_;
  size_t head_ = 0;  // the oldest part not yet given to the sink
  size_t fill_ = 0;  // the part being filled

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable partDone_;
  std::deque<size_t> todo_;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> workers_;
};
