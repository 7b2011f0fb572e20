// The file an archive writer produces: written front to back through a large
// buffer, with the position counted here so that it stays exact past 2 GiB
// and can be checked against what the format's 32-bit fields can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Both formats describe offsets and sizes in unsigned 32-bit fields, so no written
// archive may grow beyond this many bytes.
constexpr uint64_t kArchiveSizeLimit = 0xFFFFFFFFu;

struct ArchiveOutput {
  FILE* file;
  std::unique_ptr<char[]> buffer;  // the stdio buffer of file
  uint64_t position;  // current file position
  uint64_t limit;     // largest size the file may reach
  std::string created;  // the path of a file OutputCreate made new, until it is removed
};

// Creates (truncates) the file at path for binary writing. False when it cannot.
bool OutputCreate(ArchiveOutput* out, const char* path, uint64_t limit);
// Reserves the disk blocks of a file that will be length bytes long once written, where
// the system can, leaving its size as it is: a file system that places it whole at once
// spends less on it than one growing it piece by piece. Only a hint: a file that ends up
// shorter or longer is still written right.
void OutputReserve(ArchiveOutput* out, uint64_t length);
// True when bytes more can be written without the file passing its limit.
bool OutputHasRoom(const ArchiveOutput* out, uint64_t bytes);
// Writes n bytes at the position. False on a short write.
bool OutputWrite(ArchiveOutput* out, const void* data, size_t n);
// Moves the position, flushing what is buffered first.
bool OutputSeek(ArchiveOutput* out, uint64_t position);
// Moves the position back to an earlier one and cuts the file there: what was written
// after it is gone, as for an entry written again in another form.
bool OutputCutBack(ArchiveOutput* out, uint64_t position);
// Flushes and closes; false when anything buffered could not be written. Safe to repeat.
bool OutputClose(ArchiveOutput* out);
// Closes and deletes the file of a save that failed, so that nothing half written stays
// behind. Does nothing when the file existed before OutputCreate opened it.
void OutputRemove(ArchiveOutput* out);
