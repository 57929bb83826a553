// Windows: creation and destruction order, visibility, z-order, painting and
// the client rectangle.
#include "tests/host/wm_fixture.h"

namespace wmtest {
namespace {

using WindowCreation = HostTest;

// WM_CREATE arrives inside the call with its arguments; a full-screen window
// is as large as the screen, whatever its size, and so is the desktop.
TEST_F(WindowCreation, WmCreateArrivesInsideTheCallAndAFullScreenWindowCoversTheScreen) {
  ASSERT_TRUE(host::setScreenSize(320, 240));
  int marker = 7;
  recorder().handler = [&](HWND, UINT message, WPARAM, LPARAM lParam) -> LRESULT {
    if (message == WM_CREATE) {
      const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      EXPECT_EQ(cs->lpCreateParams, &marker);
      EXPECT_EQ(cs->cx, 320);
      EXPECT_EQ(cs->cy, 240);
    }
    return 0;
  };
  HWND w = CreateWindowExW(0, u"WmTest", u"t", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, &marker);
  ASSERT_NE(w, nullptr);
  ASSERT_FALSE(recorder().log.empty());  // received before the call returned, nothing pumped
  EXPECT_EQ(recorder().log.front().message, UINT(WM_CREATE));
  EXPECT_EQ(recorder().log.front().window, w);
  EXPECT_TRUE(host::windowIsShown(w));
  for (HWND window : {w, GetDesktopWindow()}) {
    RECT r{};
    ASSERT_TRUE(GetClientRect(window, &r));
    EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.right, r.bottom}), std::vector<LONG>({0, 0, 320, 240}));
  }
}

TEST_F(WindowCreation, DestroyedDuringItsOwnCreateOrAnsweringMinusOneGivesNull) {
  const std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handlers[] = {
      [](HWND window, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_CREATE) DestroyWindow(window);
        return 0;
      },
      [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT { return message == WM_CREATE ? -1 : 0; }};
  for (const auto& handler : handlers) {
    recorder() = Recorder{};
    recorder().handler = handler;
    EXPECT_EQ(makeWindow(), nullptr);
    EXPECT_EQ(receivedOf(WM_DESTROY).size(), 1u);
    EXPECT_TRUE(host::windowsInZOrder().empty());
  }
}

// Class names ignore case: in registering, and in finding a window by class and title.
TEST_F(WindowCreation, UnknownClassAndDuplicateClassFailAndFindWindowMatchesClassAndTitle) {
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", nullptr, 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
  WNDCLASS again{};
  again.lpfnWndProc = recordingProc;
  again.lpszClassName = u"wmtest";  // class names ignore case
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
  HWND w = makeWindow();
  EXPECT_EQ(FindWindowW(u"WmTest", nullptr), w);
  EXPECT_EQ(FindWindowW(u"WMTEST", u"test"), w);
  EXPECT_EQ(FindWindowW(u"WmTest", u"other"), nullptr);
}

using WindowDestruction = HostTest;

// The handle is stale afterwards, and every call on it, or on a handle that is
// no window, fails without harm.
TEST_F(WindowDestruction, SendsDestroyDropsTimersAndQueuedMessagesAndLeavesAStaleHandle) {
  HWND w = makeWindow();
  ASSERT_NE(SetTimer(w, 1, 10, nullptr), 0u);
  ASSERT_TRUE(PostMessageW(w, WM_USER + 1, 0, 0));
  recorder().handler = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_DESTROY) PostQuitMessage(3);
    return 0;
  };
  ASSERT_TRUE(DestroyWindow(w));
  EXPECT_EQ(receivedOf(WM_DESTROY).size(), 1u);
  EXPECT_FALSE(DestroyWindow(w));
  EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
  RECT r{};
  EXPECT_FALSE(GetClientRect(w, &r));
  EXPECT_FALSE(ShowWindow(w, SW_SHOWNORMAL));
  EXPECT_FALSE(InvalidateRect(w, nullptr, FALSE));
  EXPECT_FALSE(UpdateWindow(w));
  EXPECT_EQ(SetTimer(w, 1, 10, nullptr), 0u);
  EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(uintptr_t(0x5A5A)), WM_USER, 0, 0));
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_FALSE(ShowWindow(static_cast<HWND>(event), SW_SHOWNORMAL));  // not a window
  CloseHandle(event);
  MSG m;
  EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), 0);  // neither the post nor the timer, only the quit
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_TRUE(receivedOf(WM_USER + 1).empty());
  EXPECT_EQ(KillTimer(w, 1), FALSE);
}

