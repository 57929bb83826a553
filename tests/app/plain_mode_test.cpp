// The player in plain mode, end to end: the real process entry on the headless
// host with the virtual clock.
#include "tests/app/player_harness.h"

using PlainMode = PlayerTest;

TEST_F(PlainMode, ShowOfDurationDPaintsTicksZeroToDAndEnds) {
  writeSchedule("a.txt", "a.txt");
  writeShow("default.txt", 50, 4);
  EXPECT_EQ(run(u""), 0);
  EXPECT_EQ(ticksOf(u""), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(host::messageBoxesShown().empty());
  // Ticks follow the interval: tick n is painted n * 50 ms after tick 0.
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[4].atMs - frames[0].atMs, 200);
  EXPECT_EQ(host::liveObjectCount(), 0u) << "the show and the window released every handle";
}

TEST_F(PlainMode, EventAtTickZeroFiresOnceAndDashFPicksTheShow) {
  writeSchedule("a.txt", "a.txt");
  writeShow("morning.txt", 50, 3,
            "@set\r\n0, s, 0, 0, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 255, 0, 0, "
            "255, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, \"00000\"\r\n@evt\r\n0, 0, 0, 0\r\n@\r\n");
  EXPECT_EQ(run(u"-f morning.txt"), 0);
  ASSERT_EQ(frames.size(), 4u);
  for (const FrameRecord& f : frames) {
    EXPECT_EQ(f.show, u"morning.txt");
    EXPECT_EQ(f.liveInstances, 1) << "at tick " << f.tick;
  }
}

TEST_F(PlainMode, TapEnterAndCloseEachEndTheShow) {
  writeSchedule("a.txt", "a.txt");
  writeShow("default.txt", 100, 0);  // no limit: only the user ends it
  const char* scripts[] = {"450:tap:10:10", "450:key:13", "450:close"};
  for (const char* script : scripts) {
    frames.clear();
    resetShell();
    host::resetHost();
    SYSTEMTIME start{};
    host::parseLocalTime("2026-12-06T10:00:00", &start);
    host::clockUseVirtual(start);
    EXPECT_EQ(run(u"", script), 0) << script;
    ASSERT_FALSE(frames.empty()) << script;
    EXPECT_EQ(frames.back().tick, 4) << script;
    EXPECT_EQ(host::liveObjectCount(), 0u) << script;
  }
}

TEST_F(PlainMode, OtherKeysDoNotEndTheShow) {
  writeSchedule("a.txt", "a.txt");
  writeShow("default.txt", 100, 6);
  EXPECT_EQ(run(u"", "150:key:27;250:key:32"), 0);
  EXPECT_EQ(frames.back().tick, 6);
}

TEST_F(PlainMode, OrientationChangeRestartsAfter3000MsAndASecondOneChangesNothing) {
  writeSchedule("a.txt", "a.txt");
  writeShow("default.txt", 100, 5);
  EXPECT_EQ(run(u"", "250:size:320:240;1250:size:240:320"), 0);
  // Ticks 0..2 run, the turn at 250 ms stops the show, the restart 3000 ms later
  // plays it from tick 0 to its end; the second turn while waiting changes nothing.
  EXPECT_EQ(ticksOf(u""), (std::vector<int>{0, 1, 2, 0, 1, 2, 3, 4, 5}));
  ASSERT_EQ(frames.size(), 9u);
  EXPECT_EQ(frames[3].atMs, 3250) << "restart 3000 ms after the turn";
}

TEST_F(PlainMode, SizeChangeKeepingTheOrientationOnlyRepaints) {
  writeSchedule("a.txt", "a.txt");
  writeShow("default.txt", 100, 4);
  EXPECT_EQ(run(u"", "150:size:240:300"), 0);
  // The resized window is repainted once without a tick: tick 1's step runs
  // again, and the show goes on to its end without a restart.
  EXPECT_EQ(ticksOf(u""), (std::vector<int>{0, 1, 1, 2, 3, 4}));
}

TEST_F(PlainMode, MissingScheduleShowsItsBoxAndExitsZero) {
  writeShow("default.txt", 50, 2);
  EXPECT_EQ(run(u""), 0);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{u"ファイルの確認だ|スケジュールファイル読込に失敗しました"}));
}

TEST_F(PlainMode, LoadFailureShowsOneBoxEndsTheProgramAndExitsZero) {
  writeSchedule("a.txt", "a.txt");
  EXPECT_EQ(run(u"-f missing.txt"), 0);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{u"ファイルの確認だ|設定ファイル読込に失敗しました"}));
  EXPECT_EQ(host::liveObjectCount(), 0u) << "the failed start released what it had made";
}

TEST_F(PlainMode, ParseFailureShowsTheParsersMessage) {
  writeSchedule("a.txt", "a.txt");
  writeFile("default.txt", "@base\r\n50, 10, 0, 0, 0\r\n");
  EXPECT_EQ(run(u""), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{u"ファイルの確認だ|設定ファイル内、@baseの記述が間違ってます"}));
}
