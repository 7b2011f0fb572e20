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

// "the archive breaks N rules of <target>", or of a game folder's "its archives break ...".
std::string RulesBroken(bool folder, EngineTarget target, size_t count) {
  std::string rules = BrokenRules(target, count);
  if (!folder) return "the archive " + rules;
  if (rules.compare(0, 7, "breaks ") == 0) rules.erase(5, 1);
  return "its archives " + rules;
}

int TestCommand(const CommandLine& line) {
  // Every file is read once, in the tree's order: the tree's shape is all it takes.
  OpenedDocument archive;
  // The entries are checked while the shape is made.
  SourceWalk walk;
  ProgressLine progress("testing");
  CheckWhileWalking check;
  check.progress = &progress;
  check.begin = [&progress](uint32_t entries) { progress.Start(entries); };
  check.workers = line.workers;
  if (!archive.OpenWalk(line.operands[0], &walk, false, GivenTarget(line.targetGiven, line.target), &check)) {
    progress.Close();
    return kExitRefused;
  }
  progress.Close();
  const ArchiveCheckResult& result = check.result;
  for (const DamagedEntry& damage : result.damaged)
    PrintError(archive.path + ": " + QuotedName(damage.path.data(), damage.path.size()) + ": " +
               FailureReason(damage.problem));
  // The engine's rules, of the archive as its file stores it; of a game folder, of each
  // archive searched, and what the view leaves out counts as damage.
  const GameFolderSource* folder = archive.folder();
  const EngineTarget target = folder ? archive.doc.target : TargetOf(line, archive.path, archive.doc.source->format());
  size_t breaches = 0;
  const auto checkRules = [&](const ArchiveSource& source, const std::string& path) {
    // No engine's rules: no list of entries to make for them.
    if (target == EngineTarget::Any) return;
    const std::vector<TargetBreach> broken = CheckTargetRules(target, TargetInputOfSource(source));
    if (!result.cancelled)
      for (const TargetBreach& breach : broken) PrintError(path + ": " + BreachText(target, breach));
    breaches += broken.size();
  };
  size_t leftOut = 0;
  if (folder) {
    for (const auto& member : folder->members())
      if (member->source) checkRules(*member->source, member->path);
    leftOut = folder->troubles().size();
  } else {
    checkRules(*archive.doc.source, archive.path);
  }
  if (result.cancelled) {
    PrintError(archive.path + ": interrupted after " + std::to_string(result.files) + " files");
    return kExitInterrupted;
  }
  if (!result.damaged.empty()) {
    PrintError(archive.path + ": " + std::to_string(result.damaged.size()) + " of " + std::to_string(result.files) +
               (result.files == 1 ? " file is" : " files are") + " damaged");
    return kExitRefused;
  }
  if (leftOut > 0) {
    PrintError(archive.path + ": " + std::to_string(result.files) + (result.files == 1 ? " file" : " files") +
               " read without damage, but " + std::to_string(leftOut) + (leftOut == 1 ? " archive or path is" : " archives or paths are") +
               " left out of the game folder");
    return kExitRefused;
  }
  for (const DuplicatePath& duplicate : result.duplicates)
    PrintError(archive.path + ": warning: " + QuotedName(duplicate.path.data(), duplicate.path.size()) + " is stored " +
               std::to_string(duplicate.times) + " times; only the first is used");
  if (breaches > 0) {
    PrintError(archive.path + ": " + std::to_string(result.files) + (result.files == 1 ? " file" : " files") +
               " read without damage, but " + RulesBroken(folder != nullptr, target, breaches));
    return kExitRefused;
  }
  Print(stdout, "%s: no errors found in %u %s.\n", archive.path.c_str(), result.files,
              result.files == 1 ? "file" : "files");
  return kExitOk;
}
