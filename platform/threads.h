// Threads, events, point-to-point message queues and power notifications.
//
// Host: POSIX threads; an event or queue handle is signalled state that
// WaitForSingleObject and WaitForMultipleObjects sleep on without polling.
// Wait timeouts are real milliseconds even when the host clock is virtual (the
// system waits only with INFINITE and 0). A thread handle is signalled when the
// thread has returned; CloseHandle of a running thread's handle detaches it.
// RequestPowerNotifications is fed by the host's power source: headless, tests
// inject suspend and resume records; on a desktop, logind's PrepareForSleep.
// Same on every backend.
#pragma once

#include "platform/types.h"

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, DWORD stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name);
// EVENT_PULSE releases the threads waiting at that moment (one for an
// auto-reset event) and leaves the event reset.
#define EVENT_PULSE 1
#define EVENT_RESET 2
#define EVENT_SET 3
BOOL EventModify(HANDLE event, DWORD function);
inline BOOL SetEvent(HANDLE event) { return EventModify(event, EVENT_SET); }
inline BOOL ResetEvent(HANDLE event) { return EventModify(event, EVENT_RESET); }

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Any one of the objects: WAIT_OBJECT_0 + the index of the first signalled in
// array order, WAIT_TIMEOUT, or WAIT_FAILED (a bad handle; waitAll TRUE, which
// the platform does not offer either).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);

struct MSGQUEUEOPTIONS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMaxMessages;
  DWORD cbMaxMessage;
  BOOL bReadAccess;
};
#define MSGQUEUE_NOPRECOMMIT 0x00000001u
#define MSGQUEUE_ALLOW_BROKEN 0x00000002u
#define MSGQUEUE_MSGALERT 0x00000001u

// A queue of at most dwMaxMessages records (0: no limit) of at most
// cbMaxMessage bytes each; the handle reads (bReadAccess) or writes, and a
// second CreateMsgQueue of the same name opens the same queue. A read handle
// is signalled while the queue holds a record, a write handle while it has room.
HANDLE CreateMsgQueue(LPCWSTR name, MSGQUEUEOPTIONS* options);
// Takes the oldest record; FALSE with ERROR_TIMEOUT when none came in time,
// ERROR_INSUFFICIENT_BUFFER (the record kept, *bytesRead its size) when it does
// not fit.
BOOL ReadMsgQueue(HANDLE queue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead, DWORD timeout,
                  DWORD* flags);
// Appends a record; FALSE with ERROR_TIMEOUT when the queue stayed full,
// ERROR_INSUFFICIENT_BUFFER when the record is over cbMaxMessage.
BOOL WriteMsgQueue(HANDLE queue, LPVOID buffer, DWORD dataSize, DWORD timeout, DWORD flags);
BOOL CloseMsgQueue(HANDLE queue);

// Power notifications.
#define PBT_TRANSITION 0x00000001u
#define PBT_RESUME 0x00000002u
#define PBT_POWERINFOCHANGE 0x00000008u
#define POWER_NOTIFY_ALL 0xFFFFFFFFu
#define POWER_STATE_ON 0x00010000u
#define POWER_STATE_OFF 0x00020000u
#define POWER_STATE_CRITICAL 0x00040000u
#define POWER_STATE_BOOT 0x00080000u
#define POWER_STATE_IDLE 0x00100000u
#define POWER_STATE_SUSPEND 0x00200000u
#define POWER_STATE_RESET 0x00800000u

struct POWER_BROADCAST {
  DWORD Message;
  DWORD Flags;
  DWORD Length;
  WCHAR SystemPowerState[1];
};

// Subscribes the queue to the power notifications of the given types; a handle
// for StopPowerNotifications, or null with GetLastError.
HANDLE RequestPowerNotifications(HANDLE queue, DWORD flags);
BOOL StopPowerNotifications(HANDLE notifications);
