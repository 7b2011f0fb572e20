#include "cli/console.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#include "archive/quoted_name.h"
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

const char kProgramName[] = "vellumix-cli";

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
// Columns of the progress line that is on the terminal now; 0 when none is.
size_t g_lineShown = 0;

void OnInterrupt(int signal) {
  g_interrupted = 1;
  // A second request ends the program at once.
  std::signal(signal, SIG_DFL);
}

bool StderrIsTerminal() {
#ifdef _WIN32
  static const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
  static const bool terminal = isatty(STDERR_FILENO) != 0;
#endif
  return terminal;
}

void ClearLine() {
  if (g_lineShown == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(g_lineShown), "");
  std::fflush(stderr);
  g_lineShown = 0;
}

constexpr size_t kLineWidth = 79;
constexpr auto kQuietPeriod = std::chrono::milliseconds(700);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

}  // namespace

std::string OneLine(const char* text) {
  std::string line;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p != '\n') {
      line += *p;
    } else if (p[1] != '\0') {
      line += !line.empty() && line.back() == '.' ? " " : ": ";
    }
  }
  return line;
}

void PrintError(const std::string& text) {
  ClearLine();
  std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
  std::fflush(stderr);
}

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
#ifdef SIGTERM
  std::signal(SIGTERM, OnInterrupt);
#endif
}

bool Interrupted() { return g_interrupted != 0; }

void ProgressLine::Start(uint32_t steps) {
  steps_ = steps;
  done_ = 0;
  item_.clear();
  started_ = std::chrono::steady_clock::now();
  drawn_ = started_;
}

void ProgressLine::ShowItem(const char* storedPath, uint32_t) {
  item_ = PrintableName(storedPath);
  Draw(false);
}

void ProgressLine::Step() {
  ++done_;
  Draw(false);
}

void ProgressLine::Close() { ClearLine(); }

void ProgressLine::Draw(bool force) {
  if (!StderrIsTerminal()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && (now - started_ < kQuietPeriod || now - drawn_ < kRedrawPeriod)) return;
  drawn_ = now;
  char head[96];
  const unsigned percent = steps_ ? static_cast<unsigned>(100.0 * done_ / steps_) : 0;
  std::snprintf(head, sizeof head, "%s %u/%u (%u%%) ", verb_, done_, steps_, percent);
  std::string line = head;
  const size_t room = kLineWidth > line.size() ? kLineWidth - line.size() : 0;
  // The end of a long path tells more than its start.
  line += item_.size() <= room ? item_ : "..." + item_.substr(item_.size() - (room > 3 ? room - 3 : 0));
  const size_t width = line.size();
  if (width < g_lineShown) line.append(g_lineShown - width, ' ');
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  g_lineShown = line.size();
}

SaveProgress* ConsoleSaveHost::OpenProgress(uint32_t steps) {
  progress_.Start(steps);
  return &progress_;
}
