// Work on an archive window's listed entries that runs off the window thread: the CRC-32
// of a file that stores none, and thumbnails. One worker thread a window takes the jobs in
// the order they are queued; the window thread queues them, takes the results when the
// list is told some are waiting, and shows them. The newest request wins: a new list of
// jobs of a kind replaces the waiting ones.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/entry_snapshot.h"
#include "archive/tree.h"

// Posted to the item list when results wait to be taken.
constexpr UINT WMU_LIST_WORK_DONE = WM_APP + 0x40;

enum class ListJobKind : uint8_t { Crc, Thumbnail };

struct ThumbnailPalettes;

struct ListJob {
  ListJobKind kind = ListJobKind::Crc;
  NodeId node = kNoNode;
  EntrySnapshot entry;
  std::string name;  // the stored path, which with the first bytes tells a picture's kind
  int side = 0;      // a thumbnail's cell, in pixels
  uint32_t background = 0;  // 0x00RRGGBB behind a thumbnail's transparent pixels
  // Where the game palettes of the Quake kinds are, shared by the jobs of one request.
  std::shared_ptr<ThumbnailPalettes> palettes;
};

struct ListResult {
  ListJobKind kind = ListJobKind::Crc;
  NodeId node = kNoNode;
  bool ok = false;
  uint32_t crc = 0;
  int side = 0;
  std::vector<uint32_t> pixels;  // side x side, 0x00RRGGBB, the top row first
};

// Does one job (on the worker thread); stops early when stop becomes true.
ListResult RunListJob(const ListJob& job, const std::atomic<bool>& stop);

class ListWork {
 public:
  explicit ListWork(HWND list) : list_(list) {}
  ~ListWork();
  ListWork(const ListWork&) = delete;
  ListWork& operator=(const ListWork&) = delete;

  // The waiting jobs of jobs' kind give way to these, run first to last.
  void Replace(ListJobKind kind, std::vector<ListJob> jobs);
  // Drops every waiting job; the one under way finishes, its result is still given.
  void Clear();
  std::vector<ListResult> Take();
  // Whether a job is waiting or under way.
  bool Busy();

 private:
  void Run();

  HWND list_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<ListJob> jobs_;
  std::vector<ListResult> results_;
  bool running_ = false;  // a job is under way
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
