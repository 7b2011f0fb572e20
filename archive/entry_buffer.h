// The bytes of an entry held in memory: a file imported from disk or copied from another
// archive, a read entry handed to a viewer or to the shell. Entries can be as large as the
// formats allow (4 GB), so a buffer is allocated without throwing and a caller that gets
// none says so; this is the one place the core allocates raw memory. Buffers are shared
// and never change once filled: a copy of a memory file within an archive shares them.
//
// Memory policy of the core: entry buffers may fail (a clear message follows); the small
// records around them (names, nodes, tables) are assumed to be had, as the program cannot
// go on without them anyway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class EntryBuffer {
 public:
  // A buffer of size bytes (not cleared), or null when memory runs out. A size of 0 gives
  // an empty buffer that holds no block.
  static std::shared_ptr<EntryBuffer> Allocate(size_t size);
  // A buffer holding a copy of size bytes at data, or null.
  static std::shared_ptr<EntryBuffer> Copy(const uint8_t* data, size_t size);

  ~EntryBuffer();
  EntryBuffer(const EntryBuffer&) = delete;
  EntryBuffer& operator=(const EntryBuffer&) = delete;

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  // Gives back the end of a buffer that was filled with fewer bytes than it has.
  void Shrink(size_t size);

 private:
  EntryBuffer(uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t* data_;
  size_t size_;
};

using SharedBytes = std::shared_ptr<const EntryBuffer>;
