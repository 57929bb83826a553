// The x11 backend on a real X server (scripts/test starts Xvfb): presented
// pixels on the screen, real clicks and keys as messages, the screen
// snapshot, the modal message box and the tray icon in a real tray host, or
// on the session bus while a status notifier watcher runs.
//
// Without $DISPLAY (or without the backend built in) each test says why it
// cannot run and is skipped, or fails when CI=true. The tests of one display
// take turns through a lock file, since they share its screen and focus.
// Checks wait for conditions with generous limits instead of fixed sleeps.
#include <gtest/gtest.h>

#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "tests/host/dbus_test_bus.h"
// After gtest's and the host's headers: Xlib's macros (None) would rewrite them.
#include "platform/host/x11/x11_state.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// The test thread and the helper threads each use their own connection.
const bool xThreadsReady = XInitThreads() != 0;

constexpr int kWaitMs = 20000;

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<Received>& received() {
  static std::vector<Received> log;
  return log;
}

COLORREF leftColour = RGB(200, 30, 40);
COLORREF rightColour = RGB(20, 140, 230);

// Records every message; paints the left half and the right half in two colours.
LRESULT testProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  received().push_back(Received{message, wParam, lParam});
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT r;
    GetClientRect(window, &r);
    HBRUSH left = CreateSolidBrush(leftColour), right = CreateSolidBrush(rightColour);
    HGDIOBJ old = SelectObject(dc, left);
    PatBlt(dc, 0, 0, r.right / 2, r.bottom, PATCOPY);
    SelectObject(dc, right);
    PatBlt(dc, r.right / 2, 0, r.right - r.right / 2, r.bottom, PATCOPY);
    SelectObject(dc, old);
    DeleteObject(left);
    DeleteObject(right);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool receivedMessage(UINT message, WPARAM wParam) {
  for (const Received& r : received()) {
    if (r.message == message && r.wParam == wParam) return true;
  }
  return false;
}

// Dispatches messages until done() or timeoutMs pass; a thread timer makes
// GetMessageW return at least every 20 ms. Returns done().
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  uintptr_t timer = SetTimer(nullptr, 0, 20, nullptr);
  bool ok = done();
  MSG message;
  while (!ok && std::chrono::steady_clock::now() < end && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    ok = done();
  }
  KillTimer(nullptr, timer);
  return ok;
}

// A pixel of the root window read on the given connection, as 0xRRGGBB.
uint32_t rootPixel(Display* d, int x, int y) {
  XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return 0xFFFFFFFFu;
  unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return uint32_t(p & 0xFFFFFF);
}

uint32_t rgbOf(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

// Runs a shell command; true when it exits with 0.
bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// A property of a window as text, or empty.
std::string textProperty(Display* d, ::Window w, Atom property, Atom type) {
  Atom actual;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(d, w, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    if (actual == type && format == 8) text.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return text;
}

// Whether window w is anywhere in the tree below parent.
bool inTree(Display* d, ::Window parent, ::Window w) {
  ::Window root, up, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, parent, &root, &up, &children, &count) == 0) return false;
  bool found = false;
  for (unsigned int i = 0; i < count && !found; ++i) found = children[i] == w || inTree(d, children[i], w);
  if (children != nullptr) XFree(children);
  return found;
}

