// What the wayland backend's files share: the connection and the globals it
// bound, the outputs, the seat's devices, the per-window record, and the hooks
// each file provides to the backend table.
//
// Everything here runs on the user-interface thread: the one wl_display is
// read, dispatched and written by no other thread, and every listener only
// updates these records and posts messages (never calls a window procedure),
// so events may be dispatched wherever the backend waits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/backend.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/shell.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace host {

// The backend table (wayland_display.cpp), joined to the host in backend.cpp.
extern const Backend waylandBackend;

// One wl_output as its last `done` left it: the current mode in pixels (as the
// output is turned) and its integer scale.
struct WaylandOutput {
  wl_output* output = nullptr;
  uint32_t name = 0;  // the registry's name of the global
  int modeWidth = 0, modeHeight = 0;
  int transform = WL_OUTPUT_TRANSFORM_NORMAL;
  int scale = 1;
  int pendingScale = 1;
};

struct WaylandSeat {
  wl_seat* seat = nullptr;
  wl_pointer* pointer = nullptr;
  wl_keyboard* keyboard = nullptr;
  wl_touch* touch = nullptr;
  wl_surface* pointerSurface = nullptr;  // the surface under the pointer, or null
  double pointerX = 0, pointerY = 0;     // surface-local, logical units
  wl_surface* touchSurface = nullptr;    // the surface the last touch went down on
  wl_surface* keyboardSurface = nullptr; // the surface with the keyboard focus, or null
  uint32_t lastSerial = 0;               // of the latest input event, for activation
  xkb_context* xkb = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* keyState = nullptr;
};

struct WaylandDisplay {
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wmBase = nullptr;
  xdg_activation_v1* activation = nullptr;  // offered by some compositors only
  std::vector<WaylandOutput> outputs;
  WaylandSeat seat;
  bool readPrepared = false;  // wl_display_prepare_read done, read or cancel owed
  int width = 0, height = 0;  // the screen (first output) in pixels, as last announced
};

// The connection (null before init); the backend's state.
WaylandDisplay& wayland();

// Flushes, waits up to timeoutMs (-1: no limit) for the connection to be
// readable, reads what came and dispatches every queued event. A connection
// the compositor closed ends the program with one line saying why.
void readAndDispatch(int timeoutMs);
// Dispatches until done() holds or timeoutMs of real time passed; false then.
bool waitUntil(bool (*done)(void*), void* what, int timeoutMs);

// The integer scale of the output with the largest scale among outputs, for a
// surface not yet on any output.
int largestOutputScale();

// ---- surfaces (wayland_window.cpp) ----

struct WaylandSurface;

// A shm buffer of the window's size and whether the compositor still reads it.
struct WaylandBuffer {
  WaylandSurface* owner = nullptr;
  wl_buffer* buffer = nullptr;
  uint32_t* pixels = nullptr;  // mapped memory, width x height
  size_t bytes = 0;
  int width = 0, height = 0;
  bool busy = false;     // attached and not yet released
  bool orphaned = false; // of an old size: destroyed on release
};

// A surface with an xdg_toplevel role while shown. The toplevel (and its
// xdg_surface) exist from a map to the next unmap: hiding destroys them, so
// every map is a fresh toplevel with its initial configure.
struct WaylandSurface {
  wl_surface* surface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  std::vector<WaylandOutput*> entered;  // outputs the surface is on
  int scale = 1;                        // the buffer scale in use
  bool configured = false;              // an xdg_surface configure was acked
  int configuredWidth = 0, configuredHeight = 0;  // logical; 0: the client chooses
  int pendingWidth = 0, pendingHeight = 0;
  bool closeRequested = false;          // xdg_toplevel close since last asked
  bool hasFrame = false;                // a buffer was attached since the map
  int opaqueWidth = 0, opaqueHeight = 0;  // the opaque region (logical), 0 x 0: none
  bool top = false;                     // was the host's topmost shown window
  xdg_activation_token_v1* token = nullptr;  // an activation asked for, not yet done
  std::vector<WaylandBuffer*> buffers;
};

// The parts of a role the message box needs beyond a plain toplevel.
struct ToplevelRole {
  const std::u16string* title;
  xdg_toplevel* parent;  // or null
  bool fullScreen;
  int fixedWidth, fixedHeight;  // logical; 0: not fixed
};

bool makeSurface(WaylandSurface* s);
void freeSurface(WaylandSurface* s);
// Gives the surface an xdg_toplevel and waits for its first configure.
bool mapSurface(WaylandSurface* s, const ToplevelRole& role);
// Unmaps: a null buffer, then the role objects go.
void unmapSurface(WaylandSurface* s);

// ---- framebuffer (wayland_framebuffer.cpp) ----

// Shows pixels (premultiplied ARGB) as the surface's next frame: one commit.
void presentPixels(WaylandSurface* s, const Surface& pixels);
// Destroys every buffer of the surface (the compositor may still hold some:
// their memory stays mapped until the wl_buffer goes, which is now).
void freeBuffers(WaylandSurface* s);

// ---- windows (wayland_window.cpp) ----

bool waylandCreateWindow(Window* window);
void waylandDestroyWindow(Window* window);
void waylandWindowChanged(Window* window);
void waylandPresent(Window* window);
// The host window whose surface is s, or null.
Window* windowOfSurface(wl_surface* s);
// The toplevel of a shown host window, or null.
xdg_toplevel* toplevelOfWindow(HWND window);
// A configure or an output's scale may have changed a shown window's pixel size.
void surfaceChanged(WaylandSurface* s);

// ---- input (wayland_input.cpp) ----

// The seat's devices follow its capabilities.
void seatCapabilities(uint32_t capabilities);
// A surface going away is no longer any device's focus.
void forgetSurfaceInput(wl_surface* s);

// ---- message boxes (wayland_message_box.cpp) ----

bool waylandOpenMessageBox(MessageBoxState* box);
void waylandPollMessageBox(MessageBoxState* box);
void waylandCloseMessageBox(MessageBoxState* box);
bool waylandBoxOpen();
// Input on a box's surface: true when the surface is a box's.
bool boxKey(wl_surface* s, xkb_keysym_t key);
bool boxPress(wl_surface* s, double x, double y, bool down);
void resetWaylandBoxes();

// ---- tray (wayland_tray.cpp) ----

void waylandTrayChanged(const TrayIcon& icon, DWORD operation);

}  // namespace host
