// Every Windows test process checks its heaps when its tests are over (see heap_check.h),
// and a crash ends it with a failing exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/win/support/heap_check.h"

namespace {

class HeapCheckEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    EXPECT_TRUE(ProcessHeapsValid())
        << "a heap block was written after it was freed or past its end during this test";
  }
};

// A fault inside a window procedure is not caught by the test body's handler: it reaches
// the process's last filter. Left to Wine's debugger, the process would end with code 0
// and the test would pass; here it ends with a code that fails it.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  std::fprintf(stderr, "Crashed: exception 0x%08lx at address %p\n",
               static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress);
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

const LPTOP_LEVEL_EXCEPTION_FILTER kCrashReport = SetUnhandledExceptionFilter(ReportCrash);

::testing::Environment* const kHeapCheck = ::testing::AddGlobalTestEnvironment(new HeapCheckEnvironment);

}  // namespace