// A viewable window below parent (a window manager may have framed it) whose
// _NET_WM_NAME is name, or 0.
::Window findViewable(Display* d, ::Window parent, Atom netName, Atom utf8, const std::string& name) {
  ::Window root, up, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, parent, &root, &up, &children, &count) == 0) return 0;
  ::Window found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XWindowAttributes a;
    if (textProperty(d, children[i], netName, utf8) == name && XGetWindowAttributes(d, children[i], &a) != 0 &&
        a.map_state == IsViewable) {
      found = children[i];
    } else {
      found = findViewable(d, children[i], netName, utf8, name);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// Starts a program with arguments, its output discarded; its pid or -1.
pid_t spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

class X11Backend : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
#ifndef TESSARIL_HAVE_X11
    why = "the x11 backend is not built in (libx11-dev and libxext-dev missing at configure time)";
#endif
    const char* display = std::getenv("DISPLAY");
    if (why.empty() && (display == nullptr || display[0] == 0)) why = "DISPLAY is not set (scripts/test starts Xvfb)";
    if (why.empty()) {
      probe_ = XOpenDisplay(nullptr);
      if (probe_ == nullptr) why = std::string("the display ") + display + " does not open";
    }
    if (!why.empty()) {
      const char* ci = std::getenv("CI");
      if (ci != nullptr && std::string(ci) == "true") FAIL() << "cannot run the X11 tests: " << why;
      GTEST_SKIP() << "cannot run the X11 tests: " << why;
    }
    std::string lockPath = std::string("/tmp/tessaril-x11-tests") + display + ".lock";
    for (char& c : lockPath) {
      if (c == ':') c = '_';
    }
    lock_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock_, 0);
    ASSERT_EQ(flock(lock_, LOCK_EX), 0);
    ASSERT_TRUE(xThreadsReady);
    host::clockUseReal();
    std::string error;
    ASSERT_TRUE(host::selectBackend("x11", &error)) << error;
    setenv("TESSARIL_TRAY", "xembed", 1);  // the tray host's icon, even where a desktop's watcher runs
    host::resetHost();
    received().clear();
    WNDCLASS wc{};
    wc.lpfnWndProc = testProc;
    wc.lpszClassName = u"Tessaril";
    ASSERT_NE(RegisterClassW(&wc), 0);
  }

  void TearDown() override {
    for (pid_t child : children_) stop(child);
    if (lock_ >= 0) {
      host::resetHost();
      close(lock_);  // releases the lock
    }
    if (probe_ != nullptr) XCloseDisplay(probe_);
  }

  // A full-screen window like the player's, shown and painted.
  HWND makeFullScreenWindow() {
    HWND w = CreateWindowExW(0, u"Tessaril", u"Tessaril", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    if (w != nullptr) {
      ShowWindow(w, SW_SHOWNORMAL);
      SetForegroundWindow(w);
      UpdateWindow(w);
    }
    return w;
  }

  ::Window xWindowOf(HWND w) {
    host::Window* record = host::localWindow(w);
    return record != nullptr && record->backendData != nullptr
               ? static_cast<host::X11Window*>(record->backendData)->id
               : 0;
  }

  // Starts a helper program that TearDown stops if the test does not.
  pid_t start(const std::vector<std::string>& args) {
    pid_t pid = spawn(args);
    if (pid > 0) children_.push_back(pid);
    return pid;
  }
  void finish(pid_t pid) {
    stop(pid);
    children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
  }

  Display* probe_ = nullptr;
  int lock_ = -1;
  std::vector<pid_t> children_;
};

TEST_F(X11Backend, AFullScreenWindowShowsItsPresentedPixelsAndItsNames) {
  HWND w = makeFullScreenWindow();
  ASSERT_NE(w, nullptr);
  int width = DisplayWidth(probe_, DefaultScreen(probe_)), height = DisplayHeight(probe_, DefaultScreen(probe_));
  RECT r;
  GetClientRect(w, &r);
  EXPECT_EQ(r.right, width);
  EXPECT_EQ(r.bottom, height);
  bool shown = pumpUntil([&] {
    return rootPixel(probe_, width / 4, height / 2) == rgbOf(leftColour) &&
           rootPixel(probe_, width * 3 / 4, height / 2) == rgbOf(rightColour) &&
           rootPixel(probe_, 0, 0) == rgbOf(leftColour) && rootPixel(probe_, width - 1, height - 1) == rgbOf(rightColour);
  });
  EXPECT_TRUE(shown) << "root pixel " << std::hex << rootPixel(probe_, width / 4, height / 2);

  ::Window id = xWindowOf(w);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(textProperty(probe_, id, XInternAtom(probe_, "_NET_WM_NAME", False),
                         XInternAtom(probe_, "UTF8_STRING", False)),
            "Tessaril");
  char* name = nullptr;
  ASSERT_NE(XFetchName(probe_, id, &name), 0);
  EXPECT_STREQ(name, "Tessaril");
  XFree(name);
  XClassHint hint{};
  ASSERT_NE(XGetClassHint(probe_, id, &hint), 0);
  EXPECT_STREQ(hint.res_class, "Tessaril");
  XFree(hint.res_name);
  XFree(hint.res_class);

  // Hidden, the window leaves the screen.
  ShowWindow(w, SW_HIDE);
  XWindowAttributes attributes;
  ASSERT_NE(XGetWindowAttributes(probe_, id, &attributes), 0);
  EXPECT_EQ(attributes.map_state, IsUnmapped);
}

TEST_F(X11Backend, ARealClickAndEnterBecomeTheirMessages) {
  HWND w = makeFullScreenWindow();
  ASSERT_NE(w, nullptr);
  ::Window id = xWindowOf(w);
  ASSERT_TRUE(pumpUntil([&] {
    ::Window focus;
    int revert;
    XGetInputFocus(probe_, &focus, &revert);
    return focus == id;
  })) << "the full-screen window never took the keyboard focus";

  ASSERT_TRUE(run("xdotool mousemove 50 60 click 1"));
  ASSERT_TRUE(pumpUntil([] { return receivedMessage(WM_LBUTTONUP, 0); }));
  bool down = false;
  for (const Received& m : received()) {
    if (m.message == WM_LBUTTONDOWN) {
      down = true;
      EXPECT_EQ(m.wParam, WPARAM(MK_LBUTTON));
      EXPECT_EQ(m.lParam, MAKELPARAM(50, 60));
    }
  }
  EXPECT_TRUE(down);

  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_TRUE(pumpUntil([] { return receivedMessage(WM_KEYDOWN, VK_RETURN); }));
  ASSERT_TRUE(run("xdotool key Escape space"));
  EXPECT_TRUE(pumpUntil([] { return receivedMessage(WM_KEYDOWN, VK_ESCAPE) && receivedMessage(WM_KEYDOWN, VK_SPACE); }));
}

