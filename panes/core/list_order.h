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

// What the orders by a value the tree does not hold compare, one value a listed file that
// has one known: when it was last changed (seconds since 1970) for Modified, its stored
// size for Packed, its saving in tenths of a percent for Ratio, its method's rank among the
// listed methods' names for Method, its CRC-32 for CRC-32.
using EntryValues = std::unordered_map<const Node*, int64_t>;

// The list's sort comparison. sortKey: low byte 1 by Name, 2 by Type, 4 by Size, or by a
// looked-up value (values gives them, null: none known): 8 Modified, 0x10 Packed, 0x20
// Ratio, 0x40 Method, 0x80 CRC-32, the smallest value first and a file without one before
// every other; 0x100 descending, which reverses the order within the directories and
// within the files, the directories staying first. Entries the key finds alike follow
// their names.
int CompareListEntries(const Node* first, const Node* second, uint32_t sortKey,
                       const EntryValues* values = nullptr);
// Whether a sort key orders by a looked-up value (EntryValues) rather than by the tree.
bool SortsByValue(uint32_t sortKey);
