// Host control: what tools and tests use to drive the host from outside the
// system, the way a user and the device would. Each area keeps its own
// controls beside its implementation; this header gathers them, and holds the
// one control of the whole host, the reset between tests.
//     headless/headless_control.h              the headless screen, boxes' answer delay, input
//     gdi/gdi_control.h                        the screen's pixels and size
//     window_manager/window_manager_control.h  windows, message boxes shown, single-instance sockets
//     shell/shell_control.h                    the tray
//     threads/threads_control.h                power events, message queue faults
//     runtime/runtime_control.h                the system's heap and its faults
#pragma once

#include "platform/host/backend.h"
#include "platform/host/gdi/gdi_control.h"
#include "platform/host/headless/headless_control.h"
#include "platform/host/runtime/runtime_control.h"
#include "platform/host/shell/shell_control.h"
#include "platform/host/threads/threads_control.h"
#include "platform/host/window_manager/window_manager_control.h"

namespace host {

// Back to the state of a fresh start: every window (destroyed without
// messages), class, timer, queued message and pending quit, the tray, the
// recorded boxes and their answer delay, power subscriptions, single-instance
// sockets, injected input, and the screen (picture and size, from the
// environment as at start). Threads, events and queues are the caller's.
void resetHost();

}  // namespace host
