#include "window/test_archive.h"

#include <cstdio>
#include <vector>

#include "archive/archive_check.h"
#include "services/core/archive_text.h"
#include "archive/quoted_name.h"
#include "panes/window_document.h"
#include "services/message_box.h"
#include "services/save_window.h"

namespace {

const char kTestCaption[] = "Test Archive";
// More lines than this would make a box taller than the screen; the rest are counted.
constexpr size_t kListedDamaged = 20;

// The "Saving..." dialog under the caption "Testing...", stepped once per file read.
class TestProgress : public SaveProgress {
 public:
  TestProgress(HWND owner, uint32_t steps) : dialog_(ProgressOpen(owner, steps)) {
    if (dialog_) SetWindowTextA(dialog_, "Testing...");
  }
  ~TestProgress() { Close(); }
  TestProgress(const TestProgress&) = delete;
  TestProgress& operator=(const TestProgress&) = delete;

  void ShowItem(const char* storedPath, uint32_t size) override { ProgressShowItem(dialog_, storedPath, size); }
  void Step() override { ProgressStep(dialog_); }
  bool Cancelled() override { return ProgressCancelled(dialog_); }
  void Close() override {
    if (dialog_) DestroyWindow(dialog_);
    dialog_ = nullptr;
  }

 private:
  HWND dialog_;
};

std::string Files(uint32_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files");
}

void AppendDamaged(std::string* text, const ArchiveCheckResult& result) {
  const size_t listed = result.damaged.size() < kListedDamaged ? result.damaged.size() : kListedDamaged;
  for (size_t i = 0; i < listed; ++i)
    *text += "\n" + PrintableName(result.damaged[i].path) + ": " + FailureReason(result.damaged[i].problem);
  if (result.damaged.size() > listed) *text += "\nand " + std::to_string(result.damaged.size() - listed) + " more";
}

// The paths stored more than once: a warning, as the archive works, but only the first of
// each path's entries is used.
void AppendDuplicates(std::string* text, const ArchiveCheckResult& result) {
  if (result.duplicates.empty()) return;
  *text += "\n\nWarning: stored more than once (only the first is used):";
  const size_t listed = result.duplicates.size() < kListedDamaged ? result.duplicates.size() : kListedDamaged;
  for (size_t i = 0; i < listed; ++i)
    *text += "\n" + PrintableName(result.duplicates[i].path) + ": " + std::to_string(result.duplicates[i].times) +
             " times";
  if (result.duplicates.size() > listed) *text += "\nand " + std::to_string(result.duplicates.size() - listed) + " more";
}

}  // namespace

std::string TestResultMessage(const ArchiveCheckResult& result, uint32_t total) {
  std::string text;
  if (result.cancelled) {
    text = "Test cancelled after " + std::to_string(result.files) + " of " + Files(total) + ".";
    if (!result.damaged.empty()) {
      text += "\n\nDamaged among the files read:";
      AppendDamaged(&text, result);
    }
    return text;
  }
  if (result.damaged.empty()) {
    text = "No errors found in " + Files(result.files) + ".";
  } else {
    const uint32_t damaged = static_cast<uint32_t>(result.damaged.size());
    text = std::to_string(damaged) + " of " + Files(result.files) + (damaged == 1 ? " is" : " are") + " damaged:";
    AppendDamaged(&text, result);
  }
  AppendDuplicates(&text, result);
  return text;
}

void TestArchive(HWND window, WindowDocument* doc) {
  if (!doc) return;
  OwnedMessageBox box(window);
  if (!DocumentPath(doc)) {
    box.ShowMessage("This archive has not been saved yet, so there is no file to test.", kTestCaption,
                    MessageIcon::Information);
    return;
  }
  const uint32_t total = CountCheckedEntries(doc);
  ArchiveCheckResult result;
  {
    TestProgress progress(window, total);
    result = CheckArchiveEntries(doc, &progress);
  }
  // The rules of the archive's engine, of the archive as its file stores it.
  const std::vector<TargetBreach> breaches =
      result.cancelled ? std::vector<TargetBreach>() : CheckTargetRules(doc->target, TargetInputOfSource(*doc->source));
  std::string text = TestResultMessage(result, total);
  if (!breaches.empty()) text += "\n\n" + TargetRulesText(doc->target, breaches);
  const MessageIcon icon = result.damaged.empty() && breaches.empty() ? MessageIcon::Information : MessageIcon::Warning;
  box.ShowMessage(text.c_str(), kTestCaption, icon);
}
