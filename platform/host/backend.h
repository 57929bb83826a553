// The display backends' contract: what a window, an icon and a message box are
// to the host, and the one table of functions a backend fills in.
//
// The window manager (window_manager/, and the tray in shell/tray.cpp) is
// shared by every backend and keeps all state the platform's calls observe:
// classes, windows, z-order, visibility, invalid flags, timers and the
// message queue. A backend only shows that state and feeds input in; every
// hook runs on the user-interface thread unless its comment says otherwise.
// Backends are chosen at run time (backend.cpp):
// TESSARIL_BACKEND=headless|x11|wayland when set, otherwise the first backend
// of the table whose `available` hook says yes (wayland when $WAYLAND_DISPLAY
// connects, then x11 when $DISPLAY opens), headless last. A new backend is one
// folder platform/host/<name>/ with one table. headless/ is the complete
// reference: a screen in memory, input that tests drive, message boxes on
// standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/gdi/gdi_objects.h"
#include "platform/window_manager.h"

namespace host {

// A host-clock time that never comes.
constexpr int64_t kNever = INT64_MAX;

enum class ShowState : uint8_t { Hidden, Minimized, Normal };

// A window of this process (or the desktop window, or a stand-in for a window
// of another process). Positions are screen pixels; the client area is the
// whole window (no frame or caption, as on the device's full-screen windows).
struct Window : Object {
  static constexpr ObjectKind kKind = ObjectKind::Window;
  Window() : Object(kKind) {}
  HWND handle = nullptr;
  std::u16string className;
  std::u16string title;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool fullScreen = false;      // made with CW_USEDEFAULT: follows the screen's size
  ShowState show = ShowState::Hidden;
  bool invalid = true;          // needs painting
  bool paintDeclined = false;   // the loop's last WM_PAINT left it invalid (message_loop.cpp)
  bool creating = false;        // inside CreateWindowExW
  bool shownWhileCreating = false;
  bool destroying = false;
  bool desktop = false;         // the desktop window: the whole screen
  bool remote = false;          // a window of another process, reached by socket
  std::string remotePath;       // remote: the socket it listens on
  Surface client;               // the client pixels, width x height
  uint64_t frames = 0;          // EndPaint calls: frames shown
  std::vector<HDC> dcs;         // DCs made over the client surface, freed with the window
  void* backendData = nullptr;  // the backend's own record
  bool visible() const { return show == ShowState::Normal; }
};

// An icon (LoadImageW with IMAGE_ICON): its picture.
struct Icon : Object {
  static constexpr ObjectKind kKind = ObjectKind::Icon;
  Icon() : Object(kKind) {}
  Surface picture;
};

// One icon of the notification tray as Shell_NotifyIcon left it.
struct TrayIcon {
  HWND window = nullptr;
  UINT id = 0;
  UINT flags = 0;
  UINT callbackMessage = 0;
  HICON icon = nullptr;
  std::u16string tip;
};

// A message box while it is open. The backend sets `answer` (IDOK) once the
// user has answered, and `wakeAtMs` to a host-clock time at which the modal
// loop should ask again even when no message arrives (kNever: only on events).
struct MessageBoxState {
  HWND owner = nullptr;
  std::u16string caption;
  std::u16string text;
  UINT style = 0;
  int answer = 0;
  int64_t wakeAtMs = kNever;
  void* backendData = nullptr;
};

// A backend's table is filled by field name (designated initialisers), every
// hook given: a hook added here is one more line in each backend's table.
struct Backend {
  // What TESSARIL_BACKEND names it by.
  const char* name;

  // Selection: may this backend run here? (x11: does the display open.) Called
  // only while choosing, before init.
  bool (*available)();
  // Once, when chosen, before any window exists; false refuses the choice.
  bool (*init)();
  // host control's reset: the screen, its size and the injected input back to
  // the state init left. No window exists when it is called.
  void (*reset)();

  // The screen's size in pixels; asked whenever a full-screen window is sized.
  void (*screenSize)(int* width, int* height);
  // GetDC of the desktop window: the surface that holds the screen's pixels as
  // of now (headless: the picture and the shown windows; x11: the root window,
  // read on each call); fully transparent with the live overlay (x11 under a
  // compositor, headless when told). Owned by the backend; stays valid until reset.
  Surface* (*screenSurface)();

  // After CreateWindowExW has made the window record, before WM_CREATE; false
  // fails the creation.
  bool (*createWindow)(Window* window);
  // When DestroyWindow is done with the window, before its record goes.
  void (*destroyWindow)(Window* window);
  // After a window was shown, hidden, minimised, resized or raised.
  void (*windowChanged)(Window* window);
  // EndPaint, and ReleaseDC of a window DC: show the client surface.
  void (*present)(Window* window);

  // A descriptor the message loop polls for the backend's input, or -1.
  int (*eventFd)();
  // Each time the loop looks for a message: turn input that has arrived (and,
  // headless, injected input whose host-clock time has come) into posted
  // messages.
  void (*pumpEvents)(int64_t nowMs);
  // The host-clock time of the next input the backend already knows of
  // (headless: the input script), or kNever. The loop waits no longer, and a
  // virtual clock jumps straight to it.
  int64_t (*nextEventTime)();

  // MessageBoxW: show the box (false: it cannot be shown; the box then answers
  // IDOK at once); asked for the answer after each round of the modal loop;
  // closed when answered.
  bool (*openMessageBox)(MessageBoxState* box);
  void (*pollMessageBox)(MessageBoxState* box);
  void (*closeMessageBox)(MessageBoxState* box);

  // After Shell_NotifyIcon changed the tray (NIM_ADD, NIM_MODIFY, NIM_DELETE).
  void (*trayChanged)(const TrayIcon& icon, DWORD operation);
};

// The backend in use; the headless one when none was selected yet.
const Backend& backend();

// Chooses the backend: `requested` ("headless", "x11") or, when null or
// empty, the first available one. False, with the reason in *error, when the
// requested backend is unknown, not built in, not available or fails init.
bool selectBackend(const char* requested, std::string* error);

// The backends built in, in the order of preference.
const std::vector<const Backend*>& backendTable();

extern const Backend headlessBackend;

}  // namespace host
