// Shared helpers of the core tests: fixture paths, scratch files, recording seams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ui.h"

// The text with its ASCII capitals lowered, as the program lowers the paths it opens.
// Header only: the Windows, end-to-end and fuzz tests use it too.
inline std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Path of a committed fixture under tests/core/fixtures.
std::string FixturePath(const std::string& name);

// A fresh, empty scratch directory for one test; removed with its contents at destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // Path of a file inside the directory (forward slashes).
  std::string Path(const std::string& name) const;
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageIcon icon;
};

// Records messages instead of showing them.
class RecordingMessages : public MessageSink {
 public:
  void ShowMessage(const char* text, const char* caption, MessageIcon icon) override {
    messages.push_back({text, caption, icon});
  }
  std::vector<RecordedMessage> messages;
};

// A folder tree that records its items; each item remembers its parent and text.
class RecordingFolderTree : public FolderTree {
 public:
  struct Item {
    TreeItem parent;
    std::string text;
    ArchiveEntry* entry;
  };
  TreeItem InsertRootItem(ArchiveEntry* root) override;
  TreeItem InsertFolderItem(TreeItem parent, ArchiveEntry* entry) override;
  TreeItem RootMarker() override { return &marker_; }
  // Fails every insertion after the given number of successful ones (for failure tests).
  int failAfter = -1;
  std::vector<Item*> items;  // in insertion order
  ~RecordingFolderTree();

 private:
  char marker_ = 0;
};
