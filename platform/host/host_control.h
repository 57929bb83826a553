// Host control: what tools and tests use to drive the host from outside the
// system, the way a user and the device would: the screen, input, the tray,
// message boxes, power events, and a reset between tests.
//
// Threads: inject* and scheduleInput/addInputScript are thread-safe (the
// input is handed to the message loop, which delivers it on the
// user-interface thread); everything else is for the user-interface thread.
// The screen and input calls act on the headless backend; with another
// backend they do nothing and report false.
//
// Input script syntax (addInputScript and the TESSARIL_HEADLESS_INPUT
// environment variable): entries separated by ';', each
//     TIME:VERB[:ARG...]
// TIME is milliseconds of the host clock from its start (decimal). Blanks
// around entries and fields are allowed; an empty entry is skipped. Verbs:
//     tap:X:Y     WM_LBUTTONDOWN then WM_LBUTTONUP at screen point (X, Y), to the
//                 topmost shown window under it (client coordinates in lParam)
//     key:VK      WM_KEYDOWN then WM_KEYUP with the virtual key (13 or 0x0D: Enter)
//     close       WM_CLOSE
//     activate    WM_ACTIVATE with WA_ACTIVE
//     tray[:ID]   a tap on the tray icon with uID ID (no ID: the first icon):
//                 uCallbackMessage with wParam = uID and lParam = WM_LBUTTONDOWN,
//                 then the same with WM_LBUTTONUP
//     resume      a resume from suspend (PBT_RESUME) to the power subscribers
//     suspend     a transition into suspend (PBT_TRANSITION, POWER_STATE_SUSPEND)
//     size:W:H    the screen becomes W x H; every full-screen window follows,
//                 is invalidated and gets WM_SIZE with MAKELPARAM(W, H)
//     second:M    what a second start of the program sends: MSG_OTHER_INSTANCE
//                 (WM_USER + 100) with wParam M (0 plain, 1 resident), without
//                 a second process (so it keeps to the virtual clock)
// key, close, activate and second go to the foreground window if shown, else
// the topmost shown window, else the topmost window. Example:
//     500:tap:10:20;1200:key:13;2000:tray;2500:resume;3000:suspend;3500:size:320:240;4000:close
// The loop delivers an entry once the host clock reaches its time, before
// anything else it would retrieve then; a virtual clock jumps straight to it.
// TESSARIL_SCREEN_SIZE=WxH sets the headless screen's size at start (240x320
// when unset).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/backend.h"

namespace host {

// ---- the whole host ----

// Back to the state of a fresh start: every window (destroyed without
// messages), class, timer, queued message and pending quit, the tray, the
// recorded boxes and their answer delay, power subscriptions, single-instance
// sockets, injected input, and the screen (picture and size, from the
// environment as at start). Threads, events and queues are the caller's.
void resetHost();

// ---- the screen ----

// Sets the screen's size (1..16384 a side); full-screen windows follow as
// with the size input. False for a bad size or a backend without a settable screen.
bool setScreenSize(int width, int height);
void getScreenSize(int* width, int* height);
// Replaces the desktop picture with the pixels (0xAARRGGBB, made opaque), and
// the screen's size with the picture's.
bool setScreenPicture(const uint32_t* pixels, int width, int height);
// The same from a PNG file; false when it cannot be read.
bool setScreenPictureFromPng(const char* path);
// The screen as shown now: the picture with the shown windows over it.
bool writeScreenPng(const char* path);
Surface screenSnapshot();

// ---- windows ----

// This process's windows, bottom of the z-order first.
std::vector<HWND> windowsInZOrder();
// Shown (not hidden, not minimised).
bool windowIsShown(HWND window);
// How many times EndPaint showed the window.
uint64_t windowFrameCount(HWND window);
// The window's client surface to a PNG file.
bool writeWindowPng(HWND window, const char* path);

// ---- input ----

enum class InputKind : uint8_t { Tap, Key, Close, Activate, TrayTap, Resume, Suspend, ScreenSize, SecondStart };

struct HeadlessInput {
  InputKind kind = InputKind::Tap;
  int a = 0;          // tap: x; key: VK; tray: uID; size: width; second: its mode
  int b = 0;          // tap: y; size: height
  bool hasId = false; // tray: a = the uID to tap (else the first icon)
};

struct ScheduledInput {
  int64_t atMs = 0;
  HeadlessInput input;
};

// Delivered by the loop at once (thread-safe; wakes the loop).
void injectInput(const HeadlessInput& input);
void injectTap(int x, int y);
void injectKey(UINT virtualKey);
void injectClose();
void injectActivate();
void injectTrayTap();
void injectTrayTap(UINT id);
void injectScreenSize(int width, int height);
void injectSecondStart(int resident);
// Power events go straight to the subscribed queues, from any thread, with
// or without a running loop.
void injectPowerResume();
void injectPowerSuspend();

// Delivered when the host clock reaches atMs.
void scheduleInput(int64_t atMs, const HeadlessInput& input);
// Parses a script (syntax above) into entries; false, with the bad entry
// named in *error, when any entry is malformed (nothing is returned then).
bool parseInputScript(const char* text, std::vector<ScheduledInput>* entries, std::string* error);
// Parses and schedules a script, all of it or (on an error) none of it.
bool addInputScript(const char* text, std::string* error);
// Drops every input not yet delivered.
void clearInputScript();
// Inputs not yet delivered.
size_t pendingInputCount();

// ---- the tray ----

std::vector<TrayIcon> trayIcons();
// Whether there is a tray (true at start and after a reset). Without one every
// Shell_NotifyIcon fails (ERROR_NOT_SUPPORTED) and no icon is kept.
void setTrayPresent(bool present);

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
// How long (host-clock ms) a headless box stays open before it is answered
// with IDOK; 0 (the default) answers once what is ready at that instant has
// been dispatched.
void setMessageBoxAnswerDelay(uint32_t milliseconds);

// ---- the system's heap and queues ----

// Makes allocations of the system's code fail (malloc, calloc or realloc,
// platform/runtime.h): the next n succeed, the `failures` after them return
// null, the rest succeed again. Counting starts at this call; n < 0 turns the
// fault off (as resetHost does). Thread-safe.
void failAllocationAfter(int n, int64_t failures = 1);
// Whether the chosen allocation has failed since failAllocationAfter.
bool allocationFailureHappened();
// The system's allocation calls since failAllocationAfter.
int64_t systemAllocationCount();
// Blocks the system's code holds now, over the whole process.
int64_t systemBlocksLive();
// Makes every CreateMsgQueue fail with the error code (0: none, as after
// resetHost). Thread-safe.
void failMsgQueueCreation(DWORD error);

// ---- single instance ----

// The directory of the single-instance sockets (empty: $XDG_RUNTIME_DIR, else
// a private /tmp/tessaril-<uid>). It must be a directory of this user that
// nobody else can write, or no socket is used.
void setInstanceDirectory(const std::string& directory);
// The socket that windows of the class listen on; empty without a safe directory.
std::string instanceSocketPath(const std::u16string& className);

}  // namespace host
