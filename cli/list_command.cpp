// list: the stored entries of an archive, in the order the archive stores them.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "archive/source.h"
#include "services/core/archive_text.h"
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
  bool hasTime = false;
  uint32_t dosTime = 0;
  // Of a game folder: where the entry is read from, and how many places searched after it
  // hold the path too (each shadowed by it).
  std::string from;
  uint32_t shadowed = 0;
};

// "YYYY-MM-DD HH:MM:SS", empty when the format keeps no time: made only for the listings
// that show it.
std::string Modified(const Listed& e) {
  if (!e.hasTime) return std::string();
  const uint16_t date = static_cast<uint16_t>(e.dosTime >> 16), time = static_cast<uint16_t>(e.dosTime);
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
    e.hasTime = info.hasTime;
    e.dosTime = info.dosTime;
    if (const GameFolderSource* folder = source->AsGameFolder()) {
      e.from = FromText(folder->MemberOf(i));
      e.shadowed = folder->HolderCount(i) - 1;
    }
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
void PrintJson(const std::vector<Listed>& entries, bool folder) {
  Print(stdout, "[");
  for (size_t i = 0; i < entries.size(); ++i) {
    const Listed& e = entries[i];
    char crc[16] = "null";
    if (e.hasCrc) std::snprintf(crc, sizeof crc, "\"%08" PRIx32 "\"", e.crc);
    const std::string modified = e.hasTime ? JsonString(Modified(e)) : "null";
    Print(stdout,
          "%s\n  {\"size\": %" PRIu64 ", \"compressed\": %" PRIu64
          ", \"method\": %s, \"crc32\": %s, \"modified\": %s, \"offset\": %" PRIu64 ", %s\"path\": %s}",
          i == 0 ? "" : ",", e.size, e.packed, JsonString(e.method).c_str(), crc, modified.c_str(), e.offset,
          folder ? ("\"from\": " + JsonString(e.from) + ", \"shadowed\": " + std::to_string(e.shadowed) + ", ").c_str() : "",
          JsonString(e.path).c_str());
  }
  Print(stdout, entries.empty() ? "]\n" : "\n]\n");
}

}  // namespace

int ListCommand(const CommandLine& line) {
  OpenedDocument opened;
  if (!opened.Open(line.operands[0], false, false, GivenTarget(line.targetGiven, line.target))) return kExitRefused;
  const std::vector<Listed> entries = Entries(opened.doc);
  // A game folder's listing names where each entry is read from, before its path.
  const bool folder = opened.folder() != nullptr;
  const auto from = [folder](const Listed& e, char separator) {
    return folder ? PrintableName(e.from, separator == '\t') + separator : std::string();
  };
  if (line.json) {
    PrintJson(entries, folder);
    return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
  }
  if (line.tabbed) {
    for (const Listed& e : entries) {
      char crc[16] = "";
      if (e.hasCrc) std::snprintf(crc, sizeof crc, "%08" PRIx32, e.crc);
      const std::string shadowed = folder ? std::to_string(e.shadowed) + "\t" : std::string();
      Print(stdout, "%" PRIu64 "\t%" PRIu64 "\t%s\t%s\t%s\t%" PRIu64 "\t%s%s%s\n", e.size, e.packed, e.method.c_str(), crc,
                  Modified(e).c_str(), e.offset, from(e, '\t').c_str(), shadowed.c_str(),
                  PrintableName(e.path, true).c_str());
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
  }
  uint64_t size = 0, packed = 0;
  // The From column is as wide as its longest name.
  size_t fromWidth = 4;
  for (const Listed& e : entries) fromWidth = e.from.size() > fromWidth ? e.from.size() : fromWidth;
  const auto fromColumn = [&](const std::string& text, bool shadows) {
    if (!folder) return std::string();
    std::string cell = text + (shadows ? "*" : " ");
    cell.resize(fromWidth + 2, ' ');
    return cell;
  };
  if (line.longForm)
    Print(stdout, "%12s %12s %5s  %-9s %-8s  %-19s  %10s  %s%s\n", "Size", "Packed", "Saved", "Method", "CRC-32",
                "Modified", "Offset", fromColumn("From", false).c_str(), "Path");
  else
    Print(stdout, "%12s %12s  %-9s %s%s\n", "Size", "Packed", "Method", fromColumn("From", false).c_str(), "Path");
  for (const Listed& e : entries) {
    size += e.size;
    packed += e.packed;
    const std::string name = fromColumn(PrintableName(e.from, false), e.shadowed > 0) + PrintableName(e.path, false);
    if (line.longForm) {
      char crc[16] = "-";
      if (e.hasCrc) std::snprintf(crc, sizeof crc, "%08" PRIx32, e.crc);
      Print(stdout, "%12" PRIu64 " %12" PRIu64 " %5s  %-9s %-8s  %-19s  %10" PRIu64 "  %s\n", e.size, e.packed,
                  Ratio(e.size, e.packed).c_str(), e.method.c_str(), crc,
                  e.hasTime ? Modified(e).c_str() : "-", e.offset, name.c_str());
    } else {
      Print(stdout, "%12" PRIu64 " %12" PRIu64 "  %-9s %s\n", e.size, e.packed, e.method.c_str(), name.c_str());
    }
  }
  Print(stdout, "%12" PRIu64 " %12" PRIu64 "  %" PRIu64 " %s (%s saved)\n", size, packed,
              static_cast<uint64_t>(entries.size()),
              entries.size() == 1 ? "entry" : "entries", Ratio(size, packed).c_str());
  if (folder) {
    uint32_t shadowing = 0;
    for (const Listed& e : entries) shadowing += e.shadowed > 0;
    Print(stdout, "%u of them (marked *) shadow a file of the same path searched later\n", shadowing);
  }
  return std::fflush(stdout) == 0 ? kExitOk : kExitRefused;
}
