#include "archive/writer_shared.h"

#include "archive/source_file.h"

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
