#include "window/view_entry.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/entry_data.h"
#include "archive/quoted_name.h"
#include "services/sound_thread.h"
#include "services/viewer_watch.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/messages.h"
#include "transfer/core/disk_names.h"
#include "transfer/core/transfer_state.h"
#include "transfer/export.h"
#include "window/archive_window.h"
#include "window/viewer_edits.h"
#include "services/message_box.h"
#include "services/core/archive_text.h"
#include "panes/core/entry_content.h"
#include "panes/preview_pane.h"
#include "panes/views.h"
#include "archive/entry_snapshot.h"

std::string ShellFailureText(const char* storedName, unsigned long error) {
  const std::string name = PrintableName(storedName);
  char reason[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, reason, sizeof reason, nullptr);
  while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r' ||
                        reason[length - 1] == ' ' || reason[length - 1] == '.')) {
    reason[--length] = '\0';
  }
  // The system's texts leave their inserts ("%1 is not a valid application") to the caller:
  // the first names the file, any other is dropped.
  std::string because;
  for (const char* p = reason; *p; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
      if (p[1] == '1') because += name;
      ++p;
      continue;
    }
    because += *p;
  }
  if (because.empty()) because = "no program could be started for it";
  return "Can't open \"" + name + "\": " + because + ".";
}

namespace {

constexpr char kViewCaption[] = "View";

void ShowViewNotice(HWND window, const char* text) {
  OwnedMessageBox(window).ShowMessage(text, kViewCaption, MessageIcon::Information);
}

// The text after the last "." of the name, or null when there is none or it is empty.
const char* ExtensionOf(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot && dot[1] != '\0' ? dot + 1 : nullptr;
}

// Says why an entry's bytes could not be had.
void ShowUnreadable(HWND window, const Node* entry, const char* reason) {
  TransferState state = {0, 0, ReplaceMode::Ask};
  NoteTransferFailure(&state, entry->name().c_str(), reason);
  ShowErrorMessage(window, TransferFailureMessage(state, "view", "viewed").c_str(), kViewCaption);
}

// Whether the user heard from us that this machine plays no sound: said once, as every
// sound after the first would fail alike.
bool g_toldNoSound = false;

bool PlayWave(HWND window, const WindowDocument* doc, const Node* entry) {
  if (CountWaveOutDevices() == 0) {
    if (!g_toldNoSound) {
      g_toldNoSound = true;
      const std::string text = "Can't play \"" + PrintableName(entry->name()) +
                               "\": there is no sound output device. Sounds will not be played.";
      ShowViewNotice(window, text.c_str());
    }
    return false;
  }
  SharedBytes bytes;
  const EntryLoad load = LoadEntryBytes(doc, entry, &bytes);
  if (load != EntryLoad::Ok) {
    ShowUnreadable(window, entry, EntryLoadReason(load));
    return false;
  }
  if (!bytes) return false;
  // The queue needs a block of its own that it may free.
  const uint32_t size = static_cast<uint32_t>(bytes->size());
  uint8_t* buffer = static_cast<uint8_t*>(std::malloc(size));
  if (buffer == nullptr) return false;
  std::memcpy(buffer, bytes->data(), size);
  if (QueueWave(buffer, size, 1)) return true;
  std::free(buffer);
  return false;
}

void ShowShellFailure(HWND window, const char* name, DWORD error) {
  const std::string text = ShellFailureText(name, error);
  ShowErrorMessage(window, text.c_str(), kViewCaption);
}

// Failures of "open" that mean no program is set up for the type: the user is offered to
// choose one instead.
bool NoProgramFor(DWORD error) {
  return error == ERROR_NO_ASSOCIATION || error == ERROR_BAD_EXE_FORMAT || error == ERROR_FILE_NOT_FOUND;
}

// Shows the entry in the preview pane, which opens if it was closed.
void ShowInPreview(HWND window, WindowDocument* doc, const Node* entry) {
  if (!PreviewShown(doc)) ShowPreviewPane(window, doc, true);
  PreviewNode(window, doc, entry);
}

// The system has no program for the entry's type: the pane shows it, and the status bar says why.
void ShowWithoutProgram(HWND window, WindowDocument* doc, const Node* entry) {
  ShowInPreview(window, doc, entry);
  const char* extension = ExtensionOf(entry->name().c_str());
  const std::string text = extension ? "No program is set up for ." + PrintableName(extension) +
                                           " files: the preview pane shows \"" + PrintableName(entry->name()) + "\"."
                                     : "No program is set up for \"" + PrintableName(entry->name()) +
                                           "\": the preview pane shows it.";
  if (g_statusBar) SendMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

// Whether a name without an extension is a program by its first bytes (an MZ header, "#!").
bool SaysItIsAProgram(const WindowDocument* doc, const Node* entry) {
  const EntrySnapshot snapshot = SnapshotEntry(doc, entry);
  SharedBytes head;
  // A file that cannot be read is taken for a program: nothing is run without asking.
  if (snapshot.refused != EntryLoad::Ok || ReadSnapshot(snapshot, 2, &head) != EntryLoad::Ok) return true;
  return head && IsProgramBytes(head->data(), head->size());
}

// Asks before a program from an archive runs: No is the default answer.
bool UserAllowsRunning(HWND window, const char* name) {
  const std::string text =
      PrintableName(name) + " is a program. Running a program from an archive can harm your computer. Run it?";
  return MessageBoxA(window, text.c_str(), kViewCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Hands the temporary copy to the shell and watches the program that shows it: with
// chooseProgram the shell only offers to choose one, as it must for a name without an
// extension (which "open" would run as a program). On failure the copy is deleted and
// pathCopy freed. A watched copy joins the document's viewed copies, so that an edit made
// in the program can come back when it ends.
bool OpenTemporaryCopy(HWND window, WindowDocument* doc, const Node* entry, char* pathCopy, bool chooseProgram,
                       const ViewedCopy* viewed) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.lpVerb = chooseProgram ? "openas" : nullptr;
  // Without FLAG_NO_UI the shell would stop on its own error box for a type it cannot open;
  // the failure is reported here instead.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.hwnd = window;
  info.lpFile = pathCopy;
  info.lpDirectory = TempDirectory;
  info.nShow = SW_SHOWNORMAL;
  bool opened = ShellExecuteExA(&info) != 0;
  DWORD error = opened ? 0 : GetLastError();
  // No program for the type, and no way offered to choose one either (Wine says "Bad EXE
  // format" to both): the pane shows the entry instead of an error box.
  bool noProgram = !opened && chooseProgram;
  if (!opened && !chooseProgram && NoProgramFor(error)) {
    info.lpVerb = "openas";
    info.hProcess = nullptr;
    opened = ShellExecuteExA(&info) != 0;
    if (!opened) error = GetLastError();
    noProgram = !opened;
  }
  if (noProgram) {
    ShowWithoutProgram(window, doc, entry);
  } else if (!opened) {
    ShowShellFailure(window, entry->name().c_str(), error);
  } else if (info.hProcess) {
    if (WatchViewer(window, info.hProcess, pathCopy, entry->id(), WMU_VIEW_FINISHED)) {
      doc->viewing.insert(entry->id());
      if (viewed) doc->viewedCopies.push_back(*viewed);
      return true;
    }
    CloseHandle(info.hProcess);
  } else if (reinterpret_cast<INT_PTR>(info.hInstApp) <= 32) {
    ShowErrorMessage(window, "Error retrieving process handle", kViewCaption);
  } else {
    // A program that was already running took the file: there is no process to wait
    // for, so the copy stays for it to read and the item is not marked.
    std::free(pathCopy);
    return true;
  }
  if (DeleteFileA(pathCopy)) ForgetTemporaryFile(pathCopy);
  std::free(pathCopy);
  return noProgram;
}

bool ViewFile(HWND window, WindowDocument* doc, const Node* entry) {
  if (doc->viewing.count(entry->id())) {
    ShowViewNotice(window, "Already viewing document");
    return false;
  }
  const char* name = entry->name().c_str();
  const char* extension = ExtensionOf(name);
  if (extension && std::strcmp(extension, "wav") == 0) return PlayWave(window, doc, entry);
  if (extension && (std::strcmp(extension, "pak") == 0 || std::strcmp(extension, "pk3") == 0)) {
    ShowViewNotice(window, "Not implemented");
    return false;
  }
  // A stored name may hold separators, "..", a drive or a device name: it becomes a disk
  // name only when it stays a single plain component inside the temporary directory.
  if (!IsSafeDiskName(name)) {
    const std::string text = "Can't view \"" + PrintableName(entry->name()) + "\": " + kNameNotAllowedOnDisk + ".";
    ShowErrorMessage(window, text.c_str(), kViewCaption);
    return false;
  }
  const ShellRisk risk = ShellRiskOf(name);
  // A name without an extension ("makefile", "readme") is a program only when its bytes say so.
  if (risk == ShellRisk::NoExtension && !SaysItIsAProgram(doc, entry)) {
    ShowInPreview(window, doc, entry);
    return true;
  }
  if (risk != ShellRisk::None && !UserAllowsRunning(window, name)) return false;
  const std::string copyPath = std::string(TempDirectory) + entry->name();
  if (Utf16Length(copyPath) > kMaxDiskPath) return false;
  const char* path = copyPath.c_str();

  // An older copy of the same name is overwritten without asking.
  TransferState state = {0, 0, ReplaceMode::ReplaceAll};
  if (!ExportNode(window, doc, entry, path, &state)) {
    if (state.failures)
      ShowErrorMessage(window, TransferFailureMessage(state, "view", "viewed").c_str(), kViewCaption);
    return false;
  }
  // Noted as the program's own until it is deleted again: what a crash leaves goes later.
  NoteTemporaryFile(path);
  char* pathCopy = static_cast<char*>(std::malloc(std::strlen(path) + 1));
  if (pathCopy) std::strcpy(pathCopy, path);
  if (pathCopy == nullptr) {
    if (DeleteFileA(path)) ForgetTemporaryFile(path);
    return false;
  }
  // What the copy is like before any program has it.
  ViewedCopy viewed;
  const bool described = DescribeViewedCopy(entry, path, &viewed);
  return OpenTemporaryCopy(window, doc, entry, pathCopy, risk == ShellRisk::NoExtension, described ? &viewed : nullptr);
}

}  // namespace

bool ViewEntry(HWND window, Node* node) {
  WindowDocument* doc = DocumentOf(window);
  if (doc == nullptr || node == nullptr) return false;
  if (node->IsDirectory()) {
    SendMessageA(doc->folderTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(FolderItemOf(doc, node)));
    return true;
  }
  return node->IsFile() && ViewFile(window, doc, node);
}
