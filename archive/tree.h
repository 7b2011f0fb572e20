// The in-memory archive tree. The tree owns its nodes: each is made and freed by the tree
// alone, and every node has an id that is never given to another node, so a reference kept
// as an id (by the clipboard, a drag, a window's item) either finds its node or finds that
// it is gone, never another one.
//
// A node is the root, a directory, or a file; a file's bytes are an entry of the document's
// open source (by its index there) or bytes in memory. Children keep their order: a new
// child goes to the head of its parent's list.
//
// A change made while the tree's history (archive/edit_history.h) records a step is kept
// there so that it can be undone: a node removed then is only taken out of the tree, and
// freed once no step can bring it back. Find never finds a node that is out of the tree.
//
// Names follow one rule, the tree's: every name that enters it (added or renamed) is
// lower-cased, unless the tree keeps the case of names, when it stays as given. Either way
// names are compared without regard to case (SameName): one folder cannot hold "a.txt" and
// "A.txt" as two files a game or the shell could tell apart. Only a source's duplicates, read
// as they are stored, share a name (see Shadows in archive/format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "archive/entry_buffer.h"

enum class NodeKind : uint8_t { Root, Directory, File };

using NodeId = uint32_t;
constexpr NodeId kNoNode = 0;

// The bytes of a file: an entry of the open source, or bytes held in memory.
struct SourceEntry {
  uint32_t index;
  uint32_t size;
};
struct MemoryBytes {
  SharedBytes bytes;     // null for an empty file
  uint32_t dosTime = 0;  // when the file was last changed (DOS date and time); 0: not known
};
using FileData = std::variant<SourceEntry, MemoryBytes>;

class ArchiveTree;
class EditHistory;

class Node {
 public:
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  NodeId id() const { return id_; }
  NodeKind kind() const { return kind_; }
  bool IsRoot() const { return kind_ == NodeKind::Root; }
  bool IsDirectory() const { return kind_ == NodeKind::Directory; }
  bool IsFile() const { return kind_ == NodeKind::File; }
  // The root and directories: the nodes that hold children.
  bool IsContainer() const { return kind_ != NodeKind::File; }

  // One path component; "/" for the root.
  const std::string& name() const { return name_; }

  Node* parent() const { return parent_; }
  Node* firstChild() const { return firstChild_; }
  Node* lastChild() const { return lastChild_; }
  Node* nextSibling() const { return next_; }
  Node* prevSibling() const { return prev_; }

  // A file's bytes; for containers an empty memory file's.
  const FileData& data() const { return data_; }
  // The entry of the open source a file reads from, or null for bytes in memory.
  const SourceEntry* source() const { return std::get_if<SourceEntry>(&data_); }
  // The bytes in memory of a file, or null (a source entry, an empty file, a container).
  const EntryBuffer* memory() const;
  // The file's byte count; 0 for containers.
  uint32_t size() const;

 private:
  friend class ArchiveTree;
  friend class EditHistory;
  Node(NodeId id, NodeKind kind, std::string name) : id_(id), kind_(kind), name_(std::move(name)) {}

  NodeId id_;
  NodeKind kind_;
  std::string name_;
  Node* parent_ = nullptr;
  Node* firstChild_ = nullptr;
  Node* lastChild_ = nullptr;
  Node* next_ = nullptr;
  Node* prev_ = nullptr;
  FileData data_{MemoryBytes{}};
  // Out of the tree, kept by the history: the node, or one above it, was taken out.
  bool detached_ = false;
};

class ArchiveTree {
 public:
  explicit ArchiveTree(bool keepCase = false);
  ~ArchiveTree();
  ArchiveTree(const ArchiveTree&) = delete;
  ArchiveTree& operator=(const ArchiveTree&) = delete;

  Node* root() const { return root_; }
  // The node with this id while it is in the tree, else null.
  Node* Find(NodeId id) const;
  // Nodes that exist, the root among them and those the history keeps out of the tree.
  size_t NodeCount() const { return live_; }

