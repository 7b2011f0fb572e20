#include "services/leftovers.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/tree.h"
#include "services/core/path_length.h"

const char kTemporaryFilesKey[] = "Software\\Quillmoor\\Vellumix\\Temporary Files";

namespace {

// The folder part of path, without its last backslash.
std::string FolderOf(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash ? std::string(path, static_cast<size_t>(slash - path)) : std::string();
}

}  // namespace

void NoteTemporaryFile(const char* path) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kTemporaryFilesKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, path, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  RegCloseKey(key);
}

void ForgetTemporaryFile(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTemporaryFilesKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, path);
  RegCloseKey(key);
}

void RemoveLeftoverFiles(const char* folder) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kTemporaryFilesKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  // Names first, removals after: deleting values while enumerating them skips some.
  std::vector<std::string> noted;
  char name[kPathBufferSize];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    const LONG result = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) noted.emplace_back(name, length);
  }
  std::string wanted = folder ? folder : "";
  while (!wanted.empty() && wanted.back() == '\\') wanted.pop_back();
  for (const std::string& path : noted) {
    // Letters other than A to Z are compared as they are: a path's case is folded in ASCII
    // alone, as everywhere in the program.
    if (folder && LowerCased(FolderOf(path.c_str())) != LowerCased(wanted)) continue;
    const bool gone = DeleteFileA(path.c_str()) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (gone) RegDeleteValueA(key, path.c_str());
  }
  RegCloseKey(key);
}
