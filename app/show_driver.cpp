// The show driver: one show at a time, started from a settings file, driven by
// the tick timer through the paint step, stopped on request or at its duration.
//
// Invariant: showing is 1 exactly while the scene tables, the drawing surfaces,
// the draw list and the instance pool of a show are allocated and TIMER_TICK is
// set; a start while a show runs changes nothing.
#include "app/show_driver.h"

#include "app/shell_state.h"
#include "config/settings_loader.h"
#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "engine/tick_update.h"
#include "engine/timed_events.h"
#include "render/painter.h"
#include "render/surfaces.h"

FrameStepHooks frameStepHooks;

// The message of a start that ran out of memory; shown like a load error.
static const WCHAR* const OUT_OF_MEMORY_TEXT = u"メモリが不足しているため再生できません";

// Releases whatever a start allocated, in the order of a stop: surfaces and
// draw list, pool, tables. Each release tolerates what was never allocated.
static void releaseShow(void) {
  releaseSurfaces();
  releaseInstancePool();
  releaseSceneTables();
}

// Allocates the show's tables, surfaces and pool for window; 1, or 0 with
// loadErrorText set when memory ran out.
static int allocateShow(HWND window) {
  if (allocateSceneTables() && createSurfaces(window) && allocateInstancePool()) return 1;
  loadErrorText = OUT_OF_MEMORY_TEXT;
  return 0;
}

// Starts the show of the settings file name on window, unless one runs.
void startShow(HWND window, const WCHAR* name) {
  if (showing != 0) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  srand(now.wSecond);
  int allocated = allocateShow(window);
  if (allocated && loadSettingsFile(name)) {
    SetForegroundWindow((HWND)((uintptr_t)window | 1));
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetTimer(window, TIMER_TICK, (UINT)tickInterval, nullptr);
    showing = 1;
    return;
  }
  // A failed start frees what it allocated before the box, so nothing of it is
  // left while the box is open or after the window is gone.
  releaseShow();
  MessageBoxW(window, loadErrorText, LOAD_ERROR_CAPTION, MB_OK | MB_ICONHAND);
  // A file that does not load ends the program. Memory that ran out may be
  // there for the next start, so a resident program stays in the tray then.
  if (allocated || resident == 0) DestroyWindow(window);
}

// Stops the running show of window and hides the window; nothing if none runs.
void stopShow(HWND window) {
  if (showing != 1) return;
  releaseShow();
  showing = 0;
  ShowWindow(window, SW_MINIMIZE);
  ShowWindow(window, SW_HIDE);
  KillTimer(window, TIMER_TICK);
}

// The tick: count it, run its step at once, then end the show at its duration.
// In resident mode the end is a stop, so the program stays in the tray.
static void onTick(HWND window) {
  if (showing != 1) return;
  tick = tick + 1;
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
  if (duration > 0 && tick >= duration && showing == 1) {
    if (resident) {
      stopShow(window);
    } else {
      DestroyWindow(window);
    }
  }
}

// The delayed start. Its timer is killed before the start runs, so a start
// that fails and opens a box cannot be repeated by the box's modal loop; the
// start stays pending until it has returned, so while that box is open a resume
// arms no second start and a close request in plain mode stays ignored.
static void onRestart(HWND window) {
  KillTimer(window, TIMER_RESTART);
  startShow(window, settingsFileName);
  pendingRestart = 0;
}

// WM_TIMER: the tick or the delayed start; any other timer is ignored.
LRESULT onShowTimer(HWND window, WPARAM id) {
  if (id == TIMER_TICK) {
    onTick(window);
  } else if (id == TIMER_RESTART) {
    onRestart(window);
  }
  return 0;
}

// WM_PAINT: one step of the running show: events, tick update, paint, rest.
LRESULT onShowPaint(HWND window) {
  if (showing != 1) return 0;
  dispatchEvents();
  updateInstances();
  if (frameStepHooks.beforePaint != nullptr) frameStepHooks.beforePaint();
  paintFrame(window);
  if (frameStepHooks.afterPaint != nullptr) frameStepHooks.afterPaint();
  Sleep(10);
  return 0;
}

// Whether the recorded and the new client rectangles differ in orientation; a
// square on either side counts as a change.
static int orientationChanged(const RECT& recorded, const RECT& now) {
  int s = recorded.right - recorded.bottom;
  int n = now.right - now.bottom;
  return (s >= 0 && n <= 0) || (s <= 0 && n >= 0);
}

// WM_SIZE: a turn of the screen stops the show and starts it again 3000 ms later.
LRESULT onShowSize(HWND window) {
  if (windowCreated != 1 || showing != 1) return 0;
  RECT now;
  GetClientRect(window, &now);
  if (now.right <= 0 || now.bottom <= 0) return 0;
  if (orientationChanged(clientRect, now) && pendingRestart == 0) {
    stopShow(window);
    pendingRestart = (UINT)SetTimer(window, TIMER_RESTART, 3000, nullptr);
  }
  return 0;
}

// WM_ACTIVATE: the running show follows the client rectangle of the moment.
LRESULT onShowActivate(HWND window) {
  if (showing == 1) GetClientRect(window, &clientRect);
  return 0;
}
