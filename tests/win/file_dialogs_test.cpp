// The Open, Save and folder dialogs answered as a user would, through their controls.
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/file_dialogs.h"
#include "services/globals.h"
#include "services/settings.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"

namespace {

constexpr DWORD kOpenFlags =
    OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON;

// Types a file name into a file dialog and presses OK.
std::function<void(HWND)> TypeAndConfirm(const std::string& text) {
  return [text](HWND dialog) {
    TypeFileName(dialog, text);
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  };
}

// The NUL-separated strings of a dialog's answer, up to the empty one.
std::vector<std::string> Strings(const char* buffer) {
  std::vector<std::string> out;
  for (const char* p = buffer; *p; p += std::strlen(p) + 1) out.push_back(p);
  return out;
}

class FileDialogsTest : public ArchiveWindowTest {
 protected:
  void SetUp() override {
    ArchiveWindowTest::SetUp();
    directory_ = TempDir().substr(0, TempDir().size() - 1);  // without the trailing backslash
    for (const char* name : {"a.pak", "b.pak", "c.pak"}) ASSERT_TRUE(WriteDiskFile(TempDir() + name, ""));
  }
  std::string directory_;
  char buffer_[16384] = {};
};

}  // namespace

TEST_F(FileDialogsTest, OneChosenFileComesBackAsDirectoryAndName) {
  DialogWatcher watcher("Open PAK File", 0, 10000, TypeAndConfirm(TempDir() + "a.pak"));
  ASSERT_TRUE(ShowOpenDialog(buffer_, sizeof buffer_, nullptr, kArchiveFilter, "Open PAK File", kOpenFlags));
  EXPECT_TRUE(watcher.Wait().found);
  EXPECT_EQ(Strings(buffer_), (std::vector<std::string>{directory_, "a.pak"}));
  EXPECT_STREQ(g_settings.initialDirectory, directory_.c_str());
}

TEST_F(FileDialogsTest, SeveralChosenFilesFollowTheirDirectory) {
  std::strcpy(g_settings.initialDirectory, directory_.c_str());
  DialogWatcher watcher("Open PAK File", 0, 10000, TypeAndConfirm("\"a.pak\" \"b.pak\" \"c.pak\""));
  ASSERT_TRUE(ShowOpenDialog(buffer_, sizeof buffer_, nullptr, kArchiveFilter, "Open PAK File", kOpenFlags));
  EXPECT_TRUE(watcher.Wait().found);
  std::vector<std::string> got = Strings(buffer_);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], directory_);
  EXPECT_EQ(std::vector<std::string>(got.begin() + 1, got.end()),
            (std::vector<std::string>{"a.pak", "b.pak", "c.pak"}));
  EXPECT_STREQ(g_settings.initialDirectory, directory_.c_str());
}

TEST_F(FileDialogsTest, FileInADriveRootGivesTheDriveAlone) {
  ASSERT_TRUE(WriteDiskFile("C:\\vellumix-root-test.pak", ""));
  DialogWatcher watcher("Open PAK File", 0, 10000, TypeAndConfirm("C:\\vellumix-root-test.pak"));
  ASSERT_TRUE(ShowOpenDialog(buffer_, sizeof buffer_, nullptr, kArchiveFilter, "Open PAK File", kOpenFlags));
  EXPECT_TRUE(watcher.Wait().found);
  EXPECT_EQ(Strings(buffer_), (std::vector<std::string>{"C:", "vellumix-root-test.pak"}));
  EXPECT_STREQ(g_settings.initialDirectory, "C:");
  DeleteFileA("C:\\vellumix-root-test.pak");
}

