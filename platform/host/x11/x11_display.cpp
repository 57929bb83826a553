// The x11 backend's connection to the display: availability, start-up and
// reset, the screen's size, the X error handler, and the backend table.
//
// Invariant: one connection, opened by init and kept for the life of the
// process; X errors never end the process (the default handler would): those
// of trapped calls are recorded for the caller, any other one is printed as
// one line on standard error and ignored.
#include "platform/host/x11/x11_state.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include <X11/Xatom.h>


namespace host {
namespace {

int trappedError = 0;  // first error code while trapping
int trapDepth = 0;

// The process's X error handler: records trapped errors, reports the rest.
int onXError(Display* display, XErrorEvent* error) {
  if (trapDepth > 0) {
    if (trappedError == 0) trappedError = error->error_code;
    return 0;
  }
  char text[128];
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "tessaril: X error %s (request %d.%d)\n", text, error->request_code, error->minor_code);
  return 0;
}

Atom intern(const char* name) { return XInternAtom(x11().display, name, False); }

void internAtoms() {
  X11Display& x = x11();
  X11Atoms& a = x.atoms;
  a.wmProtocols = intern("WM_PROTOCOLS");
  a.wmDeleteWindow = intern("WM_DELETE_WINDOW");
  a.wmState = intern("WM_STATE");
  a.netWmName = intern("_NET_WM_NAME");
  a.utf8String = intern("UTF8_STRING");
  a.netWmState = intern("_NET_WM_STATE");
  a.netWmStateFullscreen = intern("_NET_WM_STATE_FULLSCREEN");
  a.netWmStateModal = intern("_NET_WM_STATE_MODAL");
  a.netWmWindowType = intern("_NET_WM_WINDOW_TYPE");
  a.netWmWindowTypeDialog = intern("_NET_WM_WINDOW_TYPE_DIALOG");
  a.netActiveWindow = intern("_NET_ACTIVE_WINDOW");
  a.netSupportingWmCheck = intern("_NET_SUPPORTING_WM_CHECK");
  a.manager = intern("MANAGER");
  a.systemTrayOpcode = intern("_NET_SYSTEM_TRAY_OPCODE");
  a.xembedInfo = intern("_XEMBED_INFO");
  char trayName[64];
  std::snprintf(trayName, sizeof trayName, "_NET_SYSTEM_TRAY_S%d", x.screen);
  a.trayAtom = intern(trayName);
}

// Whether the default visual's pixels are 32-bit 0x00RRGGBB words, as the
// surfaces' are (then rows copy straight across).
bool pixelsMatchSurfaces() {
  X11Display& x = x11();
  if (x.visual->red_mask != 0xFF0000 || x.visual->green_mask != 0xFF00 || x.visual->blue_mask != 0xFF) return false;
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(x.display, &count);
  bool match = false;
  for (int i = 0; i < count; ++i) {
    if (formats[i].depth == x.depth) match = formats[i].bits_per_pixel == 32;
  }
  if (formats != nullptr) XFree(formats);
  return match && ImageByteOrder(x.display) == LSBFirst;
}

// ---- the backend's hooks ----

bool x11Available() {
  if (x11().display != nullptr) return true;
  Display* probe = XOpenDisplay(nullptr);
  if (probe == nullptr) return false;
  XCloseDisplay(probe);
  return true;
}

bool x11Init() {
  X11Display& x = x11();
  if (x.display != nullptr) return true;
  XSetErrorHandler(onXError);
  x.display = XOpenDisplay(nullptr);
  if (x.display == nullptr) return false;
  x.screen = DefaultScreen(x.display);
  x.root = RootWindow(x.display, x.screen);
  x.visual = DefaultVisual(x.display, x.screen);
  x.depth = DefaultDepth(x.display, x.screen);
  if (x.visual->c_class != TrueColor) {
    std::fprintf(stderr, "tessaril: the display's default visual is not TrueColor\n");
    XCloseDisplay(x.display);
    x.display = nullptr;
    return false;
  }
  x.directPixels = pixelsMatchSurfaces();
  x.width = DisplayWidth(x.display, x.screen);
  x.height = DisplayHeight(x.display, x.screen);
  internAtoms();
  // ConfigureNotify of the root tells of screen size changes; MANAGER client
  // messages on the root tell that a tray host started.
  XSelectInput(x.display, x.root, StructureNotifyMask);
  int major, minor;
  Bool pixmaps;
  int opcode, event, error;  // asked first: XShmQueryVersion complains on stderr when it is missing
  x.shmUsable = XQueryExtension(x.display, "MIT-SHM", &opcode, &event, &error) == True &&
                XShmQueryVersion(x.display, &major, &minor, &pixmaps) == True;
  XFlush(x.display);
  return true;
}

void x11Reset() {
  resetBoxes();
  resetTrayIcons();
  resetFramebuffer();
  X11Display& x = x11();
  if (x.display == nullptr) return;
  XSync(x.display, False);
  x.width = DisplayWidth(x.display, x.screen);
  x.height = DisplayHeight(x.display, x.screen);
}

void x11ScreenSize(int* width, int* height) {
  *width = x11().width;
  *height = x11().height;
}

int x11EventFd() {
  Display* d = x11().display;
  return d != nullptr ? ConnectionNumber(d) : -1;
}

}  // namespace

