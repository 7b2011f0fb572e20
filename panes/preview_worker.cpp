#include "panes/preview_worker.h"

PreviewWorker::PreviewWorker(HWND target, UINT message) : target_(target), message_(message) {
  thread_ = std::thread([this] { Run(); });
  started_ = thread_.joinable();
}

PreviewWorker::~PreviewWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

uint64_t PreviewWorker::Submit(PreviewRequest request) {
  std::unique_ptr<PreviewRequest> next(new (std::nothrow) PreviewRequest(std::move(request)));
  if (!next) return newest_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    next->sequence = ++newest_;
    pending_ = std::move(next);
    ready_.reset();
    stop_ = true;
  }
  wake_.notify_one();
  return newest_;
}

std::unique_ptr<PreviewResult> PreviewWorker::TakeResult() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ready_ || ready_->sequence != newest_) return nullptr;
  return std::move(ready_);
}

void PreviewWorker::Run() {
  // The platform's picture decoders are COM objects: the thread lives in their apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (;;) {
    std::unique_ptr<PreviewRequest> request;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || pending_ != nullptr; });
      if (quit_) break;
      request = std::move(pending_);
      stop_ = false;
    }
    std::unique_ptr<PreviewResult> result = ComposePreview(*request, &stop_, &palettes_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (quit_) break;
    if (!result || request->sequence != newest_ || stop_) continue;
    ready_ = std::move(result);
    PostMessageA(target_, message_, 0, 0);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}
