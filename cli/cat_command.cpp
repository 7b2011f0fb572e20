// cat: one file's bytes on standard output, as they are stored, for a pipe or a redirect.
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "archive/entry_data.h"
#include "archive/quoted_name.h"
#include "cli/archive_session.h"
#include "cli/commands.h"
#include "services/core/archive_text.h"

namespace {

// The bytes go to standard output as they come, in pieces.
class StdoutSink : public ByteSink {
 public:
  bool Take(const uint8_t* data, size_t size) override {
    if (Interrupted()) return false;
    return std::fwrite(data, 1, size, stdout) == size;
  }
};

}  // namespace

int CatCommand(const CommandLine& line) {
  OpenedDocument archive;
  if (!archive.Open(line.operands[0], true, line.keepCase, GivenTarget(line.targetGiven, line.target))) return kExitRefused;
  Shadows shadows(archive.doc.source.get());
  const std::string& typed = line.operands[1];
  const Node* node = FindTyped(archive.doc.root(), typed, shadows);
  if (node == nullptr) {
    PrintError(archive.path + ": " + QuotedName(typed.c_str()) + " is not in the archive");
    return kExitRefused;
  }
  if (!node->IsFile()) {
    PrintError(archive.path + ": " + QuotedName(typed.c_str()) + " is a folder, not a file");
    return kExitRefused;
  }
#ifdef _WIN32
  // Bytes, not text: no line ending is changed on the way.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  StdoutSink sink;
  const EntryLoad result = StreamEntryBytes(&archive.doc, node, &sink);
  const bool flushed = std::fflush(stdout) == 0;
  if (result == EntryLoad::Stopped && Interrupted()) return kExitInterrupted;
  if (result == EntryLoad::Stopped || !flushed) {
    PrintError(archive.path + ": " + QuotedName(typed.c_str()) + ": standard output could not be written");
    return kExitRefused;
  }
  if (result != EntryLoad::Ok) {
    PrintError(archive.path + ": " + QuotedName(StoredNameOf(&archive.doc, node).c_str()) + ": " +
               EntryLoadReason(result));
    return kExitRefused;
  }
  return kExitOk;
}
