#include "services/icon_lists.h"

#include <vector>

#include "services/dpi.h"
#include "services/file_types.h"

namespace {

int IconSize(HIMAGELIST list) {
  int cx = 0, cy = 0;
  return list && ImageList_GetIconSize(list, &cx, &cy) ? cx : 0;
}

// Appends source's images from first on to target, each drawn at target's size.
bool AppendImages(HIMAGELIST source, HIMAGELIST target, int first) {
  const int count = ImageList_GetImageCount(source);
  for (int i = first; i < count; ++i) {
    HICON icon = ImageList_GetIcon(source, i, ILD_NORMAL);
    const int added = icon ? ImageList_ReplaceIcon(target, -1, icon) : -1;
    if (icon) DestroyIcon(icon);
    if (added < 0) return false;
  }
  return true;
}

// The lists a DPI shows; null where the system's own list has the DPI's size.
struct Copies {
  UINT dpi;
  HIMAGELIST small, large, folders;
};
std::vector<Copies> g_copies;

// The system list to copy from for icons of size: the smaller one that is at least that
// large (drawn down rather than up), else the larger.
HIMAGELIST SourceFor(int size) {
  HIMAGELIST small = SystemImageListSmall(), large = SystemImageListLarge();
  return IconSize(small) >= size || !large ? small : large;
}

// The list for dpi: system itself when its icons have the size metric asks for at dpi, else
// the copy in *slot, made from source (the system's or a better one) when missing.
HIMAGELIST ListFor(HIMAGELIST system, HIMAGELIST source, int metric, UINT dpi, HIMAGELIST Copies::*slot) {
  const int size = MetricForDpi(metric, dpi);
  if (!system || IconSize(system) == size) return system;
  for (Copies& known : g_copies) {
    if (known.dpi != dpi) continue;
    if (!(known.*slot)) known.*slot = CopyImagesAtSize(source, size);
    return known.*slot ? known.*slot : system;
  }
  Copies made = {dpi, nullptr, nullptr, nullptr};
  made.*slot = CopyImagesAtSize(source, size);
  if (!(made.*slot)) return system;
  g_copies.push_back(made);
  return made.*slot;
}

// Brings a copy up to the system list's count when it lacks index.
void Cover(HIMAGELIST copy, HIMAGELIST source, int index) {
  if (!copy || !source || index < ImageList_GetImageCount(copy)) return;
  AppendImages(source, copy, ImageList_GetImageCount(copy));
}

}  // namespace

HBITMAP CreateTopDownBitmap(int width, int height, uint32_t** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* memory = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  if (bitmap && !memory) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
  *bits = static_cast<uint32_t*>(memory);
  return bitmap;
}

HIMAGELIST CopyImagesAtSize(HIMAGELIST source, int size) {
  if (!source || size <= 0) return nullptr;
  const int count = ImageList_GetImageCount(source);
  HIMAGELIST copy = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count > 0 ? count : 1, 16);
  if (!copy) return nullptr;
  ImageList_SetBkColor(copy, CLR_NONE);
  if (!AppendImages(source, copy, 0)) {
    ImageList_Destroy(copy);
    return nullptr;
  }
  return copy;
}

HIMAGELIST SmallIconsForDpi(UINT dpi) {
  return ListFor(SystemImageListSmall(), SourceFor(MetricForDpi(SM_CXSMICON, dpi)), SM_CXSMICON, dpi,
                 &Copies::small);
}

HIMAGELIST LargeIconsForDpi(UINT dpi) {
  return ListFor(SystemImageListLarge(), SourceFor(MetricForDpi(SM_CXICON, dpi)), SM_CXICON, dpi,
                 &Copies::large);
}

HIMAGELIST FolderIconsForDpi(UINT dpi) {
  return ListFor(FolderImageList(), FolderImageList(), SM_CXSMICON, dpi, &Copies::folders);
}

void CoverIconIndex(HWND pane, int index) {
  if (g_copies.empty() || index < 0) return;
  const UINT dpi = WindowDpi(pane);
  for (Copies& known : g_copies) {
    if (known.dpi != dpi) continue;
    Cover(known.small, SourceFor(IconSize(known.small)), index);
    Cover(known.large, SourceFor(IconSize(known.large)), index);
  }
}

void ReleaseIconCopies() {
  for (Copies& known : g_copies) {
    for (HIMAGELIST list : {known.small, known.large, known.folders})
      if (list) ImageList_Destroy(list);
  }
  g_copies.clear();
}
