#include "panes/core/list_order.h"

#include <cstring>


uint32_t EntryDisplaySize(const Node* node) { return node ? node->size() : 0; }

bool EntryHasSize(const Node* node) { return node && node->IsFile(); }

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int ByteOrder(const std::string& a, const std::string& b) { return Sign(CompareNames(a, b)); }

bool IsDirectoryBit(const Node* n) { return n->IsDirectory(); }

// Directories before files; 0 when both or neither are directories.
int DirectoryRule(const Node* a, const Node* b) {
  bool da = IsDirectoryBit(a), db = IsDirectoryBit(b);
  if (da && !db) return -1;
  if (db && !da) return 1;
  return 0;
}

int TypeOrder(const Node* a, const Node* b) {
  const size_t ea = a->name().rfind('.'), eb = b->name().rfind('.');
  if (ea != std::string::npos && eb != std::string::npos) {
    // Extensions alike but for case are one type.
    int byExtension = ByteOrder(LowerCased(a->name().substr(ea)), LowerCased(b->name().substr(eb)));
    return byExtension != 0 ? byExtension : ByteOrder(a->name(), b->name());
  }
  if (ea != std::string::npos) return 1;
  if (eb != std::string::npos) return -1;
  return ByteOrder(a->name(), b->name());
}

// The smaller value first; a file without one before every file with one.
int ValueOrder(const Node* a, const Node* b, const EntryValues* values) {
  if (values == nullptr) return 0;
  const auto ma = values->find(a), mb = values->find(b);
  const bool ka = ma != values->end(), kb = mb != values->end();
  if (ka != kb) return ka ? 1 : -1;
  if (!ka || ma->second == mb->second) return 0;
  return ma->second < mb->second ? -1 : 1;
}

}  // namespace

bool SortsByValue(uint32_t sortKey) {
  const uint32_t key = sortKey & 0xFF;
  return key == 0x08 || key == 0x10 || key == 0x20 || key == 0x40 || key == 0x80;
}

int CompareListEntries(const Node* first, const Node* second, uint32_t sortKey, const EntryValues* values) {
  const uint32_t key = sortKey & 0xFF;
  // Folders come before files in either direction; only the order within each is reversed.
  if (first && second && (key == 1 || key == 2 || key == 4 || SortsByValue(key))) {
    const int d = DirectoryRule(first, second);
    if (d != 0) return d;
  }
  const Node* a = first;
  const Node* b = second;
  if (sortKey & 0x100) {
    a = second;
    b = first;
  }
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  switch (key) {
    case 1: {
      int d = DirectoryRule(a, b);
      return d != 0 ? d : ByteOrder(a->name(), b->name());
    }
    case 2: {
      int d = DirectoryRule(a, b);
      return d != 0 ? d : TypeOrder(a, b);
    }
    case 4: {
      uint32_t sa = EntryDisplaySize(a), sb = EntryDisplaySize(b);
      if (sa != sb) return sa < sb ? -1 : 1;
      int d = DirectoryRule(a, b);
      return d != 0 ? d : ByteOrder(a->name(), b->name());
    }
    default: {
      if (!SortsByValue(key)) return 0;
      const int byValue = ValueOrder(a, b, values);
      if (byValue != 0) return byValue;
      int d = DirectoryRule(a, b);
      return d != 0 ? d : ByteOrder(a->name(), b->name());
    }
  }
}
