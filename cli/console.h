// What the command-line tool shows on the terminal: messages on stderr naming the archive
// and the entry, the progress line of long work, and the stop asked for by Ctrl+C.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "archive/progress.h"

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;  // damaged or refused input, or a failure on the way
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // stopped by Ctrl+C (or SIGTERM); nothing half-made left

extern const char kProgramName[];  // "vellumix-cli"

// "vellumix-cli: text" on stderr. A message of the core spans lines ("Error reading PK3
// file\n<path>: why."): its lines are joined into one.
void PrintError(const std::string& text);
// The core's message text as one line.
std::string OneLine(const char* text);

// Ctrl+C (and SIGTERM) ask the work to stop between entries; a second one ends the program.
void InstallInterruptHandler();
bool Interrupted();

// The progress line on stderr: shown only when stderr is a terminal and the work has run
// for a moment, rewritten in place, and cleared before any message and at the end.
class ProgressLine : public SaveProgress {
 public:
  explicit ProgressLine(const char* verb) : verb_(verb) {}
  void Start(uint32_t steps);
  void ShowItem(const char* storedPath, uint32_t size) override;
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
