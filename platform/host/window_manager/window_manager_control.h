// Host control of the window manager: what tools and tests read of the
// windows and the message boxes, and where the single-instance sockets live.
//
// For the user-interface thread, except messageBoxesShown (any thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_manager.h"

namespace host {

// ---- windows ----

// This process's windows, bottom of the z-order first.
std::vector<HWND> windowsInZOrder();
// Shown (not hidden, not minimised).
bool windowIsShown(HWND window);
// How many times EndPaint showed the window.
uint64_t windowFrameCount(HWND window);

// ---- message boxes ----

struct MessageBoxRecord {
  HWND owner;
  std::u16string caption;
  std::u16string text;
  UINT style;
  int64_t shownAtMs;  // host clock
};

// Every box shown since the last reset, oldest first.
std::vector<MessageBoxRecord> messageBoxesShown();

// ---- single instance ----

// The directory of the single-instance sockets (empty: $XDG_RUNTIME_DIR, else
// a private /tmp/tessaril-<uid>). It must be a directory of this user that
// nobody else can write, or no socket is used.
void setInstanceDirectory(const std::string& directory);
// The socket that windows of the class listen on; empty without a safe directory.
std::string instanceSocketPath(const std::u16string& className);

}  // namespace host
