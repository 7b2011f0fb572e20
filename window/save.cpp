#include "window/save.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/disk.h"
#include "archive/save.h"
#include "panes/views.h"
#include "resources/shell_ids.h"
#include "services/core/archive_text.h"
#include "services/core/path_length.h"
#include "services/file_dialogs.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/message_box.h"
#include "services/save_window.h"
#include "services/settings.h"
#include "window/archive_window.h"
#include "window/command_state.h"

namespace {

const char kSaveCaption[] = "Save";

// The new title (which also drops the modified mark) and the recent-files entry.
void AnnounceSaved(HWND window, const char* path) {
  SetWindowTextA(window, path);
  g_recentFiles.Add(path);
  RememberArchiveFolderOf(path);
  // A first save gives the document a file, which Test Archive can read.
  WindowDocument* doc = DocumentOf(window);
  if (doc && window == ActiveMdiChild()) UpdateCommandState(window, doc);
}

// The format a name asks for, or the document's own for any other name (a new document is
// saved in the default format).
const ArchiveFormat& FormatToWrite(const char* path, const WindowDocument* doc) {
  if (const ArchiveFormat* named = FormatForPath(path)) return *named;
  const ArchiveFormat* own = DocumentFormat(doc);
  return own ? *own : DefaultFormat();
}

// Whether another archive window reads its archive from path: writing there would pull
// the file from under that window.
bool OpenInAnotherWindow(HWND self, const char* path) {
  return FindArchiveWindow(self, [path](const WindowDocument* other) {
    const char* otherPath = DocumentPath(other);
    return otherPath && SameDiskFile(otherPath, path);
  }) != nullptr;
}

// The message of a replace that failed.
void ShowReplaceFailure(HWND window, const char* path, const Failure& failure) {
  std::string text = path;
  if (failure.accessDenied) {
    text += " could not be replaced: the file is read-only, or you may not change it.\n"
            "Your changes are still here; save them under another name with Save As.";
  } else if (failure.sharing) {
    text += " could not be replaced: another program is using the file.\n"
            "Close it there and save again, or save under another name with Save As.";
  } else {
    text += " could not be replaced (system error " + std::to_string(static_cast<unsigned long>(failure.systemError)) +
            ").\nYour changes are still here.";
  }
  ShowErrorMessage(window, text.c_str(), kSaveCaption);
}

// The temporary files of saves, noted in the registry while they exist.
class NotedTemporaries : public TemporaryFiles {
 public:
  void Clean(const std::string& folder) override { RemoveLeftoverFiles(folder.c_str()); }
  void Note(const std::string& path) override { NoteTemporaryFile(path.c_str()); }
  void Forget(const std::string& path) override { ForgetTemporaryFile(path.c_str()); }
};

// Whether the archive may be written as it breaks rules of the document's target: true when
// it breaks none, or the user says to save it anyway (No is the default). A limit of the
// format itself is the save's to report, which stops it without a question.
bool TargetAllowsSave(HWND window, const WindowDocument* doc, const ArchiveFormat& format) {
  if (CheckFormatLimits(doc->root(), format, doc->source.get())) return true;
  const std::vector<TargetBreach> breaches =
      CheckTargetRules(doc->target, TargetInputOfTree(doc->root(), format, doc->source.get()));
  if (breaches.empty()) return true;
  const std::string question = TargetQuestion(doc->target, breaches);
  return MessageBoxA(window, question.c_str(), kSaveCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Saves the document in format at destination through the one save of both programs: a
// temporary file beside it takes its place in one step once complete. true when saved;
// after a failure the document reads from where it read before and stays modified.
bool SaveThroughTemporary(HWND window, WindowDocument* doc, const ArchiveFormat& format, const char* destination) {
  if (!TargetAllowsSave(window, doc, format)) return false;
  Win32SaveWindow host(window);
  SaveOptions options;
  options.level = static_cast<int>(g_settings.zipCompressionLevel);
  NotedTemporaries temporaries;
  const Failure failure = SaveDocument(doc, format, destination, options, &host, &temporaries);
  if (!failure) {
    // The files now read from the new file, whose own time is theirs where it stores none.
    if (doc->itemList) RefreshListColumn(doc->itemList, kModifiedColumn);
    return true;
  }
  switch (failure.problem) {
    case Problem::ReplaceFailed:
      ShowReplaceFailure(window, destination, failure);
      return false;
    case Problem::Reopen: {
      // Saved, but not to be read back: the window cannot go on showing it.
      const std::string text = SaveFailureMessage(failure, destination);
      ShowErrorMessage(window, text.c_str(), kSaveCaption);
      if (IsArchiveWindow(window)) SendMessageA(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
      return false;
    }
    default: {
      const std::string text = SaveFailureMessage(failure, destination);
      if (!text.empty()) ShowErrorMessage(window, text.c_str(), kSaveCaption);
      return false;
    }
  }
}

}  // namespace

bool SaveInPlace(HWND window, WindowDocument* doc) {
  const char* documentPath = DocumentPath(doc);
  if (!documentPath) return false;
  // The path outlives the archive that holds it, which a save replaces.
  const std::string path = documentPath;
  const ArchiveFormat* own = DocumentFormat(doc);
  return SaveThroughTemporary(window, doc, own ? *own : DefaultFormat(), path.c_str());
}

bool SaveDocument(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return false;
  if (!DocumentPath(doc)) return SaveDocumentAs(window);
  if (!SaveInPlace(window, doc)) return false;
  AnnounceSaved(window, DocumentPath(doc));
  return true;
}

namespace {

// The name Save As proposes: the document's file name, or its title with ".pk3" for a
// document never saved (a new document becomes a PK3).
std::string ProposedName(HWND window, const WindowDocument* doc) {
  if (const char* current = DocumentPath(doc)) {
    const char* name = current;
    for (const char* p = current; *p; ++p)
      if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
  }
  return TitleWithoutMark(window) + ".pk3";
}

// A save over the file an archive window reads is refused: it would pull the file from
// under that window.
bool RefusedAsOpen(HWND owner, HWND self, const char* path) {
  if (!OpenInAnotherWindow(self, path)) return false;
  const std::string text = std::string(path) + " is open in another window.\nOperation aborted.";
  ShowErrorMessage(owner, text.c_str(), kSaveCaption);
  return true;
}

}  // namespace

bool AskSaveAsPath(HWND owner, WindowDocument* doc, const std::string& proposedName, const char* title,
                   std::string* path) {
  char chosen[kPathBufferSize];
  // The dialog starts in the archive's own folder; a new archive's in the one an archive was
  // last opened from or saved to.
  std::string folder = FolderOfPath(DocumentPath(doc));
  if (folder.empty()) folder = g_settings.archiveDirectory;
  if (!ShowSaveDialog(chosen, sizeof chosen, proposedName.c_str(), kArchiveFilter, nullptr, title,
                      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLETEMPLATE | OFN_NONETWORKBUTTON,
                      reinterpret_cast<LPARAM>(doc), SaveDialogHook, owner, folder.c_str())) {
    return false;
  }
  // The path is kept as given only when the case of names is.
  if (!g_settings.keepCase) LowerCaseAscii(chosen);
  // The target chosen in the dialog is the document's from now on, saved or not.
  doc->target = ChosenSaveTarget();
  *path = chosen;
  return true;
}

bool SaveUnshownDocument(HWND owner, WindowDocument* doc, const std::string& path) {
  if (RefusedAsOpen(owner, nullptr, path.c_str())) return false;
  return SaveThroughTemporary(owner, doc, FormatToWrite(path.c_str(), doc), path.c_str());
}

bool SaveDocumentAs(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc) return false;
  std::string chosen;
  if (!AskSaveAsPath(nullptr, doc, ProposedName(window, doc), "Save Archive", &chosen)) return false;
  const char* path = chosen.c_str();
  const char* current = DocumentPath(doc);
  if (current && SameDiskFile(current, path)) {
    if (!SaveInPlace(window, doc)) return false;
    AnnounceSaved(window, DocumentPath(doc));
    return true;
  }
  if (RefusedAsOpen(window, window, path)) return false;
  if (!SaveThroughTemporary(window, doc, FormatToWrite(path, doc), path)) return false;
  AnnounceSaved(window, path);
  return true;
}
