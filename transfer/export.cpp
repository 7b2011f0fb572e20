#include "transfer/export.h"

#include <direct.h>
#include <io.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "archive/disk.h"
#include "archive/entry_data.h"
#include "archive/format.h"
#include "transfer/core/conflict_rule.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/transfer_measure.h"
#include "transfer/import.h"
#include "transfer/replace_dialog.h"
#include "panes/window_document.h"
#include "services/code_page.h"
#include "services/message_box.h"
#include "services/core/archive_text.h"
#include "archive/quoted_name.h"

namespace {

// Why an item was not written; the export goes on with the rest and names what it left
// out once it is over.
constexpr char kPathTooLong[] = "the path on disk would be too long";

// The conflict rule for an existing disk file. true: write over it.
bool MayOverwrite(const char* path, const Node* node, TransferState* state) {
  if (!DiskFileExists(path)) return true;
  const char* name = std::strrchr(path, '\\');
  name = name ? name + 1 : path;
  const ConflictItem existing = DiskFileRecord(name, DiskFileSize(path));
  ReplaceDialogAsker asker;
  return ResolveConflict(state, asker, existing, ConflictItemOf(node));
}

// The file an entry is exported into. An existing file is never written into: the bytes go
// to a new file beside it, which takes its place once complete, so a second name of the
// same file (a hard link) elsewhere keeps its bytes. A file that could not be written whole
// is removed; the old one stays as it was.
class ExportFileOut : public ByteSink {
 public:
  ~ExportFileOut() { Abandon(); }

  bool Open(const char* path) {
    target_ = path;
    if (DiskFileExists(path)) {
      std::string folder(path);
      const size_t slash = folder.find_last_of("\\/");
      folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
      if (!MakeTemporaryFileIn(folder.c_str(), "vlx", &written_)) return false;
    } else {
      written_ = path;
    }
    file_ = std::fopen(written_.c_str(), "wb");
    if (file_ == nullptr) {
      if (written_ != target_) DeleteFileA(written_.c_str());
      written_.clear();
    }
    return file_ != nullptr;
  }
  bool Take(const uint8_t* data, size_t size) override {
    return file_ != nullptr && (size == 0 || std::fwrite(data, size, 1, file_) == 1);
  }
  bool Commit() {
    // Buffered bytes reach the disk at close: a full disk shows up here.
    const bool closed = file_ != nullptr && std::fclose(file_) == 0;
    file_ = nullptr;
    const bool placed = closed && (written_ == target_ ||
                                   MoveFileExA(written_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING) != 0);
    if (placed) written_.clear();
    return placed;
  }
  void Abandon() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!written_.empty()) DeleteFileA(written_.c_str());
    written_.clear();
  }

 private:
  FILE* file_ = nullptr;
  std::string target_, written_;
};

bool ExportFile(WindowDocument* document, const Node* node, const char* path, TransferState* state) {
  const char* name = node->name().c_str();
  // An entry that shares its bytes with another is refused before a file is made for it.
  const Failure placement = EntryPlacement(document, node);
  if (placement.problem == Problem::SharesData) {
    NoteTransferFailure(state, name, FailureReason(placement).c_str());
    return false;
  }
  ExportFileOut out;
  if (!out.Open(path)) {
    NoteTransferFailure(state, name, "it could not be written to disk");
    return false;
  }
  // Read and written in pieces: an entry of any size takes the same memory.
  const EntryLoad load = StreamEntryBytes(document, node, &out);
  if (load != EntryLoad::Ok && load != EntryLoad::Stopped) {
    out.Abandon();
    NoteTransferFailure(state, name, EntryLoadReason(load));
    return false;
  }
  if (load == EntryLoad::Stopped || !out.Commit()) {
    out.Abandon();
    NoteTransferFailure(state, name, "it could not be written to disk");
    return false;
  }
  // The file gets the time the archive gives its entry; a system that will not set it leaves
  // the file written all the same.
  int64_t modified = 0;
  if (EntryModified(document, node, &modified)) SetFileModified(path, modified);
  return true;
}

// The disk path of entry inside folder (a directory ending in a backslash) into out; false,
// with the reason noted in state, when the name is not allowed on disk or the path would be
// too long.
bool DiskPathIn(const char* folder, const Node* node, std::string* out, TransferState* state) {
  const char* name = node->name().c_str();
  if (!IsSafeDiskName(name)) {
    NoteTransferFailure(state, name, kNameNotAllowedOnDisk);
    return false;
  }
  std::string path = std::string(folder) + node->name();
  if (Utf16Length(path) > kMaxDiskPath) {
    NoteTransferFailure(state, name, kPathTooLong);
    return false;
  }
  *out = std::move(path);
  return true;
}

bool ExportChildren(HWND window, WindowDocument* document, const Node* node, const char* prefix,
                    TransferState* state);

bool ExportDirectory(HWND window, WindowDocument* document, const Node* entry, const char* path,
                     TransferState* state) {
  std::string directory;
  if (!DiskPathIn(path, entry, &directory, state)) return false;
  if (_mkdir(directory.c_str()) == 0) {
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, path, nullptr);
  } else if (errno != EEXIST) {
    const std::string text = "Error creating directory " + PrintableName(directory);
    ShowErrorMessage(window, text.c_str(), "Export");
    return false;
  }
  directory += '\\';
  return ExportChildren(window, document, entry, directory.c_str(), state);
}

bool ExportChildren(HWND window, WindowDocument* document, const Node* node, const char* prefix,
                    TransferState* state) {
  if (node == nullptr) return false;
  bool result = true;
  // Of a path stored more than once the folder gives the disk the file shown, as a game
  // would load it.
  Shadows shadows(document->source.get());
  for (const Node* child = node->firstChild(); child && !state->cancelled; child = child->nextSibling()) {
    if (shadows.IsShadowed(child)) continue;
    if (!ExportInto(window, document, child, prefix, state)) result = false;
  }
  return result;
}

}  // namespace

bool ExportInto(HWND window, WindowDocument* document, const Node* entry, const char* folder,
                TransferState* state) {
  if (entry == nullptr || entry->name().empty()) return false;
  if (entry->IsDirectory()) return ExportNode(window, document, entry, folder, state);
  std::string path;
  return DiskPathIn(folder, entry, &path, state) && ExportNode(window, document, entry, path.c_str(), state);
}

bool DiskFileExists(const char* path) { return path && _access(path, 4) == 0; }

bool ExportNode(HWND window, WindowDocument* document, const Node* entry, const char* path,
                TransferState* state) {
  if (entry == nullptr || path == nullptr || state == nullptr) return false;
  if (Utf16Length(path) > kMaxDiskPath) {
    NoteTransferFailure(state, entry->name().c_str(), kPathTooLong);
    return false;
  }
  switch (entry->kind()) {
    case NodeKind::Root:
      return ExportChildren(window, document, entry, path, state);
    case NodeKind::Directory:
      return ExportDirectory(window, document, entry, path, state);
    case NodeKind::File:
      if (!MayOverwrite(path, entry, state)) return false;
      return ExportFile(document, entry, path, state);
  }
  return false;
}
