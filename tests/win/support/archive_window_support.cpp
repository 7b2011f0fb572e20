#include "tests/win/support/archive_window_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "archive/crc32.h"
#include "archive/deflate.h"
#include "services/file_types.h"
#include "services/globals.h"
#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/messages.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/transfer_test_support.h"

void ArchiveWindowTest::SetUp() {
  FrameTest::SetUp();
  ASSERT_TRUE(BuildFileTypes());
  ASSERT_TRUE(CreateFolderImageList(g_instance));
}

void ArchiveWindowTest::TearDown() {
  FrameTest::TearDown();
  ReleaseFileTypes();
  if (tempDir_.empty()) return;
  // A file dialog makes the folder it showed the current one, and that cannot be removed.
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  SetCurrentDirectoryA(base);
  RemoveTree(tempDir_);
}

HWND ArchiveWindowTest::Open(const std::string& path) {
  std::vector<char> buffer(path.begin(), path.end());
  buffer.push_back('\0');
  HWND window = reinterpret_cast<HWND>(
      SendMessageA(frame_, WMU_OPEN_ARCHIVE, 0, reinterpret_cast<LPARAM>(buffer.data())));
  PumpPending();
  return window;
}

HWND ArchiveWindowTest::OpenNew() {
  HWND window = reinterpret_cast<HWND>(SendMessageA(frame_, WMU_OPEN_ARCHIVE, 0, 0));
  PumpPending();
  return window;
}

WindowDocument* ArchiveWindowTest::OpenDoc(const std::string& path, HWND* window) {
  *window = path.empty() ? OpenNew() : Open(path);
  return *window ? DocumentOf(*window) : nullptr;
}

HWND ArchiveWindowTest::OpenCopy(const std::string& fixture, const std::string& path) {
  return CopyFixture(fixture, path) ? Open(path) : nullptr;
}

const std::string& ArchiveWindowTest::TempDir() {
  if (tempDir_.empty()) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    char dir[MAX_PATH];
    std::snprintf(dir, sizeof dir, "%svellumix-wintest-%lu-%lu\\", base, GetCurrentProcessId(),
                  GetTickCount());
    CreateDirectoryA(dir, nullptr);
    tempDir_ = dir;
  }
  return tempDir_;
}

void ViewsWindowTest::SetUp() {
  ArchiveWindowTest::SetUp();
  if (HasFatalFailure()) return;
  window_ = Open(WinFixture("views.zip"));
  ASSERT_NE(window_, nullptr);
  doc_ = DocumentOf(window_);
  ASSERT_NE(doc_, nullptr);
  root_ = TreeView_GetRoot(doc_->folderTree);
}

void ViewsWindowTest::FocusPane(HWND pane) {
  SetForegroundWindow(frame_);
  SetFocus(pane);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == pane; }));
}

int ViewsWindowTest::ListIndexOf(const std::string& name) {
  const std::vector<std::string> names = ListNames(doc_->itemList);
  auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

const std::vector<std::string> kViewsRootListed = {"maps",      "sound",     "a.bsp",  "b",    "big.dat",
                                                   "empty.txt", "notes.txt", "readme", "z.bsp"};

void SendCommand(HWND window, int command) {
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  PumpPending();
}

std::string WinFixture(const std::string& name) {
  std::string path = std::string(VELLUMIX_SOURCE_DIR) + "/tests/win/fixtures/" + name;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool CopyFixture(const std::string& name, const std::string& target) {
  return CopyFileA(WinFixture(name).c_str(), target.c_str(), FALSE) != 0;
}

std::string ListText(HWND list, int index, int column) {
  char text[1024] = {};
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::vector<std::string> ListNames(HWND list) {
  std::vector<std::string> names;
  int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) names.push_back(ListText(list, i, 0));
  return names;
}

std::vector<std::string> SelectedListNames(HWND list) {
  std::vector<std::string> names;
  for (int i = -1; (i = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0;)
    names.push_back(ListText(list, i, 0));
  return names;
}

std::string TreeText(HWND tree, HTREEITEM item) {
  char text[512] = {};
  TVITEMA tv = {};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = sizeof text;
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
  return text;
}

std::vector<std::string> TreeChildren(HWND tree, HTREEITEM parent) {
  std::vector<std::string> names;
  for (HTREEITEM child : TreeChildItems(tree, parent)) names.push_back(TreeText(tree, child));
  return names;
}

HTREEITEM TreeChildNamed(HWND tree, HTREEITEM parent, const std::string& name) {
  for (HTREEITEM child : TreeChildItems(tree, parent))
    if (TreeText(tree, child) == name) return child;
  return nullptr;
}

sample::ZipEntry StoredZipEntry(const std::string& name, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  const uint32_t crc = Crc32(bytes.data(), bytes.size());
  return {name, 0, bytes, crc, static_cast<uint32_t>(bytes.size())};
}

sample::ZipEntry DeflatedZipEntry(const std::string& name, const std::vector<uint8_t>& plain) {
  std::vector<uint8_t> packed(plain.size() + plain.size() / 100 + 1024);
  uint32_t packedSize = static_cast<uint32_t>(packed.size());
  EXPECT_EQ(DeflateBuffer(packed.data(), &packedSize, plain.data(), static_cast<uint32_t>(plain.size()), 6), 1);
  packed.resize(packedSize);
  return {name, 8, packed, Crc32(plain.data(), plain.size()), static_cast<uint32_t>(plain.size())};
}

std::vector<std::pair<std::string, std::string>> PropertiesRows(HWND window, const std::string& caption) {
  std::vector<std::pair<std::string, std::string>> rows;
  DialogWatcher watcher(caption, IDOK, 10000, [&rows](HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_PROPERTIES_LIST);
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) rows.emplace_back(ListText(list, i, 0), ListText(list, i, 1));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  SendCommand(window, ID_OBJECT_PROPERTIES);
  EXPECT_TRUE(watcher.Wait().found) << caption;
  return rows;
}
