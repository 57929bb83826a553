// The host's GDI objects: surfaces, bitmaps, brushes, pens, fonts and device
// contexts, and the platform calls that make, select, describe and free them.
//
// Invariants: a bitmap is selected into at most one DC (SelectObject refuses a
// second); a selected bitmap is never freed (DeleteObject fails) and a DC lets
// its bitmap go when it is deleted, so the system may delete a memory DC before
// its bitmap. A brush, pen or font deleted while selected is freed when the last
// DC lets it go. A memory DC owns the 1x1 bitmap it starts with. Stock objects
// are permanent handles, and DeleteObject on them succeeds without freeing them.
// Every call fails (FALSE, NULL, 0) on a stale or wrong handle.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/host/gdi/gdi_objects.h"

namespace host {
namespace {

// The permanent objects that GetStockObject hands out.
struct StockObjects {
  HBRUSH whiteBrush = nullptr;
  HBRUSH blackBrush = nullptr;
  HBRUSH nullBrush = nullptr;
  HPEN whitePen = nullptr;
  HPEN blackPen = nullptr;
  HPEN nullPen = nullptr;
  HFONT font = nullptr;
};

// A permanent brush of the colour, hollow or not.
HBRUSH makeStockBrush(COLORREF colour, bool hollow) {
  Brush* brush = new Brush;
  brush->colour = colour;
  brush->hollow = hollow;
  return static_cast<HBRUSH>(registerObject(brush, true));
}

// A permanent pen of the style and colour, one pixel wide.
HPEN makeStockPen(int style, COLORREF colour) {
  Pen* pen = new Pen;
  pen->style = style;
  pen->colour = colour;
  return static_cast<HPEN>(registerObject(pen, true));
}

const StockObjects& stock() {
  static const StockObjects* objects = [] {
    StockObjects* s = new StockObjects;  // never destroyed, like the handles it names
    s->whiteBrush = makeStockBrush(RGB(255, 255, 255), false);
    s->blackBrush = makeStockBrush(RGB(0, 0, 0), false);
    s->nullBrush = makeStockBrush(RGB(0, 0, 0), true);
    s->whitePen = makeStockPen(PS_SOLID, RGB(255, 255, 255));
    s->blackPen = makeStockPen(PS_SOLID, RGB(0, 0, 0));
    s->nullPen = makeStockPen(PS_NULL, RGB(0, 0, 0));
    s->font = static_cast<HFONT>(registerObject(new Font, true));
    return s;
  }();
  return *objects;
}

// True when the handle is one of the stock objects.
bool isStock(const void* handle) {
  const StockObjects& s = stock();
  return handle == s.whiteBrush || handle == s.blackBrush || handle == s.nullBrush || handle == s.whitePen ||
         handle == s.blackPen || handle == s.nullPen || handle == s.font;
}

// Takes a DC's hold on the brush, pen or font object.
template <class T>
void holdObject(T* object) {
  ++object->selectedCount;
}

// Deletes the brush, pen or font object named by handle, or marks it to be
// freed when its last DC lets it go; FALSE when it was deleted already.
template <class T>
BOOL deleteHeld(T* object, HGDIOBJ handle) {
  if (object->deletePending) return FALSE;
  if (object->selectedCount > 0) {
    object->deletePending = true;
    return TRUE;
  }
  return destroyObject(handle) ? TRUE : FALSE;
}

// Lets a DC's hold on the brush, pen or font named by handle go, and frees the
// object when it was deleted while held and this was the last hold.
template <class T>
void releaseHold(const void* handle) {
  T* object = lookup<T>(handle);
  if (object == nullptr) return;
  if (object->selectedCount > 0) --object->selectedCount;
  if (object->selectedCount == 0 && object->deletePending) destroyObject(handle);
}

// Makes object the DC's current brush, pen or font in slot; the previous one,
// or null when the object was already deleted.
template <class T, class H>
HGDIOBJ swapHeld(H& slot, T* object, HGDIOBJ handle) {
  if (object->deletePending) return nullptr;
  H previous = slot;
  if (previous == handle) return previous;
  holdObject(object);
  slot = static_cast<H>(handle);
  releaseHold<T>(previous);
  return previous;
}

// Selects the bitmap into the memory DC d; the previous bitmap, or null when
// the DC is not a memory DC or the bitmap is selected elsewhere.
HGDIOBJ selectBitmap(Dc* d, Bitmap* bitmap, HGDIOBJ handle) {
  if (d->target != DcTarget::Memory) return nullptr;
  if (d->bitmap == handle) return handle;
  if (bitmap->selectedCount > 0) return nullptr;
  if (bitmap->dcDefault && handle != d->defaultBitmap) return nullptr;
  HBITMAP previous = d->bitmap;
  if (Bitmap* old = lookup<Bitmap>(previous)) --old->selectedCount;
  d->bitmap = static_cast<HBITMAP>(handle);
  ++bitmap->selectedCount;
  return previous;
}

// Gives a new DC the stock white brush, black pen and default font.
void holdDefaults(Dc* d) {
  const StockObjects& s = stock();
  d->brush = s.whiteBrush;
  d->pen = s.blackPen;
  d->font = s.font;
  holdObject(lookup<Brush>(d->brush));
  holdObject(lookup<Pen>(d->pen));
  holdObject(lookup<Font>(d->font));
}

// Copies the first size bytes of the description into buffer (all of it when
// size is larger); the bytes written, or the full size when buffer is null.
int copyDescription(const void* description, int full, int size, LPVOID buffer) {
  if (buffer == nullptr) return full;
  if (size <= 0) return 0;
  int count = std::min(size, full);
  std::memcpy(buffer, description, size_t(count));
  return count;
}

}  // namespace

void Surface::reset(int w, int h, uint32_t fill) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  views.release();
  pixels.assign(size_t(w) * size_t(h), fill);
  width = w;
  height = h;
  stride = w * 4;
}

