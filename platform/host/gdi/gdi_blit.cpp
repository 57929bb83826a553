// The copies between surfaces: BitBlt (plain copy), PatBlt (fill with the
// DC's brush), TransparentImage (stretched copy leaving out a key colour) and
// AlphaBlend (stretched blend with constant and per-pixel alpha).
//
// Stretching is nearest neighbour, the same for both stretched copies: with a
// destination rectangle of n pixels taken from m source pixels starting at s,
// destination pixel k (0-based) samples at its centre, k + 0.5, scaled by
// step = floor(m * 65536 / n) in 16.16 fixed point, and takes the source pixel
// whose cell holds the sample, a sample exactly on a cell border taking the left
// cell: index = s + ((k * step + round(step / 2) - 1) >> 16). This is pixman's
// NEAREST rule for the same transform, so AlphaBlend (composited by pixman) and
// TransparentImage (a loop of our own: no library keys a colour) place every
// pixel alike. Rounding the step down keeps every index inside the source
// rectangle; 2x enlargements repeat each pixel twice, halvings take the even
// pixels. Scale factors that 16.16 cannot carry well (enlargements beyond 65536x,
// reductions of 16384x and more) draw nothing.
//
// TransparentImage takes a DC or a bitmap as its source. A source with per-pixel
// alpha (a 32-bit BMP) is keyed on each pixel's own colour, its alpha taken
// out; its fully transparent pixels are left out and the rest copied opaque in
// their own colour. AlphaBlend without AC_SRC_ALPHA reads such a source's
// alpha as 0xFF.
//
// Clipping: only destination pixels inside the destination surface and whose
// source pixel lies inside the source surface are touched. Sizes of 0 or less
// draw nothing. A surface is never both source and destination of a stretched
// copy (the call fails). The copies keep an opaque destination opaque.
#include <pixman.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/host/gdi/gdi_objects.h"

namespace host {

void SurfaceViews::release() {
  for (pixman_image_t** view : {&argb, &argbScaled, &xrgb, &xrgbScaled}) {
    if (*view != nullptr) pixman_image_unref(*view);
    *view = nullptr;
  }
  bits = nullptr;
  width = 0;
  height = 0;
}

}  // namespace host

using namespace host;

