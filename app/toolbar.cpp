#include "app/toolbar.h"

#include <commctrl.h>

#include "resources/command_ids.h"
#include "services/dpi.h"
#include "services/globals.h"
#include "services/icon_lists.h"

namespace {

constexpr int kToolbarId = 3;
// The view bitmap's images follow the fifteen images of the standard bitmap.
constexpr int kViewImageBase = 15;
constexpr int kViewImageCount = 12;
constexpr int kThumbnailsImage = kViewImageBase + kViewImageCount;
// The Copy button's own image, after the Thumbnails one: the system's is drawn in pale
// greys that look disabled beside its coloured neighbours.
constexpr int kCopyImage = kThumbnailsImage + 1;
// At 96 DPI: the images' size, the control's room around an image (a 23 by 22 button) and
// its separators' width.
constexpr int kImageSizeAt96 = 16;
constexpr int kButtonPaddingX = 7;
constexpr int kButtonPaddingY = 6;
constexpr int kSeparatorWidthAt96 = 8;

TBBUTTON Button(int image, int command, BYTE state, BYTE style) {
  TBBUTTON button = {};
  button.iBitmap = image;
  button.idCommand = command;
  button.fsState = state;
  button.fsStyle = style;
  return button;
}

TBBUTTON Separator() { return Button(0, 0, 0, TBSTYLE_SEP); }

// The tooltip telling that it appears or disappears: the frame shows the button's help
// then. Some versions of the control keep these to themselves, so they are passed on
// here; a second delivery only sets the same status text again.
LRESULT OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallWindowProcA(g_toolbarProc, hwnd, WM_NOTIFY, wParam, lParam);
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  HWND tooltip =
      reinterpret_cast<HWND>(CallWindowProcA(g_toolbarProc, hwnd, TB_GETTOOLTIPS, 0, 0));
  if (header->hwndFrom == tooltip && (header->code == TTN_SHOW || header->code == TTN_POP)) {
    SendMessageA(GetParent(hwnd), WM_NOTIFY, wParam, lParam);
  }
  return result;
}

