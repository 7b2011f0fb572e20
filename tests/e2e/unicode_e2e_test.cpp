// The real program with archives in a folder named in Cyrillic, Greek and CJK: opened from
// the command line, handed over by a second start (also by a path of more bytes than an
// atom's name takes), and kept in the recent files through a restart. The tests speak UTF-8
// as the program does: they carry the same code page setting in their manifest.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "tests/win/support/unicode_support.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
constexpr int kMdiClientId = 1;
constexpr WPARAM kFirstRecentFile = 57616;
const char kRecentFilesKey[] = "Software\\Quillmoor\\Vellumix\\Recent File List";
const std::string kArchiveName = "\xCE\x91\xCF\x81\xCF\x87\xCE\xB5\xCE\xAF\xCE\xBF \xE6\xA1\xA3.PAK";  // Αρχείο 档.PAK

class UnicodeProgramTest : public ScreenshotOnFailureTest {
 protected:
  void SetUp() override {
    ScreenshotOnFailureTest::SetUp();
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest's code page";
  }
  void TearDown() override {
    ScreenshotOnFailureTest::TearDown();
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor");
  }
};

// A small PAK in "Мод Ωμέγα 模组" below the test tree, or "" when it cannot be written.
std::string UnicodeArchive(const std::string& below = "") {
  std::string dir = kUnicodeFolderName;
  if (!below.empty()) {
    CreateDirectoryA((std::string(VELLUMIX_E2E_DIR) + "\\" + dir).c_str(), nullptr);
    dir += "\\" + below;
  }
  return WriteSmallPak(dir, kArchiveName);
}

// The first recent file as the registry holds it.
std::string RecentFile() {
  char path[1024] = {};
  DWORD size = sizeof path;
  if (SHGetValueA(HKEY_CURRENT_USER, kRecentFilesKey, "File1", nullptr, path, &size) != ERROR_SUCCESS)
    return "<missing>";
  return path;
}

bool Closes(ProgramProcess* program, HWND frame) {
  PostMessageA(frame, WM_CLOSE, 0, 0);
  DWORD code = 99;
  return program->WaitForExit(kTimeoutMs, &code) && code == 0;
}

}  // namespace

TEST_F(UnicodeProgramTest, TheCommandLineOpensAnArchiveThereAndTheRecentFilesKeepItThroughARestart) {
  const std::string archive = UnicodeArchive();
  ASSERT_FALSE(archive.empty());
  {
    ProgramProcess program;
    ASSERT_TRUE(program.Start("\"" + archive + "\""));
    HWND frame = program.WaitForFrame(kTimeoutMs);
    ASSERT_NE(frame, nullptr);
    ArchivePanes panes = WaitForArchivePanes(GetDlgItem(frame, kMdiClientId), Lower(archive), kTimeoutMs);
    ASSERT_NE(panes.list, nullptr);
    EXPECT_EQ(RemoteListText(panes.list, 0, 0), "readme.txt");
    ASSERT_TRUE(Closes(&program, frame));
  }
  EXPECT_EQ(RecentFile(), Lower(archive));
  // Started again without a path: the first recent file opens the archive.
  ProgramProcess again;
  ASSERT_TRUE(again.Start(""));
  HWND frame = again.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  PostMessageA(frame, WM_COMMAND, kFirstRecentFile, 0);
  ArchivePanes panes = WaitForArchivePanes(GetDlgItem(frame, kMdiClientId), Lower(archive), kTimeoutMs);
  ASSERT_NE(panes.list, nullptr);
  EXPECT_EQ(RemoteListText(panes.list, 0, 0), "readme.txt");
  ASSERT_TRUE(Closes(&again, frame));
}

TEST_F(UnicodeProgramTest, SecondStartsHandOverPathsFromThereShortOrLong) {
  const std::string archive = UnicodeArchive();
  ASSERT_FALSE(archive.empty());
  // More bytes than an atom's name holds, fewer characters than a path may have.
  const std::string part = Repeated("\xE6\xA8\xA1", 70);
  const std::string longArchive = UnicodeArchive(part);
  ASSERT_FALSE(longArchive.empty());
  ASSERT_GT(longArchive.size(), 255u);
  ProgramProcess first;
  ASSERT_TRUE(first.Start(""));
  HWND frame = first.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  HWND client = GetDlgItem(frame, kMdiClientId);
  for (const std::string& path : {archive, longArchive}) {
    SCOPED_TRACE(path);
    ProgramProcess second;
    ASSERT_TRUE(second.Start("\"" + path + "\""));
    DWORD code = 0;
    ASSERT_TRUE(second.WaitForExit(kTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    ArchivePanes panes = WaitForArchivePanes(client, Lower(path), kTimeoutMs);
    ASSERT_NE(panes.list, nullptr);
    EXPECT_EQ(RemoteListText(panes.list, 0, 0), "readme.txt");
  }
  ASSERT_TRUE(Closes(&first, frame));
}
