// The x11 backend's input: X events turned into the window messages the
// system reads (taps, keys with the platform's virtual-key codes, close
// requests, activation, size changes and repaints).
//
// The message loop polls the connection's descriptor; since Xlib may read
// events into its own queue during any round trip (a present's XSync), the
// next-event hook reports "now" while events wait there, so the loop never
// sleeps on a descriptor that has nothing more to say. While a message box is
// open, taps and keys for the windows behind it are dropped: the box is modal.
#include "platform/host/x11/x11_state.h"

#include "platform/host/common/keysyms.h"

namespace host {
namespace {

// The screen took a new size (root ConfigureNotify).
void screenResized(int width, int height) {
  X11Display& x = x11();
  if (width == x.width && height == x.height) return;
  x.width = width;
  x.height = height;
  resizeFullScreenWindows(width, height);
}

// The X window of a host window was given a new size (by a window manager).
void windowResized(Window* w, int width, int height) {
  X11Window* xw = static_cast<X11Window*>(w->backendData);
  xw->applied.width = width;
  xw->applied.height = height;
  if (width == w->width && height == w->height) return;
  w->width = std::min(width, kMaxBitmapSide);
  w->height = std::min(height, kMaxBitmapSide);
  w->client.reset(w->width, w->height, kOpaqueBlack);
  w->invalid = true;
  w->paintDeclined = false;
  postToQueue(w->handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->width, w->height));
}

void handleWindowEvent(Window* w, XEvent& event) {
  X11Display& x = x11();
  switch (event.type) {
    case ButtonPress:
    case ButtonRelease:
      if (event.xbutton.button != Button1 || anyBoxOpen()) break;
      postToQueue(w->handle, event.type == ButtonPress ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                  event.type == ButtonPress ? MK_LBUTTON : 0, MAKELPARAM(event.xbutton.x, event.xbutton.y));
      break;
    case KeyPress:
    case KeyRelease: {
      WPARAM vk = virtualKeyOfKeysym(XLookupKeysym(&event.xkey, 0));
      if (vk == 0 || anyBoxOpen()) break;
      if (event.type == KeyPress) {
        postToQueue(w->handle, WM_KEYDOWN, vk, 1);
      } else {
        postToQueue(w->handle, WM_KEYUP, vk, LPARAM(0xC0000001u));
      }
      break;
    }
    case ClientMessage:
      if (event.xclient.message_type == x.atoms.wmProtocols &&
          Atom(event.xclient.data.l[0]) == x.atoms.wmDeleteWindow) {
        postToQueue(w->handle, WM_CLOSE, 0, 0);
      }
      break;
    case FocusIn:
    case FocusOut:
      if (event.xfocus.mode != NotifyNormal && event.xfocus.mode != NotifyWhileGrabbed) break;
      if (event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer) break;
      postToQueue(w->handle, WM_ACTIVATE, event.type == FocusIn ? WA_ACTIVE : WA_INACTIVE, 0);
      break;
    case ConfigureNotify:
      windowResized(w, event.xconfigure.width, event.xconfigure.height);
      break;
    case Expose:
      if (event.xexpose.count == 0) {
        w->invalid = true;
        w->paintDeclined = false;
      }
      break;
    case MapNotify:
      windowMapped(w);
      break;
    case UnmapNotify:
      static_cast<X11Window*>(w->backendData)->mapped = false;
      break;
    default:
      break;
  }
}

}  // namespace

void x11PumpEvents(int64_t nowMs) {
  (void)nowMs;  // real input comes when it comes
  X11Display& x = x11();
  if (x.display == nullptr) return;
  while (XPending(x.display) > 0) {
    XEvent event;
    XNextEvent(x.display, &event);
    if (handleBoxEvent(event) || handleTrayEvent(event)) continue;
    if (event.xany.window == x.root) {
      if (event.type == ConfigureNotify) screenResized(event.xconfigure.width, event.xconfigure.height);
      continue;
    }
    if (Window* w = windowOfX11(event.xany.window)) handleWindowEvent(w, event);
  }
}

int64_t x11NextEventTime() {
  Display* d = x11().display;
  if (d == nullptr) return kNever;
  XFlush(d);
  return XEventsQueued(d, QueuedAlready) > 0 ? clockNowMs() : kNever;
}

}  // namespace host
