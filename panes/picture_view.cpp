#include "panes/picture_view.h"

#include <cstring>
#include <new>

#include "services/globals.h"
#include "services/icon_lists.h"

namespace {

constexpr char kPictureViewClass[] = "wcPakPicture";
// The checkerboard's squares, in the picture's own pixels.
constexpr uint32_t kCheckerSquare = 8;

struct PictureViewState {
  HBITMAP picture = nullptr;  // as decoded
  HBITMAP shown = nullptr;    // over the checkerboard, opaque
  uint32_t width = 0, height = 0;
};

PictureViewState* StateOf(HWND view) {
  return reinterpret_cast<PictureViewState*>(GetWindowLongPtrA(view, GWLP_USERDATA));
}

// A top-down 32-bit DIB section of width x height, its bits in *bits.
HBITMAP MakeDib(uint32_t width, uint32_t height, uint8_t** bits) {
  uint32_t* pixels = nullptr;
  HBITMAP dib = CreateTopDownBitmap(static_cast<int>(width), static_cast<int>(height), &pixels);
  *bits = reinterpret_cast<uint8_t*>(pixels);
  return dib;
}

void Clear(PictureViewState* s) {
  if (s->picture) DeleteObject(s->picture);
  if (s->shown) DeleteObject(s->shown);
  *s = PictureViewState();
}

// Fills both bitmaps from the RGBA pixels: the straight copy, and one laid over light and
// dark grey squares where the picture lets them through.
void FillBitmaps(const Picture& picture, uint8_t* straight, uint8_t* shown) {
  const uint8_t* p = picture.rgba.get();
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      const size_t i = (static_cast<size_t>(y) * picture.width + x) * 4;
      straight[i] = p[i + 2];
      straight[i + 1] = p[i + 1];
      straight[i + 2] = p[i];
      straight[i + 3] = p[i + 3];
      const unsigned a = p[i + 3];
      const unsigned back = ((x / kCheckerSquare + y / kCheckerSquare) & 1) ? 0xCC : 0xFF;
      for (int c = 0; c < 3; ++c) shown[i + c] = static_cast<uint8_t>((straight[i + c] * a + back * (255 - a) + 127) / 255);
      shown[i + 3] = 0xFF;
    }
  }
}

void OnPaint(HWND view, PictureViewState* s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(view, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(view, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  if (s && s->shown && client.right > 0 && client.bottom > 0) {
    // Scaled to fit, never up, centred.
    uint64_t w = s->width, h = s->height;
    if (w > static_cast<uint64_t>(client.right) || h > static_cast<uint64_t>(client.bottom)) {
      if (w * client.bottom > h * client.right) {
        h = h * client.right / w;
        w = client.right;
      } else {
        w = w * client.bottom / h;
        h = client.bottom;
      }
    }
    if (w == 0) w = 1;
    if (h == 0) h = 1;
    const int x = (client.right - static_cast<int>(w)) / 2, y = (client.bottom - static_cast<int>(h)) / 2;
    HDC source = CreateCompatibleDC(dc);
    if (source) {
      HGDIOBJ old = SelectObject(source, s->shown);
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, x, y, static_cast<int>(w), static_cast<int>(h), source, 0, 0, static_cast<int>(s->width),
                 static_cast<int>(s->height), SRCCOPY);
      SelectObject(source, old);
      DeleteDC(source);
    }
  }
  EndPaint(view, &ps);
}

LRESULT CALLBACK PictureViewProc(HWND view, UINT msg, WPARAM wParam, LPARAM lParam) {
  PictureViewState* s = StateOf(view);
  switch (msg) {
    case WM_NCCREATE: {
      auto* state = new (std::nothrow) PictureViewState();
      if (!state) return FALSE;
      SetWindowLongPtrA(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
      break;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: OnPaint(view, s); return 0;
    case WM_SIZE: InvalidateRect(view, nullptr, FALSE); return 0;
    case WMU_PICTURE_BITMAP: return reinterpret_cast<LRESULT>(s ? s->picture : nullptr);
    case WM_NCDESTROY:
      if (s) {
        Clear(s);
        delete s;
        SetWindowLongPtrA(view, GWLP_USERDATA, 0);
      }
      break;
  }
  return DefWindowProcA(view, msg, wParam, lParam);
}

}  // namespace

HWND CreatePictureView(HWND parent, int id) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PictureViewProc;
    wc.hInstance = g_instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kPictureViewClass;
    registered = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    if (!registered) return nullptr;
  }
  return CreateWindowExA(0, kPictureViewClass, "", WS_CHILD, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
}

bool SetViewPicture(HWND view, Picture* picture) {
  PictureViewState* s = StateOf(view);
  if (!s) return false;
  Clear(s);
  InvalidateRect(view, nullptr, FALSE);
  if (!picture || !picture->rgba || picture->width == 0 || picture->height == 0) return picture == nullptr;
  uint8_t *straight = nullptr, *shown = nullptr;
  s->picture = MakeDib(picture->width, picture->height, &straight);
  s->shown = s->picture ? MakeDib(picture->width, picture->height, &shown) : nullptr;
  if (!s->shown) {
    Clear(s);
    return false;
  }
  s->width = picture->width;
  s->height = picture->height;
  FillBitmaps(*picture, straight, shown);
  GdiFlush();
  *picture = Picture();
  return true;
}
