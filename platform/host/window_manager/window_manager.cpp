// Window classes and windows: creation, destruction, visibility, z-order,
// invalidation and the direct sends (WM_CREATE, WM_DESTROY, WM_PAINT of
// UpdateWindow, WM_ACTIVATE, SendMessageW).
//
// Invariant: windowStack() holds exactly the live local windows, bottom first;
// a window being destroyed stays in it (and keeps receiving what DestroyWindow
// sends) until its record is freed. Every call re-looks a window up after
// calling a window procedure, since the procedure may have destroyed it.
// Single-threaded like the platform: only the thread that makes the windows
// calls these (PostMessageW is the thread-safe way in, message_loop.cpp).
#include <algorithm>

#include "platform/host/runtime/host_clock.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/window_manager/window_manager_control.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/runtime.h"

namespace host {
namespace {

struct ClassEntry {
  std::u16string name;
  WNDCLASS record;
  WORD atom;
};

struct Manager {
  std::vector<ClassEntry> classes;
  std::vector<HWND> stack;  // bottom first
  HWND foreground = nullptr;
  HWND desktop = nullptr;
  WORD nextAtom = 0xC000;
};

Manager& manager() {
  static Manager* instance = new Manager;  // outlives static destructors of threads' users
  return *instance;
}

// Lower-cases ASCII letters: class names compare without regard to case.
char16_t foldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool sameClassName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}

// An atom given in place of a class name (MAKEINTATOM): a value below 0x10000.
bool isAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

// The class named by name or atom, or null.
ClassEntry* findClass(LPCWSTR name) {
  if (name == nullptr) return nullptr;
  for (ClassEntry& c : manager().classes) {
    if (isAtom(name) ? c.atom == WORD(reinterpret_cast<uintptr_t>(name)) : sameClassName(c.name, name)) return &c;
  }
  return nullptr;
}

// Moves window to the top of the z-order.
void raise(HWND window) {
  std::vector<HWND>& s = manager().stack;
  auto it = std::find(s.begin(), s.end(), window);
  if (it == s.end()) return;
  s.erase(it);
  s.push_back(window);
}

void removeFromStack(HWND window) {
  std::vector<HWND>& s = manager().stack;
  s.erase(std::remove(s.begin(), s.end(), window), s.end());
}

// Chooses the window's rectangle; CW_USEDEFAULT for the width makes it cover
// the whole screen and follow the screen's size.
void placeWindow(Window* w, int x, int y, int width, int height) {
  int screenWidth = 0, screenHeight = 0;
  backend().screenSize(&screenWidth, &screenHeight);
  w->fullScreen = width == CW_USEDEFAULT;
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = screenWidth;
  if (height == CW_USEDEFAULT) height = screenHeight;
  w->x = x;
  w->y = y;
  w->width = std::clamp(width, 0, kMaxBitmapSide);
  w->height = std::clamp(height, 0, kMaxBitmapSide);
  w->client.reset(w->width, w->height, kOpaqueBlack);
}

// Sets the window's visibility state; a window coming into view needs painting.
void setShowState(Window* w, ShowState state) {
  if (w->show == state) return;
  bool wasVisible = w->visible();
  w->show = state;
  if (state == ShowState::Hidden) {
    w->style &= ~WS_VISIBLE;
  } else {
    w->style |= WS_VISIBLE;
  }
  if (!wasVisible && w->visible()) {
    w->invalid = true;
    w->paintDeclined = false;
  }
  backend().windowChanged(w);
}

// Frees a window's record and everything that hangs on it, without messages.
void discardWindow(HWND handle) {
  Window* w = localWindow(handle);
  if (w == nullptr) return;
  forgetWindowMessages(handle);
  stopListening(handle);
  releaseWindowDcs(w);
  removeFromStack(handle);
  if (manager().foreground == handle) manager().foreground = nullptr;
  backend().destroyWindow(w);
  destroyObject(handle);
}

// The ShowState a ShowWindow command asks for.
ShowState stateForCommand(int command) {
  switch (command) {
    case SW_HIDE: return ShowState::Hidden;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE: return ShowState::Minimized;
    default: return ShowState::Normal;
  }
}

}  // namespace

