#include "archive/writer_shared.h"

#include "archive/crc32.h"
#include "archive/source_file.h"
#include "archive/stored_reading.h"

CopyResult CopySourceBytes(FILE* from, uint64_t offset, uint64_t n, ArchiveOutput* out, uint8_t* buffer,
                           size_t bufferSize) {
  if (n == 0) return CopyResult::Ok;
  if (from == nullptr) return CopyResult::ReadFailed;
  while (n > 0) {
    const size_t piece = n < bufferSize ? static_cast<size_t>(n) : bufferSize;
    if (!source_file::ReadPieceAt(from, offset, buffer, piece)) return CopyResult::ReadFailed;
    if (!OutputWrite(out, buffer, piece)) return CopyResult::WriteFailed;
    offset += piece;
    n -= piece;
  }
  return CopyResult::Ok;
}

namespace {

// Takes the CRC-32 of the bytes on their way to the next sink, and asks the progress every
// few pieces whether the user cancelled.
class StreamedBytes : public ByteSink {
 public:
  StreamedBytes(SaveProgress* progress, ByteSink* next) : progress_(progress), next_(next) {}
  bool Take(const uint8_t* data, size_t size) override {
    crc = Crc32Update(crc, data, size);
    untilAsked_ = untilAsked_ > size ? untilAsked_ - size : 0;
    if (untilAsked_ == 0 && progress_ != nullptr) {
      untilAsked_ = kAskEvery;
      if (progress_->Cancelled()) {
        cancelled = true;
        return false;
      }
    }
    return next_->Take(data, size);
  }
  uint32_t crc = 0;
  bool cancelled = false;

 private:
  static constexpr size_t kAskEvery = 4u << 20;
  SaveProgress* progress_;
  ByteSink* next_;
  size_t untilAsked_ = kAskEvery;
};

}  // namespace

EntryLoad StreamFileBytes(const WriteJob& job, const SaveItem& item, SaveProgress* progress, ByteSink* sink,
                          uint32_t* crc, bool* cancelled) {
  StreamedBytes bytes(progress, sink);
  EntryLoad load = EntryLoad::Ok;
  if (const SharedBytes& memory = item.work.input) {
    const uint8_t* data = memory->data();
    for (size_t left = memory->size(); left > 0 && load == EntryLoad::Ok;) {
      const size_t piece = left < kStreamPieceSize ? left : kStreamPieceSize;
      if (!bytes.Take(data, piece)) load = EntryLoad::Stopped;
      data += piece;
      left -= piece;
    }
  } else if (job.source == nullptr || job.source->file() == nullptr) {
    load = EntryLoad::NotInSource;
  } else {
    load = ReadStoredBytes(job.source->file(), item.work.where, &bytes);
  }
  *crc = bytes.crc;
  *cancelled = bytes.cancelled;
  return load;
}

Failure StreamFailure(EntryLoad load, bool cancelled, bool writeFailed, const std::string& path) {
  if (cancelled) return Fail(Problem::Cancelled);
  if (writeFailed) return Fail(Problem::WriteFailed, path);
  return EntryFailure(Problem::LoadFailed, path, load);
}

Failure CopyEntryBytes(const WriteJob& job, uint64_t offset, uint64_t n, ArchiveOutput* out,
                       std::vector<uint8_t>& buffer, const std::string& path) {
  const CopyResult copied = CopySourceBytes(job.source->file(), offset, n, out, buffer.data(), buffer.size());
  if (copied == CopyResult::ReadFailed) return EntryFailure(Problem::LoadFailed, path, EntryLoad::ReadFailed);
  if (copied == CopyResult::WriteFailed) return Fail(Problem::WriteFailed, path);
  return Failure();
}

void ReadStoredInput(const WriteJob& job, EntryWork* work) {
  std::shared_ptr<EntryBuffer> stored = EntryBuffer::Allocate(work->where.storedSize);
  if (!stored)
    work->load = EntryLoad::NoMemory;
  else if (work->where.storedSize == 0 ||
           !source_file::ReadAt(job.source->file(), work->where.offset, stored->data(), work->where.storedSize))
    work->load = EntryLoad::ReadFailed;
  else
    work->input = std::move(stored);
  work->inputRead = true;
}

Failure WriteSlotBytes(const WriteJob& job, ArchiveOutput* out, SaveProgress* progress, std::vector<uint8_t>& copyBuffer,
                       const SlotItem& item) {
  if (item.fromSource) return CopyEntryBytes(job, item.offset, item.size, out, copyBuffer, item.path);
  if (item.streamed) {
    OutputSink sink(out);
    uint32_t crc;
    bool cancelled;
    const EntryLoad load = StreamFileBytes(job, item, progress, &sink, &crc, &cancelled);
    return load == EntryLoad::Ok ? Failure() : StreamFailure(load, cancelled, sink.failed, item.path);
  }
  if (!OutputWrite(out, item.work.PlainData(), item.work.PlainSize())) return Fail(Problem::WriteFailed, item.path);
  return Failure();
}

Failure EndFailedWrite(const WriteJob& job, ArchiveOutput* output, Failure failure) {
  failure.format = job.format ? job.format->name : nullptr;
  OutputClose(output);
  OutputRemove(output);
  return failure;
}

bool UnchangedSourceName(const WriteJob& job, const Node* node, const std::string& path, std::string* bytes,
                         NameCoding* coding) {
  const SourceEntry* entry = node->source();
  const ArchiveSource* source = job.source;
  if (entry == nullptr || source == nullptr || entry->index >= source->Count()) return false;
  *coding = source->NameCodingOf(entry->index);
  const auto readsAsPath = [&](const std::string& candidate) {
    return IsAscii(candidate) ? candidate == path : NameText(candidate, *coding) == path;
  };
  // As stored, for a tree that keeps the case of names; lower-cased, for one that does not.
  *bytes = source->Name(entry->index);
  if (readsAsPath(*bytes)) return true;
  LowerCaseAscii(bytes);
  return readsAsPath(*bytes);
}

std::string BytesNameFor(const WriteJob& job, const Node* node, const std::string& path) {
  std::string bytes;
  NameCoding coding;
  if (UnchangedSourceName(job, node, path, &bytes, &coding) &&
      (coding == NameCoding::Bytes || NameText(bytes, NameCoding::Bytes) == path))
    return bytes;
  return path;
}

Failure EntryFailure(Problem problem, const std::string& path, EntryLoad load) {
  Failure f = Fail(problem, path);
  f.load = load;
  return f;
}

JobProgress::JobProgress(const WriteJob& job, uint32_t steps) : progress_(nullptr) {
  if (job.host == nullptr) return;
  job.host->Repaint();
  progress_ = job.host->OpenProgress(steps);
}

JobProgress::~JobProgress() {
  if (progress_ != nullptr) progress_->Close();
}
