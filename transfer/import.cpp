#include "transfer/import.h"

#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/child_index.h"
#include "archive/loading.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/import_names.h"
#include "transfer/core/node_copy.h"
#include "transfer/core/transfer_measure.h"
#include "transfer/replace_dialog.h"

namespace {


// The child of parent named name: through the state's index when it covers parent.
ArchiveNode* FindNamed(const TransferState* state, const ArchiveNode* parent, const char* name) {
  return FindChildIndexed(state->namesParent == parent ? state->names : nullptr, parent, name);
}

// Records a node just added in the state's index when that covers its folder. Without
// memory for it the index is given up, and lookups walk the folder's list again.
void NoteNamed(TransferState* state, ArchiveNode* node) {
  if (!state->names || state->namesParent != node->parent) return;
  if (!ChildIndexAdd(state->names, node)) state->namesParent = nullptr;
}

// The conflict rule for a disk file meeting a file entry of its name. true: replace.
bool AskAboutFile(TransferState* state, const ArchiveEntry* existing, const char* name, const char* path) {
  ArchiveEntry incoming = DiskFileRecord(name, DiskFileSize(path));
  ReplaceDialogAsker asker;
  return ResolveConflict(state, asker, existing, &incoming);
}

// Reads the file and puts it under dir, replacing existing when given. The new node, the
// replaced one, or null when the file could not be read or linked.
ArchiveNode* StoreFile(ArchiveNode* dir, ArchiveNode* existing, const char* name, const char* path,
                       TransferState* state) {
  uint8_t* data = nullptr;
  const int64_t length = ReadWholeFile(path, &data);
  if (length < 0) return nullptr;
  const uint32_t size = static_cast<uint32_t>(length);
  if (existing) {
    ReplaceWithMemoryFile(existing->entry, data, size);
    state->changed = 1;
    return existing;
  }
  ArchiveNode* node = AddMemoryFileNode(dir, name, data, size);
  if (node == nullptr) {
    std::free(data);
    return nullptr;
  }
  state->changed = 1;
  return node;
}

bool JoinPath(char* out, const char* directory, const char* name) {
  const size_t a = std::strlen(directory), b = std::strlen(name);
  if (a + 1 + b > kMaxDiskPath) return false;
  std::memcpy(out, directory, a);
  out[a] = '\\';
  std::memcpy(out + a + 1, name, b + 1);
  return true;
}

}  // namespace

void BeginImportBatch(ArchiveNode* folder, TransferState* state, size_t count) {
  if (folder == nullptr || state == nullptr || count < kIndexedImportPaths) return;
  size_t children = 0;
  for (const ArchiveNode* child = folder->firstChild; child; child = child->nextSibling) ++children;
  auto* index = new (std::nothrow) ChildIndex{};
  if (index == nullptr) return;
  bool indexed = ChildIndexInit(index, children + count);
  for (ArchiveNode* child = folder->firstChild; indexed && child; child = child->nextSibling)
    indexed = ChildIndexAdd(index, child);
  if (!indexed) {
    ChildIndexFree(index);
    delete index;
    return;
  }
  state->names = index;
  state->namesParent = folder;
}

void EndImportBatch(TransferState* state) {
  if (state == nullptr || state->names == nullptr) return;
  ChildIndexFree(state->names);
  delete state->names;
  state->names = nullptr;
  state->namesParent = nullptr;
}

