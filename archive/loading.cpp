// Opening an archive file by its name, and turning the stored paths of a source into the
// archive tree.
#include "archive/loading.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

std::unique_ptr<ArchiveSource> OpenArchive(const std::string& path, Failure* why, const ArchiveFormat** format) {
  *why = Failure();
  const ArchiveFormat* named = FormatForPath(path);
  // A file without an extension may be either: a PAK first, as its header tells at once.
  if (named == nullptr && FileExtension(path).empty()) {
    const ArchiveFormat& pak = PakFormat();
    if (std::unique_ptr<ArchiveSource> source = pak.open(pak, path, why)) {
      *format = &pak;
      return source;
    }
  }
  // Any other name is read as the default format.
  const ArchiveFormat& chosen = named ? *named : DefaultFormat();
  *format = &chosen;
  return chosen.open(chosen, path, why);
}

namespace {

// The children of every directory by name, while a whole source is turned into a tree:
// looking a name up by walking a directory's list would make loading quadratic in the size
// of the largest directory.
class ChildIndex {
 public:
  explicit ChildIndex(size_t expected) { index_.reserve(expected); }
  Node* Find(const Node* parent, std::string_view name) const {
    const auto found = index_.find(Key{parent->id(), name});
    return found == index_.end() ? nullptr : found->second;
  }
  // The key looks at the node's own name, which stays as it is while the tree is built.
  void Add(Node* node) { index_.emplace(Key{node->parent()->id(), node->name()}, node); }

 private:
  struct Key {
    NodeId parent;
    std::string_view name;
    bool operator==(const Key& o) const { return parent == o.parent && name == o.name; }
  };
  struct Hash {
    size_t operator()(const Key& k) const { return std::hash<std::string_view>()(k.name) * 31 + k.parent; }
  };
  std::unordered_map<Key, Node*, Hash> index_;
};

Failure Refused(Problem problem, const std::string& stored, const std::string& through = std::string()) {
  Failure f = Fail(problem, stored);
  f.other = through;
  return f;
}

// Inserts one stored path, the name of entry index of the source, into the tree.
Failure Insert(ArchiveTree& tree, ChildIndex& index, const std::string& stored, uint32_t entry, uint32_t size) {
  // The whole stored name counts: cut at a NUL it would name another file than stored.
  if (stored.find('\0') != std::string::npos) return Refused(Problem::NulInName, stored);
  const std::string path = LowerCased(stored);
  const bool isDirectory = !path.empty() && path.back() == '/';
  // The components; empty ones (a leading "/", "//") and "." name nothing and are passed over.
  std::vector<std::string> components;
  for (size_t at = 0; at < path.size();) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    if (end > at && path.compare(at, end - at, ".") != 0) components.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  // A file left out of the tree would be lost at the next save: a path that names no file
  // refuses the archive. A directory path naming only the root ("/", "./") loses nothing.
  if (components.empty()) return !isDirectory || path.empty() ? Refused(Problem::NamesNoFile, stored) : Failure();

  // There is no fixed limit on the number of components: the 16-bit name length of a ZIP
  // record already bounds the depth a path can reach.
  Node* node = tree.root();
  size_t throughLength = 0;  // of the stored path up to the end of the current component
  for (size_t i = 0; i < components.size(); ++i) {
    const std::string& component = components[i];
    const bool last = i + 1 == components.size();
    throughLength = path.find(component, throughLength) + component.size();
    Node* existing = index.Find(node, component);
    if (existing) {
      // A directory entry for a directory that exists (real archives store it after its
      // contents) changes nothing; a file stored twice, or a path that runs through a file,
      // which cannot hold children, refuses the archive.
      if (last && existing->IsDirectory() && isDirectory) return Failure();
      if (last) return Refused(Problem::StoredTwice, stored);
      if (!existing->IsDirectory()) return Refused(Problem::ThroughFile, stored, stored.substr(0, throughLength));
      node = existing;
      continue;
    }
    if (!last || isDirectory)
      node = tree.AddDirectory(node, component);
    else
      node = tree.AddFile(node, component, SourceEntry{entry, size});
    index.Add(node);
  }
  return Failure();
}

}  // namespace

Failure BuildTree(ArchiveDocument* doc) {
  doc->tree.reset();
  std::unique_ptr<ArchiveTree> tree(new ArchiveTree);
  if (ArchiveSource* source = doc->source.get()) {
    const uint32_t count = source->Count();
    ChildIndex index(static_cast<size_t>(count) * 2);
    for (uint32_t i = 0; i < count; ++i) {
      const Failure why = Insert(*tree, index, source->Name(i), i, source->Size(i));
      if (why) return why;
    }
  }
  doc->tree = std::move(tree);
  return Failure();
}
