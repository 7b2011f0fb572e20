#include "transfer/import.h"

#include <string>

#include "archive/disk.h"
#include "archive/disk_walk.h"
#include "archive/dos_time.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/import_names.h"
#include "transfer/replace_dialog.h"

namespace {

// The child of parent named name: through the state's index when it covers parent.
Node* FindNamed(const TransferState* state, const Node* parent, const std::string& name) {
  if (state->names && state->namesParent == parent) {
    const auto found = state->names->find(name);
    return found == state->names->end() ? nullptr : found->second;
  }
  return FindChildNamed(parent, name);
}

// Records a node just added in the state's index when that covers its folder.
void NoteNamed(TransferState* state, Node* node) {
  if (state->names && state->namesParent == node->parent()) state->names->emplace(node->name(), node);
}

// The conflict rule for a disk file meeting a file of its name. true: replace.
bool AskAboutFile(TransferState* state, const Node* existing, const std::string& name, const std::string& path) {
  ReplaceDialogAsker asker;
  return ResolveConflict(state, asker, ConflictItemOf(existing), DiskFileRecord(name.c_str(), DiskFileSize(path.c_str())));
}

// Reads the file and puts it under dir, replacing existing when given. The new node, the
// replaced one, or null when the file could not be read.
Node* StoreFile(ArchiveTree& tree, Node* dir, Node* existing, const std::string& name, const std::string& path,
                TransferState* state) {
  SharedBytes bytes;
  if (ReadWholeFile(path.c_str(), &bytes) < 0) return nullptr;
  state->changed = 1;
  // The file keeps the time it was last changed on disk, which a save stores.
  MemoryBytes data{std::move(bytes), DosDateTimeOf(StatPath(path).modified)};
  if (existing) {
    tree.SetData(existing, std::move(data));
    return existing;
  }
  return tree.AddFile(dir, name, std::move(data));
}

// A folder of the archive the walk fills, and whether it was there before (so that names
// in it may conflict).
struct ImportPlace {
  Node* node = nullptr;
  bool merge = false;
};

}  // namespace

void BeginImportBatch(Node* folder, TransferState* state, size_t count) {
  if (folder == nullptr || state == nullptr || count < kIndexedImportPaths) return;
  auto names = std::make_shared<ChildNames>();
  for (Node* child = folder->firstChild(); child; child = child->nextSibling()) names->emplace(child->name(), child);
  state->names = std::move(names);
  state->namesParent = folder;
}

void EndImportBatch(TransferState* state) {
  if (state == nullptr) return;
  state->names.reset();
  state->namesParent = nullptr;
}

int64_t DiskFileSize(const char* path) {
  const DiskItem item = path ? StatPath(path) : DiskItem{};
  return item.kind == DiskKind::Missing ? -1 : static_cast<int64_t>(item.size);
}

ImportedItem ImportDiskFile(ArchiveTree& tree, Node* folder, const char* path, TransferState* state) {
  if (folder == nullptr || path == nullptr || state == nullptr) return {};
  const std::string name = LastPathComponent(path);
  Node* existing = name.empty() ? nullptr : FindNamed(state, folder, name);
  Node* node = nullptr;
  if (!name.empty() && !(existing && !existing->IsFile()) && !(existing && !AskAboutFile(state, existing, name, path)))
    node = StoreFile(tree, folder, existing, name, path, state);
  if (node == nullptr) {
    state->skipped = true;
    return {};
  }
  if (!existing) NoteNamed(state, node);
  return {node, existing == nullptr, true};
}

ImportedItem ImportDiskDirectory(ArchiveTree& tree, Node* folder, const char* path, TransferState* state) {
  if (state == nullptr || path == nullptr || folder == nullptr) return {};
  ImportedItem imported;
  std::string directory = path;
  // "C:\games\" names the same directory as "C:\games"; a drive root has no name to give.
  while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
  const std::string name = DirectoryImportName(directory.c_str());
  const bool fits = Utf16Length(directory) <= kMaxDiskPath;
  Node* node = name.empty() || !fits ? nullptr : FindNamed(state, folder, name);
  if (!name.empty() && fits && !(node && !node->IsDirectory())) {
    const bool merge = node != nullptr;
    if (node == nullptr) {
      node = tree.AddDirectory(folder, name);
      NoteNamed(state, node);
      state->changed = 1;
    }
    imported = {node, !merge, ImportDirectoryContents(tree, node, directory.c_str(), state, merge ? 1 : 0)};
  }
  if (!imported.whole) state->skipped = true;
  return imported;
}

bool ImportDirectoryContents(ArchiveTree& tree, Node* directoryNode, const char* path, TransferState* state,
                             int merge) {
  if (directoryNode == nullptr || path == nullptr || state == nullptr) return false;
  if (Utf16Length(path) + 2 > kMaxDiskPath) return false;
  bool readable = true;
  WalkDiskTree(
      path, ImportPlace{directoryNode, merge != 0},
      [&](const DiskWalkEntry& entry, const ImportPlace& folder, ImportPlace* child) {
        const std::string name = tree.EnteredName(entry.name);
        // Whatever is not taken is noted: the drop's source then keeps its files.
        if (Utf16Length(entry.path) > kMaxDiskPath || entry.loop) {
          state->skipped = true;
          return false;
        }
        Node* existing = folder.merge ? FindChildNamed(folder.node, name) : nullptr;
        if (entry.item.kind == DiskKind::Directory) {
          if (existing && !existing->IsDirectory()) {
            state->skipped = true;
            return false;
          }
          if (existing) {
            *child = ImportPlace{existing, true};
          } else {
            *child = ImportPlace{tree.AddDirectory(folder.node, name), false};
            state->changed = 1;
          }
          return true;
        }
        if (existing && !existing->IsFile()) {
          state->skipped = true;
          return false;
        }
        if (existing && !AskAboutFile(state, existing, name, entry.path)) {
          state->skipped = true;
          return false;
        }
        if (!StoreFile(tree, folder.node, existing, name, entry.path, state)) state->skipped = true;
        return false;
      },
      [&](const std::string& unreadable, const ImportPlace&) {
        state->skipped = true;
        if (unreadable == path) readable = false;
      },
      [&] { return state->cancelled != 0; });
  return readable && !state->cancelled;
}
