// Waitable kernel objects (events, threads, message queues) and the one wait
// they share: a process-wide mutex and condition variable, no polling.
//
// Invariant: a waitable's state is read and changed only under waitLock(), and
// every change is followed by notifyWaiters(). A waiter looks its handles up
// again each time it wakes, and every waitable's destructor takes waitLock()
// first, so an object closed while another thread waits on it is never used
// after it is freed (the waiter then sees a bad handle). Timeouts are measured
// on the machine's real clock even when the host clock is virtual; INFINITE
// and 0 are the only timeouts the system uses.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/host/common/handle_table.h"
#include "platform/types.h"

namespace host {

std::mutex& waitLock();
// Wakes every waiter to look again; the caller holds waitLock().
void notifyWaiters();

struct Waitable : Object {
  using Object::Object;
  // Under waitLock(): whether a wait on it would end now.
  virtual bool signalled() const = 0;
  // Under waitLock(): a wait ended because of it (an auto-reset event resets).
  virtual void consume() {}
  // EVENT_PULSE: waiters that began before pulseGeneration changed may take
  // one of pulseTickets.
  uint64_t pulseGeneration = 0;
  int pulseTickets = 0;
  int waiters = 0;
};

// The waitable a handle names, or null; the caller holds waitLock().
Waitable* lookupWaitable(const void* handle);

// The result of waitUntil and waitForAny beyond an index.
constexpr int kWaitTimedOut = -1;
constexpr int kWaitBadHandle = -2;

// Sleeps (lock held on entry and on return) until ready() says yes or the
// timeout (real ms, INFINITE: none) passes; true when ready. ready is asked
// under the lock, also by waitForOtherThreadsIdle to tell a blocked thread.
bool waitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready, DWORD timeoutMs);

// Waits for the first signalled of the handles (array order), consuming it:
// its index, kWaitTimedOut or kWaitBadHandle. The lock is held on entry.
int waitForAny(std::unique_lock<std::mutex>& lock, const HANDLE* handles, DWORD count, DWORD timeoutMs);

// Waits up to boundMs of real time until every thread made by CreateThread,
// other than the caller, has ended or is blocked in a wait that nothing has
// signalled yet. The virtual clock calls this before it moves, so what other
// threads do in answer to an event happens at a definite virtual time.
void waitForOtherThreadsIdle(int boundMs);

// ---- message queues (msg_queue.cpp) ----

// Appends a record to the queue behind a handle of either access, without
// waiting: false when the handle is no queue, the record is too big or the
// queue is full. Thread-safe; the power source writes through it.
bool writeQueueRecord(HANDLE queue, const void* data, DWORD size, DWORD flags);
bool isMsgQueue(HANDLE queue);

}  // namespace host
