// Reading an entry's stored bytes from an open file in pieces: inflated when they are
// deflated, and checked against the CRC-32 where the entry has one.
#pragma once

#include <cstdio>

#include "archive/deflate.h"
#include "archive/problem.h"
#include "archive/source.h"

// What an inflate's end status means for the read of an entry.
EntryLoad LoadOfInflate(InflateStream::Status status);

// Reads the stored bytes where describes from file and gives their plain bytes to sink
// (null: only read and checked) in pieces. Stopped when the sink refused a piece; a read
// that went to its end is Ok only when the bytes were whole and their CRC-32 matched.
EntryLoad ReadStoredBytes(FILE* file, const StoredBytes& where, ByteSink* sink);
