#include "archive/archive_check.h"

#include <thread>
#include <unordered_map>

#include "archive/entry_data.h"
#include "archive/entry_read_ahead.h"
#include "archive/save_pipeline.h"
#include "archive/format.h"
#include "archive/loading.h"

uint32_t CountCheckedEntries(const ArchiveDocument* doc) {
  return doc && doc->root() ? CountFiles(doc->root()->firstChild()) : 0;
}

namespace {

// Hands out each entry's outcome in order and checks it: count entries, the i-th stored as
// nameOf(i), of sizeOf(i) bytes, placed in the file as placementOf(i) finds.
template <typename NameOf, typename SizeOf, typename PlacementOf>
void CheckInOrder(EntryReadAhead& ahead, size_t count, SaveProgress* progress, const NameOf& nameOf,
                  const SizeOf& sizeOf, const PlacementOf& placementOf, ArchiveCheckResult* result) {
  for (size_t i = 0; i < count; ++i) {
    if (progress && progress->Cancelled()) {
      result->cancelled = true;
      break;
    }
    // The name is made when it is shown, or for a damaged entry.
    std::string stored;
    bool named = false;
    const auto name = [&]() -> const std::string& {
      if (!named) stored = nameOf(i);
      named = true;
      return stored;
    };
    if (progress && progress->ShowsItems()) progress->ShowItem(name().c_str(), sizeOf(i));
    EntryOutcome outcome;
    while (!ahead.Next(kSaveWaitSlice, &outcome)) {
      if (progress && progress->Cancelled()) {
        result->cancelled = true;
        break;
      }
    }
    // Stopped while this entry was read: the result covers the files before it.
    if (result->cancelled) break;
    ++result->files;
    Failure problem = placementOf(i);
    if (!problem && outcome.load != EntryLoad::Ok) {
      problem = Fail(Problem::LoadFailed, name());
      problem.load = outcome.load;
    }
    if (problem) result->damaged.push_back(DamagedEntry{name(), problem});
    if (progress) progress->Step();
  }
}

ReadAheadOptions CheckOptions(unsigned workers, bool readWhole) {
  ReadAheadOptions options;
  options.workers = workers;
  if (!readWhole) options.wholeFile = 0;
  return options;
}

}  // namespace

ArchiveCheckResult CheckArchiveEntries(const ArchiveDocument* doc, SaveProgress* progress, unsigned workers,
                                       bool readWhole) {
  ArchiveCheckResult result;
  const Node* root = doc ? doc->root() : nullptr;
  std::vector<const Node*> files;
  for (const Node* n = root; n; n = NextInSubtree(n, root))
    if (n->IsFile()) files.push_back(n);
  EntryReadAhead ahead(doc, files, CheckOptions(workers, readWhole));
  CheckInOrder(
      ahead, files.size(), progress,
      [&](size_t i) { return files[i]->source() ? StoredNameOf(doc, files[i]) : files[i]->name(); },
      [&](size_t i) { return files[i]->size(); }, [&](size_t i) { return EntryPlacement(doc, files[i]); }, &result);
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

Failure MakeWalkForCheck(const ArchiveDocument* doc, SourceWalk* walk, bool keepCase, bool readWhole,
                         CheckStart* start) {
  ArchiveSource* source = doc->source.get();
  *start = CheckStart();
  // The walk asks the source only for names and sizes, which the reading leaves alone.
  const auto read = [&] {
    start->wholeFile = EntryReadAhead::ReadWholeFile(doc, source->Count(), CheckOptions(0, readWhole));
    if (start->wholeFile)
      source->PrepareToLocate(start->wholeFile->data(), start->wholeFile->size());
    else
      source->PrepareToLocate(nullptr, 0);
  };
  std::thread reader(read);
  const Failure why = walk->Make(*source, keepCase);
  reader.join();
  return why;
}

ArchiveCheckResult CheckSourceEntries(const ArchiveDocument* doc, const SourceWalk& walk, SaveProgress* progress,
                                      unsigned workers, bool readWhole, const CheckStart* start) {
  ArchiveCheckResult result;
  ArchiveSource* source = doc ? doc->source.get() : nullptr;
  if (source == nullptr) return result;
  const std::vector<uint32_t>& files = walk.Files();
  ReadAheadOptions options = CheckOptions(workers, readWhole);
  if (start) options.fileRead = start->wholeFile;
  EntryReadAhead ahead(doc, files, options);
  CheckInOrder(
      ahead, files.size(), progress, [&](size_t i) { return source->NameTextOf(files[i]); },
      [&](size_t i) { return source->Size(files[i]); }, [&](size_t i) { return source->CheckPlacement(files[i]); },
      &result);
  std::unordered_map<uint32_t, size_t> listed;  // a shown file's place -> its place in duplicates
  for (const SourceWalk::Shadowed& shadowed : walk.ShadowedFiles()) {
    const auto known = listed.emplace(shadowed.first, result.duplicates.size());
    if (known.second)
      result.duplicates.push_back(DuplicatePath{walk.TreePath(shadowed.first), 2});
    else
      ++result.duplicates[known.first->second].times;
  }
  return result;
}

uint32_t CountCheckedEntries(const SourceWalk& walk) { return static_cast<uint32_t>(walk.Files().size()); }
