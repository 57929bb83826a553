// The resident player with logind's power source on a private system bus:
// logind's PrepareForSleep plays the @suspend show, a bus that goes away leaves
// the player resident, and no bus leaves it resident with its debug line.
#include <thread>

#include "platform/host/threads/power_source.h"
#include "tests/app/player_harness.h"
#include "tests/host/dbus_test_bus.h"

namespace {

class LogindResume : public PlayerTest {
 protected:
  dbustest::PrivateBus bus;
  std::thread peer;

  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.c_str(), 1);
    host::usePowerSource(&host::logindPowerSource);
  }

  void TearDown() override {
    if (peer.joinable()) peer.join();
    host::usePowerSource(nullptr);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    PlayerTest::TearDown();
  }

  // Waits until the player's watcher has subscribed (and so is matched on the
  // bus); false when it never does.
  static bool watcherSubscribed() {
    return dbustest::eventually([] { return host::powerSubscriptionCount() == 1; });
  }
};

TEST_F(LogindResume, LogindsSleepThenWakeUpPlaysTheSuspendShow200MsLater) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("wake.txt", 100, 0);
  std::string address = bus.address;
  peer = std::thread([address] {
    sd_bus* logind = watcherSubscribed() ? dbustest::connectAsLogind(address) : nullptr;
    bool sent = logind != nullptr && dbustest::emitPrepareForSleep(logind, true) &&
                dbustest::emitPrepareForSleep(logind, false);
    sd_bus_flush_close_unref(logind);
    EXPECT_TRUE(sent);
    if (!sent) endRunFromPeer();
  });
  // Nothing else is scheduled, so the virtual clock stands still at 0 until
  // the resume arrives; the third frame ends the resident run.
  endAtFrame = 3;
  EXPECT_EQ(run(u"-s"), 0);
  ASSERT_EQ(frames.size(), 3u);
  for (const FrameRecord& f : frames) EXPECT_EQ(f.show, u"wake.txt");
  EXPECT_EQ(frames[0].atMs, 200) << "200 ms after the resume";
  EXPECT_EQ(host::powerSubscriptionCount(), 0) << "the watcher's subscription ended with the window";
}

// On the real clock: both signals leave logind's connection in one write, so
// they arrive well within 200 ms of each other however the virtual clock would
// have moved between their deliveries.
TEST_F(LogindResume, TwoResumesWithin200MsStartOneShow) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("wake.txt", 50, 0);
  std::string address = bus.address;
  peer = std::thread([address] {
    sd_bus* logind = watcherSubscribed() ? dbustest::connectAsLogind(address) : nullptr;
    bool sent = logind != nullptr &&
                sd_bus_emit_signal(logind, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                   "PrepareForSleep", "b", 0) >= 0 &&
                dbustest::emitPrepareForSleep(logind, false);
    sd_bus_flush_close_unref(logind);
    EXPECT_TRUE(sent);
    if (!sent) endRunFromPeer();
  });
  // A second start of the show would begin again at tick 0 within these frames.
  endAtFrame = 6;
  host::clockUseReal();
  EXPECT_EQ(run(u"-s"), 0);
  EXPECT_EQ(ticksOf(u"wake.txt"), (Ticks{0, 1, 2, 3, 4, 5}));
}

TEST_F(LogindResume, TheBusGoingAwayLeavesThePlayerResident) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("wake.txt", 100, 0);
  peer = std::thread([this] {
    if (!watcherSubscribed()) {
      ADD_FAILURE() << "the watcher never subscribed";
      endRunFromPeer();
      return;
    }
    bus.stop();
    // The player still answers a resume that reaches its subscription.
    host::deliverResume();
  });
  endAtFrame = 3;
  EXPECT_EQ(run(u"-s"), 0);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].show, u"wake.txt");
}

TEST_F(LogindResume, NoBusPrintsTheFailureAndThePlayerStaysResident) {
  bus.stop();
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + bus.dir + "/bus").c_str(), 1);
  writeSchedule("normal.txt", "wake.txt");
  writeShow("normal.txt", 100, 0);
  testing::internal::CaptureStderr();
  endAtFrame = 3;
  EXPECT_EQ(run(u"-s", "500:tray"), 0);
  std::string console = testing::internal::GetCapturedStderr();
  EXPECT_NE(console.find("RequestPowerNotifications failed: 426\n"), std::string::npos) << console;
  ASSERT_EQ(frames.size(), 3u) << "the tray tap still plays the normal show";
  EXPECT_EQ(frames[0].show, u"normal.txt");
  EXPECT_EQ(frames[0].atMs, 500);
}

}  // namespace
