// The fills of Rectangle and Ellipse, checked pixel for pixel against cairo's
// aliased fills of the same shapes made the plain way, each on a context of its
// own: the interior with the brush, then the outline as the even-odd band
// between the shape and the shape inset by the pen width. Rectangle fills its
// boxes of whole pixels directly, and Ellipse fills interior and outline of one
// colour in one pass on a context it reuses from shape to shape; the cases
// cover boxes of every kind (reversed corners, off the surface, thinner than
// their outline, long and thin), pens of several widths, null and dashed pens,
// hollow brushes, and outline and fill in one colour or two.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tests/host/gdi_test_support.h"

namespace {

constexpr int kSide = 64;

struct Tools {
  int penStyle;
  int penWidth;
  COLORREF penColour;
  bool hollow;
  COLORREF brushColour;
};

void setColour(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void addBox(cairo_t* cr, double x0, double y0, double x1, double y1) {
  if (x1 > x0 && y1 > y0) cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
}

void addEllipse(cairo_t* cr, double x0, double y0, double x1, double y1) {
  double rx = (x1 - x0) / 2.0, ry = (y1 - y0) / 2.0;
  if (rx <= 0.0 || ry <= 0.0) return;
  cairo_new_sub_path(cr);
  cairo_save(cr);
  cairo_translate(cr, x0 + rx, y0 + ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, 2.0 * M_PI);
  cairo_restore(cr);
  cairo_close_path(cr);
}

using AddShape = void (*)(cairo_t*, double, double, double, double);

// The shape drawn with cairo paths onto pixels (kSide x kSide): the interior
// with the brush, then the outline as the even-odd band. cut: the box is first
// cut to a margin around the surface, as Rectangle does.
void referenceShape(std::vector<uint32_t>& pixels, const Tools& t, AddShape add, bool cut, int left, int top,
                    int right, int bottom) {
  int64_t l = std::min(left, right), r = std::max(left, right);
  int64_t u = std::min(top, bottom), v = std::max(top, bottom);
  if (l == r || u == v) return;
  int w = std::clamp(t.penWidth, 1, 65536);
  int64_t margin = w + 2;
  auto fit = [&](int64_t n) { return double(cut ? std::clamp<int64_t>(n, -margin, kSide + margin) : n); };
  double x0 = fit(l), y0 = fit(u), x1 = fit(r), y1 = fit(v);
  cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                                           CAIRO_FORMAT_ARGB32, kSide, kSide, kSide * 4);
  cairo_t* cr = cairo_create(s);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (t.penStyle == PS_NULL) {
    if (!t.hollow) {
      add(cr, x0, y0, x1 - 1.0, y1 - 1.0);
      setColour(cr, t.brushColour);
      cairo_fill(cr);
    }
  } else {
    bool inside = (x1 - x0) > 2.0 * w && (y1 - y0) > 2.0 * w;
    if (!t.hollow && inside) {
      add(cr, x0 + w, y0 + w, x1 - w, y1 - w);
      setColour(cr, t.brushColour);
      cairo_fill(cr);
    }
    add(cr, x0, y0, x1, y1);
    if (inside) add(cr, x0 + w, y0 + w, x1 - w, y1 - w);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    setColour(cr, t.penColour);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(s);
  cairo_surface_destroy(s);
}

// The same shape drawn with the platform's call (Rectangle or Ellipse) onto a canvas.
void platformShape(gdi_test::Canvas& canvas, const Tools& t, BOOL (*draw)(HDC, int, int, int, int), int left,
                   int top, int right, int bottom) {
  HPEN pen = CreatePen(t.penStyle, t.penWidth, t.penColour);
  HBRUSH brush = t.hollow ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : CreateSolidBrush(t.brushColour);
  HGDIOBJ oldPen = SelectObject(canvas.dc, pen);
  HGDIOBJ oldBrush = SelectObject(canvas.dc, brush);
  EXPECT_TRUE(draw(canvas.dc, left, top, right, bottom));
  SelectObject(canvas.dc, oldPen);
  SelectObject(canvas.dc, oldBrush);
  DeleteObject(pen);
  if (!t.hollow) DeleteObject(brush);
}

int differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  int n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

TEST(ShapesRectangleFills, EveryPixelMatchesCairosAliasedFillsOfTheSameBoxes) {
  const Tools tools[] = {
      {PS_SOLID, 1, RGB(200, 10, 30), false, RGB(200, 10, 30)},  // outline and fill in one colour
      {PS_SOLID, 1, RGB(200, 10, 30), false, RGB(5, 250, 60)},
      {PS_SOLID, 3, RGB(1, 2, 3), false, RGB(90, 80, 70)},
      {PS_SOLID, 7, RGB(255, 255, 0), true, RGB(0, 0, 0)},
      {PS_SOLID, 0, RGB(9, 99, 199), false, RGB(199, 99, 9)},   // width 0 draws one pixel wide
      {PS_SOLID, -4, RGB(9, 99, 199), true, RGB(0, 0, 0)},
      {PS_DASH, 1, RGB(40, 50, 60), false, RGB(60, 50, 40)},    // a rectangle's outline is never dashed
      {PS_NULL, 1, RGB(0, 0, 0), false, RGB(128, 0, 255)},      // no outline: one pixel smaller
      {PS_NULL, 1, RGB(0, 0, 0), true, RGB(0, 0, 0)},
  };
  const int boxes[][4] = {
      {10, 10, 20, 20}, {20, 20, 10, 10}, {5, 40, 50, 8},     {0, 0, kSide, kSide}, {-30, -5, 12, 70},
      {60, 60, 200, 90}, {3, 3, 4, 30},   {8, 8, 13, 13},     {8, 8, 14, 14},       {8, 8, 9, 9},
      {30, 30, 30, 40}, {-100, 10, -2, 20}, {62, 1, 63, 63}, {-2147483647, 5, 2147483647, 9},
  };
  uint32_t seed = 1;
  for (const Tools& t : tools) {
    for (const auto& box : boxes) {
      gdi_test::Canvas canvas(kSide, kSide);
      for (uint32_t& p : canvas.surface().pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = 0xFF000000u | (seed >> 8);
      }
      std::vector<uint32_t> expected = canvas.surface().pixels;
      referenceShape(expected, t, addBox, true, box[0], box[1], box[2], box[3]);
      platformShape(canvas, t, Rectangle, box[0], box[1], box[2], box[3]);
      EXPECT_EQ(differing(canvas.surface().pixels, expected), 0) << "pen style " << t.penStyle << " width " << t.penWidth << " hollow " << t.hollow
                              << " box " << box[0] << "," << box[1] << "," << box[2] << "," << box[3];
    }
  }
}

TEST(ShapesEllipseFills, EveryPixelMatchesCairosFillsWhenShapesFollowOneAnother) {
  // One canvas for all: what one ellipse leaves in the reused context (the
  // band's even-odd rule) must not change the next.
  const Tools tools[] = {
      {PS_SOLID, 1, RGB(200, 10, 30), false, RGB(200, 10, 30)},
      {PS_SOLID, 1, RGB(200, 10, 30), false, RGB(5, 250, 60)},
      {PS_SOLID, 3, RGB(1, 2, 3), false, RGB(1, 2, 3)},
      {PS_SOLID, 2, RGB(90, 2, 3), false, RGB(1, 2, 90)},
      {PS_SOLID, 5, RGB(255, 255, 0), true, RGB(0, 0, 0)},
      {PS_NULL, 1, RGB(0, 0, 0), false, RGB(128, 0, 255)},
  };
  gdi_test::Canvas canvas(kSide, kSide);
  std::vector<uint32_t> expected = canvas.surface().pixels;
  uint32_t seed = 7;
  for (int i = 0; i < 240; ++i) {
    const Tools& t = tools[i % 6];
    seed = seed * 1664525u + 1013904223u;
    int x = int(seed >> 8) % 80 - 8, y = int(seed >> 16) % 80 - 8;
    seed = seed * 1664525u + 1013904223u;
    int w = 1 + int(seed >> 9) % 60, h = 1 + int(seed >> 19) % 60;
    if (i % 5 == 0) h = 3 + i % 4;  // long and thin, where the band is narrowest
    referenceShape(expected, t, addEllipse, false, x, y, x + w, y + h);
    platformShape(canvas, t, Ellipse, x, y, x + w, y + h);
    ASSERT_EQ(differing(canvas.surface().pixels, expected), 0) << "ellipse " << i << " at " << x << "," << y << " size " << w << "x" << h;
  }
}

TEST(ShapesLines, ADashedPenLeavesNoDashesForTheNextLine) {
  gdi_test::Canvas canvas(80, 4);
  HPEN dashed = CreatePen(PS_DASH, 1, RGB(255, 0, 0));
  HGDIOBJ old = SelectObject(canvas.dc, dashed);
  POINT first[2] = {{0, 0}, {80, 0}};
  EXPECT_TRUE(Polyline(canvas.dc, first, 2));
  HPEN solid = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
  SelectObject(canvas.dc, solid);
  POINT second[2] = {{0, 2}, {80, 2}};
  EXPECT_TRUE(Polyline(canvas.dc, second, 2));
  SelectObject(canvas.dc, old);
  DeleteObject(dashed);
  DeleteObject(solid);
  int gaps = 0, lit = 0;
  for (int x = 0; x < 80; ++x) {
    gaps += canvas.at(x, 0) == host::kOpaqueBlack;
    lit += canvas.at(x, 2) == 0xFF00FF00u;
  }
  EXPECT_GT(gaps, 0);   // the first line is dashed
  EXPECT_EQ(lit, 80);   // the second is whole
}

}  // namespace
