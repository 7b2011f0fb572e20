// The commands of the command-line tool. Each returns the program's exit code.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  std::vector<std::string> operands;
  bool longForm = false;   // list --long
  bool tabbed = false;     // list, diff --tsv
  bool overwrite = false;  // extract --overwrite
  std::string directory;   // extract -C DIR
  int level = -1;          // create, convert, diff --level; -1 when not given
  bool keepCase = false;   // create, convert, extract, diff --keep-case
  bool imagesPng = false;  // extract --images png
  std::string patch;       // diff --patch OUT; empty when not given
};

int ListCommand(const CommandLine& line);
int ExtractCommand(const CommandLine& line);
int CreateCommand(const CommandLine& line);
int ConvertCommand(const CommandLine& line);
int TestCommand(const CommandLine& line);
int DiffCommand(const CommandLine& line);
