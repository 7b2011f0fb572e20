// The walks follow the parent pointers instead of recursing, so a directory nested thousands
// deep in an untrusted archive cannot exhaust the stack.
#include "transfer/core/node_copy.h"

#include "archive/dos_time.h"
#include "archive/entry_data.h"
#include "services/core/archive_text.h"
#include <vector>

namespace {

// The item's bytes as a memory file's, read from the source document. An item that cannot
// be read is noted in the state, so that the user hears of it.
bool ReadItemBytes(const ArchiveDocument* source, const Node* item, FileData* data, TransferState* state) {
  SharedBytes bytes;
  const EntryLoad load = LoadEntryBytes(source, item, &bytes);
  if (load != EntryLoad::Ok) {
    NoteTransferFailure(state, item->name().c_str(), EntryLoadReason(load));
    return false;
  }
  // The copy carries the time the item was last changed, which a save then stores.
  int64_t modified = 0;
  *data = MemoryBytes{std::move(bytes), EntryModified(source, item, &modified) ? DosDateTimeOf(modified) : 0u};
  return true;
}

// One file item into dst. The new node, or null when nothing new was made; an item that
// did not arrive (skipped by the user's answer, unreadable) leaves the context marked
// incomplete.
Node* CopyFile(NodeCopyContext& c, Node* dst, const Node* item) {
  Node* existing = FindChildNamed(dst, item->name());
  // A directory of the name is never overwritten by a file (the checks refuse this
  // beforehand; a caller that skipped them must not turn a directory into a file).
  if ((existing && !existing->IsFile()) ||
      (existing && !ResolveConflict(c.state, c.asker, ConflictItemOf(existing), ConflictItemOf(item)))) {
    c.incomplete = true;
    return nullptr;
  }
  // Within one archive the copy shares the item's data; from another it gets the bytes.
  FileData data;
  if (c.sourceDocument == nullptr) {
    data = item->data();
  } else if (!ReadItemBytes(c.sourceDocument, item, &data, c.state)) {
    c.incomplete = true;
    return nullptr;
  }
  c.state->changed = 1;
  if (existing) {
    c.tree.SetData(existing, std::move(data));
    return nullptr;
  }
  return c.tree.AddFile(dst, item->name(), std::move(data));
}

// The directory of item's name in dst, made when there is none. *made tells which. Null
// when a file holds the name.
Node* MergeOrMakeDirectory(NodeCopyContext& c, Node* dst, const Node* item, bool* made) {
  *made = false;
  Node* existing = FindChildNamed(dst, item->name());
  if (existing) return existing->IsDirectory() ? existing : nullptr;
  c.state->changed = 1;
  *made = true;
  return c.tree.AddDirectory(dst, item->name());
}

}  // namespace

Node* CloneFileNode(ArchiveTree& tree, Node* targetDir, const Node* file, const std::string& name) {
  if (targetDir == nullptr || file == nullptr || !file->IsFile()) return nullptr;
  return tree.AddFile(targetDir, name, file->data());
}

Node* CopyNodeInto(NodeCopyContext& c, Node* targetDir, const Node* item) {
  if (c.state == nullptr || targetDir == nullptr || item == nullptr) return nullptr;
  // The subtree as it is before anything is added: a folder copied into one of its own
  // folders must not meet its copy on the way down.
  struct Step {
    const Node* node;
    int parent;  // index of the step of its folder; -1 for the item
  };
  std::vector<Step> steps;
  std::vector<int> open;  // the steps of the folders the walk is in
  for (const Node* n = item; n; n = NextInSubtree(n, item)) {
    while (!open.empty() && steps[static_cast<size_t>(open.back())].node != n->parent()) open.pop_back();
    steps.push_back({n, open.empty() || n == item ? -1 : open.back()});
    if (n->firstChild()) open.push_back(static_cast<int>(steps.size() - 1));
  }
  std::vector<Node*> into(steps.size(), nullptr);
  Node* top = nullptr;
  c.incomplete = false;
  for (size_t i = 0; i < steps.size() && !c.state->cancelled; ++i) {
    const Node* node = steps[i].node;
    Node* dst = steps[i].parent < 0 ? targetDir : into[static_cast<size_t>(steps[i].parent)];
    // Below a directory that could not be had nothing arrives.
    if (dst == nullptr) continue;
    if (node->IsDirectory()) {
      bool made = false;
      into[i] = MergeOrMakeDirectory(c, dst, node, &made);
      if (into[i] == nullptr) c.incomplete = true;
      if (node == item && made) top = into[i];
    } else if (node->IsFile()) {
      Node* copy = CopyFile(c, dst, node);
      if (node == item) top = copy;
    } else {
      c.incomplete = true;
    }
  }
  if (c.state->cancelled) c.incomplete = true;
  return top;
}
