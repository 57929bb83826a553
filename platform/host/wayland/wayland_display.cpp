// The wayland backend's connection to the compositor: availability, start-up
// and reset, the registry's globals (compositor, shm, xdg_wm_base answered
// ping for pong, seat, outputs, xdg_activation_v1 where offered), the screen's
// size, the snapshot, the loop's read-and-dispatch, and the backend table.
//
// Invariant: one connection, opened when the backend is probed or started and
// kept for the life of the process. Reading follows libwayland's protocol for
// a descriptor polled by someone else: the read is prepared (with the queue
// dispatched empty and the requests flushed) before the message loop polls,
// and read or cancelled right after; listeners run only from dispatch. A
// connection the compositor closed, or a protocol error, ends the program with
// one line on standard error, as Xlib does for a display that went away.
#include "platform/host/wayland/wayland_state.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

constexpr uint32_t kCompositorVersion = 4;
constexpr uint32_t kSeatVersion = 5;  // release requests of pointer, keyboard and touch
constexpr uint32_t kOutputVersion = 2;  // scale and done
constexpr uint32_t kWmBaseVersion = 2;
constexpr int kFallbackWidth = 640, kFallbackHeight = 480;  // before any output is announced

// Ends the program: the connection is of no more use.
[[noreturn]] void connectionLost(int error) {
  WaylandDisplay& w = wayland();
  const wl_interface* interface = nullptr;
  uint32_t id = 0;
  int code = w.display != nullptr ? int(wl_display_get_protocol_error(w.display, &interface, &id)) : 0;
  if (error == EPROTO && interface != nullptr) {
    std::fprintf(stderr, "tessaril: the Wayland compositor ended the connection: protocol error %d on %s@%u\n", code,
                 interface->name, id);
  } else {
    std::fprintf(stderr, "tessaril: the connection to the Wayland compositor was lost (%s)\n",
                 std::strerror(error != 0 ? error : EPIPE));
  }
  std::exit(1);
}

void checkConnection() {
  int error = wl_display_get_error(wayland().display);
  if (error != 0) connectionLost(error);
}

// Flushes the requests; a full socket is left for the next round.
void flushRequests() {
  if (wl_display_flush(wayland().display) < 0 && errno != EAGAIN) connectionLost(errno);
}

// Dispatches the queue empty and prepares the read, unless a read is owed
// already (then the queue was emptied when it was prepared).
void prepareRead() {
  WaylandDisplay& w = wayland();
  if (w.readPrepared) return;
  while (wl_display_prepare_read(w.display) != 0) {
    if (wl_display_dispatch_pending(w.display) < 0) connectionLost(errno);
  }
  w.readPrepared = true;
}

// ---- outputs ----

WaylandOutput* outputOf(wl_output* o) {
  for (WaylandOutput& out : wayland().outputs) {
    if (out.output == o) return &out;
  }
  return nullptr;
}

// The screen's size is the first output's mode as it is turned; a new size
// resizes every full-screen window (hidden ones too: they show at it next).
void updateScreenSize() {
  WaylandDisplay& w = wayland();
  int width = kFallbackWidth, height = kFallbackHeight;
  if (!w.outputs.empty() && w.outputs.front().modeWidth > 0) {
    const WaylandOutput& o = w.outputs.front();
    bool turned = (o.transform & 1) != 0;  // 90 and 270 degrees, flipped or not
    width = turned ? o.modeHeight : o.modeWidth;
    height = turned ? o.modeWidth : o.modeHeight;
  }
  width = std::min(width, kMaxBitmapSide);
  height = std::min(height, kMaxBitmapSide);
  if (width == w.width && height == w.height) return;
  bool first = w.width == 0;
  w.width = width;
  w.height = height;
  if (!first) resizeFullScreenWindows(width, height);
}

void outputGeometry(void*, wl_output* o, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t transform) {
  if (WaylandOutput* out = outputOf(o)) out->transform = transform;
}

