// Helpers of the import, export and copy tests: files on disk, and a watcher that answers
// a whole series of modal dialogs of one caption.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "archive/document.h"

// What one answered dialog showed.
struct AnsweredDialog {
  std::vector<std::string> texts;  // every child control's text, in z-order
  std::string message;             // control 1005 of the replace dialog, 0xFFFF of a message box
  std::string existingSize;        // controls 1006 and 1007 of the replace dialog
  std::string incomingSize;
  RECT rect;
};

// Answers successive dialogs titled caption with the buttons given, in order; dialogs
// beyond the list are closed with IDCANCEL and counted as extra, so a test never hangs.
class DialogSeries {
 public:
  DialogSeries(std::string caption, std::vector<int> buttons);
  ~DialogSeries();
  DialogSeries(const DialogSeries&) = delete;
  DialogSeries& operator=(const DialogSeries&) = delete;

  // Stops watching (once the messages waiting on this thread have run, so that a dialog
  // posted on its way is answered too) and returns every dialog answered.
  std::vector<AnsweredDialog> Finish();
  int extra() const { return extra_; }

 private:
  void Run();
  std::string caption_;
  std::vector<int> buttons_;
  std::vector<AnsweredDialog> seen_;
  int extra_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The replace dialog's caption.
inline constexpr char kReplaceCaption[] = "Confirm File Replace";

bool WriteDiskFile(const std::string& path, const std::string& bytes);
// The file's bytes, or "<missing>".
std::string ReadDiskFile(const std::string& path);
bool DiskExists(const std::string& path);
// Removes a directory with everything below it, read-only files too.
void RemoveTree(const std::string& path);
// Every file and directory below dir as relative paths ("a\\b", directories end in "\\"), sorted.
std::vector<std::string> DiskListing(const std::string& dir);
// The last-write time of a disk file (zero when it cannot be read), and a file given one.
FILETIME WriteTimeOf(const std::string& path);
bool SetWriteTime(const std::string& path, const FILETIME& time);
// A moment of whole even seconds (at minute 4, second 6 of the hour), in UTC, as the system
// gives it.
FILETIME SystemTimeAt(WORD year, WORD month, WORD day, WORD hour);

// The bytes of a document's node at a stored path ("maps/a.bsp"), read through the entry data
// of the document, or "<missing>" / "<unreadable>".
std::string EntryText(const ArchiveDocument* doc, const std::string& storedPath);
// The node at a stored path, or null.
Node* NodeAt(const ArchiveDocument* doc, const std::string& storedPath);
// Whether node is a file whose bytes are held in memory (also an empty one), or one read
// from an entry of the document's source.
bool IsMemoryFile(const Node* node);
bool IsSourceFile(const Node* node);
// Turns the file at storedPath into a memory file holding "old", so that an incoming file of
// the same name differs from it and the replace question is asked.
void MakeFileDifferent(const ArchiveDocument* doc, const std::string& storedPath);

// Makes the Browse for Folder dialog select path (once its tree is filled) and confirms it;
// cancels the dialog when the selection cannot be made.
void ChooseFolderInBrowseDialog(HWND dialog, const std::string& path);
