#include "window/compare_patch_save.h"

#include <cstdio>

#include "archive/format.h"
#include "archive/quoted_name.h"
#include "panes/window_document.h"
#include "services/core/archive_text.h"
#include "services/message_box.h"
#include "services/number_format.h"
#include "services/save_window.h"
#include "services/settings.h"
#include "transfer/core/compare_patch.h"
#include "window/compare_dialog.h"
#include "window/save.h"

namespace {

const char kPatchCaption[] = "Save Differences";

std::string Files(uint64_t count) {
  char number[64];
  if (FormatUserNumber(count, number, sizeof number) == 0)
    std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(count));
  return std::string(number) + (count == 1 ? " file" : " files");
}

// Why the patch could not be made, naming the file of A that could not be read.
std::string PatchFailureText(const Failure& failure, const char* pathA) {
  std::string text;
  if (failure.problem == Problem::LoadFailed) {
    text = QuotedName(failure.name.data(), failure.name.size()) + ": " + FailureReason(failure);
    if (pathA) text = std::string(pathA) + ": " + text;
  } else {
    text = FailureReason(failure);
  }
  return "The differences cannot be saved.\n" + text;
}

}  // namespace

std::string ProposedPatchName(const char* pathA) {
  const std::string extension = pathA ? FileExtension(pathA) : std::string();
  return "zzz-patch" + (FormatForPath("x" + extension) ? extension : std::string(".pk3"));
}

bool SavePatchOfComparison(HWND owner, const CompareOutcome& outcome, std::string* note) {
  const Comparison& comparison = outcome.comparison;
  OwnedMessageBox box(owner);
  // A file that could not be compared may be changed: a patch without it would be wrong.
  if (!comparison.Complete()) {
    box.ShowMessage("Some files could not be compared, so the differences are not known whole.\n"
                    "Nothing was saved.",
                    kPatchCaption, MessageIcon::Warning);
    return false;
  }
  const uint32_t files = comparison.Count(CompareKind::Added) + comparison.Count(CompareKind::Changed);
  if (files == 0) return false;
  const char* pathA = DocumentPath(outcome.doc);
  // The patch is a document of its own, shown by no window; only the Save dialog reads it.
  WindowDocument patch;
  // The patch goes to the game A is for: the dialog starts at A's target.
  patch.target = outcome.doc->target;
  std::string path;
  if (!AskSaveAsPath(owner, &patch, ProposedPatchName(pathA), "Save Differences As", &path)) return false;
  {
    Win32SaveWindow host(owner);
    const Failure failure =
        BuildPatch(CompareSide::Archive(outcome.doc), comparison, g_settings.keepCase, &patch, &host);
    if (failure.problem == Problem::Cancelled) return false;
    if (failure) {
      box.ShowMessage(PatchFailureText(failure, pathA).c_str(), kPatchCaption, MessageIcon::Stop);
      return false;
    }
  }
  if (!SaveUnshownDocument(owner, &patch, path)) return false;
  *note = "Saved " + Files(files) + " to " + path + ".";
  const uint32_t removed = comparison.Count(CompareKind::Removed);
  if (removed > 0)
    *note += std::string(" A patch cannot take away the ") + (removed == 1 ? "file" : Files(removed)) + " only in B.";
  return true;
}
