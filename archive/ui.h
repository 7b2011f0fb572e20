// What the archive core needs from the user interface. The Windows layer
// implements these with message boxes, the "Saving..." dialog and the folder
// tree view; tests implement them by recording.
#pragma once

#include <cstdint>

#include "archive/tree.h"

enum class MessageIcon { Stop, Warning, Information };

// Shows messages in a box owned by the window the operation belongs to.
class MessageSink {
 public:
  virtual void ShowMessage(const char* text, const char* caption, MessageIcon icon) = 0;

 protected:
  ~MessageSink() = default;
};

// The "Saving..." progress dialog of one save.
class SaveProgress {
 public:
  virtual void ShowItem(const char* storedPath, uint32_t size) = 0;
  virtual void Step() = 0;
  // True once the user asked to stop the save. The writers ask between entries and
  // then abandon the save without a message of their own: the file being written is
  // removed and the document stays as it was.
  virtual bool Cancelled() = 0;
  // Destroys the dialog; the object is not used afterwards.
  virtual void Close() = 0;

 protected:
  ~SaveProgress() = default;
};

// The window a save runs for: it owns the messages and the progress dialog.
class SaveWindow : public MessageSink {
 public:
  // Lets the window repaint itself once before a long operation.
  virtual void Repaint() = 0;
  // Opens the progress dialog with the given number of steps; null when it cannot be shown.
  virtual SaveProgress* OpenProgress(uint32_t steps) = 0;

 protected:
  ~SaveWindow() = default;
};

// The folder tree pane of an archive window. Items carry their entry as parameter.
class FolderTree {
 public:
  // Inserts the top-level "/" item for the root entry; null on failure.
  virtual TreeItem InsertRootItem(ArchiveEntry* root) = 0;
  // Inserts a directory's item under parent, sorted by text; null on failure.
  virtual TreeItem InsertFolderItem(TreeItem parent, ArchiveEntry* entry) = 0;
  // The marker that stands for the top level of the tree (TVI_ROOT).
  virtual TreeItem RootMarker() = 0;

 protected:
  ~FolderTree() = default;
};
