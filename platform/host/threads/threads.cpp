// Threads, events and the waits on them (see waitable.h for the invariant).
//
// A thread handle is signalled once its entry has returned. Closing the handle
// of a thread that has ended joins it; closing one that still runs detaches
// it (the platform lets a thread outlive its handle), and the thread then
// keeps only its own shared state alive.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/host/threads/waitable.h"
#include "platform/runtime.h"
#include "platform/threads.h"

namespace host {
namespace {

constexpr DWORD kCreateSuspended = 0x00000004u;  // not supported by the host

struct WaitRecord {
  const std::function<bool()>* ready;
  bool hostThread;
};

struct WaitState {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<WaitRecord*> active;  // waits in progress
  int runningHostThreads = 0;       // made by CreateThread and not yet ended
};

WaitState& waits() {
  static WaitState* instance = new WaitState;  // detached threads may use it until the very end
  return *instance;
}

thread_local bool isHostThread = false;
std::atomic<DWORD> nextThreadId{1};

struct Event : Waitable {
  static constexpr ObjectKind kKind = ObjectKind::Event;
  Event() : Waitable(kKind) {}
  ~Event() override { std::lock_guard<std::mutex> guard(waitLock()); }
  bool signalled() const override { return set; }
  void consume() override {
    if (!manualReset) set = false;
  }
  bool manualReset = false;
  bool set = false;
};

struct ThreadState {
  bool finished = false;
  DWORD exitCode = 0;
};

struct ThreadObject : Waitable {
  static constexpr ObjectKind kKind = ObjectKind::Thread;
  ThreadObject() : Waitable(kKind) {}
  ~ThreadObject() override {
    bool finished;
    {
      std::lock_guard<std::mutex> guard(waitLock());
      finished = state->finished;
    }
    if (!thread.joinable()) return;
    if (finished && thread.get_id() != std::this_thread::get_id()) {
      thread.join();  // its entry has returned: only the exit is left
    } else {
      thread.detach();
    }
  }
  bool signalled() const override { return state->finished; }
  std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
  std::thread thread;
};

// Runs a thread's entry and marks it ended.
void runThread(std::shared_ptr<ThreadState> state, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
  isHostThread = true;
  DWORD code = start(parameter);
  std::lock_guard<std::mutex> guard(waitLock());
  state->finished = true;
  state->exitCode = code;
  --waits().runningHostThreads;
  notifyWaiters();
}

// Under the lock: no thread made by CreateThread but the caller can run now.
bool otherThreadsIdle() {
  WaitState& w = waits();
  int others = w.runningHostThreads - (isHostThread ? 1 : 0);
  if (others <= 0) return true;
  int blocked = 0;
  for (const WaitRecord* r : w.active) {
    if (r->hostThread && !(*r->ready)()) ++blocked;
  }
  // The caller's own wait is never in progress while it asks.
  return blocked >= others;
}

// Under the lock: whether the object at index can end the wait that began at
// generation, and takes it if so.
bool takeSignal(Waitable* object, uint64_t generation) {
  if (object->signalled()) {
    object->consume();
    return true;
  }
  if (object->pulseGeneration != generation && object->pulseTickets > 0) {
    --object->pulseTickets;
    return true;
  }
  return false;
}

// EVENT_PULSE: releases the waiters of the moment (one for an auto-reset
// event, all for a manual one) and leaves the event reset.
void pulse(Event* e) {
  e->set = false;
  if (e->waiters == 0) return;
  ++e->pulseGeneration;
  e->pulseTickets = e->manualReset ? e->waiters : 1;
}

}  // namespace

std::mutex& waitLock() { return waits().lock; }

void notifyWaiters() { waits().changed.notify_all(); }

Waitable* lookupWaitable(const void* handle) {
  Object* o = lookupObject(handle);
  if (o == nullptr) return nullptr;
  if (o->kind != ObjectKind::Event && o->kind != ObjectKind::Thread && o->kind != ObjectKind::MsgQueue) return nullptr;
  return static_cast<Waitable*>(o);
}

bool waitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready, DWORD timeoutMs) {
  if (ready()) return true;
  if (timeoutMs == 0) return false;
  WaitState& w = waits();
  WaitRecord record{&ready, isHostThread};
  w.active.push_back(&record);
  notifyWaiters();  // a thread that is idle-waiting may now see everyone blocked
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool result = true;
  while (!ready()) {
    if (timeoutMs == INFINITE) {
      w.changed.wait(lock);
    } else if (w.changed.wait_until(lock, deadline) == std::cv_status::timeout && !ready()) {
      result = false;
      break;
    }
  }
  w.active.erase(std::find(w.active.begin(), w.active.end(), &record));
  notifyWaiters();
  return result;
}

