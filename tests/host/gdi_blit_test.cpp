// The copies: BitBlt, PatBlt, TransparentImage and AlphaBlend on real pixels,
// with clipping at every edge, stretching, the colour key and alpha; each copy
// of a pattern whose every pixel names its place is checked pixel by pixel.
#include <cstdlib>
#include <utility>

#include "tests/host/gdi_test_support.h"

using namespace gdi_test;

namespace {

constexpr uint32_t kMagenta = 0xFFFF00FFu;
constexpr COLORREF kKey = RGB(255, 0, 255);

// A distinct opaque colour for every source pixel, never magenta.
uint32_t patternAt(int x, int y) { return 0xFF000000u | uint32_t(x + 1) << 16 | uint32_t(y + 1) << 8 | 0x40u; }

void fillPattern(Canvas& c) {
  host::Surface& s = c.surface();
  for (size_t i = 0; i < s.pixels.size(); ++i) s.pixels[i] = patternAt(int(i) % s.width, int(i) / s.width);
}

// The source pixel a pattern pixel came from; (-1, -1) for anything else.
std::pair<int, int> patternSource(uint32_t p) {
  if ((p & 0xFF) != 0x40u || alpha(p) != 0xFF) return {-1, -1};
  return {red(p) - 1, green(p) - 1};
}

BLENDFUNCTION blendOf(BYTE constant, BYTE format) { return BLENDFUNCTION{AC_SRC_OVER, 0, constant, format}; }

// A copy of a patterned source to (x, y, w, h) from (sx, sy): every pixel of
// the destination shows the source pixel it lies over where that pixel exists,
// and keeps its colour elsewhere. Whole rows between surfaces of one width are
// copied as one run of memory, the rest row by row; both clip to both surfaces.
// Within one surface (the last rows) the block moves as a whole, up, down or
// sideways, as if read before it is written.
TEST(BitBlt, CopiesTheOverlapOfBothSurfacesAndNothingElse) {
  constexpr int N = 0x7FFFFFFF;
  const struct {
    int sourceW, sourceH, destW, destH;
    int x, y, w, h, sx, sy;
    const char* what;
  } cases[] = {
      {4, 4, 6, 6, 2, 1, 2, 3, 1, 0, "inside both"},
      {4, 4, 5, 5, -2, -1, 4, 4, 0, 0, "destination above and left of its surface"},
      {4, 4, 5, 5, 1, 1, 4, 4, -1, 2, "source partly outside its surface"},
      {16, 12, 16, 12, 0, 6, 16, 40, 0, 4, "whole rows, more than either holds"},
      {16, 12, 12, 12, 0, 0, 16, 12, 0, 0, "to a narrower surface"},
      {4, 4, 5, 5, 100, 100, 4, 4, 0, 0, "wholly outside"},
      {4, 4, 5, 5, 0, 0, N, N, N - 15, 0, "huge size, far source"},
      {4, 4, 5, 5, -N, 0, N, 3, 0, 0, "far destination"},
      {4, 4, 5, 5, 0, 0, -3, 3, 0, 0, "negative width"},
      {5, 5, 0, 0, 1, 1, 4, 4, 0, 0, "within one surface: down and right"},
      {5, 5, 0, 0, 0, 0, 4, 4, 1, 1, "within one surface: up and left"},
      {16, 12, 0, 0, 0, 4, 16, 5, 0, 1, "within one surface: whole rows down"},
      {16, 12, 0, 0, 0, 4, 16, 5, 0, 6, "within one surface: whole rows up"},
      {16, 12, 0, 0, 0, 2, 16, 5, 0, 1, "within one surface: whole rows one down"},
      {16, 12, 0, 0, 0, 1, 16, 5, 0, 6, "within one surface: whole rows far up"},
  };
  for (const auto& k : cases) {
    bool within = k.destW == 0;  // the source is the destination
    Canvas source(k.sourceW, k.sourceH), other(k.destW + within, k.destH + within, 0xFF111111u);
    fillPattern(source);
    Canvas& dest = within ? source : other;
    int destW = dest.surface().width, destH = dest.surface().height;
    EXPECT_TRUE(BitBlt(dest.dc, k.x, k.y, k.w, k.h, source.dc, k.sx, k.sy, SRCCOPY)) << k.what;
    for (int y = 0; y < destH; ++y) {
      for (int x = 0; x < destW; ++x) {
        int64_t fx = int64_t(x) - k.x + k.sx, fy = int64_t(y) - k.y + k.sy;
        bool copied = k.w > 0 && int64_t(x) - k.x < k.w && x >= k.x && y >= k.y && int64_t(y) - k.y < k.h &&
                      fx >= 0 && fx < k.sourceW && fy >= 0 && fy < k.sourceH;
        uint32_t kept = within ? patternAt(x, y) : 0xFF111111u;
        ASSERT_EQ(dest.at(x, y), copied ? patternAt(int(fx), int(fy)) : kept) << k.what << " at " << x << "," << y;
      }
    }
  }
}

TEST(PatBlt, FillsWithTheSelectedBrush) {
  Canvas c(4, 3, 0xFF000000u);
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  HGDIOBJ old = SelectObject(c.dc, brush);
  EXPECT_TRUE(PatBlt(c.dc, -1, 1, 3, 5, PATCOPY));
  const uint32_t K = 0xFF000000u, B = 0xFF0A141Eu;
  EXPECT_EQ(c.surface().pixels, (std::vector<uint32_t>{K, K, K, K, B, B, K, K, B, B, K, K}));
  SelectObject(c.dc, GetStockObject(NULL_BRUSH));
  EXPECT_TRUE(PatBlt(c.dc, 0, 0, 4, 3, PATCOPY));
  EXPECT_EQ(c.at(3, 0), 0xFF000000u);  // a hollow brush fills nothing
  SelectObject(c.dc, old);
  EXPECT_TRUE(PatBlt(c.dc, 3, 0, 10, 1, PATCOPY));
  EXPECT_EQ(c.at(3, 0), 0xFFFFFFFFu);  // the DC's white stock brush
  EXPECT_TRUE(PatBlt(c.dc, 0, 0, 0, 3, PATCOPY));
  EXPECT_TRUE(PatBlt(c.dc, 0x7FFFFFF0, 0, 0x7FFFFFFF, 3, PATCOPY));
  EXPECT_FALSE(PatBlt(c.dc, 0, 0, 1, 1, SRCCOPY));
  DeleteObject(brush);
}

TEST(TransparentImage, KeysEveryPixelOfWideRows) {
  Canvas source(11, 2);
  fillPattern(source);
  for (int x = 0; x < 11; x += 3) source.at(x, 0) = kMagenta;
  source.at(10, 1) = kMagenta;
  Canvas dest(24, 4, 0xFF000000u);
  EXPECT_TRUE(TransparentImage(dest.dc, 1, 0, 11, 2, source.dc, 0, 0, 11, 2, kKey));
  EXPECT_TRUE(TransparentImage(dest.dc, 0, 2, 22, 2, source.dc, 0, 0, 11, 1, kKey));
  for (int x = 0; x < 24; ++x) {
    for (int y = 0; y < 2; ++y) {
      bool from = x >= 1 && x < 12 && source.at(x - 1, y) != kMagenta;
      ASSERT_EQ(dest.at(x, y), from ? patternAt(x - 1, y) : 0xFF000000u) << x << "," << y;
    }
    for (int y = 2; y < 4; ++y) {
      bool from = x < 22 && source.at(x / 2, 0) != kMagenta;
      ASSERT_EQ(dest.at(x, y), from ? patternAt(x / 2, 0) : 0xFF000000u) << x << "," << y;
    }
  }
  // Another key leaves the magenta in, and keys its own colour out.
  EXPECT_TRUE(TransparentImage(dest.dc, 1, 0, 11, 2, source.dc, 0, 0, 11, 2, patternAt(1, 0) & 0xFFFFFF));
  EXPECT_EQ(dest.at(1, 0), kMagenta);
  EXPECT_EQ(dest.at(2, 0), patternAt(1, 0));  // left as the first copy drew it
}

// Halving takes the even pixels of the source rectangle. (Other scales and
// frames of a sheet: StretchedCopies.)
TEST(TransparentImage, HalvingTakesTheEvenPixels) {
  Canvas source(4, 4), dest(8, 8, 0xFF000000u);
  fillPattern(source);
  EXPECT_TRUE(TransparentImage(dest.dc, 1, 2, 2, 2, source.dc, 0, 0, 4, 4, kKey));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dest.at(1 + i % 2, 2 + i / 2), patternAt(i % 2 * 2, i / 2 * 2)) << i;
  EXPECT_EQ(dest.at(3, 2), 0xFF000000u);
}

