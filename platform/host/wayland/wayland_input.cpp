// The wayland backend's input: the seat's pointer, touch and keyboard turned
// into the window messages the system reads. The left button and a touch
// going down are WM_LBUTTONDOWN at that point of the client area (in the
// buffer's pixels), their release WM_LBUTTONUP; keys go through the keymap
// the compositor sends (xkbcommon) to the platform's virtual-key codes;
// keyboard focus entering and leaving a window is WM_ACTIVATE.
//
// Invariant: the seat's devices follow its capabilities (made when a device
// comes, released when it goes), and the xkb state always belongs to the
// current keymap. While a message box is open, taps and keys for the windows
// behind it are dropped: the box is modal.
#include "platform/host/wayland/wayland_state.h"
#include "platform/host/common/keysyms.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace host {
namespace {

WaylandSeat& seat() { return wayland().seat; }

// A press or release at surface-local (x, y): a box's button, or the mouse
// message at that pixel of the window.
void press(wl_surface* surface, double x, double y, bool down) {
  if (boxPress(surface, x, y, down)) return;
  Window* w = windowOfSurface(surface);
  if (w == nullptr || waylandBoxOpen()) return;
  int scale = static_cast<WaylandSurface*>(w->backendData)->scale;
  int px = int(x * scale), py = int(y * scale);
  postToQueue(w->handle, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? MK_LBUTTON : 0, MAKELPARAM(px, py));
}

// ---- pointer ----

void pointerEnter(void*, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
  seat().pointerSurface = surface;
  seat().pointerX = wl_fixed_to_double(x);
  seat().pointerY = wl_fixed_to_double(y);
  seat().lastSerial = serial;
}

void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface* surface) {
  if (seat().pointerSurface == surface) seat().pointerSurface = nullptr;
}

void pointerMotion(void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  seat().pointerX = wl_fixed_to_double(x);
  seat().pointerY = wl_fixed_to_double(y);
}

void pointerButton(void*, wl_pointer*, uint32_t serial, uint32_t, uint32_t button, uint32_t state) {
  seat().lastSerial = serial;
  if (button != BTN_LEFT || seat().pointerSurface == nullptr) return;
  press(seat().pointerSurface, seat().pointerX, seat().pointerY, state == WL_POINTER_BUTTON_STATE_PRESSED);
}

// The listener for the events of the seat version bound (5); later events
// (which libwayland versions add fields for) are never sent and stay null.
const wl_pointer_listener* pointerListener() {
  static const wl_pointer_listener listener = [] {
    wl_pointer_listener l{};
    l.enter = pointerEnter;
    l.leave = pointerLeave;
    l.motion = pointerMotion;
    l.button = pointerButton;
    l.axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {};
    l.frame = [](void*, wl_pointer*) {};
    l.axis_source = [](void*, wl_pointer*, uint32_t) {};
    l.axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {};
    l.axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {};
    return l;
  }();
  return &listener;
}

// ---- touch ----

void touchDown(void*, wl_touch*, uint32_t serial, uint32_t, wl_surface* surface, int32_t, wl_fixed_t x,
               wl_fixed_t y) {
  seat().lastSerial = serial;
  seat().touchSurface = surface;
  press(surface, wl_fixed_to_double(x), wl_fixed_to_double(y), true);
}

// The release goes where the touch went down, at no particular point.
void touchUp(void*, wl_touch*, uint32_t serial, uint32_t, int32_t) {
  seat().lastSerial = serial;
  if (seat().touchSurface != nullptr) press(seat().touchSurface, -1, -1, false);
  seat().touchSurface = nullptr;
}

void touchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void touchFrame(void*, wl_touch*) {}
void touchCancel(void*, wl_touch*) { seat().touchSurface = nullptr; }
void touchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
void touchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}

const wl_touch_listener kTouchListener = {
    .down = touchDown,
    .up = touchUp,
    .motion = touchMotion,
    .frame = touchFrame,
    .cancel = touchCancel,
    .shape = touchShape,
    .orientation = touchOrientation,
};

// ---- keyboard ----

void freeKeymap() {
  WaylandSeat& s = seat();
  if (s.keyState != nullptr) xkb_state_unref(s.keyState);
  if (s.keymap != nullptr) xkb_keymap_unref(s.keymap);
  s.keyState = nullptr;
  s.keymap = nullptr;
}

