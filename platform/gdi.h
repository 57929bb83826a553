// GDI: device contexts, bitmaps, brushes, pens, fonts and drawing.
//
// Host: bitmaps are 32-bit premultiplied ARGB images (pixman's a8r8g8b8 and
// cairo's ARGB32 layout); sprites and clears are composited with pixman, shapes
// drawn with cairo (aliased, as on the device), text with FreeType through a
// cache of faces and glyphs. A memory DC starts with a 1x1 bitmap selected, as on
// the platform. The DC of a window is its client pixels; the DC of the desktop
// window is the whole screen (headless: a picture the host holds; x11: the real
// screen, read when the DC is taken). On a compositing desktop (the live
// overlay: an X11 compositing manager, and always on wayland, where no
// compositor lets a client read the screen) the desktop DC reads fully
// transparent, and the compositor shows the live desktop wherever the show's
// window keeps that transparency.
#pragma once

#include "platform/types.h"

// ---- objects ----
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

#define LF_FACESIZE 32
struct LOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};

#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900

struct BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
};
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

// A memory DC compatible with the given DC (NULL: the screen).
HDC CreateCompatibleDC(HDC dc);
// A bitmap of the DC's format (32 bits a pixel on the host), all black.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// Makes a bitmap, pen, brush or font current in the DC; returns the previous
// object of that type, or NULL when the handle is no such object.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteDC(HDC dc);
// Frees a bitmap, pen, brush or font; stock objects are never freed.
BOOL DeleteObject(HGDIOBJ object);
// Fills the object's description (a BITMAP for a bitmap); the bytes written.
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);

HBRUSH CreateSolidBrush(COLORREF colour);
#define PS_SOLID 0
#define PS_DASH 1
#define PS_NULL 5
HPEN CreatePen(int style, int width, COLORREF colour);
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
HGDIOBJ GetStockObject(int object);
HFONT CreateFontIndirectW(const LOGFONTW* font);

// ---- device contexts of windows ----
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HWND GetDesktopWindow(void);

#define CLR_INVALID 0xFFFFFFFFu
#define TRANSPARENT 1
#define OPAQUE 2
// The previous mode, or 0 for a bad DC or mode.
int SetBkMode(HDC dc, int mode);
// The previous colour, or CLR_INVALID for a bad DC.
COLORREF SetTextColor(HDC dc, COLORREF colour);

// ---- copies ----
#define SRCCOPY 0x00CC0020u
#define PATCOPY 0x00F00021u
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop);
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
// The source rectangle stretched (nearest neighbour) onto the destination
// rectangle, leaving out source pixels whose colour equals the key.
BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HANDLE source, int sourceX, int sourceY,
                      int sourceWidth, int sourceHeight, COLORREF transparent);
// The source rectangle stretched (nearest neighbour) and blended onto the
// destination with the constant alpha and, with AC_SRC_ALPHA, the source's
// premultiplied per-pixel alpha.
BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, BLENDFUNCTION blend);

// ---- shapes: the right and bottom edges excluded, the outline inside the box ----
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
BOOL Polyline(HDC dc, const POINT* points, int count);
BOOL Polygon(HDC dc, const POINT* points, int count);

// ---- text ----
#define DT_TOP 0x00000000u
#define DT_LEFT 0x00000000u
#define DT_CENTER 0x00000001u
#define DT_WORDBREAK 0x00000010u
#define DT_NOCLIP 0x00000100u
#define DT_CALCRECT 0x00000400u
// Draws the text from the rectangle's top-left corner; with DT_WORDBREAK lines
// break at CR LF and where the next word would pass the right edge (at a space
// or between two CJK characters; a word wider than a line breaks at a
// character). The height drawn, in pixels.
int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);

// ---- painting ----
struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
