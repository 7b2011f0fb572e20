// Readers of the archive window's panes that work the same from inside the program's
// process and from another one: the Windows tests and the end-to-end tests share them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

// The children of a folder-tree item, in the tree's order (null: the top level). Only
// handles travel in these messages, so the tree may belong to another process.
inline std::vector<HTREEITEM> TreeChildItems(HWND tree, HTREEITEM parent) {
  std::vector<HTREEITEM> items;
  HTREEITEM child = reinterpret_cast<HTREEITEM>(
      parent ? SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent))
             : SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  for (; child; child = reinterpret_cast<HTREEITEM>(SendMessageA(
                    tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
    items.push_back(child);
  }
  return items;
}

// The locale's digit grouping of n, as the size column must show it.
inline std::string Grouped(long long n) {
  char separator[8] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof separator);
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}
