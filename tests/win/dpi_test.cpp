// The frame and an archive window at 96, 144 and 192 DPI, and following a change of DPI.
//
// Wine takes the DPI from the registry (LogPixels under HKCU\Control Panel\Desktop, else
// under the hardware profile's Software\Fonts key) when a process starts: each DPI is
// measured by a second process of this program started with the value set, which is put back
// as it was afterwards. A change of DPI while the program runs (a window moved to another
// screen) is played by sending the frame the WM_DPICHANGED that Windows would send.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "app/frame.h"
#include "resources/command_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/settings.h"
#include "services/splitter.h"
#include "tests/win/support/archive_window_support.h"
#include "tests/win/support/screenshot.h"

namespace {

using Sizes = std::map<std::string, int>;

int IconSize(HIMAGELIST list) {
  int cx = 0, cy = 0;
  return list && ImageList_GetIconSize(list, &cx, &cy) ? cx : 0;
}

int FontHeight(HWND window) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  LOGFONTA description = {};
  if (!font || !GetObjectA(font, sizeof description, &description)) return 0;
  return std::abs(description.lfHeight);
}

// The sizes a user sees that the program chose: each is expected to grow in proportion to
// the DPI, within a pixel or two of rounding.
Sizes MeasureSizes(const WindowDocument* doc) {
  Sizes sizes;
  const LRESULT button = SendMessageA(g_toolbar, TB_GETBUTTONSIZE, 0, 0);
  sizes["toolbar button width"] = LOWORD(button);
  sizes["toolbar button height"] = HIWORD(button);
  sizes["toolbar image"] = IconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(g_toolbar, TB_GETIMAGELIST, 0, 0)));
  sizes["toolbar height"] = ToolbarHeight();
  sizes["tree item height"] = static_cast<int>(SendMessageA(doc->folderTree, TVM_GETITEMHEIGHT, 0, 0));
  sizes["tree indent"] = static_cast<int>(SendMessageA(doc->folderTree, TVM_GETINDENT, 0, 0));
  sizes["tree image"] = IconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(doc->folderTree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0)));
  sizes["tree font"] = FontHeight(doc->folderTree);
  sizes["splitter bar"] = SplitterBarWidth(doc->splitter);
  sizes["splitter position"] = GetSplitterPosition(doc->splitter);
  sizes["list small icon"] = IconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(doc->itemList, LVM_GETIMAGELIST, LVSIL_SMALL, 0)));
  sizes["list large icon"] = IconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(doc->itemList, LVM_GETIMAGELIST, LVSIL_NORMAL, 0)));
  sizes["list font"] = FontHeight(doc->itemList);
  for (int column = 0; column < 4; ++column)
    sizes["list column " + std::to_string(column)] = static_cast<int>(SendMessageA(doc->itemList, LVM_GETCOLUMNWIDTH, column, 0));
  return sizes;
}

// Every size of at is that of base scaled from one DPI to the other, within two pixels.
void ExpectScaled(const Sizes& base, UINT baseDpi, const Sizes& at, UINT dpi) {
  ASSERT_EQ(base.size(), at.size());
  for (const auto& size : base) {
    const auto found = at.find(size.first);
    ASSERT_NE(found, at.end()) << size.first;
    EXPECT_GT(size.second, 0) << size.first;
    const int expected = MulDiv(size.second, static_cast<int>(dpi), static_cast<int>(baseDpi));
    EXPECT_LE(std::abs(found->second - expected), 2)
        << size.first << " at " << dpi << " DPI: " << found->second << ", " << size.second << " at " << baseDpi;
  }
}

// Every item of the list has its icon in both of the list's image lists.
void ExpectIconsCovered(const WindowDocument* doc) {
  const int count = static_cast<int>(SendMessageA(doc->itemList, LVM_GETITEMCOUNT, 0, 0));
  ASSERT_GT(count, 0);
  for (int kind : {LVSIL_SMALL, LVSIL_NORMAL}) {
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(doc->itemList, LVM_GETIMAGELIST, kind, 0));
    for (int i = 0; i < count; ++i) {
      LVITEMA item = {};
      item.mask = LVIF_IMAGE;
      item.iItem = i;
      ASSERT_TRUE(SendMessageA(doc->itemList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
      EXPECT_LT(item.iImage, ImageList_GetImageCount(images)) << "item " << i << " list " << kind;
    }
  }
}

constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kLogPixels[] = "LogPixels";

// The user's DPI in the registry, set while this lives and put back as it was (a value, or
// none) when it goes.
class LogPixelsSetting {
 public:
  explicit LogPixelsSetting(DWORD dpi) {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    DWORD size = sizeof previous_, type = 0;
    had_ = RegQueryValueExA(key_, kLogPixels, nullptr, &type, reinterpret_cast<BYTE*>(&previous_), &size) ==
               ERROR_SUCCESS && type == REG_DWORD;
    set_ = RegSetValueExA(key_, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
           ERROR_SUCCESS;
  }
  ~LogPixelsSetting() {
    if (!key_) return;
    if (had_)
      RegSetValueExA(key_, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_), sizeof previous_);
    else
      RegDeleteValueA(key_, kLogPixels);
    RegCloseKey(key_);
  }
  LogPixelsSetting(const LogPixelsSetting&) = delete;
  LogPixelsSetting& operator=(const LogPixelsSetting&) = delete;
  bool set() const { return set_; }

 private:
  HKEY key_ = nullptr;
  DWORD previous_ = 0;
  bool had_ = false;
  bool set_ = false;
};

// The user's DPI in the registry as a text: its value, or "none".
std::string StoredLogPixels() {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS)
    return "none";
  return type == REG_DWORD ? std::to_string(value) : "not a number";
}

