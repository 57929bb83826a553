// Point-to-point message queues: bounded queues of whole records.
//
// Invariant: a queue holds at most dwMaxMessages records (0: no limit), each
// of at most cbMaxMessage bytes; a record is read whole or not at all, and a
// read into a buffer too small for it fails and keeps it. A handle reads or
// writes as CreateMsgQueue's bReadAccess said; handles made with the same name
// share one queue (an unnamed queue has its one handle, written by the host's
// power source). A read handle is signalled while its queue holds a record, a
// write handle while its queue has room. State lives under waitLock(). Host
// control can make every CreateMsgQueue fail, as the device's does out of
// kernel objects.
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <vector>

#include "platform/host/threads/threads_control.h"
#include "platform/host/threads/waitable.h"
#include "platform/runtime.h"
#include "platform/threads.h"

namespace host {
namespace {

struct Record {
  std::vector<uint8_t> bytes;
  DWORD flags;
};

struct QueueState {
  std::deque<Record> records;
  DWORD maxMessages = 0;
  DWORD maxBytes = 0;
  bool full() const { return maxMessages != 0 && records.size() >= maxMessages; }
};

std::map<std::u16string, std::weak_ptr<QueueState>>& namedQueues();

std::atomic<DWORD> creationError{0};  // the error every CreateMsgQueue fails with; 0: none

struct MsgQueue : Waitable {
  static constexpr ObjectKind kKind = ObjectKind::MsgQueue;
  MsgQueue() : Waitable(kKind) {}
  ~MsgQueue() override {
    std::lock_guard<std::mutex> guard(waitLock());
    state.reset();
    auto& names = namedQueues();
    for (auto it = names.begin(); it != names.end();) it = it->second.expired() ? names.erase(it) : std::next(it);
    notifyWaiters();
  }
  bool signalled() const override { return readAccess ? !state->records.empty() : !state->full(); }
  std::shared_ptr<QueueState> state;
  bool readAccess = true;
};

// Named queues, so that a second CreateMsgQueue of the name opens the same one.
std::map<std::u16string, std::weak_ptr<QueueState>>& namedQueues() {
  static auto* names = new std::map<std::u16string, std::weak_ptr<QueueState>>;
  return *names;
}

// Under the lock: the queue a handle names, or null with the last error set.
MsgQueue* findQueue(HANDLE handle) {
  Object* o = lookupObject(handle);
  if (o == nullptr || o->kind != ObjectKind::MsgQueue) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<MsgQueue*>(o);
}

// Under the lock: the shared state for a name, made with the options if new.
std::shared_ptr<QueueState> stateForName(LPCWSTR name, const MSGQUEUEOPTIONS& options) {
  std::shared_ptr<QueueState> state;
  if (name != nullptr) {
    auto& names = namedQueues();
    auto it = names.find(name);
    if (it != names.end()) state = it->second.lock();
    if (state != nullptr) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return state;
    }
  }
  state = std::make_shared<QueueState>();
  state->maxMessages = options.dwMaxMessages;
  state->maxBytes = options.cbMaxMessage;
  if (name != nullptr) namedQueues()[name] = state;
  SetLastError(ERROR_SUCCESS);
  return state;
}

// Under the lock: appends a record (the caller checked size and room).
void append(QueueState& state, const void* data, DWORD size, DWORD flags) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  state.records.push_back(Record{std::vector<uint8_t>(bytes, bytes + size), flags});
  notifyWaiters();
}

}  // namespace

bool writeQueueRecord(HANDLE queue, const void* data, DWORD size, DWORD flags) {
  std::lock_guard<std::mutex> guard(waitLock());
  MsgQueue* q = findQueue(queue);
  if (q == nullptr || size > q->state->maxBytes || q->state->full()) return false;
  append(*q->state, data, size, flags);
  return true;
}

void failMsgQueueCreation(DWORD error) { creationError = error; }

bool isMsgQueue(HANDLE queue) {
  std::lock_guard<std::mutex> guard(waitLock());
  Object* o = lookupObject(queue);
  return o != nullptr && o->kind == ObjectKind::MsgQueue;
}

}  // namespace host

using namespace host;

HANDLE CreateMsgQueue(LPCWSTR name, MSGQUEUEOPTIONS* options) {
  if (options == nullptr || options->dwSize != sizeof(MSGQUEUEOPTIONS) || options->cbMaxMessage == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (DWORD error = creationError; error != 0) {
    SetLastError(error);
    return nullptr;
  }
  MsgQueue* q = new MsgQueue;
  q->readAccess = options->bReadAccess != FALSE;
  {
    std::lock_guard<std::mutex> guard(waitLock());
    q->state = stateForName(name, *options);
  }
  DWORD error = GetLastError();
  HANDLE handle = registerObject(q);
  SetLastError(error);
  return handle;
}

BOOL ReadMsgQueue(HANDLE queue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead, DWORD timeout, DWORD* flags) {
  std::unique_lock<std::mutex> lock(waitLock());
  MsgQueue* q = findQueue(queue);
  if (q == nullptr) return FALSE;
  if (!q->readAccess || buffer == nullptr) {
    SetLastError(q->readAccess ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  int outcome = waitForAny(lock, &queue, 1, timeout);
  if (outcome != 0) {
    SetLastError(outcome == kWaitTimedOut ? ERROR_TIMEOUT : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  q = findQueue(queue);  // looked up again: the wait let go of the lock
  if (q == nullptr) return FALSE;
  Record& front = q->state->records.front();
  if (bytesRead != nullptr) *bytesRead = DWORD(front.bytes.size());
  if (front.bytes.size() > bufferSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (!front.bytes.empty()) std::memcpy(buffer, front.bytes.data(), front.bytes.size());
  if (flags != nullptr) *flags = front.flags;
  q->state->records.pop_front();
  notifyWaiters();  // writers waiting for room
  return TRUE;
}

BOOL WriteMsgQueue(HANDLE queue, LPVOID buffer, DWORD dataSize, DWORD timeout, DWORD flags) {
  std::unique_lock<std::mutex> lock(waitLock());
  MsgQueue* q = findQueue(queue);
  if (q == nullptr) return FALSE;
  if (q->readAccess) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if ((buffer == nullptr && dataSize > 0) || dataSize > q->state->maxBytes) {
    SetLastError(buffer == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  int outcome = waitForAny(lock, &queue, 1, timeout);
  if (outcome != 0) {
    SetLastError(outcome == kWaitTimedOut ? ERROR_TIMEOUT : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  q = findQueue(queue);
  if (q == nullptr) return FALSE;
  append(*q->state, buffer, dataSize, flags);
  return TRUE;
}

BOOL CloseMsgQueue(HANDLE queue) {
  if (!isMsgQueue(queue) || !destroyObject(queue)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
