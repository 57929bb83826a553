// The x11 backend's tray icon: an XEmbed system-tray client per icon of the
// host's tray.
//
// Each icon is a small window named "Tessaril" that asks the owner of the
// _NET_SYSTEM_TRAY_S<screen> selection to dock it (SYSTEM_TRAY_REQUEST_DOCK).
// When no tray host runs, or the tray host goes away, the icon waits and docks
// as soon as a tray host announces itself (the MANAGER client message on the
// root window). The icon shows the picture of its HICON over the tray's own
// background; a left click posts uCallbackMessage with wParam = uID and
// lParam = WM_LBUTTONDOWN, then with WM_LBUTTONUP on the release.
#include "platform/host/x11/x11_state.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <vector>


namespace host {
namespace {

constexpr int kIconSide = 16;
constexpr long kRequestDock = 0;  // SYSTEM_TRAY_REQUEST_DOCK
constexpr long kXembedMapped = 1;

struct ShownIcon {
  TrayIcon icon;
  ::Window id = 0;
  GC gc = nullptr;
  bool docked = false;
  // The tray host asked to dock the icon, or 0: a second request to the same
  // host while the first is pending makes some hosts never embed it.
  ::Window askedOwner = 0;
};

struct TrayClient {
  std::vector<ShownIcon> icons;
  ::Window owner = 0;  // the tray host's selection owner, or 0
};

TrayClient& client() {
  static TrayClient* instance = new TrayClient;
  return *instance;
}

ShownIcon* findShown(HWND window, UINT id) {
  for (ShownIcon& s : client().icons) {
    if (s.icon.window == window && s.icon.id == id) return &s;
  }
  return nullptr;
}

ShownIcon* shownOfWindow(::Window id) {
  for (ShownIcon& s : client().icons) {
    if (s.id == id) return &s;
  }
  return nullptr;
}

// Makes the icon's window: unmapped until the tray host embeds it.
void makeIconWindow(ShownIcon* s) {
  X11Display& x = x11();
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = ParentRelative;
  attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  s->id = XCreateWindow(x.display, x.root, 0, 0, kIconSide, kIconSide, 0, x.depth, InputOutput, x.visual,
                        CWBackPixmap | CWEventMask, &attributes);
  s->gc = XCreateGC(x.display, s->id, 0, nullptr);
  s->docked = false;
  XStoreName(x.display, s->id, "Tessaril");
  XClassHint hint{const_cast<char*>("Tessaril"), const_cast<char*>("Tessaril")};
  XSetClassHint(x.display, s->id, &hint);
  long info[2] = {0, kXembedMapped};
  XChangeProperty(x.display, s->id, x.atoms.xembedInfo, x.atoms.xembedInfo, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(info), 2);
  XSizeHints size{};
  size.flags = PMinSize | PBaseSize;
  size.min_width = size.base_width = kIconSide;
  size.min_height = size.base_height = kIconSide;
  XSetWMNormalHints(x.display, s->id, &size);
}

void freeIconWindow(ShownIcon* s) {
  Display* d = x11().display;
  if (s->gc != nullptr) XFreeGC(d, s->gc);
  if (s->id != 0) {
    trapErrors();  // the tray host may have destroyed it already
    XDestroyWindow(d, s->id);
    untrapErrors();
  }
  s->gc = nullptr;
  s->id = 0;
  s->docked = false;
}

// Learns the tray host's selection owner and watches it for its end.
void findOwner() {
  X11Display& x = x11();
  ::Window owner = XGetSelectionOwner(x.display, x.atoms.trayAtom);
  if (owner == client().owner) return;
  client().owner = owner;
  if (owner != 0) {
    trapErrors();
    XSelectInput(x.display, owner, StructureNotifyMask);
    untrapErrors();
  }
}

// Asks the tray host, if one runs, to embed the icon's window.
void requestDock(ShownIcon* s) {
  X11Display& x = x11();
  if (s->id == 0) makeIconWindow(s);
  if (client().owner == 0) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = client().owner;
  event.xclient.message_type = x.atoms.systemTrayOpcode;
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = kRequestDock;
  event.xclient.data.l[2] = long(s->id);
  trapErrors();
  XSendEvent(x.display, client().owner, False, NoEventMask, &event);
  untrapErrors();
  s->askedOwner = client().owner;
}

// Draws the icon's picture centred in its window over the tray's background:
// pixels at least half opaque are drawn, the rest show the background.
void drawIcon(ShownIcon* s) {
  X11Display& x = x11();
  Icon* icon = lookup<Icon>(s->icon.icon);
  XClearWindow(x.display, s->id);
  if (icon == nullptr || icon->picture.width < 1) return;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(x.display, s->id, &attributes) == 0) return;
  const Surface& p = icon->picture;
  int left = (attributes.width - p.width) / 2, top = (attributes.height - p.height) / 2;
  Surface opaque;
  opaque.reset(p.width, p.height, kOpaqueBlack);
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    uint32_t v = p.pixels[i], a = v >> 24;
    if (a == 0) continue;
    uint32_t r = std::min<uint32_t>(255, ((v >> 16) & 0xFF) * 255 / a);
    uint32_t g = std::min<uint32_t>(255, ((v >> 8) & 0xFF) * 255 / a);
    uint32_t b = std::min<uint32_t>(255, (v & 0xFF) * 255 / a);
    opaque.pixels[i] = 0xFF000000u | r << 16 | g << 8 | b;
  }
  X11Image image;
  bool keepShm = x.shmUsable;
  x.shmUsable = false;  // rows are put piecewise: a plain image
  bool made = makeImage(&image, p.width, p.height);
  x.shmUsable = keepShm;
  if (!made) return;
  fillImage(&image, opaque);
  for (int y = 0; y < p.height; ++y) {
    const uint32_t* row = p.row(y);
    for (int i = 0; i < p.width;) {
      if ((row[i] >> 24) < 128) {
        ++i;
        continue;
      }
      int start = i;
      while (i < p.width && (row[i] >> 24) >= 128) ++i;
      XPutImage(x.display, s->id, s->gc, image.image, start, y, left + start, top + y, unsigned(i - start), 1);
    }
  }
  freeImage(&image);
  XFlush(x.display);
}

