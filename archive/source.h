// An open archive file, read through one interface whatever its format: how many entries it
// stores, what each one is, its bytes (whole, or in pieces for work on entries of any size),
// and where its stored bytes lie for a writer that copies them unchanged. The formats' own
// readers are behind the format table (archive/format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "archive/deflate.h"
#include "archive/entry_buffer.h"
#include "archive/problem.h"
#include "archive/stored_names.h"

struct ArchiveFormat;
class GameFolderSource;

enum class StoredMethod : uint8_t { Stored, Deflated, Other, Encrypted };

// One entry as its record describes it.
struct EntryInfo {
  uint32_t size = 0;        // the plain bytes
  uint32_t storedSize = 0;  // the bytes as they lie in the file
  uint64_t offset = 0;      // where its record or its bytes start in the file
  StoredMethod method = StoredMethod::Stored;
  uint16_t methodCode = 0;  // the format's own number of the method
  bool hasCrc = false;
  uint32_t crc = 0;
  bool hasTime = false;
  uint32_t dosTime = 0;  // MS-DOS date in the high word, time in the low one
  bool hasType = false;
  uint8_t type = 0;  // a lump's type, in formats that keep one
  // The file attributes of a system of the DOS family (Windows), when the entry carries them.
  bool hasDosAttributes = false;
  uint32_t dosAttributes = 0;
};

// Where an entry's stored bytes lie, checked against the file: what a writer copying them
// unchanged needs.
struct StoredBytes {
  uint64_t offset = 0;       // of the first stored byte
  uint32_t storedSize = 0;   // bytes stored there
  uint32_t size = 0;         // plain bytes they stand for
  bool deflated = false;     // false: they are the plain bytes
  bool hasCrc = false;       // the plain bytes must match crc
  uint32_t crc = 0;
};

class ArchiveSource {
 public:
  virtual ~ArchiveSource();
  ArchiveSource(const ArchiveSource&) = delete;
  ArchiveSource& operator=(const ArchiveSource&) = delete;

  const ArchiveFormat& format() const { return *format_; }
  const std::string& path() const { return path_; }
  // The open file, for writers that copy stored bytes from it; null while let go, and for a
  // source that gathers its entries from several files.
  FILE* file() const { return file_; }
  // The open file the entry's stored bytes (Locate, ReadPlan) lie in, and its path: the
  // source's own file, unless the source gathers entries from several files. Null for an
  // entry kept in no open file: Read and Load then read it, and may do so from any thread.
  virtual FILE* EntryFile(uint32_t) const { return file_; }
  virtual const std::string& EntryFilePath(uint32_t) const { return path_; }
  // The game folder this source is (archive/game_folder.h), or null for one archive file.
  virtual const GameFolderSource* AsGameFolder() const { return nullptr; }

  virtual uint32_t Count() const = 0;
  // The entry's name as stored, every byte of it, alive as long as the source is.
  virtual std::string_view Name(uint32_t index) const = 0;
  // How the entry's name bytes read as text (archive/stored_names.h).
  virtual NameCoding NameCodingOf(uint32_t) const { return NameCoding::Bytes; }
  // The entry's name as the program shows and keeps it: UTF-8.
  std::string NameTextOf(uint32_t index) const { return NameText(Name(index), NameCodingOf(index)); }
  virtual EntryInfo Info(uint32_t index) const = 0;
  // The archive's own comment, as stored (formats without one: empty).
  virtual const std::string& Comment() const;
  uint32_t Size(uint32_t index) const { return Info(index).size; }
  // Whether the file holds ZIP64 records: an end record, or an entry whose sizes or offset
  // only its ZIP64 field gives.
  virtual bool HasZip64Records() const { return false; }

  // Reads the entry's plain bytes in pieces into sink (null: they are only read and checked),
  // in memory bounded by a few pieces whatever the entry's size. The sink may have taken
  // bytes of an entry that turns out damaged further on: only Ok says they were all good.
  // Stopped when the sink refused a piece. Of itself, the plain bytes Locate finds, as they
  // lie: what a format that stores its entries uncompressed needs.
  virtual EntryLoad Read(uint32_t index, ByteSink* sink);
  // The entry's plain bytes in one buffer of exactly their size (null for an empty entry).
  virtual EntryLoad Load(uint32_t index, SharedBytes* bytes);
  // Where the entry's stored bytes lie; the checks of a read before any byte is read.
  virtual EntryLoad Locate(uint32_t index, StoredBytes* where) = 0;
  // What Read does before its first byte: Ok with where set to the stored bytes to read
  // (none when where.size is 0), or what Read gives without reading. Reading where with
  // ReadStoredBytes then gives what Read gives: work that reads many entries at once (from
  // other threads, several in one read) goes through this.
  virtual EntryLoad ReadPlan(uint32_t index, StoredBytes* where);
  // What makes the entry damaged whatever its bytes read like (its bytes overlap another
  // entry's or the format's own records); None when nothing does. Read refuses such an
  // entry too where its bytes cannot be trusted.
  virtual Failure CheckPlacement(uint32_t index);
  // Reads at once what Locate reads before it can answer for the first entry (a ZIP's local
  // headers). May run on another thread while the calling one asks only for Count, names and
  // sizes; nothing else may use the source until it returns.
  virtual void PrepareToLocate() {}
  // Whether the entries, taken in the order the source stores them, have their bytes front
  // to back in the file, as nearly every archive has: reading them in that order then reads
  // neighbours together. Known once PrepareToLocate ran.
  virtual bool StoredInFileOrder() const { return true; }

  // Lets go of the file (while another takes its place on disk) and opens the file at path
  // instead; false when it cannot be opened.
  void LetGoOfFile();
  bool TakeFile(const std::string& path);

  // The open file's length, found once (finding it moves the file's position and drops what
  // its buffer holds); -1 when it cannot be found or no file is open.
  int64_t FileLength();

 protected:
  ArchiveSource(const ArchiveFormat& format, std::string path, FILE* file)
      : format_(&format), path_(std::move(path)), file_(file) {}

  const ArchiveFormat* format_;
  std::string path_;
  FILE* file_;
  int64_t fileLength_ = kLengthUnknown;
  static constexpr int64_t kLengthUnknown = -2;
};

// Opens path for reading as an archive; null when it is a folder, cannot be opened or is
// empty, with the reason in *why.
FILE* OpenArchiveFile(const std::string& path, Failure* why);

// The size of the pieces sources are read in.
constexpr size_t kStreamPieceSize = 256 * 1024;

// Reads n bytes at offset of file in pieces of at most kStreamPieceSize into sink (which
// may be null); Stopped when the sink refused a piece.
EntryLoad ReadPieces(FILE* file, uint64_t offset, uint64_t n, ByteSink* sink);
