// The player in plain mode, end to end: the real process entry on the headless
// host with the virtual clock. A show plays its ticks and ends; the user's
// input ends, restarts or repaints it; a failed start shows one box.
#include "tests/app/player_harness.h"

using PlainMode = PlayerTest;

TEST_F(PlainMode, ShowOfDurationDPaintsTicksZeroToDAndEnds) {
  writeSchedule("a.txt", "a.txt");
  writeShow("default.txt", 50, 4);
  EXPECT_EQ(run(u""), 0);
  EXPECT_EQ(ticksOf(u""), (Ticks{0, 1, 2, 3, 4}));
  EXPECT_TRUE(host::messageBoxesShown().empty());
  // Ticks follow the interval: tick n is painted n * 50 ms after tick 0.
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[4].atMs - frames[0].atMs, 200);
  EXPECT_EQ(host::liveObjectCount(), 0u) << "the show and the window released every handle";
}

TEST_F(PlainMode, EventAtTickZeroFiresOnceAndDashFPicksTheShow) {
  writeSchedule("a.txt", "a.txt");
  writeShow("morning.txt", 50, 3,
            "@set\r\n" + test_show::setRecord(0, "s", {{"lifetime", "0"}}) + "\r\n@evt\r\n0, 0, 0, 0\r\n@\r\n");
  EXPECT_EQ(run(u"-f morning.txt"), 0);
  ASSERT_EQ(frames.size(), 4u);
  for (const FrameRecord& f : frames) {
    EXPECT_EQ(f.show, u"morning.txt");
    EXPECT_EQ(f.liveInstances, 1) << "at tick " << f.tick;
  }
}

// A show of 100 ms ticks and the user's input: a tap, Enter or the close box
// end it; other keys do nothing; turning the screen stops it and plays it again
// from tick 0 3000 ms later (a second turn while it waits changes nothing); a
// size change that keeps the orientation repaints once, running the tick's
// step again.
TEST_F(PlainMode, InputEndsRestartsOrRepaintsTheShow) {
  const struct {
    const char* script;
    int duration;  // 0: only the user ends it
    Ticks ticks;
    int64_t fourthFrameAtMs;
  } rows[] = {
      {"450:tap:10:10", 0, {0, 1, 2, 3, 4}, 300},
      {"450:key:13", 0, {0, 1, 2, 3, 4}, 300},
      {"450:close", 0, {0, 1, 2, 3, 4}, 300},
      {"150:key:27;250:key:32", 6, {0, 1, 2, 3, 4, 5, 6}, 300},
      {"250:size:320:240;1250:size:240:320", 5, {0, 1, 2, 0, 1, 2, 3, 4, 5}, 3250},
      {"150:size:240:300", 4, {0, 1, 1, 2, 3, 4}, 200},
  };
  writeSchedule("a.txt", "a.txt");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    freshProcess();
    writeShow("default.txt", 100, row.duration);
    EXPECT_EQ(run(u"", row.script), 0);
    EXPECT_EQ(ticksOf(u""), row.ticks);
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[3].atMs, row.fourthFrameAtMs);
    EXPECT_EQ(host::liveObjectCount(), 0u);
  }
}

TEST_F(PlainMode, AFailedStartShowsOneBoxPaintsNothingAndExitsZero) {
  const struct {
    bool schedule;
    const char* show;
    const char16_t* commandLine;
    std::u16string box;
  } rows[] = {
      {false, "@base\r\n50, 2, 0, 0, 0\r\n@\r\n", u"", kScheduleOpenFailed},
      {true, "@base\r\n50, 2, 0, 0, 0\r\n@\r\n", u"-f missing.txt", kSettingsOpenFailed},
      {true, "@base\r\n50, 10, 0, 0, 0\r\n", u"", u"ファイルの確認だ|設定ファイル内、@baseの記述が間違ってます"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(host::utf16ToUtf8(row.box.c_str()));
    TearDown();
    SetUp();
    if (row.schedule) writeSchedule("a.txt", "a.txt");
    writeFile("default.txt", row.show);
    EXPECT_EQ(run(row.commandLine), 0);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(boxTexts(), Boxes{row.box});
    EXPECT_EQ(host::liveObjectCount(), 0u) << "the failed start released what it had made";
  }
}
