// The process-wide state of a fresh start of the player, for the tests and
// fuzz targets that run the real process entry (WinMain) again and again in
// one process: the host reset to the headless backend on the virtual clock,
// and every global of the shell and the loaders back at its start value.
#pragma once

#include <cstring>
#include <string>

#include "app/shell_state.h"
#include "app/show_driver.h"
#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "platform/host/backend.h"
#include "platform/host/files/host_files.h"
#include "platform/host/host_control.h"
#include "platform/host/runtime/host_clock.h"

namespace test_process {

// The shell's and the loaders' globals as a fresh process has them (the
// frame-step hooks stay as they are).
inline void resetShellState() {
  showing = resident = windowCreated = 0;
  pendingRestart = 0;
  settingsFileName[0] = scheduleFileName[0] = 0;
  mainWindow = nullptr;
  stopEvent = watcherThread = nullptr;
  memset(&trayIconData, 0, sizeof trayIconData);
  tickInterval = 1000;
  duration = -1;
  freeScheduleList(&normalList);
  freeScheduleList(&suspendList);
}

// A fresh process whose executable lies in moduleDir, its single-instance
// sockets in instanceDir, on a width x height headless screen whose virtual
// clock starts at 2026-12-06 10:00:00; false (and why) when the host refuses.
inline bool startFreshProcess(const std::string& moduleDir, const std::string& instanceDir, int width, int height,
                              std::string* error) {
  host::resetHost();
  if (!host::selectBackend("headless", error)) return false;
  host::setScreenSize(width, height);
  SYSTEMTIME start{};
  if (!host::parseLocalTime("2026-12-06T10:00:00", &start)) return false;
  host::clockUseVirtual(start);
  host::setModuleDirectory(moduleDir);
  host::setInstanceDirectory(instanceDir);
  resetShellState();
  frameStepHooks.beforePaint = frameStepHooks.afterPaint = nullptr;
  return true;
}

}  // namespace test_process
