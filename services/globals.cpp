#include "services/globals.h"

HINSTANCE g_instance;
HANDLE g_instanceMutex;

HWND g_frameWindow;
HWND g_mdiClient;
HWND g_toolbar;
HWND g_statusBar;
HMENU g_mainMenu;
HACCEL g_accelerators;

WNDPROC g_toolbarProc;
WNDPROC g_treeViewProc;
WNDPROC g_listViewProc;
ATOM g_folderTreeAtom;
ATOM g_itemListAtom;

int g_smallIconWidth;
int g_smallIconHeight;
int g_splitterEdgeWidth;
int g_splitterEdgeHeight;

char TempDirectory[kPathBufferSize];

UINT g_cfVellumixData;
UINT g_cfFileGroupDescriptor;
UINT g_cfFileGroupDescriptorW;
UINT g_cfFileContents;
UINT g_cfPreferredDropEffect;
UINT g_cfPerformedDropEffect;
UINT g_cfPasteSucceeded;

const char kFrameClass[] = "wcPakMDIFrame";
const char kArchiveClass[] = "wcPakMDIChild";
const char kToolbarClass[] = "wcPakToolbar";
const char kFolderTreeClass[] = "wcPakTV";
const char kItemListClass[] = "wcPakLV";
const char kSplitterClass[] = "wcSplitter";
const char kProgramName[] = "Vellumix";
