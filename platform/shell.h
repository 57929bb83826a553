// The shell: image loaders and the notification tray.
//
// Host: SHLoadDIBitmap reads BMP files of 1, 4, 8, 16, 24 and 32 bits a pixel
// (a 32-bit file keeps its alpha as premultiplied per-pixel alpha, unless every
// alpha byte is 0); SHLoadImageFile reads PNG, JPEG, GIF and BMP and gives an
// opaque bitmap. Both return NULL for a missing, truncated or undecodable file,
// and refuse images over 16384 pixels on a side.
#pragma once

#include "platform/types.h"

HBITMAP SHLoadDIBitmap(LPCWSTR fileName);
HBITMAP SHLoadImageFile(LPCWSTR fileName);

// ---- the notification tray ----
struct NOTIFYICONDATA {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  WCHAR szTip[64];
};
typedef NOTIFYICONDATA NOTIFYICONDATAW;

#define NIM_ADD 0x00000000u
#define NIM_MODIFY 0x00000001u
#define NIM_DELETE 0x00000002u
#define NIF_MESSAGE 0x00000001u
#define NIF_ICON 0x00000002u
#define NIF_TIP 0x00000004u

// Adds, changes or removes an icon of the tray (one per hWnd and uID): FALSE for
// NIM_ADD of an icon that is there, NIM_MODIFY or NIM_DELETE of one that is
// not. A tap on it posts uCallbackMessage with wParam = uID and lParam =
// WM_LBUTTONDOWN, then WM_LBUTTONUP. Headless: a tray the host keeps, tapped
// by tests; x11: the freedesktop system tray; every desktop backend: the
// StatusNotifierItem while a watcher runs on the session bus (wayland: only
// that, there being no system tray without one).
BOOL Shell_NotifyIcon(DWORD message, NOTIFYICONDATA* data);