void outputMode(void*, wl_output* o, uint32_t flags, int32_t width, int32_t height, int32_t) {
  WaylandOutput* out = outputOf(o);
  if (out == nullptr || (flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
  out->modeWidth = width;
  out->modeHeight = height;
}

void outputDone(void*, wl_output* o) {
  WaylandOutput* out = outputOf(o);
  if (out == nullptr) return;
  out->scale = std::max(1, out->pendingScale);
  updateScreenSize();
  for (HWND handle : windowStack()) {
    Window* win = localWindow(handle);
    if (win != nullptr && win->backendData != nullptr) surfaceChanged(static_cast<WaylandSurface*>(win->backendData));
  }
}

void outputScale(void*, wl_output* o, int32_t factor) {
  if (WaylandOutput* out = outputOf(o)) out->pendingScale = factor;
}

// The listener for the events of the output version bound (2); later events
// (which libwayland versions add fields for) are never sent and stay null.
const wl_output_listener* outputListener() {
  static const wl_output_listener listener = [] {
    wl_output_listener l{};
    l.geometry = outputGeometry;
    l.mode = outputMode;
    l.done = outputDone;
    l.scale = outputScale;
    return l;
  }();
  return &listener;
}

// ---- the registry ----

void wmBasePing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }

const xdg_wm_base_listener kWmBaseListener = {.ping = wmBasePing};

void seatCapabilitiesEvent(void*, wl_seat*, uint32_t capabilities) { seatCapabilities(capabilities); }
void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {.capabilities = seatCapabilitiesEvent, .name = seatName};

void registryGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  WaylandDisplay& w = wayland();
  auto bind = [&](const wl_interface* type, uint32_t wanted) {
    return wl_registry_bind(registry, name, type, std::min(version, wanted));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0 && w.compositor == nullptr) {
    w.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, kCompositorVersion));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && w.shm == nullptr) {
    w.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && w.wmBase == nullptr) {
    w.wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, kWmBaseVersion));
    xdg_wm_base_add_listener(w.wmBase, &kWmBaseListener, nullptr);
  } else if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0 && w.activation == nullptr) {
    w.activation = static_cast<xdg_activation_v1*>(bind(&xdg_activation_v1_interface, 1));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && w.seat.seat == nullptr) {
    w.seat.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, kSeatVersion));
    wl_seat_add_listener(w.seat.seat, &kSeatListener, nullptr);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    WaylandOutput out;
    out.name = name;
    out.output = static_cast<wl_output*>(bind(&wl_output_interface, kOutputVersion));
    w.outputs.push_back(out);
    wl_output_add_listener(w.outputs.back().output, outputListener(), nullptr);
  }
}

// An output that goes: surfaces on it forget it, and the screen follows the
// next output. (Other globals going away is not survivable and not handled.)
void registryGlobalRemove(void*, wl_registry*, uint32_t name) {
  WaylandDisplay& w = wayland();
  auto it = std::find_if(w.outputs.begin(), w.outputs.end(), [&](const WaylandOutput& o) { return o.name == name; });
  if (it == w.outputs.end()) return;
  for (HWND handle : windowStack()) {
    Window* win = localWindow(handle);
    auto* s = win != nullptr ? static_cast<WaylandSurface*>(win->backendData) : nullptr;
    if (s != nullptr) s->entered.erase(std::remove(s->entered.begin(), s->entered.end(), &*it), s->entered.end());
  }
  wl_output_destroy(it->output);
  w.outputs.erase(it);
  updateScreenSize();
}

const wl_registry_listener kRegistryListener = {.global = registryGlobal, .global_remove = registryGlobalRemove};

// Connects when $WAYLAND_DISPLAY (or a socket handed over in $WAYLAND_SOCKET)
// names a compositor; the connection is kept for init.
bool connect() {
  WaylandDisplay& w = wayland();
  if (w.display != nullptr) return true;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  const char* socket = std::getenv("WAYLAND_SOCKET");
  if ((name == nullptr || name[0] == 0) && (socket == nullptr || socket[0] == 0)) return false;
  w.display = wl_display_connect(nullptr);
  return w.display != nullptr;
}

// Closes a connection that init refused (a compositor without what the
// backend needs), so the next backend of the table is tried with nothing left open.
bool refuse() {
  WaylandDisplay& w = wayland();
  for (WaylandOutput& o : w.outputs) wl_output_destroy(o.output);
  if (w.seat.seat != nullptr) {
    seatCapabilities(0);  // releases its devices
    wl_seat_destroy(w.seat.seat);
  }
  if (w.activation != nullptr) xdg_activation_v1_destroy(w.activation);
  if (w.wmBase != nullptr) xdg_wm_base_destroy(w.wmBase);
  if (w.shm != nullptr) wl_shm_destroy(w.shm);
  if (w.compositor != nullptr) wl_compositor_destroy(w.compositor);
  if (w.registry != nullptr) wl_registry_destroy(w.registry);
  wl_display_disconnect(w.display);
  w = WaylandDisplay();
  return false;
}

// ---- the backend's hooks ----

bool waylandAvailable() { return connect(); }

