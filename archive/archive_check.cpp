#include "archive/archive_check.h"

#include <unordered_map>

#include "archive/entry_data.h"
#include "archive/format.h"

uint32_t CountCheckedEntries(const ArchiveDocument* doc) {
  return doc && doc->root() ? CountFiles(doc->root()->firstChild()) : 0;
}

ArchiveCheckResult CheckArchiveEntries(const ArchiveDocument* doc, SaveProgress* progress) {
  ArchiveCheckResult result;
  const Node* root = doc ? doc->root() : nullptr;
  for (const Node* n = root; n; n = NextInSubtree(n, root)) {
    if (!n->IsFile()) continue;
    if (progress && progress->Cancelled()) {
      result.cancelled = true;
      break;
    }
    ++result.files;
    const std::string stored = n->source() ? StoredNameOf(doc, n) : n->name();
    if (progress) progress->ShowItem(stored.c_str(), n->size());
    Failure problem = EntryPlacement(doc, n);
    if (!problem && !std::holds_alternative<MemoryBytes>(n->data())) {
      // Read in pieces and dropped: the check takes the same memory whatever the entry's size.
      const EntryLoad load = StreamEntryBytes(doc, n, nullptr);
      if (load != EntryLoad::Ok) {
        problem = Fail(Problem::LoadFailed, stored);
        problem.load = load;
      }
    }
    if (problem) result.damaged.push_back(DamagedEntry{stored, problem});
    if (progress) progress->Step();
  }
  if (root) {
    Shadows shadows(doc->source.get());
    std::unordered_map<const Node*, size_t> listed;  // a shown file -> its place in duplicates
    for (const Node* shadowed : ShadowedFiles(root, doc->source.get())) {
      const Node* shown = shadows.ShownFor(shadowed);
      const auto known = listed.emplace(shown, result.duplicates.size());
      if (known.second)
        result.duplicates.push_back(DuplicatePath{StoredPath(shown), 2});
      else
        ++result.duplicates[known.first->second].times;
    }
  }
  return result;
}