namespace {

enum class View : uint8_t { Argb, ArgbScaled, Xrgb, XrgbScaled };

// True when the surface has pixels laid out as its width, height and stride say.
bool usable(const Surface& s) {
  return s.width > 0 && s.height > 0 && s.stride == s.width * 4 &&
         s.pixels.size() >= size_t(s.width) * size_t(s.height);
}

// The pixman view of kind of the surface s, made now if it has none or its
// pixels moved since; null when pixman cannot make it.
pixman_image_t* surfaceView(Surface& s, View kind) {
  SurfaceViews& v = s.views;
  if (v.bits != s.pixels.data() || v.width != s.width || v.height != s.height) {
    v.release();
    v.bits = s.pixels.data();
    v.width = s.width;
    v.height = s.height;
  }
  pixman_image_t** slot = kind == View::Argb         ? &v.argb
                          : kind == View::ArgbScaled ? &v.argbScaled
                          : kind == View::Xrgb       ? &v.xrgb
                                                     : &v.xrgbScaled;
  if (*slot == nullptr) {
    pixman_format_code_t format = (kind == View::Argb || kind == View::ArgbScaled) ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8;
    *slot = pixman_image_create_bits(format, s.width, s.height, s.pixels.data(), s.stride);
    if (*slot != nullptr && (kind == View::ArgbScaled || kind == View::XrgbScaled)) {
      pixman_image_set_filter(*slot, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
  }
  return *slot;
}

// The source of a copy: a DC, or for TransparentImage also a bitmap handle.
// Its surface and whether its pixels carry alpha; null surface for a bad handle.
struct Source {
  Surface* surface = nullptr;
  bool perPixelAlpha = false;
};

// The surface of the DC d and whether its pixels carry alpha.
Source sourceOfDc(Dc* d) {
  Source source;
  if (d->target != DcTarget::Memory) {
    source.surface = d->windowSurface;
  } else if (Bitmap* b = lookup<Bitmap>(d->bitmap)) {
    source.surface = &b->surface;
    source.perPixelAlpha = b->perPixelAlpha;
  }
  return source;
}

Source sourceOf(HANDLE handle) {
  if (Object* o = lookupObject(handle)) {
    if (o->kind == ObjectKind::Dc) return sourceOfDc(static_cast<Dc*>(o));
    if (o->kind == ObjectKind::Bitmap) {
      Bitmap* b = static_cast<Bitmap*>(o);
      return Source{&b->surface, b->perPixelAlpha};
    }
  }
  return Source{};
}

// floor(a / b) for b > 0.
int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// ceil(a / b) for b > 0.
int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

// One axis of a stretched copy after clipping: the visible destination pixels
// and the fixed-point walk through the source that feeds them.
struct AxisWalk {
  int destStart = 0;  // first destination pixel drawn, in surface coordinates
  int count = 0;      // destination pixels drawn; 0 when none
  int32_t first = 0;  // source position of the first drawn pixel, 16.16, less one unit: index = first >> 16
  int32_t step = 0;   // source pixels per destination pixel, 16.16
};

// Steps of 16384 source pixels per destination pixel and more are refused, so
// every fixed-point position of a walk stays far inside 32 bits.
constexpr int64_t kMaxStep = int64_t(1) << 30;

// Clips one axis: destination position d and extent n on a surface of destSize
// pixels, source position s and extent m on a surface of sourceSize pixels.
// False when the scale is out of range (count stays 0).
bool walkAxis(int d, int n, int destSize, int s, int m, int sourceSize, AxisWalk* walk) {
  *walk = AxisWalk{};
  int64_t step = (int64_t(m) << 16) / n;
  if (step < 1 || step >= kMaxStep) return false;
  // V(k) = base + k * step; the source index of destination pixel k is V(k) >> 16.
  int64_t base = int64_t(s) * 65536 + ((step + 1) >> 1) - 1;
  int64_t lo = std::max<int64_t>({0, -int64_t(d), ceilDiv(-base, step)});
  int64_t hi = std::min<int64_t>({n, int64_t(destSize) - d, ceilDiv((int64_t(sourceSize) << 16) - base, step)});
  if (hi <= lo) return true;
  walk->destStart = int(d + lo);
  walk->count = int(hi - lo);
  walk->first = int32_t(base + lo * step);
  walk->step = int32_t(step);
  return true;
}

// Both axes of a stretched copy from source onto dest; false when nothing is
// to be drawn.
bool walkRect(const Surface& dest, int x, int y, int w, int h, const Surface& source, int sx, int sy, int sw, int sh,
              AxisWalk* across, AxisWalk* down) {
  if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return false;
  if (!walkAxis(x, w, dest.width, sx, sw, source.width, across)) return false;
  if (!walkAxis(y, h, dest.height, sy, sh, source.height, down)) return false;
  return across->count > 0 && down->count > 0;
}

// Source column indexes of the drawn destination columns, kept across calls so
// a steady stream of sprites allocates nothing.
thread_local std::vector<int32_t> columnTable;

const int32_t* fillColumnTable(const AxisWalk& across) {
  if (columnTable.size() < size_t(across.count)) columnTable.resize(size_t(across.count));
  int32_t* table = columnTable.data();
  int64_t position = across.first;
  for (int i = 0; i < across.count; ++i, position += across.step) table[i] = int32_t(position >> 16);
  return table;
}

// Four pixels of in, made opaque, written over out where their colour is not
// key; kept where it is.
#ifdef __SSE2__
inline void keyFour(uint32_t* out, __m128i in, __m128i key) {
  const __m128i colourBits = _mm_set1_epi32(0x00FFFFFF);
  const __m128i alphaBits = _mm_set1_epi32(int(0xFF000000u));
  __m128i keyed = _mm_cmpeq_epi32(_mm_and_si128(in, colourBits), key);
  __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out));
  __m128i fresh = _mm_or_si128(in, alphaBits);
  __m128i merged = _mm_or_si128(_mm_and_si128(keyed, old), _mm_andnot_si128(keyed, fresh));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), merged);
}
#endif

// Copies the row's pixels whose colour is not key, made opaque; source pixels
// are taken opaque as they are (a bitmap without alpha). columns: the source
// column of each destination pixel, or null for an unstretched row.
void keyRowOpaque(uint32_t* out, const uint32_t* in, const int32_t* columns, int count, uint32_t key) {
  int i = 0;
#ifdef __SSE2__
  const __m128i keyVector = _mm_set1_epi32(int(key));
  if (columns == nullptr) {
    for (; i + 4 <= count; i += 4) {
      keyFour(out + i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), keyVector);
    }
  } else {
    for (; i + 4 <= count; i += 4) {
      __m128i four = _mm_set_epi32(int(in[columns[i + 3]]), int(in[columns[i + 2]]), int(in[columns[i + 1]]),
                                   int(in[columns[i]]));
      keyFour(out + i, four, keyVector);
    }
  }
