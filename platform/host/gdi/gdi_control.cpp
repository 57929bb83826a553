// Host control of GDI's screen (gdi_control.h): the screen as the backend
// shows it, read through the same hooks GetDC of the desktop window uses.
#include "platform/host/gdi/gdi_control.h"

#include "platform/host/backend.h"

namespace host {

void getScreenSize(int* width, int* height) { backend().screenSize(width, height); }

Surface screenSnapshot() {
  Surface* screen = backend().screenSurface();
  return screen != nullptr ? *screen : Surface();
}

}  // namespace host
