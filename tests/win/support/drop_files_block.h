// A shell file list (CF_HDROP: a DROPFILES header and ANSI paths), as Explorer puts on the
// clipboard or in a drop. Header only: the benchmarks use it without the test framework.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

inline HGLOBAL MakeDropFiles(const std::vector<std::string>& paths) {
  size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& p : paths) size += p.size() + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!block) return nullptr;
  auto* files = static_cast<DROPFILES*>(GlobalLock(block));
  files->pFiles = sizeof(DROPFILES);
  char* at = reinterpret_cast<char*>(files) + sizeof(DROPFILES);
  for (const std::string& p : paths) {
    std::memcpy(at, p.c_str(), p.size() + 1);
    at += p.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}