TEST_F(X11Backend, TheSnapshotReadsTheRootWindowsBackground) {
  ASSERT_TRUE(run("xsetroot -solid '#336699'"));
  host::Surface screen = host::screenSnapshot();
  ASSERT_EQ(screen.width, DisplayWidth(probe_, DefaultScreen(probe_)));
  ASSERT_EQ(screen.height, DisplayHeight(probe_, DefaultScreen(probe_)));
  EXPECT_EQ(screen.row(5)[5], 0xFF336699u);
  EXPECT_EQ(screen.row(screen.height - 1)[screen.width - 1], 0xFF336699u);

  // As the painter takes it: a BitBlt of the desktop's DC into a bitmap.
  HDC desktop = GetDC(GetDesktopWindow());
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(desktop, 8, 8);
  HGDIOBJ old = SelectObject(memory, bitmap);
  ASSERT_TRUE(BitBlt(memory, 0, 0, 8, 8, desktop, 100, 100, SRCCOPY));
  host::Surface* copy = host::dcSurface(memory);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->row(7)[7], 0xFF336699u);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(GetDesktopWindow(), desktop);
}

TEST_F(X11Backend, AMessageBoxIsATitledModalDialogThatEnterCloses) {
  HWND owner = CreateWindowExW(0, u"Tessaril", nullptr, 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  ASSERT_NE(SetTimer(owner, 7, 20, nullptr), 0u);  // ticks on behind the box

  std::atomic<bool> found{false}, focused{false}, fallback{false};
  std::string wmName;
  std::thread user([&] {
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
      PostQuitMessage(0);
      return;
    }
    Atom netName = XInternAtom(d, "_NET_WM_NAME", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
    ::Window box = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (box == 0 && std::chrono::steady_clock::now() < end) {
      box = findViewable(d, DefaultRootWindow(d), netName, utf8, "メッセージ");
      if (box == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (box != 0) {
      found = true;
      char* name = nullptr;
      if (XFetchName(d, box, &name) != 0 && name != nullptr) {
        wmName = name;
        XFree(name);
      }
      XTextProperty text;
      if (XGetWMName(d, box, &text) != 0) {
        char** list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(d, &text, &list, &n) >= Success && n > 0) wmName = list[0];
        if (list != nullptr) XFreeStringList(list);
        XFree(text.value);
      }
      end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
      while (!focused && std::chrono::steady_clock::now() < end) {
        ::Window focus;
        int revert;
        XGetInputFocus(d, &focus, &revert);
        focused = focus == box;
        if (!focused) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      // Leave the box open for several periods of the owner's 20 ms timer, so the
      // check that it ticked behind the box cannot race a fast answer.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      run("xdotool key Return");
      end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
      while (inTree(d, DefaultRootWindow(d), box) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      fallback = inTree(d, DefaultRootWindow(d), box);
    }
    XCloseDisplay(d);
    // A box that was not found or not closed: a pending quit ends its modal
    // loop, so the test fails instead of waiting for ever.
    if (!found || fallback) PostQuitMessage(0);
  });
  int answer = MessageBoxW(owner, u"常駐を解除します", u"メッセージ", MB_OK);
  user.join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(found) << "no shown window titled メッセージ";
  EXPECT_EQ(wmName, "メッセージ");
  EXPECT_TRUE(focused) << "the box did not take the keyboard focus";
  EXPECT_FALSE(fallback) << "Enter did not close the box";
  EXPECT_TRUE(receivedMessage(WM_TIMER, 7)) << "the owner's timer did not run behind the box";
}

TEST_F(X11Backend, TheTrayIconDocksInATrayHostAndItsClickIsTheCallback) {
  std::vector<std::string> trayer = {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", "100", "--heighttype", "pixel", "--height", "24",
                                     "--SetDockType", "false", "--SetPartialStrut", "false"};
  Atom selection = XInternAtom(probe_, "_NET_SYSTEM_TRAY_S0", False);
  auto trayRuns = [&] { return XGetSelectionOwner(probe_, selection) != 0; };
  ASSERT_FALSE(trayRuns()) << "a tray host runs already";
  pid_t host1 = start(trayer);
  ASSERT_GT(host1, 0);
  ASSERT_TRUE(pumpUntil(trayRuns)) << "trayer did not take the tray selection";

  HWND w = CreateWindowExW(0, u"Tessaril", nullptr, 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  NOTIFYICONDATA data{};
  data.cbSize = sizeof data;
  data.hWnd = w;
  data.uID = 0x465;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = 0x465;
  data.hIcon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0));
  ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
  bool docked = pumpUntil([&] { return host::trayIconDocked(w, 0x465); });
  ::Window icon = host::trayIconWindow(w, 0x465);
  EXPECT_TRUE(docked);
  char* name = nullptr;
  if (icon != 0 && XFetchName(probe_, icon, &name) != 0) {
    EXPECT_STREQ(name, "Tessaril");
    XFree(name);
  }

  if (docked) {
    pumpUntil([&] {  // embedded and mapped in the tray
      XWindowAttributes a;
      return XGetWindowAttributes(probe_, icon, &a) != 0 && a.map_state == IsViewable;
    });
    EXPECT_TRUE(run("xdotool mousemove --window " + std::to_string(icon) + " 4 4 click 1"));
    EXPECT_TRUE(pumpUntil([] { return receivedMessage(0x465, 0x465) && received().back().lParam == WM_LBUTTONUP; }));
    std::vector<LPARAM> callbacks;
    for (const Received& m : received()) {
      if (m.message == 0x465) {
        EXPECT_EQ(m.wParam, WPARAM(0x465));
        callbacks.push_back(m.lParam);
      }
    }
    EXPECT_EQ(callbacks, (std::vector<LPARAM>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  }

  // The tray host ends and another starts: the icon docks with the new one.
  finish(host1);
  ASSERT_TRUE(pumpUntil([&] { return !trayRuns(); }));
  pid_t host2 = start(trayer);
  ASSERT_GT(host2, 0);
  EXPECT_TRUE(pumpUntil([&] { return trayRuns() && host::trayIconDocked(w, 0x465); }))
      << "the icon did not dock with the restarted tray host";
  ::Window again = host::trayIconWindow(w, 0x465);

  ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
  EXPECT_FALSE(again != 0 && inTree(probe_, DefaultRootWindow(probe_), again)) << "NIM_DELETE left the icon window";
  finish(host2);
  pumpUntil([&] { return !trayRuns(); });
  DestroyIcon(data.hIcon);
}

// While a status notifier watcher runs the icon is its item and the tray host
// gets none; when the watcher goes the icon docks in the tray host, and a
// watcher that comes back takes it over again.
TEST_F(X11Backend, TheXEmbedIconStandsInForTheStatusNotifierItemWhileNoWatcherRuns) {
  dbustest::PrivateBus bus;
  ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
  unsetenv("TESSARIL_TRAY");
  dbustest::Watcher watcher;
  ASSERT_TRUE(watcher.start(bus.address));
  std::vector<std::string> trayer = {"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", "100", "--heighttype", "pixel", "--height", "24",
                                     "--SetDockType", "false", "--SetPartialStrut", "false"};
  Atom selection = XInternAtom(probe_, "_NET_SYSTEM_TRAY_S0", False);
  pid_t tray = start(trayer);
  ASSERT_TRUE(pumpUntil([&] { return XGetSelectionOwner(probe_, selection) != 0; })) << "trayer did not start";

  HWND w = CreateWindowExW(0, u"Tessaril", nullptr, 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  NOTIFYICONDATA data{};
  data.cbSize = sizeof data;
  data.hWnd = w;
  data.uID = 7;
  data.uFlags = NIF_ICON;
  data.hIcon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0));
  ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
  EXPECT_TRUE(pumpUntil([&] { return !watcher.onlyItem().empty(); })) << "the watcher did not get the item";
  EXPECT_EQ(host::trayIconWindow(w, 7), 0u) << "an XEmbed icon beside the item";

  watcher.stop();
  EXPECT_TRUE(pumpUntil([&] { return host::trayIconDocked(w, 7); })) << "no XEmbed icon when the watcher went";
  ASSERT_TRUE(watcher.start(bus.address));
  EXPECT_TRUE(pumpUntil([&] { return !watcher.onlyItem().empty() && host::trayIconWindow(w, 7) == 0; }))
      << "the returning watcher did not take the icon over";

  ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
  EXPECT_TRUE(pumpUntil([&] { return watcher.items().empty(); })) << "the item stayed on the bus";
  watcher.stop();
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  finish(tray);
  pumpUntil([&] { return XGetSelectionOwner(probe_, selection) == 0; });
  DestroyWindow(w);
  DestroyIcon(data.hIcon);
}

}  // namespace
