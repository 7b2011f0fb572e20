// Turning the stored paths of an open source archive into the archive tree,
// and the node makers shared with the editing operations.
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/child_index.h"
#include "archive/loading.h"
#include "archive/quoted_name.h"

namespace {

ArchiveEntry* NewEntry(EntryKind kind, const char* name) {
  auto* entry = static_cast<ArchiveEntry*>(std::calloc(1, sizeof(ArchiveEntry)));
  if (entry == nullptr) return nullptr;
  entry->name = CopyString(name);
  if (entry->name == nullptr) {
    std::free(entry);
    return nullptr;
  }
  entry->kind = static_cast<uint32_t>(kind);
  return entry;
}

// Links a fresh entry under parent; on failure the entry is freed.
ArchiveNode* LinkEntry(ArchiveNode* parent, ArchiveEntry* entry) {
  if (entry == nullptr) return nullptr;
  ArchiveNode* node = TreeAddChild(parent, entry);
  if (node == nullptr) {
    FreeEntry(entry);
    return nullptr;
  }
  entry->node = node;
  return node;
}

// Takes a node that was just linked out of the tree again, with its entry.
void DropNode(ArchiveNode* node) {
  TreeUnlink(node);
  TreeFree(node, FreeEntry);
}

// What inserting one stored path did.
enum class Insertion {
  Added,       // the node of the path's last component was made
  Unchanged,   // a directory that exists already, or a path naming no component
  StoredTwice,  // a file path that exists already (also once lower-cased)
  ThroughFile,  // a leading component names a file
  NoName,       // a file path with no component to name it by ("", ".", "/")
  NulInName,    // the stored name holds a NUL byte, which no name in the tree can
  Failed,       // out of memory, or the folder tree refused an item
};

struct PathInserter {
  FolderTree& folderTree;
  ChildIndex* index;  // null: look children up by walking the list
  std::string* why;   // receives the reason of a refused path; may be null


  // Keeps the index complete. When it cannot grow, it is given up and the
  // lookups fall back to walking the child lists, which the tree still has.
  ArchiveNode* Indexed(ArchiveNode* node) {
    if (node && index && !ChildIndexAdd(index, node)) {
      ChildIndexFree(index);
      index = nullptr;
    }
    return node;
  }

  ArchiveNode* MakeFile(ArchiveNode* parent, const char* name, PakDirEntry* pakEntry,
                        Pk3CentralRecord* pk3Record) {
    if (pakEntry) return Indexed(AddPakFileNode(parent, pakEntry, name));
    ArchiveEntry* entry = NewEntry(EntryKind::Pk3File, name);
    if (entry) entry->pk3Record = pk3Record;
    return Indexed(LinkEntry(parent, entry));
  }

  Insertion Refuse(Insertion outcome, const char* stored, size_t length, const char* path,
                   size_t throughLength) {
    if (why == nullptr) return outcome;
    if (outcome == Insertion::StoredTwice)
      *why = QuotedName(stored, length) + " is stored twice";
    else if (outcome == Insertion::NoName)
      *why = "an entry is stored under " + QuotedName(stored, length) + ", which names no file";
    else if (outcome == Insertion::NulInName)
      *why = QuotedName(stored, length) + ": the name holds a NUL byte, which no file name can";
    else if (outcome == Insertion::ThroughFile)
      *why = QuotedName(stored, length) + ": a path runs through the file " + QuotedName(path, throughLength);
    else
      *why = "not enough memory";
    return outcome;
  }

  // Inserts one stored path of `length` bytes (it need not be NUL-terminated)
  // referring to exactly one of pakEntry and pk3Record.
  Insertion Insert(ArchiveNode* root, const char* stored, size_t length, PakDirEntry* pakEntry,
                   Pk3CentralRecord* pk3Record) {
    // The whole stored name counts: cut at a NUL it would name another file than stored.
    if (std::memchr(stored, '\0', length) != nullptr)
      return Refuse(Insertion::NulInName, stored, length, nullptr, 0);
    char* path = CopyString(stored, length);
    if (path == nullptr) return Refuse(Insertion::Failed, stored, length, nullptr, 0);
    LowerCaseInPlace(path);
    const bool isDirectory = length > 0 && path[length - 1] == '/';
    char* cursor = path;
    // Cuts the next component out of the copy in place. Empty components (a leading "/",
    // "//") and "." name nothing and are passed over.
    auto nextComponent = [&cursor]() -> char* {
      for (;;) {
        while (*cursor == '/') ++cursor;
        if (*cursor == '\0') return nullptr;
        char* start = cursor;
        while (*cursor && *cursor != '/') ++cursor;
        if (*cursor) *cursor++ = '\0';
        if (std::strcmp(start, ".") != 0) return start;
      }
    };

    // There is no fixed limit on the number of components: the 16-bit name
    // length of a ZIP record already bounds the depth a path can reach.
    Insertion outcome = Insertion::Unchanged;
    ArchiveNode* node = root;
    char* component = nextComponent();
    while (component) {
      char* following = nextComponent();
      const bool last = following == nullptr;
      ArchiveNode* existing = FindChildIndexed(index, node, component);
      if (existing) {
        const bool directory = IsKind(existing->entry, EntryKind::Directory);
        // A directory entry for a directory that exists (real archives store it after
        // its contents) changes nothing; a file stored twice, or a path that runs
        // through a file, which cannot hold children, refuses the archive.
        if (last && directory && isDirectory) break;
        if (last || !directory) {
          outcome = last ? Insertion::StoredTwice : Insertion::ThroughFile;
          // The stored path up to the end of the file's component, as stored.
          Refuse(outcome, stored, length, stored,
                 static_cast<size_t>(component - path) + std::strlen(component));
          break;
        }
        node = existing;
      } else {
        if (!last || isDirectory)
          node = Indexed(AddDirectoryNode(folderTree, node, component));
        else
          node = MakeFile(node, component, pakEntry, pk3Record);
        if (node == nullptr) {
          outcome = Refuse(Insertion::Failed, stored, length, nullptr, 0);
          break;
        }
        if (last) outcome = Insertion::Added;
      }
      component = following;
    }
    std::free(path);
    // A file left out of the tree would be lost at the next save: a path that names no file
    // refuses the archive. A directory path naming only the root ("/", "./") loses nothing.
    if (outcome == Insertion::Unchanged && node == root && (!isDirectory || length == 0))
      return Refuse(Insertion::NoName, stored, length, nullptr, 0);
    return outcome;
  }
};

bool Accepted(Insertion outcome) {
  return outcome == Insertion::Added || outcome == Insertion::Unchanged;
}

}  // namespace

