// The commands of the command-line tool. Each returns the program's exit code.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
  std::vector<std::string> operands;
  bool longForm = false;   // list --long
  bool tabbed = false;     // list --tsv
  bool overwrite = false;  // extract --overwrite
  std::string directory;   // extract -C DIR
  int level = -1;          // create, convert --level; -1 when not given
  bool keepCase = false;   // create, convert, extract --keep-case
  bool imagesPng = false;  // extract --images png
};

int ListCommand(const CommandLine& line);
int ExtractCommand(const CommandLine& line);
int CreateCommand(const CommandLine& line);
int ConvertCommand(const CommandLine& line);
int TestCommand(const CommandLine& line);
