// Writing a document as a new archive from the command line: the format's limits checked
// first with the offending path named, then the archive written to a temporary file beside
// the target, which takes the target's place only once it is complete.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/format.h"

// The rules an archive written from the command line must keep: its engine's, unless forced.
struct WriteRules {
  EngineTarget target = EngineTarget::Any;
  bool force = false;  // write it anyway, naming each rule broken as a warning
};

// The format's limits and the rules of the engine, checked before anything is written or
// read: false after the messages naming the first path past each, when the archive at
// target must not be written.
bool MayWrite(const ArchiveDocument& doc, const ArchiveFormat& format, const std::string& target, const WriteRules& rules);

// Writes the document in format at target (level 0-9 for formats that compress) after
// MayWrite's checks; rules null when the caller made them. Messages name context (the
// archive whose entries are read). An exit code.
int WriteDocumentTo(ArchiveDocument* doc, const ArchiveFormat& format, const std::string& target, int level,
                    const std::string& context, const WriteRules* rules);
