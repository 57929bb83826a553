// Shapes: 1000 filled and outlined rectangles of 40x40, 1000 filled and
// outlined ellipses of 40x40, 1000 lines of pen width 3 and 1000 filled
// triangles, scattered over the 1920x1080 back buffer, each drawn with the
// painter's calls for its entry (a pen and a brush made, selected, the shape
// drawn, the previous objects selected back, the new ones deleted).
//
// Peer: cairo drawing the same shapes in the same colours on a surface of the
// same size with antialiasing off, as cairo is written for: one context per
// frame, a path per shape, filled and stroked. Floor, for the rectangles: a
// plain fill (pixman_fill) of the same rectangles.
#include <cairo.h>
#include <pixman.h>

#include <cmath>

#include "bench/bench_support.h"
#include "platform/host/gdi/gdi_objects.h"
#include "render/surfaces.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kShapes = 1000;
constexpr int kSide = 40;

enum ShapeKind { kRectangles, kEllipses, kLines, kTriangles };

struct Shape {
  POINT points[3];  // boxes: top-left and bottom-right; lines: the two ends; triangles: the vertices
  COLORREF colour;
};

std::vector<Shape> layoutShapes(ShapeKind kind) {
  bench::Lcg lcg(99 + uint32_t(kind));
  std::vector<Shape> shapes;
  for (int i = 0; i < kShapes; ++i) {
    Shape s{};
    int x = 60 + lcg.below(kWidth - 120), y = 60 + lcg.below(kHeight - 120);
    s.colour = RGB(lcg.below(256), lcg.below(256), lcg.below(256));
    switch (kind) {
      case kRectangles:
      case kEllipses:
        s.points[0] = {x, y};
        s.points[1] = {x + kSide, y + kSide};
        break;
      case kLines: {
        double angle = lcg.below(360) * M_PI / 180.0;
        s.points[0] = {x, y};
        s.points[1] = {x + int(std::lround(50 * std::cos(angle))), y + int(std::lround(50 * std::sin(angle)))};
        break;
      }
      case kTriangles:
        s.points[0] = {x, y};
        s.points[1] = {x + kSide - lcg.below(10), y + lcg.below(kSide)};
        s.points[2] = {x + lcg.below(kSide), y + kSide - lcg.below(10)};
        break;
    }
    shapes.push_back(s);
  }
  return shapes;
}

// Draws the shapes with the painter's calls for their entries.
void drawOurs(ShapeKind kind, const std::vector<Shape>& shapes) {
  for (const Shape& s : shapes) {
    switch (kind) {
      case kRectangles:
      case kEllipses: {
        HPEN pen = CreatePen(PS_SOLID, 1, s.colour);
        HBRUSH brush = CreateSolidBrush(s.colour);
        HGDIOBJ previousPen = SelectObject(backBuffer, pen);
        HGDIOBJ previousBrush = SelectObject(backBuffer, brush);
        if (kind == kRectangles) {
          Rectangle(backBuffer, s.points[0].x, s.points[0].y, s.points[1].x, s.points[1].y);
        } else {
          Ellipse(backBuffer, s.points[0].x, s.points[0].y, s.points[1].x, s.points[1].y);
        }
        SelectObject(backBuffer, previousPen);
        SelectObject(backBuffer, previousBrush);
        DeleteObject(pen);
        DeleteObject(brush);
        break;
      }
      case kLines: {
        HPEN pen = CreatePen(PS_SOLID, 3, s.colour);
        HGDIOBJ previous = SelectObject(backBuffer, pen);
        Polyline(backBuffer, s.points, 2);
        SelectObject(backBuffer, previous);
        DeleteObject(pen);
        break;
      }
      case kTriangles: {
        HPEN pen = CreatePen(PS_SOLID, 1, s.colour);
        HBRUSH brush = CreateSolidBrush(s.colour);
        HGDIOBJ previousPen = SelectObject(backBuffer, pen);
        HGDIOBJ previousBrush = SelectObject(backBuffer, brush);
        Polygon(backBuffer, s.points, 3);
        SelectObject(backBuffer, previousPen);
        SelectObject(backBuffer, previousBrush);
        DeleteObject(pen);
        DeleteObject(brush);
        break;
      }
    }
  }
}

