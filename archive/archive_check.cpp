#include "archive/archive_check.h"

#include <algorithm>
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
// damagedAt (may be null) is given the i of each damaged entry, in the order of damaged.
template <typename NameOf, typename SizeOf, typename PlacementOf>
void CheckInOrder(EntryReadAhead& ahead, size_t count, SaveProgress* progress, const NameOf& nameOf,
                  const SizeOf& sizeOf, const PlacementOf& placementOf, ArchiveCheckResult* result,
                  std::vector<size_t>* damagedAt = nullptr) {
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
    if (problem) {
      result->damaged.push_back(DamagedEntry{name(), problem});
      if (damagedAt) damagedAt->push_back(i);
    }
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
    source->PrepareToLocate(nullptr, 0);
    if (readWhole && !source->StoredInFileOrder())
      start->wholeFile = EntryReadAhead::ReadWholeFile(doc, source->Count(), CheckOptions(0, true));
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
  // The entries are read in the order the archive stores them, which is nearly always the
  // order their bytes lie in: neighbours come in one read, and the file is read once, front
  // to back, whatever the walk's order. Only a small file whose entries lie out of that
  // order is read whole first. What is found is told in walk order all the same.
  if (start == nullptr) source->PrepareToLocate(nullptr, 0);
  const std::vector<uint32_t>& files = walk.Files();
  constexpr uint32_t kNotRead = UINT32_MAX;
  std::vector<uint32_t> walkPlace(source->Count(), kNotRead);  // an entry's place in files
  for (size_t i = 0; i < files.size(); ++i) walkPlace[files[i]] = static_cast<uint32_t>(i);
  std::vector<uint32_t> order, orderPlace;  // the entries as stored, and their places in files
  order.reserve(files.size());
  orderPlace.reserve(files.size());
  for (uint32_t entry = 0; entry < walkPlace.size(); ++entry)
    if (walkPlace[entry] != kNotRead) {
      order.push_back(entry);
      orderPlace.push_back(walkPlace[entry]);
    }
  std::vector<uint32_t>().swap(walkPlace);
  ReadAheadOptions options = CheckOptions(workers, readWhole && !source->StoredInFileOrder());
  if (start) options.fileRead = start->wholeFile;
  const size_t count = order.size();
  EntryReadAhead ahead(doc, std::move(order), options);
  // The read ahead keeps its own copy of the order; the names are found through orderPlace.
  std::vector<size_t> damagedAt;
  CheckInOrder(
      ahead, count, progress, [&](size_t i) { return source->NameTextOf(files[orderPlace[i]]); },
      [&](size_t i) { return source->Size(files[orderPlace[i]]); },
      [&](size_t i) { return source->CheckPlacement(files[orderPlace[i]]); }, &result, &damagedAt);
  // The damage in walk order.
  std::vector<size_t> byWalk(damagedAt.size());
  for (size_t k = 0; k < byWalk.size(); ++k) byWalk[k] = k;
  std::sort(byWalk.begin(), byWalk.end(),
            [&](size_t a, size_t b) { return orderPlace[damagedAt[a]] < orderPlace[damagedAt[b]]; });
  std::vector<DamagedEntry> damaged;
  damaged.reserve(byWalk.size());
  for (const size_t k : byWalk) damaged.push_back(std::move(result.damaged[k]));
  result.damaged.swap(damaged);
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
