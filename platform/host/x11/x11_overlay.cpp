// What the show plays over on X11: the live desktop or a snapshot of it.
//
// When a compositing manager owns _NET_WM_CM_S<screen> (picom, the desktops'
// own compositors, and the window manager of every Wayland compositor's
// Xwayland), the show's full-screen window uses a 32-bit ARGB visual and the
// screen snapshot is fully transparent: the compositor blends the window's
// premultiplied pixels over the desktop as it is, live. That gives the pixels
// drawing over a snapshot of a still desktop gives, needs no right to read the
// screen, and works where the screen reads back black (Xwayland). Without a
// compositor the snapshot is read from the root window as before.
// TESSARIL_OVERLAY=live|snapshot overrides the choice; live without a
// compositor (or without an ARGB visual) says so in one line and plays over
// the snapshot. A snapshot that reads back all black while a compositor runs
// is never used silently: one line says why the show plays over black.
//
// Limitation: the choice is made once, when the display is opened; a
// compositor that starts or stops later does not change it.
#include "platform/host/x11/x11_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

// A TrueColor visual of depth 32 whose colour masks leave the top byte for
// alpha, or null.
Visual* argbVisual() {
  X11Display& x = x11();
  XVisualInfo info;
  if (XMatchVisualInfo(x.display, x.screen, 32, TrueColor, &info) == 0) return nullptr;
  if (info.red_mask != 0xFF0000 || info.green_mask != 0xFF00 || info.blue_mask != 0xFF) return nullptr;
  return info.visual;
}

}  // namespace

bool compositorRuns() {
  X11Display& x = x11();
  return XGetSelectionOwner(x.display, x.atoms.compositor) != 0;
}

void chooseOverlay() {
  X11Display& x = x11();
  const char* asked = std::getenv("TESSARIL_OVERLAY");
  bool forceLive = asked != nullptr && std::strcmp(asked, "live") == 0;
  bool forceSnapshot = asked != nullptr && std::strcmp(asked, "snapshot") == 0;
  if (asked != nullptr && asked[0] != 0 && !forceLive && !forceSnapshot) {
    std::fprintf(stderr, "tessaril: TESSARIL_OVERLAY is \"%s\", not live or snapshot; the desktop decides\n", asked);
  }
  x.live = false;
  if (forceSnapshot) return;
  bool compositor = compositorRuns();
  Visual* visual = compositor ? argbVisual() : nullptr;
  if (!compositor) {
    if (forceLive) {
      std::fprintf(stderr, "tessaril: TESSARIL_OVERLAY=live needs a compositing manager and none runs; "
                           "the show plays over a snapshot of the screen\n");
    }
    return;
  }
  if (visual == nullptr) {
    std::fprintf(stderr, "tessaril: the display has no 32-bit ARGB visual for the live overlay; "
                         "the show plays over a snapshot of the screen\n");
    return;
  }
  x.argbVisual = visual;
  x.argbColormap = XCreateColormap(x.display, x.root, visual, AllocNone);
  x.live = true;
}

void checkSnapshot(const Surface& snapshot) {
  static bool reported = false;
  if (reported || !compositorRuns()) return;
  for (uint32_t p : snapshot.pixels) {
    if ((p & 0xFFFFFF) != 0) return;
  }
  std::fprintf(stderr, "tessaril: the screen reads back all black under a compositing manager (as through "
                       "Xwayland); the show plays over black (TESSARIL_OVERLAY=live plays it over the desktop)\n");
  reported = true;
}

}  // namespace host
