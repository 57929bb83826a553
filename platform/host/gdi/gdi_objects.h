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
#include "platform/host/common/handle_table.h"

union pixman_image;  // pixman.h's pixman_image_t, kept out of this header

namespace host {

// pixman views of one Surface's pixels, made on first use by the copies
// (gdi_blit.cpp) and made again whenever the pixels have moved or changed size,
// so a view never outlives the buffer it was made over. A copied Surface starts
// without views of its own.
struct SurfaceViews {
  SurfaceViews() = default;
  SurfaceViews(const SurfaceViews&) {}
  SurfaceViews& operator=(const SurfaceViews&) {
    release();
    return *this;
  }
  ~SurfaceViews() { release(); }
  // Drops every view (the pixels stay).
  void release();

  union pixman_image* argb = nullptr;        // a8r8g8b8: the pixels as they are
  union pixman_image* argbScaled = nullptr;  // a8r8g8b8, nearest filter, transform set per copy
  union pixman_image* xrgb = nullptr;        // x8r8g8b8: alpha read as 0xFF
  union pixman_image* xrgbScaled = nullptr;  // x8r8g8b8, nearest filter, transform set per copy
  const uint32_t* bits = nullptr;            // the buffer the views were made over
  int width = 0;
  int height = 0;
};

// The largest bitmap side the host makes or loads.
constexpr int kMaxBitmapSide = 16384;
// Whether width x height is a size the host makes a bitmap (or screen) of:
// each side 1 to kMaxBitmapSide.
constexpr bool bitmapSizeFits(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxBitmapSide && height <= kMaxBitmapSide;
}

struct Surface {
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row: width * 4
  std::vector<uint32_t> pixels;
  SurfaceViews views;  // the copies' pixman views of pixels (gdi_blit.cpp)

  // Resizes to width x height (a negative size counts as 0), every pixel set
  // to fill; drops the views.
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
  bool perPixelAlpha = false;  // a 32-bit BMP with translucent pixels: premultiplied values in the pixels
  int selectedCount = 0;       // DCs that have it selected (0 or 1); a selected bitmap is not deleted
  bool dcDefault = false;      // a memory DC's own 1x1 bitmap: freed with its DC, never selected elsewhere
};

// Brushes, pens and fonts may be selected into several DCs at once. DeleteObject
// on a selected one succeeds but frees it only when the last DC lets it go, so a
// DC never holds a stale handle.

struct Brush : Object {
  static constexpr ObjectKind kKind = ObjectKind::Brush;
  Brush() : Object(kKind) {}
  COLORREF colour = 0;
  bool hollow = false;  // NULL_BRUSH: no fill
  int selectedCount = 0;
  bool deletePending = false;
};

struct Pen : Object {
  static constexpr ObjectKind kKind = ObjectKind::Pen;
  Pen() : Object(kKind) {}
  int style = PS_SOLID;
  int width = 1;
  COLORREF colour = 0;
  int selectedCount = 0;
  bool deletePending = false;
};

struct Font : Object {
  static constexpr ObjectKind kKind = ObjectKind::Font;
  Font() : Object(kKind) {}
  LOGFONTW logFont{};
  int selectedCount = 0;
  bool deletePending = false;
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

// A new bitmap of width x height pixels, every pixel fill, not yet registered;
// null when a side is below 1 or above kMaxBitmapSide or memory runs out.
Bitmap* makeBitmap(int width, int height, uint32_t fill);

// The stock objects, made once and never freed.
HBRUSH stockBrush(int which);
HPEN stockPen(int which);
HFONT defaultFont();

// Makes a DC over a window's surface (GetDC, BeginPaint) or the screen's; the
// window manager calls this and owns nothing of the DC but the surface.
HDC createSurfaceDc(DcTarget target, HWND window, Surface* surface);

// Forgets the cairo surfaces and contexts the shapes keep over recently drawn
// surfaces, so nothing of cairo's outlives a fresh start of the host (the
// entries are made again on the next shape).
void dropCairoSurfaces();

// Writes a DC's pixels, or any surface, to a PNG file; false on failure.
bool writeSurfacePng(const Surface& surface, const char* path);
bool writeDcPng(HDC dc, const char* path);

}  // namespace host