Dc::~Dc() {
  releaseHold<Brush>(brush);
  releaseHold<Pen>(pen);
  releaseHold<Font>(font);
  if (Bitmap* selected = lookup<Bitmap>(bitmap)) --selected->selectedCount;
  bitmap = nullptr;
  if (defaultBitmap != nullptr) destroyObject(defaultBitmap);
}

Surface* dcSurface(HDC dc) {
  Dc* d = lookupDc(dc);
  if (d == nullptr) return nullptr;
  if (d->target == DcTarget::Memory) {
    Bitmap* bitmap = lookup<Bitmap>(d->bitmap);
    return bitmap != nullptr ? &bitmap->surface : nullptr;
  }
  return d->windowSurface;
}

Bitmap* makeBitmap(int width, int height, uint32_t fill) {
  if (!bitmapSizeFits(width, height)) return nullptr;
  Bitmap* bitmap = new (std::nothrow) Bitmap;
  if (bitmap == nullptr) return nullptr;
  try {
    bitmap->surface.reset(width, height, fill);
  } catch (const std::bad_alloc&) {
    delete bitmap;
    return nullptr;
  }
  return bitmap;
}

HBRUSH stockBrush(int which) {
  const StockObjects& s = stock();
  switch (which) {
    case WHITE_BRUSH: return s.whiteBrush;
    case BLACK_BRUSH: return s.blackBrush;
    case NULL_BRUSH: return s.nullBrush;
    default: return nullptr;
  }
}

HPEN stockPen(int which) {
  const StockObjects& s = stock();
  switch (which) {
    case WHITE_PEN: return s.whitePen;
    case BLACK_PEN: return s.blackPen;
    case NULL_PEN: return s.nullPen;
    default: return nullptr;
  }
}

HFONT defaultFont() { return stock().font; }

HDC createSurfaceDc(DcTarget target, HWND window, Surface* surface) {
  if (target == DcTarget::Memory) return CreateCompatibleDC(nullptr);
  Dc* d = new Dc;
  d->target = target;
  d->window = window;
  d->windowSurface = surface;
  holdDefaults(d);
  return static_cast<HDC>(registerObject(d));
}

}  // namespace host

using namespace host;

