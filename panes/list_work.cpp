#include "panes/list_work.h"

#include <algorithm>

ListWork::~ListWork() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ListWork::Replace(ListJobKind kind, std::vector<ListJob> jobs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(), [kind](const ListJob& j) { return j.kind == kind; }),
                jobs_.end());
    for (ListJob& job : jobs) jobs_.push_back(std::move(job));
    if (jobs_.empty()) return;
    // The thread starts with the first work, so that a window that never needs it has none.
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
}

void ListWork::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.clear();
}

std::vector<ListResult> ListWork::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ListResult> taken;
  taken.swap(results_);
  return taken;
}

bool ListWork::Busy() {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_ || !jobs_.empty() || !results_.empty();
}

void ListWork::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
    if (stop_) return;
    ListJob job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    ListResult result = RunListJob(job, stop_);
    lock.lock();
    running_ = false;
    if (stop_) return;
    const bool first = results_.empty();
    results_.push_back(std::move(result));
    // One message for a batch: the list takes every result waiting when it gets it.
    if (first) PostMessageA(list_, WMU_LIST_WORK_DONE, 0, 0);
  }
}
