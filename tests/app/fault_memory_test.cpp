// Running out of memory, end to end on the headless host: one allocation of
// the system's code fails (host::failAllocationAfter), each in turn, until a
// run has none left to fail: the schedule's entries, the scene tables, the draw
// list, the instance pool and a polygon's vertices. A start that cannot have
// its tables shows the out-of-memory message and plays nothing; a polygon
// without vertices is dropped and the show plays. Nothing is left behind, and
// a resident program plays its next show as usual.
#include <future>
#include <thread>

#include "tests/app/player_harness.h"

namespace {

const std::u16string kOutOfMemory = u"ファイルの確認だ|メモリが不足しているため再生できません";

// A show of polygon 0 spawned at tick 0, 100 ms a tick, ending at tick 2.
const std::string kPolygonShow = "@pgn\r\n0, 3, 0, -0.5, 0.5, 0.5, -0.5, 0.5\r\n@set\r\n" +
                                  test_show::setRecord(0, "p", {{"lifetime", "0"}}) + "\r\n@evt\r\n0, 0, 0, 0\r\n@\r\n";

// What one run showed: each frame's time and tick, whether polygon 0 had its
// vertices, and the system's allocations made by then.
struct Frame {
  int64_t atMs;
  int tick;
  bool polygonKept;
  int64_t allocations;
};
std::vector<Frame> seen;

void recordPolygon(PlayerTest* t) {
  bool kept = scene.polygons != nullptr && scene.polygons[0].points != nullptr && scene.polygons[0].count == 3;
  seen.push_back({t->frames.back().atMs, tick, kept, host::systemAllocationCount()});
}

// The ticks and kept-polygon flags of the frames in [fromMs, toMs).
Ticks ticksBetween(int64_t fromMs, int64_t toMs, bool* allKept) {
  Ticks ticks;
  *allKept = true;
  for (const Frame& f : seen) {
    if (f.atMs < fromMs || f.atMs >= toMs) continue;
    ticks.push_back(f.tick);
    *allKept = *allKept && f.polygonKept;
  }
  return ticks;
}

}  // namespace

class MemoryFaults : public PlayerTest {
 public:
  // Plays the polygon show with allocation n failing (n < 0: none); the
  // allocations the run made. Blocks of the system's code must all be back.
  int64_t playFailing(int n, const char16_t* commandLine, const char* script) {
    startOver();
    seen.clear();
    onFrame = recordPolygon;
    writeSchedule("default.txt", "default.txt");  // a dropped entry plays the default file: the same one
    writeShow("default.txt", 100, 2, kPolygonShow);
    int64_t blocksBefore = host::systemBlocksLive();
    host::failAllocationAfter(n);
    EXPECT_EQ(run(commandLine, script), 0);
    int64_t made = host::systemAllocationCount();
    EXPECT_EQ(host::allocationFailureHappened(), n >= 0 && n < made);
    test_process::resetShellState();  // frees the schedule lists a plain run keeps to its end
    EXPECT_EQ(host::systemBlocksLive(), blocksBefore) << "every block of the run was freed";
    return made;
  }
};

// Allocation n fails in run n, until a run has nothing left to fail: in plain
// mode, and in resident mode with two shows from tray taps at 100 and 1000 ms,
// whichever show the failure hits, the other one plays as usual.
TEST_F(MemoryFaults, EachFailedAllocationShowsTheMessageOrDropsThePolygon) {
  const struct {
    const char16_t* commandLine;
    const char* script;
    size_t frames;
  } rows[] = {{u"", "", 3}, {u"-s", "100:tray;1000:tray;2000:second:1", 6}};
  for (const auto& row : rows) {
    const bool resident = row.frames == 6;
    const int64_t total = playFailing(-1, row.commandLine, row.script);
    ASSERT_EQ(seen.size(), row.frames);
    // Allocations below this number belong to the schedule and the first show.
    const int64_t secondShowFrom = resident ? seen[0].allocations : total;
    if (resident) {
      ASSERT_EQ(seen[3].allocations, total) << "the second show allocates as the first";
    }
    int messages = 0, dropped = 0;
    int64_t n = 0;
    for (; n <= total; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
      playFailing(int(n), row.commandLine, row.script);
      if (!host::allocationFailureHappened()) break;
      // The show the failure hit paints nothing after the message, or plays
      // whole without the polygon, or (a schedule entry) plays whole; the
      // other one (none in plain mode) plays as usual.
      const int64_t hitAt = n < secondShowFrom ? 0 : 1000, otherAt = 1000 - hitAt;
      bool kept = false, otherKept = false;
      Ticks ticks = ticksBetween(hitAt, hitAt + 1000, &kept);
      EXPECT_EQ(ticksBetween(otherAt, otherAt + 1000, &otherKept), resident ? (Ticks{0, 1, 2}) : Ticks());
      EXPECT_TRUE(otherKept);
      const bool message = !boxTexts().empty() && boxTexts()[0] == kOutOfMemory;
      messages += message;
      dropped += !message && !kept;
      EXPECT_EQ(ticks, message ? Ticks() : (Ticks{0, 1, 2})) << "a show without its tables paints nothing";
      Boxes boxes = message ? Boxes{kOutOfMemory} : Boxes();
      if (resident) boxes.push_back(kLeaving);  // the program stayed resident to the end
      EXPECT_EQ(boxTexts(), boxes);
    }
    EXPECT_EQ(n, total) << "the sweep ends with the first run that has nothing left to fail";
    EXPECT_GE(messages, 2);
    EXPECT_EQ(dropped, resident ? 2 : 1) << "one polygon a show";
  }
}

TEST_F(MemoryFaults, WithoutMemoryTheWatcherStillForwardsAResumeAndEnds) {
  // Every allocation fails: the resume's show has no tables, so it shows the
  // message; the watcher read the resume without its buffer and was joined.
  // A watcher that left the record queued would spin past its stop event: the
  // memory comes back after 10 s, so such a run ends, without the message.
  writeSchedule("default.txt", "default.txt");
  writeShow("default.txt", 100, 2);
  std::promise<void> ended;
  std::thread heal([&, done = ended.get_future()] {
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) host::failAllocationAfter(-1);
  });
  host::failAllocationAfter(0, INT64_MAX);
  EXPECT_EQ(run(u"-s", "100:resume;1000:second:1"), 0);
  ended.set_value();
  heal.join();
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{kOutOfMemory, kLeaving}));
}
