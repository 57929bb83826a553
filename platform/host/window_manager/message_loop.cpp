// The message queue and loop: posting, the order in which messages are
// retrieved, window timers, and the wait between messages.
//
// Invariant: the posted queue holds only messages for windows that accept
// posts (or thread messages), at most kMaxPostedMessages of them. WM_PAINT and
// WM_TIMER are never queued: they are made when the loop finds nothing posted,
// so a timer has at most one WM_TIMER pending and its next due time is the
// last due time plus its period (skipping whole periods the loop was late for,
// never a burst). NOTE: a window whose WM_PAINT left it invalid is not made
// another WM_PAINT by the loop until some other message was retrieved or the
// window is invalidated again, so a paint handler that does not validate never
// spins the loop (the platform would spin). The posted queue is thread-safe
// (one mutex, an eventfd to wake the loop); timers belong to the UI thread.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <deque>
#include <mutex>
#include <unordered_set>

#include "platform/host/runtime/host_clock.h"
#include "platform/host/shell/status_notifier.h"
#include "platform/host/threads/waitable.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/runtime.h"

namespace host {
namespace {

// The platform's per-queue limit: a post beyond it fails.
constexpr size_t kMaxPostedMessages = 10000;
// How long (real ms) the virtual clock waits for other threads to settle.
constexpr int kIdleBoundMs = 250;

struct Timer {
  HWND window;
  uintptr_t id;
  int64_t period;
  int64_t due;
  TIMERPROC proc;
  uint64_t serial;  // order of setting: earlier timers fire first on a tie
};

struct Queue {
  std::mutex lock;  // guards posted, accepting, quit*
  std::deque<MSG> posted;
  std::unordered_set<HWND> accepting;
  bool quitPending = false;
  int quitCode = 0;
  uint64_t posts = 0;  // every post counts, so a wait can tell a new one from a filtered old one
  int wakeFd = -1;
  // UI thread only:
  uint64_t postsSeen = 0;  // posts when the loop last looked at the queue
  std::vector<Timer> timers;
  uint64_t nextSerial = 1;
  uintptr_t nextThreadTimerId = 1;
};

Queue& queue() {
  static Queue* instance = [] {
    Queue* q = new Queue;  // never destroyed: other threads may post until the end
    q->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return q;
  }();
  return *instance;
}

bool inFilter(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = window;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  return m;
}

// Another message was retrieved: windows that declined their paint get the next chance.
void clearDeclinedPaints() {
  for (HWND handle : windowStack()) {
    if (Window* w = localWindow(handle)) w->paintDeclined = false;
  }
}

// Empties the wake counter.
void drainWakeFd() {
  uint64_t count;
  while (read(queue().wakeFd, &count, sizeof count) > 0) {
  }
}

// Polls the wake descriptor, the backend's, the other instances' sockets and
// the session-bus connections for up to timeoutMs (-1: no limit), then serves
// what is readable.
void pollOnce(int timeoutMs) {
  std::vector<pollfd> fds;
  fds.push_back(pollfd{queue().wakeFd, POLLIN, 0});
  int backendFd = backend().eventFd();
  if (backendFd >= 0) fds.push_back(pollfd{backendFd, POLLIN, 0});
  int64_t deadline = kNever;
  addInstancePollFds(&fds, &deadline);
  addStatusNotifierPollFds(&fds, &deadline);
  if (deadline != kNever) {
    int64_t left = std::max<int64_t>(0, deadline - realMonotonicMs());
    if (timeoutMs < 0 || left < timeoutMs) timeoutMs = int(std::min<int64_t>(left, INT_MAX));
  }
  while (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno == EINTR) {
  }
  drainWakeFd();
  serviceOtherInstances(fds);
  serviceStatusNotifier();
}

bool takePosted(MSG* out, HWND filter, UINT filterMin, UINT filterMax) {
  Queue& q = queue();
  std::lock_guard<std::mutex> guard(q.lock);
  q.postsSeen = q.posts;
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if ((filter == nullptr || it->hwnd == filter) && inFilter(it->message, filterMin, filterMax)) {
      *out = *it;
      q.posted.erase(it);
      return true;
    }
  }
  return false;
}

// Whether something was posted since the loop last looked.
bool postedSinceLastLook() {
  Queue& q = queue();
  std::lock_guard<std::mutex> guard(q.lock);
  return q.posts != q.postsSeen;
}

// The topmost shown window that needs painting and has not declined it.
HWND windowToPaint(HWND filter) {
  const std::vector<HWND>& s = windowStack();
  for (auto it = s.rbegin(); it != s.rend(); ++it) {
    Window* w = localWindow(*it);
    if (w == nullptr || w->destroying || !w->visible() || !w->invalid || w->paintDeclined) continue;
    if (filter == nullptr || filter == *it) return *it;
  }
  return nullptr;
}

// The due timer to fire next (earliest due, then earliest set), or null.
Timer* dueTimer(HWND filter, int64_t now) {
  Timer* best = nullptr;
  for (Timer& t : queue().timers) {
    if (t.due > now || (filter != nullptr && t.window != filter)) continue;
    if (best == nullptr || t.due < best->due || (t.due == best->due && t.serial < best->serial)) best = &t;
  }
  return best;
}

// The timer fired at now: its next due time is on its own grid after now.
void advanceTimer(Timer* t, int64_t now) {
  int64_t next = t->due + t->period;
  if (next <= now) next += ((now - next) / t->period + 1) * t->period;
  t->due = next;
}

int64_t nextTimerDue() {
  int64_t next = kNever;
  for (const Timer& t : queue().timers) next = std::min(next, t.due);
  return next;
}

Timer* findTimer(HWND window, uintptr_t id) {
  for (Timer& t : queue().timers) {
    if (t.window == window && t.id == id) return &t;
  }
  return nullptr;
}

// A fresh id for a timer without a window.
uintptr_t newThreadTimerId() {
  Queue& q = queue();
  while (q.nextThreadTimerId == 0 || findTimer(nullptr, q.nextThreadTimerId) != nullptr) ++q.nextThreadTimerId;
  return q.nextThreadTimerId++;
}

// The character a key makes, or 0 for a key that makes none.
WPARAM characterOfKey(WPARAM vk) {
  if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_SPACE || vk == 0x08 || vk == 0x09) return vk;
  if (vk >= '0' && vk <= '9') return vk;
  if (vk >= 'A' && vk <= 'Z') return vk + 32;
  return 0;
}

}  // namespace

