// The resident player with logind's power source on a private system bus:
// logind's PrepareForSleep and wake-up play the @suspend show 200 ms later.
// What the source makes of logind's signals, of a bus that goes away and of no
// bus is checked by the host's logind tests; what the player makes of resumes
// and of a refused subscription, by the resident-mode and shell-fault tests.
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
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    PlayerTest::TearDown();
  }
};

TEST_F(LogindResume, LogindsSleepThenWakeUpPlaysTheSuspendShow200MsLater) {
  writeSchedule("normal.txt", "wake.txt");
  writeShow("wake.txt", 100, 0);
  std::string address = bus.address;
  peer = std::thread([address] {
    // Once the player's watcher has subscribed (and so is matched on the bus).
    bool subscribed = dbustest::eventually([] { return host::powerSubscriptionCount() == 1; });
    sd_bus* logind = subscribed ? dbustest::connectAsLogind(address) : nullptr;
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

}  // namespace