HDC CreateCompatibleDC(HDC dc) {
  if (dc != nullptr && lookupDc(dc) == nullptr) return nullptr;
  Bitmap* initial = makeBitmap(1, 1, kOpaqueBlack);
  if (initial == nullptr) return nullptr;
  initial->dcDefault = true;
  initial->selectedCount = 1;
  Dc* d = new Dc;
  d->target = DcTarget::Memory;
  d->defaultBitmap = static_cast<HBITMAP>(registerObject(initial));
  d->bitmap = d->defaultBitmap;
  holdDefaults(d);
  return static_cast<HDC>(registerObject(d));
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (dc != nullptr && lookupDc(dc) == nullptr) return nullptr;
  if (width < 0 || height < 0) return nullptr;
  // As on the platform, a bitmap with no pixels is made 1x1.
  if (width == 0 || height == 0) width = height = 1;
  Bitmap* bitmap = makeBitmap(width, height, kOpaqueBlack);
  return bitmap != nullptr ? static_cast<HBITMAP>(registerObject(bitmap)) : nullptr;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  Dc* d = lookupDc(dc);
  Object* o = lookupObject(object);
  if (d == nullptr || o == nullptr) return nullptr;
  switch (o->kind) {
    case ObjectKind::Bitmap: return selectBitmap(d, static_cast<Bitmap*>(o), object);
    case ObjectKind::Brush: return swapHeld(d->brush, static_cast<Brush*>(o), object);
    case ObjectKind::Pen: return swapHeld(d->pen, static_cast<Pen*>(o), object);
    case ObjectKind::Font: return swapHeld(d->font, static_cast<Font*>(o), object);
    default: return nullptr;
  }
}

BOOL DeleteDC(HDC dc) {
  if (lookupDc(dc) == nullptr) return FALSE;
  return destroyObject(dc) ? TRUE : FALSE;
}

BOOL DeleteObject(HGDIOBJ object) {
  Object* o = lookupObject(object);
  if (o == nullptr) return FALSE;
  if (isStock(object)) return TRUE;
  switch (o->kind) {
    case ObjectKind::Bitmap: {
      Bitmap* bitmap = static_cast<Bitmap*>(o);
      if (bitmap->selectedCount > 0) return FALSE;
      if (bitmap->dcDefault) return TRUE;  // freed with its DC
      return destroyObject(object) ? TRUE : FALSE;
    }
    case ObjectKind::Brush: return deleteHeld(static_cast<Brush*>(o), object);
    case ObjectKind::Pen: return deleteHeld(static_cast<Pen*>(o), object);
    case ObjectKind::Font: return deleteHeld(static_cast<Font*>(o), object);
    default: return FALSE;
  }
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
  Object* o = lookupObject(object);
  if (o == nullptr) return 0;
  if (o->kind == ObjectKind::Bitmap) {
    Surface& s = static_cast<Bitmap*>(o)->surface;
    BITMAP description{};
    description.bmType = 0;
    description.bmWidth = s.width;
    description.bmHeight = s.height;
    description.bmWidthBytes = s.stride;
    description.bmPlanes = 1;
    description.bmBitsPixel = 32;
    description.bmBits = s.pixels.data();
    return copyDescription(&description, int(sizeof description), size, buffer);
  }
  if (o->kind == ObjectKind::Font) {
    const LOGFONTW& logFont = static_cast<Font*>(o)->logFont;
    return copyDescription(&logFont, int(sizeof logFont), size, buffer);
  }
  return 0;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  Brush* brush = new Brush;
  brush->colour = colour & 0x00FFFFFFu;
  return static_cast<HBRUSH>(registerObject(brush));
}

HPEN CreatePen(int style, int width, COLORREF colour) {
  Pen* pen = new Pen;
  pen->style = style;
  pen->width = width;
  pen->colour = colour & 0x00FFFFFFu;
  return static_cast<HPEN>(registerObject(pen));
}

HGDIOBJ GetStockObject(int object) {
  if (HBRUSH brush = stockBrush(object)) return brush;
  if (HPEN pen = stockPen(object)) return pen;
  return nullptr;
}

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (font == nullptr) return nullptr;
  Font* f = new Font;
  f->logFont = *font;
  return static_cast<HFONT>(registerObject(f));
}

int SetBkMode(HDC dc, int mode) {
  Dc* d = lookupDc(dc);
  if (d == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int previous = d->bkMode;
  d->bkMode = mode;
  return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
  Dc* d = lookupDc(dc);
  if (d == nullptr) return CLR_INVALID;
  COLORREF previous = d->textColour;
  d->textColour = colour & 0x00FFFFFFu;
  return previous;
}
