// The preview pane's worker: one thread per pane reads and decodes the entry the pane is to
// show, off the window thread. The newest request wins: a new one stops the one under way,
// and a result is kept only while no newer request came. The result waits in a mailbox
// the window thread empties when told (the private message carries nothing), so a
// result never outlives the pane, whatever messages were still queued when it went.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/entry_snapshot.h"
#include "panes/entry_picture.h"
#include "pictures/picture.h"

// What the window thread knows of an entry and hands to the worker with its snapshot.
struct EntryFacts {
  uint32_t size = 0;
  bool inArchive = false;  // stored in the archive file, rather than in memory (not yet saved)
  uint32_t storedSize = 0;
  bool deflated = false;
  bool hasCrc = false;
  uint32_t crc = 0;
  std::string modified;    // in the user's format; empty when nothing says
  std::string storedPath;
};

struct PreviewRequest {
  uint64_t sequence = 0;
  std::string title;        // the name shown above the preview
  std::string folderText;   // a folder's counts: shown as they are, nothing is read
  bool isFolder = false;
  EntrySnapshot entry;
  EntryFacts facts;
  PaletteSource palette;
};

enum class PreviewKind : uint8_t { Folder, Text, Picture, Sound, Bytes, Failure };

struct PreviewResult {
  uint64_t sequence = 0;
  PreviewKind kind = PreviewKind::Folder;
  std::string title;
  std::string note;     // the line above or under the view: a caption, a sound's facts, a failure
  std::string text;     // the edit's lines: a text, a hex dump, a folder's counts
  Picture picture;
  SharedBytes wave;     // a WAV that Play can queue
  std::string details;  // size, stored size, method, saving, CRC-32, modified, path
};

// Builds the result of a request: reads the entry through its snapshot and decodes it.
// Any thread; returns early (with a result nobody uses) once stop becomes true.
std::unique_ptr<PreviewResult> ComposePreview(const PreviewRequest& request, const std::atomic<bool>* stop,
                                              struct PaletteCache* palettes);

// The palettes a pane found, by where they came from, so that walking a folder of textures
// reads each once.
struct PaletteCache {
  struct Entry {
    std::string key;
    bool found;
    GamePalette palette;
  };
  std::vector<Entry> entries;
};

class PreviewWorker {
 public:
  // A result is announced to target with message, posted; TakeResult then has it.
  PreviewWorker(HWND target, UINT message);
  ~PreviewWorker();  // stops and joins the thread
  PreviewWorker(const PreviewWorker&) = delete;
  PreviewWorker& operator=(const PreviewWorker&) = delete;

  bool Started() const { return started_; }
  // Queues the request (its sequence is set here), replacing any not begun and stopping the
  // one under way. Returns the sequence.
  uint64_t Submit(PreviewRequest request);
  // The result of the newest request when it is ready, else null.
  std::unique_ptr<PreviewResult> TakeResult();
  uint64_t Newest() const { return newest_; }

 private:
  void Run();

  HWND target_;
  UINT message_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::unique_ptr<PreviewRequest> pending_;
  std::unique_ptr<PreviewResult> ready_;
  std::atomic<bool> stop_{false};
  bool quit_ = false;
  uint64_t newest_ = 0;
  bool started_ = false;
  PaletteCache palettes_;
  std::thread thread_;
};
