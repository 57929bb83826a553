// Host control: the reset between tests and the window and screen read-outs
// (the screen and input calls live with the headless backend, the tray and
// box records with the tray and the boxes).
#include "platform/host/host_control.h"

#include "platform/host/threads/power_source.h"
#include "platform/host/window_manager/window_state.h"

namespace host {

void resetHost() {
  resetWindows();
  releaseScreenDcs();
  resetMessageLoop();
  resetSingleInstance();
  resetTray();
  resetMessageBoxes();
  resetPowerNotifications();
  backend().reset();
  failAllocationAfter(-1);
  failMsgQueueCreation(0);
}

std::vector<HWND> windowsInZOrder() { return windowStack(); }

bool windowIsShown(HWND window) {
  Window* w = localWindow(window);
  return w != nullptr && w->visible();
}

uint64_t windowFrameCount(HWND window) {
  Window* w = localWindow(window);
  return w != nullptr ? w->frames : 0;
}

bool writeWindowPng(HWND window, const char* path) {
  Window* w = localWindow(window);
  return w != nullptr && writeSurfacePng(w->client, path);
}

bool writeScreenPng(const char* path) {
  Surface* screen = backend().screenSurface();
  return screen != nullptr && writeSurfacePng(*screen, path);
}

Surface screenSnapshot() {
  Surface* screen = backend().screenSurface();
  return screen != nullptr ? *screen : Surface();
}

}  // namespace host
