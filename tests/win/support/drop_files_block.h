// A shell file list (CF_HDROP: a DROPFILES header and the paths, ANSI or UTF-16), as Explorer
// puts on the clipboard or in a drop. Header only: the benchmarks use it without the test framework.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

// With wide, the paths (UTF-8) go as UTF-16, as the shell itself gives them (fWide set).
inline HGLOBAL MakeDropFiles(const std::vector<std::string>& paths, bool wide = false) {
  std::vector<std::wstring> widePaths;
  size_t size = sizeof(DROPFILES) + (wide ? 2 : 1);
  for (const std::string& p : paths) {
    if (wide) {
      const int n = MultiByteToWideChar(CP_UTF8, 0, p.data(), static_cast<int>(p.size()), nullptr, 0);
      std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
      if (n > 0) MultiByteToWideChar(CP_UTF8, 0, p.data(), static_cast<int>(p.size()), &w[0], n);
      size += (w.size() + 1) * sizeof(wchar_t);
      widePaths.push_back(std::move(w));
    } else {
      size += p.size() + 1;
    }
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!block) return nullptr;
  auto* files = static_cast<DROPFILES*>(GlobalLock(block));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = wide;
  char* at = reinterpret_cast<char*>(files) + sizeof(DROPFILES);
  for (size_t i = 0; i < paths.size(); ++i) {
    if (wide) {
      const size_t bytes = (widePaths[i].size() + 1) * sizeof(wchar_t);
      std::memcpy(at, widePaths[i].c_str(), bytes);
      at += bytes;
    } else {
      std::memcpy(at, paths[i].c_str(), paths[i].size() + 1);
      at += paths[i].size() + 1;
    }
  }
  GlobalUnlock(block);
  return block;
}
