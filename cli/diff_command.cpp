// diff: two archives or folders compared file by file, with diff's exit status (0 the same,
// 1 different, 2 trouble), and with --patch the archive of what the first adds or changes.
#include <string>

#include "archive/archive_compare.h"
#include "archive/disk.h"
#include "archive/format.h"
#include "archive/quoted_name.h"
#include "cli/archive_session.h"
#include "cli/archive_write.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "services/core/archive_text.h"
#include "services/core/window_state.h"
#include "transfer/core/compare_patch.h"

namespace {

constexpr int kExitSame = 0;
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;

// One operand: an archive opened with its tree, or a folder.
struct Side {
  OpenedDocument opened;
  CompareSide compare;
  std::string path;

  // A folder holding archives its game searches is compared as the game reads it (a
  // game folder); any other folder file by file as it lies on disk.
  bool Open(const std::string& operand, bool keepCase, const CommandLine& line) {
    path = operand;
    opened.leaveOut = line.patch;
    EngineTarget target = line.target;
    const bool folder = StatPath(operand).kind == DiskKind::Directory;
    if (folder) {
      if (!line.targetGiven) target = GuessFolderTarget(operand, line.patch);
      if (!OpensAsGameFolder(operand) || !HoldsSearchedArchives(operand, target, line.patch)) {
        compare = CompareSide::Folder(operand);
        return true;
      }
    }
    if (!opened.Open(operand, true, keepCase, folder || line.targetGiven ? &target : nullptr)) return false;
    compare = CompareSide::Archive(&opened.doc);
    return true;
  }
};

// The progress line of a long comparison or of reading the patch's files.
class ConsoleProgressHost : public SaveHost {
 public:
  explicit ConsoleProgressHost(const char* verb) : progress_(verb) {}
  void Repaint() override {}
  SaveProgress* OpenProgress(uint32_t steps) override {
    progress_.Start(steps);
    return &progress_;
  }

 private:
  ProgressLine progress_;
};

const char* KindWord(CompareKind kind) {
  switch (kind) {
    case CompareKind::Added:
      return "added";
    case CompareKind::Removed:
      return "removed";
    default:
      return "changed";
  }
}

const char* KindMark(CompareKind kind) {
  switch (kind) {
    case CompareKind::Added:
      return "+";
    case CompareKind::Removed:
      return "-";
    default:
      return "~";
  }
}

// An unreadable file, named in its archive (as stored) or by its disk path.
void ReportUnreadable(const ComparedItem& item, const Side& a, const Side& b) {
  const Side& side = item.failedInA ? a : b;
  const std::string name = QuotedName(item.failure.name.data(), item.failure.name.size());
  if (side.compare.document)
    PrintError(side.path + ": " + name + ": " + FailureReason(item.failure));
  else
    PrintError(name + ": " + FailureReason(item.failure));
}

// Writes the patch; an exit code of diff's (kExitSame when written).
int WritePatch(const CommandLine& line, const Side& a, const Comparison& comparison) {
  const std::string& target = line.patch;
  ConsoleProgressHost reading("reading");
  OpenedDocument patch;
  patch.path = target;
  const Failure failure = BuildPatch(a.compare, comparison, line.keepCase, &patch.doc, &reading);
  if (failure.problem == Problem::Cancelled) {
    PrintError(target + ": interrupted; nothing was written");
    return kExitInterrupted;
  }
  if (failure) {
    const std::string name = QuotedName(failure.name.data(), failure.name.size());
    if (failure.problem == Problem::Unreadable)
      PrintError(name + ": the file cannot be read whole (or not into memory)");
    else if (failure.problem == Problem::LoadFailed)
      PrintError(a.path + ": " + name + ": " + FailureReason(failure));
    else
      PrintError(a.path + ": " + FailureReason(failure));
    PrintError(target + ": nothing was written");
    return kExitTrouble;
  }
  const uint32_t files = comparison.Count(CompareKind::Added) + comparison.Count(CompareKind::Changed);
  if (files == 0) PrintError(target + ": nothing was added or changed; the patch is empty");
  const uint32_t removed = comparison.Count(CompareKind::Removed);
  if (removed > 0)
    PrintError(target + ": note: a patch cannot remove the " + std::to_string(removed) +
               (removed == 1 ? " file" : " files") + " only in " + line.operands[1]);
  const int level = line.level >= 0 ? line.level : static_cast<int>(kDefaultZipLevel);
  // A patch goes to a game as any archive does: its engine's rules hold for it too.
  const ArchiveFormat& format = *FormatForPath(target);
  WriteRules rules;
  rules.target = TargetOf(line, target, format);
  rules.force = line.force;
  const int written = WriteDocumentTo(&patch.doc, format, target, level, a.path, &rules);
  if (written == kExitOk || written == kExitInterrupted) return written;
  return kExitTrouble;
}

}  // namespace

int DiffCommand(const CommandLine& line) {
  Side a, b;
  if (!a.Open(line.operands[0], line.keepCase, line) || !b.Open(line.operands[1], line.keepCase, line)) return kExitTrouble;
  if (!line.patch.empty()) {
    for (const Side* side : {&a, &b}) {
      if (side->compare.document && SameDiskFile(side->path, line.patch)) {
        PrintError(line.patch + ": the patch would replace " + side->path + ", which is compared; nothing was written");
        return kExitTrouble;
      }
    }
  }
  CompareOptions options;
  options.keepCase = line.keepCase;
  options.leaveOut = line.patch;
  ConsoleProgressHost comparing("comparing");
  const Comparison comparison = CompareSides(a.compare, b.compare, options, &comparing);
  if (comparison.cancelled) {
    PrintError("interrupted; the comparison was not finished");
    return kExitInterrupted;
  }
  for (const std::string& folder : comparison.unreadableFolders)
    PrintError(QuotedName(folder.c_str()) + ": the folder cannot be read");
  for (const std::string& twin : comparison.caseTwins)
    PrintError("warning: " + QuotedName(twin.c_str()) +
               " is left out: another file of its folder has the same name but for case");
  for (const ComparedItem& item : comparison.items) {
    if (item.kind == CompareKind::Same) continue;
    if (item.kind == CompareKind::Unreadable) {
      ReportUnreadable(item, a, b);
      continue;
    }
    if (line.tabbed)
      Print(stdout, "%s\t%s\n", KindWord(item.kind), PrintableName(item.path, true).c_str());
    else
      Print(stdout, "%s %s\n", KindMark(item.kind), PrintableName(item.path).c_str());
  }
  if (std::fflush(stdout) != 0) return kExitTrouble;
  if (!comparison.Complete()) {
    if (!line.patch.empty()) PrintError(line.patch + ": not written, as the comparison is incomplete");
    return kExitTrouble;
  }
  const int status = comparison.Identical() ? kExitSame : kExitDifferent;
  if (line.patch.empty()) return status;
  const int written = WritePatch(line, a, comparison);
  return written == kExitSame ? status : written;
}