TEST_F(WindowDestruction, DestroyingFromInsideItsOwnMessageIsSafe) {
  recorder().handler = [](HWND window, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_LBUTTONDOWN) DestroyWindow(window);
    return 0;
  };
  HWND w = makeWindow();
  host::injectTap(5, 5);
  pumpUntil([] { return !receivedOf(WM_DESTROY).empty(); });
  EXPECT_EQ(receivedOf(WM_LBUTTONUP).size(), 0u);  // the release went with the window
  EXPECT_EQ(host::windowIsShown(w), false);
}

using WindowState = HostTest;

// A window hidden during its WM_CREATE stays hidden despite WS_VISIBLE.
TEST_F(WindowState, HiddenDuringCreateStaysHiddenAndShowWindowReportsTheFormerVisibility) {
  recorder().handler = [](HWND window, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_CREATE) {
      ShowWindow(window, SW_MINIMIZE);
      ShowWindow(window, SW_HIDE);
    }
    return 0;
  };
  HWND w = makeWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(host::windowIsShown(w));
  EXPECT_EQ(ShowWindow(w, SW_SHOWNORMAL), FALSE);
  EXPECT_TRUE(host::windowIsShown(w));
  EXPECT_NE(ShowWindow(w, SW_MINIMIZE), FALSE);
  EXPECT_FALSE(host::windowIsShown(w));
  EXPECT_NE(ShowWindow(w, SW_HIDE), FALSE);  // minimised still counted as visible
  EXPECT_EQ(ShowWindow(w, SW_HIDE), FALSE);
}

TEST_F(WindowState, ForegroundAcceptsTheOwnedWindowsBitAndRaises) {
  HWND a = makeWindow();
  HWND b = makeWindow();
  ASSERT_EQ(host::windowsInZOrder().back(), b);
  recorder().log.clear();
  EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(a) | 1)));
  EXPECT_EQ(host::windowsInZOrder().back(), a);
  std::vector<Received> activations = receivedOf(WM_ACTIVATE);
  ASSERT_EQ(activations.size(), 1u);
  EXPECT_EQ(activations[0].window, a);
  EXPECT_EQ(activations[0].wParam, WPARAM(WA_ACTIVE));
  EXPECT_FALSE(SetForegroundWindow(reinterpret_cast<HWND>(uintptr_t(0x1235))));
}

using Painting = HostTest;

TEST_F(Painting, UpdateWindowPaintsAtOnceOnlyWhenInvalid) {
  HWND w = makeWindow();
  ASSERT_TRUE(UpdateWindow(w));  // a new shown window needs painting
  ASSERT_EQ(receivedOf(WM_PAINT).size(), 1u);
  ASSERT_TRUE(UpdateWindow(w));  // painted: nothing to do
  EXPECT_EQ(receivedOf(WM_PAINT).size(), 1u);
  InvalidateRect(w, nullptr, FALSE);
  UpdateWindow(w);
  EXPECT_EQ(receivedOf(WM_PAINT).size(), 2u);
  EXPECT_EQ(host::windowFrameCount(w), 2u);
}

TEST_F(Painting, AWindowThatDoesNotPaintStaysInvalidAndHiddenOnesAreNotPainted) {
  recorder().paintValidates = false;
  HWND w = makeWindow();
  UpdateWindow(w);
  UpdateWindow(w);
  EXPECT_EQ(receivedOf(WM_PAINT).size(), 2u);
  EXPECT_EQ(host::windowFrameCount(w), 0u);
  recorder() = Recorder{};
  HWND hidden = makeWindow(0);
  UpdateWindow(hidden);
  EXPECT_TRUE(receivedOf(WM_PAINT).empty());
  ShowWindow(hidden, SW_SHOWNORMAL);
  UpdateWindow(hidden);
  EXPECT_EQ(receivedOf(WM_PAINT).size(), 1u);
}

}  // namespace
}  // namespace wmtest
