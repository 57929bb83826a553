// The x11 backend's windows: one X window per window of the host, kept in
// step with the window manager's record (visibility, size, z-order).
//
// A full-screen window (made with CW_USEDEFAULT) asks a running window
// manager for _NET_WM_STATE_FULLSCREEN; with none it is an override-redirect
// window at (0, 0) of the screen's size that takes the keyboard focus itself
// once mapped. Shown maps, minimised iconifies (unmaps without a manager),
// hidden unmaps. The window on top of the host's z-order is raised and, with
// a manager, asked to be the active window.
#include "platform/host/x11/x11_state.h"

#include <X11/Xatom.h>

#include <algorithm>


namespace host {
namespace {

X11Window* recordOf(Window* window) { return static_cast<X11Window*>(window->backendData); }

// Sends the root window a client message for the window manager.
void sendToManager(::Window window, Atom type, long a, long b, long c) {
  X11Display& x = x11();
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = a;
  event.xclient.data.l[1] = b;
  event.xclient.data.l[2] = c;
  XSendEvent(x.display, x.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

// Gives the keyboard focus to a mapped window.
void takeFocus(::Window id) {
  trapErrors();  // the window may have been unmapped meanwhile
  XSetInputFocus(x11().display, id, RevertToParent, CurrentTime);
  untrapErrors();
}

// Shows, iconifies or hides the X window as the record's state says.
void applyShowState(Window* window, X11Window* xw) {
  X11Display& x = x11();
  if (xw->applied.show == window->show) return;
  switch (window->show) {
    case ShowState::Normal:
      XMapWindow(x.display, xw->id);
      break;
    case ShowState::Minimized:
      if (windowManagerRuns() && !xw->overrideRedirect) {
        if (xw->applied.show == ShowState::Hidden) XMapWindow(x.display, xw->id);
        XIconifyWindow(x.display, xw->id, x.screen);
      } else {
        XUnmapWindow(x.display, xw->id);
        xw->mapped = false;
      }
      break;
    case ShowState::Hidden:
      XWithdrawWindow(x.display, xw->id, x.screen);
      xw->mapped = false;
      break;
  }
  xw->applied.show = window->show;
}

void applyGeometry(Window* window, X11Window* xw) {
  X11Window::Applied& a = xw->applied;
  int width = std::max(1, window->width), height = std::max(1, window->height);
  if (a.x == window->x && a.y == window->y && a.width == width && a.height == height) return;
  XMoveResizeWindow(x11().display, xw->id, window->x, window->y, unsigned(width), unsigned(height));
  a.x = window->x;
  a.y = window->y;
  a.width = width;
  a.height = height;
}

// The host's topmost window comes to the top of the screen too.
void applyRaise(Window* window, X11Window* xw) {
  const std::vector<HWND>& stack = windowStack();
  bool top = window->visible() && !stack.empty() && stack.back() == window->handle;
  if (top && !xw->applied.top) {
    X11Display& x = x11();
    XRaiseWindow(x.display, xw->id);
    if (xw->overrideRedirect) {
      if (xw->mapped) takeFocus(xw->id);
    } else if (windowManagerRuns()) {
      sendToManager(xw->id, x.atoms.netActiveWindow, 1, CurrentTime, 0);
    }
    raiseBoxes();
  }
  xw->applied.top = top;
}

}  // namespace

bool x11CreateWindow(Window* window) {
  X11Display& x = x11();
  if (x.display == nullptr) return false;
  X11Window* xw = new X11Window;
  bool manager = windowManagerRuns();
  xw->overrideRedirect = window->fullScreen && !manager;
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(x.display, x.screen);
  attributes.override_redirect = xw->overrideRedirect ? True : False;
  attributes.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                          StructureNotifyMask | FocusChangeMask;
  int width = std::max(1, window->width), height = std::max(1, window->height);
  xw->id = XCreateWindow(x.display, x.root, window->x, window->y, unsigned(width), unsigned(height), 0, x.depth,
                         InputOutput, x.visual, CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);
  if (xw->id == 0) {
    delete xw;
    return false;
  }
  xw->applied.x = window->x;
  xw->applied.y = window->y;
  xw->applied.width = width;
  xw->applied.height = height;
  xw->gc = XCreateGC(x.display, xw->id, 0, nullptr);
  setWindowTitle(xw->id, window->title);
  std::string className = utf16ToUtf8(window->className.data(), window->className.size());
  XClassHint hint{const_cast<char*>(className.c_str()), const_cast<char*>(className.c_str())};
  XSetClassHint(x.display, xw->id, &hint);
  XSetWMProtocols(x.display, xw->id, &x.atoms.wmDeleteWindow, 1);
  XSizeHints size{};
  size.flags = USPosition | USSize;
  XSetWMNormalHints(x.display, xw->id, &size);
  if (window->fullScreen && manager) {
    XChangeProperty(x.display, xw->id, x.atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&x.atoms.netWmStateFullscreen), 1);
  }
  window->backendData = xw;
  XFlush(x.display);
  return true;
}

void x11DestroyWindow(Window* window) {
  X11Window* xw = recordOf(window);
  if (xw == nullptr) return;
  destroyX11Window(xw->id, xw->gc, &xw->image);
  delete xw;
  window->backendData = nullptr;
}

void destroyX11Window(::Window id, GC gc, X11Image* image) {
  X11Display& x = x11();
  freeImage(image);
  XFreeGC(x.display, gc);
  XDestroyWindow(x.display, id);
  XSync(x.display, False);
}

void x11WindowChanged(Window* window) {
  X11Window* xw = recordOf(window);
  if (xw == nullptr) return;
  applyGeometry(window, xw);
  applyShowState(window, xw);
  applyRaise(window, xw);
  // Mapping is done by the server before the next frame is put.
  XSync(x11().display, False);
}

Window* windowOfX11(::Window id) {
  for (HWND handle : windowStack()) {
    Window* w = localWindow(handle);
    if (w != nullptr && w->backendData != nullptr && static_cast<X11Window*>(w->backendData)->id == id) return w;
  }
  return nullptr;
}

void windowMapped(Window* window) {
  X11Window* xw = recordOf(window);
  if (xw == nullptr) return;
  xw->mapped = true;
  if (xw->overrideRedirect && window->visible()) {
    const std::vector<HWND>& stack = windowStack();
    if (!stack.empty() && stack.back() == window->handle && !anyBoxOpen()) takeFocus(xw->id);
  }
}

void focusTopWindow() {
  const std::vector<HWND>& stack = windowStack();
  if (stack.empty()) return;
  Window* w = localWindow(stack.back());
  X11Window* xw = w != nullptr ? recordOf(w) : nullptr;
  if (xw != nullptr && w->visible() && xw->mapped) takeFocus(xw->id);
}

}  // namespace host
