// Threads, events, waits, message queues and power notifications.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "platform/host/common/handle_table.h"
#include "platform/host/host_control.h"
#include "platform/host/threads/power_source.h"
#include "platform/host/threads/waitable.h"
#include "platform/platform.h"

namespace {

// A manual-reset event stays signalled until reset; an auto-reset event
// releases one wait, single or any, and resets; a wait for any gives the first
// signalled handle in array order.
TEST(Events, ManualResetStaysSignalledAutoResetReleasesOneWaitAndWaitAnyTakesTheFirst) {
  HANDLE m = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(EventModify(m, EVENT_PULSE));  // nobody waits: the pulse leaves it reset
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(EventModify(m, 99));
  HANDLE a = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE b = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE c = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(SetEvent(a));
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
  HANDLE set[3] = {a, b, c};
  SetEvent(c);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(3, set, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, set, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, set, FALSE, 0), WAIT_TIMEOUT);  // a too was reset by its wait
  for (HANDLE h : {a, b, c, m}) EXPECT_TRUE(CloseHandle(h));
}

TEST(Waits, BadHandlesAndArgumentsFailTheWait) {
  HANDLE e = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  CloseHandle(e);
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  HANDLE live = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  HANDLE set[2] = {live, live};
  EXPECT_EQ(WaitForMultipleObjects(2, set, TRUE, 0), WAIT_FAILED);  // wait-all is not the platform's
  EXPECT_EQ(WaitForMultipleObjects(0, set, FALSE, 0), WAIT_FAILED);
  HDC dc = CreateCompatibleDC(nullptr);  // a live handle that is not waitable
  EXPECT_EQ(WaitForSingleObject(static_cast<HANDLE>(dc), 0), WAIT_FAILED);
  DeleteDC(dc);
  CloseHandle(live);
}

// Waits for the first of its two events, then sets the second.
DWORD relayThread(LPVOID events) {
  HANDLE* e = static_cast<HANDLE*>(events);
  WaitForSingleObject(e[0], INFINITE);
  return SetEvent(e[1]) ? 0 : 1;
}

// A thread's handle is signalled when it ends, and stays so; closing the
// handle of a running thread detaches it and it runs on.
TEST(Threads, AThreadHandleIsSignalledWhenItEndsAndClosingItEarlyDetachesIt) {
  HANDLE events[4];  // go and done of the joined thread, then of the detached one
  for (HANDLE& e : events) e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, relayThread, events, 0, &id);
  HANDLE other = CreateThread(nullptr, 0, relayThread, events + 2, 0, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);  // held at its event
  EXPECT_TRUE(CloseHandle(other));                     // returns at once: the thread still waits
  SetEvent(events[2]);
  EXPECT_EQ(WaitForSingleObject(events[3], INFINITE), WAIT_OBJECT_0);  // and ran on
  SetEvent(events[0]);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);          // a thread stays signalled
  EXPECT_EQ(WaitForSingleObject(events[1], 0), WAIT_OBJECT_0);  // it ran to its end
  EXPECT_TRUE(CloseHandle(t));
  for (HANDLE e : events) CloseHandle(e);
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
}

DWORD pulseWaiter(LPVOID parameter) {
  return WaitForSingleObject(static_cast<HANDLE>(parameter), INFINITE) == WAIT_OBJECT_0 ? 0 : 1;
}

TEST(Events, APulseReleasesAThreadThatWaits) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, pulseWaiter, e, 0, nullptr);
  // Pulse until the waiter has been released: a pulse before it waits is lost.
  for (int i = 0; i < 200 && WaitForSingleObject(t, 0) == WAIT_TIMEOUT; ++i) {
    host::waitForOtherThreadsIdle(50);
    EventModify(e, EVENT_PULSE);
  }
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // left reset
  CloseHandle(t);
  CloseHandle(e);
}

MSGQUEUEOPTIONS queueOptions(DWORD records, DWORD bytes, BOOL read) {
  return MSGQUEUEOPTIONS{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_NOPRECOMMIT, records, bytes, read};
}

// The next record read from the queue with room bytes of room, and its flags;
// "failed" and the error left when the read fails.
using Record = std::pair<std::string, DWORD>;
Record readRecord(HANDLE queue, DWORD room = 536) {
  char out[536];
  DWORD got = 0, flags = 0;
  SetLastError(0);
  if (!ReadMsgQueue(queue, out, room, &got, 0, &flags)) return {"failed", GetLastError()};
  return {std::string(out, got), flags};
}

