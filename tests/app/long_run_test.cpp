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

TEST_F(LongRun, AShowWhoseValuesGrowWithoutBoundRunsToTheEnd) {
  writeSchedule("default.txt", "default.txt");
  // Every kind of definition, each accelerating in position, size and colour
  // until its values overflow to infinity; each dies at age 30 and leaves a
  // child of a random kind that inherits all of it.
  std::string defs;
  const char* kinds[] = {"g", "t", "s", "c", "l", "p"};
  for (int k = 0; k < 6; ++k) {
    test_show::Fields grow = {{"layer", std::to_string(k)}, {"accelX", "1e36"}, {"accelY", "1e36"},
                              {"radiusStep", "1e10"}, {"angleStep", "1e10"}, {"width", "10"}, {"height", "10"},
                              {"widthAccel", "1e30"}, {"heightAccel", "1e30"}, {"lifetime", "30"},
                              {"childDef", "0[5]"}, {"inheritFlags", "\"11111\""}};
    for (const char* one : {"velX", "velY", "radius", "angle", "orbitXX", "orbitYY", "orbitYX", "orbitXY",
                            "widthStep", "heightStep", "spawnOnDeath", "spawnCount"}) {
      grow.push_back({one, "1"});
    }
    for (std::string colour : {"alpha", "red", "green", "blue"}) {
      grow.insert(grow.end(), {{colour, "1e36"}, {colour + "Step", "1e30"}, {colour + "Accel", "1e36"}});
    }
    defs += test_show::setRecord(k, kinds[k], grow) + "\r\n";
  }
  writeShow("default.txt", 10, 0,
            "@bmp\r\n0, \"spark.bmp\", 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n@txt\r\n0, 1, 2, 1, \"grow@@grow\"\r\n"
            "@pgn\r\n0, 3, 0, 0, 1, 0, 0, 1\r\n@set\r\n" + defs +
            "@evt\r\n0, 0, 0, 0\r\n0, 0, 1, 0\r\n0, 0, 2, 0\r\n0, 0, 3, 0\r\n0, 0, 4, 0\r\n0, 0, 5, 0\r\n@\r\n");
  writeFile("spark.bmp", test_files::readWhole(std::string(TESSARIL_DEMO_DIR) + "/spark.bmp"));
  runLongShow();
}
