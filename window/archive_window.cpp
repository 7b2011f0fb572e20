#include "window/archive_window.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "archive/game_folder.h"
#include "archive/loading.h"
#include "services/core/archive_text.h"
#include "services/viewer_watch.h"
#include "services/dpi.h"
#include "services/file_dialogs.h"
#include "services/globals.h"
#include "services/leftovers.h"
#include "services/messages.h"
#include "archive/disk.h"
#include "services/settings.h"
#include "services/splitter.h"
#include "transfer/drop_target.h"
#include "window/command_state.h"
#include "window/clipboard_commands.h"
#include "window/commands.h"
#include "window/drop_paste.h"
#include "window/filter_box.h"
#include "window/folder_status.h"
#include "services/message_box.h"
#include "window/notifications.h"
#include "window/save.h"
#include "window/viewer_edits.h"
#include "window/window_dpi.h"
#include "panes/preview_pane.h"
#include "panes/views.h"

unsigned long UntitledCounter = 1;

namespace {

// While the bar is dragged, it keeps this far (at 96 DPI) from either side.
constexpr int kMinPaneWidthAt96 = 20;

constexpr DWORD kFolderTreeStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | TVS_HASBUTTONS |
                                   TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS |
                                   TVS_SHOWSELALWAYS;
constexpr DWORD kItemListStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | LVS_EDITLABELS |
                                 LVS_AUTOARRANGE | LVS_SHAREIMAGELISTS;

void SetDocument(HWND hwnd, WindowDocument* doc) {
  SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(doc));
}

// The archive window already showing the file at path (lower case), if any, other than
// replacing.
HWND FindWindowShowing(HWND self, const char* path, HWND replacing) {
  const WindowDocument* replaced = replacing ? DocumentOf(replacing) : nullptr;
  return FindArchiveWindow(self, [path, replaced](const WindowDocument* doc) {
    if (doc == replaced) return false;
    const char* shown = DocumentPath(doc);
    return shown && (SameName(shown, path) || SameDiskFile(shown, path));
  });
}

void BringForward(HWND existing, bool maximize) {
  ShowWindow(existing, SW_HIDE);
  SendMessageA(g_mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(existing), 0);
  ShowWindow(existing, maximize ? SW_SHOWMAXIMIZED : SW_RESTORE);
}

