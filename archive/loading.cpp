// Opening an archive file by its name, and turning the stored paths of a source into the
// archive tree.
#include "archive/loading.h"

#include <cstring>
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

// The children of every directory by name (compared as the tree compares them, without
// regard to case), while a whole source is turned into a tree: looking a name up by walking
// a directory's list would make loading quadratic in the size of the largest directory.
// Open addressing with linear probing, kept at most half full; a name added twice is found
// as the one added first.
class ChildIndex {
 public:
  explicit ChildIndex(size_t expected) {
    size_t capacity = 64;
    while (capacity / 2 < expected) capacity *= 2;
    slots_.resize(capacity);
  }
  Node* Find(const Node* parent, std::string_view name) const {
    const uint32_t hash = Hash(parent, name);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i].node; i = (i + 1) & mask) {
      const Node* node = slots_[i].node;
      if (slots_[i].hash == hash && node->parent() == parent && SameName(node->name(), std::string(name)))
        return slots_[i].node;
    }
    return nullptr;
  }
  void Add(Node* node) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    Place(slots_, Slot{node, Hash(node->parent(), node->name())});
    ++used_;
  }

 private:
  struct Slot {
    Node* node = nullptr;
    uint32_t hash = 0;
  };
  // FNV-1a over the name with its ASCII letters lower-cased, started from a mix of the
  // parent's id.
  static uint32_t Hash(const Node* parent, std::string_view name) {
    uint32_t h = 2166136261u ^ static_cast<uint32_t>((parent->id() * 0x9E3779B97F4A7C15ull) >> 32);
    for (const char c : name) {
      h ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      h *= 16777619u;
    }
    return h;
  }
  static void Place(std::vector<Slot>& slots, const Slot& slot) {
    const size_t mask = slots.size() - 1;
    size_t i = slot.hash & mask;
    while (slots[i].node) i = (i + 1) & mask;
    slots[i] = slot;
  }
  void Grow() {
    std::vector<Slot> larger(slots_.size() * 2);
    for (const Slot& slot : slots_)
      if (slot.node) Place(larger, slot);
    slots_.swap(larger);
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

Failure Refused(Problem problem, const std::string& stored, const std::string& through = std::string()) {
  Failure f = Fail(problem, stored);
  f.other = through;
  return f;
}

// Inserts one stored path, the name of entry index of the source, into the tree. stored is
// that name as UTF-8 text; components is the caller's, reused from path to path. The tree
// takes each component's name by its own rule.
Failure Insert(ArchiveTree& tree, ChildIndex& index, const std::string& stored,
               std::vector<std::string_view>& components, uint32_t entry, uint32_t size) {
  // The whole stored name counts: cut at a NUL it would name another file than stored.
  if (stored.find('\0') != std::string::npos) return Refused(Problem::NulInName, stored);
  const bool isDirectory = !stored.empty() && stored.back() == '/';
  // The components; empty ones (a leading "/", "//") and "." name nothing and are passed over.
  components.clear();
  const std::string_view whole(stored);
  for (size_t at = 0; at < whole.size();) {
    size_t end = whole.find('/', at);
    if (end == std::string_view::npos) end = whole.size();
    const std::string_view component = whole.substr(at, end - at);
    if (!component.empty() && component != ".") components.push_back(component);
    at = end + 1;
  }
  // A file left out of the tree would be lost at the next save: a path that names no file
  // refuses the archive. A directory path naming only the root ("/", "./") loses nothing.
  if (components.empty()) return !isDirectory || stored.empty() ? Refused(Problem::NamesNoFile, stored) : Failure();

  // There is no fixed limit on the number of components: the 16-bit name length of a ZIP
  // record already bounds the depth a path can reach.
  Node* node = tree.root();
  for (size_t i = 0; i < components.size(); ++i) {
    const std::string_view component = components[i];
    const bool last = i + 1 == components.size();
    const size_t throughLength = static_cast<size_t>(component.data() - stored.data()) + component.size();
    Node* existing = index.Find(node, component);
    if (existing) {
      if (last) {
        // A directory entry for a directory that exists (real archives store it after its
        // contents) changes nothing. A file stored again under the same name (in any case)
        // is kept beside the first, which shadows it: a save loses neither. A file and a
        // folder of one name cannot both be shown.
        if (existing->IsDirectory() && isDirectory) return Failure();
        if (existing->IsFile() && !isDirectory) {
          tree.AddFile(node, std::string(component), SourceEntry{entry, size});
          return Failure();
        }
        return Refused(Problem::FileAndFolder, stored);
      }
      // A path that runs through a file, which cannot hold children, refuses the archive.
      if (!existing->IsDirectory()) return Refused(Problem::ThroughFile, stored, stored.substr(0, throughLength));
      node = existing;
      continue;
    }
    if (!last || isDirectory)
      node = tree.AddDirectory(node, std::string(component));
    else
      node = tree.AddFile(node, std::string(component), SourceEntry{entry, size});
    index.Add(node);
  }
  return Failure();
}

}  // namespace

Failure BuildTree(ArchiveDocument* doc, bool keepCase) {
  doc->tree.reset();
  std::unique_ptr<ArchiveTree> tree(new ArchiveTree(keepCase));
  if (ArchiveSource* source = doc->source.get()) {
    const uint32_t count = source->Count();
    ChildIndex index(count);
    std::string text;
    std::vector<std::string_view> components;
    for (uint32_t i = 0; i < count; ++i) {
      // Names are kept as UTF-8 text; one of ASCII alone reads the same in every coding.
      const std::string& stored = source->Name(i);
      const bool ascii = IsAscii(stored);
      if (!ascii) text = source->NameTextOf(i);
      const std::string& name = ascii ? stored : text;
      const Failure why = Insert(*tree, index, name, components, i, source->Size(i));
      if (why) return why;
    }
  }
  doc->tree = std::move(tree);
  return Failure();
}
