// The patch of a comparison: what side A added or changed, as an archive of its own that
// the normal save writes (a mod's "zzz-patch.pk3" over its base, say).
#pragma once

#include "archive/archive_compare.h"
#include "archive/document.h"
#include "archive/problem.h"
#include "archive/progress.h"

// Fills patch with a new tree (and no source) holding the files of the comparison's added
// and changed items, in their folders under their paths, each with side A's bytes read
// into memory and the time A gives it; names keep their case when keepCase. A file that
// cannot be read fails the patch: LoadFailed with the entry's stored name and the read's
// result, Unreadable with the path of a disk file; Cancelled when host's progress asked to
// stop; FileAndFolder when one path of A is a file and a folder of another. On failure the
// patch has no tree. host (may be null) is given one step per file.
Failure BuildPatch(const CompareSide& a, const Comparison& comparison, bool keepCase, ArchiveDocument* patch,
                   SaveHost* host = nullptr);
