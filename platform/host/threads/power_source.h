// Where power notifications come from, and how they reach the subscribed
// message queues of RequestPowerNotifications.
//
// A power source is a small table: it is started when the first queue
// subscribes and stopped when the last one leaves, and while it runs it calls
// deliverPowerNotification for every notification it sees, from any thread.
// The headless source sees only what host control injects (suspend, resume);
// a desktop source (logind's PrepareForSleep over D-Bus) is another table.
#pragma once

#include "platform/types.h"

namespace host {

struct PowerSource {
  const char* name;
  // When the first subscription is made; false fails RequestPowerNotifications
  // (GetLastError: ERROR_SERVICE_NOT_ACTIVE unless start set another code).
  bool (*start)();
  // When the last subscription ends, or the source is replaced. Never called
  // while the subscription lock is held, so a thread of the source may still
  // be delivering while stop waits for it to end.
  void (*stop)();
};

extern const PowerSource headlessPowerSource;

// PrepareForSleep of org.freedesktop.login1 on the system bus
// (DBUS_SYSTEM_BUS_ADDRESS when set); fails to start without a system bus
// (ERROR_SERVICE_NOT_ACTIVE) or when the bus refuses the connection or the
// match (ERROR_ACCESS_DENIED).
extern const PowerSource logindPowerSource;

// Chooses the source (null: the headless one); a running source is stopped
// and the new one started if queues are subscribed.
void usePowerSource(const PowerSource* source);

// Writes one POWER_BROADCAST record (Message, Flags, the state's name) into
// every subscribed queue whose notification types include message, without
// waiting: a full queue loses it, as the platform's power manager drops what
// exceeds a queue. Thread-safe.
void deliverPowerNotification(DWORD message, DWORD flags, const WCHAR* stateName);

// What the headless source injects: a transition into suspend
// (PBT_TRANSITION with POWER_STATE_SUSPEND, state "suspend"), and a resume
// (PBT_RESUME). Thread-safe.
void deliverSuspend();
void deliverResume();

// How many subscriptions are active.
int powerSubscriptionCount();

// Ends every subscription (host control's reset).
void resetPowerNotifications();

}  // namespace host
