// Opening an archive file by its name, and turning the stored paths of a source into the
// archive tree.
#include "archive/loading.h"

#include <cstring>
#include <deque>
#include <string_view>
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

bool SameNameView(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i], y = b[i];
    if (x != y && (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) != (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y)) return false;
  }
  return true;
}

// The children of every directory by name (compared as the tree compares them, without
// regard to case), while a whole source is turned into a tree: looking a name up by walking
// a directory's list would make loading quadratic in the size of the largest directory.
// Open addressing with linear probing, kept at most half full; a name added twice is found
// as the one added first. Shape is the tree being made: an ArchiveTree, or the bare shape of
// one (SourceWalk), each seen through the same few calls.
// A node is hashed by its whole path from the root (as PathHash makes it), not by its parent
// and name: a later entry's place in the table is known from its stored name alone, so it
// can be fetched into the cache while earlier entries are inserted.
template <typename Shape>
class ChildIndex {
 public:
  using Handle = typename Shape::Handle;
  ChildIndex(const Shape& shape, size_t expected) : shape_(shape) {
    size_t capacity = 64;
    while (capacity / 2 < expected) capacity *= 2;
    slots_.resize(capacity);
  }
  // parent's child named name, whose path hashes to hash.
  Handle Find(Handle parent, std::string_view name, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i].node != Shape::kNone; i = (i + 1) & mask) {
      const Handle node = slots_[i].node;
      if (slots_[i].hash == hash && shape_.Parent(node) == parent && SameNameView(shape_.NameOf(node), name))
        return node;
    }
    return Shape::kNone;
  }
  void Add(Handle node, uint32_t hash) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    Place(slots_, Slot{node, hash});
    ++used_;
  }
  // Asks for the slot a path of that hash is looked up in, ahead of its lookup.
  void Prefetch(uint32_t hash) const {
#if defined(__GNUC__)
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
#else
    (void)hash;
#endif
  }

  // FNV-1a over the path's components with their ASCII letters lower-cased, each after a
  // separator: the root's hash is the start, and a child's continues its parent's.
  static constexpr uint32_t kRootHash = 2166136261u;
  static constexpr uint32_t kPrime = 16777619u;
  static uint32_t ChildHash(uint32_t parentHash, std::string_view name) {
    uint32_t h = (parentHash ^ '/') * kPrime;
    for (const char c : name) {
      h ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      h *= kPrime;
    }
    return h;
  }

 private:
  struct Slot {
    Handle node = Shape::kNone;
    uint32_t hash = 0;
  };
  static void Place(std::vector<Slot>& slots, const Slot& slot) {
    const size_t mask = slots.size() - 1;
    size_t i = slot.hash & mask;
    while (slots[i].node != Shape::kNone) i = (i + 1) & mask;
    slots[i] = slot;
  }
  void Grow() {
    std::vector<Slot> larger(slots_.size() * 2);
    for (const Slot& slot : slots_)
      if (slot.node != Shape::kNone) Place(larger, slot);
    slots_.swap(larger);
  }

  const Shape& shape_;
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

// A stored path that names a directory, not a file.
bool IsDirectoryPath(std::string_view stored) { return !stored.empty() && stored.back() == '/'; }

// The components of a stored path that name something, one after another: empty ones (a
// leading "/", "//") and "." name nothing and are passed over.
class Components {
 public:
  // The components of whole from its byte at on.
  explicit Components(std::string_view whole, size_t at = 0) : whole_(whole), at_(at) {}
  // The next component; false when none is left.
  bool Next(std::string_view* component) {
    while (at_ < whole_.size()) {
      size_t end = whole_.find('/', at_);
      if (end == std::string_view::npos) end = whole_.size();
      *component = whole_.substr(at_, end - at_);
      at_ = end + 1;
      if (!component->empty() && *component != ".") return true;
    }
    return false;
  }

 private:
  std::string_view whole_;
  size_t at_;
};

