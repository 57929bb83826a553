// The player in resident mode, end to end: tray taps, power events, the
// schedule's lists, and shows that return to the tray.
#include "tests/app/player_harness.h"

using ResidentMode = PlayerTest;

TEST_F(ResidentMode, StartsHiddenWithTheIconAndATrayTapPlaysTheNormalShow) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("normal.txt", 100, 0);
  endAtFrame = 1;
  onFrame = [](PlayerTest*) {
    // The show runs in the shown window; the icon stays.
    EXPECT_TRUE(host::windowIsShown(mainWindow));
    EXPECT_EQ(host::trayIcons().size(), 1u);
  };
  EXPECT_EQ(run(u"-s", "500:tray"), 0);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].show, u"normal.txt");
  EXPECT_EQ(frames[0].atMs, 500);
  EXPECT_EQ(boxTexts(), Boxes{kLeaving});
  EXPECT_TRUE(host::trayIcons().empty()) << "the icon is removed when the instance ends";
  EXPECT_EQ(host::liveObjectCount(), 0u);
}

TEST_F(ResidentMode, TheIconRecordIsTheTrayRecordOfTheProgram) {
  writeSchedule("normal.txt", "missing.txt");
  // The resume plays a missing file: its box ends the program.
  EXPECT_EQ(run(u"-s", "100:resume"), 0);
  // Its id and callback message 0x465, flags NIF_MESSAGE | NIF_ICON | NIF_TIP, no tooltip.
  EXPECT_EQ(std::make_tuple(trayIconData.uID, trayIconData.uCallbackMessage, trayIconData.uFlags, trayIconData.szTip[0]),
            std::make_tuple(0x465u, 0x465u, 7u, char16_t(0)));
  EXPECT_EQ(boxTexts(), Boxes{kSettingsOpenFailed});
}

TEST_F(ResidentMode, TapStopsTheShowAndTheIconStays) {
  writeSchedule("normal.txt", "missing.txt");
  writeShow("normal.txt", 100, 0);
  EXPECT_EQ(run(u"-s", "100:tray;350:tap:5:5;600:tray;850:key:13;1000:resume"), 0);
  // Two shows of three frames each (ticks 0..2), each stopped by the user.
  EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1, 2, 0, 1, 2}));
}

TEST_F(ResidentMode, ResumeStopsTheShowAndPlaysTheSuspendShow200MsLater) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("normal.txt", 100, 0);
  writeShow("wake.txt", 100, 2);
  // The second resume inside the 200 ms changes nothing; the suspend show ends at
  // its duration and the program stays resident until the last tray tap's show.
  EXPECT_EQ(run(u"-s", "100:tray;350:resume;450:resume;2000:suspend;3000:tray;3100:second:1"), 0);
  EXPECT_EQ(ticksOf(u"wake.txt"), (Ticks{0, 1, 2}));
  Ticks normal = ticksOf(u"normal.txt");
  ASSERT_GE(normal.size(), 3u);
  EXPECT_EQ(Ticks(normal.begin(), normal.begin() + 3), (Ticks{0, 1, 2}));
  for (const FrameRecord& f : frames) {
    if (f.show == u"wake.txt" && f.tick == 0) {
      EXPECT_EQ(f.atMs, 550) << "200 ms after the first resume";
    }
  }
  EXPECT_EQ(frames.back().show, u"normal.txt") << "the last tray tap played the normal show again";
}

TEST_F(ResidentMode, AShowAtItsDurationReturnsToTheTray) {
  writeSchedule("normal.txt", "missing.txt");
  writeShow("normal.txt", 100, 2);
  host::setMessageBoxAnswerDelay(500);
  EXPECT_EQ(run(u"-s", "100:tray;2000:tray;5000:resume;5300:resume"), 0);
  // Both tray taps played the whole show; the resume's missing file ended the run.
  // The second resume came while its box was open: no second start, no second box.
  EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(boxTexts(), Boxes{kSettingsOpenFailed});
}

TEST_F(ResidentMode, CloseAndOtherTrayMessagesDoNothing) {
  writeSchedule("normal.txt", "missing.txt");
  writeShow("normal.txt", 100, 0);
  EXPECT_EQ(run(u"-s", "100:close;200:suspend;300:resume"), 0);
  EXPECT_TRUE(frames.empty());
}

TEST_F(ResidentMode, ListWithoutEntriesPlaysTheDefaultFile) {
  writeFile("schedule.ini", "@suspend\r\n\"missing.txt\"\r\n@\r\n");
  writeShow("default.txt", 100, 1);
  EXPECT_EQ(run(u"-s", "100:tray;1000:resume"), 0);
  EXPECT_EQ(ticksOf(u""), (Ticks{0, 1}));
}

TEST_F(ResidentMode, PlainSecondStartWhileAShowRunsOnlyFrontsIt) {
  writeSchedule("normal.txt", "missing.txt");
  writeShow("normal.txt", 100, 3);
  onFrame = [](PlayerTest* t) {
    if (t->frames.size() == 2) PostMessageW(mainWindow, MSG_OTHER_INSTANCE, 0, 0);
  };
  EXPECT_EQ(run(u"-s", "100:tray;2000:resume"), 0);
  EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1, 2, 3})) << "the running show went on unrestarted";
}
