#include "window/save.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/loading.h"
#include "archive/pak_writer.h"
#include "archive/pk3_writer.h"
#include "services/save_window.h"
#include "resources/shell_ids.h"
#include "services/file_dialogs.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/settings.h"
#include "window/archive_window.h"
#include "window/command_state.h"
#include "services/message_box.h"

namespace {

const char kSaveCaption[] = "Save";

// The new title (which also drops the modified mark) and the recent-files entry.
void AnnounceSaved(HWND window, const char* path) {
  SetWindowTextA(window, path);
  g_recentFiles.Add(path);
  // A first save gives the document a file, which Test Archive can read.
  WindowDocument* doc = DocumentOf(window);
  if (doc && window == ActiveMdiChild()) UpdateCommandState(window, doc);
}

bool ExtensionIs(const char* extension, const char* wanted) {
  return extension && std::strcmp(extension, wanted) == 0;
}

// The format a name asks for: ".pak" a PAK, ".pk3" and ".zip" a PK3, anything else the
// document's own format (a new document becomes a PK3).
ArchiveKind FormatForPath(const char* lowerPath, ArchiveKind current) {
  const char* dot = std::strrchr(lowerPath, '.');
  if (ExtensionIs(dot, ".pak")) return ArchiveKind::Pak;
  if (ExtensionIs(dot, ".pk3") || ExtensionIs(dot, ".zip")) return ArchiveKind::Pk3;
  return current == ArchiveKind::Pak ? ArchiveKind::Pak : ArchiveKind::Pk3;
}

// Writes the document with the writer of the given format; the new archive or null (the
// writer has then shown its message). The document's entries are not yet re-pointed: the
// working copy comes back through copy for CommitSave or AbandonSave.
void* WriteDocument(HWND window, WindowDocument* doc, ArchiveKind kind, const char* path, ArchiveNode** copy) {
  Win32SaveWindow saveWindow(window);
  if (kind == ArchiveKind::Pak) return PakSave(saveWindow, doc, path, copy);
  return Pk3Save(saveWindow, doc, path, static_cast<int>(g_settings.zipCompressionLevel), copy);
}

// What identifies a file whatever its path is spelt like: its volume and its index there.
struct FileIdentity {
  DWORD volume, high, low;
};

bool IdentityOf(const char* path, FileIdentity* identity) {
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool read = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!read) return false;
  *identity = FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// Whether two paths name one file: its short name, "dir\..\dir\name", another drive
// letter for the folder or a hard link all do. Where either file cannot be asked (it does
// not exist yet), the full paths are compared.
bool SameFile(const char* a, const char* b) {
  FileIdentity x, y;
  if (IdentityOf(a, &x) && IdentityOf(b, &y)) return x.volume == y.volume && x.high == y.high && x.low == y.low;
  char fullA[MAX_PATH], fullB[MAX_PATH];
  const DWORD n = GetFullPathNameA(a, MAX_PATH, fullA, nullptr);
  const DWORD m = GetFullPathNameA(b, MAX_PATH, fullB, nullptr);
  if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH) return lstrcmpiA(a, b) == 0;
  return lstrcmpiA(fullA, fullB) == 0;
}

// Whether another archive window reads its archive from path: writing there would pull
// the file from under that window.
bool OpenInAnotherWindow(HWND self, const char* path) {
  return FindArchiveWindow(self, [path](const WindowDocument* other) {
    const char* otherPath = DocumentPath(other);
    return otherPath && SameFile(otherPath, path);
  }) != nullptr;
}

// Why path could not be replaced, given the error of the replace. A refusal is told apart
// by asking for the file as the replace did: a program that holds it open without letting
// it be deleted makes that a sharing violation.
DWORD WhyNotReplaced(const char* path, DWORD error) {
  if (error != ERROR_ACCESS_DENIED) return error;
  HANDLE probe = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return error;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : error;
}

// The message of a replace that failed with the system's error code.
void ShowReplaceFailure(HWND window, const char* path, DWORD error) {
  char text[2 * MAX_PATH + 200];
  if (error == ERROR_ACCESS_DENIED) {
    std::snprintf(text, sizeof text,
                  "%s could not be replaced: the file is read-only, or you may not change it.\n"
                  "Your changes are still here; save them under another name with Save As.",
                  path);
  } else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
    std::snprintf(text, sizeof text,
                  "%s could not be replaced: another program is using the file.\n"
                  "Close it there and save again, or save under another name with Save As.",
                  path);
  } else {
    std::snprintf(text, sizeof text, "%s could not be replaced (system error %lu).\nYour changes are still here.",
                  path, static_cast<unsigned long>(error));
  }
  ShowErrorMessage(window, text, kSaveCaption);
}