void postClick(const ShownIcon& s, UINT mouseMessage) {
  if ((s.icon.flags & NIF_MESSAGE) == 0) return;
  postToQueue(s.icon.window, s.icon.callbackMessage, s.icon.id, mouseMessage);
}

}  // namespace

void x11TrayChanged(const TrayIcon& icon, DWORD operation) {
  if (x11().display == nullptr) return;
  TrayClient& c = client();
  ShownIcon* s = findShown(icon.window, icon.id);
  if (operation == NIM_DELETE) {
    if (s == nullptr) return;
    freeIconWindow(s);
    c.icons.erase(c.icons.begin() + (s - c.icons.data()));
    XFlush(x11().display);
    return;
  }
  if (s == nullptr) {
    c.icons.push_back(ShownIcon{icon, 0, nullptr, false, 0});
    s = &c.icons.back();
    findOwner();
    requestDock(s);
  } else {
    s->icon = icon;
    if (s->docked) drawIcon(s);
  }
  XFlush(x11().display);
}

bool handleTrayEvent(const XEvent& event) {
  X11Display& x = x11();
  TrayClient& c = client();
  if (event.type == ClientMessage && event.xclient.window == x.root) {
    if (event.xclient.message_type != x.atoms.manager || Atom(event.xclient.data.l[1]) != x.atoms.trayAtom) {
      return false;
    }
    findOwner();  // a tray host started: every icon docks with it
    for (ShownIcon& s : c.icons) {
      if (!s.docked && s.askedOwner != c.owner) requestDock(&s);
    }
    return true;
  }
  if (event.type == DestroyNotify && c.owner != 0 && event.xdestroywindow.window == c.owner) {
    c.owner = 0;
    // The next host's window may get the same id: every icon asks it anew.
    for (ShownIcon& s : c.icons) s.askedOwner = 0;
    return true;
  }
  ShownIcon* s = shownOfWindow(event.xany.window);
  if (s == nullptr) return c.owner != 0 && event.xany.window == c.owner;
  switch (event.type) {
    case ReparentNotify:
      s->docked = event.xreparent.parent != x.root;
      // Handed back to the root when the tray host ended: out of sight until
      // the next tray host takes it.
      if (!s->docked) {
        XUnmapWindow(x.display, s->id);
        s->askedOwner = 0;
      }
      break;
    case DestroyNotify:  // destroyed by a tray host that went away
      s->id = 0;
      s->docked = false;
      s->askedOwner = 0;
      if (s->gc != nullptr) XFreeGC(x.display, s->gc);
      s->gc = nullptr;
      break;
    case Expose:
      if (event.xexpose.count == 0) drawIcon(s);
      break;
    case MapNotify:
    case ConfigureNotify:
      drawIcon(s);
      break;
    case ButtonPress:
      if (event.xbutton.button == Button1) postClick(*s, WM_LBUTTONDOWN);
      break;
    case ButtonRelease:
      if (event.xbutton.button == Button1) postClick(*s, WM_LBUTTONUP);
      break;
    default:
      break;
  }
  return true;
}

void resetTrayIcons() {
  for (ShownIcon& s : client().icons) freeIconWindow(&s);
  client().icons.clear();
  client().owner = 0;
}

::Window trayIconWindow(HWND window, UINT id) {
  ShownIcon* s = findShown(window, id);
  return s != nullptr ? s->id : 0;
}

bool trayIconDocked(HWND window, UINT id) {
  ShownIcon* s = findShown(window, id);
  return s != nullptr && s->docked;
}

}  // namespace host