X11Display& x11() {
  static X11Display* instance = new X11Display;
  return *instance;
}

void trapErrors() {
  if (trapDepth++ == 0) {
    XSync(x11().display, False);  // errors of earlier calls are not ours
    trappedError = 0;
  }
}

int untrapErrors() {
  XSync(x11().display, False);
  int error = trappedError;
  if (--trapDepth == 0) trappedError = 0;
  return error;
}

bool windowManagerRuns() {
  X11Display& x = x11();
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(x.display, x.root, x.atoms.netSupportingWmCheck, 0, 1, False, XA_WINDOW, &type, &format,
                         &count, &after, &data) != Success) {
    return false;
  }
  ::Window check = (data != nullptr && count == 1 && format == 32) ? *reinterpret_cast<::Window*>(data) : 0;
  if (data != nullptr) XFree(data);
  if (check == 0) return false;
  // A stale property of a manager that has gone names a window that is no more.
  trapErrors();
  XWindowAttributes attributes;
  Status ok = XGetWindowAttributes(x.display, check, &attributes);
  return untrapErrors() == 0 && ok != 0;
}

void setWindowTitle(::Window window, const std::u16string& title) {
  X11Display& x = x11();
  std::string utf8 = utf16ToUtf8(title.data(), title.size());
  XChangeProperty(x.display, window, x.atoms.netWmName, x.atoms.utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
  // WM_NAME in the locale-independent form: compound text when the title is
  // not plain Latin-1, which Xutf8 makes for us.
  char* list[1] = {const_cast<char*>(utf8.c_str())};
  XTextProperty property;
  if (Xutf8TextListToTextProperty(x.display, list, 1, XStdICCTextStyle, &property) >= Success) {
    XSetWMName(x.display, window, &property);
    XFree(property.value);
  }
}

const Backend x11Backend = {
    .name = "x11",
    .available = x11Available,
    .init = x11Init,
    .reset = x11Reset,
    .screenSize = x11ScreenSize,
    .screenSurface = x11ScreenSurface,
    .createWindow = x11CreateWindow,
    .destroyWindow = x11DestroyWindow,
    .windowChanged = x11WindowChanged,
    .present = x11Present,
    .eventFd = x11EventFd,
    .pumpEvents = x11PumpEvents,
    .nextEventTime = x11NextEventTime,
    .openMessageBox = x11OpenMessageBox,
    .pollMessageBox = x11PollMessageBox,
    .closeMessageBox = x11CloseMessageBox,
    .trayChanged = x11TrayChanged,
};

}  // namespace host
