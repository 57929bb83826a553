// Resident mode's two threads under load: many start/stop cycles of the
// resident program, each ending with the window's destruction joining the
// power watcher, while another thread injects resumes and suspends at random
// moments: while the watcher starts, waits, drains or stops, and between runs.
// Built with ThreadSanitizer (TESSARIL_TSAN, the TSan stage of scripts/test)
// it runs 1,000 cycles and a data race ends the run with a report; other
// builds run 100 (1,000 with TESSARIL_LONG=1).
#include <time.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/host/threads/power_source.h"
#include "tests/app/player_harness.h"

using ResidentThreads = PlayerTest;

namespace {

int cycleCount() {
#if defined(__SANITIZE_THREAD__)
  return 1000;
#else
  return longRuns() ? 1000 : 100;
#endif
}

// Sleeps a random 0..max microseconds of real time.
void pauseRandomly(std::mt19937& random, long maxMicroseconds) {
  timespec pause{0, long(random() % uint32_t(maxMicroseconds + 1)) * 1000};
  nanosleep(&pause, nullptr);
}

// Injects a resume or a suspend, chosen at random, every 0..400 us until stop.
void injectPowerEvents(const std::atomic<bool>* stop, std::atomic<long>* injected) {
  std::mt19937 random(20261206);
  while (!*stop) {
    pauseRandomly(random, 400);
    random() % 2 == 0 ? host::injectPowerResume() : host::injectPowerSuspend();
    ++*injected;
  }
}

// Each frame takes a little real time, so the injected events fall anywhere in
// a show. The virtual clock would otherwise run a whole cycle before the new
// watcher has subscribed, so a show's first frame waits for it (10 s at most).
std::mt19937 frameRandom(7);
void pauseInFrame(PlayerTest* t) {
  if (t->frames.back().tick == 0) {
    for (int i = 0; i < 50000 && host::powerSubscriptionCount() == 0; ++i) pauseRandomly(frameRandom, 200);
  }
  pauseRandomly(frameRandom, 100);
}

}  // namespace

TEST_F(ResidentThreads, StartStopCyclesWithPowerEventsFromAnotherThreadJoinTheWatcherEveryTime) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("normal.txt", 20, 0);
  writeShow("wake.txt", 20, 4);
  onFrame = pauseInFrame;
  const int cycles = cycleCount();
  std::atomic<bool> stop{false};
  std::atomic<long> injected{0};
  std::thread injector(injectPowerEvents, &stop, &injected);
  int completed = 0;
  for (; completed < cycles; ++completed) {
    host::resetHost();
    test_process::resetShellState();
    // A tray tap and a tap that stops its show; a resume in between plays the
    // suspend show instead. The second -s start's notice ends the program,
    // while a show may be running or about to start.
    int64_t t = host::clockNowMs();
    std::string script = std::to_string(t + 10) + ":tray;" + std::to_string(t + 300) + ":tap:5:5;" +
                         std::to_string(t + 700) + ":second:1";
    if (run(u"-s", script.c_str()) != 0 || boxTexts() != Boxes{kLeaving} ||
        watcherThread != nullptr || stopEvent != nullptr || host::liveObjectCount() != 0) {
      break;
    }
  }
  stop = true;
  injector.join();
  EXPECT_EQ(completed, cycles) << "each cycle ends with its notice, the watcher joined and every handle closed";
  EXPECT_GT(injected.load(), 0);
  EXPECT_GE(ticksOf(u"normal.txt").size(), size_t(cycles)) << "the tray played in every cycle";
}