int64_t DiskFileSize(const char* path) {
  struct _stati64 info;
  if (path == nullptr || _stati64(path, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

namespace {

// The directory at path and everything in it into folder; no node when the directory
// itself cannot be taken or the user cancelled.
ImportedItem ImportWholeDirectory(FolderTree& folderTree, ArchiveNode* folder, const char* path,
                                  TransferState* state) {
  if (path == nullptr || folder == nullptr) return {};
  size_t length = strnlen(path, kMaxDiskPath + 1);
  if (length > kMaxDiskPath) return {};
  char directory[kMaxDiskPath + 1];
  std::memcpy(directory, path, length);
  directory[length] = '\0';
  // "C:\games\" names the same directory as "C:\games"; a drive root has no name to give.
  while (length > 0 && (directory[length - 1] == '\\' || directory[length - 1] == '/'))
    directory[--length] = '\0';
  const std::string name = DirectoryImportName(directory);
  if (name.empty()) return {};

  ArchiveNode* node = FindNamed(state, folder, name.c_str());
  int merge = 1;
  if (node && !IsKind(node->entry, EntryKind::Directory)) return {};
  if (node == nullptr) {
    node = AddDirectoryNode(folderTree, folder, name.c_str());
    if (node == nullptr) return {};
    NoteNamed(state, node);
    state->changed = 1;
    merge = 0;
  }
  const bool result = ImportDirectoryContents(folderTree, node, directory, state, merge);
  return {node, merge == 0, result};
}

}  // namespace

ImportedItem ImportDiskFile(ArchiveNode* folder, const char* path, TransferState* state) {
  if (folder == nullptr || path == nullptr || state == nullptr) return {};
  const char* name = LastPathComponent(path);
  ArchiveNode* existing = *name ? FindNamed(state, folder, name) : nullptr;
  ArchiveNode* node = nullptr;
  if (*name && !(existing && !IsFileKind(existing->entry)) &&
      !(existing && !AskAboutFile(state, existing->entry, name, path)))
    node = StoreFile(folder, existing, name, path, state);
  if (node == nullptr) {
    state->skipped = true;
    return {};
  }
  if (!existing) NoteNamed(state, node);
  return {node, existing == nullptr, true};
}

ImportedItem ImportDiskDirectory(FolderTree& folderTree, ArchiveNode* folder, const char* path,
                                 TransferState* state) {
  if (state == nullptr) return {};
  ImportedItem imported = ImportWholeDirectory(folderTree, folder, path, state);
  if (!imported.whole) state->skipped = true;
  return imported;
}

bool ImportDirectoryContents(FolderTree& folderTree, ArchiveNode* directoryNode, const char* path,
                             TransferState* state, int merge) {
  if (directoryNode == nullptr || path == nullptr || state == nullptr) return false;
  const size_t length = strnlen(path, kMaxDiskPath + 1);
  if (length + 2 >= kMaxDiskPath + 1) return false;
  char pattern[kMaxDiskPath + 1];
  std::memcpy(pattern, path, length);
  std::memcpy(pattern + length, "\\*", 3);
  _finddata_t found;
  const intptr_t search = _findfirst(pattern, &found);
  if (search == -1) {
    state->skipped = true;
    return false;
  }
  do {
    char* name = found.name;
    LowerCaseInPlace(name);
    char child[kMaxDiskPath + 1];
    const bool isDirectory = (found.attrib & _A_SUBDIR) != 0;
    if (isDirectory && (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)) continue;
    // Whatever is not taken below is noted: the drop's source then keeps its files.
    if (!JoinPath(child, path, name)) {
      state->skipped = true;
      continue;
    }
    ArchiveNode* existing = merge ? FindChildNamed(directoryNode, name) : nullptr;
    if (isDirectory) {
      if (existing && !IsKind(existing->entry, EntryKind::Directory)) {
        state->skipped = true;
        continue;
      }
      if (existing) {
        ImportDirectoryContents(folderTree, existing, child, state, 1);
      } else {
        ArchiveNode* made = AddDirectoryNode(folderTree, directoryNode, name);
        if (made == nullptr) {
          state->skipped = true;
          continue;
        }
        state->changed = 1;
        ImportDirectoryContents(folderTree, made, child, state, 0);
      }
    } else {
      if (existing && !IsFileKind(existing->entry)) {
        state->skipped = true;
        continue;
      }
      if (existing && !AskAboutFile(state, existing->entry, name, child)) {
        state->skipped = true;
        if (state->cancelled) break;
        continue;
      }
      if (!StoreFile(directoryNode, existing, name, child, state)) state->skipped = true;
    }
  } while (!state->cancelled && _findnext(search, &found) == 0);
  _findclose(search);
  return !state->cancelled;
}
