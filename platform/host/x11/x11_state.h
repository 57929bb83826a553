// What the x11 backend's files share: the display connection and its atoms,
// the per-window record, the hooks each file provides to the backend table,
// and the event routing between windows, message boxes and the tray icon.
//
// Everything here runs on the user-interface thread; the one Display
// connection is used by no other thread.
#pragma once

#include <cstdint>
#include <string>

// NOTE: the host's headers come before Xlib's, whose macros (None, Status,
// Bool) would otherwise rewrite the host's names; each file of the backend
// includes this header before any other of the host.
#include "platform/host/backend.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/shell.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace host {

// The backend table (x11_display.cpp), joined to the host in backend.cpp.
extern const Backend x11Backend;

struct X11Atoms {
  Atom wmProtocols, wmDeleteWindow, wmState, netWmName, utf8String, netWmState, netWmStateFullscreen,
      netWmStateModal, netWmWindowType, netWmWindowTypeDialog, netActiveWindow, netSupportingWmCheck,
      manager, systemTrayOpcode, xembedInfo, trayAtom;
};

// One MIT-SHM or plain image of a given size, for present or the snapshot.
struct X11Image {
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool shared = false;
  int width = 0, height = 0;
};

struct X11Display {
  Display* display = nullptr;
  int screen = 0;
  ::Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  X11Atoms atoms{};
  bool shmUsable = false;  // MIT-SHM attached and worked once on this connection
  bool directPixels = false;  // 32-bit pixels with the surface's 0xRRGGBB layout
  int width = 0, height = 0;  // the screen's size as last read
};

// The connection (null before init); the backend's state.
X11Display& x11();

// Records the X errors of the calls between trapErrors and untrapErrors;
// untrapErrors syncs and returns the first error code seen (0: none).
void trapErrors();
int untrapErrors();

// The name of a window manager's EWMH check window: whether one runs.
bool windowManagerRuns();

// Sets a window's title as UTF-8 _NET_WM_NAME and as Latin-1/compound WM_NAME.
void setWindowTitle(::Window window, const std::u16string& title);

// Images: made for width x height (MIT-SHM when it works), written to a window
// (synchronised), filled from a surface, read back into a surface.
bool makeImage(X11Image* image, int width, int height);
void freeImage(X11Image* image);
void fillImage(X11Image* image, const Surface& surface);
void putImage(X11Image* image, ::Window window, GC gc, int width, int height);

// ---- windows (x11_window.cpp) ----

struct X11Window {
  // What was last applied to the X window.
  struct Applied {
    ShowState show = ShowState::Hidden;
    int x = 0, y = 0, width = 0, height = 0;
    bool top = false;
  };
  ::Window id = 0;
  Applied applied;
  GC gc = nullptr;
  X11Image image;
  bool mapped = false;  // MapNotify seen
  bool overrideRedirect = false;
};

bool x11CreateWindow(Window* window);
void x11DestroyWindow(Window* window);
// Frees what an X window of ours holds on the server (its image and GC), then
// the window itself, and waits until the server has done it: the one teardown
// of the backend's windows and message boxes.
void destroyX11Window(::Window id, GC gc, X11Image* image);
void x11WindowChanged(Window* window);
// The local window whose X window is id, or null.
Window* windowOfX11(::Window id);
// A window of ours was mapped: an override-redirect one takes the keyboard.
void windowMapped(Window* window);
// Gives the keyboard to the host's topmost shown window.
void focusTopWindow();
// Keeps open boxes above every window of ours (no window manager does it).
void raiseBoxes();

// ---- framebuffer (x11_framebuffer.cpp) ----

void x11Present(Window* window);
Surface* x11ScreenSurface();
void resetFramebuffer();

// ---- events (x11_events.cpp) ----

void x11PumpEvents(int64_t nowMs);
int64_t x11NextEventTime();

// ---- message boxes (x11_message_box.cpp) ----

bool x11OpenMessageBox(MessageBoxState* box);
void x11PollMessageBox(MessageBoxState* box);
void x11CloseMessageBox(MessageBoxState* box);
// Handles an event of a box's window; false when it belongs to no box.
bool handleBoxEvent(const XEvent& event);
bool anyBoxOpen();
void resetBoxes();

// ---- tray icon (x11_tray.cpp) ----

void x11TrayChanged(const TrayIcon& icon, DWORD operation);
// Handles an event of the tray icon window or of the tray host; false when
// it is none of those.
bool handleTrayEvent(const XEvent& event);
void resetTrayIcons();
// The X window showing the tray icon (window, id), or 0 (for tests).
::Window trayIconWindow(HWND window, UINT id);
// Whether that icon is docked in a tray host now.
bool trayIconDocked(HWND window, UINT id);

}  // namespace host
