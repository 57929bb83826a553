// Windows, messages, timers and message boxes.
//
// Host: one window manager per process, single-threaded like the platform's:
// windows belong to the thread that made them, and every message is dispatched
// on it. Timers and waits read the host clock (virtual or real). FindWindowW
// and PostMessageW also reach a window of the same class in another process of
// the same user, through a Unix-domain socket per class name. Backends differ
// in what a window is (headless: a surface in memory; x11: a real window;
// wayland: an xdg_toplevel while shown, none while hidden), in where input
// comes from (headless: tests inject it; x11: the X server; wayland: the
// compositor's seat), and in message boxes (headless: one line "[caption] text"
// on standard error, answered with OK; x11: a modal dialog; wayland: a toplevel
// of its own, child of its owner's). SetForegroundWindow on wayland asks for
// activation only where the compositor offers xdg_activation_v1.
#pragma once

#include "platform/types.h"

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
typedef void (*TIMERPROC)(HWND window, UINT message, uintptr_t id, DWORD time);

struct WNDCLASS {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};
typedef WNDCLASS WNDCLASSW;

// What WM_CREATE's lParam points to: the arguments of CreateWindowExW.
struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002

#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_SHOWMINIMIZED 2
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400

// The one message that crosses processes: a second start of the program asks
// the running one to play or come forward, posted to the window FindWindowW
// found; wParam is the second start's resident value (0 or 1), lParam 0. The
// host carries nothing else between processes (see PostMessageW), so the
// program and the host read its value here.
#define MSG_OTHER_INSTANCE (WM_USER + 100)  // 0x464

#define SIZE_RESTORED 0
#define MK_LBUTTON 0x0001

// Errors of the window manager's calls (GetLastError).
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#define ERROR_NOT_ENOUGH_QUOTA 1816

#define WA_INACTIVE 0
#define WA_ACTIVE 1

#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20

#define MB_OK 0x00000000u
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define IDOK 1

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define MAKEINTRESOURCEW(id) ((LPCWSTR)(uintptr_t)(WORD)(id))

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKELPARAM(lo, hi) ((LPARAM)(DWORD)(((WORD)(lo)) | (((DWORD)(WORD)(hi)) << 16)))

// Registers a window class; 0 on failure (a null procedure or class name, or the
// class registered already).
WORD RegisterClassW(const WNDCLASS* windowClass);

// Creates a window and sends it WM_CREATE before returning; with CW_USEDEFAULT
// the window covers the whole screen. Null when the class is unknown or the
// window was destroyed during its own WM_CREATE.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);

// Sends WM_DESTROY and destroys the window; its timers and queued messages go with it.
BOOL DestroyWindow(HWND window);
// WM_CLOSE destroys the window, WM_PAINT validates it; every message answers 0.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// SW_HIDE hides, SW_MINIMIZE minimises (not shown, not painted), the others show;
// a window coming into view needs painting. Nonzero when it was visible before.
// WM_CREATE runs with the window not yet shown; WS_VISIBLE shows it after
// WM_CREATE unless WM_CREATE itself called ShowWindow.
BOOL ShowWindow(HWND window, int command);
// Brings the window to the front; a handle with its lowest bit set names the
// window and the windows it owns. A change of foreground sends WM_ACTIVATE.
BOOL SetForegroundWindow(HWND window);
// Marks the whole client area for painting (the rectangle is not tracked);
// a null window: every window.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// Sends WM_PAINT at once when the window needs painting.
BOOL UpdateWindow(HWND window);
BOOL GetClientRect(HWND window, RECT* rect);

// A window of the class (and title, when given) in this process or, by class
// name, in another process of the same user; null when there is none.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);

// Queues a message for the window's thread; thread-safe; wakes its wait. A
// null window queues a thread message, which DispatchMessageW drops. FALSE
// for a gone window or a full queue (10000 messages). To a window of another
// process only MSG_OTHER_INSTANCE with wParam 0 or 1 and lParam 0 arrives;
// that process drops anything else.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once (from the window's own thread).
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Waits for the next message: posted ones first, then WM_QUIT, then WM_PAINT
// for a shown invalid window, then WM_TIMER for a due timer. 0 for WM_QUIT,
// -1 on error. It sleeps in poll() until a post, a timer, input or another
// process's request; with the virtual clock it jumps the clock to the next
// timer or scripted input instead of waiting. NOTE: a window whose WM_PAINT
// left it invalid gets its next WM_PAINT only after another message was
// retrieved or it was invalidated again (the platform would spin instead).
BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageW(const MSG* message);
void PostQuitMessage(int exitCode);

// A timer of the window: WM_TIMER with the id in wParam, at most one pending a
// timer, next due time = last due time + period (a late loop skips the
// periods it missed: no burst). An id already set is replaced. Without a
// window a new id is chosen. Periods below 1 ms count as 1 ms. The id, or 0
// on failure.
uintptr_t SetTimer(HWND window, uintptr_t id, UINT elapse, TIMERPROC timerProc);
BOOL KillTimer(HWND window, uintptr_t id);

// A modal box; its loop keeps dispatching the thread's messages until it is
// answered, and ends early on a pending WM_QUIT (which stays pending). IDOK.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Loads the program's icon, resource 101 with IMAGE_ICON (a picture the host
// draws, at the size asked, 16 x 16 when 0); the program has no other resources.
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags);
BOOL DestroyIcon(HICON icon);

// The process entry the system provides; the host's main calls it.
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand);
