#include "archive/edit_history.h"

#include <unordered_map>
#include <utility>

#include "archive/source.h"

namespace {

uint64_t MemorySize(const FileData& data) {
  const MemoryBytes* held = std::get_if<MemoryBytes>(&data);
  return held && held->bytes ? held->bytes->size() : 0;
}

uint64_t SubtreeMemory(const Node* top) {
  uint64_t total = 0;
  for (const Node* n = top; n; n = NextInSubtree(n, top))
    if (n->IsFile()) total += MemorySize(n->data());
  return total;
}

}  // namespace

void EditHistory::Begin(const std::string& action, uint32_t items) {
  if (depth_++ > 0) return;
  open_ = EditStep();
  open_.action = action;
  open_.items = items;
}

void EditHistory::Rename(const std::string& action, uint32_t items) {
  if (!Recording()) return;
  open_.action = action;
  open_.items = items;
}

void EditHistory::SetLink(uint64_t link, bool leads) {
  if (!Recording()) return;
  open_.link = link;
  open_.leads = leads;
}

bool EditHistory::Reopen(uint64_t link) {
  if (Recording() || link == 0 || undo_.empty() || undo_.back().link != link || !redo_.empty()) return false;
  open_ = std::move(undo_.back());
  undo_.pop_back();
  depth_ = 1;
  return true;
}

void EditHistory::End() {
  if (depth_ == 0 || --depth_ > 0) return;
  if (open_.changes.empty()) return;
  DropRedo();
  open_.serial = nextSerial_++;
  undo_.push_back(std::move(open_));
  open_ = EditStep();
  Trim();
}

void EditHistory::NotePlace(TreeChange::Kind kind, const Node* node, const Node* parent, const Node* before) {
  if (!Recording()) return;
  TreeChange change;
  change.kind = kind;
  change.node = node->id();
  change.parent = parent->id();
  change.before = before ? before->id() : kNoNode;
  open_.changes.push_back(std::move(change));
}

void EditHistory::NoteAdded(Node* node, Node* parent, Node* before) {
  NotePlace(TreeChange::Kind::Added, node, parent, before);
}

void EditHistory::NoteRemoved(Node* node) {
  NotePlace(TreeChange::Kind::Removed, node, node->parent(), node->nextSibling());
}

void EditHistory::NoteRenamed(Node* node, const std::string& name) {
  if (!Recording() || name == node->name()) return;
  TreeChange change;
  change.kind = TreeChange::Kind::Renamed;
  change.node = node->id();
  change.oldName = node->name();
  change.newName = name;
  open_.changes.push_back(std::move(change));
}

void EditHistory::NoteDataSet(Node* file, const FileData& data) {
  if (!Recording()) return;
  TreeChange change;
  change.kind = TreeChange::Kind::DataSet;
  change.node = file->id();
  change.oldData = file->data();
  change.newData = data;
  open_.changes.push_back(std::move(change));
}

void EditHistory::Detach(Node* node, TreeChangeObserver* observer) {
  if (observer) observer->WillDetach(node);
  tree_->Unlink(node);
  tree_->MarkDetached(node, true);
}

void EditHistory::Attach(const TreeChange& change, TreeChangeObserver* observer) {
  Node* node = tree_->Existing(change.node);
  Node* parent = tree_->Existing(change.parent);
  tree_->Link(parent, node, tree_->Existing(change.before));
  tree_->MarkDetached(node, false);
  if (observer) observer->Attached(node);
}

void EditHistory::Play(const TreeChange& change, bool forward, TreeChangeObserver* observer) {
  Node* node = tree_->Existing(change.node);
  switch (change.kind) {
    case TreeChange::Kind::Added:
    case TreeChange::Kind::Removed:
      // Made forward an addition links the node, made backward it takes it out; a removal
      // the other way round.
      if (forward == (change.kind == TreeChange::Kind::Added))
        Attach(change, observer);
      else
        Detach(node, observer);
      break;
    case TreeChange::Kind::Renamed:
      node->name_ = forward ? change.newName : change.oldName;
      if (observer) observer->Renamed(node);
      break;
    case TreeChange::Kind::DataSet:
      node->data_ = forward ? change.newData : change.oldData;
      if (observer) observer->DataChanged(node);
      break;
  }
}

bool EditHistory::Undo(TreeChangeObserver* observer) {
  if (!CanUndo()) return false;
  EditStep step = std::move(undo_.back());
  undo_.pop_back();
  for (size_t i = step.changes.size(); i-- > 0;) Play(step.changes[i], false, observer);
  redo_.push_back(std::move(step));
  return true;
}

bool EditHistory::Redo(TreeChangeObserver* observer) {
  if (!CanRedo()) return false;
  EditStep step = std::move(redo_.back());
  redo_.pop_back();
  for (const TreeChange& change : step.changes) Play(change, true, observer);
  undo_.push_back(std::move(step));
  return true;
}

