// The tray icon as a StatusNotifierItem on the session bus, preferred over the
// backend's own tray (the x11 backend's XEmbed icon) whenever a
// StatusNotifierWatcher runs. Everything here runs on the user-interface
// thread: the session-bus connections are served from the message loop's wait.
#pragma once

#include <poll.h>

#include <cstdint>
#include <vector>

#include "platform/host/backend.h"

namespace host {

// Shows a change of the host's tray (tray.cpp, after Shell_NotifyIcon changed
// it): on the bus while a watcher has the item, otherwise through the
// backend's trayChanged. Moves an icon between the two as watchers come and go.
void showTrayChange(const TrayIcon& icon, DWORD operation);

// The descriptors of the session-bus connections with the events they wait
// for, and the real monotonic time (ms) by which sd-bus must look again.
void addStatusNotifierPollFds(std::vector<pollfd>* fds, int64_t* realDeadlineMs);
// Handles what the connections have received, without blocking.
void serviceStatusNotifier();

// Closes every connection (the items leave the bus) and forgets them.
void resetStatusNotifier();

}  // namespace host
