#include "archive/archive_check.h"

#include <unordered_map>

#include "archive/entry_data.h"
#include "archive/entry_read_ahead.h"
#include "archive/save_pipeline.h"
#include "archive/format.h"

uint32_t CountCheckedEntries(const ArchiveDocument* doc) {
  return doc && doc->root() ? CountFiles(doc->root()->firstChild()) : 0;
}

ArchiveCheckResult CheckArchiveEntries(const ArchiveDocument* doc, SaveProgress* progress, unsigned workers,
                                       bool readWhole) {
  ArchiveCheckResult result;
  const Node* root = doc ? doc->root() : nullptr;
  std::vector<const Node*> files;
  for (const Node* n = root; n; n = NextInSubtree(n, root))
    if (n->IsFile()) files.push_back(n);
  ReadAheadOptions options;
  options.workers = workers;
  if (!readWhole) options.wholeFile = 0;
  EntryReadAhead ahead(doc, files, options);
  for (const Node* n : files) {
    if (progress && progress->Cancelled()) {
      result.cancelled = true;
      break;
    }
    const std::string stored = n->source() ? StoredNameOf(doc, n) : n->name();
    if (progress) progress->ShowItem(stored.c_str(), n->size());
    EntryOutcome outcome;
    while (!ahead.Next(kSaveWaitSlice, &outcome)) {
      if (progress && progress->Cancelled()) {
        result.cancelled = true;
        break;
      }
    }
    // Stopped while this entry was read: the result covers the files before it.
    if (result.cancelled) break;
    ++result.files;
    Failure problem = EntryPlacement(doc, n);
    if (!problem && outcome.load != EntryLoad::Ok) {
      problem = Fail(Problem::LoadFailed, stored);
      problem.load = outcome.load;
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
