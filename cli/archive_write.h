// Writing a document as a new archive from the command line: the format's limits checked
// first with the offending path named, then the archive written to a temporary file beside
// the target, which takes the target's place only once it is complete.
#pragma once

#include <string>

#include "archive/document.h"
#include "archive/format.h"

// Writes the document in format at target (level 0-9 for formats that compress). Messages
// name context (the archive whose entries are read). An exit code.
int WriteDocumentTo(ArchiveDocument* doc, const ArchiveFormat& format, const std::string& target, int level,
                    const std::string& context);
