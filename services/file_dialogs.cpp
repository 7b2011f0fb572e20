#include "services/file_dialogs.h"

#include <shlobj.h>

#include <cstring>

#include "archive/format.h"
#include "resources/shell_ids.h"
#include "services/code_page.h"
#include "services/core/path_length.h"
#include "services/globals.h"
#include "services/settings.h"
#include "services/subclass.h"

namespace {

std::string LoadedString(UINT id) {
  char text[256];
  const int length = LoadStringA(g_instance, id, text, sizeof text);
  return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

}  // namespace

std::string ArchiveFilterText() {
  std::string patterns, lines;
  for (const ArchiveFormat* format : ArchiveFormats()) {
    for (const char* extension : format->extensions) {
      std::string pattern = std::string("*") + extension;
      for (char& c : pattern) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
      patterns += (patterns.empty() ? "" : ";") + pattern;
    }
    lines += LoadedString(static_cast<UINT>(format->filterString));
  }
  return LoadedString(IDS_ALL_ARCHIVES_FILTER) + " (" + patterns + ")|" + patterns + "|" + lines +
         LoadedString(IDS_ALL_FILES_FILTER);
}

namespace {

// The string's last character separates its parts; each becomes a NUL, and the trailing
// one ends the list with its second NUL.
bool LoadFilter(UINT id, char* filter, int size) {
  int length;
  if (id == kArchiveFilter) {
    const std::string text = ArchiveFilterText();
    length = static_cast<int>(text.size());
    if (length >= size) return false;
    std::memcpy(filter, text.c_str(), text.size() + 1);
  } else {
    length = LoadStringA(g_instance, id, filter, size - 1);
  }
  if (length <= 0) return false;
  char separator = filter[length - 1];
  for (int i = 0; i < length; ++i) {
    if (filter[i] == separator) filter[i] = '\0';
  }
  filter[length] = '\0';
  return true;
}

// A directory too long for the buffer is no path the system takes: the dialogs then start
// where they would without one, never in a directory cut short.
void CopyDirectory(const char* directory) {
  const size_t length = strnlen(directory, sizeof g_settings.initialDirectory);
  if (length >= sizeof g_settings.initialDirectory) {
    g_settings.initialDirectory[0] = '\0';
    return;
  }
  std::memcpy(g_settings.initialDirectory, directory, length + 1);
}

void FillCommon(OPENFILENAMEA* ofn, char* buffer, DWORD size, const char* initialName,
                const char* filter, const char* title, DWORD flags) {
  std::memset(ofn, 0, sizeof *ofn);
  ofn->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn->hwndOwner = g_frameWindow;
  ofn->hInstance = g_instance;
  ofn->lpstrFilter = filter;
  ofn->nFilterIndex = 0;
  if (initialName && std::strlen(initialName) < size) {
    std::strcpy(buffer, initialName);
  } else {
    buffer[0] = '\0';
  }
  ofn->lpstrFile = buffer;
  ofn->nMaxFile = size;
  ofn->lpstrInitialDir = g_settings.initialDirectory;
  ofn->lpstrTitle = title;
  ofn->Flags = flags | OFN_EXPLORER;
}

}  // namespace

std::string FolderOfPath(const char* path) {
  std::string directory = path ? path : "";
  const size_t slash = directory.find_last_of("\\/");
  directory.resize(slash == std::string::npos ? 0 : slash);
  return directory;
}

void RememberArchiveFolderOf(const char* path) {
  std::string directory = FolderOfPath(path);
  // A folder too long for the setting is not kept at all, never cut short.
  if (directory.size() >= sizeof g_settings.archiveDirectory) directory.clear();
  std::memcpy(g_settings.archiveDirectory, directory.c_str(), directory.size() + 1);
}

void RememberDirectoryOf(const char* path) {
  std::string directory = path;
  const size_t slash = directory.rfind('\\');
  directory.resize(slash == std::string::npos ? 0 : slash);
  CopyDirectory(directory.c_str());
}

bool ShowOpenDialog(char* buffer, DWORD size, const char* initialName, UINT filterId,
                   const char* title, DWORD flags) {
  char filter[1024];
  if (!buffer || size < 2 || !LoadFilter(filterId, filter, sizeof filter)) return false;
  OPENFILENAMEA ofn;
  FillCommon(&ofn, buffer, size, initialName, filter, title, flags);
  if (!GetOpenFileNameA(&ofn)) return false;
  if (!(flags & OFN_ALLOWMULTISELECT)) {
    RememberDirectoryOf(buffer);
    return true;
  }
  size_t first = strnlen(buffer, size);
  if (first + 1 < size && buffer[first + 1] == '\0') {
    // One file comes back as a full path: split it into directory and name, so that the
    // caller always sees the directory first. The path's NUL and the one after it then
    // end the name and the list.
    char* slash = std::strrchr(buffer, '\\');
    if (!slash) return false;
    *slash = '\0';
  }
  CopyDirectory(buffer);
  return true;
}

bool ShowSaveDialog(char* buffer, DWORD size, const char* initialName, UINT filterId,
                   const char* defaultExtension, const char* title, DWORD flags, LPARAM custom,
                   LPOFNHOOKPROC hook, HWND owner, const char* startIn) {
  char filter[1024];
  if (!buffer || size < 2 || !LoadFilter(filterId, filter, sizeof filter)) return false;
  OPENFILENAMEA ofn;
  FillCommon(&ofn, buffer, size, initialName, filter, title, flags);
  if (startIn && startIn[0]) ofn.lpstrInitialDir = startIn;
  if (owner) ofn.hwndOwner = owner;
  ofn.lpstrDefExt = defaultExtension;
  ofn.lCustData = custom;
  if (hook) {
    ofn.Flags |= OFN_ENABLEHOOK;
    ofn.lpfnHook = hook;
  }
  ofn.lpTemplateName = MAKEINTRESOURCEA(IDD_SAVE_COMPRESSION);
  if (!GetSaveFileNameA(&ofn)) return false;
  RememberDirectoryOf(buffer);
  return true;
}

namespace {

// The folder chooser's own procedure, kept while it runs (one chooser is open at a time:
// it is modal to the frame).
WNDPROC g_chooserProc = nullptr;

// An absolute path: a drive's or a network share's.
bool IsAbsolutePath(const char* path) {
  return (path[0] && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) || (path[0] == '\\' && path[1] == '\\');
}

// The folder typed into the chooser's edit box when OK took it, in full; empty when OK took
// the tree's selection.
std::string g_chooserTyped;

// OK with a path typed into the edit box chooses that folder, as a click in the tree would;
// a typed path that names no folder is refused with a message and the chooser stays. The
// typed folder is kept and given back as the choice: the tree is not asked to select it
// first, as a tree still being filled may pass the request by and return its old selection.
LRESULT CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    // One byte more than a path can take: a text that fills it was cut, and names no folder.
    char typed[kPathBufferSize + 1] = {};
    HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
    const int length = edit ? GetWindowTextA(edit, typed, sizeof typed) : 0;
    if (length > 0 && IsAbsolutePath(typed)) {
      const bool whole = static_cast<size_t>(length) < kPathBufferSize && Utf16Length(typed) <= kMaxPathUnits;
      const DWORD attributes = whole ? GetFileAttributesA(typed) : INVALID_FILE_ATTRIBUTES;
      if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::string text = std::string("The folder ") + typed + " does not exist.";
        MessageBoxA(dialog, text.c_str(), "Browse for Folder", MB_OK | MB_ICONEXCLAMATION);
        return 0;
      }
      char full[kPathBufferSize] = {};
      const DWORD size = GetFullPathNameA(typed, sizeof full, full, nullptr);
      g_chooserTyped = size > 0 && size < sizeof full ? full : typed;
    }
  }
  return CallWindowProcA(g_chooserProc, dialog, message, wParam, lParam);
}

