// The readers and writers behind the format table's rows.
#pragma once

#include <memory>
#include <string>

#include "archive/format.h"
#include "archive/source.h"

std::unique_ptr<ArchiveSource> OpenPakSource(const ArchiveFormat& format, const std::string& path, Failure* why);
std::unique_ptr<ArchiveSource> OpenZipSource(const ArchiveFormat& format, const std::string& path, Failure* why);
std::unique_ptr<ArchiveSource> OpenWadSource(const ArchiveFormat& format, const std::string& path, Failure* why);

// Where the size bytes at start of a file of fileLength bytes lie, in a format whose header
// of headerSize bytes starts the file and whose directory spans [dirStart, dirEnd): past
// the file's end, over the header or over the directory make the entry damaged. None when
// it lies clear.
Failure CheckSlotPlacement(int64_t fileLength, uint64_t start, uint32_t size, uint64_t headerSize, uint64_t dirStart,
                           uint64_t dirEnd);

Failure WritePak(const WriteJob& job, WrittenEntries* written);
Failure WriteZip(const WriteJob& job, WrittenEntries* written);
Failure WriteWad(const WriteJob& job, WrittenEntries* written);