uint64_t EditHistory::StepBytes(const EditStep& step, bool made) const {
  uint64_t total = 0;
  const TreeChange::Kind away = made ? TreeChange::Kind::Removed : TreeChange::Kind::Added;
  for (const TreeChange& change : step.changes) {
    if (change.kind == away) {
      const Node* node = tree_->Existing(change.node);
      if (node && node->detached_ && node->parent() == nullptr) total += SubtreeMemory(node);
    } else if (change.kind == TreeChange::Kind::DataSet) {
      total += MemorySize(made ? change.oldData : change.newData);
    }
  }
  return total;
}

uint64_t EditHistory::KeptBytes() const {
  uint64_t total = 0;
  for (const EditStep& step : undo_) total += StepBytes(step, true);
  for (const EditStep& step : redo_) total += StepBytes(step, false);
  return total;
}

namespace {

// Frees the nodes of changes of kind `away` that are out of the tree at the top of what
// was taken out; a node inside a subtree out of the tree goes with its top.
template <typename Tree, typename Discard>
void DiscardDetachedTops(const EditStep& step, TreeChange::Kind away, Tree find, Discard discard) {
  for (const TreeChange& change : step.changes) {
    if (change.kind != away) continue;
    Node* node = find(change.node);
    if (node && node->parent() == nullptr && !node->IsRoot()) discard(node);
  }
}

}  // namespace

void EditHistory::DropOldest() {
  if (undo_.empty()) return;
  // What the oldest step took out stays out: no later step can have brought it back.
  DiscardDetachedTops(
      undo_.front(), TreeChange::Kind::Removed, [&](NodeId id) { return tree_->Existing(id); },
      [&](Node* node) { tree_->Discard(node); });
  baseState_ = undo_.front().serial;
  undo_.erase(undo_.begin());
}

void EditHistory::DropRedo(size_t keep) {
  while (redo_.size() > keep) {
    // The step furthest from the present goes first: what it added exists only for it.
    DiscardDetachedTops(
        redo_.front(), TreeChange::Kind::Added, [&](NodeId id) { return tree_->Existing(id); },
        [&](Node* node) { tree_->Discard(node); });
    redo_.erase(redo_.begin());
  }
}

void EditHistory::Trim() {
  while (!undo_.empty() && undo_.size() + redo_.size() > maxSteps_) DropOldest();
  // The newest step stays whatever it holds: the last edit can always be taken back.
  while (undo_.size() > 1 && KeptBytes() > maxBytes_) DropOldest();
  if (undo_.size() <= 1 && !redo_.empty() && KeptBytes() > maxBytes_) DropRedo(redo_.size() > 1 ? 1 : 0);
}

void EditHistory::SetLimits(size_t maxSteps, uint64_t maxBytes) {
  maxSteps_ = maxSteps;
  maxBytes_ = maxBytes;
  Trim();
}

bool EditHistory::KeepStepBytes(EditStep* step, bool made, ArchiveSource* source, uint64_t* budget) {
  std::unordered_map<uint32_t, MemoryBytes> read;
  // Reads an entry of the source once, however many of the step's data refer to it.
  const auto keep = [&](FileData* data) {
    const SourceEntry* entry = std::get_if<SourceEntry>(data);
    if (entry == nullptr) return true;
    auto found = read.find(entry->index);
    if (found == read.end()) {
      if (source == nullptr || source->file() == nullptr || entry->index >= source->Count() || entry->size > *budget) return false;
      MemoryBytes bytes;
      if (source->Load(entry->index, &bytes.bytes) != EntryLoad::Ok) return false;
      const EntryInfo info = source->Info(entry->index);
      if (info.hasTime) bytes.dosTime = info.dosTime;
      *budget -= entry->size;
      found = read.emplace(entry->index, std::move(bytes)).first;
    }
    *data = found->second;
    return true;
  };
  const TreeChange::Kind away = made ? TreeChange::Kind::Removed : TreeChange::Kind::Added;
  for (TreeChange& change : step->changes) {
    if (change.kind == TreeChange::Kind::DataSet) {
      if (!keep(&change.oldData) || !keep(&change.newData)) return false;
      continue;
    }
    if (change.kind != away) continue;
    Node* top = tree_->Existing(change.node);
    if (top == nullptr || !top->detached_ || top->parent() != nullptr) continue;
    for (Node* n = top; n; n = NextInSubtree(n, top))
      if (n->IsFile() && !keep(&n->data_)) return false;
  }
  return true;
}

void EditHistory::KeepSourceBytes(ArchiveSource* source) {
  const uint64_t kept = KeptBytes();
  uint64_t budget = kept < maxBytes_ ? maxBytes_ - kept : 0;
  for (size_t i = undo_.size(); i-- > 0;) {
    if (KeepStepBytes(&undo_[i], true, source, &budget)) continue;
    // This step cannot be undone any more, nor any before it.
    for (size_t n = 0; n <= i; ++n) DropOldest();
    break;
  }
  for (size_t i = redo_.size(); i-- > 0;) {
    if (KeepStepBytes(&redo_[i], false, source, &budget)) continue;
    DropRedo(redo_.size() - i - 1);
    break;
  }
  Trim();
}

std::string StepTitle(const EditStep& step) {
  std::string title = step.action;
  if (step.items > 1) title += " (" + std::to_string(step.items) + " items)";
  return title;
}