// The hashes ChildIndex gives the node a stored path names, and the folder that holds it:
// its components hashed one after another as ChildHash does, in one pass over the bytes.
struct PathHashes {
  uint32_t path, folder;
};
template <typename Shape>
PathHashes PathHash(std::string_view stored) {
  uint32_t before = ChildIndex<Shape>::kRootHash;  // the components up to this one
  uint32_t h = (before ^ '/') * ChildIndex<Shape>::kPrime;  // with this one, as far as it goes
  size_t length = 0;
  bool dot = false;  // the component so far is "."
  for (const char c : stored) {
    if (c == '/') {
      // An empty component or "." names nothing and leaves the hash as it was.
      if (length != 0 && !dot) before = h;
      h = (before ^ '/') * ChildIndex<Shape>::kPrime;
      length = 0;
      continue;
    }
    dot = length == 0 && c == '.';
    ++length;
    h ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    h *= ChildIndex<Shape>::kPrime;
  }
  // A path that ends in a separator or "." names the folder of its last component.
  return length != 0 && !dot ? PathHashes{h, before} : PathHashes{before, before};
}

// The document's tree being made, as Insert sees it.
class TreeShape {
 public:
  using Handle = Node*;
  static constexpr Handle kNone = nullptr;
  explicit TreeShape(ArchiveTree& tree) : tree_(tree) {}
  Handle Root() const { return tree_.root(); }
  Handle Parent(Handle node) const { return node->parent(); }
  std::string_view NameOf(Handle node) const { return node->name(); }
  bool IsDirectory(Handle node) const { return node->IsDirectory(); }
  Handle AddDirectory(Handle parent, std::string_view name) { return tree_.AddDirectory(parent, std::string(name)); }
  Handle AddFile(Handle parent, std::string_view name, uint32_t entry, uint32_t size) {
    return tree_.AddFile(parent, std::string(name), SourceEntry{entry, size});
  }
  // A file stored again beside an earlier one of its name: kept beside it, which shadows it.
  void AddAgain(Handle parent, std::string_view name, uint32_t entry, uint32_t size, Handle) {
    AddFile(parent, name, entry, size);
  }

 private:
  ArchiveTree& tree_;
};

}  // namespace

// The bare shape of the tree, as a SourceWalk makes it: nodes by their place in one vector.
class SourceWalk::Shape {
 public:
  using Handle = uint32_t;
  static constexpr Handle kNone = UINT32_MAX;
  explicit Shape(SourceWalk& walk) : walk_(walk) {}
  Handle Root() const { return 0; }
  Handle Parent(Handle node) const { return walk_.nodes_[node].parent; }
  std::string_view NameOf(Handle node) const { return walk_.nodes_[node].name; }
  bool IsDirectory(Handle node) const { return node != 0 && walk_.nodes_[node].entry == kNone; }
  Handle AddDirectory(Handle parent, std::string_view name) { return Add(parent, name, kNone); }
  Handle AddFile(Handle parent, std::string_view name, uint32_t entry, uint32_t) { return Add(parent, name, entry); }
  void AddAgain(Handle parent, std::string_view name, uint32_t entry, uint32_t size, Handle first) {
    walk_.shadowed_.push_back({entry, first});
    AddFile(parent, name, entry, size);
  }

 private:
  // Made in place: a place filled field by field and then copied whole is read back before
  // its fields are all written. Children are not linked: Make orders the files from the
  // places alone, each child's place being after its parent's.
  Handle Add(Handle parent, std::string_view name, uint32_t entry) {
    const Handle node = static_cast<Handle>(walk_.nodes_.size());
    SourceWalk::Place& place = walk_.nodes_.emplace_back();
    place.parent = parent;
    place.entry = entry;
    place.name = name;
    return node;
  }
  SourceWalk& walk_;
};

namespace {

bool Refuse(Failure* why, Problem problem, std::string_view stored, std::string_view through = {}) {
  *why = Fail(problem, std::string(stored));
  why->other = std::string(through);
  return false;
}

// The folders files were last inserted into, each named by the first bytes of such a file's
// path (up to its last separator), with its hash, and kept by that hash. Archives store a
// folder's files together (or a few folders' files in turn), so the next path nearly always
// starts with the bytes of one of them and names a file in it, whose folders need not be
// looked up again.
template <typename Shape>
class FolderMemo {
 public:
  struct Folder {
    std::string_view prefix;
    typename Shape::Handle node = Shape::kNone;
    uint32_t hash = 0;
  };
  // The folder known for a file path whose folder hashes to hash; null when it is not known.
  const Folder* Find(std::string_view stored, uint32_t hash) const {
    const Folder& folder = folders_[hash % kFolders];
    const std::string_view prefix = folder.prefix;
    if (folder.node == Shape::kNone || folder.hash != hash || stored.size() <= prefix.size() ||
        std::memcmp(stored.data(), prefix.data(), prefix.size()) != 0 ||
        stored.find('/', prefix.size()) != std::string_view::npos || stored.substr(prefix.size()) == ".")
      return nullptr;
    return &folder;
  }
  void Remember(std::string_view prefix, typename Shape::Handle node, uint32_t hash) {
    folders_[hash % kFolders] = {prefix, node, hash};
  }

