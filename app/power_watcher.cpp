// The power-notification watcher: a thread of resident mode that turns the
// power manager's resume and suspend notifications into window messages.
//
// It shares only mainWindow, stopEvent and the messages it posts with the rest
// of the program; it ends as soon as stopEvent is signalled, closing its queue.
#include "app/power_watcher.h"

#include "app/shell_state.h"

#define POWER_MESSAGE_BYTES 536
#define POWER_QUEUE_RECORDS 4

// Posts the messages one power record asks for: suspend first, then resume.
static void forwardRecord(const POWER_BROADCAST* record) {
  if (record->Flags & POWER_STATE_SUSPEND) PostMessageW(mainWindow, MSG_POWER_SUSPEND, 0, 0);
  if (record->Message == PBT_RESUME) PostMessageW(mainWindow, MSG_POWER_RESUME, 0, 0);
}

// Reads every record the queue holds now and forwards each in queue order.
// Without memory for the read buffer the records are read into one on the
// stack: left queued, they would keep the queue signalled and the wait would
// never report stopEvent, so the thread would spin and never end.
static void drainQueue(HANDLE queue) {
  union {
    POWER_BROADCAST record;
    BYTE bytes[POWER_MESSAGE_BYTES];
  } spare;
  void* buffer = malloc(POWER_MESSAGE_BYTES);
  void* into = buffer != nullptr ? buffer : &spare;
  DWORD bytesRead = 0;
  DWORD flags = 0;
  while (ReadMsgQueue(queue, into, POWER_MESSAGE_BYTES, &bytesRead, 0, &flags)) {
    forwardRecord((const POWER_BROADCAST*)into);
  }
  free(buffer);
}

DWORD PowerWatcher(LPVOID parameter) {
  (void)parameter;
  MSGQUEUEOPTIONS options;
  memset(&options, 0, sizeof options);
  options.dwSize = sizeof options;
  options.dwFlags = MSGQUEUE_NOPRECOMMIT;
  options.dwMaxMessages = POWER_QUEUE_RECORDS;
  options.cbMaxMessage = POWER_MESSAGE_BYTES;
  options.bReadAccess = TRUE;
  HANDLE queue = CreateMsgQueue(nullptr, &options);
  if (queue == nullptr) {
    NKDbgPrintfW(u"CreateMsgQueue failed: %x\n", GetLastError());
    return 0;
  }
  HANDLE notifications = RequestPowerNotifications(queue, PBT_TRANSITION | PBT_RESUME | PBT_POWERINFOCHANGE);
  if (notifications == nullptr) {
    NKDbgPrintfW(u"RequestPowerNotifications failed: %x\n", GetLastError());
    CloseMsgQueue(queue);
    return 0;
  }
  HANDLE waitSet[2] = {queue, stopEvent};
  while (WaitForMultipleObjects(2, waitSet, FALSE, INFINITE) == WAIT_OBJECT_0) {
    drainQueue(queue);
  }
  StopPowerNotifications(notifications);
  CloseMsgQueue(queue);
  return 0;
}
