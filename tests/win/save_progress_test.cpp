// The "Saving..." dialog, the save messages and the user's number format, through
// real windows under the Windows API.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/save.h"
#include "services/core/archive_text.h"
#include "services/save_window.h"
#include "resources/save_progress_ids.h"
#include "services/number_format.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/pane_reading.h"

namespace {

class SaveProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    InitCommonControls();
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
  }
  void TearDown() override { DestroyWindow(owner_); }
  HWND owner_ = nullptr;
};

std::string Text(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string LocaleText(LCTYPE type) {
  char text[32] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text);
  return text;
}

TEST(NumberFormatTest, GroupingStrings) {
  const struct {
    const char* text;
    UINT grouping;
  } cases[] = {{"3;0", 3}, {"3;2;0", 32}, {"3", 30}, {"3;2", 320}, {"0;0", 0}, {"", 0}, {"4;0", 4}};
  for (const auto& c : cases) EXPECT_EQ(GroupingFromLocaleString(c.text), c.grouping) << c.text;
}

TEST(NumberFormatTest, CountsAreGroupedWithoutFractions) {
  if (LocaleText(LOCALE_SGROUPING) != "3;0") GTEST_SKIP() << "locale groups otherwise";
  const std::string thousand = LocaleText(LOCALE_STHOUSAND);
  for (unsigned long long value : {0ull, 7ull, 999ull, 1000ull, 65535ull, 1234567ull, 4294967295ull,
                                   12345678901234ull}) {
    char out[64];
    const int length = FormatUserNumber(value, out, sizeof out);
    EXPECT_EQ(std::string(out), Grouped(static_cast<long long>(value))) << value;
    EXPECT_EQ(length, static_cast<int>(std::string(out).size()));
  }
  char small[4];
  EXPECT_EQ(FormatUserNumber(1234567, small, sizeof small), 0);
}

TEST_F(SaveProgressTest, DialogShowsItemsAndSteps) {
  Win32SaveWindow window(owner_);
  SaveProgress* progress = window.OpenProgress(7);
  ASSERT_NE(progress, nullptr);
  HWND dialog = window.ProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(FindWindowA("#32770", "Saving..."), dialog);
  EXPECT_EQ(Text(dialog), "Saving...");
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
  const LONG style = GetWindowLongA(dialog, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_FALSE(style & WS_SYSMENU);

  // 200 by 68 dialog units in "MS Sans Serif" 8.
  RECT expected = {0, 0, 200, 68};
  MapDialogRect(dialog, &expected);
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, expected.right);
  EXPECT_EQ(client.bottom, expected.bottom);
  LOGFONTA font = {};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");

  HWND bar = GetDlgItem(dialog, IDC_SAVE_BAR);
  char className[64] = {};
  GetClassNameA(bar, className, sizeof className);
  EXPECT_STREQ(className, "msctls_progress32");
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 7);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
  for (int id : {IDC_SAVE_NAME, IDC_SAVE_SIZE}) {
    const LONG s = GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE);
    EXPECT_EQ(s & SS_TYPEMASK, SS_LEFTNOWORDWRAP) << id;
    EXPECT_TRUE(s & SS_NOPREFIX) << id;
  }
  // Name line above the size line above the bar.
  RECT name, size, barRect;
  GetWindowRect(GetDlgItem(dialog, IDC_SAVE_NAME), &name);
  GetWindowRect(GetDlgItem(dialog, IDC_SAVE_SIZE), &size);
  GetWindowRect(bar, &barRect);
  EXPECT_LT(name.top, size.top);
  EXPECT_LT(size.top, barRect.top);
  // Cancel under the bar, in the middle.
  RECT cancel;
  GetWindowRect(GetDlgItem(dialog, IDCANCEL), &cancel);
  EXPECT_EQ(DialogItemText(dialog, IDCANCEL), "Cancel");
  EXPECT_GT(cancel.top, barRect.bottom);
  EXPECT_LE(std::abs((cancel.left + cancel.right) - (barRect.left + barRect.right)), 2);

  const DWORD shownAt = GetTickCount();
  progress->ShowItem("maps/level1.bsp", 1234567);
  EXPECT_EQ(DialogItemText(dialog, IDC_SAVE_NAME), "maps/level1.bsp");
  if (LocaleText(LOCALE_SGROUPING) == "3;0") {
    EXPECT_EQ(DialogItemText(dialog, IDC_SAVE_SIZE), Grouped(1234567) + " bytes");
  }
  // Small items following at once are not shown: nobody could read them.
  progress->ShowItem("skipped.txt", 10);
  if (GetTickCount() - shownAt < 40) {
    EXPECT_EQ(DialogItemText(dialog, IDC_SAVE_NAME), "maps/level1.bsp");
  }
  progress->ShowItem("big.bin", 300000);
  EXPECT_EQ(DialogItemText(dialog, IDC_SAVE_NAME), "big.bin");
  // Once the lines may change again, a small item shows too.
  const DWORD bigShownAt = GetTickCount();
  do {
    progress->ShowItem("sound/a&b.wav", 0);
  } while (DialogItemText(dialog, IDC_SAVE_NAME) != "sound/a&b.wav" && GetTickCount() - bigShownAt < 5000 &&
           (Sleep(10), true));
  EXPECT_EQ(DialogItemText(dialog, IDC_SAVE_NAME), "sound/a&b.wav");
  EXPECT_EQ(DialogItemText(dialog, IDC_SAVE_SIZE), "0 bytes");
  for (int i = 1; i <= 7; ++i) {
    progress->Step();
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), i);
  }

  progress->Close();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(window.ProgressDialog(), nullptr);
}

