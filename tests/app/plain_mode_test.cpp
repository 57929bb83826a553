// The player in plain mode, end to end: the real process entry on the headless
// host with the virtual clock. A show plays its ticks and ends; the user's
// input ends, restarts or repaints it; a failed start shows one box.
#include "tests/app/player_harness.h"

using PlainMode = PlayerTest;

TEST_F(PlainMode, EventAtTickZeroFiresOnceAndDashFPicksTheShow) {
  writeSchedule("a.txt", "a.txt");
  writeShow("morning.txt", 50, 3,
            "@set\r\n" + test_show::setRecord(0, "s", {{"lifetime", "0"}}) + "\r\n@evt\r\n0, 0, 0, 0\r\n@\r\n");
  EXPECT_EQ(run(u"-f morning.txt"), 0);
  EXPECT_EQ(ticksOf(u"morning.txt"), (Ticks{0, 1, 2, 3}));
  for (const FrameRecord& f : frames) EXPECT_EQ(f.liveInstances, 1) << "at tick " << f.tick;
}

// A show of 100 ms ticks: without input it paints ticks 0 to its duration, one
// every 100 ms, and ends; a tap, Enter or the close box end it; other keys do
// nothing; turning the screen stops it and plays it again from tick 0 3000 ms
// later (a second turn while it waits changes nothing); a size change that
// keeps the orientation repaints once, running the tick's step again.
TEST_F(PlainMode, AShowPaintsItsTicksAndInputEndsRestartsOrRepaintsIt) {
  const struct {
    const char* script;
    int duration;  // 0: only the user ends it
    Ticks ticks;
    int64_t fourthFrameAtMs;
  } rows[] = {
      {"", 4, {0, 1, 2, 3, 4}, 300},
      {"450:tap:10:10", 0, {0, 1, 2, 3, 4}, 300},
      {"450:key:13", 0, {0, 1, 2, 3, 4}, 300},
      {"450:close", 0, {0, 1, 2, 3, 4}, 300},
      {"150:key:27;250:key:32", 6, {0, 1, 2, 3, 4, 5, 6}, 300},
      {"250:size:320:240;1250:size:240:320", 5, {0, 1, 2, 0, 1, 2, 3, 4, 5}, 3250},
      {"150:size:240:300", 4, {0, 1, 1, 2, 3, 4}, 200},
  };
  writeSchedule("a.txt", "a.txt");
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("input: ") + row.script);
    freshProcess();
    writeShow("default.txt", 100, row.duration);
    EXPECT_EQ(run(u"", row.script), 0);
    EXPECT_EQ(ticksOf(u""), row.ticks);
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[3].atMs, row.fourthFrameAtMs);
    EXPECT_TRUE(boxTexts().empty());
  }
}

// A start without its schedule file (missing, or a directory in plain and in
// resident mode), without its show, or with a show cut short.
TEST_F(PlainMode, AFailedStartShowsOneBoxPaintsNothingAndExitsZero) {
  enum Schedule { kMissing, kDirectory, kWritten };
  const char* const show = "@base\r\n50, 2, 0, 0, 0\r\n@\r\n";
  const struct {
    const char* what;
    Schedule schedule;
    const char* show;
    const char16_t* commandLine;
    std::u16string box;
  } rows[] = {
      {"no schedule file", kMissing, show, u"", kScheduleOpenFailed},
      {"a schedule directory", kDirectory, show, u"", kScheduleOpenFailed},
      {"a schedule directory, resident", kDirectory, show, u"-s", kScheduleOpenFailed},
      {"a missing show", kWritten, show, u"-f missing.txt", kSettingsOpenFailed},
      {"a show cut short", kWritten, "@base\r\n50, 10, 0, 0, 0\r\n", u"",
       u"ファイルの確認だ|設定ファイル内、@baseの記述が間違ってます"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    if (row.schedule == kWritten) writeSchedule("a.txt", "a.txt");
    ASSERT_TRUE(row.schedule != kDirectory || mkdir((dir + "/schedule.ini").c_str(), 0700) == 0);
    writeFile("default.txt", row.show);
    EXPECT_EQ(run(row.commandLine), 0);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(boxTexts(), Boxes{row.box});
  }
}
