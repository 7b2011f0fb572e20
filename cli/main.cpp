// vellumix-cli: the archive core from a terminal. Parses the command line and runs one
// command; see PrintUsage.
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/format.h"
#include "cli/archive_session.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "services/core/version.h"

namespace {

// Every extension an archive may be written with, each as join puts it: ".pak, .pk3 or
// .zip" for a sentence, "OUT.pak|OUT.pk3" for the usage.
std::string WrittenExtensions(const std::string& before, const std::string& between, const std::string& last) {
  std::vector<std::string> all;
  for (const ArchiveFormat* format : ArchiveFormats())
    for (const char* extension : format->extensions) all.push_back(before + extension);
  std::string text;
  for (size_t i = 0; i < all.size(); ++i) text += (i == 0 ? "" : i + 1 == all.size() ? last : between) + all[i];
  return text;
}

std::string Usage() {
  return "usage: vellumix-cli list ARCHIVE|FOLDER [--long | --tsv | --json] [--target T]\n"
         "       vellumix-cli extract ARCHIVE|FOLDER [PATH...] [-C DIR] [--overwrite] [-v] [--keep-case] [--images png]\n"
         "                            [--target T]\n"
         "       vellumix-cli cat ARCHIVE|FOLDER PATH [--target T]\n"
         "       vellumix-cli create " +
         WrittenExtensions("OUT", "|", "|") +
         " DIR|FILE... [--level 0-9] [--keep-case] [--target T] [--force]\n"
         "       vellumix-cli convert IN OUT [--level 0-9] [--keep-case] [--target T] [--force]\n"
         "       vellumix-cli test ARCHIVE|FOLDER [--target T]\n"
         "       vellumix-cli diff A B [--tsv] [--patch " +
         WrittenExtensions("OUT", "|", "|") + "] [--level 0-9] [--keep-case] [--target T] [--force]\n";
}

const char kHelp[] =
    "\n"
    "  list     the stored entries: size, compressed size, method and path; --long adds\n"
    "           the saving, CRC-32, time and offset; --tsv prints one tab-separated line per\n"
    "           entry: size, compressed size, method, CRC-32, time, offset, path (tabs,\n"
    "           line breaks and backslashes in the path escaped as \\t, \\n and \\\\);\n"
    "           --json prints a JSON array of objects with those fields\n"
    "  extract  the whole archive or the chosen paths and folders into DIR (default: the\n"
    "           current directory); names not allowed on disk are refused; existing files\n"
    "           are kept unless --overwrite (counted on one line; -v names each one);\n"
    "           --images png also writes each TGA, PCX, LMP,\n"
    "           palette, conchars, WAL and mip texture as FILE.png beside it, 8-bit Quake\n"
    "           pictures in the palette of the archive or of pak0.pak or pak0.pk3 beside it\n"
    "  cat      one file's bytes on standard output\n"
    "  create   a new archive; a folder is stored under its own name, DIR/. stores its\n"
    "           contents; --level sets the compression of a PK3 or ZIP archive (default 6)\n"
    "  convert  the archive written again in the format the extension of OUT names\n"
    "  test     reads every entry and names each damaged one; a path stored more than\n"
    "           once is named as a warning (only the first of its entries is used)\n"
    "  diff     compares A (an archive or a folder) with B, file by file: one line per\n"
    "           path only in A (\"+ path\"), only in B (\"- path\") or changed (\"~ path\");\n"
    "           sizes and CRC-32s decide where both archives keep them (PK3, PK4, ZIP),\n"
    "           the bytes otherwise; --tsv prints added, removed or changed, a tab and\n"
    "           the escaped path; --patch OUT also writes what A adds or changes as an\n"
    "           archive of its own (an empty one when nothing was added or changed)\n"
    "\n"
    "--target any|quake|quake2|quake3 names the game the archive is for (default: the one\n"
    "its folder suggests: id1 Quake, baseq2 Quake II, baseq3, baseoa or a .pk4 file the\n"
    "Quake III Arena family; any other: any). create and convert refuse to write an archive\n"
    "that breaks a rule of its engine (more entries than it loads, paths it cannot name,\n"
    "methods it cannot read) unless --force; test names each rule broken and exits 1.\n"
    "Nothing is ever cut or dropped to fit.\n"
    "\n"
    "A FOLDER (a game folder such as id1, baseq2, baseq3 or a mod's) is read as its game\n"
    "reads it: every archive the engine of the target loads from it, in the engine's search\n"
    "order, then its loose files; each path is the file the engine finds first. list adds\n"
    "where each file is read from (the archive's name, or \"folder\") and, with --tsv and\n"
    "--json, how many places searched later hold the path too (before the path; --long and\n"
    "the plain listing mark such files with *). diff compares a folder that holds such\n"
    "archives as the game reads it, any other folder file by file as it lies on disk.\n"
    "\n"
    "Names are lower-cased as they are read, unless --keep-case keeps the case they are\n"
    "stored with (or have on disk); either way two names that differ only in case are\n"
    "one name. Of a path stored more than once, extract writes the first entry.\n"
    "\n"
    "Exit status: 0 success, 1 damaged or refused input (or a failure: with --images\n"
    "png, also a picture that could not be written as PNG), 2 usage, 130 interrupted\n"
    "by Ctrl+C, 143 by SIGTERM; diff: 0 the same, 1 different, 2 trouble (an archive or\n"
    "a file that cannot be read). Archives are written to a temporary file first and take\n"
    "the target's place only when complete.\n"
    "\n"
    "test and extract read and inflate entries on every core; VELLUMIX_WORKERS=N in the\n"
    "environment sets how many threads they use (1-64). Their output is the same either way.\n";

int UsageError(const std::string& text) {
  PrintError(text);
  Print(stderr, "%s", Usage().c_str());
  return kExitUsage;
}

struct CommandForm {
  const char* name;
  int (*run)(const CommandLine&);
  size_t minOperands, maxOperands;
  const char* options;  // the options it takes, space-separated
};

const CommandForm kCommands[] = {
    {"list", ListCommand, 1, 1, "--long --tsv --json --target"},
    {"extract", ExtractCommand, 1, SIZE_MAX, "-C --overwrite -v --keep-case --images --target"},
    {"cat", CatCommand, 2, 2, "--keep-case --target"},
    {"create", CreateCommand, 2, SIZE_MAX, "--level --keep-case --target --force"},
    {"convert", ConvertCommand, 2, 2, "--level --keep-case --target --force"},
    {"test", TestCommand, 1, 1, "--target"},
    {"diff", DiffCommand, 2, 2, "--tsv --patch --level --keep-case --target --force"},
};

bool Takes(const CommandForm& form, const char* option) {
  const std::string options = std::string(" ") + form.options + " ";
  return options.find(std::string(" ") + option + " ") != std::string::npos;
}

bool ParseLevel(const std::string& text, int* level) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '9') return false;
  *level = text[0] - '0';
  return true;
}

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  const std::string command = argv[1];
  if (command == "--version" || command == "-V") {
    Print(stdout, "%s (%s) %s\n", kProgramName, kProductName, kProductVersion);
    return kExitOk;
  }
  if (command == "-h" || command == "--help" || command == "help") {
    Print(stdout, "%s", Usage().c_str());
    Print(stdout, "%s", kHelp);
    return kExitOk;
  }
  const CommandForm* form = nullptr;
  for (const CommandForm& c : kCommands)
    if (command == c.name) form = &c;
  if (form == nullptr) return UsageError("unknown command \"" + command + "\"");

  CommandLine line;
  bool optionsEnd = false;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      line.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.erase(equals);
      hasValue = true;
    } else if (arg.compare(0, 2, "-C") == 0 && arg.size() > 2) {
      value = arg.substr(2);
      arg = "-C";
      hasValue = true;
    }
    if (arg == "--directory") arg = "-C";
    if (arg == "--verbose") arg = "-v";
    if (!Takes(*form, arg.c_str())) return UsageError(command + " does not take " + arg);
    const bool needsValue =
        arg == "-C" || arg == "--level" || arg == "--images" || arg == "--target" || arg == "--patch";
    if (needsValue && !hasValue) {
      if (i + 1 >= argc) return UsageError(arg + " needs a value");
      value = argv[++i];
    } else if (!needsValue && hasValue) {
      return UsageError(arg + " takes no value");
    }
    if (arg == "--long") line.longForm = true;
    if (arg == "--tsv") line.tabbed = true;
    if (arg == "--overwrite") line.overwrite = true;
    if (arg == "-v") line.verbose = true;
    if (arg == "--json") line.json = true;
    if (arg == "--keep-case") line.keepCase = true;
    if (arg == "--force") line.force = true;
    if (arg == "--target") {
      if (!TargetFromKeyword(value, &line.target))
        return UsageError("--target takes any, quake, quake2 or quake3, not \"" + value + "\"");
      line.targetGiven = true;
    }
    if (arg == "-C") {
      if (value.empty()) return UsageError("-C needs a directory");
      line.directory = value;
    }
    if (arg == "--images") {
      if (value != "png") return UsageError("--images takes png, not \"" + value + "\"");
      line.imagesPng = true;
    }
    if (arg == "--patch") {
      if (value.empty()) return UsageError("--patch needs the archive to write");
      line.patch = value;
    }
    if (arg == "--level" && !ParseLevel(value, &line.level))
      return UsageError("the level is a number from 0 to 9, not \"" + value + "\"");
  }
  if (line.operands.size() < form->minOperands) return UsageError(command + ": too few arguments");
  if (line.operands.size() > form->maxOperands) return UsageError(command + ": too many arguments");
  if (line.longForm + line.tabbed + line.json > 1) return UsageError("list takes one of --long, --tsv and --json");
  if ((command == "create" || command == "convert") && FormatForPath(line.operands[command == "create" ? 0 : 1]) == nullptr)
    return UsageError(command + ": the archive to write must end in " + WrittenExtensions("", ", ", " or "));
  if (!line.patch.empty() && FormatForPath(line.patch) == nullptr)
    return UsageError("diff: the patch to write must end in " + WrittenExtensions("", ", ", " or "));
  // The threads test and extract read with; the output does not depend on them.
  if (const char* workers = std::getenv("VELLUMIX_WORKERS")) {
    char* end = nullptr;
    const long n = std::strtol(workers, &end, 10);
    if (end == workers || *end != '\0' || n < 1 || n > 64)
      return UsageError(std::string("VELLUMIX_WORKERS takes a number from 1 to 64, not \"") + workers + "\"");
    line.workers = static_cast<unsigned>(n);
  }
  InstallInterruptHandler();
  const int code = form->run(line);
  return code == kExitInterrupted ? InterruptedExitCode() : code;
}

}  // namespace

EngineTarget TargetOf(const CommandLine& line, const std::string& path, const ArchiveFormat& format) {
  return line.targetGiven ? line.target : GuessTarget(path, format);
}

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // The entries read ahead come and go in buffers of up to some megabytes each, on several
  // threads. By default the C library gives such memory back to the system as soon as it is
  // free, and every page of the next buffer is then a fresh one, which costs a fault and a
  // cleared page: extracting 250 MB took 33,000 faults. Kept for the next buffer instead, a
  // page is faulted once; the peak is what the read-ahead's budget bounds either way.
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
  const ConsoleOutputUtf8 console;
  return Run(argc, argv);
}