std::string Environment(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? value : "";
}

// ---- One DPI, measured by a second process started at it ----

using DpiChildProcess = ViewsWindowTest;

// Run only as the second process of the test below: the program's frame and an archive
// window at the DPI the process started with, their sizes written to the report the parent
// names, and screenshots of the frame.
TEST_F(DpiChildProcess, DISABLED_MeasureAtTheStartingDpi) {
  const std::string report = Environment("VELLUMIX_DPI_REPORT");
  if (report.empty()) GTEST_SKIP();
  const UINT expected = static_cast<UINT>(std::atoi(Environment("VELLUMIX_DPI_EXPECTED").c_str()));
  EXPECT_EQ(WindowDpi(frame_), expected) << "the process did not start at the DPI the registry gives";
  EXPECT_EQ(doc_->dpi, expected);
  SendCommand(window_, ID_VIEW_DETAILS);
  ShowWindow(window_, SW_MAXIMIZE);
  ExpectIconsCovered(doc_);
  Sizes sizes = MeasureSizes(doc_);
  std::ofstream out(report, std::ios::binary);
  for (const auto& size : sizes) out << size.first << "\t" << size.second << "\n";
  out.close();
  ASSERT_TRUE(out.good());

  const std::string name = "dpi-" + std::to_string(expected);
  SetForegroundWindow(frame_);
  RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  WaitUntilDrawn(frame_);
  EXPECT_TRUE(SaveWindowScreenshotTo(frame_, VELLUMIX_SCREENSHOT_DIR, name + "-details"));
  if (expected == 2 * kBaseDpi) {
    SendCommand(window_, ID_VIEW_LARGE_ICONS);
    RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    WaitUntilDrawn(frame_);
    EXPECT_TRUE(SaveWindowScreenshotTo(frame_, VELLUMIX_SCREENSHOT_DIR, name + "-large-icons"));
  }
}

Sizes ReadSizes(const std::string& path) {
  Sizes sizes;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) sizes[line.substr(0, tab)] = std::atoi(line.c_str() + tab + 1);
  }
  return sizes;
}

class DpiTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& file : files_) DeleteFileA(file.c_str());
  }
  // The sizes a second process measured at dpi; none when it failed.
  Sizes MeasureAt(UINT dpi) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string report = std::string(temp) + "vellumix-dpi-" + std::to_string(dpi) + ".txt";
    files_.push_back(report);
    DeleteFileA(report.c_str());
    LogPixelsSetting setting(dpi);
    EXPECT_TRUE(setting.set());
    // Well within the test's own time limit, so that the setting is always put back.
    const long code = RunTestProcess("DpiChildProcess.*",
                                     {{"VELLUMIX_DPI_REPORT", report}, {"VELLUMIX_DPI_EXPECTED", std::to_string(dpi)}},
                                     30000);
    EXPECT_EQ(code, 0) << "the process at " << dpi << " DPI failed";
    return ReadSizes(report);
  }
  std::vector<std::string> files_;
};

TEST_F(DpiTest, TheFrameAndTheArchiveWindowGrowWithTheDpi) {
  const std::string stored = StoredLogPixels();
  const Sizes at96 = MeasureAt(96);
  ASSERT_FALSE(at96.empty());
  EXPECT_EQ(at96.at("splitter bar"), kSplitterBarWidthAt96);
  EXPECT_EQ(at96.at("toolbar image"), 16);
  std::map<std::string, std::string> table;
  for (const auto& size : at96) table[size.first] = std::to_string(size.second);
  for (UINT dpi : {144u, 192u}) {
    SCOPED_TRACE(dpi);
    const Sizes at = MeasureAt(dpi);
    ASSERT_FALSE(at.empty());
    ExpectScaled(at96, 96, at, dpi);
    for (const auto& size : at) table[size.first] += " " + std::to_string(size.second);
  }
  EXPECT_EQ(StoredLogPixels(), stored) << "the registry's DPI was not put back";
  // For the log: each size at 96, 144 and 192 DPI.
  for (const auto& row : table) std::printf("%-22s %s\n", row.first.c_str(), row.second.c_str());
}

// ---- A change of DPI while the program runs ----

