#include "transfer/export.h"

#include <direct.h>
#include <io.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/entry_data.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/transfer_measure.h"
#include "transfer/import.h"
#include "transfer/replace_dialog.h"
#include "panes/window_document.h"

namespace {

constexpr size_t kMaxDiskPath = 259;

// Why an item was not written; the export goes on with the rest and names what it left
// out once it is over.
constexpr char kNameNotAllowed[] = "the name is not allowed on disk";
constexpr char kPathTooLong[] = "the path on disk would be too long";

// The conflict rule for an existing disk file. true: write over it.
bool MayOverwrite(const char* path, const ArchiveEntry* entry, TransferState* state) {
  if (!DiskFileExists(path)) return true;
  const char* name = std::strrchr(path, '\\');
  name = name ? name + 1 : path;
  ArchiveEntry existing = DiskFileRecord(name, DiskFileSize(path));
  ReplaceDialogAsker asker;
  return ResolveConflict(state, asker, &existing, entry);
}

// Writes the whole buffer as the file at path. A file that could not be written whole is
// removed rather than left behind truncated.
int WriteDiskFile(const char* path, const uint8_t* data, uint32_t size) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return 0;
  bool ok = size == 0 || std::fwrite(data, size, 1, f) == 1;
  // Buffered bytes reach the disk at close: a full disk shows up here.
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::remove(path);
  return ok ? 1 : 0;
}

int ExportFile(WindowDocument* document, ArchiveEntry* entry, const char* path, TransferState* state) {
  EntryBytes bytes;
  const EntryLoad load = LoadEntryBytes(document, entry, &bytes);
  if (load != EntryLoad::Ok) {
    NoteTransferFailure(state, entry->name, EntryLoadReason(load));
    return 0;
  }
  const int result = WriteDiskFile(path, bytes.data, bytes.size);
  ReleaseEntryBytes(&bytes);
  if (!result) NoteTransferFailure(state, entry->name, "it could not be written to disk");
  return result;
}

int ExportChildren(HWND window, WindowDocument* document, ArchiveNode* node, const char* prefix,
                   TransferState* state);

int ExportDirectory(HWND window, WindowDocument* document, ArchiveEntry* entry, const char* path,
                    TransferState* state) {
  if (!IsSafeDiskName(entry->name)) {
    NoteTransferFailure(state, entry->name ? entry->name : "", kNameNotAllowed);
    return 0;
  }
  const size_t pathLength = std::strlen(path), nameLength = std::strlen(entry->name);
  if (pathLength + nameLength + 1 >= kMaxDiskPath + 1) {
    NoteTransferFailure(state, entry->name, kPathTooLong);
    return 0;
  }
  char directory[kMaxDiskPath + 2];
  std::memcpy(directory, path, pathLength);
  std::memcpy(directory + pathLength, entry->name, nameLength + 1);
  if (_mkdir(directory) == 0) {
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, path, nullptr);
  } else if (errno != EEXIST) {
    char text[kMaxDiskPath + 64];
    std::snprintf(text, sizeof text, "Error creating directory %s", directory);
    MessageBoxA(window, text, "Export", MB_OK | MB_ICONERROR);
    return 0;
  }
  std::strcat(directory, "\\");
  return ExportChildren(window, document, entry->node, directory, state);
}

int ExportChildren(HWND window, WindowDocument* document, ArchiveNode* node, const char* prefix,
                   TransferState* state) {
  if (node == nullptr) return 0;
  int result = 1;
  const size_t prefixLength = std::strlen(prefix);
  for (ArchiveNode* child = node->firstChild; child && !state->cancelled; child = child->nextSibling) {
    ArchiveEntry* e = child->entry;
    if (e == nullptr || e->name == nullptr) {
      result = 0;
      continue;
    }
    if (IsKind(e, EntryKind::Directory)) {
      if (!ExportNode(window, document, e, prefix, state)) result = 0;
      continue;
    }
    if (!IsSafeDiskName(e->name)) {
      NoteTransferFailure(state, e->name, kNameNotAllowed);
      result = 0;
      continue;
    }
    const size_t nameLength = std::strlen(e->name);
    if (prefixLength + nameLength + 1 >= kMaxDiskPath + 1) {
      NoteTransferFailure(state, e->name, kPathTooLong);
      result = 0;
      continue;
    }
    char path[kMaxDiskPath + 1];
    std::memcpy(path, prefix, prefixLength);
    std::memcpy(path + prefixLength, e->name, nameLength + 1);
    if (!ExportNode(window, document, e, path, state)) result = 0;
  }
  return result;
}

}  // namespace

int DiskFileExists(const char* path) { return path && _access(path, 4) == 0 ? 1 : 0; }

int ExportNode(HWND window, WindowDocument* document, ArchiveEntry* entry, const char* path,
               TransferState* state) {
  if (entry == nullptr || path == nullptr || state == nullptr) return 0;
  if (strnlen(path, kMaxDiskPath + 1) > kMaxDiskPath) {
    NoteTransferFailure(state, entry->name ? entry->name : "", kPathTooLong);
    return 0;
  }
  switch (KindOf(entry)) {
    case EntryKind::Root:
      return ExportChildren(window, document, entry->node, path, state);
    case EntryKind::Directory:
      return ExportDirectory(window, document, entry, path, state);
    case EntryKind::PakFile:
    case EntryKind::Pk3File:
    case EntryKind::MemoryFile:
      if (!MayOverwrite(path, entry, state)) return 0;
      return ExportFile(document, entry, path, state);
    default:
      return 0;
  }
}
