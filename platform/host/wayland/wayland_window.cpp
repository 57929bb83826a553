// The wayland backend's windows: one wl_surface per window of the host, given
// an xdg_toplevel (title and app id "Tessaril") while the window is shown.
//
// Invariant: a shown window has a toplevel, a hidden or minimised one has
// none (its surface carries no buffer), so a resident program's hidden window
// is nothing on screen whatever the compositor's pace. A full-screen window
// (made with CW_USEDEFAULT) asks set_fullscreen; its client size is the size
// the compositor configures, in the output's pixels (logical size times the
// integer buffer scale), and a new size is WM_SIZE. The window that comes to
// the top of the host's z-order asks for activation where the compositor
// offers xdg_activation_v1; elsewhere the compositor alone decides focus.
#include "platform/host/wayland/wayland_state.h"

#include <algorithm>

namespace host {
namespace {

// How long a map waits for the compositor's first configure.
constexpr int kConfigureTimeoutMs = 5000;

WaylandSurface* recordOf(Window* window) { return static_cast<WaylandSurface*>(window->backendData); }

// The host window's size becomes width x height pixels: a fresh client
// surface to paint, and WM_SIZE.
void resizeWindow(Window* w, int width, int height) {
  width = std::clamp(width, 1, kMaxBitmapSide);
  height = std::clamp(height, 1, kMaxBitmapSide);
  if (width == w->width && height == w->height) return;
  w->width = width;
  w->height = height;
  w->client.reset(width, height, kOpaqueBlack);
  w->invalid = true;
  w->paintDeclined = false;
  postToQueue(w->handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

// The scale a surface's buffers take: the largest of the outputs it is on.
int scaleOf(const WaylandSurface* s) {
  if (s->entered.empty()) return largestOutputScale();
  int scale = 1;
  for (const WaylandOutput* o : s->entered) scale = std::max(scale, o->scale);
  return scale;
}

void surfaceEnter(void* data, wl_surface*, wl_output* output) {
  auto* s = static_cast<WaylandSurface*>(data);
  for (WaylandOutput& o : wayland().outputs) {
    if (o.output == output && std::find(s->entered.begin(), s->entered.end(), &o) == s->entered.end()) {
      s->entered.push_back(&o);
    }
  }
  surfaceChanged(s);
}

void surfaceLeave(void* data, wl_surface*, wl_output* output) {
  auto* s = static_cast<WaylandSurface*>(data);
  s->entered.erase(std::remove_if(s->entered.begin(), s->entered.end(),
                                  [&](const WaylandOutput* o) { return o->output == output; }),
                   s->entered.end());
  surfaceChanged(s);
}

const wl_surface_listener kSurfaceListener = {.enter = surfaceEnter, .leave = surfaceLeave};

void toplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* s = static_cast<WaylandSurface*>(data);
  s->pendingWidth = std::max(0, width);
  s->pendingHeight = std::max(0, height);
}

// The close request: WM_CLOSE for a window, an answer for a box (polled).
void toplevelClose(void* data, xdg_toplevel*) {
  auto* s = static_cast<WaylandSurface*>(data);
  if (Window* w = windowOfSurface(s->surface)) {
    postToQueue(w->handle, WM_CLOSE, 0, 0);
  } else {
    s->closeRequested = true;
  }
}

// The listener for the xdg_wm_base version bound (2); events of later
// versions are never sent and stay null.
const xdg_toplevel_listener* toplevelListener() {
  static const xdg_toplevel_listener listener = [] {
    xdg_toplevel_listener l{};
    l.configure = toplevelConfigure;
    l.close = toplevelClose;
    return l;
  }();
  return &listener;
}

// Acknowledges the configure. A window takes the new size; when the size
// stays, the acknowledgement goes out at once with the frame already shown
// (a compositor may wait for it), else with the next frame at the new size.
void xdgSurfaceConfigure(void* data, xdg_surface* xdgSurface, uint32_t serial) {
  auto* s = static_cast<WaylandSurface*>(data);
  xdg_surface_ack_configure(xdgSurface, serial);
  s->configured = true;
  s->configuredWidth = s->pendingWidth;
  s->configuredHeight = s->pendingHeight;
  Window* w = windowOfSurface(s->surface);
  int width = w != nullptr ? w->width : 0, height = w != nullptr ? w->height : 0;
  surfaceChanged(s);
  bool sameSize = w == nullptr || (w->width == width && w->height == height);
  if (s->hasFrame && sameSize) wl_surface_commit(s->surface);
}

const xdg_surface_listener kXdgSurfaceListener = {.configure = xdgSurfaceConfigure};

bool configuredOrGone(void* data) {
  auto* s = static_cast<WaylandSurface*>(data);
  return s->configured || s->toplevel == nullptr;
}

void tokenDone(void* data, xdg_activation_token_v1* token, const char* text) {
  auto* s = static_cast<WaylandSurface*>(data);
  if (s->toplevel != nullptr && wayland().activation != nullptr) {
    xdg_activation_v1_activate(wayland().activation, text, s->surface);
  }
  xdg_activation_token_v1_destroy(token);
  s->token = nullptr;
}

const xdg_activation_token_v1_listener kTokenListener = {.done = tokenDone};

// Asks the compositor to activate the surface, with the latest input's serial
// where there was input (a compositor may refuse a request without one).
void requestActivation(WaylandSurface* s) {
  WaylandDisplay& d = wayland();
  if (d.activation == nullptr || s->token != nullptr) return;
  s->token = xdg_activation_v1_get_activation_token(d.activation);
  xdg_activation_token_v1_add_listener(s->token, &kTokenListener, s);
  if (d.seat.seat != nullptr && d.seat.lastSerial != 0) {
    xdg_activation_token_v1_set_serial(s->token, d.seat.lastSerial, d.seat.seat);
  }
  if (d.seat.keyboardSurface != nullptr) xdg_activation_token_v1_set_surface(s->token, d.seat.keyboardSurface);
  xdg_activation_token_v1_set_app_id(s->token, "Tessaril");
  xdg_activation_token_v1_commit(s->token);
}

}  // namespace

bool makeSurface(WaylandSurface* s) {
  WaylandDisplay& d = wayland();
  if (d.compositor == nullptr) return false;
  s->surface = wl_compositor_create_surface(d.compositor);
  if (s->surface == nullptr) return false;
  wl_surface_add_listener(s->surface, &kSurfaceListener, s);
  s->scale = scaleOf(s);
  return true;
}

void freeSurface(WaylandSurface* s) {
  unmapSurface(s);
  freeBuffers(s);
  if (s->token != nullptr) xdg_activation_token_v1_destroy(s->token);
  s->token = nullptr;
  forgetSurfaceInput(s->surface);
  if (s->surface != nullptr) wl_surface_destroy(s->surface);
  s->surface = nullptr;
  wl_display_flush(wayland().display);
}

bool mapSurface(WaylandSurface* s, const ToplevelRole& role) {
  WaylandDisplay& d = wayland();
  if (s->toplevel != nullptr) return true;
  s->xdgSurface = xdg_wm_base_get_xdg_surface(d.wmBase, s->surface);
  xdg_surface_add_listener(s->xdgSurface, &kXdgSurfaceListener, s);
  s->toplevel = xdg_surface_get_toplevel(s->xdgSurface);
  xdg_toplevel_add_listener(s->toplevel, toplevelListener(), s);
  std::string title = utf16ToUtf8(role.title->data(), role.title->size());
  xdg_toplevel_set_title(s->toplevel, title.c_str());
  xdg_toplevel_set_app_id(s->toplevel, "Tessaril");
  if (role.parent != nullptr) xdg_toplevel_set_parent(s->toplevel, role.parent);
  if (role.fixedWidth > 0) {  // a fixed size: tiling compositors float such windows
    xdg_toplevel_set_min_size(s->toplevel, role.fixedWidth, role.fixedHeight);
    xdg_toplevel_set_max_size(s->toplevel, role.fixedWidth, role.fixedHeight);
  }
  if (role.fullScreen) xdg_toplevel_set_fullscreen(s->toplevel, nullptr);
  s->configured = false;
  s->hasFrame = false;
  s->closeRequested = false;
  wl_surface_commit(s->surface);  // the initial commit, without a buffer: asks for the configure
  return waitUntil(configuredOrGone, s, kConfigureTimeoutMs);
}

void unmapSurface(WaylandSurface* s) {
  if (s->toplevel == nullptr) return;
  wl_surface_attach(s->surface, nullptr, 0, 0);
  wl_surface_commit(s->surface);
  xdg_toplevel_destroy(s->toplevel);
  xdg_surface_destroy(s->xdgSurface);
  s->toplevel = nullptr;
  s->xdgSurface = nullptr;
  s->configured = false;
  s->hasFrame = false;
  s->top = false;
  wl_display_flush(wayland().display);
}

void surfaceChanged(WaylandSurface* s) {
  s->scale = scaleOf(s);
  Window* w = windowOfSurface(s->surface);
  if (w == nullptr || !s->configured || s->configuredWidth <= 0 || s->configuredHeight <= 0) return;
  resizeWindow(w, s->configuredWidth * s->scale, s->configuredHeight * s->scale);
}

bool waylandCreateWindow(Window* window) {
  auto* s = new WaylandSurface;
  if (!makeSurface(s)) {
    delete s;
    return false;
  }
  window->backendData = s;
  return true;
}

void waylandDestroyWindow(Window* window) {
  WaylandSurface* s = recordOf(window);
  if (s == nullptr) return;
  freeSurface(s);
  delete s;
  window->backendData = nullptr;
}

void waylandWindowChanged(Window* window) {
  WaylandSurface* s = recordOf(window);
  if (s == nullptr) return;
  if (!window->visible()) {
    unmapSurface(s);
    return;
  }
  if (s->toplevel == nullptr) {
    ToplevelRole role{&window->title, nullptr, window->fullScreen, 0, 0};
    if (mapSurface(s, role)) waylandPresent(window);  // maps with what the client holds now
  }
  const std::vector<HWND>& stack = windowStack();
  bool top = !stack.empty() && stack.back() == window->handle;
  if (top && !s->top) requestActivation(s);
  s->top = top;
  wl_display_flush(wayland().display);
}

Window* windowOfSurface(wl_surface* surface) {
  if (surface == nullptr) return nullptr;
  for (HWND handle : windowStack()) {
    Window* w = localWindow(handle);
    if (w != nullptr && w->backendData != nullptr && recordOf(w)->surface == surface) return w;
  }
  return nullptr;
}

xdg_toplevel* toplevelOfWindow(HWND window) {
  Window* w = localWindow(window);
  return (w != nullptr && w->backendData != nullptr) ? recordOf(w)->toplevel : nullptr;
}

}  // namespace host
