// Faults of the device around the player, end to end on the headless host: a
// power source that refuses the subscription, a power watcher that cannot make
// its queue, and a shell without a tray. In each the program stays resident
// and plays what it is asked to.
#include "tests/app/player_harness.h"

using ShellFaults = PlayerTest;

namespace {

const host::PowerSource refusingPowerSource = {"refusing", [] { return false; }, [] {}};

}  // namespace

TEST_F(ShellFaults, APowerWatcherThatCannotSubscribePrintsItsDebugLineAndTheProgramStaysResident) {
  // Hexadecimal error codes: ERROR_SERVICE_NOT_ACTIVE (1062), ERROR_OUTOFMEMORY (14).
  struct Case {
    const char* what;
    bool refuseSubscription;
    DWORD queueError;
    const char* line;
    const char* notPrinted;
  };
  const Case cases[] = {
      {"a refused subscription", true, 0, "RequestPowerNotifications failed: 426\n", "CreateMsgQueue failed"},
      {"no queue", false, ERROR_OUTOFMEMORY, "CreateMsgQueue failed: e\n", "RequestPowerNotifications failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    startOver();
    writeSchedule("normal.txt", "wake.txt");
    writeShow("normal.txt", 100, 0);
    writeShow("wake.txt", 100, 0);
    if (c.refuseSubscription) host::usePowerSource(&refusingPowerSource);
    host::failMsgQueueCreation(c.queueError);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run(u"-s", "100:resume;500:tray;650:tap:5:5;1000:resume;1500:second:1"), 0);
    std::string debug = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(debug.find(c.line), std::string::npos) << debug;
    EXPECT_EQ(debug.find(c.notPrinted), std::string::npos) << debug;
    EXPECT_TRUE(ticksOf(u"wake.txt").empty()) << "no resume reaches the program";
    EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1})) << "the tray still plays its show";
    EXPECT_EQ(boxTexts(), Boxes{kLeaving});  // and run() saw the watcher close what it made
  }
}

TEST_F(ShellFaults, WithoutATrayTheProgramStaysResidentAndASecondStartPlaysTheShow) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("normal.txt", 100, 0);
  writeShow("wake.txt", 100, 2);
  host::setTrayPresent(false);
  static int frameAt300;
  frameAt300 = 0;
  onFrame = [](PlayerTest* t) {
    if (t->frames.back().atMs == 300) frameAt300 = host::windowIsShown(mainWindow) ? 1 : -1;
  };
  EXPECT_EQ(run(u"-s", "100:tray;300:second:0;450:tap:5:5;1000:resume;2000:second:1"), 0);
  EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1})) << "the plain second start played the normal show";
  EXPECT_EQ(frameAt300, 1) << "in the shown window";
  EXPECT_EQ(ticksOf(u"wake.txt"), (Ticks{0, 1, 2})) << "the resume played the suspend show";
  EXPECT_EQ(boxTexts(), Boxes{kLeaving});
}
