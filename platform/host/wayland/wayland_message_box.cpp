// The wayland backend's message boxes: a toplevel of its own per MessageBoxW,
// titled with the caption, its picture (text and OK button) drawn with the
// host's GDI, child of its owner's toplevel when the owner is shown.
//
// Wayland lets no client place a window: the box asks for a fixed size, which
// tiling compositors float and centre (sway does), and a dialog with a parent
// is centred on it by most others. Enter, Space, Escape, a click or tap on OK
// and the close request answer IDOK. The box is modal: while one is open, keys
// that reach any window of the program go to the topmost box, and taps on the
// windows behind it are dropped. The window manager's modal loop
// (message_box.cpp) keeps dispatching the program's messages meanwhile.
#include "platform/host/wayland/wayland_state.h"

#include <algorithm>

#include "platform/host/window_manager/message_box_picture.h"

namespace host {
namespace {

struct Box {
  MessageBoxState* state = nullptr;
  WaylandSurface surface;
  MessageBoxPicture picture;
  bool pressedOnButton = false;
  bool answered = false;
};

std::vector<Box*>& boxes() {
  static auto* list = new std::vector<Box*>;
  return *list;
}

Box* boxOf(wl_surface* s) {
  for (Box* b : boxes()) {
    if (b->surface.surface == s) return b;
  }
  return nullptr;
}

void freeBox(Box* b) {
  freeSurface(&b->surface);
  if (b->state != nullptr) b->state->backendData = nullptr;
  delete b;
}

}  // namespace

bool waylandOpenMessageBox(MessageBoxState* state) {
  WaylandDisplay& d = wayland();
  if (d.display == nullptr) return false;
  auto* b = new Box;
  b->state = state;
  drawMessageBoxPicture(state->text, d.width, d.height, &b->picture);
  if (!makeSurface(&b->surface)) {
    delete b;
    return false;
  }
  const Surface& p = b->picture.picture;
  int scale = (p.width % b->surface.scale == 0 && p.height % b->surface.scale == 0) ? b->surface.scale : 1;
  ToplevelRole role{&state->caption, toplevelOfWindow(state->owner), false, p.width / scale, p.height / scale};
  if (!mapSurface(&b->surface, role)) {
    freeBox(b);
    return false;
  }
  presentPixels(&b->surface, p);
  boxes().push_back(b);
  state->backendData = b;
  state->wakeAtMs = kNever;  // answered only by the user's events
  return true;
}

void waylandPollMessageBox(MessageBoxState* state) {
  Box* b = static_cast<Box*>(state->backendData);
  if (b != nullptr && (b->answered || b->surface.closeRequested)) state->answer = IDOK;
}

void waylandCloseMessageBox(MessageBoxState* state) {
  Box* b = static_cast<Box*>(state->backendData);
  if (b == nullptr) return;
  std::vector<Box*>& list = boxes();
  list.erase(std::remove(list.begin(), list.end(), b), list.end());
  freeBox(b);
}

bool waylandBoxOpen() { return !boxes().empty(); }

bool boxKey(wl_surface* s, xkb_keysym_t key) {
  (void)s;  // whichever window of the program has the keyboard, the topmost box answers
  if (boxes().empty()) return false;
  if (key == XKB_KEY_Return || key == XKB_KEY_KP_Enter || key == XKB_KEY_space || key == XKB_KEY_Escape) {
    boxes().back()->answered = true;
  }
  return true;
}

bool boxPress(wl_surface* s, double x, double y, bool down) {
  Box* b = boxOf(s);
  if (b == nullptr) return false;
  int scale = b->surface.scale;
  bool onButton = x < 0 || onMessageBoxButton(b->picture, int(x * scale), int(y * scale));  // x < 0: a touch's release
  if (down) {
    b->pressedOnButton = onButton;
  } else {
    if (b->pressedOnButton && onButton) b->answered = true;
    b->pressedOnButton = false;
  }
  return true;
}

void resetWaylandBoxes() {
  for (Box* b : boxes()) freeBox(b);
  boxes().clear();
}

}  // namespace host