#endif
  for (; i < count; ++i) {
    uint32_t p = in[columns != nullptr ? columns[i] : i];
    if ((p & 0x00FFFFFFu) != key) out[i] = p | 0xFF000000u;
  }
}

// A premultiplied pixel's colour with its alpha taken out, made opaque.
uint32_t unpremultiplied(uint32_t p) {
  uint32_t a = p >> 24;
  if (a == 0xFF) return p;
  uint32_t result = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t c = (((p >> shift) & 0xFFu) * 255u + a / 2u) / a;
    result |= std::min(c, 255u) << shift;
  }
  return result;
}

// The keyed copy of a row from a bitmap with per-pixel alpha: the key is
// compared with each pixel's own colour (alpha taken out), fully transparent
// pixels are left out, and the rest copied with their colour, opaque.
void keyRowAlpha(uint32_t* out, const uint32_t* in, const int32_t* columns, int count, uint32_t key) {
  for (int i = 0; i < count; ++i) {
    uint32_t p = in[columns != nullptr ? columns[i] : i];
    if ((p >> 24) == 0) continue;
    uint32_t colour = unpremultiplied(p);
    if ((colour & 0x00FFFFFFu) != key) out[i] = colour;
  }
}

// The solid mask of a constant alpha: a repeated 1x1 a8 image whose one byte
// is set per call, so no mask is made per blend.
struct ConstantMask {
  uint32_t bits = 0;
  pixman_image_t* image = nullptr;
  ~ConstantMask() {
    if (image != nullptr) pixman_image_unref(image);
  }
};
thread_local ConstantMask constantMask;

pixman_image_t* maskOf(BYTE alpha) {
  if (constantMask.image == nullptr) {
    constantMask.image = pixman_image_create_bits(PIXMAN_a8, 1, 1, &constantMask.bits, 4);
    if (constantMask.image == nullptr) return nullptr;
    pixman_image_set_repeat(constantMask.image, PIXMAN_REPEAT_NORMAL);
  }
  std::memcpy(&constantMask.bits, &alpha, 1);
  return constantMask.image;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
  if (rop == PATCOPY) return PatBlt(dest, x, y, width, height, rop);
  if (rop != SRCCOPY) return FALSE;
  Surface* d = dcSurface(dest);
  Surface* s = dcSurface(source);
  if (d == nullptr || s == nullptr) return FALSE;
  if (width <= 0 || height <= 0 || !usable(*d) || !usable(*s)) return TRUE;
  // The copied block, as offsets into the requested rectangle, inside both surfaces.
  int64_t left = std::max<int64_t>({0, -int64_t(x), -int64_t(sourceX)});
  int64_t top = std::max<int64_t>({0, -int64_t(y), -int64_t(sourceY)});
  int64_t right = std::min<int64_t>({width, int64_t(d->width) - x, int64_t(s->width) - sourceX});
  int64_t bottom = std::min<int64_t>({height, int64_t(d->height) - y, int64_t(s->height) - sourceY});
  if (right <= left || bottom <= top) return TRUE;
  size_t bytes = size_t(right - left) * 4;
  int rows = int(bottom - top);
  int dx = int(x + left), dy = int(y + top), sx = int(sourceX + left), sy = int(sourceY + top);
  // Whole rows of surfaces of one width are one run of memory in both: one
  // move copies them (and lets the C library stream a large frame).
  if (bytes == size_t(d->stride) && d->stride == s->stride) {
    std::memmove(d->row(dy), s->row(sy), bytes * size_t(rows));
    return TRUE;
  }
  // Within one surface, rows are copied bottom first when the block moves down.
  bool upward = d == s && dy > sy;
  for (int i = 0; i < rows; ++i) {
    int r = upward ? rows - 1 - i : i;
    std::memmove(d->row(dy + r) + dx, s->row(sy + r) + sx, bytes);
  }
  return TRUE;
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (rop != PATCOPY) return FALSE;
  Dc* d = lookupDc(dc);
  Surface* s = dcSurface(dc);
  if (d == nullptr || s == nullptr) return FALSE;
  const Brush* brush = lookup<Brush>(d->brush);
  if (brush == nullptr || brush->hollow || width <= 0 || height <= 0 || !usable(*s)) return TRUE;
  int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  int64_t right = std::min<int64_t>(int64_t(x) + width, s->width);
  int64_t bottom = std::min<int64_t>(int64_t(y) + height, s->height);
  if (right <= left || bottom <= top) return TRUE;
  pixman_fill(s->pixels.data(), s->stride / 4, 32, int(left), int(top), int(right - left), int(bottom - top),
              pixelFromColour(brush->colour));
  return TRUE;
}

BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HANDLE source, int sourceX, int sourceY,
                      int sourceWidth, int sourceHeight, COLORREF transparent) {
  Surface* d = dcSurface(dest);
  Source src = sourceOf(source);
  if (d == nullptr || src.surface == nullptr || d == src.surface) return FALSE;
  Surface& s = *src.surface;
  if (!usable(*d) || !usable(s)) return TRUE;
  AxisWalk across, down;
  if (!walkRect(*d, x, y, width, height, s, sourceX, sourceY, sourceWidth, sourceHeight, &across, &down)) {
    return width > 0 && height > 0 && sourceWidth > 0 && sourceHeight > 0;
  }
  uint32_t key = pixelFromColour(transparent) & 0x00FFFFFFu;
  bool straight = across.step == 0x10000;
  const int32_t* columns = straight ? nullptr : fillColumnTable(across);
  int firstColumn = across.first >> 16;
  int64_t position = down.first;
  for (int j = 0; j < down.count; ++j, position += down.step) {
    uint32_t* out = d->row(down.destStart + j) + across.destStart;
    const uint32_t* in = s.row(int(position >> 16));
    if (src.perPixelAlpha) {
      keyRowAlpha(out, straight ? in + firstColumn : in, columns, across.count, key);
    } else {
      keyRowOpaque(out, straight ? in + firstColumn : in, columns, across.count, key);
    }
  }
  return TRUE;
}

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int sourceWidth,
                int sourceHeight, BLENDFUNCTION blend) {
  if (blend.BlendOp != AC_SRC_OVER) return FALSE;
  Dc* sourceDc = lookupDc(source);
  if (sourceDc == nullptr) return FALSE;
  Surface* d = dcSurface(dest);
  Source src = sourceOfDc(sourceDc);
  Surface* s = src.surface;
  if (d == nullptr || s == nullptr || d == s) return FALSE;
  if (!usable(*d) || !usable(*s)) return TRUE;
  AxisWalk across, down;
  if (!walkRect(*d, x, y, width, height, *s, sourceX, sourceY, sourceWidth, sourceHeight, &across, &down)) {
    return width > 0 && height > 0 && sourceWidth > 0 && sourceHeight > 0;
  }
  if (blend.SourceConstantAlpha == 0) return TRUE;
  // Without AC_SRC_ALPHA the source's alpha is read as 0xFF. An opaque source
  // is read as it is: the same pixels, and pixman's fast paths take a8r8g8b8.
  bool withAlpha = (blend.AlphaFormat & AC_SRC_ALPHA) != 0 || !src.perPixelAlpha;
  bool straight = across.step == 0x10000 && down.step == 0x10000;
  pixman_image_t* target = surfaceView(*d, View::Argb);
  pixman_image_t* mask = blend.SourceConstantAlpha == 255 ? nullptr : maskOf(blend.SourceConstantAlpha);
  if (target == nullptr || (mask == nullptr && blend.SourceConstantAlpha != 255)) return FALSE;
  if (straight) {
    pixman_image_t* picture = surfaceView(*s, withAlpha ? View::Argb : View::Xrgb);
    if (picture == nullptr) return FALSE;
    pixman_image_composite32(PIXMAN_OP_OVER, picture, mask, target, across.first >> 16, down.first >> 16, 0, 0,
                             across.destStart, down.destStart, across.count, down.count);
    return TRUE;
  }
  pixman_image_t* picture = surfaceView(*s, withAlpha ? View::ArgbScaled : View::XrgbScaled);
  if (picture == nullptr) return FALSE;
  // pixman samples destination pixel j at (j + 0.5) * step + offset and takes
  // the pixel of (that - 1) >> 16; the offset makes that the walk's position.
  pixman_transform_t transform;
  pixman_transform_init_identity(&transform);
  transform.matrix[0][0] = across.step;
  transform.matrix[0][2] = across.first + 1 - ((across.step + 1) >> 1);
  transform.matrix[1][1] = down.step;
  transform.matrix[1][2] = down.first + 1 - ((down.step + 1) >> 1);
  pixman_image_set_transform(picture, &transform);
  pixman_image_composite32(PIXMAN_OP_OVER, picture, mask, target, 0, 0, 0, 0, across.destStart, down.destStart,
                           across.count, down.count);
  return TRUE;
}
