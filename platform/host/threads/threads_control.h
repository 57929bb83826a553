// Host control of threads, queues and power: the power events a user's device
// would give, and a fault of the message queues. Thread-safe.
#pragma once

#include "platform/types.h"

namespace host {

// Power events go straight to the subscribed queues, from any thread, with
// or without a running loop (the headless power source's events).
void injectPowerResume();
void injectPowerSuspend();

// Makes every CreateMsgQueue fail with the error code (0: none, as after
// resetHost).
void failMsgQueueCreation(DWORD error);

}  // namespace host
