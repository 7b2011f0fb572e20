// Writing a document as a new archive from the command line: the format's limits checked
// first with the offending path named, then the archive written to a temporary file beside
// the target, which takes the target's place only once it is complete.
#pragma once

#include <string>

#include "archive/document.h"

// The stored path of a node: a directory's ends in "/".
std::string StoredPathOf(const ArchiveNode* node);

// Why the tree cannot be written in the format, naming the first path that breaks a limit;
// empty when it can.
std::string LimitProblem(const ArchiveNode* root, ArchiveKind kind);

// Writes the document as an archive of the given kind at target (level 0-9 for a PK3).
// Messages name context (the archive whose entries are read). The document's tree is left
// as it was, but its source is closed: it is not used again. An exit code.
int WriteDocumentTo(ArchiveDocument* doc, ArchiveKind kind, const std::string& target, int level,
                    const std::string& context);