TEST_F(FileDialogsTest, CancelLeavesTheInitialDirectory) {
  std::strcpy(g_settings.initialDirectory, "C:\\somewhere");
  DialogWatcher open("Open PAK File", IDCANCEL);
  EXPECT_FALSE(ShowOpenDialog(buffer_, sizeof buffer_, nullptr, kArchiveFilter, "Open PAK File", kOpenFlags));
  EXPECT_TRUE(open.Wait().found);
  DialogWatcher save("Save Archive", IDCANCEL);
  EXPECT_FALSE(ShowSaveDialog(buffer_, MAX_PATH, nullptr, kArchiveFilter, nullptr, "Save Archive",
                              OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, 0, nullptr));
  EXPECT_TRUE(save.Wait().found);
  EXPECT_STREQ(g_settings.initialDirectory, "C:\\somewhere");
  EXPECT_FALSE(ShowOpenDialog(buffer_, sizeof buffer_, nullptr, 12345, "No filter", kOpenFlags));
}

TEST_F(FileDialogsTest, SavingSetsTheDirectoryTheNextOpenStartsIn) {
  DialogWatcher save("Save Archive", 0, 10000, TypeAndConfirm(TempDir() + "new.pk3"));
  ASSERT_TRUE(ShowSaveDialog(buffer_, MAX_PATH, nullptr, kArchiveFilter, nullptr, "Save Archive",
                             OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NONETWORKBUTTON, 0, nullptr));
  EXPECT_TRUE(save.Wait().found);
  EXPECT_EQ(std::string(buffer_), TempDir() + "new.pk3");
  EXPECT_STREQ(g_settings.initialDirectory, directory_.c_str());
  // The next dialog starts there: a bare name is found in that directory.
  DialogWatcher open("Open PAK File", 0, 10000, TypeAndConfirm("b.pak"));
  ASSERT_TRUE(ShowOpenDialog(buffer_, sizeof buffer_, nullptr, kArchiveFilter, "Open PAK File", kOpenFlags));
  EXPECT_TRUE(open.Wait().found);
  EXPECT_EQ(Strings(buffer_), (std::vector<std::string>{directory_, "b.pak"}));
}

TEST_F(FileDialogsTest, OpenCommandOpensEveryChosenArchive) {
  ASSERT_TRUE(CopyFixture("views.zip", TempDir() + "a.pak.zip"));
  ASSERT_TRUE(CopyFixture("views.pak", TempDir() + "b.pak"));
  std::strcpy(g_settings.initialDirectory, directory_.c_str());
  DialogWatcher watcher("Open PAK File", 0, 10000, TypeAndConfirm("\"a.pak.zip\" \"b.pak\""));
  SendMessageA(frame_, WM_COMMAND, ID_FILE_OPEN, 0);
  EXPECT_TRUE(watcher.Wait().found);
  // The opens are posted by the command.
  PumpUntil([] { return ArchiveWindows().size() == 2; });
  PumpPending();
  std::vector<std::string> titles;
  for (HWND w : ArchiveWindows()) titles.push_back(Title(w));
  std::sort(titles.begin(), titles.end());
  const std::string lowerDir = Lower(TempDir());
  EXPECT_EQ(titles, (std::vector<std::string>{lowerDir + "a.pak.zip", lowerDir + "b.pak"}));
}

TEST_F(FileDialogsTest, FolderDialogGivesADirectoryOrNothing) {
  char path[MAX_PATH] = "unchanged";
  DialogWatcher cancel("Browse for Folder", IDCANCEL);
  EXPECT_FALSE(BrowseForDirectory(frame_, path, "Select import directory"));
  EXPECT_TRUE(cancel.Wait().found);
  EXPECT_STREQ(path, "unchanged");
  // Confirming at once takes the dialog's first selection below My Computer: whatever it
  // is, a result is an existing file-system directory.
  DialogWatcher confirm("Browse for Folder", IDOK);
  int chosen = BrowseForDirectory(frame_, path, "Select import directory");
  EXPECT_TRUE(confirm.Wait().found);
  if (chosen) {
    DWORD attributes = GetFileAttributesA(path);
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << path;
  }
  EXPECT_STREQ(g_settings.initialDirectory, "");
}