 private:
  static constexpr uint32_t kFolders = 64;
  Folder folders_[kFolders];
};

// Inserts one stored path, the name of entry index of the source, into the tree. stored is
// that name as UTF-8 text; hashes (may be null) its PathHash, made ahead. The tree takes
// each component's name by its own rule. False when the path refuses the archive, with why
// set (nothing is made of a failure for the many paths that pass).
template <typename Shape>
bool Insert(Shape& tree, ChildIndex<Shape>& index, std::string_view stored, uint32_t entry, uint32_t size,
            const PathHashes* hashes, FolderMemo<Shape>* memo, Failure* why) {
  // The whole stored name counts: cut at a NUL it would name another file than stored.
  if (stored.find('\0') != std::string_view::npos) return Refuse(why, Problem::NulInName, stored);
  const bool isDirectory = IsDirectoryPath(stored);
  typename Shape::Handle node = tree.Root();
  uint32_t hash = ChildIndex<Shape>::kRootHash;
  // A path that is a known folder's and a name (no separator, not ".") starts in that
  // folder: the same bytes name the same folders, found as before.
  size_t start = 0;
  if (hashes) {
    if (const typename FolderMemo<Shape>::Folder* folder = memo->Find(stored, hashes->folder)) {
      node = folder->node;
      hash = folder->hash;
      start = folder->prefix.size();
    }
  }
  // Each component is looked at with the one after it at hand, which tells whether it is
  // the last.
  Components components(stored, start);
  std::string_view component;
  // A file left out of the tree would be lost at the next save: a path that names no file
  // refuses the archive. A directory path naming only the root ("/", "./") loses nothing.
  if (!components.Next(&component))
    return isDirectory && !stored.empty() ? true : Refuse(why, Problem::NamesNoFile, stored);

  // There is no fixed limit on the number of components: the 16-bit name length of a ZIP
  // record already bounds the depth a path can reach.
  for (;;) {
    std::string_view following;
    const bool last = !components.Next(&following);
    const size_t throughLength = static_cast<size_t>(component.data() - stored.data()) + component.size();
    const uint32_t parentHash = hash;
    // The whole path's hash is the last component's.
    hash = last && hashes ? hashes->path : ChildIndex<Shape>::ChildHash(hash, component);
    const typename Shape::Handle existing = index.Find(node, component, hash);
    if (existing != Shape::kNone) {
      if (last) {
        // A directory entry for a directory that exists (real archives store it after its
        // contents) changes nothing. A file stored again under the same name (in any case)
        // is kept beside the first, which shadows it: a save loses neither. A file and a
        // folder of one name cannot both be shown.
        if (tree.IsDirectory(existing) && isDirectory) return true;
        if (!tree.IsDirectory(existing) && !isDirectory) {
          tree.AddAgain(node, component, entry, size, existing);
          memo->Remember(stored.substr(0, throughLength - component.size()), node, parentHash);
          return true;
        }
        return Refuse(why, Problem::FileAndFolder, stored);
      }
      // A path that runs through a file, which cannot hold children, refuses the archive.
      if (!tree.IsDirectory(existing))
        return Refuse(why, Problem::ThroughFile, stored, stored.substr(0, throughLength));
      node = existing;
    } else {
      const typename Shape::Handle parent = node;
      if (!last || isDirectory) {
        node = tree.AddDirectory(parent, component);
      } else {
        node = tree.AddFile(parent, component, entry, size);
        memo->Remember(stored.substr(0, throughLength - component.size()), parent, parentHash);
      }
      index.Add(node, hash);
    }
    if (last) return true;
    component = following;
  }
}

// Puts every stored path of source into the shape, in the order the source stores them.
// texts keeps the names converted to UTF-8 while the shape needs them.
template <typename Shape>
Failure InsertAll(Shape& shape, const ArchiveSource& source, std::deque<std::string>* texts) {
  const uint32_t count = source.Count();
  ChildIndex<Shape> index(shape, count);
  Failure why;
  // How far ahead of its insert an entry's slot is asked for: enough to cover the wait for
  // memory, with every slot asked for still in the cache when it is used. The hash made for
  // the fetch is kept for the insert.
  constexpr uint32_t kAhead = 8;
  PathHashes ahead[kAhead];
  for (uint32_t i = 0; i < kAhead && i < count; ++i) ahead[i] = PathHash<Shape>(source.Name(i));
  FolderMemo<Shape> memo;
  for (uint32_t i = 0; i < count; ++i) {
    const PathHashes hashes = ahead[i % kAhead];
    // A name that is not ASCII is hashed as stored, not as converted: its slot is fetched in
    // vain, which costs nothing but the fetch, and its hash is made again from the text.
    if (i + kAhead < count) {
      ahead[i % kAhead] = PathHash<Shape>(source.Name(i + kAhead));
      index.Prefetch(ahead[i % kAhead].path);
    }
    // Names are kept as UTF-8 text; one of ASCII alone reads the same in every coding.
    const std::string_view stored = source.Name(i);
    std::string_view name = stored;
    const bool ascii = IsAscii(stored);
    if (!ascii) {
      texts->push_back(source.NameTextOf(i));
      name = texts->back();
    }
    // What NamesDirectory tells of the entry is what Insert makes of it.
    if (!Insert(shape, index, name, i, source.Size(i), ascii ? &hashes : nullptr, &memo, &why)) return why;
  }
  return Failure();
}

}  // namespace