TEST(MessageQueues, LimitsOfRecordsAndSizesHoldAndBadOptionsAreRefused) {
  MSGQUEUEOPTIONS readSide = queueOptions(2, 8, TRUE);
  MSGQUEUEOPTIONS writeSide = queueOptions(2, 8, FALSE);
  HANDLE reader = CreateMsgQueue(u"limits", &readSide);
  HANDLE writer = CreateMsgQueue(u"limits", &writeSide);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  char bytes[16] = "abcdefghijklmno";
  EXPECT_FALSE(WriteMsgQueue(writer, bytes, 9, 0, 0));  // over cbMaxMessage
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WaitForSingleObject(reader, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(WriteMsgQueue(writer, bytes, 3, 0, 0));
  EXPECT_TRUE(WriteMsgQueue(writer, bytes + 3, 8, 0, MSGQUEUE_MSGALERT));
  EXPECT_FALSE(WriteMsgQueue(writer, bytes, 1, 0, 0));  // full: dwMaxMessages
  EXPECT_EQ(GetLastError(), DWORD(ERROR_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(reader, 0), WAIT_OBJECT_0);  // signalled while it holds a record
  EXPECT_EQ(WaitForSingleObject(writer, 0), WAIT_TIMEOUT);   // no room
  EXPECT_EQ(readRecord(writer).first, "failed");  // a write handle cannot read
  EXPECT_EQ(readRecord(reader), Record("abc", 0));
  EXPECT_EQ(readRecord(reader, 4), Record("failed", ERROR_INSUFFICIENT_BUFFER));  // too small: kept
  EXPECT_EQ(readRecord(reader), Record("defghijk", MSGQUEUE_MSGALERT));
  EXPECT_EQ(readRecord(reader), Record("failed", ERROR_TIMEOUT));  // empty
  EXPECT_TRUE(CloseMsgQueue(writer));
  EXPECT_TRUE(CloseHandle(reader));
  EXPECT_FALSE(CloseMsgQueue(reader));
  // Options of the wrong size, none, and records of no bytes are refused.
  readSide.dwSize = 12;
  EXPECT_EQ(CreateMsgQueue(nullptr, &readSide), nullptr);
  EXPECT_EQ(CreateMsgQueue(nullptr, nullptr), nullptr);
  readSide = queueOptions(4, 0, TRUE);
  EXPECT_EQ(CreateMsgQueue(nullptr, &readSide), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// A watcher thread that subscribes, waits on its queue and forwards what it
// reads: tests/host/wm_headless_test.cpp (AScriptRunsAtItsVirtualTimes...).
TEST(PowerNotifications, OnlyTheSubscribedTypesAreQueuedAndAFullQueueDrops) {
  host::resetPowerNotifications();
  MSGQUEUEOPTIONS o = queueOptions(2, 536, TRUE);
  HANDLE queue = CreateMsgQueue(nullptr, &o);
  HANDLE onlyResume = RequestPowerNotifications(queue, PBT_RESUME);
  ASSERT_NE(onlyResume, nullptr);
  EXPECT_FALSE(CloseHandle(onlyResume));  // not a kernel object
  host::injectPowerSuspend();
  EXPECT_EQ(WaitForSingleObject(queue, 0), WAIT_TIMEOUT);
  for (int i = 0; i < 3; ++i) host::injectPowerResume();
  for (int i = 0; i < 2; ++i) {  // the queue's limit
    std::string bytes = readRecord(queue).first;
    DWORD message = 0;  // POWER_BROADCAST's first field
    ASSERT_GE(bytes.size(), sizeof message);
    std::memcpy(&message, bytes.data(), sizeof message);
    EXPECT_EQ(message, PBT_RESUME);
  }
  EXPECT_EQ(readRecord(queue).first, "failed");
  EXPECT_TRUE(StopPowerNotifications(onlyResume));
  EXPECT_EQ(host::powerSubscriptionCount(), 0);
  EXPECT_FALSE(StopPowerNotifications(onlyResume));
  EXPECT_EQ(RequestPowerNotifications(nullptr, PBT_RESUME), nullptr);
  CloseMsgQueue(queue);
}

}  // namespace
