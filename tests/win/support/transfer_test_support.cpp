#include "tests/win/support/transfer_test_support.h"

#include "tests/core/node_lookup.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <variant>

#include "archive/entry_data.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/frame_test_support.h"

namespace {

void ListInto(const std::string& base, const std::string& relative, std::vector<std::string>* out) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((base + relative + "*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(relative + name + "\\");
      ListInto(base, relative + name + "\\", out);
    } else {
      out->push_back(relative + name);
    }
  } while (FindNextFileA(h, &found));
  FindClose(h);
}

}  // namespace

DialogSeries::DialogSeries(std::string caption, std::vector<int> buttons)
    : caption_(std::move(caption)), buttons_(std::move(buttons)) {
  thread_ = std::thread([this] { Run(); });
}

DialogSeries::~DialogSeries() { Finish(); }

std::vector<AnsweredDialog> DialogSeries::Finish() {
  if (thread_.joinable()) {
    // A dialog still on its way comes from a posted message: it shows, and is answered,
    // while the messages waiting here run.
    PumpPending();
    stop_ = true;
    thread_.join();
  }
  return seen_;
}

void DialogSeries::Run() {
  size_t next = 0;
  while (!stop_) {
    HWND dialog = FindOwnDialog(caption_.c_str());
    if (!dialog) {
      Sleep(15);
      continue;
    }
    AnsweredDialog a;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char text[1024] = {};
      GetWindowTextA(child, text, sizeof text);
      a.texts.push_back(text);
    }
    a.message = DialogItemText(dialog, GetDlgItem(dialog, 1005) ? 1005 : 0xFFFF);
    a.existingSize = DialogItemText(dialog, 1006);
    a.incomingSize = DialogItemText(dialog, 1007);
    GetWindowRect(dialog, &a.rect);
    int button = IDCANCEL;
    if (next < buttons_.size()) {
      button = buttons_[next++];
      seen_.push_back(a);
    } else {
      ++extra_;
    }
    PressDialogButton(dialog, button);
    for (int i = 0; i < 500 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(5);
  }
}

bool WriteDiskFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                              written == bytes.size());
  CloseHandle(h);
  return ok;
}

std::string ReadDiskFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  CloseHandle(h);
  return out;
}

bool DiskExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& path) {
  std::string dir = path;
  if (!dir.empty() && dir.back() != '\\') dir += "\\";
  std::vector<std::string> all;
  ListInto(dir, "", &all);
  std::sort(all.rbegin(), all.rend());  // children before their directories
  for (const std::string& p : all) {
    if (p.back() == '\\') {
      RemoveDirectoryA((dir + p).c_str());
    } else {
      SetFileAttributesA((dir + p).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA((dir + p).c_str());
    }
  }
  RemoveDirectoryA(dir.c_str());
}

std::vector<std::string> DiskListing(const std::string& dir) {
  std::vector<std::string> out;
  ListInto(dir.back() == '\\' ? dir : dir + "\\", "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

Node* NodeAt(const ArchiveDocument* doc, const std::string& storedPath) {
  return doc ? NodeAtPath(doc->root(), storedPath) : nullptr;
}

bool IsMemoryFile(const Node* node) {
  return node && node->IsFile() && std::holds_alternative<MemoryBytes>(node->data());
}

bool IsSourceFile(const Node* node) { return node && node->IsFile() && node->source(); }

void MakeFileDifferent(const ArchiveDocument* doc, const std::string& storedPath) {
  static const uint8_t kOld[] = {'o', 'l', 'd'};
  doc->tree->SetData(NodeAt(doc, storedPath), MemoryBytes{EntryBuffer::Copy(kOld, sizeof kOld)});
}

std::string EntryText(const ArchiveDocument* doc, const std::string& storedPath) {
  Node* node = NodeAt(doc, storedPath);
  if (!node) return "<missing>";
  SharedBytes bytes;
  if (LoadEntryBytes(doc, node, &bytes) != EntryLoad::Ok) return "<unreadable>";
  return bytes ? std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : std::string();
}

void ChooseFolderInBrowseDialog(HWND dialog, const std::string& path) {
  std::string folder = path;
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  const std::string last = folder.substr(folder.find_last_of('\\') + 1);
  HWND tree = nullptr;
  const DWORD shown = GetTickCount();
  while (!tree && GetTickCount() - shown < 30000) {
    tree = FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
    if (!tree || SendMessageA(tree, TVM_GETCOUNT, 0, 0) == 0) {
      tree = nullptr;
      Sleep(10);
    }
  }
  auto caretIsTheFolder = [&]() {
    char text[MAX_PATH] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = sizeof text;
    return item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
           lstrcmpiA(text, last.c_str()) == 0;
  };
  // The dialog may still be settling on its first selection (on a loaded machine, filling the
  // drives' branches takes seconds): ask again until it shows ours.
  const DWORD start = GetTickCount();
  while (tree && GetTickCount() - start < 30000) {
    SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    for (int i = 0; i < 50; ++i) {
      if (caretIsTheFolder()) {
        PressDialogButton(dialog, IDOK);
        return;
      }
      Sleep(10);
    }
  }
  // Never confirm another folder: the command would write there.
  PressDialogButton(dialog, IDCANCEL);
}

// The last-write time of a disk file, or zero.
FILETIME WriteTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
  return data.ftLastWriteTime;
}

// A moment of whole even seconds, in UTC, as the system gives it.
FILETIME SystemTimeAt(WORD year, WORD month, WORD day, WORD hour) {
  SYSTEMTIME at = {};
  at.wYear = year, at.wMonth = month, at.wDay = day, at.wHour = hour, at.wMinute = 4, at.wSecond = 6;
  FILETIME time = {};
  SystemTimeToFileTime(&at, &time);
  return time;
}

bool SetWriteTime(const std::string& path, const FILETIME& time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(file, nullptr, nullptr, &time) != 0;
  CloseHandle(file);
  return set;
}
