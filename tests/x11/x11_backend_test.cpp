// The x11 backend in this process on a real X server (scripts/test starts
// Xvfb): a window's names, real clicks and keys as messages, and the tray icon
// in a real tray host, or on the session bus while a status notifier watcher
// runs. What the player's process shows through the backend (presented pixels
// over the screen snapshot, the message boxes, a tray host that restarts) is
// checked on the screen in x11_player_test.cpp.
#include <gtest/gtest.h>

#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "tests/host/dbus_test_bus.h"
#include "tests/host/wm_fixture.h"
// After gtest's and the host's headers: Xlib's macros (None) would rewrite them.
#include "platform/host/x11/x11_state.h"
#include "tests/x11/x11_harness.h"

namespace {

using namespace x11_harness;

// Whether a message with these parameters reached a window of the test's
// class (whose procedure, wmtest::recordingProc, records every message).
bool receivedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  for (const wmtest::Received& r : wmtest::recorder().log) {
    if (r.message == message && r.wParam == wParam && r.lParam == lParam) return true;
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
    host::clockUseReal();
    std::string error;
    ASSERT_TRUE(host::selectBackend("x11", &error)) << error;
    setenv("TESSARIL_TRAY", "xembed", 1);  // the tray host's icon, even where a desktop's watcher runs
    host::resetHost();
    hostReset_ = true;
    wmtest::recorder() = wmtest::Recorder{};
    WNDCLASS wc{};
    wc.lpfnWndProc = wmtest::recordingProc;
    wc.lpszClassName = u"Tessaril";
    ASSERT_NE(RegisterClassW(&wc), 0);
  }

  void TearDown() override {
    if (hostReset_) host::resetHost();
    X11Screen::TearDown();
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

// A full-screen window shown as the player shows its own. (That hiding it
// unmaps it: the player's tray case, whose click stops the show.)
TEST_F(X11Backend, AFullScreenWindowShowsItsNamesAndARealClickAndKeysBecomeItsMessages) {
  HWND w = CreateWindowExW(0, u"Tessaril", u"Tessaril", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  ShowWindow(w, SW_SHOWNORMAL);
  SetForegroundWindow(w);
  host::Window* record = host::localWindow(w);
  ASSERT_TRUE(record != nullptr && record->backendData != nullptr);
  ::Window id = static_cast<host::X11Window*>(record->backendData)->id;
  // (Its WM_NAME is written with _NET_WM_NAME by one function: answerBox checks it on the boxes.)
  EXPECT_EQ(windowText(probe_, id, "_NET_WM_NAME"), "Tessaril");
  EXPECT_EQ(windowClass(probe_, id), "Tessaril");

  ASSERT_TRUE(pumpUntil([&] { return focusIs(probe_, id); })) << "the full-screen window never took the keyboard focus";
  ASSERT_TRUE(click(50, 60));
  ASSERT_TRUE(run("xdotool key Return Escape space"));
  const MSG expected[] = {{w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 60), 0, {}},
                          {w, WM_LBUTTONUP, 0, MAKELPARAM(50, 60), 0, {}}, {w, WM_KEYDOWN, VK_RETURN, 1, 0, {}},
                          {w, WM_KEYDOWN, VK_ESCAPE, 1, 0, {}}, {w, WM_KEYDOWN, VK_SPACE, 1, 0, {}}};
  auto arrived = [](const MSG& m) { return receivedMessage(m.message, m.wParam, m.lParam); };
  pumpUntil([&] { return std::all_of(std::begin(expected), std::end(expected), arrived); });
  for (const MSG& m : expected) EXPECT_TRUE(arrived(m)) << "message " << m.message << ", wParam " << m.wParam;
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
  EXPECT_TRUE(pumpUntil([] { return receivedMessage(0x465, 0x465, WM_LBUTTONUP); }));
  std::vector<LPARAM> callbacks;  // the lParam of each callback; -1 for one with another wParam than the id
  for (const wmtest::Received& m : wmtest::receivedOf(0x465)) callbacks.push_back(m.wParam == 0x465 ? m.lParam : -1);
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
  watcher.stop();
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  DestroyWindow(w);
  DestroyIcon(data.hIcon);
}

}  // namespace
