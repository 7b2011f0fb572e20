#include "window/compare.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "archive/archive_compare.h"
#include "archive/game_folder.h"
#include "archive/loading.h"
#include "archive/tree.h"
#include "panes/window_document.h"
#include "services/core/archive_text.h"
#include "services/core/path_length.h"
#include "services/file_dialogs.h"
#include "services/message_box.h"
#include "services/save_window.h"
#include "services/settings.h"
#include "window/compare_dialog.h"

namespace {

const char kCompareCaption[] = "Compare";
// A comparison that ends sooner shows no progress dialog at all: one flashing up for a
// moment only distracts.
constexpr DWORD kProgressDelay = 400;
// How often the window thread looks at the worker while it waits.
constexpr DWORD kWatchInterval = 25;

// The progress of the worker's comparison, kept for the window thread to show: the worker
// only writes here, the window thread only reads, and asks it to stop through stop.
class SharedProgress : public SaveHost, public SaveProgress {
 public:
  void Repaint() override {}
  SaveProgress* OpenProgress(uint32_t steps) override {
    steps_ = steps;
    return this;
  }
  void ShowItem(const char* storedPath, uint32_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    item_ = storedPath;
    itemSize_ = size;
    itemChanged_ = true;
  }
  void Step() override { ++position_; }
  bool Cancelled() override { return stop_; }
  void Close() override {}

  void Stop() { stop_ = true; }
  uint32_t steps() const { return steps_; }
  uint32_t position() const { return position_; }
  // The item shown last, when it changed since the last call.
  bool TakeItem(std::string* item, uint32_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!itemChanged_) return false;
    itemChanged_ = false;
    *item = item_;
    *size = itemSize_;
    return true;
  }

 private:
  std::atomic<uint32_t> steps_{0}, position_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string item_;
  uint32_t itemSize_ = 0;
  bool itemChanged_ = false;
};

// One comparison: what the worker is given, and what it leaves.
struct CompareJob {
  const WindowDocument* a = nullptr;
  std::string pathB;
  bool folderB = false;
  bool keepCase = false;
  // Side B when it is an archive, opened and read by the worker; the reason when it cannot be.
  ArchiveDocument b;
  Failure openFailure;
  const ArchiveFormat* formatB = nullptr;
  Comparison comparison;
  SharedProgress progress;
};

// On the worker: opens side B when it is an archive, then compares.
void Work(CompareJob* job) {
  // A folder holding archives its game searches is compared as the game reads it.
  const EngineTarget target = job->folderB ? GuessFolderTarget(job->pathB) : EngineTarget::Any;
  const bool gameFolder = job->folderB && HoldsSearchedArchives(job->pathB, target);
  if (gameFolder) job->folderB = false;
  if (!job->folderB) {
    job->b.source =
        OpenArchiveOrGameFolder(job->pathB, gameFolder ? &target : nullptr, &job->openFailure, &job->formatB);
    if (!job->b.source) return;
    if (const GameFolderSource* folder = job->b.source->AsGameFolder()) job->b.target = folder->target();
    job->openFailure = BuildTree(&job->b, job->keepCase);
    if (job->openFailure) return;
  }
  const CompareSide b = job->folderB ? CompareSide::Folder(job->pathB) : CompareSide::Archive(&job->b);
  CompareOptions options;
  options.keepCase = job->keepCase;
  job->comparison = CompareSides(CompareSide::Archive(job->a), b, options, &job->progress);
}

// Runs the job on a worker while the window thread waits, showing the "Comparing..." dialog
// once it takes long and passing its Cancel on. Only that dialog's messages are taken
// meanwhile, so nothing else of the program acts, and the document stays as it is.
void RunOffWindowThread(HWND window, CompareJob* job) {
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (done == nullptr) {
    Work(job);
    return;
  }
  std::thread worker([job, done] {
    Work(job);
    SetEvent(done);
  });
  const DWORD started = GetTickCount();
  HWND dialog = nullptr;
  bool opened = false;  // once: a dialog that cannot be made is not tried again and again
  std::string item;
  uint32_t size = 0;
  while (WaitForSingleObject(done, kWatchInterval) == WAIT_TIMEOUT) {
    if (!opened && GetTickCount() - started >= kProgressDelay) {
      opened = true;
      dialog = ProgressOpen(window, job->progress.steps());
      if (dialog) SetWindowTextA(dialog, "Comparing...");
    }
    if (dialog == nullptr) continue;
    ProgressMoveTo(dialog, job->progress.steps(), job->progress.position());
    if (job->progress.TakeItem(&item, &size)) ProgressShowItem(dialog, item.c_str(), size);
    if (ProgressCancelled(dialog)) job->progress.Stop();
  }
  worker.join();
  CloseHandle(done);
  if (dialog) DestroyWindow(dialog);
}

// Asks for side B; false when the user chose none.
bool AskForOtherSide(HWND window, bool folder, std::string* path) {
  char chosen[kPathBufferSize] = {};
  if (folder) {
    if (!BrowseForDirectory(window, chosen, "Select the folder to compare the archive with")) return false;
  } else if (!ShowOpenDialog(chosen, sizeof chosen, nullptr, kArchiveFilter, "Compare With",
                             OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON)) {
    return false;
  }
  // Shown as the windows show their paths: lower-cased unless the case of names is kept.
  if (!g_settings.keepCase) LowerCaseAscii(chosen);
  *path = chosen;
  return true;
}

}  // namespace

void CompareWithOtherSide(HWND window, WindowDocument* doc, bool folder) {
  if (!doc || !doc->root()) return;
  std::string pathB;
  if (!AskForOtherSide(window, folder, &pathB)) return;
  // The job is large (two result lists, a document): it lives on the heap, not the stack.
  std::unique_ptr<CompareJob> job(new (std::nothrow) CompareJob());
  if (!job) {
    ShowErrorMessage(window, "There is not enough memory to compare.", kCompareCaption);
    return;
  }
  job->a = doc;
  job->pathB = pathB;
  job->folderB = folder;
  job->keepCase = g_settings.keepCase;
  RunOffWindowThread(window, job.get());
  if (job->openFailure) {
    const char* format = job->formatB ? job->formatB->name : nullptr;
    OwnedMessageBox(window).ShowMessage(ArchiveErrorMessage(format, pathB, job->openFailure).c_str(), kCompareCaption,
                                        MessageIcon::Stop);
    return;
  }
  // Cancelled: the user knows, and an incomplete list would mislead.
  if (job->comparison.cancelled) return;
  CompareOutcome outcome;
  outcome.window = window;
  outcome.doc = doc;
  outcome.pathB = pathB;
  outcome.folderB = job->folderB;
  outcome.gameFolderB = IsGameFolderView(&job->b);
  outcome.comparison = std::move(job->comparison);
  // B's file is let go before the dialog: a patch may even be saved over it.
  job.reset();
  ShowCompareDialog(&outcome);
}