HWND CreatePane(const char* className, DWORD style, HWND splitter, int id) {
  return CreateWindowExA(0, className, "", style, 0, 0, 0, 0, splitter,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
}

LRESULT BuildWindow(HWND hwnd, std::unique_ptr<ArchiveSource> source, Failure* why) {
  auto* doc = new (std::nothrow) WindowDocument{};
  if (!doc) return -1;
  // From here on the document hangs off the window, and WM_NCDESTROY releases it.
  SetDocument(hwnd, doc);
  doc->source = std::move(source);
  // An archive's target is guessed from where it lies; a new one takes the last chosen.
  const GameFolderSource* folder = doc->source ? doc->source->AsGameFolder() : nullptr;
  doc->target = folder           ? folder->target()
                : doc->source ? GuessTarget(doc->source->path(), doc->source->format())
                              : TargetFromNumber(g_settings.saveTarget);
  const WindowState& state = g_settings.windowState;
  const UINT dpi = WindowDpi(hwnd);
  doc->splitter = CreateSplitter(0, WS_VISIBLE, hwnd, kSplitterId, g_instance,
                                 static_cast<WORD>(ScaleToDpi(kMinPaneWidthAt96, dpi)),
                                 static_cast<WORD>(ScaleToDpi(state.folderPaneWidth, dpi)));
  if (!doc->splitter) return -1;
  doc->folderTree = CreatePane(kFolderTreeClass, kFolderTreeStyle, doc->splitter, kFolderTreeId);
  if (!doc->folderTree) return -1;
  doc->sortKey = state.sortKey;
  doc->viewMode = state.viewMode;
  doc->itemList = CreatePane(kItemListClass, kItemListStyle | ListStyleOfViewMode(doc->viewMode), doc->splitter,
                             kItemListId);
  if (!doc->itemList) return -1;
  SetSplitterPane(doc->splitter, SplitterSide::Left, doc->folderTree);
  if (!CreatePreviewPane(hwnd, doc, doc->splitter, kPreviewSplitterId, kPreviewPaneId)) return -1;
  SetSplitterPane(doc->splitter, SplitterSide::Right, doc->previewSplitter);
  if (!CreateFilterBox(hwnd, doc)) return -1;
  if (!BuildArchiveView(hwnd, doc, why)) return -1;
  AttachDropTarget(hwnd, doc);
  return 0;
}

LRESULT OnCreateForPath(HWND hwnd, const CREATESTRUCTA* create, const ArchiveWindowRequest& request) {
  const char* requested = request.path;
  // Paths are shown lower-cased, as the file system takes them alike, unless the case of
  // names is kept; whether two windows show one file is a matter of the file.
  const std::string path = g_settings.keepCase ? std::string(requested) : LowerCased(requested);
  if (HWND existing = FindWindowShowing(hwnd, path.c_str(), request.replacing)) {
    BringForward(existing, (create->style & WS_MAXIMIZE) != 0);
    return -1;
  }
  OwnedMessageBox frameMessages(g_frameWindow);
  Failure why;
  const ArchiveFormat* format = nullptr;
  // A folder is opened as a game folder, searched as the request asks, else as the engine
  // its name suggests would.
  std::unique_ptr<ArchiveSource> source = OpenArchiveOrGameFolder(path, request.target, &why, &format);
  if (!source) {
    frameMessages.ShowMessage(ArchiveErrorMessage(format ? format->name : nullptr, path, why).c_str(), kProgramName,
                              MessageIcon::Stop);
    return -1;
  }
  SetWindowTextA(hwnd, path.c_str());
  // Only an archive that is shown joins the recent files; one that cannot be says why.
  const LRESULT result = BuildWindow(hwnd, std::move(source), &why);
  if (result == 0) {
    g_recentFiles.Add(path.c_str());
    RememberArchiveFolderOf(path.c_str());
  } else {
    frameMessages.ShowMessage(ArchiveErrorMessage(format->name, path, why).c_str(), kProgramName, MessageIcon::Stop);
  }
  return result;
}

LRESULT OnCreateNew(HWND hwnd) {
  char title[32];
  std::snprintf(title, sizeof title, "%s%lu", "Untitled", UntitledCounter);
  ++UntitledCounter;
  SetWindowTextA(hwnd, title);
  Failure why;
  return BuildWindow(hwnd, nullptr, &why);
}

LRESULT OnCreate(HWND hwnd, const CREATESTRUCTA* create) {
  SetDocument(hwnd, nullptr);
  const auto* mdi = static_cast<const MDICREATESTRUCTA*>(create->lpCreateParams);
  const auto* request = mdi ? reinterpret_cast<const ArchiveWindowRequest*>(mdi->lParam) : nullptr;
  return request && request->path ? OnCreateForPath(hwnd, create, *request) : OnCreateNew(hwnd);
}

LRESULT OnSize(HWND hwnd, WindowDocument* doc, WPARAM type, LPARAM lParam) {
  if (doc && doc->splitter) MoveWindow(doc->splitter, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
  WindowState& state = g_settings.windowState;
  if (type == SIZE_RESTORED) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    const UINT dpi = WindowDpi(hwnd);
    state.childWidth = ScaleFromDpi(rc.right - rc.left, dpi);
    state.childHeight = ScaleFromDpi(rc.bottom - rc.top, dpi);
    state.childStyle = 0;
  } else if (type == SIZE_MAXIMIZED) {
    state.childStyle = WS_MAXIMIZE;
  }
  DefMDIChildProcA(hwnd, WM_SIZE, type, lParam);
  return 0;
}

LRESULT OnClose(HWND hwnd, WindowDocument* doc) {
  // Every viewer started from this window lets go of its temporary copy now.
  StopWatchingWindow(hwnd);
  if (doc && !QuerySaveChanges(hwnd)) return 0;
  LetClipboardGo(hwnd, doc);
  DetachDropTarget(hwnd, doc);
  return DefMDIChildProcA(hwnd, WM_CLOSE, 0, 0);
}

LRESULT OnQueryEndSession(HWND hwnd, WindowDocument* doc, WPARAM wParam, LPARAM lParam) {
  StopWatchingWindow(hwnd);
  if (doc && doc->modified && !QuerySaveChanges(hwnd)) return FALSE;
  LetClipboardGo(hwnd, doc);
  return LOWORD(DefMDIChildProcA(hwnd, WM_QUERYENDSESSION, wParam, lParam));
}

LRESULT OnNcDestroy(HWND hwnd, WindowDocument* doc, WPARAM wParam, LPARAM lParam) {
  if (doc) {
    // A window destroyed without being asked to close still ends its viewers' watches, so
    // their temporary copies go now rather than never.
    StopWatchingWindow(hwnd);
    DropViewedCopies(doc);
    DetachDropTarget(hwnd, doc);
    LetClipboardGo(hwnd, doc);
    delete doc;
    SetDocument(hwnd, nullptr);
  }
  return DefMDIChildProcA(hwnd, WM_NCDESTROY, wParam, lParam);
}


LRESULT OnCommand(HWND hwnd, WindowDocument* doc, WPARAM wParam, LPARAM lParam) {
  if (!OnArchiveCommand(hwnd, doc, LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam))) {
    DefMDIChildProcA(hwnd, WM_COMMAND, wParam, lParam);
  }
  return 0;
}

