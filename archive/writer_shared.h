// What the PAK and PK3 writers share: the working copy a save writes from, the walk of its
// tree with the stored path built on the way down, and the end of a save.
#pragma once

#include <cstddef>
#include <cstdio>

#include "archive/archive_output.h"
#include "archive/document.h"
#include "archive/save_pipeline.h"
#include "archive/save_message.h"
#include "archive/tree.h"
#include "archive/ui.h"

// The root and directories: the entries whose children are walked.
bool IsContainer(const ArchiveEntry* e);

// Appends name (and "/" for a directory prefix) to path, which holds length characters;
// false, path unchanged, when the result and its NUL would not fit capacity bytes.
bool AppendPath(char* path, size_t& length, size_t capacity, const char* name, bool slash);
// Shortens path to newLength characters.
void CutPath(char* path, size_t& length, size_t newLength);
// Takes a directory's "name/" off the end of path.
void CutDirectoryName(char* path, size_t& length, const ArchiveEntry* directory);

// Re-points a working copy's file entry at what was written for it, an entry of kind
// (PakFile or Pk3File); the fields of its former kind are cleared so that nothing in it
// points at bytes it no longer owns.
void PointAtWritten(ArchiveEntry* e, EntryKind kind, PakDirEntry* slot, Pk3CentralRecord* record);

// Ends a save whose working copy was handed over: the document's file entries read from
// the new archive from now on. The copy is freed.
void CommitSave(ArchiveDocument* doc, ArchiveNode* copy);
// Drops a handed-over working copy: the document keeps reading from its old source.
void AbandonSave(ArchiveNode* copy);

// Copies the entries of a saved working copy over the document's file entries, walking
// both trees in step; a MemoryFile's own buffer is freed first. Directories stay as they are.
void MapEntriesBack(ArchiveNode* docNode, ArchiveNode* copyNode);

// Frees the entry record of a working copy alone: its name and bytes are the document's.
void FreeEntryRecord(ArchiveEntry* entry);

// The working copy of the document's tree that a save writes from; null after showing the
// message.
ArchiveNode* CopyForSave(SaveWindow& window, ArchiveDocument* doc);
// Opens the written file at path again for reading, as the new archive's file and path.
// Null on success, or the failure's message, whose "%s" takes the path.
const char* ReopenSaved(FILE*& file, char*& storedPath, const char* path);
// Ends a save with message null on success, or the failure's: on success maps the copy's
// entries back onto the document's, or hands the copy over through unmapped when that is
// given (see PakSave); on failure closes the output. A copy not handed over is freed.
// True on success.
bool EndSave(ArchiveDocument* doc, ArchiveNode* copy, ArchiveOutput* output, const char* message,
             ArchiveNode** unmapped);

// The queue of one save as its walk fills it, on the calling thread. write(item) writes
// one entry of the writer's own item type once its work is done.
class SaveQueue {
 public:
  SaveQueue(SaveWindow& window, SaveProgress* progress, unsigned threads)
      : window_(window), progress_(progress), pipeline_(threads) {}

  // Writes entries from the front until one holding cost bytes may join. False when the
  // save stopped (a message shown, or cancelled).
  template <typename Write>
  bool MakeRoom(uint64_t cost, Write write) {
    while (!pipeline_.Admits(cost))
      if (!WriteFront(window_, progress_, pipeline_, write)) return false;
    return true;
  }
  void Push(std::unique_ptr<SaveItem> item) { pipeline_.Push(std::move(item)); }
  // Queues an entry that failed while being queued: its message shows after every entry
  // before it was written, unless one of them fails first. Returns false, for the walk.
  bool Refuse(std::unique_ptr<SaveItem> item, const char* message) {
    item->failure = message;
    pipeline_.Push(std::move(item));
    return false;
  }
  // Writes everything queued; false when the save stopped.
  template <typename Write>
  bool Drain(Write write) {
    while (!pipeline_.Empty())
      if (!WriteFront(window_, progress_, pipeline_, write)) return false;
    return true;
  }

 private:
  SaveWindow& window_;
  SaveProgress* progress_;
  SavePipeline pipeline_;
};

// Copies n bytes at offset of a source file to the output through buffer.
enum class CopyResult { Ok, ReadFailed, WriteFailed };
CopyResult CopySourceBytes(FILE* from, uint64_t offset, uint64_t n, ArchiveOutput* out, uint8_t* buffer,
                           size_t bufferSize);
// The buffer size for CopySourceBytes: its pieces are large enough to go straight to the
// file and small enough to stay in the processor's cache between reading and writing.
constexpr size_t kCopyBufferSize = 256 << 10;

// Walks top and everything below it in archive order: each directory's children from the
// head of its list, a directory's subtree before its next sibling. path (capacity bytes)
// holds the stored path of top's parent directory. A directory's "name/" goes on the path
// before directory(node) is called and comes off once its subtree is done; file(entry) is
// called with the path of the file's directory. Both return false when the walk must stop;
// a failure of the walk itself goes to fail(message). Iterative: a tree can be deeper than
// the stack allows recursion for. 1 when the walk went through; 0 when it stopped.
template <typename DirectoryStep, typename FileStep, typename Fail>
int WriteTree(ArchiveNode* top, char* path, size_t& length, size_t capacity, DirectoryStep directory,
              FileStep file, Fail fail) {
  if (top == nullptr) return 1;
  ArchiveNode* node = top;
  for (;;) {
    const size_t before = length;
    ArchiveEntry* e = node->entry;
    if (e == nullptr) {
      fail("Unknown type");
      return 0;
    }
    switch (KindOf(e)) {
      case EntryKind::Root:
        break;
      case EntryKind::Directory:
        if (!AppendPath(path, length, capacity, e->name, true)) {
          fail(kMaxPathMessage);
          return 0;
        }
        if (!directory(node)) return 0;
        break;
      case EntryKind::PakFile:
      case EntryKind::Pk3File:
      case EntryKind::MemoryFile:
        if (!file(e)) return 0;
        break;
      default:
        fail("Unknown type");
        return 0;
    }
    if (node->firstChild && IsContainer(e)) {
      node = node->firstChild;
      continue;
    }
    CutPath(path, length, before);
    for (;;) {
      if (node == top) return 1;
      if (node->nextSibling) {
        node = node->nextSibling;
        break;
      }
      node = node->parent;
      // Leaving a directory takes its "name/" off the path again.
      if (IsKind(node->entry, EntryKind::Directory)) CutDirectoryName(path, length, node->entry);
    }
  }
}
