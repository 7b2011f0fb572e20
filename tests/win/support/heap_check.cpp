#include "tests/win/support/heap_check.h"

#include <windows.h>

#include <vector>

bool ProcessHeapsValid() {
  std::vector<HANDLE> heaps(64);
  DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) {
    heaps.resize(count);
    count = GetProcessHeaps(count, heaps.data());
  }
  bool valid = true;
  for (DWORD i = 0; i < count && i < heaps.size(); ++i)
    if (!HeapValidate(heaps[i], 0, nullptr)) valid = false;
  return valid;
}