// The folder the chooser is to start at, the one it shows now, and when it opened. A chooser
// whose tree is still being filled may pass the first selection by (Wine's does, while it
// reads the drives): it is asked again while it shows the folder's drive or one of the
// folders above it, for a few seconds at most. A folder chosen elsewhere ends the asking.
const char* g_chooserStart = nullptr;
std::string g_chooserShown;
DWORD g_chooserOpened = 0;
constexpr UINT_PTR kChooserStartTimer = 0x5646;
constexpr DWORD kChooserStartMs = 5000;

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// Whether folder is path itself or a folder above it, the case of letters aside.
bool FolderHolds(const std::string& folder, const std::string& path) {
  const std::string above = WithoutTrailingSeparators(folder), below = WithoutTrailingSeparators(path);
  if (above.size() > below.size() || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, above.c_str(),
                                                    static_cast<int>(above.size()), below.c_str(),
                                                    static_cast<int>(above.size())) != CSTR_EQUAL)
    return false;
  return above.size() == below.size() || above.back() == '\\' || below[above.size()] == '\\' ||
         below[above.size()] == '/';
}

void CALLBACK OnChooserStartTimer(HWND dialog, UINT, UINT_PTR id, DWORD) {
  const bool there = g_chooserStart && lstrcmpiA(WithoutTrailingSeparators(g_chooserShown).c_str(),
                                                  WithoutTrailingSeparators(g_chooserStart).c_str()) == 0;
  if (there || !g_chooserStart || GetTickCount() - g_chooserOpened > kChooserStartMs) {
    KillTimer(dialog, id);
    g_chooserStart = nullptr;
    return;
  }
  SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(g_chooserStart));
}

