// Process-wide values of the program, set once by start-up and the frame's creation
// and read everywhere else. They are never replaced while the program runs.
#pragma once

#include <windows.h>

#include "services/core/path_length.h"

extern HINSTANCE g_instance;
extern HANDLE g_instanceMutex;  // named "wcPakMDIFrame", owned for the whole run

extern HWND g_frameWindow;
extern HWND g_mdiClient;
extern HWND g_toolbar;
extern HWND g_statusBar;
extern HMENU g_mainMenu;
extern HACCEL g_accelerators;

// Window procedures of the common controls that the pane and toolbar classes extend.
extern WNDPROC g_toolbarProc;
extern WNDPROC g_treeViewProc;
extern WNDPROC g_listViewProc;
// Class atoms of the two pane classes: a drop target recognises a pane under the cursor by them.
extern ATOM g_folderTreeAtom;
extern ATOM g_itemListAtom;

extern int g_smallIconWidth;
extern int g_smallIconHeight;
extern int g_splitterEdgeWidth;   // SM_CXEDGE when the splitter class was registered
extern int g_splitterEdgeHeight;  // SM_CYEDGE

// The program's temporary directory: the system's temporary path, "Vellumix" and a
// backslash. Viewed items and drag-out copies are written below it.
extern char TempDirectory[kPathBufferSize];

// Registered clipboard formats.
extern UINT g_cfVellumixData;
extern UINT g_cfFileGroupDescriptor;
extern UINT g_cfFileGroupDescriptorW;
extern UINT g_cfFileContents;
extern UINT g_cfPreferredDropEffect;
extern UINT g_cfPerformedDropEffect;
extern UINT g_cfPasteSucceeded;

// Window class names.
extern const char kFrameClass[];       // "wcPakMDIFrame"
extern const char kArchiveClass[];     // "wcPakMDIChild"
extern const char kToolbarClass[];     // "wcPakToolbar"
extern const char kFolderTreeClass[];  // "wcPakTV"
extern const char kItemListClass[];    // "wcPakLV"
extern const char kSplitterClass[];    // "wcSplitter"
extern const char kProgramName[];      // "Vellumix"