  // The steps of edits that can be undone and redone.
  EditHistory& history() const { return *history_; }

  // Whether names keep the case they are given; changing it touches no name already held.
  bool keepsCase() const { return keepCase_; }
  void SetKeepsCase(bool keep) { keepCase_ = keep; }
  // A name as the tree would hold it.
  std::string EnteredName(std::string name) const;

  // New nodes go to the head of parent's children, which must be a container. Names added
  // or renamed are taken as EnteredName makes them.
  Node* AddDirectory(Node* parent, std::string name);
  Node* AddFile(Node* parent, std::string name, FileData data);

  void Rename(Node* node, std::string name);
  // Gives a file other bytes.
  void SetData(Node* file, FileData data);
  // Takes node (not the root) out of its parent's children and frees it with everything
  // below it, or, while the history records a step, keeps it for an undo.
  void Remove(Node* node);

 private:
  friend class EditHistory;
  Node* Make(NodeKind kind, std::string name);
  // Links node into parent's children before `before` (null: last).
  void Link(Node* parent, Node* node, Node* before);
  // Takes node out of its parent's children; it and everything below it are then out of
  // the tree until linked again.
  void Unlink(Node* node);
  void MarkDetached(Node* top, bool detached);
  // Frees node (out of the tree) with everything below it.
  void Discard(Node* node);
  // The node of this id, in the tree or not.
  Node* Existing(NodeId id) const { return id == kNoNode || id > nodes_.size() ? nullptr : nodes_[id - 1].get(); }

  // nodes_[id - 1] holds the node of that id until it is freed. live_ comes before root_:
  // making the root counts it.
  std::vector<std::unique_ptr<Node>> nodes_;
  size_t live_ = 0;
  bool keepCase_;
  Node* root_;
  std::unique_ptr<EditHistory> history_;
};

// The next node of a pre-order walk of top's subtree, or null when the walk is done. The
// walk moves with the parent pointers, so no depth of nesting can exhaust the stack.
template <typename N>
N* NextInSubtree(N* node, const Node* top) {
  if (node->firstChild()) return node->firstChild();
  while (node != top) {
    if (node->nextSibling()) return node->nextSibling();
    node = node->parent();
  }
  return nullptr;
}

// Whether two names are the same name: equal but for the case of ASCII letters.
bool SameName(const std::string& a, const std::string& b);
// The first child of parent with the same name as name (SameName), or null.
Node* FindChildNamed(const Node* parent, const std::string& name);
// Whether candidate lies above node (not node itself).
bool IsAncestor(const Node* candidate, const Node* node);

// Counts over node's subtree, node included.
uint32_t CountNodes(const Node* node);
// Nodes without children: files and empty directories (an empty root counts too).
uint32_t CountLeaves(const Node* node);
// The files at any depth among firstChild, its siblings and everything below them;
// directories themselves are not counted.
uint32_t CountFiles(const Node* firstChild);
// The longest stored path below node, counted from node itself: a directory's share is
// its name and "/", a file's its name.
uint32_t MaxPathLength(const Node* node);

// The path an archive stores the node under: its ancestors' names below the root, each
// with "/", then its own, with "/" after a directory. "" for the root.
std::string StoredPath(const Node* node);
// The node's path for the shell: names joined by backslashes, the root left out, no
// backslash after the last name.
std::string ShellPath(const Node* node);

// The order of names: without regard to the case of ASCII letters, then (for names that
// differ only in case) byte by byte, so that the order is total. -1, 0 or 1.
int CompareNames(const std::string& a, const std::string& b);

// Lower-cases ASCII letters only, so that names compare alike whatever the locale or code
// page in force.
void LowerCaseAscii(std::string* text);
void LowerCaseAscii(char* text);
std::string LowerCased(std::string text);