TEST_F(SaveProgressTest, BarRangeHoldsLargeCounts) {
  HWND dialog = ProgressOpen(owner_, 65534);
  ASSERT_NE(dialog, nullptr);
  HWND bar = GetDlgItem(dialog, IDC_SAVE_BAR);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 65534);
  RECT client;
  GetClientRect(bar, &client);
  // The bar moves by whole pixels: it may trail by less than one pixel's worth of steps.
  const LRESULT slack = 65534 / client.right + 1;
  for (int i = 0; i < 40000; ++i) ProgressStep(dialog);
  EXPECT_LE(SendMessageA(bar, PBM_GETPOS, 0, 0), 40000);
  EXPECT_GE(SendMessageA(bar, PBM_GETPOS, 0, 0), 40000 - slack);
  for (int i = 40000; i < 65534; ++i) ProgressStep(dialog);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 65534);
  DestroyWindow(dialog);
}

TEST_F(SaveProgressTest, MessagesAreBoxesOwnedByTheWindow) {
  Win32SaveWindow window(owner_);
  HWND owner = owner_;
  bool ownedRight = false;
  bool stopIcon = false;
  DialogWatcher watcher("Save", IDOK, 10000, [&](HWND box) {
    ownedRight = GetWindow(box, GW_OWNER) == owner;
    // The box's icon control holds the system's stop icon.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
      if (icon && icon == LoadIconA(nullptr, IDI_HAND)) stopIcon = true;
    }
    PressDialogButton(box, IDOK);
  });
  window.ShowMessage("Error writing maps/level1.bsp", "Save", MessageIcon::Stop);
  const WatchedDialog seen = watcher.Wait();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, "Save");
  EXPECT_EQ(seen.message, "Error writing maps/level1.bsp");
  EXPECT_TRUE(ownedRight);
  EXPECT_TRUE(stopIcon);
}

// A document with one file held in memory.
struct MemoryDocument {
  MemoryDocument() {
    static const uint8_t kHello[] = {'h', 'e', 'l', 'l', 'o'};
    doc.tree = std::make_unique<ArchiveTree>();
    doc.tree->AddFile(doc.root(), "readme.txt", MemoryBytes{EntryBuffer::Copy(kHello, sizeof kHello)});
  }
  ArchiveDocument doc;
};

std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

TEST_F(SaveProgressTest, SaveShowsTheDialogAndClosesIt) {
  MemoryDocument doc;
  Win32SaveWindow window(owner_);
  const std::string path = TempPath("vellumix-save-progress.pak");
  std::unique_ptr<ArchiveSource> saved;
  WrittenEntries entries;
  EXPECT_FALSE(WriteArchiveFile(doc.doc, PakFormat(), path, SaveOptions{}, &window, &saved, &entries));
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(FindWindowA("#32770", "Saving..."), nullptr);
  EXPECT_EQ(window.ProgressDialog(), nullptr);
  saved.reset();
  DeleteFileA(path.c_str());
}

TEST_F(SaveProgressTest, FailedSaveShowsItsMessage) {
  MemoryDocument doc;
  Win32SaveWindow window(owner_);
  const std::string path = TempPath("no-such-directory\\out.pk3");
  DialogWatcher watcher("Save", IDOK);
  std::unique_ptr<ArchiveSource> saved;
  WrittenEntries entries;
  const Failure failure = WriteArchiveFile(doc.doc, DefaultFormat(), path, SaveOptions{}, &window, &saved, &entries);
  EXPECT_TRUE(failure);
  EXPECT_EQ(saved, nullptr);
  // The core words nothing: the window shows the save's message as the Save command does.
  window.ShowMessage(SaveFailureMessage(failure, path).c_str(), "Save", MessageIcon::Stop);
  const WatchedDialog seen = watcher.Wait();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.message, "Error opening " + path);
  EXPECT_EQ(FindWindowA("#32770", "Saving..."), nullptr);
  // The document still holds its bytes.
  const Node* file = doc.doc.root()->firstChild();
  ASSERT_NE(file, nullptr);
  ASSERT_NE(file->memory(), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file->memory()->data()), file->memory()->size()), "hello");
}

}  // namespace
