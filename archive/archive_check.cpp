#include "archive/archive_check.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "archive/entry_data.h"
#include "archive/entry_read_ahead.h"
#include "archive/save_pipeline.h"
#include "archive/format.h"
#include "archive/loading.h"
#include "archive/thread_start.h"

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

namespace {

// Checks the source's entries in order (nearly always the order their bytes lie in, so
// neighbours come in one read and the file is read once, front to back): damagedAt is given
// the place in order of each damaged entry. Only a small file whose entries lie out of that
// order is read whole first. helpers (may be null) is offered the work meanwhile.
void CheckStoredEntries(const ArchiveDocument* doc, const std::vector<uint32_t>& order, SaveProgress* progress,
                        unsigned workers, bool readWhole, ArchiveCheckResult* result, std::vector<size_t>* damagedAt,
                        ReadAheadHelpers* helpers = nullptr) {
  ArchiveSource* source = doc->source.get();
  EntryReadAhead ahead(doc, order, CheckOptions(workers, readWhole && !source->StoredInFileOrder()));
  const ReadAheadOffer offer(helpers, &ahead);
  CheckInOrder(
      ahead, order.size(), progress, [&](size_t i) { return source->NameTextOf(order[i]); },
      [&](size_t i) { return source->Size(order[i]); }, [&](size_t i) { return source->CheckPlacement(order[i]); },
      result, damagedAt);
}

// Puts the damage CheckStoredEntries found in the walk's order and names the paths stored
// more than once. False, leaving result as it was, when the entries checked are not the
// walk's files.
bool TellInWalkOrder(const SourceWalk& walk, const std::vector<uint32_t>& order, const std::vector<size_t>& damagedAt,
                     uint32_t entries, ArchiveCheckResult* result) {
  const std::vector<uint32_t>& files = walk.Files();
  constexpr uint32_t kNotFile = UINT32_MAX;
  std::vector<uint32_t> walkPlace(entries, kNotFile);  // an entry's place in files
  for (size_t i = 0; i < files.size(); ++i) walkPlace[files[i]] = static_cast<uint32_t>(i);
  if (!result->cancelled && order.size() != files.size()) return false;
  for (size_t k = 0; k < result->files; ++k)
    if (walkPlace[order[k]] == kNotFile) return false;
  std::vector<size_t> byWalk(damagedAt.size());
  for (size_t k = 0; k < byWalk.size(); ++k) byWalk[k] = k;
  const auto placeOf = [&](size_t k) { return walkPlace[order[damagedAt[k]]]; };
  std::sort(byWalk.begin(), byWalk.end(), [&](size_t a, size_t b) { return placeOf(a) < placeOf(b); });
  std::vector<DamagedEntry> damaged;
  damaged.reserve(byWalk.size());
  for (const size_t k : byWalk) damaged.push_back(std::move(result->damaged[k]));
  result->damaged.swap(damaged);
  std::unordered_map<uint32_t, size_t> listed;  // a shown file's place -> its place in duplicates
  for (const SourceWalk::Shadowed& shadowed : walk.ShadowedFiles()) {
    const auto known = listed.emplace(shadowed.first, result->duplicates.size());
    if (known.second)
      result->duplicates.push_back(DuplicatePath{walk.TreePath(shadowed.first), 2});
    else
      ++result->duplicates[known.first->second].times;
  }
  return true;
}

// The caller's progress, which also stops the check once the walk made beside it failed.
class WalkingProgress : public SaveProgress {
 public:
  WalkingProgress(SaveProgress* inner, const std::atomic<bool>& walkFailed) : inner_(inner), walkFailed_(walkFailed) {}
  void ShowItem(const char* storedPath, uint32_t size) override {
    if (inner_) inner_->ShowItem(storedPath, size);
  }
  bool ShowsItems() const override { return inner_ && inner_->ShowsItems(); }
  void Step() override {
    if (inner_) inner_->Step();
  }
  bool Cancelled() override { return walkFailed_.load(std::memory_order_relaxed) || (inner_ && inner_->Cancelled()); }
  void Close() override {}

 private:
  SaveProgress* inner_;
  const std::atomic<bool>& walkFailed_;
};

}  // namespace

ArchiveCheckResult CheckSourceEntries(const ArchiveDocument* doc, const SourceWalk& walk, SaveProgress* progress,
                                      unsigned workers, bool readWhole) {
  ArchiveCheckResult result;
  ArchiveSource* source = doc ? doc->source.get() : nullptr;
  if (source == nullptr) return result;
  source->PrepareToLocate();
  // The walk's files in the order the source stores them.
  std::vector<bool> isFile(source->Count());
  for (const uint32_t entry : walk.Files()) isFile[entry] = true;
  std::vector<uint32_t> order;
  order.reserve(walk.Files().size());
  for (uint32_t entry = 0; entry < isFile.size(); ++entry)
    if (isFile[entry]) order.push_back(entry);
  std::vector<size_t> damagedAt;
  CheckStoredEntries(doc, order, progress, workers, readWhole, &result, &damagedAt);
  TellInWalkOrder(walk, order, damagedAt, source->Count(), &result);
  return result;
}

Failure WalkAndCheckEntries(const ArchiveDocument* doc, SourceWalk* walk, bool keepCase, CheckWhileWalking* check) {
  ArchiveSource* source = doc->source.get();
  check->result = ArchiveCheckResult();
  std::atomic<bool> walkFailed{false};
  WalkingProgress progress(check->progress, walkFailed);
  std::vector<uint32_t> order;  // the entries a walk that passes holds as files, as stored
  std::vector<size_t> damagedAt;
  // The order is made on this thread while the other one reads the local headers, which
  // takes longer: the walk has time to spare, the check none.
  std::mutex orderMutex;
  std::condition_variable orderMade;
  bool orderReady = false;
  // Once the walk is made, this thread helps the check with its work.
  ReadAheadHelpers helpers;
  // The walk asks the source only for names and sizes, which the check leaves alone; the
  // check's reading (of the file at offsets) is all the other thread's.
  std::thread checker = StartBeside([&] {
    source->PrepareToLocate();
    {
      std::unique_lock<std::mutex> lock(orderMutex);
      orderMade.wait(lock, [&] { return orderReady; });
    }
    if (check->begin) check->begin(static_cast<uint32_t>(order.size()));
    CheckStoredEntries(doc, order, &progress, check->workers, check->readWhole, &check->result, &damagedAt, &helpers);
    helpers.Withdraw();  // also when nothing was offered
  });
  const uint32_t count = source->Count();
  order.reserve(count);
  for (uint32_t entry = 0; entry < count; ++entry)
    if (!NamesDirectory(*source, entry)) order.push_back(entry);
  {
    std::lock_guard<std::mutex> lock(orderMutex);
    orderReady = true;
  }
  orderMade.notify_one();
  const Failure why = walk->Make(*source, keepCase);
  if (why)
    walkFailed = true;
  else
    helpers.Help();
  checker.join();
  if (why) {
    check->result = ArchiveCheckResult();
    return why;
  }
  // The walk holds as files exactly the entries that name no directory: should it not, the
  // check is made again from the walk itself.
  if (!TellInWalkOrder(*walk, order, damagedAt, source->Count(), &check->result))
    check->result = CheckSourceEntries(doc, *walk, check->progress, check->workers, check->readWhole);
  return Failure();
}

uint32_t CountCheckedEntries(const SourceWalk& walk) { return static_cast<uint32_t>(walk.Files().size()); }