Window* localWindow(HWND window) {
  Window* w = lookup<Window>(window);
  return (w != nullptr && !w->desktop && !w->remote) ? w : nullptr;
}

Window* desktopWindow() {
  Manager& m = manager();
  if (m.desktop == nullptr) {
    Window* d = new Window;
    d->desktop = true;
    d->show = ShowState::Normal;
    d->invalid = false;
    m.desktop = static_cast<HWND>(registerObject(d, true));
    d->handle = m.desktop;
  }
  return lookup<Window>(m.desktop);
}

const std::vector<HWND>& windowStack() { return manager().stack; }

HWND windowAtPoint(int x, int y) {
  const std::vector<HWND>& s = manager().stack;
  for (auto it = s.rbegin(); it != s.rend(); ++it) {
    Window* w = localWindow(*it);
    if (w == nullptr || !w->visible() || w->destroying) continue;
    if (x >= w->x && y >= w->y && x < w->x + w->width && y < w->y + w->height) return *it;
  }
  return nullptr;
}

HWND inputTargetWindow() {
  Manager& m = manager();
  Window* f = localWindow(m.foreground);
  if (f != nullptr && f->visible() && !f->destroying) return m.foreground;
  HWND topmost = nullptr;
  for (auto it = m.stack.rbegin(); it != m.stack.rend(); ++it) {
    Window* w = localWindow(*it);
    if (w == nullptr || w->destroying) continue;
    if (w->visible()) return *it;
    if (topmost == nullptr) topmost = *it;
  }
  return topmost;
}

void resizeFullScreenWindows(int width, int height) {
  for (HWND handle : std::vector<HWND>(manager().stack)) {
    Window* w = localWindow(handle);
    if (w == nullptr || !w->fullScreen || w->destroying) continue;
    if (w->width == width && w->height == height) continue;
    w->width = width;
    w->height = height;
    w->client.reset(width, height, kOpaqueBlack);
    w->invalid = true;
    w->paintDeclined = false;
    backend().windowChanged(w);
    postToQueue(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
  }
}

LRESULT sendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = localWindow(window);
  if (w == nullptr || w->proc == nullptr) return 0;
  WNDPROC proc = w->proc;  // w may be gone once proc returns
  return proc(window, message, wParam, lParam);
}

void resetWindows() {
  Manager& m = manager();
  while (!m.stack.empty()) discardWindow(m.stack.back());
  m.classes.clear();
  m.foreground = nullptr;
  m.nextAtom = 0xC000;
}

// ---- host control (window_manager_control.h) ----

std::vector<HWND> windowsInZOrder() { return manager().stack; }

bool windowIsShown(HWND window) {
  Window* w = localWindow(window);
  return w != nullptr && w->visible();
}

uint64_t windowFrameCount(HWND window) {
  Window* w = localWindow(window);
  return w != nullptr ? w->frames : 0;
}

}  // namespace host

using namespace host;