// Opens the folder chooser at the folder last used, when there is one, and lets it take a
// typed path.
int CALLBACK OnChooserEvent(HWND dialog, UINT message, LPARAM value, LPARAM folder) {
  if (message == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {};
    g_chooserShown = value && SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(value), path) ? path : "";
    if (g_chooserStart && !g_chooserShown.empty() && !FolderHolds(g_chooserShown, g_chooserStart))
      g_chooserStart = nullptr;
    return 0;
  }
  if (message != BFFM_INITIALIZED) return 0;
  SubclassWindow(dialog, ChooserProc, &g_chooserProc);
  const char* last = reinterpret_cast<const char*>(folder);
  g_chooserStart = nullptr;
  if (last && last[0]) {
    SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, folder);
    g_chooserStart = last;
    g_chooserOpened = GetTickCount();
    SetTimer(dialog, kChooserStartTimer, 200, OnChooserStartTimer);
  }
  return 0;
}

}  // namespace

bool BrowseForDirectory(HWND owner, char* buffer, const char* title) {
  LPITEMIDLIST root = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root))) root = nullptr;
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pidlRoot = root;
  info.lpszTitle = title;
  // The edit box takes a path typed or pasted in, as the tree takes a click.
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
  info.lpfn = OnChooserEvent;
  info.lParam = reinterpret_cast<LPARAM>(g_settings.initialDirectory);
  g_chooserTyped.clear();
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  bool result = false;
  std::string path;
  const bool named = chosen && (!g_chooserTyped.empty() ? (path = WithoutTrailingSeparators(g_chooserTyped), true) : PathOfShellItem(chosen, &path));
  g_chooserTyped.clear();
  if (named && path.size() < kPathBufferSize) {
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    result = true;
  }
  IMalloc* malloc = nullptr;
  if (SUCCEEDED(SHGetMalloc(&malloc))) {
    if (root) malloc->Free(root);
    if (chosen) malloc->Free(chosen);
    malloc->Release();
  }
  // The next choice of a folder starts here.
  if (result) CopyDirectory(buffer);
  return result;
}
