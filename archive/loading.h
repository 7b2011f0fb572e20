// Opening an archive file by the format its name asks for, and turning its stored paths
// into the archive tree.
#pragma once

#include <memory>
#include <string>

#include "archive/document.h"
#include "archive/problem.h"
#include "archive/source.h"

// Opens path as the format of its extension (in any case); a name with no known extension is
// tried as a PAK, then as the default format. Null on failure, with *why and in *format the
// format it was read as (for the message).
std::unique_ptr<ArchiveSource> OpenArchive(const std::string& path, Failure* why, const ArchiveFormat** format);

// Builds the document's tree from its source (an empty root for a document without one),
// a tree that keeps the case of names when keepCase. A file stored twice is kept twice (see
// Shadows). On failure the document has no tree and *why says what is wrong with which
// stored path.
Failure BuildTree(ArchiveDocument* doc, bool keepCase = false);