bool waylandInit() {
  WaylandDisplay& w = wayland();
  if (w.registry != nullptr) return true;
  if (!connect()) return false;
  w.registry = wl_display_get_registry(w.display);
  wl_registry_add_listener(w.registry, &kRegistryListener, nullptr);
  // The first round trip announces the globals; the second, their first
  // events (outputs' modes and scales, the seat's devices).
  if (wl_display_roundtrip(w.display) < 0 || wl_display_roundtrip(w.display) < 0) return refuse();
  const char* missing = w.compositor == nullptr ? "wl_compositor"
                        : w.shm == nullptr      ? "wl_shm"
                        : w.wmBase == nullptr   ? "xdg_wm_base"
                                                : nullptr;
  if (missing != nullptr) {
    std::fprintf(stderr, "tessaril: the Wayland compositor offers no %s\n", missing);
    return refuse();
  }
  updateScreenSize();
  return true;
}

void waylandReset() {
  resetWaylandBoxes();
  WaylandDisplay& w = wayland();
  if (w.display == nullptr) return;
  if (w.readPrepared) {  // a round trip reads for itself: a read still owed would wait on it for ever
    wl_display_cancel_read(w.display);
    w.readPrepared = false;
  }
  if (wl_display_roundtrip(w.display) < 0) connectionLost(errno);
  updateScreenSize();
}

void waylandScreenSize(int* width, int* height) {
  *width = wayland().width;
  *height = wayland().height;
}

// The snapshot: no compositor hands a client the screen, so the snapshot is
// fully transparent and the show's window lets the compositor blend it over
// the live desktop.
Surface* waylandScreenSurface() {
  static Surface* clear = new Surface;
  WaylandDisplay& w = wayland();
  if (clear->width != w.width || clear->height != w.height) clear->reset(w.width, w.height, 0);
  return clear;
}

int waylandEventFd() {
  WaylandDisplay& w = wayland();
  return w.display != nullptr ? wl_display_get_fd(w.display) : -1;
}

// After the loop's poll: reads what has come (without waiting) and dispatches.
void waylandPumpEvents(int64_t nowMs) {
  (void)nowMs;  // real input comes when it comes
  if (wayland().display != nullptr) readAndDispatch(0);
}

// Before the loop's poll: the queue dispatched empty, the read prepared and
// the requests sent (a message that dispatching posted wakes the poll by
// itself). A millisecond from now when the socket could not take every
// request yet, so the rest goes out soon.
int64_t waylandNextEventTime() {
  WaylandDisplay& w = wayland();
  if (w.display == nullptr) return kNever;
  prepareRead();
  if (wl_display_flush(w.display) < 0) {
    if (errno != EAGAIN) connectionLost(errno);
    return clockNowMs() + 1;  // the compositor is reading: try again shortly
  }
  return kNever;
}

}  // namespace

WaylandDisplay& wayland() {
  static WaylandDisplay* instance = new WaylandDisplay;
  return *instance;
}

void readAndDispatch(int timeoutMs) {
  WaylandDisplay& w = wayland();
  prepareRead();
  flushRequests();
  pollfd p{wl_display_get_fd(w.display), POLLIN, 0};
  int ready;
  while ((ready = poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
  }
  w.readPrepared = false;
  if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    if (wl_display_read_events(w.display) < 0) connectionLost(errno);
  } else {
    wl_display_cancel_read(w.display);
  }
  if (wl_display_dispatch_pending(w.display) < 0) connectionLost(errno);
  checkConnection();
}

bool waitUntil(bool (*done)(void*), void* what, int timeoutMs) {
  int64_t deadline = realMonotonicMs() + timeoutMs;
  while (!done(what)) {
    int64_t left = deadline - realMonotonicMs();
    if (left <= 0) return false;
    readAndDispatch(int(std::min<int64_t>(left, INT_MAX)));
  }
  return true;
}

int largestOutputScale() {
  int scale = 1;
  for (const WaylandOutput& o : wayland().outputs) scale = std::max(scale, o.scale);
  return scale;
}

const Backend waylandBackend = {
    .name = "wayland",
    .available = waylandAvailable,
    .init = waylandInit,
    .reset = waylandReset,
    .screenSize = waylandScreenSize,
    .screenSurface = waylandScreenSurface,
    .createWindow = waylandCreateWindow,
    .destroyWindow = waylandDestroyWindow,
    .windowChanged = waylandWindowChanged,
    .present = waylandPresent,
    .eventFd = waylandEventFd,
    .pumpEvents = waylandPumpEvents,
    .nextEventTime = waylandNextEventTime,
    .openMessageBox = waylandOpenMessageBox,
    .pollMessageBox = waylandPollMessageBox,
    .closeMessageBox = waylandCloseMessageBox,
    .trayChanged = waylandTrayChanged,
};

}  // namespace host
