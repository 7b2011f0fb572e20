#include "cli/console.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "archive/quoted_name.h"
#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <climits>
#else
#include <unistd.h>
#endif

const char kProgramName[] = "vellumix-cli";

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
// Columns of the progress line that is on the terminal now; 0 when none is.
size_t g_lineShown = 0;

void OnInterrupt(int signal) {
  g_interrupted = signal;
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
  Print(stderr, "\r%*s\r", static_cast<int>(g_lineShown), "");
  std::fflush(stderr);
  g_lineShown = 0;
}

// Writes text to stream: to a console on Windows as UTF-16, anywhere else as it is.
void WriteText(FILE* stream, const char* text, size_t length) {
#ifdef _WIN32
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode) && length < INT_MAX) {
    const int size = static_cast<int>(length);
    const int units = MultiByteToWideChar(CP_ACP, 0, text, size, nullptr, 0);
    if (units > 0) {
      std::wstring wide(static_cast<size_t>(units), L'\0');
      MultiByteToWideChar(CP_ACP, 0, text, size, &wide[0], units);
      std::fflush(stream);
      DWORD written = 0;
      if (WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) return;
    }
  }
#endif
  std::fwrite(text, 1, length, stream);
}

constexpr size_t kLineWidth = 79;

// The characters of UTF-8 text, as the terminal's columns count them (a byte that continues
// a sequence takes none).
bool ContinuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
size_t Characters(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += ContinuesCharacter(c) ? 0 : 1;
  return count;
}
// Where the last count characters of text start.
size_t StartOfLast(const std::string& text, size_t count) {
  size_t at = text.size();
  for (size_t seen = 0; at > 0 && seen < count;) {
    --at;
    if (!ContinuesCharacter(text[at])) ++seen;
  }
  while (at < text.size() && ContinuesCharacter(text[at])) ++at;
  return at;
}
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

void Print(FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  // Most texts are one line, made once in place; a longer one is made again at its length.
  char line[512];
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length > 0 && static_cast<size_t>(length) < sizeof line) {
    WriteText(stream, line, static_cast<size_t>(length));
  } else if (length > 0) {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, again);
    WriteText(stream, text.data(), static_cast<size_t>(length));
  }
  va_end(again);
}

void PrintError(const std::string& text) {
  ClearLine();
  Print(stderr, "%s: %s\n", kProgramName, text.c_str());
  std::fflush(stderr);
}

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
#ifdef SIGTERM
  std::signal(SIGTERM, OnInterrupt);
#endif
}

bool Interrupted() { return g_interrupted != 0; }

int InterruptedExitCode() { return 128 + (g_interrupted != 0 ? static_cast<int>(g_interrupted) : SIGINT); }

#ifdef _WIN32
namespace {

// The console's output code page before the tool set UTF-8; 0 while it has not.
volatile UINT g_consoleCodePage = 0;

void RestoreConsoleCodePage() {
  const UINT previous = g_consoleCodePage;
  g_consoleCodePage = 0;
  if (previous != 0) SetConsoleOutputCP(previous);
}

// Runs before the event ends the tool: the console's page is given back first. A first
// Ctrl+C only asks the work to stop (the C runtime's handler takes it), so the page stays
// until the tool ends by itself; a second one, and the other events, end the tool at once.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT || Interrupted()) RestoreConsoleCodePage();
  return FALSE;
}

}  // namespace

ConsoleOutputUtf8::ConsoleOutputUtf8() {
  // No console (output to files or pipes of a process without one): nothing to set.
  const UINT previous = GetConsoleOutputCP();
  if (previous == 0 || previous == CP_UTF8) return;
  if (!SetConsoleOutputCP(CP_UTF8)) return;
  g_consoleCodePage = previous;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleOutputUtf8::~ConsoleOutputUtf8() {
  if (g_consoleCodePage == 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  RestoreConsoleCodePage();
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}
#else
ConsoleOutputUtf8::ConsoleOutputUtf8() = default;
ConsoleOutputUtf8::~ConsoleOutputUtf8() = default;
#endif

void ProgressLine::Start(uint32_t steps) {
  steps_ = steps;
  done_ = 0;
  item_.clear();
  started_ = std::chrono::steady_clock::now();
  drawn_ = started_;
}

void ProgressLine::ShowItem(const char* storedPath, uint32_t) {
  // Nothing is drawn where no terminal shows it: the name is not even made printable.
  if (!StderrIsTerminal()) return;
  item_ = PrintableName(storedPath);
  Draw(false);
}

bool ProgressLine::ShowsItems() const { return StderrIsTerminal(); }

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
  // The end of a long path tells more than its start; it is cut between characters.
  const size_t characters = Characters(item_);
  line += characters <= room ? item_ : "..." + item_.substr(StartOfLast(item_, room > 3 ? room - 3 : 0));
  const size_t width = Characters(line);
  if (width < g_lineShown) line.append(g_lineShown - width, ' ');
  Print(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  g_lineShown = width < g_lineShown ? g_lineShown : width;
}

SaveProgress* ConsoleSaveHost::OpenProgress(uint32_t steps) {
  progress_.Start(steps);
  return &progress_;
}
