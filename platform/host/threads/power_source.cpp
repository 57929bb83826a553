// RequestPowerNotifications and StopPowerNotifications over the host's power
// source (power_source.h).
//
// Invariant: the source runs exactly while at least one subscription exists.
// A subscription handle is a value of its own (never a handle-table value:
// those end in 0xA, these in 0x5), so CloseHandle refuses it and only
// StopPowerNotifications ends it. A subscription whose queue was closed stays
// until stopped but receives nothing. A source is started and stopped under
// sourceLock but never under lock, so a source's own thread may deliver (which
// takes lock) while the source is being stopped and joined.
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/host/threads/power_source.h"
#include "platform/host/threads/threads_control.h"
#include "platform/host/threads/waitable.h"
#include "platform/runtime.h"
#include "platform/threads.h"

namespace host {
namespace {

// The state name of a record: at most this many UTF-16 units.
constexpr size_t kMaxStateName = 32;

struct Subscription {
  uintptr_t token;
  HANDLE queue;
  DWORD types;
};

struct Power {
  std::mutex sourceLock;  // starts and stops of the source; taken before lock
  std::mutex lock;        // the subscriptions; taken before waitLock(), never after
  std::vector<Subscription> subscriptions;
  const PowerSource* source = &headlessPowerSource;
  bool running = false;
  uintptr_t nextToken = 1;
};

Power& power() {
  static Power* instance = new Power;  // the watcher thread may outlive static destructors
  return *instance;
}

bool headlessStart() { return true; }
void headlessStop() {}

// Under the lock (and sourceLock): whether the source must stop now that
// nobody listens; it is marked stopped, and the caller stops it after letting
// go of the lock.
bool takeStopIfUnused(Power& p) {
  if (!p.running || !p.subscriptions.empty()) return false;
  p.running = false;
  return true;
}

}  // namespace

const PowerSource headlessPowerSource = {.name = "headless", .start = headlessStart, .stop = headlessStop};

void usePowerSource(const PowerSource* source) {
  Power& p = power();
  std::lock_guard<std::mutex> sourceGuard(p.sourceLock);
  if (source == nullptr) source = &headlessPowerSource;
  const PowerSource* old = nullptr;
  {
    std::lock_guard<std::mutex> guard(p.lock);
    if (source == p.source) return;
    if (p.running) old = p.source;
    p.running = false;
    p.source = source;
  }
  if (old != nullptr) old->stop();
  std::lock_guard<std::mutex> guard(p.lock);
  p.running = !p.subscriptions.empty() && p.source->start();
}

void deliverPowerNotification(DWORD message, DWORD flags, const WCHAR* stateName) {
  // The record: Message, Flags, Length (bytes of the name with its NUL), name.
  size_t nameUnits = 0;
  while (stateName != nullptr && nameUnits < kMaxStateName && stateName[nameUnits] != 0) ++nameUnits;
  size_t size = offsetof(POWER_BROADCAST, SystemPowerState) + (nameUnits + 1) * sizeof(WCHAR);
  std::vector<uint8_t> bytes(size, 0);
  POWER_BROADCAST header{};
  header.Message = message;
  header.Flags = flags;
  header.Length = DWORD((nameUnits + 1) * sizeof(WCHAR));
  std::memcpy(bytes.data(), &header, offsetof(POWER_BROADCAST, SystemPowerState));
  if (nameUnits > 0) {
    std::memcpy(bytes.data() + offsetof(POWER_BROADCAST, SystemPowerState), stateName, nameUnits * sizeof(WCHAR));
  }
  Power& p = power();
  std::lock_guard<std::mutex> guard(p.lock);
  for (const Subscription& s : p.subscriptions) {
    if ((s.types & message) != 0) writeQueueRecord(s.queue, bytes.data(), DWORD(size), 0);
  }
}

void deliverSuspend() { deliverPowerNotification(PBT_TRANSITION, POWER_STATE_SUSPEND, u"suspend"); }

void deliverResume() { deliverPowerNotification(PBT_RESUME, 0, nullptr); }

void injectPowerResume() { deliverResume(); }

void injectPowerSuspend() { deliverSuspend(); }

int powerSubscriptionCount() {
  Power& p = power();
  std::lock_guard<std::mutex> guard(p.lock);
  return int(p.subscriptions.size());
}

void resetPowerNotifications() {
  Power& p = power();
  std::lock_guard<std::mutex> sourceGuard(p.sourceLock);
  bool stop;
  {
    std::lock_guard<std::mutex> guard(p.lock);
    p.subscriptions.clear();
    stop = takeStopIfUnused(p);
  }
  if (stop) p.source->stop();
}

}  // namespace host

using namespace host;

HANDLE RequestPowerNotifications(HANDLE queue, DWORD flags) {
  if (!isMsgQueue(queue)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (flags == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Power& p = power();
  std::lock_guard<std::mutex> sourceGuard(p.sourceLock);
  std::lock_guard<std::mutex> guard(p.lock);
  if (!p.running) {
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);  // unless the source tells a more precise reason
    if (!p.source->start()) return nullptr;
    p.running = true;
  }
  uintptr_t token = (p.nextToken++ << 4) | 0x5;
  p.subscriptions.push_back(Subscription{token, queue, flags});
  return reinterpret_cast<HANDLE>(token);
}

BOOL StopPowerNotifications(HANDLE notifications) {
  Power& p = power();
  std::lock_guard<std::mutex> sourceGuard(p.sourceLock);
  bool found = false;
  bool stop = false;
  {
    std::lock_guard<std::mutex> guard(p.lock);
    uintptr_t token = reinterpret_cast<uintptr_t>(notifications);
    for (auto it = p.subscriptions.begin(); it != p.subscriptions.end(); ++it) {
      if (it->token == token) {
        p.subscriptions.erase(it);
        found = true;
        stop = takeStopIfUnused(p);
        break;
      }
    }
  }
  if (stop) p.source->stop();
  if (!found) SetLastError(ERROR_INVALID_HANDLE);
  return found ? TRUE : FALSE;
}
