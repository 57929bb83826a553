// The notification tray (Shell_NotifyIcon) and the program's icon resource
// (LoadImageW, DestroyIcon).
//
// Invariant: the tray holds at most one icon per (window, id); NIM_ADD of one
// that is there and NIM_MODIFY or NIM_DELETE of one that is not fail with
// FALSE. The host keeps the tray for every backend; a backend only shows it
// (trayChanged), unless a status notifier watcher on the session bus does
// (status_notifier.cpp). Icon resource 101 is the picture kept in
// program_icon.cpp (a sparkle in a rounded square), at the size asked for
// (16 x 16 by default).
#include <algorithm>
#include <mutex>

#include "platform/host/shell/shell_control.h"
#include "platform/host/shell/program_icon.h"
#include "platform/host/shell/status_notifier.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/runtime.h"
#include "platform/shell.h"

namespace host {
namespace {

constexpr int kIconResource = 101;
constexpr int kDefaultIconSide = 16;
constexpr int kMaxIconSide = 256;

struct Tray {
  std::mutex lock;  // host control reads it from any thread
  std::vector<TrayIcon> icons;
  bool absent = false;  // setTrayPresent(false): every call fails as with no shell tray
};

Tray& tray() {
  static Tray* instance = new Tray;
  return *instance;
}

// Under the lock: the icon of (window, id), or end.
std::vector<TrayIcon>::iterator findIcon(Tray& t, HWND window, UINT id) {
  return std::find_if(t.icons.begin(), t.icons.end(),
                      [&](const TrayIcon& i) { return i.window == window && i.id == id; });
}

// Takes the fields that data's uFlags name into icon.
void takeFields(TrayIcon* icon, const NOTIFYICONDATA& data) {
  icon->flags |= data.uFlags;
  if (data.uFlags & NIF_MESSAGE) icon->callbackMessage = data.uCallbackMessage;
  if (data.uFlags & NIF_ICON) icon->icon = data.hIcon;
  if (data.uFlags & NIF_TIP) {
    size_t length = 0;
    while (length < 63 && data.szTip[length] != 0) ++length;
    icon->tip.assign(data.szTip, length);
  }
}

// Makes the program's icon side x side from its stored 16 x 16 pixels
// (nearest pixel for other sizes), premultiplied as surfaces are.
void drawIcon(Surface* picture, int side) {
  picture->reset(side, side, 0);
  for (int y = 0; y < side; ++y) {
    uint32_t* row = picture->row(y);
    int from = y * kProgramIconSide / side;
    for (int x = 0; x < side; ++x) {
      uint32_t p = kProgramIconPixels[from * kProgramIconSide + x * kProgramIconSide / side];
      row[x] = (p >> 24) == 0 ? 0 : p;  // the stored alpha is 0 or 0xFF: already premultiplied
    }
  }
}

}  // namespace

bool findTrayIcon(bool anyId, UINT id, TrayIcon* icon) {
  Tray& t = tray();
  std::lock_guard<std::mutex> guard(t.lock);
  for (const TrayIcon& i : t.icons) {
    if (anyId || i.id == id) {
      *icon = i;
      return true;
    }
  }
  return false;
}

std::vector<TrayIcon> trayIcons() {
  Tray& t = tray();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.icons;
}

void setTrayPresent(bool present) {
  Tray& t = tray();
  std::lock_guard<std::mutex> guard(t.lock);
  t.absent = !present;
}

void resetTray() {
  resetStatusNotifier();
  Tray& t = tray();
  std::lock_guard<std::mutex> guard(t.lock);
  t.icons.clear();
  t.absent = false;
}

}  // namespace host

using namespace host;

BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data) {
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Tray& t = tray();
  TrayIcon changed;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.absent) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
    }
    auto it = findIcon(t, data->hWnd, data->uID);
    bool present = it != t.icons.end();
    if ((message == NIM_ADD) == present || message > NIM_DELETE) return FALSE;
    if (message == NIM_ADD && localWindow(data->hWnd) == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    switch (message) {
      case NIM_ADD:
        changed.window = data->hWnd;
        changed.id = data->uID;
        takeFields(&changed, *data);
        t.icons.push_back(changed);
        break;
      case NIM_MODIFY:
        takeFields(&*it, *data);
        changed = *it;
        break;
      default:  // NIM_DELETE
        changed = *it;
        t.icons.erase(it);
        break;
    }
  }
  showTrayChange(changed, message);
  return TRUE;
}

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags) {
  (void)instance;  // the program has one module
  (void)flags;
  if (type != IMAGE_ICON || reinterpret_cast<uintptr_t>(name) != kIconResource || width < 0 || height < 0) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  int side = std::max(width, height);
  if (side == 0) side = kDefaultIconSide;
  side = std::min(side, kMaxIconSide);
  Icon* icon = new Icon;
  drawIcon(&icon->picture, side);
  return registerObject(icon);
}

BOOL DestroyIcon(HICON icon) {
  if (lookup<Icon>(icon) == nullptr || !destroyObject(icon)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
