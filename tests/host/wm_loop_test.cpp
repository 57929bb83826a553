// The message loop: retrieval order, timers on the virtual clock, posting from
// other threads, the quit, key translation.
#include <thread>

#include "tests/host/wm_fixture.h"

namespace wmtest {
namespace {

// Retrieves n messages and dispatches them; their numbers in order.
std::vector<UINT> takeMessages(int n) {
  std::vector<UINT> out;
  MSG m;
  for (int i = 0; i < n && GetMessageW(&m, nullptr, 0, 0) > 0; ++i) {
    out.push_back(m.message);
    DispatchMessageW(&m);
  }
  return out;
}

using RetrievalOrder = HostTest;

// Posted messages, then the paint, then the timer; and one late timer
// message, not one for every period missed, then back on the timer's grid.
TEST_F(RetrievalOrder, PostedThenPaintThenAtMostOneLateTimer) {
  HWND w = makeWindow();  // shown and needing paint
  SetTimer(w, 9, 100, nullptr);
  host::clockAdvanceTo(350);  // three periods have passed
  PostMessageW(w, WM_USER + 1, 0, 0);
  PostMessageW(w, WM_USER + 2, 0, 0);
  EXPECT_EQ(takeMessages(5), (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_PAINT, WM_TIMER, WM_TIMER}));
  EXPECT_EQ(timesOf(WM_TIMER), (std::vector<int64_t>{350, 400}));
}

TEST_F(RetrievalOrder, QuitComesAfterWhatWasPostedAndCarriesTheCode) {
  HWND w = makeWindow(0);
  PostMessageW(w, WM_USER + 1, 0, 0);
  PostQuitMessage(5);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  EXPECT_EQ(m.message, UINT(WM_USER + 1));
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
}

TEST_F(RetrievalOrder, AWindowFilterSkipsOtherWindowsMessagesAndStillWaitsForTimers) {
  HWND a = makeWindow(0);
  HWND b = makeWindow(0);
  PostMessageW(a, WM_USER + 1, 0, 0);
  SetTimer(b, 4, 300, nullptr);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, b, 0, 0), TRUE);  // a's post stays queued; the clock moves on
  EXPECT_EQ(m.message, UINT(WM_TIMER));
  EXPECT_EQ(host::clockNowMs(), 300);
  ASSERT_EQ(GetMessageW(&m, nullptr, WM_USER, WM_USER + 10), TRUE);
  EXPECT_EQ(m.hwnd, a);
}

TEST_F(RetrievalOrder, AWindowThatDeclinesItsPaintDoesNotSpinTheLoop) {
  recorder().paintValidates = false;
  HWND w = makeWindow();
  SetTimer(w, 1, 100, nullptr);
  EXPECT_EQ(takeMessages(5), (std::vector<UINT>{WM_PAINT, WM_TIMER, WM_PAINT, WM_TIMER, WM_PAINT}));
  EXPECT_EQ(host::clockNowMs(), 200);
}

TEST_F(RetrievalOrder, EnterBecomesACharacterBeforeTheKeyRelease) {
  makeWindow(0);
  host::injectKey(VK_RETURN);
  MSG m;
  std::vector<std::pair<UINT, WPARAM>> seen;
  for (int i = 0; i < 3 && GetMessageW(&m, nullptr, 0, 0) > 0; ++i) {
    seen.push_back({m.message, m.wParam});
    TranslateMessage(&m);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, VK_RETURN}, {WM_CHAR, '\r'}, {WM_KEYUP, VK_RETURN}}));
}

using Timers = HostTest;

TEST_F(Timers, NextDueIsLastDuePlusPeriodWhateverTheHandlerTakes) {
  HWND w = makeWindow(0);
  recorder().handler = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_TIMER) Sleep(30);  // advances the virtual clock
    return 0;
  };
  SetTimer(w, 1, 100, nullptr);
  takeMessages(3);
  EXPECT_EQ(timesOf(WM_TIMER), (std::vector<int64_t>{100, 200, 300}));
}

TEST_F(Timers, TheVirtualClockJumpsStraightToTheNextTimer) {
  HWND w = makeWindow(0);
  SetTimer(w, 1, 5000, nullptr);
  SetTimer(w, 2, 2000, nullptr);
  const struct {
    WPARAM id;
    int64_t atMs;
  } expected[] = {{2, 2000}, {2, 4000}, {1, 5000}};
  for (const auto& e : expected) {
    MSG m;
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.wParam, e.id);
    EXPECT_EQ(host::clockNowMs(), e.atMs);
  }
}

TEST_F(Timers, SetTimerWithTheSameIdReplacesAndKillTimerStops) {
  HWND w = makeWindow(0);
  EXPECT_EQ(SetTimer(w, 0x7FFF, 100, nullptr), 0x7FFFu);
  host::clockAdvanceTo(50);
  EXPECT_EQ(SetTimer(w, 0x7FFF, 300, nullptr), 0x7FFFu);
  SetTimer(w, 2, 500, nullptr);
  takeMessages(1);
  EXPECT_EQ(timesOf(WM_TIMER), (std::vector<int64_t>{350}));
  EXPECT_TRUE(KillTimer(w, 0x7FFF));
  EXPECT_FALSE(KillTimer(w, 0x7FFF));
  takeMessages(1);
  EXPECT_EQ(timesOf(WM_TIMER), (std::vector<int64_t>{350, 550}));  // timer 2, set at 50
  EXPECT_EQ(receivedOf(WM_TIMER)[1].wParam, 2u);
}

int procTimerCalls = 0;
void countingTimerProc(HWND, UINT, uintptr_t, DWORD) { ++procTimerCalls; }

TEST_F(Timers, ThreadTimerWithProcedureGetsAnIdAndCallsIt) {
  procTimerCalls = 0;
  uintptr_t id = SetTimer(nullptr, 0, 50, countingTimerProc);
  ASSERT_NE(id, 0u);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  EXPECT_EQ(m.message, UINT(WM_TIMER));
  EXPECT_EQ(m.wParam, id);
  DispatchMessageW(&m);
  EXPECT_EQ(procTimerCalls, 1);
  EXPECT_TRUE(KillTimer(nullptr, id));
}

using CrossThreadPosts = HostTest;

struct Relay {
  HANDLE go;
  HWND window;
};

// With nothing due, the loop blocks until another thread posts; with a timer
// due, the virtual clock waits for a thread it woke before it jumps.
TEST_F(CrossThreadPosts, APostWakesABlockedLoopAndTheClockWaitsForAWokenThread) {
  HWND w = makeWindow(0);
  std::thread poster([w] { PostMessageW(w, WM_USER + 7, 42, 0); });
  MSG m;
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  poster.join();
  EXPECT_EQ(std::make_pair(m.message, m.wParam), std::make_pair(UINT(WM_USER + 7), WPARAM(42)));
  Relay relay{CreateEventW(nullptr, FALSE, FALSE, nullptr), w};
  auto relayThread = [](LPVOID parameter) -> DWORD {
    Relay* r = static_cast<Relay*>(parameter);
    WaitForSingleObject(r->go, INFINITE);
    return PostMessageW(r->window, WM_USER + 8, 0, 0) ? 0 : 1;
  };
  HANDLE thread = CreateThread(nullptr, 0, relayThread, &relay, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  SetTimer(w, 1, 1000, nullptr);
  SetEvent(relay.go);
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  EXPECT_EQ(m.message, UINT(WM_USER + 8));  // before the timer, at virtual time 0
  EXPECT_EQ(host::clockNowMs(), 0);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(relay.go);
}

}  // namespace
}  // namespace wmtest