// The system's button images in its set of size 16 or 24, in a new list; null on failure.
// They come through a toolbar made for this alone: a toolbar loads each of the system's sets
// once in its life and answers a second request with the images it has.
HIMAGELIST LoadSystemImages(bool large) {
  const int size = large ? 24 : 16;
  HWND loader = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, WS_CHILD, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                g_instance, nullptr);
  HIMAGELIST images = loader ? ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kViewImageBase + kViewImageCount, 0)
                             : nullptr;
  if (images) {
    SendMessageA(loader, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(loader, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    SendMessageA(loader, TB_LOADIMAGES, large ? IDB_STD_LARGE_COLOR : IDB_STD_SMALL_COLOR,
                 reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    SendMessageA(loader, TB_LOADIMAGES, large ? IDB_VIEW_LARGE_COLOR : IDB_VIEW_SMALL_COLOR,
                 reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    SendMessageA(loader, TB_SETIMAGELIST, 0, 0);
    if (ImageList_GetImageCount(images) != kViewImageBase + kViewImageCount) {
      ImageList_Destroy(images);
      images = nullptr;
    }
  }
  if (loader) DestroyWindow(loader);
  return images;
}

// Adds an image of the list's size that draw paints: it is given the pixels (top-down rows,
// 0xRRGGBB, all of them the clear colour), the width and the height. false when there is no
// memory for it.
constexpr uint32_t kClear = 0xFF00FF;
template <typename Draw>
bool AddDrawnImage(HIMAGELIST images, Draw draw) {
  int size = 0, height = 0;
  ImageList_GetIconSize(images, &size, &height);
  uint32_t* pixels = nullptr;
  HBITMAP bitmap = CreateTopDownBitmap(size, height, &pixels);
  if (!bitmap) return false;
  for (int i = 0; i < size * height; ++i) pixels[i] = kClear;
  draw(pixels, size, height);
  const bool added = ImageList_AddMasked(images, bitmap, RGB(0xFF, 0x00, 0xFF)) >= 0;
  DeleteObject(bitmap);
  return added;
}

// The Thumbnails button's image, which the system's sets have none of: four small framed
// pictures (sky over grass) in a square.
bool AddThumbnailsImage(HIMAGELIST images) {
  return AddDrawnImage(images, [](uint32_t* pixels, int size, int height) {
    constexpr uint32_t kFrame = 0x404040, kSky = 0x4A90D9, kGrass = 0x3C9A3C;
    const int tile = (size - 2) / 2, gap = size - 2 * tile;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < size; ++x) {
        const int tx = x < tile ? x : x - tile - gap, ty = y < tile ? y : y - tile - gap;
        if (tx < 0 || ty < 0 || tx >= tile || ty >= tile) continue;
        const bool edge = tx == 0 || ty == 0 || tx == tile - 1 || ty == tile - 1;
        pixels[y * size + x] = edge ? kFrame : (ty < tile / 2 ? kSky : kGrass);
      }
    }
  });
}

// The Copy button's image: two pages, one over the other, each framed dark with blue lines of
// text on white.
bool AddCopyImage(HIMAGELIST images) {
  return AddDrawnImage(images, [](uint32_t* pixels, int size, int height) {
    constexpr uint32_t kFrame = 0x303030, kPaper = 0xFFFFFF, kText = 0x2F6FC0;
    // Each page is two thirds of the image; the front one covers the back one's lower right.
    const int page = size * 2 / 3, shift = size - page - 1;
    auto drawPage = [&](int left, int top) {
      for (int y = top; y < top + page + 1 && y < height; ++y) {
        for (int x = left; x < left + page - 1 && x < size; ++x) {
          const bool edge = x == left || y == top || x == left + page - 2 || y == top + page;
          const int row = y - top;
          const bool text =
              !edge && x > left + 1 && x < left + page - 3 && row >= 3 && row % 2 == 1 && row < page - 1;
          pixels[y * size + x] = edge ? kFrame : (text ? kText : kPaper);
        }
      }
    };
    drawPage(1, 0);
    drawPage(1 + shift, shift > 0 ? shift : 0);
  });
}

// The images at size: the system's set of that size, or the nearest smaller one drawn at it
// (that set itself when there is no memory for drawing it), and the Thumbnails and Copy images.
HIMAGELIST ButtonImages(int size) {
  HIMAGELIST images = LoadSystemImages(size >= 24);
  if (!images) return nullptr;
  int loaded = 0, height = 0;
  ImageList_GetIconSize(images, &loaded, &height);
  if (loaded != size) {
    if (HIMAGELIST drawn = CopyImagesAtSize(images, size)) {
      ImageList_Destroy(images);
      images = drawn;
    }
  }
  if (!AddThumbnailsImage(images) || !AddCopyImage(images)) {
    ImageList_Destroy(images);
    return nullptr;
  }
  return images;
}

// Separators keep the control's own width at 96 DPI and get one scaled from it elsewhere.
void SizeSeparators(HWND toolbar, UINT dpi) {
  const int count = static_cast<int>(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TBBUTTON button = {};
    if (!SendMessageA(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button)) || !(button.fsStyle & TBSTYLE_SEP))
      continue;
    TBBUTTONINFOA info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_BYINDEX | TBIF_IMAGE;
    info.iImage = dpi == kBaseDpi ? 0 : ScaleToDpi(kSeparatorWidthAt96, dpi);
    SendMessageA(toolbar, TB_SETBUTTONINFOA, i, reinterpret_cast<LPARAM>(&info));
  }
}

// The toolbar destroys no image list it was given: the one it shows goes with it.
LRESULT OnNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(CallWindowProcA(g_toolbarProc, hwnd, TB_GETIMAGELIST, 0, 0));
  LRESULT result = CallWindowProcA(g_toolbarProc, hwnd, WM_NCDESTROY, wParam, lParam);
  if (images) ImageList_Destroy(images);
  return result;
}

}  // namespace

