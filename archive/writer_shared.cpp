#include "archive/writer_shared.h"

#include <unordered_set>

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

namespace {

// The folder part of a stored name, as the tree would hold it: lower-cased, its empty and
// "." components passed over, "/" after each ("" for the root).
std::string StoredFolderOf(const std::string& name) {
  std::string folder;
  const size_t end = name.rfind('/');
  if (end == std::string::npos) return folder;
  for (size_t at = 0; at < end;) {
    size_t next = name.find('/', at);
    if (next == std::string::npos || next > end) next = end;
    const std::string_view component(name.data() + at, next - at);
    if (!component.empty() && component != ".") {
      folder.append(component);
      folder += '/';
    }
    at = next + 1;
  }
  LowerCaseAscii(&folder);
  return folder;
}

}  // namespace

std::vector<const Node*> ArchiveOrder(const Node* root, const ArchiveSource* source) {
  std::vector<const Node*> order;
  if (root == nullptr) return order;
  std::unordered_set<const Node*> placed;
  // The files still where the source stores them, by entry; a second node reading the same
  // entry (a copy) goes with the rest.
  const uint32_t count = source ? source->Count() : 0;
  std::vector<const Node*> byEntry(count, nullptr);
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root)) {
    const SourceEntry* entry = n->source();
    if (entry == nullptr || entry->index >= count || byEntry[entry->index]) continue;
    const std::string folder = n->parent() == root ? std::string() : StoredPath(n->parent());
    if (StoredFolderOf(source->NameTextOf(entry->index)) == folder) byEntry[entry->index] = n;
  }
  std::vector<const Node*> above;
  const auto place = [&](const Node* node) {
    // The folders it lies in that have not come yet, outermost first.
    above.clear();
    for (const Node* p = node->parent(); p != root && !placed.count(p); p = p->parent()) above.push_back(p);
    for (auto it = above.rbegin(); it != above.rend(); ++it) {
      placed.insert(*it);
      order.push_back(*it);
    }
    placed.insert(node);
    order.push_back(node);
  };
  for (const Node* node : byEntry)
    if (node) place(node);
  for (const Node* n = root->firstChild(); n; n = NextInSubtree(n, root))
    if (!placed.count(n)) place(n);
  return order;
}

bool UnchangedSourceName(const WriteJob& job, const Node* node, const std::string& path, std::string* bytes,
                         NameCoding* coding) {
  const SourceEntry* entry = node->source();
  const ArchiveSource* source = job.source;
  if (entry == nullptr || source == nullptr || entry->index >= source->Count()) return false;
  const std::string& stored = source->Name(entry->index);
  *bytes = LowerCased(stored);
  *coding = source->NameCodingOf(entry->index);
  if (IsAscii(*bytes)) return *bytes == path;
  return NameText(*bytes, *coding) == path;
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