// The compositor's keymap, a text in a shared file; a keymap that cannot be
// read leaves keys without meaning (no key messages) rather than wrong ones.
void keyboardKeymap(void*, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  WaylandSeat& s = seat();
  freeKeymap();
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      if (s.xkb == nullptr) s.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
      if (s.xkb != nullptr) {
        const char* keys = static_cast<const char*>(text);
        s.keymap = xkb_keymap_new_from_buffer(s.xkb, keys, strnlen(keys, size), XKB_KEYMAP_FORMAT_TEXT_V1,
                                              XKB_KEYMAP_COMPILE_NO_FLAGS);
      }
      munmap(text, size);
    }
  }
  close(fd);
  if (s.keymap != nullptr) s.keyState = xkb_state_new(s.keymap);
}

void keyboardEnter(void*, wl_keyboard*, uint32_t serial, wl_surface* surface, wl_array*) {
  seat().keyboardSurface = surface;
  seat().lastSerial = serial;
  if (Window* w = windowOfSurface(surface)) postToQueue(w->handle, WM_ACTIVATE, WA_ACTIVE, 0);
}

void keyboardLeave(void*, wl_keyboard*, uint32_t serial, wl_surface* surface) {
  if (seat().keyboardSurface == surface) seat().keyboardSurface = nullptr;
  seat().lastSerial = serial;
  if (Window* w = windowOfSurface(surface)) postToQueue(w->handle, WM_ACTIVATE, WA_INACTIVE, 0);
}

void keyboardKey(void*, wl_keyboard*, uint32_t serial, uint32_t, uint32_t key, uint32_t state) {
  WaylandSeat& s = seat();
  s.lastSerial = serial;
  if (s.keyState == nullptr || s.keyboardSurface == nullptr) return;
  xkb_keysym_t sym = xkb_state_key_get_one_sym(s.keyState, key + 8);  // evdev codes are 8 below xkb's
  bool down = state == WL_KEYBOARD_KEY_STATE_PRESSED;
  if (down && boxKey(s.keyboardSurface, sym)) return;
  Window* w = windowOfSurface(s.keyboardSurface);
  WPARAM vk = virtualKeyOfKeysym(sym);
  if (w == nullptr || vk == 0 || waylandBoxOpen()) return;
  postToQueue(w->handle, down ? WM_KEYDOWN : WM_KEYUP, vk, down ? 1 : LPARAM(0xC0000001u));
}

void keyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                       uint32_t group) {
  if (seat().keyState != nullptr) xkb_state_update_mask(seat().keyState, depressed, latched, locked, 0, 0, group);
}

void keyboardRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener kKeyboardListener = {
    .keymap = keyboardKeymap,
    .enter = keyboardEnter,
    .leave = keyboardLeave,
    .key = keyboardKey,
    .modifiers = keyboardModifiers,
    .repeat_info = keyboardRepeatInfo,
};

}  // namespace

void forgetSurfaceInput(wl_surface* surface) {
  WaylandSeat& s = seat();
  if (s.pointerSurface == surface) s.pointerSurface = nullptr;
  if (s.touchSurface == surface) s.touchSurface = nullptr;
  if (s.keyboardSurface == surface) s.keyboardSurface = nullptr;
}

void seatCapabilities(uint32_t capabilities) {
  WaylandSeat& s = seat();
  bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  bool touch = (capabilities & WL_SEAT_CAPABILITY_TOUCH) != 0;
  if (pointer && s.pointer == nullptr) {
    s.pointer = wl_seat_get_pointer(s.seat);
    wl_pointer_add_listener(s.pointer, pointerListener(), nullptr);
  } else if (!pointer && s.pointer != nullptr) {
    wl_pointer_release(s.pointer);
    s.pointer = nullptr;
    s.pointerSurface = nullptr;
  }
  if (keyboard && s.keyboard == nullptr) {
    s.keyboard = wl_seat_get_keyboard(s.seat);
    wl_keyboard_add_listener(s.keyboard, &kKeyboardListener, nullptr);
  } else if (!keyboard && s.keyboard != nullptr) {
    wl_keyboard_release(s.keyboard);
    s.keyboard = nullptr;
    s.keyboardSurface = nullptr;
    freeKeymap();
  }
  if (touch && s.touch == nullptr) {
    s.touch = wl_seat_get_touch(s.seat);
    wl_touch_add_listener(s.touch, &kTouchListener, nullptr);
  } else if (!touch && s.touch != nullptr) {
    wl_touch_release(s.touch);
    s.touch = nullptr;
    s.touchSurface = nullptr;
  }
}

}  // namespace host