// Writes the document to a new temporary file in destination's folder and only then puts
// it at destination, in one step: a save that fails or is killed leaves destination as it
// was. ownFile says destination is the document's own archive, which lets go of the file
// only for the moment of the replace. true when saved; after a failure the document reads from
// where it read before and stays modified.
bool SaveThroughTemporary(HWND window, WindowDocument* doc, ArchiveKind kind, const char* destination, bool ownFile) {
  // A read-only file is not replaced, whatever the file system would allow.
  const DWORD attributes = GetFileAttributesA(destination);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ShowReplaceFailure(window, destination, ERROR_ACCESS_DENIED);
    return false;
  }
  char directory[MAX_PATH];
  std::snprintf(directory, sizeof directory, "%s", destination);
  char* slash = std::strrchr(directory, '\\');
  if (slash) {
    *slash = '\0';
  } else {
    std::strcpy(directory, ".");
  }
  // What an earlier save that never ended left in this folder goes first.
  RemoveLeftoverFiles(directory);
  char tempPath[MAX_PATH];
  if (!GetTempFileNameA(directory, kProgramName, 0, tempPath)) {
    ShowErrorMessage(window, "Error creating temporary file", kSaveCaption);
    return false;
  }
  NoteTemporaryFile(tempPath);
  ArchiveNode* copy = nullptr;
  void* written = WriteDocument(window, doc, kind, tempPath, &copy);
  if (!written) {
    if (DeleteFileA(tempPath)) ForgetTemporaryFile(tempPath);
    return false;
  }
  // The new archive lets go of its file while the files change places, and so does the
  // document's own archive when it is the one replaced.
  FILE** newFile = SourceFile(written, kind);
  std::fclose(*newFile);
  *newFile = nullptr;
  FILE** oldFile = ownFile && doc->source ? SourceFile(doc->source, doc->archiveKind) : nullptr;
  if (oldFile && *oldFile) {
    std::fclose(*oldFile);
    *oldFile = nullptr;
  }
  if (!MoveFileExA(tempPath, destination, MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = WhyNotReplaced(destination, GetLastError());
    if (oldFile) *oldFile = std::fopen(destination, "rb");
    AbandonSave(copy);
    CloseSource(written, kind);
    if (DeleteFileA(tempPath)) ForgetTemporaryFile(tempPath);
    ShowReplaceFailure(window, destination, error);
    return false;
  }
  ForgetTemporaryFile(tempPath);
  char** newPath = SourcePath(written, kind);
  std::free(*newPath);
  *newPath = CopyString(destination);
  *newFile = std::fopen(destination, "rb");
  CommitSave(doc, copy);
  CloseDocumentSource(doc);
  doc->archiveKind = kind;
  doc->source = written;
  doc->modified = 0;
  if (!*newFile || !*newPath) {
    // Saved, but not to be read back: the window cannot go on showing it.
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof text, "Error opening %s", destination);
    ShowErrorMessage(window, text, kSaveCaption);
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    return false;
  }
  return true;
}

}  // namespace

bool SaveInPlace(HWND window, WindowDocument* doc) {
  const char* documentPath = DocumentPath(doc);
  if (!documentPath) return false;
  // The path outlives the archive that holds it, which a save replaces.
  char path[MAX_PATH];
  std::snprintf(path, sizeof path, "%s", documentPath);
  const ArchiveKind kind = doc->archiveKind == ArchiveKind::Pak ? ArchiveKind::Pak : ArchiveKind::Pk3;
  return SaveThroughTemporary(window, doc, kind, path, true);
}

bool SaveDocument(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return false;
  if (!DocumentPath(doc)) return SaveDocumentAs(window);
  if (!SaveInPlace(window, doc)) return false;
  AnnounceSaved(window, DocumentPath(doc));
  return true;
}

namespace {

// The name Save As proposes: the document's file name, or its title with ".pk3" for a
// document never saved (a new document becomes a PK3).
std::string ProposedName(HWND window, const WindowDocument* doc) {
  if (const char* current = DocumentPath(doc)) {
    const char* name = current;
    for (const char* p = current; *p; ++p)
      if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
  }
  return TitleWithoutMark(window) + ".pk3";
}

}  // namespace

bool SaveDocumentAs(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return false;
  char path[MAX_PATH];
  const std::string proposed = ProposedName(window, doc);
  if (!ShowSaveDialog(path, sizeof path, proposed.c_str(), IDS_OPEN_FILTER, nullptr, "Save Archive",
                      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLETEMPLATE |
                          OFN_NONETWORKBUTTON,
                      reinterpret_cast<LPARAM>(doc), SaveDialogHook)) {
    return false;
  }
  LowerCaseInPlace(path);
  const char* current = DocumentPath(doc);
  if (current && SameFile(current, path)) {
    if (!SaveInPlace(window, doc)) return false;
    AnnounceSaved(window, DocumentPath(doc));
    return true;
  }
  if (OpenInAnotherWindow(window, path)) {
    char text[MAX_PATH + 64];
    std::snprintf(text, sizeof text, "%s is open in another window.\nOperation aborted.", path);
    ShowErrorMessage(window, text, kSaveCaption);
    return false;
  }
  ArchiveKind kind = FormatForPath(path, doc->archiveKind);
  if (kind != doc->archiveKind) {
    TreeLimit limit = kind == ArchiveKind::Pak ? CheckPakLimits(doc->root) : CheckPk3Limits(doc->root);
    if (limit != TreeLimit::Ok) {
      ShowErrorMessage(window, TreeLimitMessage(limit), kSaveCaption);
      return false;
    }
  }
  if (!SaveThroughTemporary(window, doc, kind, path, false)) return false;
  AnnounceSaved(window, path);
  return true;
}