int64_t realMonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void wakeMessageLoop() {
  uint64_t one = 1;
  ssize_t written = write(queue().wakeFd, &one, sizeof one);
  (void)written;  // a full counter already wakes the loop
}

void acceptPostsFor(HWND window) {
  Queue& q = queue();
  std::lock_guard<std::mutex> guard(q.lock);
  q.accepting.insert(window);
}

void forgetWindowMessages(HWND window) {
  Queue& q = queue();
  {
    std::lock_guard<std::mutex> guard(q.lock);
    q.accepting.erase(window);
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), [&](const MSG& m) { return m.hwnd == window; }),
                   q.posted.end());
  }
  q.timers.erase(
      std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.window == window; }),
      q.timers.end());
}

bool postToQueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Queue& q = queue();
  {
    std::lock_guard<std::mutex> guard(q.lock);
    if (window != nullptr && q.accepting.count(window) == 0) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return false;
    }
    if (q.posted.size() >= kMaxPostedMessages) {
      SetLastError(ERROR_NOT_ENOUGH_QUOTA);
      return false;
    }
    q.posted.push_back(makeMessage(window, message, wParam, lParam));
    ++q.posts;
  }
  wakeMessageLoop();
  return true;
}

Ready takeReadyMessage(MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool takeQuit) {
  pollOnce(0);
  backend().pumpEvents(clockNowMs());
  // With the virtual clock, other threads first finish what they were woken
  // for, so what they post lands at a definite virtual time.
  if (clockIsVirtual()) waitForOtherThreadsIdle(kIdleBoundMs);
  if (takePosted(out, filter, filterMin, filterMax)) {
    clearDeclinedPaints();
    return Ready::Message;
  }
  Queue& q = queue();
  {
    std::lock_guard<std::mutex> guard(q.lock);
    if (q.quitPending) {
      if (!takeQuit) return Ready::QuitPending;
      q.quitPending = false;
      *out = makeMessage(nullptr, WM_QUIT, WPARAM(q.quitCode), 0);
      return Ready::Quit;
    }
  }
  if (inFilter(WM_PAINT, filterMin, filterMax)) {
    if (HWND paint = windowToPaint(filter)) {
      // Until another message or an invalidation clears it; if the handler
      // validates, the window is simply no longer invalid.
      localWindow(paint)->paintDeclined = true;
      *out = makeMessage(paint, WM_PAINT, 0, 0);
      return Ready::Message;
    }
  }
  int64_t now = clockNowMs();
  if (inFilter(WM_TIMER, filterMin, filterMax)) {
    if (Timer* t = dueTimer(filter, now)) {
      *out = makeMessage(t->window, WM_TIMER, t->id, reinterpret_cast<LPARAM>(t->proc));
      advanceTimer(t, now);
      clearDeclinedPaints();
      return Ready::Message;
    }
  }
  return Ready::None;
}

