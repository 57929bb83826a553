// The main window procedure: window creation and destruction, the ways a user
// ends a show, the tray icon, second-instance requests and power events; the
// show-driving messages go to the show driver.
//
// Plain mode: the window lives for one show. Resident mode: the window stays
// hidden for the life of the process, shows are started from the tray, by a
// plain second start or by a resume, and a tap or Enter only stops them.
#include "app/window_procedure.h"

#include "app/power_watcher.h"
#include "app/shell_state.h"
#include "app/show_driver.h"
#include "config/schedule_file.h"
#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "render/surfaces.h"

// Copies entry 0 of list into settingsFileName; a list without entries leaves
// the name empty, which plays the default settings file.
static void takeFirstEntry(const ScheduleList* list) {
  settingsFileName[0] = 0;
  if (list->count <= 0 || list->entries == nullptr) return;
  const WCHAR* entry = list->entries[0];
  int i = 0;
  for (; i < SETTINGS_NAME_UNITS - 1 && entry[i] != 0; ++i) settingsFileName[i] = entry[i];
  settingsFileName[i] = 0;
}

// Plays the first entry of list on window (a running show keeps running, but
// the name is taken for the next start).
static void playFirstEntry(HWND window, const ScheduleList* list) {
  takeFirstEntry(list);
  startShow(window, settingsFileName);
}

// Resident mode's set-up: the stop event and the power watcher, the tray icon,
// the hidden window.
static void enterResidentMode(HWND window) {
  stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (stopEvent != nullptr) {
    watcherThread = CreateThread(nullptr, 0, PowerWatcher, nullptr, 0, nullptr);
  }
  memset(&trayIconData, 0, sizeof trayIconData);
  trayIconData.cbSize = sizeof trayIconData;
  trayIconData.hWnd = window;
  trayIconData.uID = TRAY_ICON_ID;
  trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  trayIconData.uCallbackMessage = MSG_TRAY;
  trayIconData.hIcon = (HICON)LoadImageW(nullptr, MAKEINTRESOURCEW(TRAY_ICON_RESOURCE), IMAGE_ICON, 16, 16, 0);
  Shell_NotifyIcon(NIM_DELETE, &trayIconData);
  Shell_NotifyIcon(NIM_ADD, &trayIconData);
  ShowWindow(window, SW_MINIMIZE);
  ShowWindow(window, SW_HIDE);
  showing = 0;
}

// WM_CREATE. mainWindow is recorded first, so a notification that the watcher
// posts while the window is still being created reaches it.
static LRESULT onCreate(HWND window) {
  mainWindow = window;
  if (resident == 0) {
    startShow(window, settingsFileName);
  } else {
    enterResidentMode(window);
  }
  windowCreated = 1;
  return 0;
}

// Ends resident mode: stops and joins the watcher, frees the schedule lists,
// removes the tray icon.
static void leaveResidentMode(void) {
  if (stopEvent != nullptr) {
    EventModify(stopEvent, EVENT_SET);
    if (watcherThread != nullptr) {
      WaitForSingleObject(watcherThread, INFINITE);
      CloseHandle(watcherThread);
      watcherThread = nullptr;
    }
    CloseHandle(stopEvent);
    stopEvent = nullptr;
  }
  freeScheduleList(&normalList);
  freeScheduleList(&suspendList);
  Shell_NotifyIcon(NIM_DELETE, &trayIconData);
  if (trayIconData.hIcon != nullptr) {
    DestroyIcon(trayIconData.hIcon);
    trayIconData.hIcon = nullptr;
  }
}

// WM_DESTROY: releases a running show, ends resident mode, posts the quit.
static LRESULT onDestroy(HWND window) {
  if (showing == 1) {
    releaseSurfaces();
    releaseInstancePool();
    releaseSceneTables();
    KillTimer(window, TIMER_TICK);
  }
  if (resident == 1) leaveResidentMode();
  mainWindow = nullptr;
  PostQuitMessage(0);
  return 0;
}

// A tap, or Enter: ends plain mode, stops the show in resident mode.
static LRESULT onUserEnd(HWND window) {
  if (resident == 0) {
    DestroyWindow(window);
  } else {
    stopShow(window);
  }
  return 0;
}

// MSG_OTHER_INSTANCE: a plain second start plays or fronts a show; a second
// -s start ends this instance after its notice.
static LRESULT onOtherInstance(HWND window, WPARAM secondResident) {
  if (secondResident == 0) {
    if (showing == 1) {
      SetForegroundWindow((HWND)((uintptr_t)window | 1));
    } else {
      playFirstEntry(window, &normalList);
    }
  } else if (secondResident == 1) {
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow((HWND)((uintptr_t)window | 1));
    MessageBoxW(window, u"常駐を解除します", u"メッセージ", MB_OK);
    DestroyWindow(window);
  }
  return 0;
}

// MSG_POWER_RESUME: stop any show and play the first @suspend file 200 ms later.
static LRESULT onPowerResume(HWND window) {
  if (pendingRestart != 0) return 0;
  stopShow(window);
  takeFirstEntry(&suspendList);
  pendingRestart = (UINT)SetTimer(window, TIMER_RESTART, 200, nullptr);
  return 0;
}

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return onCreate(window);
    case WM_DESTROY:
      return onDestroy(window);
    case WM_SIZE:
      return onShowSize(window);
    case WM_ACTIVATE:
      return onShowActivate(window);
    case WM_PAINT:
      return onShowPaint(window);
    case WM_CLOSE:
      if (resident == 0 && pendingRestart == 0) DestroyWindow(window);
      return 0;
    case WM_KEYDOWN:
      return wParam == VK_RETURN ? onUserEnd(window) : 0;
    case WM_TIMER:
      return onShowTimer(window, wParam);
    case WM_LBUTTONDOWN:
      return onUserEnd(window);
    case MSG_OTHER_INSTANCE:
      return onOtherInstance(window, wParam);
    case MSG_TRAY:
      if (lParam == WM_LBUTTONDOWN) playFirstEntry(window, &normalList);
      return 0;
    case MSG_POWER_RESUME:
      return onPowerResume(window);
    case MSG_POWER_SUSPEND:
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
