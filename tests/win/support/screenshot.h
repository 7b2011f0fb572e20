// A copy of the whole screen kept as a bitmap file: what a test saw, for people to look at.
// Header-only, shared by the Windows tests and the end-to-end tests.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// Waits (up to timeoutMs) until window shows more than one colour on the screen: a window
// painted by another thread reaches the display only when that thread next flushes it.
inline void WaitUntilDrawn(HWND window, DWORD timeoutMs = 3000) {
  RECT rc;
  if (!GetWindowRect(window, &rc)) return;
  const int width = rc.right - rc.left, height = rc.bottom - rc.top;
  if (width <= 4 || height <= 4) return;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  const DWORD start = GetTickCount();
  while (bitmap && GetTickCount() - start < timeoutMs) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    // The inside only: the frame is drawn before the contents.
    BitBlt(memory, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(memory, old);
    const auto* pixels = static_cast<const DWORD*>(bits);
    bool drawn = false;
    for (int y = 3; y < height - 3 && !drawn; ++y)
      for (int x = 3; x < width - 3 && !drawn; ++x) drawn = pixels[y * width + x] != pixels[3 * width + 3];
    if (drawn) break;
    Sleep(20);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Copies the area of the screen into dir\<name>.bmp, making dir when it is missing.
inline bool SaveScreenAreaTo(const std::string& dir, const std::string& name, const RECT& area) {
  CreateDirectoryA(dir.c_str(), nullptr);
  const int left = area.left < 0 ? 0 : area.left, top = area.top < 0 ? 0 : area.top;
  const int right = area.right > GetSystemMetrics(SM_CXSCREEN) ? GetSystemMetrics(SM_CXSCREEN) : area.right;
  const int bottom = area.bottom > GetSystemMetrics(SM_CYSCREEN) ? GetSystemMetrics(SM_CYSCREEN) : area.bottom;
  const int width = right - left, height = bottom - top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  bool saved = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    SelectObject(memory, old);
    DWORD imageSize = ((width * 3 + 3) & ~3) * height;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + imageSize;
    std::string path = dir + "\\" + name + ".bmp";
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
      saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&header, sizeof header, 1, out) == 1 &&
              std::fwrite(bits, imageSize, 1, out) == 1;
      std::fclose(out);
    }
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

// Copies the screen into dir\<name>.bmp, making dir when it is missing.
inline bool SaveScreenshotTo(const std::string& dir, const std::string& name) {
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return SaveScreenAreaTo(dir, name, screen);
}

// Copies what the screen shows of window (its frame included) into dir\<name>.bmp.
inline bool SaveWindowScreenshotTo(HWND window, const std::string& dir, const std::string& name) {
  RECT area;
  return GetWindowRect(window, &area) && SaveScreenAreaTo(dir, name, area);
}
