// Long runs of the player on the virtual clock: many start/stop cycles of the
// demo show in one resident process, a long demo show, and a show whose values
// grow without bound. Heap and live host handles must stay constant.
//
// The default counts fit the test run's time (200 cycles; 20,000 ticks, 5,000
// under the sanitizers); TESSARIL_LONG=1 runs the full ones (1,000 cycles,
// 1,000,000 ticks).
#include <malloc.h>

#include "tests/app/player_harness.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Ticks of the long shows: a sanitizer build runs some ten times slower.
long defaultTicks() {
  if (longRuns()) return 1000000;
#if defined(__SANITIZE_ADDRESS__)
  return 5000;
#else
  return 20000;
#endif
}

// Heap and live host handles at one moment.
struct Usage {
  size_t heap = 0, handles = 0;
};
Usage usageNow() {
#if defined(__SANITIZE_ADDRESS__)
  return {__sanitizer_get_current_allocated_bytes(), host::liveObjectCount()};
#else
  return {mallinfo2().uordblks, host::liveObjectCount()};
#endif
}

// What a frame hook sees of a long run; frames are counted, not recorded, so
// the test itself allocates nothing while the show runs.
struct Samples {
  long frames = 0;
  long stopAt = 0;        // frame count that closes the window (0: never)
  Usage first, last;
  int firstTickZero = 0;  // frames of tick 0 seen (the cycles test)
};
Samples samples;

// The cycle by which the host's caches (glyphs, faces, the C library's own
// buffers) have settled: measured, they stop growing within ten cycles.
constexpr int kSettledCycle = 20;

// Samples heap and handles at each show's first frame (the cycles test).
void sampleEachStart() {
  ++samples.frames;
  if (tick != 0) return;
  if (++samples.firstTickZero == kSettledCycle) samples.first = usageNow();
  samples.last = usageNow();
}

// Samples at frame 1000, by which the show has settled, and at the last frame,
// then closes the window.
void sampleAndStop() {
  if (++samples.frames == 1000) samples.first = usageNow();
  if (samples.frames == samples.stopAt) {
    samples.last = usageNow();
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
  }
}

// Slack for the heap comparison: the C library's own buffers (the debug
// console, the time zone) may settle once after the first sample.
constexpr size_t kHeapSlack = 4096;

void expectConstantUsage() {
  EXPECT_EQ(samples.last.handles, samples.first.handles) << "live host handles";
  EXPECT_LE(samples.last.heap, samples.first.heap + kHeapSlack) << "heap in use";
}

}  // namespace

class LongRun : public PlayerTest {
 public:
  void SetUp() override {
    PlayerTest::SetUp();
    samples = Samples{};
  }

  // The demo show's files in the run's directory, the settings file's
  // duration replaced by durationText when given.
  void copyDemo(const char* durationText = nullptr) {
    ASSERT_TRUE(test_files::copyDemo(TESSARIL_DEMO_DIR, dir));
    std::string show = test_files::readWhole(dir + "/default.txt");
    size_t at = show.find("50, 300,");
    ASSERT_NE(at, std::string::npos) << "the demo's base line";
    if (durationText != nullptr) writeFile("default.txt", show.replace(at, 8, std::string("50, ") + durationText + ","));
  }

  // Plays the show in the directory for defaultTicks() ticks.
  void runLongShow() {
    const long ticks = defaultTicks();
    samples.stopAt = ticks;
    frameStepHooks.beforePaint = sampleAndStop;
    EXPECT_EQ(run(u""), 0);
    EXPECT_EQ(samples.frames, ticks);
    EXPECT_EQ(tick, ticks - 1) << "one frame a tick from tick 0";
    expectConstantUsage();
    EXPECT_TRUE(boxTexts().empty());
  }
};

TEST_F(LongRun, StartStopCyclesOfTheDemoShowKeepHeapAndHandles) {
  const int cycles = longRuns() ? 1000 : 200;
  copyDemo();
  // Each cycle: a tray tap plays the show, a tap 120 ms later stops it (ticks 0..2).
  std::string script;
  for (int c = 0; c < cycles; ++c) {
    int at = 100 + c * 300;
    script += std::to_string(at) + ":tray;" + std::to_string(at + 120) + ":tap:5:5;";
  }
  script += std::to_string(100 + cycles * 300) + ":second:1";
  frameStepHooks.beforePaint = sampleEachStart;
  EXPECT_EQ(run(u"-s", script.c_str()), 0);
  EXPECT_EQ(samples.firstTickZero, cycles) << "every tray tap started the show";
  EXPECT_EQ(samples.frames, 3L * cycles);
  expectConstantUsage();  // at a show's first frame
  EXPECT_EQ(boxTexts(), Boxes{kLeaving});
}

TEST_F(LongRun, TheDemoShowRunsForManyTicksInConstantMemory) {
  copyDemo("0");  // never ends by itself
  runLongShow();
}

// Every kind of definition, each accelerating in position, size and colour
// until its values overflow to infinity; each dies at age 30 and leaves a
// child of a random kind that inherits all of it. The show is the whole-show
// fuzz target's seed grow.txt; its image is the demo's spark.bmp.
TEST_F(LongRun, AShowWhoseValuesGrowWithoutBoundRunsToTheEnd) {
  copyDemo();
  const std::string grow = test_files::readWhole(TESSARIL_DEMO_DIR "/../../tests/fuzz/corpus/whole_show/grow.txt");
  ASSERT_NE(grow.find("\"11111\""), std::string::npos) << "the seed show";
  writeFile("default.txt", grow);
  runLongShow();
}
