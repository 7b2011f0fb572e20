// Files the program makes for a moment (a save's temporary file next to its archive, a copy
// of an entry handed to a viewer) are noted in the registry while they exist. Those a
// crash or a killed process left behind are thereby known to be the program's own and are
// removed later; a file the program did not note is never removed.
#pragma once

extern const char kTemporaryFilesKey[];  // the settings key's "Temporary Files" subkey

// Notes path (a full path) as a file of the program's that is to go again.
void NoteTemporaryFile(const char* path);
// Forgets path once it is gone or has become a file to keep.
void ForgetTemporaryFile(const char* path);
// Removes the noted files that lie directly in folder (with or without its last backslash;
// every noted file when folder is null) and forgets them; a noted file that cannot be removed yet stays noted.
void RemoveLeftoverFiles(const char* folder);
