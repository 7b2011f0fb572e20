// The edits of a tree as steps that can be undone and redone. While a step is open the tree
// tells the history each change it makes (a node added, removed, renamed, given other
// bytes); the step is then undone by taking the changes back in reverse order and redone by
// making them again, so that either way the tree is exactly as it was: names, folders, the
// order of children, every file's bytes.
//
// A node a step took out stays out of the tree (Find does not find it), kept with its data:
// for an entry of the open source only its reference, for bytes in memory the bytes. Nodes
// are freed when no step can bring them back: a new edit drops what could be redone, and
// the oldest steps go when the history holds more steps or more bytes than its limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/tree.h"

class ArchiveSource;

// One change of the tree, as it was made.
struct TreeChange {
  enum class Kind : uint8_t { Added, Removed, Renamed, DataSet };
  Kind kind = Kind::Added;
  NodeId node = kNoNode;
  // Added, Removed: the parent the node was linked into, and the sibling it came before
  // (kNoNode: it was the last).
  NodeId parent = kNoNode;
  NodeId before = kNoNode;
  std::string oldName, newName;
  FileData oldData, newData;
};

struct EditStep {
  std::string action;  // what the user did: "Delete", "Rename", "Paste", ...
  uint32_t items = 0;  // how many items the user acted on
  // Steps of two trees that belong to one edit (the two sides of a move) share a link;
  // 0 for none.
  uint64_t link = 0;
  bool leads = false;  // undoing this side offers to undo the other
  uint64_t serial = 0;  // the state the tree is in once the step is made; never reused
  std::vector<TreeChange> changes;
};

// Told of each change an undo or redo makes, so that views can follow.
class TreeChangeObserver {
 public:
  // Before node, still in the tree, leaves it (with everything below it).
  virtual void WillDetach(Node* node) = 0;
  // After node came back into the tree.
  virtual void Attached(Node* node) = 0;
  virtual void Renamed(Node* node) = 0;
  virtual void DataChanged(Node* node) = 0;

 protected:
  ~TreeChangeObserver() = default;
};

class EditHistory {
 public:
  static constexpr size_t kDefaultMaxSteps = 100;
  static constexpr uint64_t kDefaultMaxBytes = 256ull * 1024 * 1024;

  explicit EditHistory(ArchiveTree* tree) : tree_(tree) {}
  EditHistory(const EditHistory&) = delete;
  EditHistory& operator=(const EditHistory&) = delete;

  // Opens a step: the tree's changes until the matching End are one step. Begin and End
  // nest; an inner pair joins the step already open, whose name stays.
  void Begin(const std::string& action, uint32_t items = 0);
  // Names the open step anew (the outermost Begin could not yet know what it would be).
  void Rename(const std::string& action, uint32_t items);
  void SetLink(uint64_t link, bool leads);
  // Opens the newest step again to take more changes, when it holds link (the arrivals of
  // a move within this same tree, whose departures come later) and nothing was undone
  // since; false otherwise. End closes it as any step.
  bool Reopen(uint64_t link);
  // Closes the step; a step without changes is no step. What could be redone goes once
  // the step holds a change.
  void End();
  bool Recording() const { return depth_ > 0; }

  bool CanUndo() const { return !Recording() && !undo_.empty(); }
  bool CanRedo() const { return !Recording() && !redo_.empty(); }
  // The step an undo or a redo would take; null when there is none.
  const EditStep* NextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
  const EditStep* NextRedo() const { return redo_.empty() ? nullptr : &redo_.back(); }
  size_t UndoCount() const { return undo_.size(); }
  size_t RedoCount() const { return redo_.size(); }
  // False while a step is open or when there is nothing to take.
  bool Undo(TreeChangeObserver* observer);
  bool Redo(TreeChangeObserver* observer);

  // The tree is as the document's file has it now; whether it is so.
  void MarkSaved() { savedState_ = State(); }
  bool AtSavedState() const { return savedState_ == State(); }

  // The bytes in memory that only the history holds (of nodes out of the tree and of data
  // replaced), as the steps are now.
  uint64_t KeptBytes() const;
  void SetLimits(size_t maxSteps, uint64_t maxBytes);

  // Before the document stops reading from source: every entry of it the history refers to
  // is read into memory, so that the steps keep their bytes. A step whose bytes cannot be
  // read (damaged, too big) goes, with every step that could only be reached through it.
  void KeepSourceBytes(ArchiveSource* source);

  // The tree tells of its changes; only a change made while a step is open is kept.
  void NoteAdded(Node* node, Node* parent, Node* before);
  void NoteRemoved(Node* node);
  void NoteRenamed(Node* node, const std::string& name);
  void NoteDataSet(Node* file, const FileData& data);

 private:
  // An addition or a removal of node, linked into parent before `before`.
  void NotePlace(TreeChange::Kind kind, const Node* node, const Node* parent, const Node* before);
  uint64_t State() const { return undo_.empty() ? baseState_ : undo_.back().serial; }
  // Makes the change again (forward) or takes it back.
  void Play(const TreeChange& change, bool forward, TreeChangeObserver* observer);
  void Detach(Node* node, TreeChangeObserver* observer);
  void Attach(const TreeChange& change, TreeChangeObserver* observer);
  // The nodes and data only the step holds, made or undone as it is.
  uint64_t StepBytes(const EditStep& step, bool made) const;
  // Drops the oldest step made (its removed nodes are freed) / every step that could be
  // redone (their added nodes are freed).
  void DropOldest();
  void DropRedo(size_t keep = 0);
  void Trim();
  bool KeepStepBytes(EditStep* step, bool made, ArchiveSource* source, uint64_t* budget);

  ArchiveTree* tree_;
  int depth_ = 0;
  EditStep open_;
  std::vector<EditStep> undo_;  // oldest first
  std::vector<EditStep> redo_;  // the next to redo last
  uint64_t nextSerial_ = 1;
  uint64_t baseState_ = 0;   // the state before the oldest step kept
  uint64_t savedState_ = 0;  // the state the file has
  size_t maxSteps_ = kDefaultMaxSteps;
  uint64_t maxBytes_ = kDefaultMaxBytes;
};

// "Delete (79 items)", "Rename": a step's name for the Undo and Redo commands.
std::string StepTitle(const EditStep& step);