void waitForMessages(int64_t untilMs) {
  int64_t target = std::min({untilMs, nextTimerDue(), backend().nextEventTime()});
  if (clockIsVirtual()) {
    if (target == kNever) {
      pollOnce(-1);  // nothing will come by itself: wait for another thread or process
      return;
    }
    pollOnce(0);
    if (!postedSinceLastLook()) clockAdvanceTo(target);
    return;
  }
  int timeout = -1;
  if (target != kNever) timeout = int(std::clamp<int64_t>(target - clockNowMs(), 0, INT_MAX));
  pollOnce(timeout);
}

void resetMessageLoop() {
  Queue& q = queue();
  {
    std::lock_guard<std::mutex> guard(q.lock);
    q.posted.clear();
    q.accepting.clear();
    q.quitPending = false;
    q.quitCode = 0;
  }
  q.timers.clear();
  q.nextThreadTimerId = 1;
  drainWakeFd();
}

}  // namespace host

using namespace host;

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  BOOL remoteResult = FALSE;
  if (postToOtherInstance(window, message, wParam, lParam, &remoteResult)) return remoteResult;
  return postToQueue(window, message, wParam, lParam) ? TRUE : FALSE;
}

BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
  if (message == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  for (;;) {
    if (window != nullptr && localWindow(window) == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return -1;
    }
    switch (takeReadyMessage(message, window, filterMin, filterMax, true)) {
      case Ready::Message: return TRUE;
      case Ready::Quit: return 0;
      default: waitForMessages(kNever);
    }
  }
}

BOOL TranslateMessage(const MSG* message) {
  if (message == nullptr || message->message != WM_KEYDOWN) return FALSE;
  WPARAM character = characterOfKey(message->wParam);
  if (character == 0) return FALSE;
  Queue& q = queue();
  std::lock_guard<std::mutex> guard(q.lock);
  if (message->hwnd != nullptr && q.accepting.count(message->hwnd) == 0) return FALSE;
  // Ahead of what is queued, so the character comes before the key's release.
  q.posted.push_front(makeMessage(message->hwnd, WM_CHAR, character, message->lParam));
  ++q.posts;
  return TRUE;
}

LRESULT DispatchMessageW(const MSG* message) {
  if (message == nullptr) return 0;
  if (message->message == WM_TIMER && message->lParam != 0) {
    TIMERPROC proc = reinterpret_cast<TIMERPROC>(message->lParam);
    proc(message->hwnd, WM_TIMER, message->wParam, GetTickCount());
    return 0;
  }
  return sendToWindow(message->hwnd, message->message, message->wParam, message->lParam);
}

void PostQuitMessage(int exitCode) {
  Queue& q = queue();
  {
    std::lock_guard<std::mutex> guard(q.lock);
    q.quitPending = true;
    q.quitCode = exitCode;
  }
  wakeMessageLoop();
}

uintptr_t SetTimer(HWND window, uintptr_t id, UINT elapse, TIMERPROC timerProc) {
  if (window != nullptr && localWindow(window) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  Queue& q = queue();
  int64_t period = std::max<int64_t>(1, elapse);
  int64_t due = clockNowMs() + period;
  if (Timer* existing = findTimer(window, id)) {
    existing->period = period;
    existing->due = due;
    existing->proc = timerProc;
    existing->serial = q.nextSerial++;
    return id;
  }
  if (window == nullptr) id = newThreadTimerId();
  q.timers.push_back(Timer{window, id, period, due, timerProc, q.nextSerial++});
  return id;
}

BOOL KillTimer(HWND window, uintptr_t id) {
  Queue& q = queue();
  for (auto it = q.timers.begin(); it != q.timers.end(); ++it) {
    if (it->window == window && it->id == id) {
      q.timers.erase(it);
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
