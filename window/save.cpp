#include "window/save.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/loading.h"
#include "archive/pak_writer.h"
#include "archive/pk3_writer.h"
#include "archive/win32/save_window.h"
#include "resources/shell_ids.h"
#include "shell/file_dialogs.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "window/archive_window.h"

namespace {

const char kSaveCaption[] = "Save";

const char* SourcePath(const WindowDocument* doc) {
  if (const PakArchive* pak = DocumentPak(doc)) return pak->path;
  if (const Pk3Archive* pk3 = DocumentPk3(doc)) return pk3->path;
  return nullptr;
}

void ShowSaveError(HWND window, const char* text) {
  MessageBoxA(window, text, kSaveCaption, MB_OK | MB_ICONERROR);
}

// The new title (which also drops the modified mark) and the recent-files entry.
void AnnounceSaved(HWND window, const char* path) {
  SetWindowTextA(window, path);
  g_recentFiles.Add(path);
}

void LowerAscii(char* text) {
  for (; *text; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
  }
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
// writer has then shown its message).
void* WriteDocument(HWND window, WindowDocument* doc, ArchiveKind kind, const char* path) {
  Win32SaveWindow saveWindow(window);
  if (kind == ArchiveKind::Pak) return PakSave(saveWindow, doc, path);
  return Pk3Save(saveWindow, doc, path, static_cast<int>(g_settings.zipCompressionLevel));
}

// Whether another archive window reads its archive from path: writing there would pull
// the file from under that window.
bool OpenInAnotherWindow(HWND self, const char* path) {
  for (HWND child = GetWindow(g_mdiClient, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (child == self) continue;
    const WindowDocument* other = DocumentOf(child);
    const char* otherPath = other ? SourcePath(other) : nullptr;
    if (otherPath && std::strcmp(otherPath, path) == 0) return true;
  }
  return false;
}

}  // namespace

int SaveInPlace(HWND window, WindowDocument* doc) {
  const char* documentPath = SourcePath(doc);
  if (!documentPath) return 0;
  char directory[MAX_PATH];
  std::snprintf(directory, sizeof directory, "%s", documentPath);
  char* slash = std::strrchr(directory, '\\');
  if (slash) {
    *slash = '\0';
  } else {
    std::strcpy(directory, ".");
  }
  char tempPath[MAX_PATH];
  if (!GetTempFileNameA(directory, kProgramName, 0, tempPath)) {
    ShowSaveError(window, "Error creating temporary file");
    return 0;
  }
  ArchiveKind kind = doc->archiveKind == ArchiveKind::Pak ? ArchiveKind::Pak : ArchiveKind::Pk3;
  void* written = WriteDocument(window, doc, kind, tempPath);
  if (!written) {
    DeleteFileA(tempPath);
    return 0;
  }
  doc->modified = 0;
  // The new archive lets go of its file while the files change places.
  FILE** newFile = kind == ArchiveKind::Pak ? &static_cast<PakArchive*>(written)->file
                                            : &static_cast<Pk3Archive*>(written)->file;
  char** newPath = kind == ArchiveKind::Pak ? &static_cast<PakArchive*>(written)->path
                                            : &static_cast<Pk3Archive*>(written)->path;
  std::fclose(*newFile);
  *newFile = nullptr;
  std::free(*newPath);
  *newPath = nullptr;

  // The document's path outlives its old source, which is closed to release the file.
  char* path = nullptr;
  if (PakArchive* pak = DocumentPak(doc)) {
    path = pak->path;
    pak->path = nullptr;
  } else if (Pk3Archive* pk3 = DocumentPk3(doc)) {
    path = pk3->path;
    pk3->path = nullptr;
  }
  CloseDocumentSource(doc);
  doc->archiveKind = kind;
  doc->source = written;

  // Replacing in one step keeps the old archive in place should the move fail.
  if (!MoveFileExA(tempPath, path, MOVEFILE_REPLACE_EXISTING)) {
    char text[2 * MAX_PATH + 32];
    std::snprintf(text, sizeof text, "Error renaming %s to %s", tempPath, path);
    std::free(path);
    ShowSaveError(window, text);
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    return 0;
  }
  *newFile = std::fopen(path, "rb");
  if (!*newFile) {
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof text, "Error opening %s", path);
    std::free(path);
    ShowSaveError(window, text);
    SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    return 0;
  }
  *newPath = path;
  return 1;
}

int SaveDocument(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return 0;
  if (!SourcePath(doc)) return SaveDocumentAs(window);
  if (!SaveInPlace(window, doc)) return 0;
  AnnounceSaved(window, SourcePath(doc));
  return 1;
}

int SaveDocumentAs(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return 0;
  char path[MAX_PATH];
  if (!ShowSaveDialog(path, sizeof path, nullptr, IDS_OPEN_FILTER, nullptr, "Save Archive",
                      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLETEMPLATE |
                          OFN_NONETWORKBUTTON,
                      reinterpret_cast<LPARAM>(doc), SaveDialogHook)) {
    return 0;
  }
  LowerAscii(path);
  const char* current = SourcePath(doc);
  if (current && std::strcmp(current, path) == 0) {
    if (!SaveInPlace(window, doc)) return 0;
    AnnounceSaved(window, SourcePath(doc));
    return 1;
  }
  if (OpenInAnotherWindow(window, path)) {
    char text[MAX_PATH + 64];
    std::snprintf(text, sizeof text, "%s is open in another window.\nOperation aborted.", path);
    ShowSaveError(window, text);
    return 0;
  }
  ArchiveKind kind = FormatForPath(path, doc->archiveKind);
  if (kind != doc->archiveKind) {
    TreeLimit limit = kind == ArchiveKind::Pak ? CheckPakLimits(doc->root) : CheckPk3Limits(doc->root);
    if (limit != TreeLimit::Ok) {
      ShowSaveError(window, TreeLimitMessage(limit));
      return 0;
    }
  }
  void* written = WriteDocument(window, doc, kind, path);
  if (!written) {
    DeleteFileA(path);
    return 0;
  }
  doc->modified = 0;
  CloseDocumentSource(doc);
  doc->archiveKind = kind;
  doc->source = written;
  AnnounceSaved(window, path);
  return 1;
}
