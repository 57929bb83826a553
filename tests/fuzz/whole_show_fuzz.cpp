// Fuzzes a whole show: the input is the settings file of a plain-mode run of
// the real process entry on the headless host with the virtual clock, stopped
// after 200 frames (each tick paints one). The demo show's images lie beside
// it, so a fuzzed show can name them.
#include <chrono>
#include <string>

#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fresh_process.h"
#include "tests/support/test_files.h"

static constexpr int kFramesPerShow = 200;
// A full pool costs milliseconds a frame under the sanitizers, so a run also
// ends once its frames have held this many live instances in all (20 frames of
// a full pool; a show of up to 100 instances plays all its frames): such a show
// still fills its pool and paints it, and the fuzzer keeps its pace. That bound
// counts work, so it ends a run at the same frame however loaded the machine
// is. Half a second of real time ends the shows whose every tick is slow (a
// tick of endless chained spawns runs the tick's whole limit of updates).
static constexpr long kInstanceFramesPerShow = 20000;
static constexpr auto kRunTimeLimit = std::chrono::milliseconds(500);
static int framesShown;
static long instanceFrames;
static std::chrono::steady_clock::time_point runStart;

// Ends the run once the show has painted its frames or used its budget.
static void countFrame(void) {
  if (framesShown >= kFramesPerShow) return;  // the close is posted already
  ++framesShown;
  instanceFrames += pool.live;
  if (framesShown == kFramesPerShow || instanceFrames >= kInstanceFramesPerShow ||
      std::chrono::steady_clock::now() - runStart > kRunTimeLimit) {
    framesShown = kFramesPerShow;
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
  }
}

// A fresh process for the next run, on the show's directory. Done at the end
// of a run rather than at its start: what the run left (the schedule lists,
// the window class, the screen) is released in the same run that made it, so
// libFuzzer sees as many frees as allocations and does not run every input a
// second time looking for a leak.
static void startFreshProcess(void) {
  const std::string& dir = fuzz::scratchDirectory();
  std::string error;
  if (!test_process::startFreshProcess(dir, dir + "/sockets", 120, 160, &error)) abort();
}

// The show's directory, made once: the demo's images and schedule copied in.
static void prepareHost(void) {
  const std::string& dir = fuzz::scratchDirectory();
  if (!test_files::copyDemo(TESSARIL_DEMO_DIR, dir)) abort();
  mkdir((dir + "/sockets").c_str(), 0700);
  setenv("TESSARIL_BACKEND", "headless", 1);
  startFreshProcess();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool prepared = (prepareHost(), true);
  (void)prepared;
  if (size > TEXT_BUFFER_SIZE - 1) return 0;
  fuzz::writeBytes(fuzz::scratchDirectory() + "/default.txt", data, size);
  framesShown = 0;
  instanceFrames = 0;
  frameStepHooks.beforePaint = countFrame;
  static char instance;
  WCHAR line[] = u"";
  runStart = std::chrono::steady_clock::now();
  WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, line, SW_SHOWNORMAL);
  // The window's end released the show's tables.
  if (scene.defs != nullptr) abort();
  startFreshProcess();
  return 0;
}
