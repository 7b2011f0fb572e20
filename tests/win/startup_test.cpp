// Start-up pieces in a test process: the window classes, the temporary directory, the
// clipboard formats, the whole initialisation, and the hand-off of a second instance.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "services/core/path_length.h"
#include "services/globals.h"
#include "services/messages.h"
#include "services/settings.h"
#include "app/startup.h"
#include "tests/win/support/frame_test_support.h"

namespace {

// The class's information; its atom in *atom (0 when it is not registered).
WNDCLASSEXA ClassInfo(HINSTANCE instance, const char* name, ATOM* atom = nullptr) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  ATOM found = static_cast<ATOM>(GetClassInfoExA(instance, name, &wc));
  if (atom) *atom = found;
  return wc;
}

TEST(StartupTest, RegistersTheSixWindowClasses) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  InitCommonControls();
  ASSERT_TRUE(RegisterWindowClasses(instance));
  struct Case {
    const char* name;
    UINT style;
    int windowExtra;
    HBRUSH brush;
    bool icon;
    bool cursor;
  };
  const Case cases[] = {
      {"wcPakMDIFrame", 0, 0, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1), true, true},
      {"wcPakMDIChild", 0, static_cast<int>(sizeof(void*)), nullptr, true, true},  // its document
      {"wcPakToolbar", ClassInfo(nullptr, TOOLBARCLASSNAMEA).style, -1,
       reinterpret_cast<HBRUSH>(COLOR_MENU + 1), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ATOM atom = 0;
    WNDCLASSEXA wc = ClassInfo(instance, c.name, &atom);
    ASSERT_NE(atom, 0);
    EXPECT_EQ(wc.style, c.style);
    if (c.windowExtra >= 0) {
      EXPECT_EQ(wc.cbWndExtra, c.windowExtra);
    }
    EXPECT_EQ(wc.hbrBackground, c.brush);
    EXPECT_EQ(wc.hIcon != nullptr, c.icon);
    EXPECT_EQ(wc.hCursor != nullptr, c.cursor);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
  }

  ATOM treeAtom = 0;
  WNDCLASSEXA tree = ClassInfo(instance, "wcPakTV", &treeAtom);
  WNDCLASSEXA treeBase = ClassInfo(nullptr, WC_TREEVIEWA);
  EXPECT_EQ(treeAtom, g_folderTreeAtom);
  EXPECT_EQ(tree.style, treeBase.style);
  EXPECT_EQ(g_treeViewProc, treeBase.lpfnWndProc);

  ATOM listAtom = 0;
  WNDCLASSEXA list = ClassInfo(instance, "wcPakLV", &listAtom);
  WNDCLASSEXA listBase = ClassInfo(nullptr, WC_LISTVIEWA);
  EXPECT_EQ(listAtom, g_itemListAtom);
  EXPECT_EQ(list.style, listBase.style | CS_DBLCLKS);
  EXPECT_EQ(g_listViewProc, listBase.lpfnWndProc);

  EXPECT_EQ(g_toolbarProc, ClassInfo(nullptr, TOOLBARCLASSNAMEA).lpfnWndProc);

  ATOM splitterAtom = 0;
  WNDCLASSEXA splitter = ClassInfo(instance, "wcSplitter", &splitterAtom);
  ASSERT_NE(splitterAtom, 0);
  EXPECT_EQ(splitter.style, 0u);
  EXPECT_EQ(splitter.hCursor, nullptr);
  EXPECT_EQ(splitter.hbrBackground, nullptr);
  EXPECT_EQ(splitter.cbWndExtra, 0);
  EXPECT_EQ(g_splitterEdgeWidth, GetSystemMetrics(SM_CXEDGE));

  // The superclassed panes still behave as their controls.
  HWND pane = CreateWindowExA(0, "wcPakLV", "", WS_POPUP | LVS_REPORT, 0, 0, 100, 100, nullptr,
                              nullptr, instance, nullptr);
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(SendMessageA(pane, LVM_GETITEMCOUNT, 0, 0), 0);
  DestroyWindow(pane);

  // A second registration of the same classes fails.
  EXPECT_FALSE(RegisterWindowClasses(instance));
}

