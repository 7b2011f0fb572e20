#include "services/core/recent_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

RecentFileList::~RecentFileList() {
  if (!entries_) return;
  for (int i = 0; i < capacity_; ++i) std::free(entries_[i]);
  std::free(entries_);
}

bool RecentFileList::Create(RecentMenu* menu, int capacity) {
  if (capacity > kRecentFileMaxCapacity) capacity = kRecentFileMaxCapacity;
  if (capacity < 0) capacity = 0;
  char** entries = static_cast<char**>(std::calloc(capacity > 0 ? capacity : 1, sizeof(char*)));
  if (!entries) return false;
  this->~RecentFileList();
  entries_ = entries;
  capacity_ = capacity;
  menu_ = menu;
  return true;
}

const char* RecentFileList::At(int index) const {
  if (!entries_ || index < 0 || index >= capacity_) return nullptr;
  return entries_[index];
}

void RecentFileList::Add(const char* path) {
  if (!path || !*path || !entries_ || capacity_ == 0) return;
  int found = -1;
  for (int i = 0; i < capacity_ && entries_[i]; ++i) {
    if (std::strcmp(entries_[i], path) == 0) {
      found = i;
      break;
    }
  }
  if (found >= 0) {
    char* entry = entries_[found];
    std::memmove(entries_ + 1, entries_, found * sizeof(char*));
    entries_[0] = entry;
  } else {
    size_t length = std::strlen(path);
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) return;
    std::memcpy(copy, path, length + 1);
    std::free(entries_[capacity_ - 1]);
    std::memmove(entries_ + 1, entries_, (capacity_ - 1) * sizeof(char*));
    entries_[0] = copy;
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
  char text[300];
  char label[16];
  auto itemText = [&](int k) {
    RecentFileLabel(k, label, sizeof label);
    std::snprintf(text, sizeof text, "%s%s", label, entries_[k]);
    return text;
  };
  int count = menu_->ItemCount();
  // Existing items (at first the resource's placeholder) are rewritten in place; items
  // never go away, since entries only ever leave the list by dropping off its end.
  for (int k = 0; k < count && k < capacity_; ++k) {
    if (!entries_[k]) break;
    menu_->SetItem(k, kRecentFileFirstCommand + k, itemText(k));
  }
  for (int k = count; k < capacity_ && entries_[k]; ++k) {
    menu_->InsertItem(k, kRecentFileFirstCommand + k, itemText(k));
  }
}
