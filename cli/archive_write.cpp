#include "cli/archive_write.h"

#include "archive/save.h"
#include "cli/console.h"
#include "services/core/archive_text.h"

bool MayWrite(const ArchiveDocument& doc, const ArchiveFormat& format, const std::string& target, const WriteRules& rules) {
  const Failure limit = CheckFormatLimits(doc.root(), format, doc.source.get());
  if (limit) {
    PrintError(target + ": " + LimitProblemText(limit) + "; nothing was written");
    return false;
  }
  const std::vector<TargetBreach> breaches =
      CheckTargetRules(rules.target, TargetInputOfTree(doc.root(), format, doc.source.get()));
  if (breaches.empty()) return true;
  for (const TargetBreach& breach : breaches)
    PrintError(target + ": " + (rules.force ? "warning: " : "") + BreachText(rules.target, breach));
  if (rules.force) return true;
  PrintError(target + ": " + BrokenRules(rules.target, breaches.size()) +
             "; nothing was written (--force writes it anyway)");
  return false;
}

int WriteDocumentTo(ArchiveDocument* doc, const ArchiveFormat& format, const std::string& target, int level,
                    const std::string& context, const WriteRules* rules) {
  if (rules && !MayWrite(*doc, format, target, *rules)) return kExitRefused;
  ConsoleSaveHost host;
  SaveOptions options;
  options.level = level;
  const Failure failure = SaveDocument(doc, format, target, options, &host);
  host.Close();
  if (!failure) return kExitOk;
  switch (failure.problem) {
    case Problem::Cancelled:
      PrintError(target + ": interrupted; nothing was written");
      return kExitInterrupted;
    case Problem::TemporaryFailed:
      PrintError(target + ": a temporary file cannot be made beside it");
      return kExitRefused;
    case Problem::ReplaceFailed:
      PrintError(target + ": the file cannot be replaced (is it read-only or a directory?)");
      return kExitRefused;
    case Problem::Reopen:
      PrintError(target + ": the archive was written but cannot be read back");
      return kExitRefused;
    default: {
      const std::string message = OneLine(SaveFailureMessage(failure, target).c_str());
      PrintError(context.empty() ? message : context + ": " + message);
      return kExitRefused;
    }
  }
}