ArchiveNode* AddDirectoryNode(FolderTree& folderTree, ArchiveNode* parentNode, const char* name) {
  if (parentNode == nullptr || parentNode->entry == nullptr || name == nullptr) return nullptr;
  ArchiveNode* node = LinkEntry(parentNode, NewEntry(EntryKind::Directory, name));
  if (node == nullptr) return nullptr;
  TreeItem parentItem = parentNode->entry->treeItem;
  TreeItem item = folderTree.InsertFolderItem(parentItem, node->entry);
  if (item == nullptr) {
    DropNode(node);
    return nullptr;
  }
  node->entry->treeItem = item;
  node->entry->parentTreeItem = parentItem;
  return node;
}

ArchiveNode* AddPakFileNode(ArchiveNode* parentNode, PakDirEntry* pakEntry, const char* name) {
  if (parentNode == nullptr || name == nullptr) return nullptr;
  ArchiveEntry* entry = NewEntry(EntryKind::PakFile, name);
  if (entry) entry->pakEntry = pakEntry;
  return LinkEntry(parentNode, entry);
}

int InsertPk3EntryByPath(FolderTree& folderTree, ArchiveNode* rootNode, Pk3CentralRecord* record) {
  if (rootNode == nullptr || record == nullptr || record->name == nullptr) return 0;
  PathInserter inserter{folderTree, nullptr, nullptr};
  return inserter.Insert(rootNode, record->name, std::strlen(record->name), nullptr, record) ==
                 Insertion::Added
             ? 1
             : 0;
}

ArchiveNode* TreeBuildFromSource(ArchiveDocument* doc, FolderTree& folderTree, std::string* why) {
  if (why) why->clear();
  if (doc == nullptr) return nullptr;
  ArchiveNode* root = TreeNewRoot();
  if (root != nullptr) root->entry = NewEntry(EntryKind::Root, "/");
  if (root == nullptr || root->entry == nullptr) {
    TreeFree(root, FreeEntry);
    if (why) *why = "not enough memory";
    return nullptr;
  }
  root->entry->node = root;
  root->entry->treeItem = folderTree.InsertRootItem(root->entry);
  root->entry->parentTreeItem = folderTree.RootMarker();
  if (root->entry->treeItem == nullptr) {
    TreeFree(root, FreeEntry);
    if (why) *why = "not enough memory";
    return nullptr;
  }

  PakArchive* pak = DocumentPak(doc);
  Pk3Archive* pk3 = DocumentPk3(doc);
  const size_t count = pak ? pak->entryCount : pk3 ? pk3->TotalEntries() : 0;
  ChildIndex index{};
  // Without the index the tree is still built, only by slower lookups.
  const bool indexed = count > 0 && ChildIndexInit(&index, count * 2);
  PathInserter inserter{folderTree, indexed ? &index : nullptr, why};
  bool ok = true;
  if (pak) {
    for (uint32_t i = 0; ok && i < pak->entryCount; ++i) {
      PakDirEntry* slot = &pak->entries[i];
      // A name that fills all 56 bytes has no terminating NUL.
      const void* nul = std::memchr(slot->name, '\0', kPakNameSize);
      size_t length =
          nul ? static_cast<size_t>(static_cast<const char*>(nul) - slot->name) : kPakNameSize;
      ok = Accepted(inserter.Insert(root, slot->name, length, slot, nullptr));
    }
  } else if (pk3 && pk3->records) {
    for (size_t i = 0; ok && i < count; ++i) {
      Pk3CentralRecord* record = &pk3->records[i];
      ok = record->name &&
           Accepted(inserter.Insert(root, record->name, record->Get16(zipc::kNameLength), nullptr, record));
    }
  }
  ChildIndexFree(&index);
  if (!ok) {
    TreeFree(root, FreeEntry);
    return nullptr;
  }
  doc->root = root;
  return root;
}
