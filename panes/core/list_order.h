// The order of the item list under its four sort keys, and the size an entry shows.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "archive/tree.h"

// The byte count of a file; 0 for directories. Sizes are unsigned 32-bit counts, so an entry
// of 2 GiB or more still shows and sorts as the large file it is.
uint32_t EntryDisplaySize(const Node* node);
// Whether the node is shown with a size: files are.
bool EntryHasSize(const Node* node);

// When the listed files were last changed, for the order by Modified: a file's moment in
// seconds since 1970, for each file that has one known.
using EntryMoments = std::unordered_map<const Node*, int64_t>;

// The list's sort comparison. sortKey: low byte 1 by Name, 2 by Type, 4 by Size, 8 by
// Modified (oldest first, a file of no known time before every other; moments gives the
// times, null: none known); 0x100 descending, which reverses the order within the
// directories and within the files, the directories staying first. Entries the key finds
// alike follow their names.
int CompareListEntries(const Node* first, const Node* second, uint32_t sortKey,
                       const EntryMoments* moments = nullptr);
