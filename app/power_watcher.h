// The power-notification watcher: the thread that resident mode starts to
// turn the power manager's notifications into messages of the main window.
#pragma once

#include "platform/platform.h"

// The watcher thread's entry: posts MSG_POWER_SUSPEND and MSG_POWER_RESUME to
// mainWindow, in the order the notifications arrive, until stopEvent is
// signalled. parameter is unused.
DWORD PowerWatcher(LPVOID parameter);
