// Host control's reset between tests (host_control.h): every area back to the
// state of a fresh start, the window manager's first (windows hold DCs, timers
// and tray icons), the backend's screen and input after them.
#include "platform/host/host_control.h"

#include "platform/host/threads/power_source.h"
#include "platform/host/window_manager/window_state.h"

namespace host {

void resetHost() {
  resetWindows();
  releaseScreenDcs();
  dropCairoSurfaces();
  resetMessageLoop();
  resetSingleInstance();
  resetTray();
  resetMessageBoxes();
  resetPowerNotifications();
  backend().reset();
  failAllocationAfter(-1);
  failMsgQueueCreation(0);
}

}  // namespace host
