// How long work of the archive core (a save, a check of every entry) shows its progress and
// hears that the user wants it stopped. The programs implement these with their progress
// dialog and progress line; tests by recording.
#pragma once

#include <cstdint>

// The progress of one piece of work.
class SaveProgress {
 public:
  virtual void ShowItem(const char* storedPath, uint32_t size) = 0;
  // Whether ShowItem shows anything: work that would make each name only to show it can
  // leave that out when it does not.
  virtual bool ShowsItems() const { return true; }
  virtual void Step() = 0;
  // True once the user asked to stop. The work asks between entries and then ends without
  // a message of its own; a save removes the file being written and leaves the document as
  // it was.
  virtual bool Cancelled() = 0;
  // Ends the display; the object is not used afterwards.
  virtual void Close() = 0;

 protected:
  ~SaveProgress() = default;
};

// What a save shows while it runs.
class SaveHost {
 public:
  // Lets the program repaint once before long work.
  virtual void Repaint() = 0;
  // Opens the progress display with the given number of steps; null when it cannot be shown.
  virtual SaveProgress* OpenProgress(uint32_t steps) = 0;

 protected:
  ~SaveHost() = default;
};
