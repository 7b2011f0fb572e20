// The order of the item list under its three sort keys, and the size an entry shows.
#pragma once

#include <cstdint>

#include "archive/tree.h"

// The byte count of a file; 0 for directories. Sizes are unsigned 32-bit counts, so an entry
// of 2 GiB or more still shows and sorts as the large file it is.
uint32_t EntryDisplaySize(const Node* node);
// Whether the node is shown with a size: files are.
bool EntryHasSize(const Node* node);

// The list's sort comparison. sortKey: low byte 1 by Name, 2 by Type, 4 by Size;
// 0x100 descending, which reverses the whole order, directory grouping included.
int CompareListEntries(const Node* first, const Node* second, uint32_t sortKey);