class DpiChangeTest : public ViewsWindowTest {
 protected:
  // Tells the frame what Windows tells it when it comes onto a screen of dpi.
  void ChangeDpi(UINT dpi, const RECT& suggested) {
    SendMessageA(frame_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    PumpPending();
  }
};

TEST_F(DpiChangeTest, TheWindowsFollowTheFrameToAScreenOfAnotherDpi) {
  SendCommand(window_, ID_VIEW_DETAILS);
  // Small enough that twice the size still fits the screen, which no window may outgrow.
  SetWindowPos(frame_, nullptr, 10, 10, 560, 420, SWP_NOZORDER);
  MoveWindow(window_, 8, 6, 300, 200, TRUE);
  PumpPending();
  const UINT dpi = WindowDpi(frame_);
  const UINT twice = 2 * dpi;
  const Sizes before = MeasureSizes(doc_);
  const WindowState kept = g_settings.windowState;
  RECT frameRect, childRect = ChildRect(window_);
  GetWindowRect(frame_, &frameRect);
  const RECT larger = {frameRect.left, frameRect.top, frameRect.left + 2 * (frameRect.right - frameRect.left),
                       frameRect.top + 2 * (frameRect.bottom - frameRect.top)};

  ChangeDpi(twice, larger);
  EXPECT_EQ(WindowDpi(doc_->itemList), twice);
  EXPECT_EQ(doc_->dpi, twice);
  RECT now;
  GetWindowRect(frame_, &now);
  EXPECT_TRUE(EqualRect(&now, &larger)) << "the frame did not take the suggested rectangle";
  // The archive window keeps its place and size on the new scale.
  const RECT moved = ChildRect(window_);
  EXPECT_EQ(moved.left, 2 * childRect.left);
  EXPECT_EQ(moved.right - moved.left, 2 * (childRect.right - childRect.left));
  ExpectScaled(before, dpi, MeasureSizes(doc_), twice);
  ExpectIconsCovered(doc_);
  RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  WaitUntilDrawn(frame_);
  EXPECT_TRUE(SaveWindowScreenshotTo(frame_, VELLUMIX_SCREENSHOT_DIR, "dpi-changed-to-" + std::to_string(twice)));
  // What new windows get is kept in 96-DPI terms: the same as before the change.
  EXPECT_EQ(g_settings.windowState.nameColumnWidth, kept.nameColumnWidth);
  EXPECT_EQ(g_settings.windowState.sizeColumnWidth, kept.sizeColumnWidth);
  EXPECT_EQ(g_settings.windowState.typeColumnWidth, kept.typeColumnWidth);
  EXPECT_EQ(g_settings.windowState.modifiedColumnWidth, kept.modifiedColumnWidth);
  EXPECT_EQ(g_settings.windowState.folderPaneWidth, kept.folderPaneWidth);
  EXPECT_EQ(g_settings.windowState.childWidth, kept.childWidth);

  // A window opened now is made at the new DPI.
  HWND later = nullptr;
  WindowDocument* laterDoc = OpenDoc("", &later);
  ASSERT_NE(laterDoc, nullptr);
  EXPECT_EQ(laterDoc->dpi, twice);
  EXPECT_EQ(SplitterBarWidth(laterDoc->splitter), ScaleToDpi(kSplitterBarWidthAt96, twice));
  EXPECT_EQ(GetSplitterPosition(laterDoc->splitter), before.at("splitter position") * 2);
  EXPECT_EQ(IconSize(reinterpret_cast<HIMAGELIST>(SendMessageA(laterDoc->itemList, LVM_GETIMAGELIST, LVSIL_SMALL, 0))),
            before.at("list small icon") * 2);

  // And back: every size is what it was.
  ChangeDpi(dpi, frameRect);
  EXPECT_EQ(doc_->dpi, dpi);
  EXPECT_EQ(laterDoc->dpi, dpi);
  const Sizes after = MeasureSizes(doc_);
  for (const auto& size : before) EXPECT_LE(std::abs(after.at(size.first) - size.second), 1) << size.first;
  const RECT back = ChildRect(window_);
  EXPECT_TRUE(EqualRect(&back, &childRect));
}

// A notice of a DPI the windows already have changes nothing: Windows sends the archive
// windows one of their own after the frame's.
TEST_F(DpiChangeTest, ASecondNoticeOfTheSameChangeIsNothing) {
  const UINT dpi = WindowDpi(frame_);
  RECT frameRect;
  GetWindowRect(frame_, &frameRect);
  ChangeDpi(dpi * 3 / 2, frameRect);
  const Sizes once = MeasureSizes(doc_);
  const RECT placed = ChildRect(window_);
  SendMessageA(window_, WM_DPICHANGED_AFTERPARENT, 0, 0);
  SendMessageA(doc_->splitter, WM_DPICHANGED_AFTERPARENT, 0, 0);
  PumpPending();
  EXPECT_EQ(MeasureSizes(doc_), once);
  const RECT still = ChildRect(window_);
  EXPECT_TRUE(EqualRect(&still, &placed));
  ChangeDpi(dpi, frameRect);
}

}  // namespace
