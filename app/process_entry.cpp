// The process entry: the command line, the single-instance hand-over, the
// schedule file, the main window and the message loop.
//
// The mode chosen here (plain or resident) lasts for the life of the process.
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

// Copies the name that starts at line[i] up to a blank or the end into
// settingsFileName, keeping at most 255 units; returns the index after it.
static int takeFileName(const WCHAR* line, int i) {
  int length = 0;
  while (line[i] != 0 && line[i] != u' ') {
    if (length < SETTINGS_NAME_UNITS - 1) settingsFileName[length++] = line[i];
    ++i;
  }
  settingsFileName[length] = 0;
  return i;
}

// Reads "-f NAME" (the last one counts) and "-s" (which ends the scan).
void parseCommandLine(const WCHAR* commandLine) {
  if (commandLine == nullptr) return;
  const WCHAR* line = commandLine;
  int i = 0;
  while (line[i] != 0) {
    if (line[i] == u'-' && line[i + 1] == u'f' && line[i + 2] == u' ') {
      i = takeFileName(line, i + 3);
    } else if (line[i] == u'-' && line[i + 1] == u's') {
      memcpy(scheduleFileName, u"schedule.ini", sizeof(u"schedule.ini"));
      resident = 1;
      return;
    } else {
      ++i;
    }
  }
}

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
