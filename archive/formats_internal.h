// The readers and writers behind the format table's rows.
#pragma once

#include <memory>
#include <string>

#include "archive/format.h"
#include "archive/source.h"

std::unique_ptr<ArchiveSource> OpenPakSource(const ArchiveFormat& format, const std::string& path, Failure* why);
std::unique_ptr<ArchiveSource> OpenZipSource(const ArchiveFormat& format, const std::string& path, Failure* why);
std::unique_ptr<ArchiveSource> OpenWadSource(const ArchiveFormat& format, const std::string& path, Failure* why);

Failure WritePak(const WriteJob& job, WrittenEntries* written);
Failure WriteZip(const WriteJob& job, WrittenEntries* written);
Failure WriteWad(const WriteJob& job, WrittenEntries* written);
