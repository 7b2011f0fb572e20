#include "transfer/core/compare_patch.h"

#include <memory>
#include <utility>
#include <vector>

#include "archive/disk.h"
#include "archive/dos_time.h"
#include "archive/entry_data.h"
#include "archive/tree.h"
#include "transfer/core/disk_files.h"

namespace {

// The bytes of one file of side A as a memory file's, with the time it was last changed.
Failure ReadFileOfA(const CompareSide& a, const CompareFile& file, FileData* data) {
  SharedBytes bytes;
  if (!a.document) {
    if (ReadWholeFile(file.diskPath.c_str(), &bytes) < 0) return Fail(Problem::Unreadable, file.diskPath);
    *data = MemoryBytes{std::move(bytes), DosDateTimeOf(StatPath(file.diskPath).modified)};
    return Failure();
  }
  const Node* node = a.document->tree ? a.document->tree->Find(file.node) : nullptr;
  const EntryLoad load = LoadEntryBytes(a.document, node, &bytes);
  if (load != EntryLoad::Ok) {
    Failure f = Fail(Problem::LoadFailed, node ? StoredNameOf(a.document, node) : std::string());
    f.load = load;
    return f;
  }
  int64_t modified = 0;
  *data = MemoryBytes{std::move(bytes), EntryModified(a.document, node, &modified) ? DosDateTimeOf(modified) : 0u};
  return Failure();
}

// Adds a file at path ("maps/e1m1.bsp") below root, making the folders on the way; false
// when a file holds the place of a folder the path needs, or a folder that of the file.
bool AddAtPath(ArchiveTree& tree, const std::string& path, FileData data) {
  Node* folder = tree.root();
  size_t start = 0;
  for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
    const std::string name = path.substr(start, slash - start);
    Node* next = FindChildNamed(folder, name);
    if (next == nullptr) next = tree.AddDirectory(folder, name);
    if (!next->IsDirectory()) return false;
    folder = next;
    start = slash + 1;
  }
  const std::string name = path.substr(start);
  if (FindChildNamed(folder, name) != nullptr) return false;
  tree.AddFile(folder, name, std::move(data));
  return true;
}

}  // namespace

Failure BuildPatch(const CompareSide& a, const Comparison& comparison, bool keepCase, ArchiveDocument* patch,
                   SaveHost* host) {
  patch->source.reset();
  patch->tree.reset();
  std::vector<const ComparedItem*> files;
  for (const ComparedItem& item : comparison.items)
    if (item.kind == CompareKind::Added || item.kind == CompareKind::Changed) files.push_back(&item);
  auto tree = std::make_unique<ArchiveTree>(keepCase);
  SaveProgress* progress = host ? host->OpenProgress(static_cast<uint32_t>(files.size())) : nullptr;
  Failure failure;
  // New nodes go to the head of their folders: added last first, the files and folders of
  // the patch keep the comparison's order.
  for (auto it = files.rbegin(); it != files.rend() && !failure; ++it) {
    const ComparedItem& item = **it;
    if (progress && progress->Cancelled()) {
      failure = Fail(Problem::Cancelled);
      break;
    }
    if (progress) progress->ShowItem(item.path.c_str(), static_cast<uint32_t>(item.a.size));
    FileData data;
    failure = ReadFileOfA(a, item.a, &data);
    if (!failure && !AddAtPath(*tree, item.path, std::move(data))) failure = Fail(Problem::FileAndFolder, item.path);
    if (progress) progress->Step();
  }
  if (progress) progress->Close();
  if (failure) return failure;
  patch->tree = std::move(tree);
  patch->modified = 1;
  return Failure();
}
