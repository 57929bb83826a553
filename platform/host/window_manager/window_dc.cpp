// Device contexts of windows and of the screen: GetDC, ReleaseDC,
// GetDesktopWindow, BeginPaint and EndPaint.
//
// Invariant: every window or screen DC that is still taken is listed (on its
// window, or in the screen's list), and is freed with its window or at reset,
// so no DC outlives the surface it draws on. A window DC draws on the
// window's client surface; EndPaint (and ReleaseDC of a window DC) hands the
// surface to the backend to show. A screen DC draws on the backend's screen
// surface as it was when the DC was taken.
#include <algorithm>

#include "platform/host/window_manager/window_state.h"
#include "platform/runtime.h"

namespace host {
namespace {

std::vector<HDC>& screenDcs() {
  static auto* list = new std::vector<HDC>;
  return *list;
}

// Removes dc from list; false when it is not there.
bool unlist(std::vector<HDC>& list, HDC dc) {
  auto it = std::find(list.begin(), list.end(), dc);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

HDC takeScreenDc() {
  Surface* screen = backend().screenSurface();
  if (screen == nullptr) return nullptr;
  HDC dc = createSurfaceDc(DcTarget::Screen, desktopWindow()->handle, screen);
  if (dc != nullptr) screenDcs().push_back(dc);
  return dc;
}

HDC takeWindowDc(Window* w) {
  HDC dc = createSurfaceDc(DcTarget::Window, w->handle, &w->client);
  if (dc != nullptr) w->dcs.push_back(dc);
  return dc;
}

}  // namespace

void releaseWindowDcs(Window* window) {
  for (HDC dc : window->dcs) destroyObject(dc);
  window->dcs.clear();
}

void releaseScreenDcs() {
  for (HDC dc : screenDcs()) destroyObject(dc);
  screenDcs().clear();
}

}  // namespace host

using namespace host;

HWND GetDesktopWindow(void) { return desktopWindow()->handle; }

HDC GetDC(HWND window) {
  if (window == nullptr || window == desktopWindow()->handle) return takeScreenDc();
  Window* w = localWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return takeWindowDc(w);
}

int ReleaseDC(HWND window, HDC dc) {
  (void)window;  // the DC knows its window; the platform ignores a mismatch too
  Dc* d = lookupDc(dc);
  if (d == nullptr) return 0;
  if (d->target == DcTarget::Screen) {
    if (!unlist(screenDcs(), dc)) return 0;
    destroyObject(dc);
    return 1;
  }
  Window* w = localWindow(d->window);
  if (d->target != DcTarget::Window || w == nullptr || !unlist(w->dcs, dc)) return 0;
  destroyObject(dc);
  backend().present(w);
  return 1;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  Window* w = localWindow(window);
  if (w == nullptr || paint == nullptr) {
    SetLastError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HDC dc = takeWindowDc(w);
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  paint->fErase = FALSE;
  paint->rcPaint = RECT{0, 0, w->width, w->height};
  w->invalid = false;  // painting validates the whole client area
  return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  Window* w = localWindow(window);
  if (w == nullptr || paint == nullptr) {
    SetLastError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (unlist(w->dcs, paint->hdc)) destroyObject(paint->hdc);
  ++w->frames;
  backend().present(w);
  return TRUE;
}
