// The run-time table of display backends and the choice among them.
//
// Invariant: once chosen, the backend stays for the life of the process (or
// until a test chooses again with no window open). A backend that was not
// built in is simply absent from the table; the wayland and x11 backends join
// it when platform/host/wayland/ and x11/ are compiled (TESSARIL_HAVE_WAYLAND,
// TESSARIL_HAVE_X11). Wayland comes first: on a Wayland desktop $DISPLAY
// names its Xwayland, where the program would be a guest.
#include <cstring>

#include "platform/host/backend.h"

namespace host {

#ifdef TESSARIL_HAVE_WAYLAND
extern const Backend waylandBackend;
#endif
#ifdef TESSARIL_HAVE_X11
extern const Backend x11Backend;
#endif

namespace {

const Backend* chosen = nullptr;

// The named backend of the table, or null.
const Backend* findBackend(const char* name) {
  for (const Backend* b : backendTable()) {
    if (std::strcmp(b->name, name) == 0) return b;
  }
  return nullptr;
}

// Makes b the backend in use if it initialises; the reason in *error if not.
bool adopt(const Backend* b, std::string* error) {
  if (chosen == b) return true;
  if (!b->init()) {
    if (error != nullptr) *error = std::string("the ") + b->name + " backend failed to start";
    return false;
  }
  chosen = b;
  return true;
}

}  // namespace

const std::vector<const Backend*>& backendTable() {
  static const std::vector<const Backend*> table = {
#ifdef TESSARIL_HAVE_WAYLAND
      &waylandBackend,
#endif
#ifdef TESSARIL_HAVE_X11
      &x11Backend,
#endif
      &headlessBackend,
  };
  return table;
}

bool selectBackend(const char* requested, std::string* error) {
  if (requested != nullptr && requested[0] != 0) {
    const Backend* b = findBackend(requested);
    if (b == nullptr) {
      if (error != nullptr) *error = std::string("backend ") + requested + " is not built in";
      return false;
    }
    if (!b->available()) {
      if (error != nullptr) *error = std::string("backend ") + requested + " is not available here";
      return false;
    }
    return adopt(b, error);
  }
  for (const Backend* b : backendTable()) {
    if (b->available() && adopt(b, nullptr)) return true;
  }
  if (error != nullptr) *error = "no backend could start";
  return false;
}

const Backend& backend() {
  if (chosen == nullptr) adopt(&headlessBackend, nullptr);
  return chosen != nullptr ? *chosen : headlessBackend;
}

}  // namespace host
