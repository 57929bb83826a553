// What the window manager's files share with each other and with the backends:
// window lookup and z-order, the message queue's internals, window DCs, the
// single-instance endpoints, the tray and the boxes.
//
// Everything here runs on the user-interface thread (the thread that makes the
// windows and reads the messages) unless its comment says it is thread-safe.
#pragma once

#include <poll.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/backend.h"

namespace host {

// ---- windows (window_manager.cpp) ----

// The live window of this process that a handle names (not the desktop, not a
// remote stand-in, but also while it is being destroyed), or null.
Window* localWindow(HWND window);
// The desktop window's record (made on first use; permanent).
Window* desktopWindow();
// This process's windows, bottom of the z-order first.
const std::vector<HWND>& windowStack();
// The shown window at screen point (x, y), topmost first; null when none.
HWND windowAtPoint(int x, int y);
// Where keys, close requests and activation go: the foreground window if it
// is shown, else the topmost shown window, else the topmost window; or null.
HWND inputTargetWindow();
// The screen took a new size: every full-screen window takes it too, is
// invalidated and is posted WM_SIZE with the new client size.
void resizeFullScreenWindows(int width, int height);
// Calls the window's procedure directly; 0 for a window that is gone.
LRESULT sendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Destroys every window without sending it anything, and forgets the classes.
void resetWindows();

// ---- the message queue (message_loop.cpp) ----

// Lets posts to the window be queued (thread-safe).
void acceptPostsFor(HWND window);
// Ends posts to the window: its queued messages and its timers go.
void forgetWindowMessages(HWND window);
// Queues a message for a local window (or a thread message, window null);
// thread-safe; false when the window is gone or the queue is full.
bool postToQueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Wakes a loop that waits for messages (thread-safe).
void wakeMessageLoop();

enum class Ready { Message, Quit, QuitPending, None };
// The next message that is ready now, in the platform's order: posted
// messages, then the quit, then WM_PAINT for a shown invalid window, then
// WM_TIMER for a due timer. With takeQuit false a pending quit is left in
// place and reported as QuitPending (modal loops end on it).
Ready takeReadyMessage(MSG* message, HWND filter, UINT filterMin, UINT filterMax, bool takeQuit);
// Waits until a message may be ready or the host clock reaches untilMs: the
// real clock sleeps in poll(); the virtual clock jumps to the earliest of
// untilMs, the next timer and the next scripted input, and blocks only when
// there is none of them.
void waitForMessages(int64_t untilMs);
// Drops the queue, the quit and every timer.
void resetMessageLoop();
// The machine's monotonic clock in milliseconds, whatever the host clock is
// (deadlines for other processes' connections).
int64_t realMonotonicMs();

// ---- device contexts of windows (window_dc.cpp) ----

// Frees the DCs still made over the window's client surface.
void releaseWindowDcs(Window* window);
// Frees every DC of the screen still taken.
void releaseScreenDcs();

// ---- single instance across processes (single_instance.cpp) ----

// The first window of a class listens for other processes' posts.
void listenForOtherInstances(HWND window, const std::u16string& className);
// The window's listening socket, if it has one, is closed and unlinked.
void stopListening(HWND window);
// A stand-in for a live window of the class in another process, or null.
HWND findOtherInstance(const std::u16string& className);
// Thread-safe: true (with *handled the post's result) when window is a remote stand-in.
bool postToOtherInstance(HWND window, UINT message, WPARAM wParam, LPARAM lParam, BOOL* handled);
// The descriptors the loop polls for other processes, and the real monotonic
// time (ms) by which it must look again (connections that went quiet).
void addInstancePollFds(std::vector<pollfd>* fds, int64_t* realDeadlineMs);
// Accepts and reads what other processes sent, without blocking: only the
// sockets polled reports ready, and connections whose time is up.
void serviceOtherInstances(const std::vector<pollfd>& polled);
// Closes every socket and forgets every stand-in.
void resetSingleInstance();

// ---- tray and boxes (tray.cpp, message_box.cpp) ----

// The tray icon with the id (any icon when anyId), or false.
bool findTrayIcon(bool anyId, UINT id, TrayIcon* icon);
void resetTray();
void resetMessageBoxes();

}  // namespace host
