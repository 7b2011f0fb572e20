// The real program's "Open .pak, .pk3, .pk4 and .wad files with Vellumix": turned on in its
// Options dialog, the command it leaves in the user's classes, run as the shell runs it for
// a double-click, hands the archive to the running program; turned off, it is gone.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "tests/win/support/registry_support.h"
#include "tests/win/support/unicode_support.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
constexpr int kMdiClientId = 1;
const char* const kExtensions[] = {".pak", ".pk3", ".pk4", ".wad"};
const char kClasses[] = "Software\\Classes\\";
const char kProgId[] = "Vellumix.Archive";

void ClearAssociations() {
  for (const char* extension : kExtensions) DeleteRegistryTree(HKEY_CURRENT_USER, kClasses + std::string(extension));
  DeleteRegistryTree(HKEY_CURRENT_USER, kClasses + std::string(kProgId));
}

class AssociationProgramTest : public ScreenshotOnFailureTest {
 protected:
  void SetUp() override { ClearAssociations(); }
  void TearDown() override {
    ScreenshotOnFailureTest::TearDown();
    ClearAssociations();
  }
};

// Opens the program's Options dialog, clicks its association box and presses OK; whether the
// box was checked when the dialog opened goes to *wasChecked. false when the dialog did not
// come, or did not go.
bool ClickAssociationBox(HWND frame, DWORD processId, bool* wasChecked) {
  PostMessageA(frame, WM_COMMAND, ID_VIEW_OPTIONS, 0);
  // Shown once its initialisation, which reads the registry, has run.
  HWND dialog = WaitForMessageBox(processId, "Options", kTimeoutMs);
  if (!dialog) return false;
  HWND box = GetDlgItem(dialog, IDC_OPTIONS_ASSOCIATE);
  *wasChecked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
  SendMessageA(box, BM_CLICK, 0, 0);
  return AnswerMessageBox(dialog, IDOK, kTimeoutMs);
}

// The same file by two spellings of its path (case, slashes).
bool SamePath(const std::string& a, const std::string& b) {
  char fullA[MAX_PATH * 4] = {}, fullB[MAX_PATH * 4] = {};
  return GetFullPathNameA(a.c_str(), sizeof fullA, fullA, nullptr) &&
         GetFullPathNameA(b.c_str(), sizeof fullB, fullB, nullptr) && lstrcmpiA(fullA, fullB) == 0;
}

TEST_F(AssociationProgramTest, AnArchiveOpenedAsTheShellOpensItGoesToTheRunningProgram) {
  const std::string archive = WriteSmallPak(kUnicodeFolderName, "Map Pack.pak");
  ASSERT_FALSE(archive.empty());
  ProgramProcess program;
  ASSERT_TRUE(program.Start(""));
  HWND frame = program.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);

  bool wasChecked = true;
  ASSERT_TRUE(ClickAssociationBox(frame, program.processId(), &wasChecked));
  EXPECT_FALSE(wasChecked);
  for (const char* extension : kExtensions) {
    EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, kClasses + std::string(extension)), kProgId) << extension;
  }
  const std::string id = kClasses + std::string(kProgId);
  const std::string command = RegistryDefault(HKEY_CURRENT_USER, id + "\\shell\\open\\command");
  const std::string ending = "\" \"%1\"";
  ASSERT_GT(command.size(), ending.size() + 1) << command;
  ASSERT_EQ(command.substr(command.size() - ending.size()), ending) << command;
  ASSERT_EQ(command[0], '"');
  const std::string exe = command.substr(1, command.size() - ending.size() - 1);
  EXPECT_TRUE(SamePath(exe, VELLUMIX_EXE)) << exe;
  EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, id + "\\DefaultIcon"), "\"" + exe + "\",0");

  // What the shell runs for a double-click: the command with the file's path for "%1".
  std::string line = command;
  line.replace(line.find("%1"), 2, archive);
  std::wstring wide = WideOf(line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION second = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &second))
      << line;
  const bool ended = WaitForSingleObject(second.hProcess, kTimeoutMs) == WAIT_OBJECT_0;
  DWORD code = 99;
  GetExitCodeProcess(second.hProcess, &code);
  if (!ended) TerminateProcess(second.hProcess, 99);
  CloseHandle(second.hThread);
  CloseHandle(second.hProcess);
  ASSERT_TRUE(ended) << "the second start did not end";
  EXPECT_EQ(code, 1u);  // handed over to the running program
  HWND client = GetDlgItem(frame, kMdiClientId);
  EXPECT_NE(WaitForArchivePanes(client, Lower(archive), kTimeoutMs).window, nullptr);

  ASSERT_TRUE(ClickAssociationBox(frame, program.processId(), &wasChecked));
  EXPECT_TRUE(wasChecked);
  for (const char* extension : kExtensions) {
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kClasses + std::string(extension))) << extension;
  }
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, id));
}

}  // namespace
