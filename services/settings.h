// The user's settings as the program holds them while it runs, read from the
// registry once at start-up and written back when the frame is destroyed.
#pragma once

#include <windows.h>

#include "services/core/path_length.h"
#include "services/core/recent_files.h"
#include "services/core/window_state.h"

extern const char kSettingsKey[];    // "Software\Quillmoor\Vellumix" under HKEY_CURRENT_USER
extern const char kRecentFilesKey[];  // its "Recent File List" subkey

struct AppSettings {
  WindowState windowState;
  char initialDirectory[kPathBufferSize];
  // The folder an archive was last opened from or saved to: where Save As starts for a new one.
  char archiveDirectory[kPathBufferSize];
  uint32_t zipCompressionLevel;
  // The engine target last chosen in Save As: a new document's target (EngineTarget's number).
  uint32_t saveTarget;
  // "Keep the case of names": names entering an archive's tree keep their case; otherwise
  // they are lower-cased.
  bool keepCase;
};

extern AppSettings g_settings;
extern RecentFileList g_recentFiles;

// Presets the values, reads whatever the registry holds, and applies the corrections.
void LoadSettings();
// Writes the values and the recent-file list back; failures leave the registry as it was.
void SaveSettings();

// Attaches the recent-file list to the "Recent Files" submenu; false when it is not a menu.
bool CreateRecentFileList(HMENU submenu, int capacity);
// Adds "File<capacity>" down to "File1" from an open key, so that File1 ends up on top.
void LoadRecentFileList(HKEY key);
// Writes "File1".. for the entries present; false at the first failing write.
bool SaveRecentFileList(HKEY key);
// Loads the recent-file list from its registry key, when that key exists.
void LoadRecentFilesFromRegistry();
