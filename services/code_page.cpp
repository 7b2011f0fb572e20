#include "services/code_page.h"

#include <climits>

#include "services/core/path_length.h"

namespace {

// WC_ERR_INVALID_CHARS, which the headers give only to programs for Windows Vista and later:
// it is used only where the code page is UTF-8, which older systems never are.
constexpr DWORD kFailOnInvalidCharacters = 0x00000080;

// The ANSI code page of the system itself, which programs without the manifest's setting
// write in; the process's own is UTF-8.
UINT SystemAnsiCodePage() {
  UINT page = 0;
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(WCHAR)) == 0)
    return CP_ACP;
  return page == 0 ? CP_ACP : page;
}

bool WideFromCodePage(std::string_view narrow, UINT codePage, std::wstring* wide) {
  wide->clear();
  if (narrow.empty()) return true;
  if (narrow.size() > static_cast<size_t>(INT_MAX)) return false;
  const int size = static_cast<int>(narrow.size());
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), size, &(*wide)[0], n) != n) {
    wide->clear();
    return false;
  }
  return true;
}

}  // namespace

bool AnsiCodePageIsUtf8() { return GetACP() == CP_UTF8; }

bool WideFromNarrow(std::string_view narrow, std::wstring* wide) {
  return WideFromCodePage(narrow, CP_ACP, wide);
}

bool NarrowFromWide(const wchar_t* wide, size_t length, std::string* narrow) {
  narrow->clear();
  if (length == 0) return true;
  if (length > static_cast<size_t>(INT_MAX)) return false;
  const int size = static_cast<int>(length);
  // UTF-8 takes neither the best-fit flag nor the question whether a default was used:
  // with them the call fails.
  const bool utf8 = AnsiCodePageIsUtf8();
  const DWORD flags = utf8 ? kFailOnInvalidCharacters : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  BOOL* used = utf8 ? nullptr : &lossy;
  const int n = WideCharToMultiByte(CP_ACP, flags, wide, size, nullptr, 0, nullptr, used);
  if (n <= 0 || lossy) return false;
  narrow->resize(static_cast<size_t>(n));
  if (WideCharToMultiByte(CP_ACP, flags, wide, size, &(*narrow)[0], n, nullptr, used) != n || lossy) {
    narrow->clear();
    return false;
  }
  return true;
}

std::string NarrowInCodePage(const wchar_t* wide, size_t length, UINT codePage) {
  std::string narrow;
  if (length == 0 || length > static_cast<size_t>(INT_MAX)) return narrow;
  const int size = static_cast<int>(length);
  const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, size, nullptr, 0, "_", nullptr);
  if (n <= 0) return narrow;
  narrow.resize(static_cast<size_t>(n));
  if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, size, &narrow[0], n, "_", nullptr) != n) narrow.clear();
  return narrow;
}

bool NarrowFromForeign(std::string_view text, std::string* narrow) {
  if (!AnsiCodePageIsUtf8() || IsUtf8(text)) {
    narrow->assign(text.data(), text.size());
    return true;
  }
  std::wstring wide;
  if (!WideFromCodePage(text, SystemAnsiCodePage(), &wide)) return false;
  return NarrowFromWide(wide.data(), wide.size(), narrow);
}

bool PathOfShellItem(LPCITEMIDLIST item, std::string* path) {
  path->clear();
  // The narrow form writes into MAX_PATH bytes and cuts a longer UTF-8 path without a word.
  WCHAR wide[MAX_PATH] = {};
  if (!item || !SHGetPathFromIDListW(item, wide)) return false;
  return NarrowFromWide(wide, lstrlenW(wide), path) && !path->empty();
}

bool MakeTemporaryFileIn(const char* folder, const char* prefix, std::string* path) {
  path->clear();
  std::wstring wideFolder, widePrefix;
  if (!folder || !prefix || !WideFromNarrow(folder, &wideFolder) || !WideFromNarrow(prefix, &widePrefix)) return false;
  // The narrow form writes the new path into MAX_PATH bytes, which it cuts without a word.
  WCHAR made[MAX_PATH] = {};
  if (!GetTempFileNameW(wideFolder.c_str(), widePrefix.c_str(), 0, made)) return false;
  if (NarrowFromWide(made, lstrlenW(made), path)) return true;
  DeleteFileW(made);
  return false;
}
