// The x11 backend in this process on a real X server (scripts/test starts
// Xvfb): presented pixels on the screen, real clicks and keys as messages, the
// screen snapshot, the modal message box, and the tray icon in a real tray
// host, or on the session bus while a status notifier watcher runs. (A tray
// host that restarts: the player's own test in x11_player_test.cpp.)
#include <gtest/gtest.h>

#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "tests/host/dbus_test_bus.h"
// After gtest's and the host's headers: Xlib's macros (None) would rewrite them.
#include "platform/host/x11/x11_state.h"
#include "tests/x11/x11_harness.h"

#include <atomic>
#include <optional>
#include <thread>

namespace {

using namespace x11_harness;

// The test thread and the helper threads each use their own connection.
const bool xThreadsReady = XInitThreads() != 0;

struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<Received> received;  // every message of this process's windows

constexpr COLORREF kLeft = RGB(200, 30, 40), kRight = RGB(20, 140, 230);
constexpr uint32_t kLeftRgb = 0xC81E28, kRightRgb = 0x148CE6;

// Records every message; paints the left half and the right half in two colours.
LRESULT testProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back(Received{message, wParam, lParam});
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT r;
  GetClientRect(window, &r);
  for (int half = 0; half < 2; ++half) {
    HBRUSH brush = CreateSolidBrush(half == 0 ? kLeft : kRight);
    HGDIOBJ old = SelectObject(dc, brush);
    PatBlt(dc, half * (r.right / 2), 0, half == 0 ? r.right / 2 : r.right - r.right / 2, r.bottom, PATCOPY);
    SelectObject(dc, old);
    DeleteObject(brush);
  }
  EndPaint(window, &paint);
  return 0;
}