// The window passes the focus on to a pane (the one that had it last, else the list): the
// keys and the commands act on a pane as soon as the window is opened or activated.
LRESULT OnSetFocus(HWND hwnd, WindowDocument* doc, WPARAM wParam, LPARAM lParam) {
  DefMDIChildProcA(hwnd, WM_SETFOCUS, wParam, lParam);
  if (!doc || !doc->itemList) return 0;
  HWND pane = doc->focusedPane == doc->folderTree ? doc->folderTree : doc->itemList;
  if (IsWindowEnabled(pane)) SetFocus(pane);
  return 0;
}

LRESULT OnMdiActivate(HWND hwnd, WindowDocument* doc, WPARAM deactivated, LPARAM activated) {
  if (doc) {
    OnArchiveActivate(hwnd, doc, reinterpret_cast<HWND>(activated), reinterpret_cast<HWND>(deactivated));
  }
  if (reinterpret_cast<HWND>(activated) == hwnd) {
    ScheduleFolderStatus(hwnd);
    // Posted: the system maximizes and titles a new window after activating it.
    PostMessageA(hwnd, WMU_NAME_IN_FRAME, 0, 0);
  } else if (!activated && g_statusBar) {
    // The last archive window goes: nothing is left to count.
    SendMessageA(g_statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>("Ready"));
  }
  return 0;
}

}  // namespace

bool QuerySaveChanges(HWND window) {
  WindowDocument* doc = DocumentOf(window);
  if (!doc || !doc->modified) return true;
  const std::string text = "Save changes to " + TitleWithoutMark(window) + "?";
  switch (MessageBoxA(g_frameWindow, text.c_str(), kProgramName, MB_ICONWARNING | MB_YESNOCANCEL)) {
    case IDYES:
      // A save that did not happen (a cancelled Save As, a failed write) keeps the window,
      // so the changes are not lost with it.
      return SaveDocument(window);
    case IDNO:
      return true;
    default:
      return false;
  }
}

LRESULT OnShowFailure(HWND hwnd, std::string* text, const char* caption) {
  if (text) ShowErrorMessage(hwnd, text->c_str(), caption ? caption : "Vellumix");
  delete text;
  return 0;
}

LRESULT CALLBACK ArchiveWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowDocument* doc = reinterpret_cast<WindowDocument*>(GetWindowLongPtrA(hwnd, 0));
  switch (msg) {
    case WM_CREATE: return OnCreate(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_SIZE: return OnSize(hwnd, doc, wParam, lParam);
    case WM_CLOSE: return OnClose(hwnd, doc);
    case WM_QUERYENDSESSION: return OnQueryEndSession(hwnd, doc, wParam, lParam);
    case WM_ERASEBKGND: return 1;
    case WM_NOTIFY: return OnArchiveNotify(hwnd, doc, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND: return OnCommand(hwnd, doc, wParam, lParam);
    case WM_SETFOCUS: return OnSetFocus(hwnd, doc, wParam, lParam);
    case WM_MDIACTIVATE: return OnMdiActivate(hwnd, doc, wParam, lParam);
    case WM_TIMER:
      if (wParam != kFolderStatusTimer) break;
      OnFolderStatusTimer(hwnd);
      return 0;
    case WM_NCDESTROY: return OnNcDestroy(hwnd, doc, wParam, lParam);
    case WM_DPICHANGED_AFTERPARENT: return FollowDpiChange(hwnd, doc);
    case WMU_VIEW_FINISHED:
      OnViewerEnded(hwnd, doc, *reinterpret_cast<const ViewerEnd*>(wParam));
      return 1;
    case WMU_VIEWED_COPY_CHANGED:
      OfferViewedEdits(hwnd, doc);
      return 0;
    case WMU_DROP: return OnDropRequest(hwnd, doc, reinterpret_cast<DropRequest*>(wParam));
    case WMU_CLIPBOARD_RELEASED:
      return OnClipboardReleased(hwnd, doc, reinterpret_cast<const NodeId*>(wParam), static_cast<uint32_t>(lParam));
    case WMU_NAME_IN_FRAME:
      if (ActiveMdiChild() == hwnd)
        SetWindowTextA(g_frameWindow, kProgramName);
      return 0;
    case WMU_SHOW_FAILURE: return OnShowFailure(hwnd, reinterpret_cast<std::string*>(wParam), reinterpret_cast<const char*>(lParam));
  }
  return DefMDIChildProcA(hwnd, msg, wParam, lParam);
}