bool NamesDirectory(const ArchiveSource& source, uint32_t index) {
  const std::string_view stored = source.Name(index);
  if (IsAscii(stored)) return IsDirectoryPath(stored);
  return IsDirectoryPath(source.NameTextOf(index));
}

Failure BuildTree(ArchiveDocument* doc, bool keepCase) {
  doc->tree.reset();
  std::unique_ptr<ArchiveTree> tree(new ArchiveTree(keepCase));
  if (const ArchiveSource* source = doc->source.get()) {
    TreeShape shape(*tree);
    // The tree copies each name it is given: converted names are needed only while one is added.
    std::deque<std::string> texts;
    const Failure why = InsertAll(shape, *source, &texts);
    if (why) return why;
  }
  doc->tree = std::move(tree);
  return Failure();
}

Failure SourceWalk::Make(const ArchiveSource& source, bool keepCase) {
  nodes_.clear();
  shadowed_.clear();
  texts_.clear();
  files_.clear();
  keepCase_ = keepCase;
  // Room for the folders too, which the source need not store: growing would copy them all.
  nodes_.reserve(static_cast<size_t>(source.Count()) + source.Count() / 8 + 64);
  nodes_.push_back(Place{});
  Shape shape(*this);
  const Failure why = InsertAll(shape, source, &texts_);
  if (why) {
    nodes_.clear();
    shadowed_.clear();
    texts_.clear();
    return why;
  }
  // The files in the order a walk of the tree meets them: each node before its children,
  // which come newest first, as in the tree. A child's place is after its parent's, so one
  // pass from the last place back counts each node's files (its children all counted
  // before it) and gives each child the files of its newer siblings, which come before it:
  // its start within its parent's run. A pass forward then adds the parent's start. Both
  // passes read the places in order, where following the links of the tree would jump
  // about them.
  for (size_t n = nodes_.size() - 1; n > 0; --n) {
    Place& place = nodes_[n];
    if (place.entry != kNone) place.files = 1;
    Place& parent = nodes_[place.parent];
    place.start = parent.files;
    parent.files += place.files;
  }
  files_.resize(nodes_[0].files);
  for (size_t n = 1; n < nodes_.size(); ++n) {
    Place& place = nodes_[n];
    place.start += nodes_[place.parent].start;
    if (place.entry != kNone) files_[place.start] = place.entry;
  }
  return Failure();
}

std::string SourceWalk::TreePath(uint32_t node) const {
  std::string path;
  for (uint32_t n = node; n != 0; n = nodes_[n].parent) {
    std::string name(nodes_[n].name);
    if (!keepCase_) LowerCaseAscii(&name);
    path.insert(0, path.empty() ? name : name + "/");
  }
  return path;
}
