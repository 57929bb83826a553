// The application shell's process-wide state: the mode, the main window, the
// running show's flags, resident mode's handles, and the message and timer
// numbers of the main window.
//
// Everything here lives for the whole process and is touched only by the
// user-interface thread, except mainWindow and stopEvent, which the power
// watcher reads. Dependencies: platform.
#pragma once

#include "platform/platform.h"

// Messages of the main window. MSG_OTHER_INSTANCE (WM_USER + 100: a second
// start; wParam = its resident value) is platform/window_manager.h's, since
// the host carries it between processes.
#define MSG_TRAY (WM_USER + 101)            // 0x465: the tray icon; lParam = the mouse message
#define MSG_POWER_RESUME (WM_USER + 102)    // 0x466: the device resumed from suspend
#define MSG_POWER_SUSPEND (WM_USER + 103)   // 0x467: the device is going to suspend

#define TRAY_ICON_ID 0x465
#define TRAY_ICON_RESOURCE 101

// Timers of the main window.
#define TIMER_TICK 0x7FFF     // the show's tick, period = the tick interval
#define TIMER_RESTART 0x8000  // one delayed start

#define SETTINGS_NAME_UNITS 256

extern int showing;
extern int resident;
extern WCHAR settingsFileName[SETTINGS_NAME_UNITS];
extern WCHAR scheduleFileName[SETTINGS_NAME_UNITS];
extern HWND mainWindow;
extern int windowCreated;
extern UINT pendingRestart;
extern HANDLE stopEvent;
extern HANDLE watcherThread;
extern NOTIFYICONDATA trayIconData;

// The window class, the plain-mode title and the single-instance key.
extern const WCHAR* const WINDOW_CLASS_NAME;