void setColour(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

// Draws the shapes with cairo on target, aliased.
void drawCairo(ShapeKind kind, const std::vector<Shape>& shapes, cairo_surface_t* target) {
  cairo_t* cr = cairo_create(target);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, kind == kLines ? 3.0 : 1.0);
  if (kind == kLines) cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (const Shape& s : shapes) {
    setColour(cr, s.colour);
    double x = s.points[0].x, y = s.points[0].y;
    switch (kind) {
      case kRectangles:
        cairo_rectangle(cr, x + 0.5, y + 0.5, kSide - 1, kSide - 1);
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
        break;
      case kEllipses:
        cairo_save(cr);
        cairo_translate(cr, x + kSide / 2.0, y + kSide / 2.0);
        cairo_scale(cr, (kSide - 1) / 2.0, (kSide - 1) / 2.0);
        cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, 2.0 * M_PI);
        cairo_restore(cr);
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
        break;
      case kLines:
        cairo_move_to(cr, x + 0.5, y + 0.5);
        cairo_line_to(cr, s.points[1].x + 0.5, s.points[1].y + 0.5);
        cairo_stroke(cr);
        break;
      case kTriangles:
        cairo_move_to(cr, x + 0.5, y + 0.5);
        cairo_line_to(cr, s.points[1].x + 0.5, s.points[1].y + 0.5);
        cairo_line_to(cr, s.points[2].x + 0.5, s.points[2].y + 0.5);
        cairo_close_path(cr);
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
        break;
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(target);
}

// Fills each rectangle of the shapes with its colour, nothing else.
void fillPlain(const std::vector<Shape>& shapes, std::vector<uint32_t>& frame) {
  for (const Shape& s : shapes) {
    pixman_fill(frame.data(), kWidth, 32, s.points[0].x, s.points[0].y, kSide, kSide,
                host::pixelFromColour(s.colour));
  }
}

void BM_Shapes(benchmark::State& state, ShapeKind kind) {
  bench::HeadlessWindow host(kWidth, kHeight);
  std::vector<Shape> shapes = layoutShapes(kind);
  std::vector<uint32_t> cairoPixels(size_t(kWidth) * size_t(kHeight), 0xFF000000u);
  std::vector<uint32_t> plainPixels(cairoPixels.size(), 0xFF000000u);
  cairo_surface_t* target = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(cairoPixels.data()), CAIRO_FORMAT_ARGB32, kWidth, kHeight, kWidth * 4);
  bool ready = host.window() != nullptr && createSurfaces(host.window()) &&
               cairo_surface_status(target) == CAIRO_STATUS_SUCCESS;
  if (ready) {
    // The shapes must really be drawn: the frame changes.
    const host::Surface* back = host::dcSurface(backBuffer);
    std::vector<uint32_t> before = back->pixels;
    drawOurs(kind, shapes);
    ready = back->pixels != before;
  }
  if (!ready) {
    state.SkipWithError("the shape scene could not be set up");
  } else {
    bench::SameRunTimer timer;
    timer.add("ours", [&] { drawOurs(kind, shapes); });
    timer.add("cairo", [&] { drawCairo(kind, shapes, target); });
    if (kind == kRectangles) timer.add("fill", [&] { fillPlain(shapes, plainPixels); });
    for (auto _ : state) state.SetIterationTime(timer.round());
    timer.reportRatio(state, "vs_cairo", "cairo");
    if (kind == kRectangles) timer.reportRatio(state, "vs_fill", "fill");
  }
  cairo_surface_destroy(target);
  releaseSurfaces();
}

}  // namespace

BENCHMARK_CAPTURE(BM_Shapes, rectangles, kRectangles)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Shapes, ellipses, kEllipses)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Shapes, lines, kLines)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Shapes, triangles, kTriangles)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
