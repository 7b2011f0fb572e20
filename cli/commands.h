// The commands of the command-line tool. Each returns the program's exit code.
#pragma once

#include <string>
#include <vector>

#include "archive/engine_target.h"
#include "archive/format.h"

struct CommandLine {
  std::vector<std::string> operands;
  bool longForm = false;   // list --long
  bool tabbed = false;     // list, diff --tsv
  bool overwrite = false;  // extract --overwrite
  bool verbose = false;    // extract -v: name each existing file kept
  bool json = false;       // list --json
  std::string directory;   // extract -C DIR
  int level = -1;          // create, convert, diff --level; -1 when not given
  bool keepCase = false;   // create, convert, extract, diff --keep-case
  bool imagesPng = false;  // extract --images png
  bool targetGiven = false;  // create, convert, test --target
  EngineTarget target = EngineTarget::Any;
  bool force = false;  // create, convert --force: write an archive that breaks the target's rules
  std::string patch;       // diff --patch OUT; empty when not given
  unsigned workers = 0;    // test, extract: threads (VELLUMIX_WORKERS); 0: one per core
};

// The engine target of the archive at path: the one --target gives, else the one its format
// and folder suggest.
EngineTarget TargetOf(const CommandLine& line, const std::string& path, const ArchiveFormat& format);

int ListCommand(const CommandLine& line);
int CatCommand(const CommandLine& line);
int ExtractCommand(const CommandLine& line);
int CreateCommand(const CommandLine& line);
int ConvertCommand(const CommandLine& line);
int TestCommand(const CommandLine& line);
int DiffCommand(const CommandLine& line);
