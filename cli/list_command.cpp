// list: the stored entries of an archive, in the order the archive stores them.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "archive/source.h"
#include "archive/quoted_name.h"
#include "archive/stored_names.h"
#include "cli/archive_session.h"
#include "cli/commands.h"

namespace {

struct Listed {
  std::string path;
  uint64_t size = 0, packed = 0, offset = 0;
  std::string method;
  bool hasCrc = false;
  uint32_t crc = 0;
  std::string modified;  // "YYYY-MM-DD HH:MM:SS", empty when the format keeps no time
};

std::string DosTime(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u,
                date & 31u, time >> 11, (time >> 5) & 63u, (time & 31u) * 2);
  return text;
}

std::string MethodName(const EntryInfo& info) {
  switch (info.method) {
    case StoredMethod::Encrypted:
      return "encrypted";
    case StoredMethod::Stored:
      return "stored";
    case StoredMethod::Deflated:
      return "deflated";
    default:
      return "method-" + std::to_string(info.methodCode);
  }
}

std::vector<Listed> Entries(const ArchiveDocument& doc) {
  std::vector<Listed> entries;
  const ArchiveSource* source = doc.source.get();
  for (uint32_t i = 0; source && i < source->Count(); ++i) {
    const EntryInfo info = source->Info(i);
    Listed e;
    // The whole stored name, also past a NUL byte inside it, as text in the coding its
    // format gives it.
    e.path = source->NameTextOf(i);
    e.size = info.size;
    e.packed = info.storedSize;
    e.offset = info.offset;
    e.method = MethodName(info);
    e.hasCrc = info.hasCrc;
    e.crc = info.crc;
    if (info.hasTime) e.modified = DosTime(static_cast<uint16_t>(info.dosTime >> 16), static_cast<uint16_t>(info.dosTime));
    entries.push_back(e);
  }
  return entries;
}

std::string Ratio(uint64_t size, uint64_t packed) {
  if (size == 0) return "0%";
  char text[16];
  const double saved = 100.0 * (static_cast<double>(size) - static_cast<double>(packed)) / static_cast<double>(size);
  std::snprintf(text, sizeof text, "%.0f%%", saved < 0 ? 0.0 : saved);
  return text;
}

// A JSON string of text: quotes, backslashes and control characters escaped; bytes that
// are no UTF-8 taken as the characters of their values.
std::string JsonString(const std::string& text) {
  const bool utf8 = IsValidUtf8(text);
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || (!utf8 && byte >= 0x80)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The listing as one JSON array: an object per entry with the fields of --tsv, null for a
// CRC-32 or a time the format does not keep.
void PrintJson(const std::vector<Listed>& entries) {
  Print(stdout, "[");
  for (size_t i = 0; i < entries.size(); ++i) {
    const Listed& e = entries[i];
    char crc[16] = "null";
    if (e.hasCrc) std::snprintf(crc, sizeof crc, "\"%08" PRIx32 "\"", e.crc);
    const std::string modified = e.modified.empty() ? "null" : JsonString(e.modified);
    Print(stdout,
          "%s\n  {\"size\": %" PRIu64 ", \"compressed\": %" PRIu64
          ", \"method\": %s, \"crc32\": %s, \"modified\": %s, \"offset\": %" PRIu64 ", \"path\": %s}",
          i == 0 ? "" : ",", e.size, e.packed, JsonString(e.method).c_str(), crc, modified.c_str(), e.offset,
          JsonString(e.path).c_str());
  }
  Print(stdout, entries.empty() ? "]\n" : "\n]\n");
}

}  // namespace

int ListCommand(const CommandLine& line) {
  OpenedDocument opened;
  if (!opened.Open(line.operands[0], false)) return kExitRefused;
  const std::vector<Listed> entries = Entries(opened.doc);
  if (line.json) {
    PrintJson(entries);
    return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
  }
  if (line.tabbed) {
    for (const Listed& e : entries) {
      char crc[16] = "";
      if (e.hasCrc) std::snprintf(crc, sizeof crc, "%08" PRIx32, e.crc);
      Print(stdout, "%" PRIu64 "\t%" PRIu64 "\t%s\t%s\t%s\t%" PRIu64 "\t%s\n", e.size, e.packed, e.method.c_str(), crc,
                  e.modified.c_str(), e.offset, PrintableName(e.path, true).c_str());
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
  }
  uint64_t size = 0, packed = 0;
  if (line.longForm)
    Print(stdout, "%12s %12s %5s  %-9s %-8s  %-19s  %10s  %s\n", "Size", "Packed", "Saved", "Method", "CRC-32",
                "Modified", "Offset", "Path");
  else
    Print(stdout, "%12s %12s  %-9s %s\n", "Size", "Packed", "Method", "Path");
  for (const Listed& e : entries) {
    size += e.size;
    packed += e.packed;
    const std::string name = PrintableName(e.path, false);
    if (line.longForm) {
      char crc[16] = "-";
      if (e.hasCrc) std::snprintf(crc, sizeof crc, "%08" PRIx32, e.crc);
      Print(stdout, "%12" PRIu64 " %12" PRIu64 " %5s  %-9s %-8s  %-19s  %10" PRIu64 "  %s\n", e.size, e.packed,
                  Ratio(e.size, e.packed).c_str(), e.method.c_str(), crc,
                  e.modified.empty() ? "-" : e.modified.c_str(), e.offset, name.c_str());
    } else {
      Print(stdout, "%12" PRIu64 " %12" PRIu64 "  %-9s %s\n", e.size, e.packed, e.method.c_str(), name.c_str());
    }
  }
  Print(stdout, "%12" PRIu64 " %12" PRIu64 "  %" PRIu64 " %s (%s saved)\n", size, packed,
              static_cast<uint64_t>(entries.size()),
              entries.size() == 1 ? "entry" : "entries", Ratio(size, packed).c_str());
  return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
}
