// Saving a document: the one way both programs write an archive. The tree is written to a
// temporary file beside the target, which takes the target's place in one step only once it
// is complete and is then opened as the document's new source; a save that fails, or is
// killed, leaves the target and the document as they were.
#pragma once

#include <memory>
#include <string>

#include "archive/archive_output.h"
#include "archive/document.h"
#include "archive/format.h"
#include "archive/problem.h"
#include "archive/progress.h"

struct SaveOptions {
  int level = 6;         // 0-9, for formats that compress
  unsigned threads = 0;  // workers; 0: one per core. The bytes written do not depend on it.
  uint64_t sizeLimit = kArchiveSizeLimit;
};

// Files a save makes for a moment, for a program that records them so that what a killed
// save left can be known as its own and removed later.
class TemporaryFiles {
 public:
  // Before a save makes a temporary file in folder.
  virtual void Clean(const std::string& folder) = 0;
  virtual void Note(const std::string& path) = 0;
  virtual void Forget(const std::string& path) = 0;

 protected:
  ~TemporaryFiles() = default;
};

// Writes the document's tree in format at path, a new file (nothing is replaced), and opens
// it: *written is the new source and *entries says where each file node's entry is in it.
// On failure no file is left at path and the document is unchanged.
Failure WriteArchiveFile(const ArchiveDocument& doc, const ArchiveFormat& format, const std::string& path,
                         const SaveOptions& options, SaveHost* host, std::unique_ptr<ArchiveSource>* written,
                         WrittenEntries* entries);

// Makes written the document's source: every file node of entries reads from its entry
// there from now on (the memory of memory files goes), and the document is not modified.
void AdoptWritten(ArchiveDocument* doc, std::unique_ptr<ArchiveSource> written, const WrittenEntries& entries);

// The whole save of the document in format at target: the format's limits, the temporary
// file (recorded in temporaries when given), the replace, the reopen. On success the
// document reads from target. Reopen says the file was saved but could not be opened again:
// the document then has no readable source and cannot go on.
Failure SaveDocument(ArchiveDocument* doc, const ArchiveFormat& format, const std::string& target,
                     const SaveOptions& options, SaveHost* host, TemporaryFiles* temporaries = nullptr);