int waitForAny(std::unique_lock<std::mutex>& lock, const HANDLE* handles, DWORD count, DWORD timeoutMs) {
  std::vector<uint64_t> generations(count);
  for (DWORD i = 0; i < count; ++i) {
    Waitable* object = lookupWaitable(handles[i]);
    if (object == nullptr) return kWaitBadHandle;
    generations[i] = object->pulseGeneration;
    ++object->waiters;
  }
  int outcome = kWaitTimedOut;
  auto check = [&]() {
    for (DWORD i = 0; i < count; ++i) {
      Waitable* object = lookupWaitable(handles[i]);
      if (object == nullptr) {
        outcome = kWaitBadHandle;
        return true;
      }
      if (object->signalled() || (object->pulseGeneration != generations[i] && object->pulseTickets > 0)) {
        outcome = int(i);
        return true;
      }
    }
    return false;
  };
  bool ended = waitUntil(lock, check, timeoutMs);
  for (DWORD i = 0; i < count; ++i) {
    if (Waitable* object = lookupWaitable(handles[i])) --object->waiters;
  }
  if (!ended) return kWaitTimedOut;
  if (outcome >= 0) takeSignal(lookupWaitable(handles[outcome]), generations[size_t(outcome)]);
  return outcome;
}

void waitForOtherThreadsIdle(int boundMs) {
  WaitState& w = waits();
  std::unique_lock<std::mutex> lock(w.lock);
  if (otherThreadsIdle()) return;
  w.changed.wait_for(lock, std::chrono::milliseconds(boundMs), otherThreadsIdle);
}

}  // namespace host

using namespace host;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, DWORD stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
  (void)attributes;
  (void)stackSize;  // the host's default stack is larger than any the device gives
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((flags & kCreateSuspended) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  ThreadObject* t = new ThreadObject;
  {
    std::lock_guard<std::mutex> guard(waitLock());
    ++waits().runningHostThreads;
  }
  try {
    t->thread = std::thread(runThread, t->state, start, parameter);
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> guard(waitLock());
      --waits().runningHostThreads;
      notifyWaiters();
    }
    delete t;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId != nullptr) *threadId = nextThreadId++;
  return registerObject(t);
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  (void)attributes;
  (void)name;  // named events are not shared between processes on the host
  Event* e = new Event;
  e->manualReset = manualReset != FALSE;
  e->set = initialState != FALSE;
  return registerObject(e);
}

BOOL EventModify(HANDLE event, DWORD function) {
  std::lock_guard<std::mutex> guard(waitLock());
  Object* o = lookupObject(event);
  if (o == nullptr || o->kind != ObjectKind::Event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Event* e = static_cast<Event*>(o);
  switch (function) {
    case EVENT_SET: e->set = true; break;
    case EVENT_RESET: e->set = false; break;
    case EVENT_PULSE: pulse(e); break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  notifyWaiters();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || objects == nullptr || waitAll != FALSE) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the platform waits for any one only
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> lock(waitLock());
  int outcome = waitForAny(lock, objects, count, milliseconds);
  if (outcome == kWaitTimedOut) return WAIT_TIMEOUT;
  if (outcome == kWaitBadHandle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WAIT_OBJECT_0 + DWORD(outcome);
}
