// Every walk here is iterative. Trees come from untrusted archives: a ZIP name can nest
// thousands of directories and a directory can hold tens of thousands of children, so
// recursion on depth or along a sibling chain could exhaust the stack (1 MB on Windows).
#include "archive/tree.h"

#include <cstring>

#include "archive/edit_history.h"

const EntryBuffer* Node::memory() const {
  const MemoryBytes* held = std::get_if<MemoryBytes>(&data_);
  return held && held->bytes && held->bytes->size() != 0 ? held->bytes.get() : nullptr;
}

uint32_t Node::size() const {
  if (kind_ != NodeKind::File) return 0;
  if (const SourceEntry* entry = source()) return entry->size;
  const EntryBuffer* bytes = memory();
  return bytes ? static_cast<uint32_t>(bytes->size()) : 0;
}

ArchiveTree::ArchiveTree(bool keepCase)
    : keepCase_(keepCase), root_(Make(NodeKind::Root, "/")), history_(new EditHistory(this)) {}

ArchiveTree::~ArchiveTree() = default;

Node* ArchiveTree::Make(NodeKind kind, std::string name) {
  const NodeId id = static_cast<NodeId>(nodes_.size() + 1);
  nodes_.emplace_back(new Node(id, kind, std::move(name)));
  ++live_;
  return nodes_.back().get();
}

void ArchiveTree::Link(Node* parent, Node* node, Node* before) {
  node->parent_ = parent;
  node->next_ = before;
  node->prev_ = before ? before->prev_ : parent->lastChild_;
  if (node->prev_)
    node->prev_->next_ = node;
  else
    parent->firstChild_ = node;
  if (before)
    before->prev_ = node;
  else
    parent->lastChild_ = node;
}

void ArchiveTree::Unlink(Node* node) {
  Node* parent = node->parent_;
  if (node->prev_)
    node->prev_->next_ = node->next_;
  else
    parent->firstChild_ = node->next_;
  if (node->next_)
    node->next_->prev_ = node->prev_;
  else
    parent->lastChild_ = node->prev_;
  node->parent_ = node->next_ = node->prev_ = nullptr;
}

void ArchiveTree::MarkDetached(Node* top, bool detached) {
  for (Node* n = top; n; n = NextInSubtree(n, top)) n->detached_ = detached;
}

void ArchiveTree::Discard(Node* node) {
  // The subtree goes in pre-order; freeing a node never touches the ones still to come.
  std::vector<NodeId> doomed;
  for (const Node* n = node; n; n = NextInSubtree(n, node)) doomed.push_back(n->id_);
  for (NodeId id : doomed) {
    nodes_[id - 1].reset();
    --live_;
  }
}

std::string ArchiveTree::EnteredName(std::string name) const {
  if (!keepCase_) LowerCaseAscii(&name);
  return name;
}

Node* ArchiveTree::Find(NodeId id) const {
  Node* node = Existing(id);
  return node && !node->detached_ ? node : nullptr;
}

Node* ArchiveTree::AddDirectory(Node* parent, std::string name) {
  if (parent == nullptr || !parent->IsContainer()) return nullptr;
  Node* node = Make(NodeKind::Directory, EnteredName(std::move(name)));
  history_->NoteAdded(node, parent, parent->firstChild_);
  Link(parent, node, parent->firstChild_);
  return node;
}

Node* ArchiveTree::AddFile(Node* parent, std::string name, FileData data) {
  if (parent == nullptr || !parent->IsContainer()) return nullptr;
  Node* node = Make(NodeKind::File, EnteredName(std::move(name)));
  node->data_ = std::move(data);
  history_->NoteAdded(node, parent, parent->firstChild_);
  Link(parent, node, parent->firstChild_);
  return node;
}

void ArchiveTree::Rename(Node* node, std::string name) {
  if (node == nullptr || node->IsRoot()) return;
  std::string entered = EnteredName(std::move(name));
  history_->NoteRenamed(node, entered);
  node->name_ = std::move(entered);
}

