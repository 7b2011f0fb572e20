#include "services/core/recent_files.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

bool RecentFileList::Create(RecentMenu* menu, int capacity) {
  if (capacity > kRecentFileMaxCapacity) capacity = kRecentFileMaxCapacity;
  if (capacity < 0) capacity = 0;
  entries_.clear();
  entries_.reserve(static_cast<size_t>(capacity));
  capacity_ = capacity;
  menu_ = menu;
  created_ = true;
  return true;
}

const char* RecentFileList::At(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
  return entries_[static_cast<size_t>(index)]->c_str();
}

void RecentFileList::Add(const char* path) {
  if (!path || !*path || !created_ || capacity_ == 0) return;
  auto found = entries_.begin();
  while (found != entries_.end() && **found != path) ++found;
  if (found != entries_.end()) {
    std::rotate(entries_.begin(), found, found + 1);
  } else {
    if (entries_.size() == static_cast<size_t>(capacity_)) entries_.pop_back();
    entries_.insert(entries_.begin(), std::make_unique<std::string>(path));
  }
  RebuildMenu();
}

void RecentFileLabel(int k, char* buffer, int size) {
  if (k < 9) {
    std::snprintf(buffer, size, "&%d\t", k + 1);
  } else if (k == 9) {
    std::snprintf(buffer, size, "1&0\t");
  } else {
    std::snprintf(buffer, size, "%d\t", k + 1);
  }
}

void RecentFileList::RebuildMenu() {
  if (!menu_) return;
  std::string text;
  char label[16];
  // The whole path, however many bytes its UTF-8 takes.
  auto itemText = [&](int k) {
    RecentFileLabel(k, label, sizeof label);
    text = std::string(label) + *entries_[static_cast<size_t>(k)];
    return text.c_str();
  };
  int count = menu_->ItemCount();
  // Existing items (at first the resource's placeholder) are rewritten in place; items
  // never go away, since entries only ever leave the list by dropping off its end.
  const int filled = static_cast<int>(entries_.size());
  for (int k = 0; k < count && k < filled; ++k) menu_->SetItem(k, kRecentFileFirstCommand + k, itemText(k));
  for (int k = count; k < filled; ++k) {
    menu_->InsertItem(k, kRecentFileFirstCommand + k, itemText(k));
  }
}
