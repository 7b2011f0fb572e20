// The memory checker must see what it is there for: a program with a planted write after
// free and one with a write past a block's end fail their heap check; a clean one passes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs the planted-fault program in mode and returns its exit code (-1 when it did not run).
long RunHeapFault(const std::string& mode) {
  std::string command = std::string("\"") + VELLUMIX_HEAP_FAULT + "\" " + mode;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

TEST(MemoryCheckerTest, PlantedFaultsAreReported) {
  EXPECT_EQ(RunHeapFault("clean"), 0);
  EXPECT_EQ(RunHeapFault("use-after-free"), 3);
  EXPECT_EQ(RunHeapFault("overrun"), 3);
}

}  // namespace