void ArchiveTree::SetData(Node* file, FileData data) {
  if (file == nullptr || !file->IsFile()) return;
  history_->NoteDataSet(file, data);
  file->data_ = std::move(data);
}

void ArchiveTree::Remove(Node* node) {
  if (node == nullptr || node->parent_ == nullptr) return;
  if (history_->Recording()) {
    history_->NoteRemoved(node);
    Unlink(node);
    MarkDetached(node, true);
    return;
  }
  Unlink(node);
  Discard(node);
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

Node* FindChildNamed(const Node* parent, const std::string& name) {
  if (parent == nullptr) return nullptr;
  for (Node* child = parent->firstChild(); child; child = child->nextSibling())
    if (SameName(child->name(), name)) return child;
  return nullptr;
}

bool IsAncestor(const Node* candidate, const Node* node) {
  if (candidate == nullptr || node == nullptr) return false;
  for (const Node* n = node->parent(); n; n = n->parent())
    if (n == candidate) return true;
  return false;
}

uint32_t CountNodes(const Node* node) {
  uint32_t count = 0;
  for (const Node* n = node; n; n = NextInSubtree(n, node)) ++count;
  return count;
}

uint32_t CountLeaves(const Node* node) {
  uint32_t count = 0;
  for (const Node* n = node; n; n = NextInSubtree(n, node))
    if (n->firstChild() == nullptr) ++count;
  return count;
}

uint32_t CountFiles(const Node* firstChild) {
  uint32_t count = 0;
  for (const Node* top = firstChild; top; top = top->nextSibling())
    for (const Node* n = top; n; n = NextInSubtree(n, top))
      if (n->IsFile()) ++count;
  return count;
}

namespace {

// A node's share of a stored path: a directory's name is followed by "/".
uint64_t PathShare(const Node* node) {
  if (node->IsRoot()) return 0;
  return node->name().size() + (node->IsDirectory() ? 1 : 0);
}

}  // namespace

uint32_t MaxPathLength(const Node* node) {
  if (node == nullptr) return 0;
  // The longest path ends at a leaf: the length from node down to the walk's position
  // grows on the way down and shrinks on the way up.
  uint64_t best = 0;
  uint64_t length = PathShare(node);
  const Node* n = node;
  for (;;) {
    if (n->firstChild()) {
      n = n->firstChild();
      length += PathShare(n);
      continue;
    }
    if (length > best) best = length;
    while (n != node && n->nextSibling() == nullptr) {
      length -= PathShare(n);
      n = n->parent();
    }
    if (n == node) break;
    length -= PathShare(n);
    n = n->nextSibling();
    length += PathShare(n);
  }
  return best > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(best);
}

namespace {

// The names from below the root down to node, joined by separator, with one after a
// directory node when trailing.
std::string JoinedPath(const Node* node, char separator, bool trailing) {
  if (node == nullptr || node->IsRoot()) return std::string();
  size_t total = 0;
  for (const Node* n = node; n && !n->IsRoot(); n = n->parent()) total += n->name().size() + 1;
  std::string path(total, separator);
  // Written from the end backwards, in one pass up the tree.
  size_t end = total - 1;
  for (const Node* n = node; n && !n->IsRoot(); n = n->parent()) {
    end -= n->name().size();
    std::memcpy(&path[end], n->name().data(), n->name().size());
    if (end > 0) --end;
  }
  if (!(trailing && node->IsDirectory())) path.pop_back();
  return path;
}

}  // namespace

std::string StoredPath(const Node* node) { return JoinedPath(node, '/', true); }

std::string ShellPath(const Node* node) { return JoinedPath(node, '\\', false); }

int CompareNames(const std::string& a, const std::string& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void LowerCaseAscii(std::string* text) {
  for (char& c : *text) c = LowerAscii(c);
}

void LowerCaseAscii(char* text) {
  for (char* c = text; c && *c; ++c) *c = LowerAscii(*c);
}

std::string LowerCased(std::string text) {
  LowerCaseAscii(&text);
  return text;
}