// Sizes of zero or less fail; rectangles far outside or of extreme size draw
// nothing and do not fault. (Clipping at the edges: StretchedCopies.)
TEST(TransparentImage, ZeroNegativeAndRunawaySizesDrawNothing) {
  constexpr int N = 0x7FFFFFFF;
  Canvas source(4, 4, 0xFFFFFFFFu), dest(6, 6, 0xFF000000u);
  EXPECT_FALSE(TransparentImage(dest.dc, 0, 0, 0, 2, source.dc, 0, 0, 2, 2, kKey));
  EXPECT_FALSE(TransparentImage(dest.dc, 0, 0, 2, -2, source.dc, 0, 0, 2, 2, kKey));
  EXPECT_FALSE(TransparentImage(dest.dc, 0, 0, 2, 2, source.dc, 0, 0, -2, 2, kKey));
  EXPECT_FALSE(TransparentImage(dest.dc, 0, 0, 2, 2, source.dc, 0, 0, 2, 0, kKey));
  TransparentImage(dest.dc, N - 15, 0, N, 3, source.dc, 0, 0, 4, 4, kKey);
  TransparentImage(dest.dc, -N, -N, N, N, source.dc, 0, 0, 1, 1, kKey);
  TransparentImage(dest.dc, 0, 0, 6, 6, source.dc, -N, 0, N, 4, kKey);
  TransparentImage(dest.dc, 0, 0, 6, 6, source.dc, N - 15, N - 15, 4, 4, kKey);
  for (uint32_t p : dest.surface().pixels) ASSERT_EQ(p, 0xFF000000u);
}

