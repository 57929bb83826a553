// Host control of the shell: what tools and tests read of the notification
// tray, and whether there is one. Thread-safe.
#pragma once

#include <vector>

#include "platform/host/backend.h"

namespace host {

// Every icon of the tray as Shell_NotifyIcon left it.
std::vector<TrayIcon> trayIcons();
// Whether there is a tray (true at start and after a reset). Without one every
// Shell_NotifyIcon fails (ERROR_NOT_SUPPORTED) and no icon is kept.
void setTrayPresent(bool present);

}  // namespace host