bool FitToolbarToDpi(HWND toolbar, UINT dpi) {
  const int size = ScaleToDpi(kImageSizeAt96, dpi);
  HIMAGELIST images = ButtonImages(size);
  if (!images) return false;
  int shown = 0, height = 0;
  ImageList_GetIconSize(images, &shown, &height);
  HIMAGELIST previous = reinterpret_cast<HIMAGELIST>(SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images)));
  if (previous) ImageList_Destroy(previous);
  SendMessageA(toolbar, TB_SETBUTTONSIZE, 0,
               MAKELPARAM(shown + ScaleToDpi(kButtonPaddingX, dpi), shown + ScaleToDpi(kButtonPaddingY, dpi)));
  SizeSeparators(toolbar, dpi);
  return true;
}

LRESULT CALLBACK ToolbarWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    // The class brush (the menu colour) paints the background, not the control.
    case WM_ERASEBKGND: return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_NOTIFY: return OnNotify(hwnd, wParam, lParam);
    case WM_NCDESTROY: return OnNcDestroy(hwnd, wParam, lParam);
  }
  return CallWindowProcA(g_toolbarProc, hwnd, msg, wParam, lParam);
}

HWND CreateFrameToolbar(HWND frame) {
  HWND toolbar = CreateWindowExA(
      0, kToolbarClass, nullptr,
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | CCS_TOP | CCS_NORESIZE | TBSTYLE_TOOLTIPS |
          TBSTYLE_FLAT,
      0, 0, 0, 0, frame, reinterpret_cast<HMENU>(kToolbarId), g_instance, nullptr);
  if (!toolbar) return nullptr;
  // The button record of this system: 20 bytes in the 32-bit program, 32 in a 64-bit build
  // (wider padding and data fields).
  static_assert(sizeof(TBBUTTON) == (sizeof(void*) == 4 ? 20 : 32), "toolbar button record");
  SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);

  const BYTE on = TBSTATE_ENABLED;
  const BYTE off = 0;
  const BYTE group = TBSTYLE_CHECKGROUP;
  TBBUTTON buttons[kToolbarButtonCount] = {
      Button(STD_FILENEW, ID_FILE_NEW, on, TBSTYLE_BUTTON),
      Button(STD_FILEOPEN, ID_FILE_OPEN, on, TBSTYLE_BUTTON),
      Button(STD_FILESAVE, ID_FILE_SAVE, off, TBSTYLE_BUTTON),
      Separator(),
      Button(kViewImageBase + VIEW_PARENTFOLDER, ID_OBJECT_UP, off, TBSTYLE_BUTTON),
      Button(kViewImageBase + VIEW_NEWFOLDER, ID_OBJECT_NEW_DIRECTORY, off, TBSTYLE_BUTTON),
      Separator(),
      Button(STD_CUT, ID_EDIT_CUT, off, TBSTYLE_BUTTON),
      Button(kCopyImage, ID_EDIT_COPY, off, TBSTYLE_BUTTON),
      Button(STD_PASTE, ID_EDIT_PASTE, off, TBSTYLE_BUTTON),
      Button(STD_DELETE, ID_EDIT_DELETE, off, TBSTYLE_BUTTON),
      Separator(),
      Button(kViewImageBase + VIEW_LARGEICONS, ID_VIEW_LARGE_ICONS, off, group),
      Button(kViewImageBase + VIEW_SMALLICONS, ID_VIEW_SMALL_ICONS, off, group),
      Button(kViewImageBase + VIEW_LIST, ID_VIEW_LIST, off, group),
      Button(kViewImageBase + VIEW_DETAILS, ID_VIEW_DETAILS, off, group),
      Button(kThumbnailsImage, ID_VIEW_THUMBNAILS, off, group),
  };
  if (!SendMessageA(toolbar, TB_ADDBUTTONSA, kToolbarButtonCount, reinterpret_cast<LPARAM>(buttons)) ||
      !FitToolbarToDpi(toolbar, WindowDpi(frame))) {
    DestroyWindow(toolbar);
    return nullptr;
  }
  return toolbar;
}
