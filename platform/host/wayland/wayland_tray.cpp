// The wayland backend's tray: Wayland has no system tray protocol of its own
// (and no XEmbed), so the tray icon is shown only as the StatusNotifierItem
// (shell/status_notifier.cpp) to a watcher on the session bus. Without one
// there is no icon: the program stays resident, reachable by a second start,
// and says so once on standard error.
#include "platform/host/wayland/wayland_state.h"

#include <cstdio>

namespace host {

void waylandTrayChanged(const TrayIcon& icon, DWORD operation) {
  (void)icon;
  static bool told = false;
  if (operation != NIM_ADD || told) return;
  told = true;
  std::fprintf(stderr,
               "tessaril: no StatusNotifierWatcher on the session bus: the tray icon is not shown "
               "(it appears when a panel with a tray starts)\n");
}

}  // namespace host