WORD RegisterClassW(const WNDCLASS* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
      isAtom(windowClass->lpszClassName) || windowClass->lpszClassName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (findClass(windowClass->lpszClassName) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  Manager& m = manager();
  ClassEntry entry{windowClass->lpszClassName, *windowClass, m.nextAtom++};
  entry.record.lpszClassName = nullptr;  // the caller's text may not outlive the call
  entry.record.lpszMenuName = nullptr;
  m.classes.push_back(entry);
  return entry.atom;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter) {
  ClassEntry* c = findClass(className);
  if (c == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  Window* w = new Window;
  w->className = c->name;
  if (windowName != nullptr) w->title = windowName;
  w->proc = c->record.lpfnWndProc;
  w->style = style & ~WS_VISIBLE;  // shown after WM_CREATE, as on the platform
  w->creating = true;
  placeWindow(w, x, y, width, height);
  HWND handle = static_cast<HWND>(registerObject(w));
  w->handle = handle;
  manager().stack.push_back(handle);
  acceptPostsFor(handle);
  if (!backend().createWindow(w)) {
    discardWindow(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  listenForOtherInstances(handle, w->className);

  CREATESTRUCTW create{parameter, instance, menu, parent, w->height, w->width, w->y, w->x, LONG(style),
                       windowName, className, exStyle};
  LRESULT result = sendToWindow(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
  w = localWindow(handle);
  if (w == nullptr) return nullptr;  // destroyed during its own WM_CREATE
  if (result == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  w->creating = false;
  // A window that WM_CREATE showed or hid keeps that state.
  if ((style & WS_VISIBLE) != 0 && !w->shownWhileCreating) setShowState(w, ShowState::Normal);
  return handle;
}

BOOL DestroyWindow(HWND window) {
  Window* w = localWindow(window);
  if (w == nullptr || w->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->destroying = true;
  setShowState(w, ShowState::Hidden);
  if (manager().foreground == window) manager().foreground = nullptr;
  sendToWindow(window, WM_DESTROY, 0, 0);
  discardWindow(window);
  return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_PAINT:
      // The default paint validates the window, as BeginPaint/EndPaint would.
      if (Window* w = localWindow(window)) w->invalid = false;
      return 0;
    default:
      return 0;
  }
}

BOOL ShowWindow(HWND window, int command) {
  Window* w = localWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  bool wasShown = w->show != ShowState::Hidden;
  if (w->creating) w->shownWhileCreating = true;
  setShowState(w, stateForCommand(command));
  return wasShown ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND window) {
  // The lowest bit asks for the window and the windows it owns; none owns any.
  HWND handle = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(window) & ~uintptr_t(1));
  Window* w = localWindow(handle);
  if (w == nullptr || w->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Manager& m = manager();
  HWND previous = m.foreground;
  raise(handle);
  m.foreground = handle;
  backend().windowChanged(w);
  if (previous != handle) {
    if (localWindow(previous) != nullptr) {
      sendToWindow(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(handle));
    }
    sendToWindow(handle, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
  }
  return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  (void)rect;  // the whole client area is repainted: every frame covers it
  (void)erase;
  if (window == nullptr) {
    for (HWND handle : manager().stack) {
      if (Window* w = localWindow(handle)) {
        w->invalid = true;
        w->paintDeclined = false;
      }
    }
    return TRUE;
  }
  if (lookup<Window>(window) != nullptr && lookup<Window>(window)->desktop) return TRUE;
  Window* w = localWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->invalid = true;
  w->paintDeclined = false;
  return TRUE;
}

BOOL UpdateWindow(HWND window) {
  Window* w = localWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->invalid && w->visible() && !w->destroying) sendToWindow(window, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Window* w = lookup<Window>(window);
  if (w == nullptr || w->remote || rect == nullptr) {
    SetLastError(w == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int width = w->width, height = w->height;
  if (w->desktop) backend().screenSize(&width, &height);
  *rect = RECT{0, 0, width, height};
  return TRUE;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  const std::vector<HWND>& s = manager().stack;
  for (auto it = s.rbegin(); it != s.rend(); ++it) {
    Window* w = localWindow(*it);
    if (w == nullptr || w->destroying) continue;
    if (className != nullptr && !isAtom(className) && !sameClassName(w->className, className)) continue;
    if (className != nullptr && isAtom(className)) {
      ClassEntry* c = findClass(className);
      if (c == nullptr || !sameClassName(c->name, w->className)) continue;
    }
    if (windowName != nullptr && w->title != windowName) continue;
    return *it;
  }
  if (className == nullptr || isAtom(className)) return nullptr;
  return findOtherInstance(className);
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (localWindow(window) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return sendToWindow(window, message, wParam, lParam);
}
