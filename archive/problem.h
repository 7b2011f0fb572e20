// What went wrong in the archive core, by kind and with the facts a message needs. The core
// never words a message: the two programs do, in one place (services/core/archive_text.h),
// so that they say the same thing.
#pragma once

#include <cstdint>
#include <string>

// Why an entry's bytes cannot be had.
enum class EntryLoad {
  Ok,
  NotInSource,     // an entry of a source that is not the document's (or of none)
  NoMemory,        // no buffer for the bytes
  ReadFailed,      // the source cannot deliver the bytes (damaged, truncated)
  NoBytes,         // the node is not a file
  Encrypted,       // the entry is encrypted
  Unsupported,     // compressed by a method other than stored and deflated
  CrcMismatch,     // the bytes read do not match the record's CRC-32
  HeaderMismatch,  // the local header disagrees with the central record
  SharedData,      // the entry's stored bytes overlap another entry's
  Compressed,      // a lump compressed in a way no reader knows
  Stopped,         // the receiver of the bytes stopped the read
};

enum class Problem : uint16_t {
  None,
  // Opening an archive file. count/limit/index are the numbers the reason names.
  CannotOpen,        // the file cannot be opened
  Folder,            // it is a folder
  Empty,             // the file is empty
  Unreadable,        // a read failed in a file long enough for it
  NoMemory,          // not enough memory
  NotPak,            // no "PACK" header
  NotWad,            // no "WAD2" header
  HeaderCutShort,    // the file begins like the format but its header is cut short
  TooManyEntries,    // count entries, more than limit the format can have
  TooManyToOpen,     // count entries, more than limit the program can open
  DirectoryPastEnd,  // a PAK or WAD2 directory runs past the end of the file
  NoEndRecord,       // no end-of-central-directory record
  CommentPastEnd,
  CommentShortOfEnd,
  CentralPastEnd,    // the central directory runs past the end of the file
  CentralDamaged,    // at entry index of count
  Nameless,          // entry index of the central directory has no name
  CountMismatch,     // the end record counts count entries, the directory holds limit
  Zip64EndDamaged,
  EntryTooLarge,     // name: 4 GB or larger
  EntryBeyond4GB,    // name lies beyond the first 4 GB of the file
  // Where an entry's bytes lie, found by a check of the archive.
  DataPastEnd,        // count bytes at offset index run past the end of a file of limit bytes
  DataOverHeader,     // the entry's bytes overlap the archive's header
  DataOverDirectory,  // the entry's bytes overlap the archive's directory
  SharesData,         // the entry's stored bytes overlap those of the entry name
  // Building the tree of an opened source.
  FileAndFolder,  // name is stored both as a file and as a folder
  ThroughFile,   // name runs through the file other
  NamesNoFile,   // name names no file
  NulInName,     // name holds a NUL byte
  // Limits of a format, checked before anything is written.
  TooManyFiles,
  PathTooLong,
  NotFlat,       // name: a format without folders cannot hold it
  NameTooLong,   // name: longer than the format's names can be
  // Saving.
  Cancelled,        // the user stopped the save: no message
  NoSuchFile,       // name: a file whose bytes are in no source the document has
  LoadFailed,       // name could not be read: load says why
  NoMemoryFor,      // name: no memory for its bytes
  CreateFailed,     // the writer could not start (format: which)
  OutputOpen,       // the file at path cannot be made
  WriteFailed,      // writing name failed
  WriteHeader,      // writing the format's header, directory or end record failed
  WriteDirectory,   // a PAK's or WAD2's directory listing
  WriteCentral,     // a ZIP file's central directory
  WriteEnd,
  Reopen,           // the file written cannot be opened again (path)
  TemporaryFailed,  // no temporary file could be made beside path
  ReplaceFailed,    // path could not be replaced: systemError says why
  Duplicating,      // the document could not be copied for writing
  GameFolderView,   // the document is a game folder's view, which is read as the game reads it and never written
};

struct Failure {
  Problem problem = Problem::None;
  std::string name;   // a stored name or path, or a disk path, as the problem says
  std::string other;  // a second name (the file a path runs through)
  uint64_t count = 0, limit = 0, index = 0;
  // Of a limit a save or copy would pass: how many more records or paths pass it after the
  // first, which name and count describe.
  uint64_t more = 0;
  EntryLoad load = EntryLoad::Ok;
  const char* format = nullptr;  // the display name of the format concerned ("PAK", "PK3")
  int systemError = 0;           // the system's code of a failed replace
  // The replace failed because the file is read-only or may not be changed (true), or
  // because another program holds it (sharing), where the system can tell.
  bool accessDenied = false, sharing = false;

  explicit operator bool() const { return problem != Problem::None; }
};

inline Failure Fail(Problem problem, std::string name = std::string()) {
  Failure f;
  f.problem = problem;
  f.name = std::move(name);
  return f;
}
