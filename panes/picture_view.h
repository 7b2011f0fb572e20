// The preview pane's picture: a child window that shows a decoded picture scaled to fit
// (never up), centred, transparent parts over a checkerboard.
#pragma once

#include <windows.h>

#include "pictures/picture.h"

// Sent to a picture view: returns the HBITMAP of the picture shown, unscaled (a top-down
// 32-bit DIB section whose pixels are B, G, R, A, alpha not premultiplied), or null when it
// shows none. The view keeps the bitmap; a caller reads it (GetObject gives a DIBSECTION
// with the bits) and must not delete it.
constexpr UINT WMU_PICTURE_BITMAP = WM_USER + 0x40;

HWND CreatePictureView(HWND parent, int id);
// Shows the picture (moved from *picture) or, for null, nothing; false when no bitmap could be made.
bool SetViewPicture(HWND view, Picture* picture);
