// The worker's jobs: a CRC-32 worked out from an entry's bytes, read in pieces so that an
// entry of any size takes no more memory than a few of them, and thumbnails.
#include <algorithm>
#include <cstdio>

#include "archive/crc32.h"
#include "archive/stored_reading.h"
#include "panes/list_work.h"
#include "panes/thumbnails.h"

namespace {

class CrcSink : public ByteSink {
 public:
  explicit CrcSink(const std::atomic<bool>& stop) : stop_(stop) {}
  bool Take(const uint8_t* data, size_t size) override {
    if (stop_.load(std::memory_order_relaxed)) return false;
    crc = Crc32Update(crc, data, size);
    return true;
  }
  uint32_t crc = 0;

 private:
  const std::atomic<bool>& stop_;
};

bool WorkOutCrc(const EntrySnapshot& entry, const std::atomic<bool>& stop, uint32_t* crc) {
  if (entry.refused != EntryLoad::Ok) return false;
  CrcSink sink(stop);
  if (entry.archivePath.empty()) {
    const uint8_t* data = entry.memory ? entry.memory->data() : nullptr;
    const size_t size = entry.memory ? entry.memory->size() : 0;
    for (size_t done = 0; done < size; done += kStreamPieceSize)
      if (!sink.Take(data + done, std::min(kStreamPieceSize, size - done))) return false;
    *crc = sink.crc;
    return true;
  }
  Failure why;
  FILE* file = OpenArchiveFile(entry.archivePath, &why);
  if (file == nullptr) return false;
  const EntryLoad read = ReadStoredBytes(file, entry.where, &sink);
  std::fclose(file);
  if (read != EntryLoad::Ok) return false;
  *crc = sink.crc;
  return true;
}

}  // namespace

ListResult RunListJob(const ListJob& job, const std::atomic<bool>& stop) {
  ListResult result;
  result.kind = job.kind;
  result.node = job.node;
  if (job.kind == ListJobKind::Crc)
    result.ok = WorkOutCrc(job.entry, stop, &result.crc);
  else
    result.ok = MakeThumbnailPixels(job, stop, &result);
  return result;
}
