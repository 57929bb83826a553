// The host's GDI objects behind the platform handles: pixel surfaces, bitmaps,
// device contexts, brushes, pens and fonts.
//
// Every surface holds 32-bit premultiplied ARGB pixels (pixman's a8r8g8b8,
// cairo's ARGB32), rows of `stride` bytes; opaque content keeps alpha 0xFF, and
// drawing onto an opaque surface keeps it opaque. A bitmap owns its surface; a
// window owns its client surface and the screen its own (window_manager.h); a DC
// draws on whichever surface it targets now.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi.h"
#include "platform/host/handle_table.h"

namespace host {

struct Surface {
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row: width * 4
  std::vector<uint32_t> pixels;

  // Resizes to width x height, every pixel set to fill.
  void reset(int w, int h, uint32_t fill);
  uint32_t* row(int y) { return pixels.data() + size_t(y) * size_t(width); }
  const uint32_t* row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
};

// Opaque black, the colour of a new compatible bitmap.
constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// A COLORREF (0x00BBGGRR) as an opaque surface pixel (0xFFRRGGBB).
inline uint32_t pixelFromColour(COLORREF c) {
  return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | uint32_t(GetBValue(c));
}

struct Bitmap : Object {
  static constexpr ObjectKind kKind = ObjectKind::Bitmap;
  Bitmap() : Object(kKind) {}
  Surface surface;
  bool perPixelAlpha = false;  // a 32-bit BMP with alpha: premultiplied values in the pixels
  int selectedCount = 0;       // DCs that have it selected; a selected bitmap is not deleted
};

struct Brush : Object {
  static constexpr ObjectKind kKind = ObjectKind::Brush;
  Brush() : Object(kKind) {}
  COLORREF colour = 0;
  bool hollow = false;  // NULL_BRUSH: no fill
};

struct Pen : Object {
  static constexpr ObjectKind kKind = ObjectKind::Pen;
  Pen() : Object(kKind) {}
  int style = PS_SOLID;
  int width = 1;
  COLORREF colour = 0;
};

struct Font : Object {
  static constexpr ObjectKind kKind = ObjectKind::Font;
  Font() : Object(kKind) {}
  LOGFONTW logFont{};
};

// Who a DC draws on.
enum class DcTarget : uint8_t {
  Memory,   // the bitmap selected into it
  Window,   // a window's client surface
  Screen    // the whole screen (the desktop window)
};

struct Dc : Object {
  static constexpr ObjectKind kKind = ObjectKind::Dc;
  Dc() : Object(kKind) {}
  ~Dc() override;
  DcTarget target = DcTarget::Memory;
  HBITMAP bitmap = nullptr;         // memory DC: the selected bitmap (a 1x1 default at creation)
  HBITMAP defaultBitmap = nullptr;  // memory DC: owned 1x1 bitmap selected at creation
  HWND window = nullptr;            // window and screen DCs: the window they belong to
  Surface* windowSurface = nullptr; // window and screen DCs: the surface drawn on
  HBRUSH brush = nullptr;
  HPEN pen = nullptr;
  HFONT font = nullptr;
  int bkMode = OPAQUE;
  COLORREF textColour = 0;
};

// The surface a DC draws on now, or null for a stale handle or a DC without one.
Surface* dcSurface(HDC dc);

// The Dc object for a handle, or null.
inline Dc* lookupDc(HDC dc) { return lookup<Dc>(dc); }

// The stock objects, made once and never freed.
HBRUSH stockBrush(int which);
HPEN stockPen(int which);
HFONT defaultFont();

// Makes a DC over a window's surface (GetDC, BeginPaint) or the screen's; the
// window manager calls this and owns nothing of the DC but the surface.
HDC createSurfaceDc(DcTarget target, HWND window, Surface* surface);

// Writes a DC's pixels, or any surface, to a PNG file; false on failure.
bool writeSurfacePng(const Surface& surface, const char* path);
bool writeDcPng(HDC dc, const char* path);

}  // namespace host
