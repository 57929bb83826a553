// The process entry: the single-instance hand-over, the schedule file, the
// main window and the message loop; the command line is read by command_line.cpp.
//
// The mode chosen here (plain or resident) lasts for the life of the process.
#include "app/command_line.h"
#include "app/shell_state.h"
#include "app/window_procedure.h"
#include "config/schedule_file.h"
#include "config/settings_loader.h"

int showing;
int resident;
WCHAR settingsFileName[SETTINGS_NAME_UNITS];
WCHAR scheduleFileName[SETTINGS_NAME_UNITS];
HWND mainWindow;
int windowCreated;
UINT pendingRestart;
HANDLE stopEvent;
HANDLE watcherThread;
NOTIFYICONDATA trayIconData;

const WCHAR* const WINDOW_CLASS_NAME = u"Tessaril";

// Registers the main window's class; the class name is the single-instance key.
static WORD registerMainClass(HINSTANCE instance) {
  WNDCLASS windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = WINDOW_CLASS_NAME;
  return RegisterClassW(&windowClass);
}

// Runs the message loop until the quit message; the quit's exit code.
static int runMessageLoop(void) {
  MSG message;
  memset(&message, 0, sizeof message);
  BOOL result;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (result == -1) return -1;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return (int)message.wParam;
}

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand) {
  (void)previousInstance;
  (void)showCommand;
  showing = 0;
  resident = 0;
  parseCommandLine(commandLine);
  HWND running = FindWindowW(WINDOW_CLASS_NAME, nullptr);
  if (running != nullptr) {
    PostMessageW(running, MSG_OTHER_INSTANCE, (WPARAM)resident, 0);
    return 0;
  }
  if (!loadScheduleFile(scheduleFileName)) {
    MessageBoxW(nullptr, loadErrorText, LOAD_ERROR_CAPTION, MB_OK | MB_ICONHAND);
    return 0;
  }
  if (registerMainClass(instance) == 0) return -1;
  HWND window = CreateWindowExW(0, WINDOW_CLASS_NAME, resident ? nullptr : WINDOW_CLASS_NAME, WS_VISIBLE,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                instance, nullptr);
  // A window that its own first show destroyed (a load failure inside WM_CREATE)
  // has ended the program normally: its box was shown.
  if (window == nullptr) return windowCreated ? 0 : -2;
  // NOTE: mainWindow is not written again here: WM_CREATE recorded it before
  // the power watcher started, and the watcher reads it from then on.
  return runMessageLoop();
}
