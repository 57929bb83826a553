// The x11 backend's message boxes: a real modal dialog per MessageBoxW, with
// the caption as its title, and the picture that message_box_picture.cpp
// draws with the host's own GDI (the text wrapped in the default face, an OK
// button) put into the dialog's window.
//
// The dialog is centred on the screen and kept above the program's windows;
// with a window manager it is a modal transient dialog of its owner, without
// one (or over a live overlay's show, an override-redirect window that no
// managed window can rise above) an override-redirect window that takes the
// keyboard focus. Enter, Space,
// Escape, a click on OK or the close request answer IDOK. The window
// manager's modal loop (message_box.cpp) keeps dispatching the program's
// messages meanwhile; the events of the box arrive through pumpEvents.
#include "platform/host/x11/x11_state.h"
#include "platform/host/window_manager/message_box_picture.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>


namespace host {
namespace {

struct Box {
  MessageBoxState* state = nullptr;
  ::Window id = 0;
  GC gc = nullptr;
  X11Image image;
  Surface picture;
  RECT button{};
  bool overrideRedirect = false;
  bool pressedOnButton = false;
  bool answered = false;
};

std::vector<Box*>& boxes() {
  static auto* list = new std::vector<Box*>;
  return *list;
}

Box* boxOfWindow(::Window id) {
  for (Box* b : boxes()) {
    if (b->id == id) return b;
  }
  return nullptr;
}

void showPicture(Box* b) {
  if (!makeImage(&b->image, b->picture.width, b->picture.height)) return;
  fillImage(&b->image, b->picture);
  putImage(&b->image, b->id, b->gc, b->picture.width, b->picture.height);
}

// The X window of the box's owner, or 0.
::Window ownerWindow(HWND owner) {
  Window* w = localWindow(owner);
  return (w != nullptr && w->backendData != nullptr) ? static_cast<X11Window*>(w->backendData)->id : 0;
}

void focusBox(Box* b) { takeFocus(b->id); }

// Makes the dialog's X window: a modal transient dialog, or override-redirect.
bool makeBoxWindow(Box* b, MessageBoxState* state, int width, int height) {
  X11Display& x = x11();
  bool manager = windowManagerRuns();
  b->overrideRedirect = !manager || liveOverlayShown();  // above the live overlay's override-redirect show
  XSetWindowAttributes attributes{};
  attributes.background_pixel = WhitePixel(x.display, x.screen);
  attributes.override_redirect = b->overrideRedirect ? True : False;
  attributes.event_mask =
      ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  int left = std::max(0, (x.width - width) / 2), top = std::max(0, (x.height - height) / 2);
  b->id = XCreateWindow(x.display, x.root, left, top, unsigned(width), unsigned(height), 1, x.depth, InputOutput,
                        x.visual, CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);
  if (b->id == 0) return false;
  b->gc = XCreateGC(x.display, b->id, 0, nullptr);
  setWindowTitle(b->id, state->caption);
  XClassHint hint{const_cast<char*>("Tessaril"), const_cast<char*>("Tessaril")};
  XSetClassHint(x.display, b->id, &hint);
  XSetWMProtocols(x.display, b->id, &x.atoms.wmDeleteWindow, 1);
  XSizeHints size{};
  size.flags = USPosition | PMinSize | PMaxSize;
  size.x = left;
  size.y = top;
  size.min_width = size.max_width = width;
  size.min_height = size.max_height = height;
  XSetWMNormalHints(x.display, b->id, &size);
  if (::Window owner = ownerWindow(state->owner)) XSetTransientForHint(x.display, b->id, owner);
  XChangeProperty(x.display, b->id, x.atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&x.atoms.netWmWindowTypeDialog), 1);
  XChangeProperty(x.display, b->id, x.atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&x.atoms.netWmStateModal), 1);
  XMapRaised(x.display, b->id);
  XSync(x.display, False);
  return true;
}

bool inButton(const Box* b, int x, int y) {
  return x >= b->button.left && x < b->button.right && y >= b->button.top && y < b->button.bottom;
}

}  // namespace

bool x11OpenMessageBox(MessageBoxState* state) {
  X11Display& x = x11();
  if (x.display == nullptr) return false;
  MessageBoxPicture drawn;
  drawMessageBoxPicture(state->text, x.width, x.height, &drawn);
  Box* b = new Box;
  b->state = state;
  b->picture = std::move(drawn.picture);
  b->button = drawn.button;
  int width = b->picture.width, height = b->picture.height;
  if (!makeBoxWindow(b, state, width, height)) {
    delete b;
    return false;
  }
  boxes().push_back(b);
  state->backendData = b;
  state->wakeAtMs = kNever;  // answered only by the user's events
  return true;
}

void x11PollMessageBox(MessageBoxState* state) {
  Box* b = static_cast<Box*>(state->backendData);
  if (b != nullptr && b->answered) state->answer = IDOK;
}

void x11CloseMessageBox(MessageBoxState* state) {
  Box* b = static_cast<Box*>(state->backendData);
  if (b == nullptr) return;
  std::vector<Box*>& list = boxes();
  list.erase(std::remove(list.begin(), list.end(), b), list.end());
  destroyX11Window(b->id, b->gc, &b->image);
  delete b;
  state->backendData = nullptr;
  if (!list.empty()) {
    focusBox(list.back());
  } else {
    focusTopWindow();
  }
}

bool handleBoxEvent(const XEvent& event) {
  Box* b = boxOfWindow(event.xany.window);
  if (b == nullptr) return false;
  X11Display& x = x11();
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) showPicture(b);
      break;
    case MapNotify:
      showPicture(b);
      if (b->overrideRedirect && b == boxes().back()) focusBox(b);
      break;
    case KeyPress: {
      KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
      if (key == XK_Return || key == XK_KP_Enter || key == XK_space || key == XK_Escape) b->answered = true;
      break;
    }
    case ButtonPress:
      if (event.xbutton.button == Button1) b->pressedOnButton = inButton(b, event.xbutton.x, event.xbutton.y);
      break;
    case ButtonRelease:
      if (event.xbutton.button == Button1 && b->pressedOnButton && inButton(b, event.xbutton.x, event.xbutton.y)) {
        b->answered = true;
      }
      b->pressedOnButton = false;
      break;
    case ClientMessage:
      if (event.xclient.message_type == x.atoms.wmProtocols &&
          Atom(event.xclient.data.l[0]) == x.atoms.wmDeleteWindow) {
        b->answered = true;
      }
      break;
    default:
      break;
  }
  return true;
}

bool anyBoxOpen() { return !boxes().empty(); }

void raiseBoxes() {
  for (Box* b : boxes()) XRaiseWindow(x11().display, b->id);
}

void resetBoxes() {
  for (Box* b : boxes()) {
    destroyX11Window(b->id, b->gc, &b->image);
    if (b->state != nullptr) b->state->backendData = nullptr;
    delete b;
  }
  boxes().clear();
}

}  // namespace host
