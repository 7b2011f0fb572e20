// What the command-line tool shows on the terminal: messages on stderr naming the archive
// and the entry, the progress line of long work, and the stop asked for by Ctrl+C.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <string>

#include "archive/progress.h"

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;  // damaged or refused input, or a failure on the way
constexpr int kExitUsage = 2;
// Stopped by Ctrl+C (or SIGTERM); nothing half-made left. The program then exits as shells
// expect of a signal: 128 and its number (InterruptedExitCode).
constexpr int kExitInterrupted = 130;

extern const char kProgramName[];  // "vellumix-cli"

// Writes to stdout or stderr as printf does. On Windows, where the stream is a console,
// the text goes to it as UTF-16 converted from the process's code page (UTF-8 under the
// manifest): the C runtime's own conversion for a console is passed by (Wine's takes each
// byte for a character of its own).
void Print(FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// "vellumix-cli: text" on stderr. A message of the core spans lines ("Error reading PK3
// file\n<path>: why."): its lines are joined into one.
void PrintError(const std::string& text);
// The core's message text as one line.
std::string OneLine(const char* text);

// While it lives, the console the tool writes to (on Windows, when there is one) shows its
// output as UTF-8, which its names and paths are; the console's own code page is given back
// when it goes, and also when a second Ctrl+C, Ctrl+Break or closing the console ends the
// tool at once. Terminals on Linux take UTF-8 as it is: there it does nothing.
class ConsoleOutputUtf8 {
 public:
  ConsoleOutputUtf8();
  ~ConsoleOutputUtf8();
  ConsoleOutputUtf8(const ConsoleOutputUtf8&) = delete;
  ConsoleOutputUtf8& operator=(const ConsoleOutputUtf8&) = delete;
};

// Ctrl+C (and SIGTERM) ask the work to stop between entries; a second one ends the program.
void InstallInterruptHandler();
bool Interrupted();
// 128 and the number of the signal that asked to stop: 130 for Ctrl+C, 143 for SIGTERM.
int InterruptedExitCode();

// The progress line on stderr: shown only when stderr is a terminal and the work has run
// for a moment, rewritten in place, and cleared before any message and at the end.
class ProgressLine : public SaveProgress {
 public:
  explicit ProgressLine(const char* verb) : verb_(verb) {}
  void Start(uint32_t steps);
  void ShowItem(const char* storedPath, uint32_t size) override;
  // Nothing is drawn where no terminal shows it.
  bool ShowsItems() const override;
  void Step() override;
  bool Cancelled() override { return Interrupted(); }
  void Close() override;

 private:
  void Draw(bool force);
  const char* verb_;
  uint32_t steps_ = 0, done_ = 0;
  std::string item_;
  std::chrono::steady_clock::time_point started_{}, drawn_{};
};

// What a save shows on a terminal: the progress line of the entries written; Ctrl+C
// cancels the save.
class ConsoleSaveHost : public SaveHost {
 public:
  ConsoleSaveHost() : progress_("writing") {}
  void Repaint() override {}
  SaveProgress* OpenProgress(uint32_t steps) override;
  // Clears the progress line.
  void Close() { progress_.Close(); }

 private:
  ProgressLine progress_;
};
