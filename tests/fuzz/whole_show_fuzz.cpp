// Fuzzes a whole show: the input is the settings file of a plain-mode run of
// the real process entry on the headless host with the virtual clock, stopped
// after 200 frames (each tick paints one). The demo show's images lie beside
// it, so a fuzzed show can name them.
#include <chrono>
#include <string>

#include "app/shell_state.h"
#include "app/show_driver.h"
#include "config/schedule_file.h"
#include "engine/scene_tables.h"
#include "platform/host/backend.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/host/files/host_files.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"

static constexpr int kFramesPerShow = 200;
// A show may legitimately take long per frame (a full pool of line instances
// asks for a million lines, each dropped one scanning the full draw list), so
// a run also ends after this much real time, keeping each input within the
// fuzzer's timeout.
static constexpr auto kRunTimeLimit = std::chrono::seconds(2);
static int framesShown;
static std::chrono::steady_clock::time_point runStart;

// Ends the run once the show has painted its frames or used its time.
static void countFrame(void) {
  ++framesShown;
  if (framesShown == kFramesPerShow ||
      (framesShown < kFramesPerShow && std::chrono::steady_clock::now() - runStart > kRunTimeLimit)) {
    framesShown = kFramesPerShow;
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
  }
}

// The host and the show's directory, made once: the demo's images copied in.
static void prepareHost(void) {
  const std::string& dir = fuzz::scratchDirectory();
  static const char* const images[] = {"digit0.bmp", "digit1.bmp", "digit2.bmp", "digit3.bmp",    "digit4.bmp",
                                       "digit5.bmp", "digit6.bmp", "digit7.bmp", "digit8.bmp",    "digit9.bmp",
                                       "spark.bmp",  "banner.png", "star_sheet.bmp"};
  for (const char* name : images) fuzz::copyFile(std::string(TESSARIL_DEMO_DIR) + "/" + name, dir + "/" + name);
  fuzz::copyFile(std::string(TESSARIL_DEMO_DIR) + "/schedule.ini", dir + "/schedule.ini");
  mkdir((dir + "/sockets").c_str(), 0700);
  setenv("TESSARIL_BACKEND", "headless", 1);
}

// The process-wide state of a fresh process.
static void resetProcess(void) {
  host::resetHost();
  std::string error;
  if (!host::selectBackend("headless", &error)) abort();
  host::setScreenSize(120, 160);
  SYSTEMTIME start{};
  if (!host::parseLocalTime("2026-12-06T10:00:00", &start)) abort();
  host::clockUseVirtual(start);
  host::setModuleDirectory(fuzz::scratchDirectory());
  host::setInstanceDirectory(fuzz::scratchDirectory() + "/sockets");
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
  framesShown = 0;
  frameStepHooks.beforePaint = countFrame;
  frameStepHooks.afterPaint = nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool prepared = (prepareHost(), true);
  (void)prepared;
  if (size > TEXT_BUFFER_SIZE - 1) return 0;
  fuzz::writeBytes(fuzz::scratchDirectory() + "/default.txt", data, size);
  resetProcess();
  static char instance;
  WCHAR line[] = u"";
  runStart = std::chrono::steady_clock::now();
  WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, line, SW_SHOWNORMAL);
  // The window's end released the show's tables.
  if (scene.defs != nullptr) abort();
  return 0;
}
