// Fuzzes a whole show: the input is the settings file of a plain-mode run of
// the real process entry on the headless host with the virtual clock, stopped
// after 200 frames (each tick paints one). The demo show's images lie beside
// it, so a fuzzed show can name them.
#include <chrono>
#include <string>

#include "engine/scene_tables.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fresh_process.h"
#include "tests/support/test_files.h"

static constexpr int kFramesPerShow = 200;
// A show may legitimately take long per frame (a tick of chained spawns runs
// the tick's full count of updates, over half a second under the sanitizers),
// so a run also ends after this much real time: such an input still plays its
// first slow tick and paints, and the fuzzer keeps its pace.
static constexpr auto kRunTimeLimit = std::chrono::milliseconds(500);
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

// The show's directory, made once: the demo's images and schedule copied in.
static void prepareHost(void) {
  const std::string& dir = fuzz::scratchDirectory();
  if (!test_files::copyDemo(TESSARIL_DEMO_DIR, dir)) abort();
  mkdir((dir + "/sockets").c_str(), 0700);
  setenv("TESSARIL_BACKEND", "headless", 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool prepared = (prepareHost(), true);
  (void)prepared;
  if (size > TEXT_BUFFER_SIZE - 1) return 0;
  fuzz::writeBytes(fuzz::scratchDirectory() + "/default.txt", data, size);
  std::string error;
  if (!test_process::startFreshProcess(fuzz::scratchDirectory(), fuzz::scratchDirectory() + "/sockets", 120, 160,
                                       &error)) {
    abort();
  }
  framesShown = 0;
  frameStepHooks.beforePaint = countFrame;
  static char instance;
  WCHAR line[] = u"";
  runStart = std::chrono::steady_clock::now();
  WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, line, SW_SHOWNORMAL);
  // The window's end released the show's tables.
  if (scene.defs != nullptr) abort();
  return 0;
}
