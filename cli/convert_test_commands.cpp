// convert: an archive written again in the other format (or the same one), through the
// window program's save; test: every entry read and checked.
#include <cstdio>

#include "archive/archive_check.h"
#include "archive/quoted_name.h"
#include "services/core/archive_text.h"
#include "cli/archive_session.h"
#include "cli/archive_write.h"
#include "cli/commands.h"
#include "services/core/window_state.h"

int ConvertCommand(const CommandLine& line) {
  const std::string& target = line.operands[1];
  const ArchiveFormat& format = *FormatForPath(target);
  OpenedDocument source;
  if (!source.Open(line.operands[0], true, line.keepCase)) return kExitRefused;
  const int level = line.level >= 0 ? line.level : static_cast<int>(kDefaultZipLevel);
  WriteRules rules;
  rules.target = TargetOf(line, target, format);
  rules.force = line.force;
  return WriteDocumentTo(&source.doc, format, target, level, source.path, &rules);
}

int TestCommand(const CommandLine& line) {
  OpenedDocument archive;
  if (!archive.Open(line.operands[0])) return kExitRefused;
  ProgressLine progress("testing");
  progress.Start(CountCheckedEntries(&archive.doc));
  const ArchiveCheckResult result = CheckArchiveEntries(&archive.doc, &progress, line.workers);
  progress.Close();
  for (const DamagedEntry& damage : result.damaged)
    PrintError(archive.path + ": " + QuotedName(damage.path.data(), damage.path.size()) + ": " +
               FailureReason(damage.problem));
  // The engine's rules, of the archive as its file stores it.
  const EngineTarget target = TargetOf(line, archive.path, archive.doc.source->format());
  const std::vector<TargetBreach> breaches = CheckTargetRules(target, TargetInputOfSource(*archive.doc.source));
  if (!result.cancelled)
    for (const TargetBreach& breach : breaches)
      PrintError(archive.path + ": " + BreachText(target, breach));
  if (result.cancelled) {
    PrintError(archive.path + ": interrupted after " + std::to_string(result.files) + " files");
    return kExitInterrupted;
  }
  if (!result.damaged.empty()) {
    PrintError(archive.path + ": " + std::to_string(result.damaged.size()) + " of " + std::to_string(result.files) +
               (result.files == 1 ? " file is" : " files are") + " damaged");
    return kExitRefused;
  }
  for (const DuplicatePath& duplicate : result.duplicates)
    PrintError(archive.path + ": warning: " + QuotedName(duplicate.path.data(), duplicate.path.size()) + " is stored " +
               std::to_string(duplicate.times) + " times; only the first is used");
  if (!breaches.empty()) {
    PrintError(archive.path + ": " + std::to_string(result.files) + (result.files == 1 ? " file" : " files") +
               " read without damage, but the archive " + BrokenRules(target, breaches.size()));
    return kExitRefused;
  }
  Print(stdout, "%s: no errors found in %u %s.\n", archive.path.c_str(), result.files,
              result.files == 1 ? "file" : "files");
  return kExitOk;
}
