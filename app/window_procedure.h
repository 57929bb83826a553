// The main window procedure, and the power-notification watcher it starts in
// resident mode.
#pragma once

#include "platform/platform.h"

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The watcher thread's entry: posts MSG_POWER_RESUME and MSG_POWER_SUSPEND to
// mainWindow until stopEvent is signalled.
DWORD PowerWatcher(LPVOID parameter);

// The process entry's command-line reader: sets settingsFileName,
// scheduleFileName and resident.
void parseCommandLine(const WCHAR* commandLine);
