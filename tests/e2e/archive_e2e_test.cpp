// The real program showing archives made by other tools, as a user sees them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "tests/win/support/pane_reading.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
using Names = std::vector<std::string>;

using ArchiveProgramTest = ScreenshotOnFailureTest;

// Copies a committed fixture into a folder with blanks and capitals under the test tree.
std::string PlaceFixture(const std::string& fixture, const std::string& name) {
  std::string dir = std::string(VELLUMIX_E2E_DIR) + "\\Archive Tests";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string source = std::string(VELLUMIX_SOURCE_DIR) + "\\tests\\win\\fixtures\\" + fixture;
  std::string target = dir + "\\" + name;
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) return "";
  return target;
}

Names ListColumn(HWND list, int column) {
  Names texts;
  int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) texts.push_back(RemoteListText(list, i, column));
  return texts;
}

int ArchiveWindowCount(HWND mdiClient) {
  int count = 0;
  for (HWND child = GetWindow(mdiClient, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (std::string(name) == "wcPakMDIChild") ++count;
  }
  return count;
}

}  // namespace

TEST_F(ArchiveProgramTest, ShowsAZipGivenOnTheCommandLine) {
  std::string zip = PlaceFixture("views.zip", "Views Of Maps.ZIP");
  ASSERT_FALSE(zip.empty());
  ProgramProcess program;
  ASSERT_TRUE(program.Start("\"" + zip + "\""));
  HWND frame = program.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  HWND mdi = FindChild(frame, "MDIClient");
  ArchivePanes panes = WaitForArchivePanes(mdi, Lower(zip), kTimeoutMs);
  ASSERT_NE(panes.list, nullptr);

  EXPECT_EQ(RemoteTreeChildren(panes.tree, nullptr), Names{"/"});
  HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageA(panes.tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  EXPECT_EQ(RemoteTreeChildren(panes.tree, root), (Names{"maps", "sound"}));
  EXPECT_EQ(ListColumn(panes.list, 0),
            (Names{"maps", "sound", "a.bsp", "b", "big.dat", "empty.txt", "notes.txt", "readme", "z.bsp"}));
  Names sizes = ListColumn(panes.list, 1);
  ASSERT_EQ(sizes.size(), 9u);
  EXPECT_EQ(sizes[0], "");
  EXPECT_EQ(sizes[4], Grouped(1234567));
  EXPECT_EQ(sizes[5], "0");
  for (const std::string& type : ListColumn(panes.list, 2)) EXPECT_NE(type, "");
  // With the window active and nothing selected: Save on, Up off at the root, Cut off.
  HWND toolbar = FindChild(frame, "wcPakToolbar");
  EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONENABLED, 57603, 0));
  EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONENABLED, 40031, 0));
  EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONENABLED, 57635, 0));
  EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 40020, 0));
  // A look at the window in Details view, where the sizes and types show.
  SendMessageA(panes.window, WM_COMMAND, 40023, 0);
  EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 40023, 0));
  ShowWindow(panes.window, SW_MAXIMIZE);
  EXPECT_TRUE(WaitUntilPainted(frame, kTimeoutMs));
  EXPECT_TRUE(SaveScreenshot("archive-window"));
}