// A source bitmap (here given by its handle, not a DC) with per-pixel alpha is
// keyed on its own colours: magenta at half alpha, premultiplied, is keyed out;
// fully transparent is left out; half-alpha dark red (0x80, 0, 0
// unpremultiplied) and opaque green are copied opaque.
TEST(TransparentImage, PerPixelAlphaBitmapByHandleKeysItsOwnColours) {
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 4, 1);
  host::lookup<host::Bitmap>(bitmap)->perPixelAlpha = true;
  host::lookup<host::Bitmap>(bitmap)->surface.pixels = {0x80800080u, 0x00000000u, 0x80400000u, 0xFF00FF00u};
  Canvas dest(4, 1, 0xFF333333u);
  EXPECT_TRUE(TransparentImage(dest.dc, 0, 0, 4, 1, bitmap, 0, 0, 4, 1, kKey));
  EXPECT_EQ(dest.surface().pixels, (std::vector<uint32_t>{0xFF333333u, 0xFF333333u, 0xFF800000u, 0xFF00FF00u}));
  DeleteObject(bitmap);
  EXPECT_FALSE(TransparentImage(dest.dc, 0, 0, 4, 1, bitmap, 0, 0, 4, 1, kKey));
}

// Constant alpha blends magenta like any colour; a source's own alpha counts
// only with AC_SRC_ALPHA (an opaque source blends alike either way: the last
// two rows), and both alphas at once multiply.
TEST(AlphaBlend, ConstantAndPerPixelAlpha) {
  const struct {
    uint32_t source;
    bool perPixel;
    BYTE constant, format;
    uint32_t under, expected;
    int tolerance;  // per channel
  } cases[] = {
      {kMagenta, false, 128, 0, 0xFF000000u, 0xFF800080u, 0},
      {kMagenta, false, 254, AC_SRC_ALPHA, 0xFF000000u, 0xFFFE00FEu, 0},
      {kMagenta, false, 128, 0, 0xFFFFFFFFu, 0xFFFF7FFFu, 0},
      {kMagenta, false, 0, 0, 0xFF123456u, 0xFF123456u, 0},
      {0x80800000u, true, 255, AC_SRC_ALPHA, 0xFFFFFFFFu, 0xFFFF7F7Fu, 0},  // red at alpha 128, premultiplied
      {0x80800000u, true, 255, 0, 0xFFFFFFFFu, 0xFF800000u, 0},          // counted as opaque
      {0x80800000u, true, 128, AC_SRC_ALPHA, 0xFFFFFFFFu, 0xFFFFBFBFu, 1},  // a quarter red over 3/4 white
      {0xFF204060u, false, 100, AC_SRC_ALPHA, 0xFF000000u, 0xFF0D1926u, 1},
      {0xFF204060u, false, 100, 0, 0xFF000000u, 0xFF0D1926u, 1},
  };
  for (const auto& k : cases) {
    Canvas source(2, 2, k.source), dest(2, 2, k.under);
    host::lookup<host::Bitmap>(source.bitmap)->perPixelAlpha = k.perPixel;
    EXPECT_TRUE(AlphaBlend(dest.dc, 0, 0, 2, 2, source.dc, 0, 0, 2, 2, blendOf(k.constant, k.format)));
    uint32_t p = dest.at(1, 1);
    EXPECT_EQ(alpha(p), 0xFF) << std::hex << k.source;
    for (int shift : {0, 8, 16}) {
      EXPECT_NEAR(int((p >> shift) & 0xFF), int((k.expected >> shift) & 0xFF), k.tolerance) << std::hex << k.source << " " << p;
    }
  }
}

