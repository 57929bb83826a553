// Shared set-up of the window-manager tests: a fresh host on the virtual clock,
// and a window procedure that records what it receives.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/runtime/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/platform.h"
#include "tests/support/test_files.h"

namespace wmtest {

struct Received {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  int64_t atMs;  // host clock when the procedure saw it
};

// What the recording procedure saw, and what it should do for a message.
struct Recorder {
  std::vector<Received> log;
  std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;  // called first; may be empty
  bool paintValidates = true;                                 // WM_PAINT does BeginPaint/EndPaint
};

inline Recorder& recorder() {
  static Recorder r;
  return r;
}

inline LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  recorder().log.push_back(Received{window, message, wParam, lParam, host::clockNowMs()});
  if (recorder().handler) {
    LRESULT handled = recorder().handler(window, message, wParam, lParam);
    if (handled != 0) return handled;
  }
  if (message == WM_PAINT) {
    if (recorder().paintValidates) {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Messages of one kind in the log, in order.
inline std::vector<Received> receivedOf(UINT message) {
  std::vector<Received> out;
  for (const Received& r : recorder().log) {
    if (r.message == message) out.push_back(r);
  }
  return out;
}

// The messages of the given kinds in the log, in the order they arrived.
inline std::vector<UINT> orderOf(std::initializer_list<UINT> kinds) {
  std::vector<UINT> out;
  for (const Received& r : recorder().log) {
    if (std::find(kinds.begin(), kinds.end(), r.message) != kinds.end()) out.push_back(r.message);
  }
  return out;
}

// The host clock times at which messages of one kind arrived, in order.
inline std::vector<int64_t> timesOf(UINT message) {
  std::vector<int64_t> out;
  for (const Received& r : receivedOf(message)) out.push_back(r.atMs);
  return out;
}

// A fresh host on a virtual clock starting 2024-05-01 12:00:00, with the
// class "WmTest" registered for the recording procedure.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SYSTEMTIME start{};
    ASSERT_TRUE(host::parseLocalTime("2024-05-01T12:00:00", &start));
    host::clockUseVirtual(start);
    host::resetHost();
    // Each test process keeps its single-instance sockets to itself.
    socketDirectory = test_files::scratchDir("tessaril-wmtest");
    ASSERT_FALSE(socketDirectory.empty());
    host::setInstanceDirectory(socketDirectory);
    recorder() = Recorder{};
    WNDCLASS c{};
    c.lpfnWndProc = recordingProc;
    c.lpszClassName = u"WmTest";
    ASSERT_NE(RegisterClassW(&c), 0);
  }
  void TearDown() override {
    host::resetHost();
    host::setInstanceDirectory(std::string());
    recorder() = Recorder{};
    host::clockUseReal();
    std::error_code ignored;
    if (!socketDirectory.empty()) std::filesystem::remove_all(socketDirectory, ignored);
  }

  std::string socketDirectory;

  // A shown full-screen window of the test class.
  HWND makeWindow(DWORD style = WS_VISIBLE) {
    return CreateWindowExW(0, u"WmTest", u"test", style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  }

  // Retrieves and dispatches until `done` says so or the quit arrives.
  void pumpUntil(const std::function<bool()>& done) {
    MSG m;
    while (!done() && GetMessageW(&m, nullptr, 0, 0) > 0) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
};

}  // namespace wmtest
