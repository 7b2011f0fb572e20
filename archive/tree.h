// The in-memory archive tree: one node per directory or file, each carrying
// one entry that says what the node is and where its bytes are.
#pragma once

#include <cstddef>
#include <cstdint>

struct ArchiveNode;
struct ArchiveEntry;
struct PakDirEntry;
struct Pk3CentralRecord;

// Handle of an item in the folder tree pane (an HTREEITEM on Windows).
using TreeItem = void*;

// Kind values are single bits; the low 16 bits of an entry's kind word hold one.
enum class EntryKind : uint32_t {
  Root = 1,
  Directory = 2,
  PakFile = 4,
  Pk3File = 8,
  MemoryFile = 16,
};

constexpr uint32_t kEntryKindMask = 0xFFFF;
// Set while an outside program shows a temporary copy of the entry.
constexpr uint32_t kViewingFlag = 0x10000;

struct ArchiveNode {
  ArchiveNode* parent;
  ArchiveNode* prevSibling;
  ArchiveNode* nextSibling;
  ArchiveNode* firstChild;
  ArchiveEntry* entry;
};

// Which of the by-kind fields is meaningful depends on the kind:
//   Root, Directory  treeItem, parentTreeItem
//   PakFile          pakEntry (a slot of the document's PakArchive)
//   Pk3File          pk3Record (a record of the document's Pk3Archive)
//   MemoryFile       size, data (owned; null when size is 0)
// Code that changes an entry's kind clears the fields of the old kind.
struct ArchiveEntry {
  uint32_t kind;  // EntryKind in the low 16 bits, kViewingFlag in bit 16
  char* name;     // one path component, heap, owned
  TreeItem treeItem;
  TreeItem parentTreeItem;
  PakDirEntry* pakEntry;
  Pk3CentralRecord* pk3Record;
  uint32_t size;
  uint8_t* data;
  ArchiveNode* node;  // back pointer to the node holding this entry
};

inline EntryKind KindOf(const ArchiveEntry* e) {
  return static_cast<EntryKind>(e->kind & kEntryKindMask);
}
inline bool IsKind(const ArchiveEntry* e, EntryKind k) {
  return e != nullptr && (e->kind & kEntryKindMask) == static_cast<uint32_t>(k);
}

using EntryCompare = int (*)(const ArchiveEntry* key, const ArchiveEntry* entry);
using EntryTest = int (*)(const ArchiveEntry* entry, const void* key);
using EntryCopier = ArchiveEntry* (*)(const ArchiveNode* node);
using EntryFreer = void (*)(ArchiveEntry* entry);

// The next node of a pre-order walk of top's subtree, or null when the walk is done. The
// walk moves with the parent pointers, so no depth of nesting can exhaust the stack.
template <typename Node>
Node* NextInSubtree(Node* node, const ArchiveNode* top) {
  if (node->firstChild) return node->firstChild;
  while (node != top) {
    if (node->nextSibling) return node->nextSibling;
    node = node->parent;
  }
  return nullptr;
}

ArchiveNode* TreeNewRoot();
ArchiveNode* TreeAddChild(ArchiveNode* parent, ArchiveEntry* entry);
ArchiveNode* TreeFindChild(const ArchiveNode* parent, const ArchiveEntry* key, EntryCompare compare);
// The child of parent whose name equals name byte for byte, or null.
ArchiveNode* FindChildNamed(const ArchiveNode* parent, const char* name);
ArchiveNode* TreeFindSibling(const ArchiveNode* node, const ArchiveEntry* key, EntryCompare compare);
ArchiveNode* TreeSearch(ArchiveNode* node, const void* key, EntryTest test);
int TreeIsAncestor(const ArchiveNode* candidate, const ArchiveNode* node);
ArchiveNode* TreeUnlink(ArchiveNode* node);
ArchiveNode* TreeCopy(const ArchiveNode* node, EntryCopier copyEntry, EntryFreer freeEntry);
void TreeFree(ArchiveNode* node, EntryFreer freeEntry);
uint32_t TreeCountNodes(const ArchiveNode* node);
uint32_t TreeCountLeaves(const ArchiveNode* node);
void TreeCollectLeaves(ArchiveNode* node, ArchiveNode** array);
uint32_t TreeMaxPathLength(const ArchiveNode* node);
void TreeBuildPath(const ArchiveNode* node, char* buffer);

int EntryNameCompare(const ArchiveEntry* a, const ArchiveEntry* b);
ArchiveEntry* CopyEntry(const ArchiveNode* node);
void FreeEntry(ArchiveEntry* entry);
// As FreeEntry, but first ends the watch on an outside viewer of the entry.
void FreeLiveEntry(ArchiveEntry* entry);
// Hook through which FreeLiveEntry stops a viewer watch; null until viewing exists.
extern void (*StopViewerWatchHook)(ArchiveEntry* entry);

// Format limits as they apply to a tree.
constexpr uint32_t kPakMaxLeaves = 4096;
constexpr uint32_t kPakMaxPathLength = 55;  // the path and its NUL fit 56 bytes
constexpr uint32_t kPk3MaxNodes = 65535;
constexpr uint32_t kPk3MaxPathLength = 65534;

extern const char kMaxFilesMessage[];  // "Maximum number of files exceeded.\nOperation aborted."
extern const char kMaxPathMessage[];   // "Maximum path length exceeded.\nOperation aborted."

enum class TreeLimit { Ok, TooManyFiles, PathTooLong };
TreeLimit CheckPakLimits(const ArchiveNode* root);
TreeLimit CheckPk3Limits(const ArchiveNode* root);
// The message for a refused limit, or null for Ok.
const char* TreeLimitMessage(TreeLimit limit);
