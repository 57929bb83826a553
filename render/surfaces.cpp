// The drawing surfaces (see surfaces.h): made for the window's client
// rectangle at a show's start, released at its stop.
//
// createSurfaces either makes all of the back buffer, the snapshot of the screen
// and the draw list, or leaves none of them; a draw list left by an earlier show
// is emptied and reused rather than leaked. Every handle is null once released.
// Dependencies: platform GDI and window manager, the draw list.
#include "render/surfaces.h"

#include "platform/runtime.h"
#include "platform/window_manager.h"
#include "render/draw_list.h"

RECT clientRect;
HDC backBuffer;
HBITMAP backBufferBitmap;
HDC screenSnapshot;
HBITMAP screenSnapshotBitmap;
LOGFONTW fontTemplate;

// Deletes the memory DC and bitmap that dc and bitmap name, DC first, and sets both to null.
static void deleteSurface(HDC* dc, HBITMAP* bitmap) {
  if (*dc != nullptr) {
    DeleteDC(*dc);
    *dc = nullptr;
  }
  if (*bitmap != nullptr) {
    DeleteObject(*bitmap);
    *bitmap = nullptr;
  }
}

int createSurfaces(HWND window) {
  GetClientRect(window, &clientRect);
  deleteSurface(&screenSnapshot, &screenSnapshotBitmap);
  deleteSurface(&backBuffer, &backBufferBitmap);

  backBuffer = CreateCompatibleDC(nullptr);
  screenSnapshot = CreateCompatibleDC(nullptr);
  HDC windowDc = GetDC(window);
  backBufferBitmap = CreateCompatibleBitmap(windowDc, clientRect.right, clientRect.bottom);
  screenSnapshotBitmap = CreateCompatibleBitmap(windowDc, clientRect.right, clientRect.bottom);
  ReleaseDC(window, windowDc);
  SelectObject(backBuffer, backBufferBitmap);
  SelectObject(screenSnapshot, screenSnapshotBitmap);

  HWND desktop = GetDesktopWindow();
  HDC screenDc = GetDC(desktop);
  BitBlt(screenSnapshot, 0, 0, clientRect.right, clientRect.bottom, screenDc, 0, 0, SRCCOPY);
  ReleaseDC(desktop, screenDc);

  memset(&fontTemplate, 0, sizeof(fontTemplate));
  SetBkMode(backBuffer, TRANSPARENT);

  // A list left by an earlier show is reused rather than leaked.
  int listReady;
  if (drawList != nullptr) {
    emptyDrawList();
    listReady = 1;
  } else {
    listReady = allocateDrawList();
  }
  if (!listReady || backBuffer == nullptr || screenSnapshot == nullptr || backBufferBitmap == nullptr ||
      screenSnapshotBitmap == nullptr) {
    releaseSurfaces();
    return 0;
  }
  return 1;
}

void releaseSurfaces(void) {
  deleteSurface(&screenSnapshot, &screenSnapshotBitmap);
  deleteSurface(&backBuffer, &backBufferBitmap);
  if (drawList != nullptr) releaseDrawList();
}
