// The logind power source on a private system bus: which signals become power
// records, the subscription's connection, a bus that goes away, and no bus.
#include <gtest/gtest.h>

#include <cstring>

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
    MSGQUEUEOPTIONS o{};
    o.dwSize = sizeof o;
    o.dwFlags = MSGQUEUE_NOPRECOMMIT;
    o.dwMaxMessages = 4;
    o.cbMaxMessage = 536;
    o.bReadAccess = TRUE;
    queue = CreateMsgQueue(nullptr, &o);
    ASSERT_NE(queue, nullptr);
  }

  void TearDown() override {
    if (notifications != nullptr) StopPowerNotifications(notifications);
    if (queue != nullptr) CloseMsgQueue(queue);
    host::usePowerSource(nullptr);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }

  void subscribe() {
    notifications = RequestPowerNotifications(queue, PBT_TRANSITION | PBT_RESUME | PBT_POWERINFOCHANGE);
    ASSERT_NE(notifications, nullptr) << "error " << GetLastError();
  }

  // Waits (generously) for the next record; false when none comes.
  bool nextRecord(POWER_BROADCAST* record) {
    if (WaitForSingleObject(queue, 20000) != WAIT_OBJECT_0) return false;
    return readNow(record);
  }

  bool readNow(POWER_BROADCAST* record) {
    uint8_t buffer[536];
    DWORD got = 0, flags = 0;
    if (!ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, &flags)) return false;
    std::memcpy(record, buffer, sizeof *record);
    return true;
  }
};

TEST_F(LogindSource, LogindsSignalsBecomeSuspendAndResumeRecordsInOrder) {
  subscribe();
  sd_bus* logind = dbustest::connectAsLogind(bus.address);
  ASSERT_NE(logind, nullptr);
  ASSERT_TRUE(dbustest::emitPrepareForSleep(logind, true));
  ASSERT_TRUE(dbustest::emitPrepareForSleep(logind, false));
  ASSERT_TRUE(dbustest::emitPrepareForSleep(logind, false));
  POWER_BROADCAST record{};
  ASSERT_TRUE(nextRecord(&record));
  EXPECT_EQ(record.Message, DWORD(PBT_TRANSITION));
  EXPECT_EQ(record.Flags, DWORD(POWER_STATE_SUSPEND));
  ASSERT_TRUE(nextRecord(&record));
  EXPECT_EQ(record.Message, DWORD(PBT_RESUME));
  EXPECT_EQ(record.Flags & POWER_STATE_SUSPEND, 0u);
  ASSERT_TRUE(nextRecord(&record)) << "each resume is a record of its own";
  EXPECT_EQ(record.Message, DWORD(PBT_RESUME));
  sd_bus_flush_close_unref(logind);
}

TEST_F(LogindSource, TheSameSignalFromAnotherConnectionIsIgnored) {
  subscribe();
  sd_bus* impostor = dbustest::connect(bus.address);
  sd_bus* logind = dbustest::connectAsLogind(bus.address);
  ASSERT_NE(impostor, nullptr);
  ASSERT_NE(logind, nullptr);
  ASSERT_TRUE(dbustest::emitPrepareForSleep(impostor, false));
  ASSERT_TRUE(dbustest::emitPrepareForSleep(impostor, true));
  // Once the bus has answered the impostor, its signals were routed, and
  // anything of them that reached the source came before logind's.
  ASSERT_TRUE(dbustest::roundTrip(impostor));
  ASSERT_TRUE(dbustest::emitPrepareForSleep(logind, false));
  POWER_BROADCAST record{};
  ASSERT_TRUE(nextRecord(&record));
  EXPECT_EQ(record.Message, DWORD(PBT_RESUME));
  EXPECT_EQ(record.Flags, 0u);
  EXPECT_FALSE(readNow(&record)) << "only logind's one signal was queued";
  sd_bus_flush_close_unref(impostor);
  sd_bus_flush_close_unref(logind);
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
  sd_bus* logind = dbustest::connectAsLogind(bus.address);
  ASSERT_NE(logind, nullptr);
  ASSERT_TRUE(dbustest::emitPrepareForSleep(logind, false));
  POWER_BROADCAST record{};
  ASSERT_TRUE(nextRecord(&record));
  EXPECT_EQ(record.Message, DWORD(PBT_RESUME));
  sd_bus_flush_close_unref(logind);
  sd_bus_flush_close_unref(observer);
}

TEST_F(LogindSource, ABusThatGoesAwayEndsTheSourceQuietly) {
  subscribe();
  bus.stop();
  // The subscription still ends cleanly, and the other deliveries still work.
  host::deliverResume();
  POWER_BROADCAST record{};
  ASSERT_TRUE(nextRecord(&record));
  EXPECT_EQ(record.Message, DWORD(PBT_RESUME));
  EXPECT_TRUE(StopPowerNotifications(notifications));
  notifications = nullptr;
  EXPECT_EQ(host::powerSubscriptionCount(), 0);
}

TEST_F(LogindSource, NoBusFailsTheSubscriptionWithAnErrorCode) {
  bus.stop();
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + bus.dir + "/bus").c_str(), 1);
  SetLastError(0);
  EXPECT_EQ(RequestPowerNotifications(queue, PBT_RESUME), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(host::powerSubscriptionCount(), 0);
  // The bus back: the next subscription succeeds.
  ASSERT_TRUE(bus.start());
  setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.c_str(), 1);
  subscribe();
}

}  // namespace