std::string TestDirectory(const char* name) {
  std::string dir = std::string(VELLUMIX_BUILD_DIR) + "\\startup-test";
  CreateDirectoryA(dir.c_str(), nullptr);
  dir += std::string("\\") + name;
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// A directory whose full path, with a backslash added, is exactly length characters (as the
// system counts them: UTF-16 units), each of its folders named by a character of its own.
std::string DirectoryOfLength(const std::string& base, size_t length, const std::string& character = "d") {
  std::string path = base;
  size_t units = Utf16Length(path);
  while (units + 1 < length) {
    size_t room = length - 1 - units - 1;  // after the next backslash
    if (room > 60) room = 60;
    path += "\\";
    for (size_t i = 0; i < room; ++i) path += character;
    units += 1 + room;
    CreateDirectoryA(path.c_str(), nullptr);
  }
  return path + "\\";
}

TEST(StartupTest, TemporaryDirectory) {
  std::string base = TestDirectory("temp");
  char out[kPathBufferSize];
  struct Case {
    const char* name;
    DWORD result;
    std::string path;
    bool ok;
    std::string expected;
  };
  std::string fits = DirectoryOfLength(base, 250);
  std::string tooLong = DirectoryOfLength(base, 251);
  ASSERT_EQ(fits.size(), 250u);
  ASSERT_EQ(tooLong.size(), 251u);
  // The same in CJK: about three times the bytes, the same characters.
  std::string fitsCjk = DirectoryOfLength(base, 250, "\xE6\xA8\xA1");
  std::string tooLongCjk = DirectoryOfLength(base, 251, "\xE7\xBB\x84");
  ASSERT_GT(fitsCjk.size(), 600u);
  ASSERT_EQ(Utf16Length(fitsCjk), 250u);
  ASSERT_EQ(Utf16Length(tooLongCjk), 251u);
  const Case cases[] = {
      {"with backslash", static_cast<DWORD>(base.size() + 1), base + "\\", true,
       base + "\\Vellumix\\"},
      {"without backslash", static_cast<DWORD>(base.size()), base, true, base + "\\Vellumix\\"},
      {"already there", static_cast<DWORD>(base.size() + 1), base + "\\", true,
       base + "\\Vellumix\\"},
      {"longest that fits", 250, fits, true, fits + "Vellumix\\"},
      {"one character too long", 251, tooLong, false, ""},
      {"longest that fits, in three bytes a character", static_cast<DWORD>(fitsCjk.size()), fitsCjk, true,
       fitsCjk + "Vellumix\\"},
      {"one character of three bytes too long", static_cast<DWORD>(tooLongCjk.size()), tooLongCjk, false, ""},
      {"no temporary path", 0, "", false, ""},
      {"answer too long for the buffer", static_cast<DWORD>(kPathBufferSize), "", false, ""},
      {"parent missing", 20, "C:\\no\\such\\dir\\", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    out[0] = '\0';
    EXPECT_EQ(CreateTempDirectoryFrom(c.result, c.path.c_str(), out), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::string(out), c.expected);
      DWORD attributes = GetFileAttributesA(out);
      EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
      EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
  }
}

TEST(StartupTest, CommandLineQuotes) {
  struct Case {
    const char* line;
    const char* path;
  };
  const Case cases[] = {
      {"\"C:\\My Dir\\a b.pak\"", "C:\\My Dir\\a b.pak"},
      {"C:\\plain.pak", "C:\\plain.pak"},
      {"C:\\two paths.pak D:\\x.pak", "C:\\two paths.pak D:\\x.pak"},  // never split
      {"\"C:\\no closing quote.pak", "C:\\no closing quote.pa"},     // last character dropped
      {"\"\"", ""},
      {"\"", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string line = c.line;
    EXPECT_STREQ(StripCommandLineQuotes(&line[0]), c.path);
  }
}

TEST(StartupTest, ClipboardFormatsAreRegisteredByName) {
  ASSERT_TRUE(RegisterClipboardFormats());
  struct Case {
    UINT format;
    const char* name;
  };
  const Case cases[] = {{g_cfVellumixData, "Vellumix Data"},
                        {g_cfFileGroupDescriptor, "FileGroupDescriptor"},
                        {g_cfFileGroupDescriptorW, "FileGroupDescriptorW"},
                        {g_cfFileContents, "FileContents"},
                        {g_cfPreferredDropEffect, "Preferred DropEffect"},
                        {g_cfPerformedDropEffect, "Performed DropEffect"},
                        {g_cfPasteSucceeded, "Paste Succeeded"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(c.format, 0u);
    char name[64] = {};
    GetClipboardFormatNameA(c.format, name, sizeof name);
    EXPECT_STREQ(name, c.name);
  }
}

TEST(StartupTest, InitialisationBuildsTheFrame) {
  // The start reads the settings: those of a first run, whatever earlier tests left.
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, "KeepCase");
    RegCloseKey(key);
  }
  g_instance = GetModuleHandleA(nullptr);
  InitCommonControls();
  ASSERT_TRUE(RegisterWindowClasses(g_instance));
  ASSERT_TRUE(InitialiseProgram(SW_SHOW));
  ASSERT_NE(g_frameWindow, nullptr);
  EXPECT_EQ(FindWindowA("wcPakMDIFrame", nullptr), g_frameWindow);
  EXPECT_TRUE(IsWindowVisible(g_frameWindow));
  EXPECT_EQ(Title(g_frameWindow), "Vellumix");
  EXPECT_EQ(GetMenu(g_frameWindow), g_mainMenu);
  EXPECT_NE(g_accelerators, nullptr);
  EXPECT_NE(g_cfPasteSucceeded, 0u);
  EXPECT_EQ(g_smallIconWidth, GetSystemMetrics(SM_CXSMICON));
  std::string temp = TempDirectory;
  ASSERT_GT(temp.size(), 10u);
  EXPECT_EQ(temp.substr(temp.size() - 10), "\\Vellumix\\");
  EXPECT_TRUE(GetFileAttributesA(TempDirectory) & FILE_ATTRIBUTE_DIRECTORY);

  // The command line reaches the frame through the loop, quotes removed.
  std::string archive = TestDirectory("Some Dir") + "\\Start.PAK";
  ASSERT_TRUE(WriteSmallPak(archive));
  std::string commandLine = "\"" + archive + "\"";
  PostCommandLine(&commandLine[0]);
  ASSERT_TRUE(PumpUntil([] { return ArchiveWindows().size() == 1; }));
  EXPECT_EQ(Title(ArchiveWindows()[0]), Lower(archive));

  PostMessageA(g_frameWindow, WM_CLOSE, 0, 0);
  MSG msg;
  int code = -1;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  code = static_cast<int>(msg.wParam);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(IsWindow(g_frameWindow));
  ShutDown();
}

TEST(StartupTest, OleAlreadyStartedFailsTheStartBeforeAnyWindow) {
  ASSERT_EQ(OleInitialize(nullptr), S_OK);
  g_instance = GetModuleHandleA(nullptr);
  ASSERT_TRUE(RegisterWindowClasses(g_instance));
  EXPECT_FALSE(InitialiseProgram(SW_SHOW));  // OleInitialize answers S_FALSE now
  EXPECT_EQ(g_frameWindow, nullptr);
  EXPECT_EQ(FindWindowA("wcPakMDIFrame", nullptr), nullptr);
  ShutDown();
  OleUninitialize();
}

TEST(StartupTest, SingleInstanceNameIsClaimedOnce) {
  ASSERT_TRUE(ClaimSingleInstance());
  HANDLE first = g_instanceMutex;
  EXPECT_FALSE(ClaimSingleInstance());
  EXPECT_EQ(g_instanceMutex, first);
  ReleaseMutex(first);
  CloseHandle(first);
  g_instanceMutex = nullptr;
}

using HandOffTest = FrameTest;

TEST_F(HandOffTest, QuotedPathReachesTheRunningFrameWhichComesBack) {
  std::string archive = TestDirectory("Program Data") + "\\Some Maps.PAK";
  ASSERT_TRUE(WriteSmallPak(archive));
  ShowWindow(frame_, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(frame_));
  std::string commandLine = "\"" + archive + "\"";
  EXPECT_EQ(HandOffToRunningInstance(&commandLine[0]), 1);
  // The frame took the path and posted the open to itself: the window comes with the next
  // messages it handles.
  PumpUntil([] { return !ArchiveWindows().empty(); });
  std::vector<HWND> windows = ArchiveWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(Title(windows[0]), Lower(archive));
  EXPECT_FALSE(IsIconic(frame_));
}

TEST_F(HandOffTest, EmptyCommandLineOnlyActivates) {
  ShowWindow(frame_, SW_MINIMIZE);
  char commandLine[] = "";
  EXPECT_EQ(HandOffToRunningInstance(commandLine), 1);
  EXPECT_TRUE(ArchiveWindows().empty());
  EXPECT_FALSE(IsIconic(frame_));
  char quotesOnly[] = "\"\"";
  EXPECT_EQ(HandOffToRunningInstance(quotesOnly), 1);
  EXPECT_TRUE(ArchiveWindows().empty());
}

TEST(StartupTest, HandOffGivesUpAfterFiftyTries) {
  char commandLine[] = "C:\\a.pak";
  DWORD start = GetTickCount();
  EXPECT_EQ(HandOffToRunningInstance(commandLine), 1);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 4500u);
  EXPECT_LT(elapsed, 15000u);
}

}  // namespace