// Whether a message arrived with these parameters (with any lParam when none is given).
bool receivedMessage(UINT message, WPARAM wParam, std::optional<LPARAM> lParam = std::nullopt) {
  for (const Received& r : received) {
    if (r.message == message && r.wParam == wParam && (!lParam || r.lParam == *lParam)) return true;
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

class X11Backend : public X11Screen {
 protected:
  void SetUp() override {
    X11Screen::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(xThreadsReady);
    host::clockUseReal();
    std::string error;
    ASSERT_TRUE(host::selectBackend("x11", &error)) << error;
    setenv("TESSARIL_TRAY", "xembed", 1);  // the tray host's icon, even where a desktop's watcher runs
    host::resetHost();
    hostReset_ = true;
    received.clear();
    WNDCLASS wc{};
    wc.lpfnWndProc = testProc;
    wc.lpszClassName = u"Tessaril";
    ASSERT_NE(RegisterClassW(&wc), 0);
  }

  void TearDown() override {
    if (hostReset_) host::resetHost();
    X11Screen::TearDown();
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

  // Adds the program's icon for a hidden window as id; its data, for NIM_DELETE.
  NOTIFYICONDATA addIcon(UINT id, UINT flags) {
    NOTIFYICONDATA data{};
    data.cbSize = sizeof data;
    data.hWnd = CreateWindowExW(0, u"Tessaril", nullptr, 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    data.uID = id;
    data.uFlags = flags;
    data.uCallbackMessage = id;
    data.hIcon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(data.hWnd, nullptr);
    EXPECT_TRUE(Shell_NotifyIcon(NIM_ADD, &data));
    return data;
  }

  // The icon learns of a tray host from messages this process dispatches,
  // unless a test holds them back.
  bool waitFor(const std::function<bool()>& done) override {
    return holdMessages_ ? waitUntil(done) : pumpUntil(done);
  }

  bool hostReset_ = false;
  bool holdMessages_ = false;
};

TEST_F(X11Backend, AFullScreenWindowShowsItsPresentedPixelsAndItsNamesAndARealClickAndKeysBecomeItsMessages) {
  HWND w = makeFullScreenWindow();
  ASSERT_NE(w, nullptr);
  int width = DisplayWidth(probe_, DefaultScreen(probe_)), height = DisplayHeight(probe_, DefaultScreen(probe_));
  RECT r;
  GetClientRect(w, &r);
  EXPECT_EQ(r.right, width);
  EXPECT_EQ(r.bottom, height);
  bool shown = pumpUntil([&] {
    return rootPixel(probe_, width / 4, height / 2) == kLeftRgb && rootPixel(probe_, width * 3 / 4, height / 2) == kRightRgb &&
           rootPixel(probe_, 0, 0) == kLeftRgb && rootPixel(probe_, width - 1, height - 1) == kRightRgb;
  });
  EXPECT_TRUE(shown) << "root pixel " << std::hex << rootPixel(probe_, width / 4, height / 2);

  ::Window id = xWindowOf(w);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(windowName(probe_, id), "Tessaril");  // _NET_WM_NAME
  char* name = nullptr;
  ASSERT_NE(XFetchName(probe_, id, &name), 0);
  EXPECT_STREQ(name, "Tessaril");
  XFree(name);
  EXPECT_EQ(windowClass(probe_, id), "Tessaril");

  ASSERT_TRUE(pumpUntil([&] { return focusIs(probe_, id); })) << "the full-screen window never took the keyboard focus";
  ASSERT_TRUE(click(50, 60));
  ASSERT_TRUE(run("xdotool key Return Escape space"));
  const Received expected[] = {{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 60)}, {WM_LBUTTONUP, 0, MAKELPARAM(50, 60)},
                               {WM_KEYDOWN, VK_RETURN, 1}, {WM_KEYDOWN, VK_ESCAPE, 1}, {WM_KEYDOWN, VK_SPACE, 1}};
  auto arrived = [](const Received& m) { return receivedMessage(m.message, m.wParam, m.lParam); };
  pumpUntil([&] { return std::all_of(std::begin(expected), std::end(expected), arrived); });
  for (const Received& m : expected) EXPECT_TRUE(arrived(m)) << "message " << m.message << ", wParam " << m.wParam;

  // Hidden, the window leaves the screen.
  ShowWindow(w, SW_HIDE);
  EXPECT_FALSE(viewable(probe_, id));
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

  std::atomic<bool> found{false}, focused{false}, closed{false};
  std::string wmName;
  std::thread user([&] {
    Display* d = XOpenDisplay(nullptr);
    ::Window box = 0;
    if (d != nullptr && waitUntil([&] { return (box = findViewable(d, "メッセージ")) != 0; })) {
      found = true;
      XTextProperty text;  // the title as a window manager without EWMH reads it
      if (XGetWMName(d, box, &text) != 0) {
        char** list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(d, &text, &list, &n) >= Success && n > 0) wmName = list[0];
        if (list != nullptr) XFreeStringList(list);
        XFree(text.value);
      }
      focused = waitUntil([&] { return focusIs(d, box); });
      // Leave the box open for several periods of the owner's 20 ms timer, so the
      // check that it ticked behind the box cannot race a fast answer.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      run("xdotool key Return");
      closed = waitUntil([&] { return !exists(d, box); });
    }
    if (d != nullptr) XCloseDisplay(d);
    // A box that was not found or not closed: a pending quit ends its modal
    // loop, so the test fails instead of waiting for ever.
    if (!found || !closed) PostQuitMessage(0);
  });
  int answer = MessageBoxW(owner, u"常駐を解除します", u"メッセージ", MB_OK);
  user.join();
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(found) << "no shown window titled メッセージ";
  EXPECT_EQ(wmName, "メッセージ");
  EXPECT_TRUE(focused) << "the box did not take the keyboard focus";
  EXPECT_TRUE(closed) << "Enter did not close the box";
  EXPECT_TRUE(receivedMessage(WM_TIMER, 7)) << "the owner's timer did not run behind the box";
}

// The tray icon docks in a tray host and its click is the callback. Then,
// while a status notifier watcher runs, the icon is its item and the tray host
// gets none; when the watcher goes the icon docks in the tray host, and a
// watcher that comes back takes it over again.
TEST_F(X11Backend, TheTrayIconDocksInATrayHostAndStandsInForTheStatusNotifierItemWhileNoWatcherRuns) {
  // The tray host's announcement is still queued when the icon is added and
  // asks to dock: taking it later must not ask the same host twice (trayer
  // then never embeds the icon).
  holdMessages_ = true;
  ASSERT_GT(startTrayHost(), 0) << "trayer did not take the tray selection, or a tray host runs already";
  holdMessages_ = false;
  NOTIFYICONDATA data = addIcon(0x465, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  HWND w = data.hWnd;
  ASSERT_TRUE(pumpUntil([&] { return host::trayIconDocked(w, 0x465); }));
  ::Window icon = host::trayIconWindow(w, 0x465);
  EXPECT_EQ(windowName(probe_, icon), "Tessaril");
  pumpUntil([&] { return viewable(probe_, icon); });  // embedded and mapped in the tray
  EXPECT_TRUE(click(4, 4, icon));
  EXPECT_TRUE(pumpUntil([] { return receivedMessage(0x465, 0x465) && received.back().lParam == WM_LBUTTONUP; }));
  std::vector<LPARAM> callbacks;
  for (const Received& m : received) {
    if (m.message == 0x465) {
      EXPECT_EQ(m.wParam, WPARAM(0x465));
      callbacks.push_back(m.lParam);
    }
  }
  EXPECT_EQ(callbacks, (std::vector<LPARAM>{WM_LBUTTONDOWN, WM_LBUTTONUP}));

  ASSERT_TRUE(Shell_NotifyIcon(NIM_DELETE, &data));
  EXPECT_FALSE(exists(probe_, icon)) << "NIM_DELETE left the icon window";
  DestroyIcon(data.hIcon);

  dbustest::PrivateBus bus;
  ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
  unsetenv("TESSARIL_TRAY");
  dbustest::Watcher watcher;
  ASSERT_TRUE(watcher.start(bus.address));
  data = addIcon(7, NIF_ICON);
  w = data.hWnd;
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
  DestroyWindow(w);
  DestroyIcon(data.hIcon);
}

}  // namespace
