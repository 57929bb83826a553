// The player in resident mode, end to end: tray taps, power events, the
// schedule's lists, and shows that return to the tray. The power events come
// from the headless source; which records logind's signals become, through
// the same subscription, is checked by the host's logind source tests.
#include "tests/app/player_harness.h"

using ResidentMode = PlayerTest;

// Shows of normal.txt (100 ms ticks) from tray taps, until a resume plays the
// suspend list's missing file, whose box ends the program. That a resident
// start shows no window and the shown window plays the show are checked over
// real desktops by the x11 player tests and by the shell-fault test without a tray.
TEST_F(ResidentMode, TrayShowsEndByTheUserOrTheirDurationAndOnlyTheTrayStartsThem) {
  const struct {
    const char* what;
    int duration;          // 0: only the user ends it
    uint32_t boxAnswerMs;  // how long the box stays open
    const char* script;
    Ticks ticks;
  } rows[] = {
      {"a tap and Enter stop a show; the icon stays", 0, 0, "100:tray;350:tap:5:5;600:tray;850:key:13;1000:resume",
       {0, 1, 2, 0, 1, 2}},
      // The second resume comes while the box is open: no second start, no second box.
      {"a show at its duration returns to the tray", 2, 500, "100:tray;2000:tray;5000:resume;5300:resume",
       {0, 1, 2, 0, 1, 2}},
      {"close and suspend do nothing", 0, 0, "100:close;200:suspend;300:resume", {}},
      {"a plain second start only fronts the running show", 3, 0, "100:tray;250:second:0;2000:resume", {0, 1, 2, 3}},
  };
  onFrame = [](PlayerTest*) { EXPECT_EQ(host::trayIcons().size(), 1u) << "the icon stays while a show plays"; };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    freshProcess();
    writeSchedule("normal.txt", "missing.txt");
    writeShow("normal.txt", 100, row.duration);
    host::setMessageBoxAnswerDelay(row.boxAnswerMs);
    EXPECT_EQ(run(u"-s", row.script), 0);
    EXPECT_EQ(ticksOf(u"normal.txt"), row.ticks);
    EXPECT_EQ(boxTexts(), Boxes{kSettingsOpenFailed});
  }
  // The icon's record: id and callback message 0x465, flags NIF_MESSAGE | NIF_ICON | NIF_TIP, no tooltip.
  EXPECT_EQ(std::make_tuple(trayIconData.uID, trayIconData.uCallbackMessage, trayIconData.uFlags, trayIconData.szTip[0]),
            std::make_tuple(0x465u, 0x465u, 7u, char16_t(0)));
}

TEST_F(ResidentMode, ResumeStopsTheShowAndPlaysTheSuspendShow200MsLater) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("normal.txt", 100, 0);
  writeShow("wake.txt", 100, 2);
  // The second resume inside the 200 ms changes nothing; the suspend show ends at
  // its duration and the program stays resident until the last tray tap's show.
  EXPECT_EQ(run(u"-s", "100:tray;350:resume;450:resume;2000:suspend;3000:tray;3100:second:1"), 0);
  EXPECT_EQ(ticksOf(u"wake.txt"), (Ticks{0, 1, 2}));
  EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1, 2, 0, 1}))
      << "the resume stopped the first show; the last tray tap played it again";
  for (const FrameRecord& f : frames) {
    if (f.show == u"wake.txt" && f.tick == 0) {
      EXPECT_EQ(f.atMs, 550) << "200 ms after the first resume";
    }
  }
  EXPECT_EQ(host::powerSubscriptionCount(), 0) << "the watcher's subscription ended with the window";
}

TEST_F(ResidentMode, ListWithoutEntriesPlaysTheDefaultFile) {
  writeFile("schedule.ini", "@suspend\r\n\"missing.txt\"\r\n@\r\n");
  writeShow("default.txt", 100, 1);
  EXPECT_EQ(run(u"-s", "100:tray;1000:resume"), 0);
  EXPECT_EQ(ticksOf(u""), (Ticks{0, 1}));
}