TEST_F(ArchiveProgramTest, ArchivesOfOtherToolsOpenOnceEach) {
  std::string zip = PlaceFixture("views.zip", "Views.zip");
  std::string pak = PlaceFixture("views.pak", "Views.PAK");
  std::string pk3 = PlaceFixture("nested.pk3", "Nested Folders.pk3");
  std::string bare = PlaceFixture("noextension", "NoExtension");
  ASSERT_FALSE(zip.empty() || pak.empty() || pk3.empty() || bare.empty());
  ProgramProcess first;
  ASSERT_TRUE(first.Start("\"" + zip + "\""));
  HWND frame = first.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  HWND mdi = FindChild(frame, "MDIClient");
  HWND zipWindow = WaitForChildTitled(mdi, Lower(zip), kTimeoutMs);
  ASSERT_NE(zipWindow, nullptr);

  for (const std::string& path : {pak, pk3, bare}) {
    ProgramProcess second;
    ASSERT_TRUE(second.Start("\"" + path + "\""));
    DWORD code = 0;
    ASSERT_TRUE(second.WaitForExit(kTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_NE(WaitForChildTitled(mdi, Lower(path), kTimeoutMs), nullptr) << path;
  }
  ArchivePanes nested = WaitForArchivePanes(mdi, Lower(pk3), kTimeoutMs);
  ASSERT_NE(nested.tree, nullptr);
  HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageA(nested.tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  EXPECT_EQ(RemoteTreeChildren(nested.tree, root), (Names{"env", "levelshots", "scripts", "textures"}));
  EXPECT_EQ(ArchiveWindowCount(mdi), 4);

  // The ZIP again, named in other letter case: its window comes forward, no new one.
  std::string upper = zip;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  ProgramProcess again;
  ASSERT_TRUE(again.Start("\"" + upper + "\""));
  DWORD code = 0;
  ASSERT_TRUE(again.WaitForExit(kTimeoutMs, &code));
  EXPECT_EQ(code, 1u);
  // The running program posted the open it was handed: once that has run, the window is
  // in front and nothing else is still to come.
  EXPECT_TRUE(WaitForPostedMessages(FindChild(frame, "wcPakToolbar"), kTimeoutMs));
  EXPECT_EQ(ArchiveWindowCount(mdi), 4);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(mdi, WM_MDIGETACTIVE, 0, 0)), zipWindow);
}

TEST_F(ArchiveProgramTest, ArchivesThatCannotBeShownSayWhyAndAreNotRemembered) {
  struct Case {
    const char* fixture;
    const char* name;
    const char* reason;  // what follows the archive's path on the second line
  };
  const Case cases[] = {
      // The central directory is damaged: the format check fails.
      {"damaged.pk3", "Damaged.pk3", ": the central directory is damaged at entry 1 of 11."},
      // The archive opens, but one name is stored both as a file and as a folder.
      {"both.zip", "Both.zip", ": \"Maps/Same.txt/\" is stored both as a file and as a folder."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Quillmoor");
    const std::string path = PlaceFixture(c.fixture, c.name);
    ASSERT_FALSE(path.empty());
    ProgramProcess program;
    ASSERT_TRUE(program.Start("\"" + path + "\""));
    HWND frame = program.WaitForFrame(kTimeoutMs);
    ASSERT_NE(frame, nullptr);
    HWND box = WaitForMessageBox(program.processId(), "Vellumix", kTimeoutMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Error reading PK3 file\n" + Lower(path) + c.reason);
    ASSERT_TRUE(AnswerMessageBox(box, IDOK, kTimeoutMs));
    // The program ends normally; the archive it could not show is not among its recent files.
    PostMessageA(frame, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(program.WaitForExit(kTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
    char recent[MAX_PATH] = {};
    DWORD size = sizeof recent;
    EXPECT_NE(SHGetValueA(HKEY_CURRENT_USER, "Software\\Quillmoor\\Vellumix\\Recent File List", "File1",
                          nullptr, recent, &size),
              static_cast<DWORD>(ERROR_SUCCESS))
        << recent;
  }
}

// With "Keep the case of names" set, an Info-ZIP archive's mixed-case names show as stored,
// and a path stored twice (once in capitals) shows both files, the second shadowed.
TEST_F(ArchiveProgramTest, KeptCaseShowsNamesAsStoredAndDuplicatesShadowed) {
  const DWORD keep = 1;
  ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, "Software\\Quillmoor\\Vellumix", "KeepCase", REG_DWORD, &keep,
                        sizeof keep),
            static_cast<DWORD>(ERROR_SUCCESS));
  const std::string nested = PlaceFixture("nested.pk3", "Nested.pk3");
  const std::string twice = PlaceFixture("twice.zip", "Twice.zip");
  ASSERT_FALSE(nested.empty() || twice.empty());
  ProgramProcess program;
  ASSERT_TRUE(program.Start("\"" + nested + "\""));
  HWND frame = program.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  HWND mdi = FindChild(frame, "MDIClient");
  // The title is the path as given.
  ArchivePanes panes = WaitForArchivePanes(mdi, nested, kTimeoutMs);
  ASSERT_NE(panes.list, nullptr);
  HTREEITEM root = reinterpret_cast<HTREEITEM>(SendMessageA(panes.tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  EXPECT_EQ(RemoteTreeChildren(panes.tree, root), (Names{"env", "levelshots", "scripts", "Textures"}));
  EXPECT_EQ(ListColumn(panes.list, 0), (Names{"env", "levelshots", "scripts", "Textures", "README.TXT"}));

  // A second start hands its path to the first and ends.
  ProgramProcess handover;
  ASSERT_TRUE(handover.Start("\"" + twice + "\""));
  ArchivePanes second = WaitForArchivePanes(mdi, twice, kTimeoutMs);
  ASSERT_NE(second.list, nullptr);
  HTREEITEM top = reinterpret_cast<HTREEITEM>(SendMessageA(second.tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  HTREEITEM maps = reinterpret_cast<HTREEITEM>(SendMessageA(second.tree, TVM_GETNEXTITEM, TVGN_CHILD,
                                                            reinterpret_cast<LPARAM>(top)));
  ASSERT_NE(maps, nullptr);
  SendMessageA(second.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(maps));
  // The list shows the folder once the window thread has run what the selection posted.
  ASSERT_TRUE(WaitForPostedMessages(FindChild(frame, "wcPakToolbar"), kTimeoutMs));
  ASSERT_EQ(SendMessageA(second.list, LVM_GETITEMCOUNT, 0, 0), 2);
  // Sorted by name, names alike but for case in byte order: the shadowed one comes first.
  EXPECT_EQ(ListColumn(second.list, 0), (Names{"Same.txt", "same.txt"}));
  const Names types = ListColumn(second.list, 2);
  ASSERT_EQ(types.size(), 2u);
  EXPECT_NE(types[0].find(" (shadowed)"), std::string::npos) << types[0];
  EXPECT_EQ(types[1].find("(shadowed)"), std::string::npos) << types[1];
  PostMessageA(frame, WM_CLOSE, 0, 0);
  DWORD code = 99;
  ASSERT_TRUE(program.WaitForExit(kTimeoutMs, &code));
}

TEST_F(ArchiveProgramTest, ViewAndRecentFilesOutliveTheProgram) {
  std::string zip = PlaceFixture("views.zip", "Remembered.zip");
  ASSERT_FALSE(zip.empty());
  {
    ProgramProcess program;
    ASSERT_TRUE(program.Start("\"" + zip + "\""));
    HWND frame = program.WaitForFrame(kTimeoutMs);
    ASSERT_NE(frame, nullptr);
    ArchivePanes panes = WaitForArchivePanes(FindChild(frame, "MDIClient"), Lower(zip), kTimeoutMs);
    ASSERT_NE(panes.list, nullptr);
    SendMessageA(panes.window, WM_COMMAND, 40023, 0);  // Details
    SendMessageA(panes.window, WM_COMMAND, 40026, 0);  // by Size
    PostMessageA(frame, WM_CLOSE, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(program.WaitForExit(kTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
  }
  // Written when the frame went: the view, the sort key and the recent file.
  unsigned char state[52] = {};
  DWORD size = sizeof state;
  ASSERT_EQ(SHGetValueA(HKEY_CURRENT_USER, "Software\\Quillmoor\\Vellumix", "State", nullptr, state, &size),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(size, 52u);
  EXPECT_EQ(state[16], 1);  // viewMode: Details
  EXPECT_EQ(state[20], 4);  // sortKey: by Size
  char recent[MAX_PATH] = {};
  size = sizeof recent;
  SHGetValueA(HKEY_CURRENT_USER, "Software\\Quillmoor\\Vellumix\\Recent File List", "File1", nullptr, recent, &size);
  EXPECT_EQ(std::string(recent), Lower(zip));

  // Read back at the next start: a new archive window opens in Details, sorted by size.
  ProgramProcess again;
  ASSERT_TRUE(again.Start("\"" + zip + "\""));
  HWND frame = again.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  ArchivePanes panes = WaitForArchivePanes(FindChild(frame, "MDIClient"), Lower(zip), kTimeoutMs);
  ASSERT_NE(panes.list, nullptr);
  EXPECT_EQ(GetWindowLongA(panes.list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  Names names = ListColumn(panes.list, 0);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "big.dat");
}

TEST_F(ArchiveProgramTest, CopiesACrashLeftBehindGoAtTheNextStartAndAtExit) {
  char temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string copies = std::string(temp) + "Vellumix\\";
  CreateDirectoryA(copies.c_str(), nullptr);
  const std::string elsewhere = std::string(VELLUMIX_E2E_DIR) + "\\noted elsewhere.txt";
  const auto plant = [](const std::string& path, bool noted) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) std::fclose(f);
    if (noted) {
      SHSetValueA(HKEY_CURRENT_USER, "Software\\Quillmoor\\Vellumix\\Temporary Files", path.c_str(), REG_SZ, "", 1);
    }
    return f != nullptr;
  };
  // The program's own copy, a file it never noted, and a noted file outside its folder.
  ASSERT_TRUE(plant(copies + "left by a crash.txt", true));
  ASSERT_TRUE(plant(copies + "somebody else's.txt", false));
  ASSERT_TRUE(plant(elsewhere, true));
  ProgramProcess program;
  ASSERT_TRUE(program.Start(""));
  HWND frame = program.WaitForFrame(kTimeoutMs);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(GetFileAttributesA((copies + "left by a crash.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((copies + "somebody else's.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(elsewhere.c_str()), INVALID_FILE_ATTRIBUTES);
  // A copy noted while the program runs (one a viewer still reads) goes when it ends.
  ASSERT_TRUE(plant(copies + "still viewed.txt", true));
  PostMessageA(frame, WM_CLOSE, 0, 0);
  DWORD code = 99;
  ASSERT_TRUE(program.WaitForExit(kTimeoutMs, &code));
  EXPECT_EQ(GetFileAttributesA((copies + "still viewed.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((copies + "somebody else's.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA((copies + "somebody else's.txt").c_str());
  DeleteFileA(elsewhere.c_str());
}
