#include "panes/preview_pane.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "archive/entry_data.h"
#include "panes/picture_view.h"
#include "panes/preview_worker.h"
#include "panes/views.h"
#include "resources/command_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/number_format.h"
#include "services/settings.h"
#include "services/sound_thread.h"
#include "services/splitter.h"

namespace {

constexpr char kPreviewPaneClass[] = "wcPakPreview";
// Posted by the worker when a result waits in its mailbox.
constexpr UINT WMU_PREVIEW_READY = WM_USER + 0x42;
// Posted by PreviewFocusedItemSoon, once until it is handled.
constexpr UINT WMU_PREVIEW_FOLLOW = WM_USER + 0x43;
constexpr int kDefaultHeightAt96 = 180;
constexpr int kMinPaneHeightAt96 = 24;
constexpr int kMarginAt96 = 4;
constexpr int kButtonWidthAt96 = 64;
constexpr int kMonospacePoints = 9;

struct PaneState {
  HWND title = nullptr, note = nullptr, edit = nullptr, picture = nullptr, play = nullptr, stop = nullptr,
       details = nullptr;
  HFONT monospace = nullptr;
  UINT dpi = kBaseDpi;
  PreviewKind kind = PreviewKind::Folder;
  SharedBytes wave;
  uint64_t shown = 0;
  bool followPosted = false;
  int lineHeight = 0;  // of the pane's font at dpi
  int layout = -1;     // what the children were last laid out for (LayoutKey)
  std::unique_ptr<PreviewWorker> worker;
};

PaneState* StateOf(HWND pane) { return reinterpret_cast<PaneState*>(GetWindowLongPtrA(pane, GWLP_USERDATA)); }

HWND Child(HWND pane, const char* className, DWORD style, int id) {
  return CreateWindowExA(0, className, "", WS_CHILD | style, 0, 0, 0, 0, pane,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
}

void ApplyFonts(HWND pane, PaneState* s, UINT dpi) {
  s->dpi = dpi;
  s->lineHeight = 0;
  HFONT font = IconTitleFontForDpi(dpi);
  for (HWND child : {s->title, s->note, s->play, s->stop, s->details})
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  HFONT monospace = CreateFontA(-MulDiv(kMonospacePoints, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                                FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
  SendMessageA(s->edit, WM_SETFONT, reinterpret_cast<WPARAM>(monospace ? monospace : GetStockObject(ANSI_FIXED_FONT)),
               TRUE);
  if (s->monospace) DeleteObject(s->monospace);
  s->monospace = monospace;
}

int LineHeight(PaneState* s) {
  if (s->lineHeight > 0) return s->lineHeight;
  HFONT font = IconTitleFontForDpi(s->dpi);
  HDC dc = GetDC(nullptr);
  TEXTMETRICA metrics = {};
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  s->lineHeight = metrics.tmHeight + ScaleToDpi(2, s->dpi);
  return s->lineHeight;
}

// What decides where the children go: the kind shown, and whether the note, the sound's
// buttons and the edit have anything to show.
int LayoutKey(const PaneState* s) {
  return static_cast<int>(s->kind) | (GetWindowTextLengthA(s->note) > 0 ? 0x100 : 0) | (s->wave ? 0x200 : 0) |
         (GetWindowTextLengthA(s->edit) > 0 ? 0x400 : 0);
}

void Place(HWND child, bool visible, int x, int y, int width, int height) {
  ShowWindow(child, visible && width > 0 && height > 0 ? SW_SHOWNA : SW_HIDE);
  if (visible) MoveWindow(child, x, y, width > 0 ? width : 0, height > 0 ? height : 0, TRUE);
}

// The name on top, the facts at the bottom, and between them the view of the kind shown.
void LayOut(HWND pane, PaneState* s) {
  s->layout = LayoutKey(s);
  RECT rc;
  GetClientRect(pane, &rc);
  const int margin = ScaleToDpi(kMarginAt96, s->dpi), line = LineHeight(s);
  const int width = rc.right - 2 * margin;
  int top = margin, bottom = rc.bottom - margin;
  Place(s->title, true, margin, top, width, line);
  top += line;
  const bool hasDetails = s->kind != PreviewKind::Folder;
  if (hasDetails) bottom -= 2 * line;
  Place(s->details, hasDetails, margin, bottom, width, 2 * line);
  const bool hasNote = GetWindowTextLengthA(s->note) > 0;
  const bool picture = s->kind == PreviewKind::Picture;
  if (hasNote && !picture) {
    Place(s->note, true, margin, top, width, line);
    top += line;
  }
  const bool sound = s->kind == PreviewKind::Sound && s->wave;
  if (sound) {
    const int button = ScaleToDpi(kButtonWidthAt96, s->dpi), height = line + ScaleToDpi(6, s->dpi);
    Place(s->play, true, margin, top + margin / 2, button, height);
    Place(s->stop, true, margin + button + margin, top + margin / 2, button, height);
    top += height + margin;
  } else {
    Place(s->play, false, 0, 0, 0, 0);
    Place(s->stop, false, 0, 0, 0, 0);
  }
  if (picture) {
    Place(s->note, hasNote, margin, bottom - line, width, line);
    Place(s->picture, true, margin, top, width, bottom - line - top);
    Place(s->edit, false, 0, 0, 0, 0);
  } else {
    Place(s->picture, false, 0, 0, 0, 0);
    Place(s->edit, s->kind != PreviewKind::Folder && GetWindowTextLengthA(s->edit) > 0, margin, top, width,
          bottom - top);
  }
  InvalidateRect(pane, nullptr, TRUE);
}

void ShowResult(HWND pane, PaneState* s, std::unique_ptr<PreviewResult> result) {
  s->shown = result->sequence;
  s->kind = result->kind;
  s->wave = result->wave;
  SetWindowTextA(s->title, result->title.c_str());
  SetWindowTextA(s->note, result->kind == PreviewKind::Folder ? result->text.c_str() : result->note.c_str());
  SetWindowTextA(s->details, result->details.c_str());
  SetWindowTextA(s->edit, result->kind == PreviewKind::Folder ? "" : result->text.c_str());
  if (result->kind == PreviewKind::Picture && !SetViewPicture(s->picture, &result->picture)) {
    s->kind = PreviewKind::Failure;
    SetWindowTextA(s->note, "Can't show this file: there is not enough memory for the picture");
  } else if (result->kind != PreviewKind::Picture) {
    SetViewPicture(s->picture, nullptr);
  }
  EnableWindow(s->play, s->wave && CountWaveOutDevices() > 0);
  // Walking a folder of files of one kind moves nothing: only the texts change.
  if (LayoutKey(s) != s->layout) LayOut(pane, s);
}

// Queues a copy of the sound for the player, which frees it when done.
void PlayShownSound(PaneState* s) {
  if (!s->wave || s->wave->size() == 0 || s->wave->size() > UINT32_MAX) return;
  auto* copy = static_cast<uint8_t*>(std::malloc(s->wave->size()));
  if (!copy) return;
  std::memcpy(copy, s->wave->data(), s->wave->size());
  if (!QueueWave(copy, static_cast<uint32_t>(s->wave->size()), 1)) std::free(copy);
}

LRESULT OnCreate(HWND pane) {
  auto* s = new (std::nothrow) PaneState();
  if (!s) return -1;
  SetWindowLongPtrA(pane, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
  s->title = Child(pane, "STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kPreviewTitleId);
  s->note = Child(pane, "STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kPreviewNoteId);
  s->edit = Child(pane, "EDIT", WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                                    ES_AUTOHSCROLL | ES_NOHIDESEL, kPreviewEditId);
  s->picture = CreatePictureView(pane, kPreviewPictureId);
  s->play = Child(pane, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kPreviewPlayId);
  s->stop = Child(pane, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kPreviewStopId);
  s->details = Child(pane, "STATIC", SS_LEFT | SS_NOPREFIX, kPreviewDetailsId);
  if (!s->title || !s->note || !s->edit || !s->picture || !s->play || !s->stop || !s->details) return -1;
  SetWindowTextA(s->play, "&Play");
  SetWindowTextA(s->stop, "&Stop");
  SendMessageA(s->edit, EM_SETLIMITTEXT, 0, 0);
  s->worker.reset(new (std::nothrow) PreviewWorker(pane, WMU_PREVIEW_READY));
  if (!s->worker || !s->worker->Started()) return -1;
  ApplyFonts(pane, s, WindowDpi(pane));
  return 0;
}

LRESULT OnSize(HWND pane, PaneState* s) {
  LayOut(pane, s);
  HWND splitter = GetParent(pane);
  // The height the user gave the pane is kept for new windows while the pane shows.
  if (IsWindowVisible(pane) && SplitterBarWidth(splitter) > 0)
    g_settings.windowState.previewPaneHeight =
        static_cast<uint16_t>(ScaleFromDpi(GetSplitterPosition(splitter), s->dpi));
  return 0;
}

LRESULT OnCommand(PaneState* s, WPARAM wParam) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  if (LOWORD(wParam) == kPreviewPlayId) PlayShownSound(s);
  if (LOWORD(wParam) == kPreviewStopId) StopSound();
  return 0;
}

LRESULT OnShown(PaneState* s, LPARAM lParam) {
  if (lParam) *reinterpret_cast<uint64_t*>(lParam) = s->worker ? s->worker->Newest() : 0;
  return static_cast<LRESULT>(s->shown);
}

LRESULT CALLBACK PreviewPaneProc(HWND pane, UINT msg, WPARAM wParam, LPARAM lParam) {
  PaneState* s = StateOf(pane);
  if (!s && msg != WM_CREATE) return DefWindowProcA(pane, msg, wParam, lParam);
  switch (msg) {
    case WM_CREATE: return OnCreate(pane);
    case WM_SIZE: return OnSize(pane, s);
    case WM_COMMAND: return OnCommand(s, wParam);
    case WM_CTLCOLORSTATIC: break;
    case WMU_PREVIEW_READY:
      if (auto result = s->worker->TakeResult()) ShowResult(pane, s, std::move(result));
      return 0;
    case WMU_PREVIEW_SHOWN: return OnShown(s, lParam);
    case WMU_PREVIEW_FOLLOW: {
      s->followPosted = false;
      HWND window = ArchiveWindowOfPane(pane);
      PreviewFocusedItem(window, DocumentOf(window));
      return 0;
    }
    case WM_NCDESTROY:
      // The worker stops and is joined before its pane's record goes; what it left in the
      // mailbox goes with it.
      s->worker.reset();
      if (s->monospace) DeleteObject(s->monospace);
      delete s;
      SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(pane, msg, wParam, lParam);
}

bool RegisterPaneClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PreviewPaneProc;
  wc.hInstance = g_instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPreviewPaneClass;
  registered = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

std::string Grouped(uint64_t value) {
  char text[40];
  if (FormatUserNumber(value, text, sizeof text) == 0) std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return text;
}

std::string Counted(uint64_t count, const char* one, const char* many) {
  return Grouped(count) + " " + (count == 1 ? one : many);
}

void FolderRequest(const Node* folder, PreviewRequest* request) {
  uint64_t files = 0, folders = 0, bytes = 0;
  for (const Node* child = folder->firstChild(); child; child = child->nextSibling()) {
    if (child->IsContainer()) {
      ++folders;
    } else {
      ++files;
      bytes += child->size();
    }
  }
  request->isFolder = true;
  request->title = folder->IsRoot() ? std::string("/") : StoredPath(folder);
  request->folderText =
      Counted(files, "file", "files") + ", " + Counted(folders, "folder", "folders") + ", " + Counted(bytes, "byte", "bytes");
}

std::string ModifiedText(const WindowDocument* doc, const Node* node) {
  int64_t moment = 0;
  if (!EntryModified(doc, node, &moment)) return std::string();
  char text[96];
  return FormatLocalMoment(moment, text, sizeof text) ? std::string(text) : std::string();
}

// Whether a name may be a Quake picture whose palette is to be looked for: LMP, WAL and mip
// textures (which WAD2 archives store without an extension).
bool MayNeedPalette(const std::string& name, PictureKind* kind) {
  const size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  *kind = extension == "wal" ? PictureKind::Wal : PictureKind::QuakePicture;
  return extension.empty() || extension == "lmp" || extension == "wal" || extension == "mip";
}

void FileRequest(HWND window, const WindowDocument* doc, const Node* node, PreviewRequest* request) {
  request->title = node->name();
  request->entry = SnapshotEntry(doc, node);
  EntryFacts& facts = request->facts;
  facts.size = node->size();
  facts.inArchive = !request->entry.archivePath.empty();
  facts.storedSize = request->entry.where.storedSize;
  facts.deflated = request->entry.where.deflated;
  facts.hasCrc = request->entry.where.hasCrc;
  facts.crc = request->entry.where.crc;
  facts.modified = ModifiedText(doc, node);
  facts.storedPath = StoredPath(node);
  PictureKind kind;
  if (MayNeedPalette(node->name(), &kind)) request->palette = FindPaletteSource(window, doc, kind);
}

HWND PaneOf(const WindowDocument* doc) { return doc ? doc->previewPane : nullptr; }

}  // namespace

bool CreatePreviewPane(HWND window, WindowDocument* doc, HWND outerSplitter, int splitterId, int paneId) {
  if (!RegisterPaneClass()) return false;
  const UINT dpi = WindowDpi(window);
  const WindowState& state = g_settings.windowState;
  const int height = state.previewPaneHeight ? state.previewPaneHeight : kDefaultHeightAt96;
  doc->previewSplitter = CreateTopBottomSplitter(outerSplitter, splitterId, g_instance,
                                                 static_cast<WORD>(ScaleToDpi(kMinPaneHeightAt96, dpi)),
                                                 static_cast<WORD>(ScaleToDpi(height, dpi)));
  if (!doc->previewSplitter) return false;
  doc->previewPane = CreateWindowExA(0, kPreviewPaneClass, "", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                     doc->previewSplitter, reinterpret_cast<HMENU>(static_cast<INT_PTR>(paneId)),
                                     g_instance, nullptr);
  if (!doc->previewPane) return false;
  SetSplitterPane(doc->previewSplitter, SplitterSide::Top, doc->itemList);
  doc->previewShown = false;
  if (state.previewShown == 1) ShowPreviewPane(window, doc, true);
  return true;
}

bool PreviewShown(const WindowDocument* doc) { return doc && doc->previewShown; }

HWND PreviewFocusTarget(const WindowDocument* doc) {
  if (!PreviewShown(doc)) return nullptr;
  for (int id : {kPreviewEditId, kPreviewPictureId, kPreviewPlayId}) {
    HWND child = GetDlgItem(doc->previewPane, id);
    if (child && IsWindowVisible(child) && IsWindowEnabled(child)) return child;
  }
  return doc->previewPane;
}

void ShowPreviewPane(HWND window, WindowDocument* doc, bool shown) {
  if (!doc || !doc->previewPane) return;
  doc->previewShown = shown;
  g_settings.windowState.previewShown = shown ? 1 : 0;
  ShowWindow(doc->previewPane, shown ? SW_SHOWNA : SW_HIDE);
  SetSplitterPane(doc->previewSplitter, SplitterSide::Bottom, shown ? doc->previewPane : nullptr);
  if (ActiveMdiChild() == window) CheckMenuItem(g_mainMenu, ID_VIEW_PREVIEW_PANE, shown ? MF_CHECKED : MF_UNCHECKED);
  if (shown) PreviewFocusedItem(window, doc);
}

void PreviewNode(HWND window, WindowDocument* doc, const Node* node) {
  HWND pane = PaneOf(doc);
  PaneState* s = pane ? StateOf(pane) : nullptr;
  if (!s || !doc->previewShown || !node) return;
  PreviewRequest request;
  if (node->IsFile())
    FileRequest(window, doc, node, &request);
  else
    FolderRequest(node, &request);
  s->worker->Submit(std::move(request));
}

void PreviewFocusedItem(HWND window, WindowDocument* doc) {
  if (!doc || !doc->previewShown) return;
  const int index = static_cast<int>(SendMessageA(doc->itemList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  const Node* node = index >= 0 ? ListItemNode(doc->itemList, index) : nullptr;
  if (!node) node = TreeItemNode(doc->folderTree, CurrentFolderItem(doc->folderTree));
  PreviewNode(window, doc, node);
}

void PreviewFocusedItemSoon(WindowDocument* doc) {
  HWND pane = PaneOf(doc);
  PaneState* s = pane ? StateOf(pane) : nullptr;
  if (!s || !doc->previewShown || s->followPosted) return;
  s->followPosted = PostMessageA(pane, WMU_PREVIEW_FOLLOW, 0, 0) != FALSE;
}

void ApplyPreviewDpi(WindowDocument* doc) {
  HWND pane = PaneOf(doc);
  PaneState* s = pane ? StateOf(pane) : nullptr;
  if (!s) return;
  ApplyFonts(pane, s, doc->dpi);
  if (doc->previewSplitter) SendMessageA(doc->previewSplitter, WM_DPICHANGED_AFTERPARENT, 0, 0);
  LayOut(pane, s);
}
