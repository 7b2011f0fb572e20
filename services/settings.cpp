#include "services/settings.h"

#include <cstdio>
#include <cstring>

const char kSettingsKey[] = "Software\\Quillmoor\\Vellumix";
const char kRecentFilesKey[] = "Software\\Quillmoor\\Vellumix\\Recent File List";

AppSettings g_settings;
RecentFileList g_recentFiles;

namespace {

// The "Recent Files" submenu as the list sees it.
class RecentSubmenu : public RecentMenu {
 public:
  HMENU menu = nullptr;
  int ItemCount() override { return GetMenuItemCount(menu); }
  void SetItem(int position, uint32_t command, const char* text) override {
    ModifyMenuA(menu, position, MF_BYPOSITION | MF_STRING | MF_ENABLED, command, text);
  }
  void InsertItem(int position, uint32_t command, const char* text) override {
    InsertMenuA(menu, position, MF_BYPOSITION | MF_STRING | MF_ENABLED, command, text);
  }
};

RecentSubmenu g_recentSubmenu;

}  // namespace

void LoadSettings() {
  std::memset(&g_settings.windowState, 0, sizeof g_settings.windowState);
  g_settings.zipCompressionLevel = 0xFFFFFFFFu;
  g_settings.initialDirectory[0] = '\0';
  g_settings.archiveDirectory[0] = '\0';
  g_settings.keepCase = false;
  g_settings.saveTarget = 0;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    // A value larger than the buffer fails with ERROR_MORE_DATA and may leave partial
    // data behind; read into scratch space so the preset survives such a value.
    WindowState state = g_settings.windowState;
    DWORD size = sizeof state;
    if (RegQueryValueExA(key, "State", nullptr, nullptr, reinterpret_cast<BYTE*>(&state), &size) ==
        ERROR_SUCCESS) {
      g_settings.windowState = state;
    }
    char directory[sizeof g_settings.initialDirectory] = {};
    size = sizeof directory;
    if (RegQueryValueExA(key, "InitialDirectory", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(directory), &size) == ERROR_SUCCESS) {
      directory[sizeof directory - 1] = '\0';
      std::memcpy(g_settings.initialDirectory, directory, sizeof directory);
    }
    std::memset(directory, 0, sizeof directory);
    size = sizeof directory;
    if (RegQueryValueExA(key, "ArchiveDirectory", nullptr, nullptr, reinterpret_cast<BYTE*>(directory), &size) ==
        ERROR_SUCCESS) {
      directory[sizeof directory - 1] = '\0';
      std::memcpy(g_settings.archiveDirectory, directory, sizeof directory);
    }
    uint32_t level = g_settings.zipCompressionLevel;
    size = sizeof level;
    if (RegQueryValueExA(key, "ZipCompressionLevel", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&level), &size) == ERROR_SUCCESS &&
        size == sizeof level) {
      g_settings.zipCompressionLevel = level;
    }
    uint32_t keepCase = 0;
    size = sizeof keepCase;
    if (RegQueryValueExA(key, "KeepCase", nullptr, nullptr, reinterpret_cast<BYTE*>(&keepCase), &size) ==
            ERROR_SUCCESS &&
        size == sizeof keepCase) {
      g_settings.keepCase = keepCase != 0;
    }
    uint32_t target = 0;
    size = sizeof target;
    if (RegQueryValueExA(key, "SaveTarget", nullptr, nullptr, reinterpret_cast<BYTE*>(&target), &size) ==
            ERROR_SUCCESS &&
        size == sizeof target) {
      g_settings.saveTarget = target;
    }
    RegCloseKey(key);
  }
  CorrectWindowState(&g_settings.windowState);
  g_settings.zipCompressionLevel = CorrectZipCompressionLevel(g_settings.zipCompressionLevel);
}

void SaveSettings() {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, "State", 0, REG_BINARY,
                   reinterpret_cast<const BYTE*>(&g_settings.windowState),
                   sizeof g_settings.windowState);
    RegSetValueExA(key, "InitialDirectory", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(g_settings.initialDirectory),
                   static_cast<DWORD>(std::strlen(g_settings.initialDirectory) + 1));
    RegSetValueExA(key, "ArchiveDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(g_settings.archiveDirectory),
                   static_cast<DWORD>(std::strlen(g_settings.archiveDirectory) + 1));
    RegSetValueExA(key, "ZipCompressionLevel", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&g_settings.zipCompressionLevel),
                   sizeof g_settings.zipCompressionLevel);
    const uint32_t keepCase = g_settings.keepCase ? 1 : 0;
    RegSetValueExA(key, "KeepCase", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&keepCase), sizeof keepCase);
    RegSetValueExA(key, "SaveTarget", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&g_settings.saveTarget),
                   sizeof g_settings.saveTarget);
    RegCloseKey(key);
  }
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kRecentFilesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    SaveRecentFileList(key);
    RegCloseKey(key);
  }
}

bool CreateRecentFileList(HMENU submenu, int capacity) {
  if (!submenu || !IsMenu(submenu)) return false;
  g_recentSubmenu.menu = submenu;
  return g_recentFiles.Create(&g_recentSubmenu, capacity);
}

void LoadRecentFileList(HKEY key) {
  for (int n = g_recentFiles.capacity(); n >= 1; --n) {
    char name[16];
    std::snprintf(name, sizeof name, "File%d", n);
    char path[kPathBufferSize];
    DWORD size = sizeof path;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) !=
        ERROR_SUCCESS) {
      continue;
    }
    // A value stored without its NUL still ends inside the buffer; one that fills it
    // completely has no room for the NUL and is too long for a path.
    if (size >= sizeof path && path[sizeof path - 1] != '\0') continue;
    path[size < sizeof path ? size : sizeof path - 1] = '\0';
    // Longer than the system takes a path, counted as it counts: no file to open.
    if (Utf16Length(path) > kMaxPathUnits) continue;
    g_recentFiles.Add(path);
  }
}

bool SaveRecentFileList(HKEY key) {
  for (int k = 0; k < g_recentFiles.capacity() && g_recentFiles.At(k); ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "File%d", k + 1);
    const char* path = g_recentFiles.At(k);
    if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       static_cast<DWORD>(std::strlen(path) + 1)) != ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

void LoadRecentFilesFromRegistry() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRecentFilesKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    LoadRecentFileList(key);
    RegCloseKey(key);
  }
}
