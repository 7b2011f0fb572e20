// The common controls and the program's six window classes, registered once at start-up in a
// fixed order.
#include <windows.h>
#include <commctrl.h>

#include "resources/shell_ids.h"
#include "app/frame.h"
#include "services/globals.h"
#include "services/splitter.h"
#include "app/startup.h"
#include "app/toolbar.h"
#include "window/archive_window.h"
#include "window/panes.h"

namespace {

HICON LoadProgramIcon(HINSTANCE instance, int size) {
  return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR));
}

ATOM RegisterFrameClass(HINSTANCE instance) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FrameWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadProgramIcon(instance, GetSystemMetrics(SM_CXICON));
  wc.hIconSm = LoadProgramIcon(instance, GetSystemMetrics(SM_CXSMICON));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  wc.lpszClassName = kFrameClass;
  return RegisterClassExA(&wc);
}

ATOM RegisterArchiveClass(HINSTANCE instance) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ArchiveWindowProc;
  wc.cbWndExtra = sizeof(void*);  // the window's document
  wc.hInstance = instance;
  wc.hIcon = LoadProgramIcon(instance, GetSystemMetrics(SM_CXICON));
  wc.hIconSm = LoadProgramIcon(instance, GetSystemMetrics(SM_CXSMICON));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kArchiveClass;
  return RegisterClassExA(&wc);
}

// Registers name as a copy of the common control's class with a new procedure, keeping the
// control's own procedure in *kept. extraStyle is added to the class style; background,
// when not null, replaces the class brush.
ATOM RegisterSuperclass(HINSTANCE instance, const char* control, const char* name,
                        WNDPROC procedure, WNDPROC* kept, UINT extraStyle, HBRUSH background) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExA(nullptr, control, &wc)) return 0;
  *kept = wc.lpfnWndProc;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  wc.style |= extraStyle;
  if (background) wc.hbrBackground = background;
  return RegisterClassExA(&wc);
}

ATOM RegisterSplitterClass(HINSTANCE instance) {
  g_splitterEdgeWidth = GetSystemMetrics(SM_CXEDGE);
  g_splitterEdgeHeight = GetSystemMetrics(SM_CYEDGE);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = SplitterWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kSplitterClass;
  return RegisterClassExA(&wc);
}

// The common controls the program uses: toolbar, status bar and tooltips; tree; list and
// header; the save's progress bar; the dialogs' buttons, edit boxes and texts. Version 6
// of the controls registers only the classes asked for.
bool RegisterCommonControls() {
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                   ICC_STANDARD_CLASSES;
  return InitCommonControlsEx(&controls) != FALSE;
}

}  // namespace

bool RegisterWindowClasses(HINSTANCE instance) {
  if (!RegisterCommonControls()) return false;
  if (!RegisterFrameClass(instance)) return false;
  if (!RegisterArchiveClass(instance)) return false;
  if (!RegisterSuperclass(instance, TOOLBARCLASSNAMEA, kToolbarClass, ToolbarWindowProc,
                          &g_toolbarProc, 0, reinterpret_cast<HBRUSH>(COLOR_MENU + 1))) {
    return false;
  }
  g_folderTreeAtom = RegisterSuperclass(instance, WC_TREEVIEWA, kFolderTreeClass, FolderTreePaneProc,
                                        &g_treeViewProc, 0, nullptr);
  if (!g_folderTreeAtom) return false;
  g_itemListAtom = RegisterSuperclass(instance, WC_LISTVIEWA, kItemListClass, ItemListPaneProc,
                                      &g_listViewProc, CS_DBLCLKS, nullptr);
  if (!g_itemListAtom) return false;
  return RegisterSplitterClass(instance) != 0;
}