TEST(Copies, RefuseStaleHandlesOtherOperationsAndOneSurfaceAsBothEnds) {
  Canvas source(1, 1), dest(1, 1), both(4, 4);
  HDC stale = CreateCompatibleDC(nullptr);
  DeleteDC(stale);
  EXPECT_FALSE(BitBlt(dest.dc, 0, 0, 2, 2, stale, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(stale, 0, 0, 2, 2, dest.dc, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(dest.dc, 0, 0, 2, 2, dest.dc, 0, 0, 0x00660046u));
  EXPECT_FALSE(AlphaBlend(both.dc, 0, 0, 4, 4, both.dc, 0, 0, 2, 2, blendOf(128, 0)));
  EXPECT_FALSE(TransparentImage(both.dc, 0, 0, 4, 4, both.dc, 0, 0, 2, 2, kKey));
  EXPECT_FALSE(AlphaBlend(dest.dc, 0, 0, 1, 1, source.dc, 0, 0, 1, 1, BLENDFUNCTION{1, 0, 128, 0}));
  EXPECT_FALSE(AlphaBlend(dest.dc, 0, 0, -1, 1, source.dc, 0, 0, 1, 1, blendOf(128, 0)));
  EXPECT_FALSE(AlphaBlend(dest.dc, 0, 0, 1, 1, stale, 0, 0, 1, 1, blendOf(128, 0)));
  EXPECT_FALSE(AlphaBlend(dest.dc, 0, 0, 1, 1, reinterpret_cast<HDC>(source.bitmap), 0, 0, 1, 1, blendOf(128, 0)));
}

// TransparentImage (our loop) and AlphaBlend at full alpha (pixman) must put
// every source pixel at the same place, for any scale, offset and clipping.
TEST(StretchedCopies, PlacePixelsAlike) {
  Canvas source(9, 7);
  fillPattern(source);
  const int destSizes[] = {1, 2, 3, 5, 7, 9, 13, 18, 27};
  const int origins[] = {-11, -4, -1, 0, 2, 6};
  int compared = 0;
  for (int w : destSizes) {
    for (int sw : {1, 2, 3, 4, 7, 9}) {
      for (int x : origins) {
        int h = w % 5 + 2, sh = sw % 4 + 3, y = -x / 2;
        int sx = (9 - sw) / 2 - (x < 0 ? 1 : 0), sy = 7 - sh - 1;
        SCOPED_TRACE(testing::Message() << "dest " << x << "," << y << " " << w << "x" << h << " source " << sx << ","
                                        << sy << " " << sw << "x" << sh);
        Canvas keyed(16, 12, 0xFF000000u), blended(16, 12, 0xFF000000u);
        TransparentImage(keyed.dc, x, y, w, h, source.dc, sx, sy, sw, sh, kKey);
        AlphaBlend(blended.dc, x, y, w, h, source.dc, sx, sy, sw, sh, blendOf(255, AC_SRC_ALPHA));
        for (int py = 0; py < 12; ++py) {
          for (int px = 0; px < 16; ++px) {
            ASSERT_EQ(keyed.at(px, py), blended.at(px, py)) << "at " << px << "," << py;
            // A pixel of the destination rectangle whose centre samples the source
            // surface (clearly inside it) is drawn, with the source rectangle's
            // pixel nearest that sample.
            double cx = sx + (px - x + 0.5) * sw / w, cy = sy + (py - y + 0.5) * sh / h;
            bool inside = px >= x && px < x + w && py >= y && py < y + h;
            auto [fx, fy] = patternSource(keyed.at(px, py));
            bool samplesSource = inside && cx > 0.01 && cx < 8.99 && cy > 0.01 && cy < 6.99;
            ASSERT_TRUE(fx >= 0 || !samplesSource) << "not drawn at " << px << "," << py;
            if (fx < 0) continue;
            ++compared;
            ASSERT_TRUE(fx >= sx && fx < sx + sw && fy >= sy && fy < sy + sh) << fx << "," << fy << " at " << px << "," << py;
            ASSERT_LE(std::abs(fx + 0.5 - cx), 0.5 + 1e-3) << px << "," << py;
            ASSERT_LE(std::abs(fy + 0.5 - cy), 0.5 + 1e-3) << px << "," << py;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 1000);
}

// On a fully transparent surface (the live overlay's back buffer) every
// operation keeps premultiplied alpha: copies carry it, fills, keyed copies,
// shapes and text paint opaque, a blend is OVER and stays translucent.
TEST(TransparentSurfaces, EveryOperationKeepsPremultipliedAlpha) {
  using Draw = void (*)(Canvas& dest, Canvas& source);
  Draw bitBlt = [](Canvas& d, Canvas& s) { BitBlt(d.dc, 0, 0, 4, 4, s.dc, 0, 0, SRCCOPY); };
  Draw keyed = [](Canvas& d, Canvas& s) { TransparentImage(d.dc, 0, 0, 4, 4, s.dc, 0, 0, 2, 2, kKey); };
  struct Case {
    const char* what;
    Draw draw;
    uint32_t source, expected;
  };
  const Case cases[] = {
      {"BitBlt of a transparent pixel", bitBlt, 0x00000000u, 0x00000000u},
      {"BitBlt of a translucent pixel", bitBlt, 0x80400000u, 0x80400000u},
      {"PatBlt", [](Canvas& d, Canvas&) { PatBlt(d.dc, 0, 0, 4, 4, PATCOPY); }, 0, 0xFF010203u},
      {"TransparentImage", keyed, 0xFF00C800u, 0xFF00C800u},
      {"TransparentImage of the key", keyed, kMagenta, 0x00000000u},
      {"AlphaBlend at 128", [](Canvas& d, Canvas& s) { AlphaBlend(d.dc, 0, 0, 4, 4, s.dc, 0, 0, 2, 2, blendOf(128, 0)); },
       0xFF00C800u, 0x80006400u},
      {"AlphaBlend per pixel", [](Canvas& d, Canvas& s) {
         host::lookup<host::Bitmap>(s.bitmap)->perPixelAlpha = true;
         AlphaBlend(d.dc, 0, 0, 4, 4, s.dc, 0, 0, 2, 2, blendOf(255, AC_SRC_ALPHA));
       }, 0x80400000u, 0x80400000u},
      {"Rectangle", [](Canvas& d, Canvas&) { Rectangle(d.dc, 0, 0, 4, 4); }, 0, 0xFF010203u},
      {"Ellipse", [](Canvas& d, Canvas&) { Ellipse(d.dc, -8, -8, 12, 12); }, 0, 0xFF010203u},
  };
  for (const Case& c : cases) {
    Canvas source(2, 2, c.source), dest(4, 4, 0x00000000u);
    dest.select(CreatePen(PS_SOLID, 1, RGB(1, 2, 3))), dest.select(CreateSolidBrush(RGB(1, 2, 3)));  // fills and shapes
    c.draw(dest, source);
    EXPECT_EQ(dest.at(1, 1), c.expected) << c.what << std::hex << ": " << dest.at(1, 1);
  }
  // Text: every pixel is left transparent or painted opaque in the text's colour.
  Canvas text(48, 24, 0x00000000u);
  SetBkMode(text.dc, TRANSPARENT);
  SetTextColor(text.dc, RGB(250, 240, 230));
  RECT box{0, 0, 48, 24};
  DrawTextW(text.dc, u"Wm", -1, &box, DT_NOCLIP);
  int painted = 0;
  for (uint32_t p : text.surface().pixels) {
    EXPECT_TRUE(p == 0 || p == 0xFFFAF0E6u) << std::hex << p;
    painted += p != 0;
  }
  EXPECT_GT(painted, 20);
}

}  // namespace
