#include "services/dpi.h"

#include <vector>

namespace {

// Where the DPI that WM_DPICHANGED named is kept on a top-level window.
constexpr char kDpiProperty[] = "Vellumix.Dpi";

using DpiForWindowFunction = UINT(WINAPI*)(HWND);
using MetricsForDpiFunction = int(WINAPI*)(int, UINT);
using ParametersForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

struct DpiFunctions {
  DpiForWindowFunction dpiForWindow = nullptr;
  MetricsForDpiFunction metricsForDpi = nullptr;
  ParametersForDpiFunction parametersForDpi = nullptr;
};

const DpiFunctions& Functions() {
  static const DpiFunctions functions = [] {
    DpiFunctions f;
    if (HMODULE user = GetModuleHandleA("user32.dll")) {
      f.dpiForWindow = reinterpret_cast<DpiForWindowFunction>(
          reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
      f.metricsForDpi = reinterpret_cast<MetricsForDpiFunction>(
          reinterpret_cast<void*>(GetProcAddress(user, "GetSystemMetricsForDpi")));
      f.parametersForDpi = reinterpret_cast<ParametersForDpiFunction>(
          reinterpret_cast<void*>(GetProcAddress(user, "SystemParametersInfoForDpi")));
    }
    return f;
  }();
  return functions;
}

bool Usable(UINT dpi) { return dpi >= 48 && dpi <= 4 * 480; }

struct DpiFont {
  UINT dpi;
  bool status;
  HFONT font;
};
std::vector<DpiFont> g_fonts;

// The wide font description of the system at dpi; the ANSI form of the call does not exist
// for a DPI of one's choosing.
bool SystemFontForDpi(bool status, UINT dpi, LOGFONTW* font) {
  const DpiFunctions& f = Functions();
  if (status) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    const bool got = f.parametersForDpi
                         ? f.parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != 0
                         : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != 0;
    if (!got) return false;
    *font = metrics.lfStatusFont;
  } else {
    const bool got = f.parametersForDpi
                         ? f.parametersForDpi(SPI_GETICONTITLELOGFONT, sizeof *font, font, 0, dpi) != 0
                         : SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof *font, font, 0) != 0;
    if (!got) return false;
  }
  // Without the call for a DPI the system's font is at the system's DPI.
  if (!f.parametersForDpi) font->lfHeight = ScaleBetweenDpi(font->lfHeight, SystemDpi(), dpi);
  return true;
}

HFONT FontForDpi(bool status, UINT dpi) {
  for (const DpiFont& known : g_fonts)
    if (known.dpi == dpi && known.status == status) return known.font;
  LOGFONTW description = {};
  if (!SystemFontForDpi(status, dpi, &description)) return nullptr;
  HFONT font = CreateFontIndirectW(&description);
  if (font) g_fonts.push_back(DpiFont{dpi, status, font});
  return font;
}

}  // namespace

UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  if (!screen) return kBaseDpi;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 && Usable(static_cast<UINT>(dpi)) ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT WindowDpi(HWND window) {
  HWND top = window ? GetAncestor(window, GA_ROOT) : nullptr;
  if (top) {
    const UINT noted = static_cast<UINT>(reinterpret_cast<UINT_PTR>(GetPropA(top, kDpiProperty)));
    if (Usable(noted)) return noted;
    if (Functions().dpiForWindow) {
      const UINT dpi = Functions().dpiForWindow(top);
      if (Usable(dpi)) return dpi;
    }
  }
  return SystemDpi();
}

void NoteWindowDpi(HWND topLevel, UINT dpi) {
  if (topLevel && Usable(dpi)) SetPropA(topLevel, kDpiProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(dpi)));
}

void ForgetWindowDpi(HWND topLevel) {
  if (topLevel) RemovePropA(topLevel, kDpiProperty);
}

int ScaleToDpi(int size, UINT dpi) { return MulDiv(size, static_cast<int>(dpi), kBaseDpi); }

int ScaleFromDpi(int size, UINT dpi) { return dpi ? MulDiv(size, kBaseDpi, static_cast<int>(dpi)) : size; }

int ScaleBetweenDpi(int size, UINT from, UINT to) {
  return from ? MulDiv(size, static_cast<int>(to), static_cast<int>(from)) : size;
}

int MetricForDpi(int index, UINT dpi) {
  if (Functions().metricsForDpi) return Functions().metricsForDpi(index, dpi);
  return ScaleBetweenDpi(GetSystemMetrics(index), SystemDpi(), dpi);
}

HFONT IconTitleFontForDpi(UINT dpi) { return FontForDpi(false, dpi); }

HFONT StatusFontForDpi(UINT dpi) { return FontForDpi(true, dpi); }

void ReleaseDpiFonts() {
  for (const DpiFont& known : g_fonts) DeleteObject(known.font);
  g_fonts.clear();
}
