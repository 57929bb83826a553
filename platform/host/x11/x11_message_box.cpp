// The x11 backend's message boxes: a real modal dialog per MessageBoxW, with
// the caption as its title, the text wrapped in the default face and an OK
// button, all drawn with the host's own GDI onto a surface that is put into
// the dialog's window.
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

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>


namespace host {
namespace {

constexpr int kPadding = 16;
constexpr int kTextHeight = 16;    // the font's cell height in pixels
constexpr int kMaxTextWidth = 360;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr COLORREF kFaceColour = RGB(236, 236, 236);
constexpr COLORREF kButtonColour = RGB(250, 250, 250);
constexpr COLORREF kEdgeColour = RGB(96, 96, 96);
constexpr COLORREF kTextColour = RGB(0, 0, 0);

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

LOGFONTW boxFont() {
  LOGFONTW font{};
  font.lfHeight = kTextHeight;
  return font;
}

// The text's wrapped size at the widest width the box allows.
RECT measureText(const std::u16string& text, int maxWidth) {
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTW logFont = boxFont();
  HFONT font = CreateFontIndirectW(&logFont);
  HGDIOBJ previous = SelectObject(dc, font);
  RECT r{0, 0, maxWidth, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_WORDBREAK | DT_CALCRECT);
  SelectObject(dc, previous);
  DeleteObject(font);
  DeleteDC(dc);
  return RECT{0, 0, std::max<LONG>(0, r.right), std::max<LONG>(kTextHeight, r.bottom)};
}

// Draws the whole box (face, text, OK button) into its picture.
void drawBox(Box* b, const std::u16string& text, int width, int height) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HBRUSH face = CreateSolidBrush(kFaceColour);
  HGDIOBJ oldBrush = SelectObject(dc, face);
  PatBlt(dc, 0, 0, width, height, PATCOPY);
  HPEN edge = CreatePen(PS_SOLID, 1, kEdgeColour);
  HGDIOBJ oldPen = SelectObject(dc, edge);
  HBRUSH buttonFace = CreateSolidBrush(kButtonColour);
  SelectObject(dc, buttonFace);
  Rectangle(dc, b->button.left, b->button.top, b->button.right, b->button.bottom);
  LOGFONTW logFont = boxFont();
  HFONT font = CreateFontIndirectW(&logFont);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kTextColour);
  RECT textRect{kPadding, kPadding, width - kPadding, height};
  DrawTextW(dc, text.c_str(), -1, &textRect, DT_WORDBREAK);
  RECT okRect{b->button.left, b->button.top + (kButtonHeight - kTextHeight) / 2, b->button.right, b->button.bottom};
  DrawTextW(dc, u"OK", -1, &okRect, DT_CENTER);
  if (Surface* s = dcSurface(dc)) b->picture = *s;
  SelectObject(dc, oldFont);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldBitmap);
  DeleteObject(font);
  DeleteObject(buttonFace);
  DeleteObject(edge);
  DeleteObject(face);
  DeleteObject(bitmap);
  DeleteDC(dc);
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
  int maxText = std::max(100, std::min(kMaxTextWidth, x.width - 4 * kPadding));
  RECT text = measureText(state->text, maxText);
  int width = std::max<int>({int(text.right) + 2 * kPadding, kButtonWidth + 2 * kPadding, 200});
  int height = kPadding + int(text.bottom) + kPadding + kButtonHeight + kPadding;
  width = std::min(width, std::max(1, x.width));
  height = std::min(height, std::max(1, x.height));
  Box* b = new Box;
  b->state = state;
  b->button = RECT{(width - kButtonWidth) / 2, height - kPadding - kButtonHeight, (width + kButtonWidth) / 2,
                   height - kPadding};
  drawBox(b, state->text, width, height);
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
