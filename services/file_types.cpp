#include "services/file_types.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "resources/shell_ids.h"

namespace {

// Asks the shell by extension alone; no file is touched.
class ShellFileTypes : public FileTypeSource {
 public:
  bool Query(const char* dottedExtension, int32_t* iconIndex, char* typeName,
             size_t size) override {
    SHFILEINFOA info = {};
    if (!SHGetFileInfoA(dottedExtension, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                        SHGFI_SYSICONINDEX | SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES)) {
      return false;
    }
    *iconIndex = info.iIcon;
    size_t length = strnlen(info.szTypeName, sizeof info.szTypeName);
    if (length >= size) length = size - 1;
    std::memcpy(typeName, info.szTypeName, length);
    typeName[length] = '\0';
    return true;
  }
};

const char* const kStartupExtensions[] = {
    ".",     ".aas", ".act", ".bin", ".bmp",    ".bsp",  ".c",    ".cfg", ".config",
    ".dat",  ".dem", ".dm2", ".dm3", ".h",      ".jpg",  ".lmp",  ".lst", ".md2",
    ".md3",  ".mdl", ".nod", ".pcx", ".qvm",    ".rc",   ".roq",  ".shader", ".skin",
    ".sp2",  ".spr", ".tga", ".txt", ".wad",    ".wal",  ".wav"};

ShellFileTypes g_shellTypes;
FileTypeTable* g_table = nullptr;
HIMAGELIST g_systemSmall = nullptr;
HIMAGELIST g_systemLarge = nullptr;
HIMAGELIST g_folderImages = nullptr;
HICON g_folderIcon = nullptr;
HICON g_openFolderIcon = nullptr;
int g_folderIconIndex = 0;
std::string g_folderTypeName;

const char kNoName[] = "";

}  // namespace

bool BuildFileTypes() {
  ReleaseFileTypes();
  g_table = new (std::nothrow) FileTypeTable(&g_shellTypes);
  if (!g_table) return false;

  const UINT folderFlags = SHGFI_USEFILEATTRIBUTES;
  SHFILEINFOA info = {};
  g_systemSmall = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA("666", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                     folderFlags | SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON));
  if (!g_systemSmall) return false;
  g_folderIcon = info.hIcon;

  info = SHFILEINFOA();
  if (!SHGetFileInfoA("666", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                      folderFlags | SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON |
                          SHGFI_OPENICON)) {
    return false;
  }
  g_openFolderIcon = info.hIcon;

  info = SHFILEINFOA();
  g_systemLarge = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA("666", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                     folderFlags | SHGFI_SYSICONINDEX | SHGFI_TYPENAME));
  if (!g_systemLarge) return false;
  g_folderIconIndex = info.iIcon;
  size_t length = strnlen(info.szTypeName, sizeof info.szTypeName);
  g_folderTypeName.assign(info.szTypeName, length);

  if (!g_table->Enter(kStartupExtensions[0])) return false;
  for (size_t i = 1; i < sizeof kStartupExtensions / sizeof kStartupExtensions[0]; ++i) {
    g_table->Enter(kStartupExtensions[i]);
  }
  return true;
}

bool CreateFolderImageList(HINSTANCE instance) {
  g_folderImages = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                    ILC_COLOR32 | ILC_MASK, 3, 3);
  if (!g_folderImages) return false;
  ImageList_SetBkColor(g_folderImages, CLR_NONE);
  HICON program = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
  bool ok = g_folderIcon && g_openFolderIcon && program &&
            ImageList_ReplaceIcon(g_folderImages, -1, g_folderIcon) >= 0 &&
            ImageList_ReplaceIcon(g_folderImages, -1, g_openFolderIcon) >= 0 &&
            ImageList_ReplaceIcon(g_folderImages, -1, program) >= 0;
  if (program) DestroyIcon(program);
  if (!ok) {
    ImageList_Destroy(g_folderImages);
    g_folderImages = nullptr;
  }
  return ok;
}

void ReleaseFileTypes() {
  if (g_folderImages) ImageList_Destroy(g_folderImages);
  g_folderImages = nullptr;
  // The system image lists belong to the shell.
  g_systemSmall = nullptr;
  g_systemLarge = nullptr;
  g_folderTypeName.clear();
  if (g_folderIcon) DestroyIcon(g_folderIcon);
  if (g_openFolderIcon) DestroyIcon(g_openFolderIcon);
  g_folderIcon = g_openFolderIcon = nullptr;
  delete g_table;
  g_table = nullptr;
}

int FileTypeInfo(const char* fileName, const char** typeName) {
  if (!g_table) {
    *typeName = kNoName;
    return 0;
  }
  return g_table->Info(fileName, typeName);
}

int FileTypeIcon(const char* fileName) { return g_table ? g_table->Icon(fileName) : 0; }

const char* FileTypeName(const char* fileName) {
  return g_table ? g_table->Name(fileName) : kNoName;
}

int FolderTypeInfo(const char** typeName) {
  *typeName = g_folderTypeName.c_str();
  return g_folderIconIndex;
}

HIMAGELIST SystemImageListSmall() { return g_systemSmall; }
HIMAGELIST SystemImageListLarge() { return g_systemLarge; }
HIMAGELIST FolderImageList() { return g_folderImages; }
FileTypeTable* FileTypes() { return g_table; }
