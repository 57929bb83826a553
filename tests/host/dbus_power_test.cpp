// The logind power source on a private system bus: which signals become power
// records, the subscription's connection, a bus that goes away, and no bus.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "platform/host/threads/power_source.h"
#include "platform/platform.h"
#include "tests/host/dbus_test_bus.h"

namespace {

class LogindSource : public ::testing::Test {
 protected:
  dbustest::PrivateBus bus;
  HANDLE queue = nullptr;
  HANDLE notifications = nullptr;

  void SetUp() override {
    ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.c_str(), 1);
    host::resetPowerNotifications();
    host::usePowerSource(&host::logindPowerSource);
    MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_NOPRECOMMIT, 4, 536, TRUE};
    queue = CreateMsgQueue(nullptr, &o);
    ASSERT_NE(queue, nullptr);
  }

  void TearDown() override {
    if (logind != nullptr) sd_bus_flush_close_unref(logind);
    if (notifications != nullptr) StopPowerNotifications(notifications);
    if (queue != nullptr) CloseMsgQueue(queue);
    host::usePowerSource(nullptr);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }

  void subscribe() {
    notifications = RequestPowerNotifications(queue, PBT_TRANSITION | PBT_RESUME | PBT_POWERINFOCHANGE);
    ASSERT_NE(notifications, nullptr) << "error " << GetLastError();
  }

  // Emits PrepareForSleep once for each value from a connection owning
  // logind's name, made on first use.
  void emitAsLogind(std::initializer_list<bool> sleeping) {
    if (logind == nullptr) logind = dbustest::connectAsLogind(bus.address);
    ASSERT_NE(logind, nullptr);
    for (bool s : sleeping) ASSERT_TRUE(dbustest::emitPrepareForSleep(logind, s));
  }

  // The next record's message and flags, waiting (generously) when wait is
  // set; {0, 0} when none comes.
  std::pair<DWORD, DWORD> next(bool wait = true) {
    uint8_t buffer[536];
    DWORD got = 0, flags = 0;
    if (wait && WaitForSingleObject(queue, 20000) != WAIT_OBJECT_0) return {0, 0};
    if (!ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, &flags)) return {0, 0};
    POWER_BROADCAST record;
    std::memcpy(&record, buffer, sizeof record);
    return {record.Message, record.Flags};
  }

  sd_bus* logind = nullptr;
};

const std::pair<DWORD, DWORD> kSuspend{PBT_TRANSITION, POWER_STATE_SUSPEND}, kResume{PBT_RESUME, 0}, kNone{0, 0};

// Logind's signals become suspend and resume records in order, each resume a
// record of its own; the same signal from another connection is ignored.
TEST_F(LogindSource, LogindsSignalsBecomeRecordsInOrderAndAnImpostorsAreIgnored) {
  subscribe();
  emitAsLogind({});  // logind's name is owned before the impostor speaks
  sd_bus* impostor = dbustest::connect(bus.address);
  ASSERT_NE(impostor, nullptr);
  ASSERT_TRUE(dbustest::emitPrepareForSleep(impostor, false));
  ASSERT_TRUE(dbustest::emitPrepareForSleep(impostor, true));
  // Once the bus has answered the impostor, its signals were routed, and
  // anything of them that reached the source came before logind's.
  ASSERT_TRUE(dbustest::roundTrip(impostor));
  emitAsLogind({true, false, false});
  EXPECT_EQ(next(), kSuspend);
  EXPECT_EQ(next(), kResume);
  EXPECT_EQ(next(), kResume) << "each resume is a record of its own";
  EXPECT_EQ(next(false), kNone) << "only logind's signals were queued";
  sd_bus_flush_close_unref(impostor);
}

TEST_F(LogindSource, TheConnectionLivesExactlyWhileSomeoneIsSubscribed) {
  sd_bus* observer = dbustest::connect(bus.address);
  ASSERT_NE(observer, nullptr);
  int alone = dbustest::connectionCount(observer);
  ASSERT_GE(alone, 1);
  subscribe();
  EXPECT_EQ(dbustest::connectionCount(observer), alone + 1);
  ASSERT_TRUE(StopPowerNotifications(notifications));
  notifications = nullptr;
  EXPECT_TRUE(dbustest::eventually([&] { return dbustest::connectionCount(observer) == alone; }));
  // A later subscription connects again and hears logind.
  subscribe();
  emitAsLogind({false});
  EXPECT_EQ(next(), kResume);
  sd_bus_flush_close_unref(observer);
}

// A bus that goes away ends the subscription's source quietly; with no bus a
// subscription fails with an error code, until the bus is back.
TEST_F(LogindSource, ABusThatGoesAwayEndsTheSourceQuietlyAndNoBusFailsTheSubscription) {
  subscribe();
  bus.stop();
  // The subscription still ends cleanly, and the other deliveries still work.
  host::deliverResume();
  EXPECT_EQ(next(), kResume);
  EXPECT_TRUE(StopPowerNotifications(notifications));
  notifications = nullptr;
  EXPECT_EQ(host::powerSubscriptionCount(), 0);
  SetLastError(0);
  EXPECT_EQ(RequestPowerNotifications(queue, PBT_RESUME), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(host::powerSubscriptionCount(), 0);
  ASSERT_TRUE(bus.start());
  setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.c_str(), 1);
  subscribe();
}

}  // namespace
