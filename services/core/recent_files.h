// The list of archives opened or saved most recently, and the submenu that shows it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The "Recent Files" submenu as the list needs it; the Windows layer implements it on a menu.
class RecentMenu {
 public:
  virtual int ItemCount() = 0;
  // Sets the item at position to an enabled string item with the given command and text.
  virtual void SetItem(int position, uint32_t command, const char* text) = 0;
  virtual void InsertItem(int position, uint32_t command, const char* text) = 0;

 protected:
  ~RecentMenu() = default;
};

constexpr uint32_t kRecentFileFirstCommand = 57616;
constexpr int kRecentFileMaxCapacity = 15;
constexpr int kRecentFileCapacity = 10;

class RecentFileList {
 public:
  RecentFileList() = default;
  RecentFileList(const RecentFileList&) = delete;
  RecentFileList& operator=(const RecentFileList&) = delete;

  // Attaches the submenu and sets the capacity (capped at 15), emptying the list.
  bool Create(RecentMenu* menu, int capacity);
  // Moves an existing equal path to the top, or adds a copy at the top dropping the oldest.
  void Add(const char* path);
  // The entry at index, or null; valid while the entry stays in the list.
  const char* At(int index) const;
  int capacity() const { return capacity_; }
  bool created() const { return created_; }

 private:
  void RebuildMenu();

  RecentMenu* menu_ = nullptr;
  int capacity_ = 0;
  bool created_ = false;
  // Newest first, at most capacity_. Each entry's text has a block of its own, so that the
  // pointer At gives stays with its entry while the list reorders.
  std::vector<std::unique_ptr<std::string>> entries_;
};

// The submenu label of entry k: "&1\t" .. "&9\t", "1&0\t", then "11\t" and so on.
void RecentFileLabel(int k, char* buffer, int size);
