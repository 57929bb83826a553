// Rectangle, Ellipse, Polyline and Polygon: the platform's shape operations,
// drawn with cairo on the surface the DC targets, aliased as on the device.
// A rectangle's interior and outline are boxes of whole pixels, so Rectangle
// fills them directly (pixman_fill), the very pixels cairo's aliased fill of
// those boxes would write, without making a path.
//
// Pixel conventions (the platform's): a shape's box (left, top, right, bottom)
// excludes its right and bottom edges, and an outline of pen width w lies inside
// the box, so a 1-px Rectangle(10, 10, 20, 20) covers x 10..19 and y 10..19. A
// pen of width 0 or less draws one pixel wide. A one-pixel line runs through the
// centres of its end pixels and leaves out its last point, so (0, 0)-(10, 0)
// lights x 0..9 of row 0; a wider pen has round ends and joins. Polygon fills by
// the alternate (even-odd) rule with pixel centres sampled against the vertices.
// A null pen draws no outline and, as on the platform, its filled shape is one
// pixel smaller on the right and bottom.
//
// Cairo cannot hold coordinates much beyond +-2^23 (24.8 fixed point), so
// coordinates of instances that have run away are limited: boxes are cut to the
// surface with a margin (which changes nothing visible), segments of lines are
// clipped to a large square (which changes nothing visible either), and the
// vertices of ellipses and polygons beyond +-2^22 are clamped.
#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "platform/host/gdi/gdi_objects.h"

namespace host {
namespace {

constexpr double kCoordLimit = 4194304.0;  // 2^22: well inside cairo's fixed-point range
constexpr int kMaxPenWidth = 65536;        // wider than any surface cairo can hold

// One cairo image surface over a host Surface's pixels, with a drawing context
// on it, reused while the pixels stay where they are; a small table of
// recently used ones. Making a context per shape costs more than many shapes'
// drawing, so each entry keeps one and hands it out with its per-shape state
// reset (see takeContext).
struct CairoSurfaceEntry {
  const void* data = nullptr;
  int width = 0;
  int height = 0;
  cairo_surface_t* surface = nullptr;
  cairo_t* context = nullptr;
  uint64_t lastUse = 0;
};

constexpr int kCairoSurfaceCacheSize = 8;

struct CairoSurfaceCache {
  std::mutex lock;
  CairoSurfaceEntry entries[kCairoSurfaceCacheSize];
  uint64_t clock = 0;
};

CairoSurfaceCache& cairoCache() {
  static CairoSurfaceCache* cache = new CairoSurfaceCache;  // never destroyed: used until exit
  return *cache;
}

// A new aliased context on surface that replaces pixels, or null.
cairo_t* makeContext(cairo_surface_t* surface) {
  cairo_t* cr = cairo_create(surface);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr);
    return nullptr;
  }
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);  // opaque colours: the pixel is replaced
  return cr;
}

// A context for one shape on entry e's surface (a new reference): the entry's
// own when nobody else holds it and it is sound, with what shapes change (path,
// fill rule, dashes) set back to a fresh context's; else a new one, kept by the
// entry when it has none that works. Null when cairo cannot make one.
cairo_t* takeContext(CairoSurfaceEntry& e) {
  cairo_t* kept = e.context;
  if (kept != nullptr && cairo_status(kept) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(kept);
    e.context = kept = nullptr;
  }
  if (kept != nullptr && cairo_get_reference_count(kept) == 1) {
    cairo_new_path(kept);
    cairo_set_fill_rule(kept, CAIRO_FILL_RULE_WINDING);
    cairo_set_dash(kept, nullptr, 0, 0.0);
    cairo_identity_matrix(kept);
    return cairo_reference(kept);
  }
  cairo_t* made = makeContext(e.surface);
  if (made != nullptr && kept == nullptr) e.context = cairo_reference(made);
  return made;
}

// Forgets entry e's context and surface.
void dropEntry(CairoSurfaceEntry& e) {
  if (e.context != nullptr) cairo_destroy(e.context);
  if (e.surface != nullptr) cairo_surface_destroy(e.surface);
  e = CairoSurfaceEntry{};
}

// The cairo surface over the pixels of s and a context on it for one shape
// (new references to both), or false. The cached entry matches only the same
// pixel memory at the same size, so a cairo surface left over from a freed
// Surface is never drawn through for another size.
bool acquireCairo(Surface& s, cairo_surface_t** surface, cairo_t** cr) {
  if (s.width <= 0 || s.height <= 0 || s.pixels.size() < size_t(s.width) * size_t(s.height)) return false;
  CairoSurfaceCache& cache = cairoCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  const void* data = s.pixels.data();
  CairoSurfaceEntry* found = nullptr;
  CairoSurfaceEntry* oldest = &cache.entries[0];
  for (CairoSurfaceEntry& e : cache.entries) {
    if (e.surface != nullptr && e.data == data && e.width == s.width && e.height == s.height) {
      found = &e;
      cairo_surface_mark_dirty(e.surface);  // the pixels may have been written without cairo
      break;
    }
    if (e.lastUse < oldest->lastUse) oldest = &e;
  }
  if (found == nullptr) {
    cairo_surface_t* created = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(s.pixels.data()), CAIRO_FORMAT_ARGB32, s.width, s.height, s.width * 4);
    if (cairo_surface_status(created) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(created);
      return false;
    }
    dropEntry(*oldest);
    found = oldest;
    found->data = data;
    found->width = s.width;
    found->height = s.height;
    found->surface = created;
  }
  found->lastUse = ++cache.clock;
  *cr = takeContext(*found);
  if (*cr == nullptr) return false;
  *surface = cairo_surface_reference(found->surface);
  return true;
}

// What a shape call needs of its DC: the surface, a cairo context on it, the
// pen and the brush. Pen width 0 means no outline (PS_NULL).
struct ShapeContext {
  Surface* surface = nullptr;
  cairo_surface_t* cairoSurface = nullptr;
  cairo_t* cr = nullptr;
  int penWidth = 1;
  bool penNull = false;
  bool penDashed = false;
  COLORREF penColour = 0;
  bool brushHollow = false;
  COLORREF brushColour = RGB(255, 255, 255);

  ~ShapeContext() {
    if (cr != nullptr) cairo_destroy(cr);
    if (cairoSurface != nullptr) {
      cairo_surface_flush(cairoSurface);
      cairo_surface_destroy(cairoSurface);
    }
  }
};

// True when the surface holds the pixels its size says, so it can be drawn on.
bool drawable(const Surface& s) {
  return s.width > 0 && s.height > 0 && s.pixels.size() >= size_t(s.width) * size_t(s.height);
}

// Fills ctx from the DC dc without a cairo context: its surface and its
// current pen and brush (a DC without a valid pen draws with a black 1-px pen,
// without a brush with white, the platform's defaults). False when the DC has
// nothing to draw on.
bool readShapeTools(HDC dc, ShapeContext& ctx) {
  Dc* d = lookupDc(dc);
  if (d == nullptr) return false;
  if (d->target == DcTarget::Memory) {
    if (Bitmap* bitmap = lookup<Bitmap>(d->bitmap)) ctx.surface = &bitmap->surface;
  } else {
    ctx.surface = d->windowSurface;
  }
  if (ctx.surface == nullptr || !drawable(*ctx.surface)) return false;
  if (const Pen* pen = lookup<Pen>(d->pen)) {
    ctx.penNull = pen->style == PS_NULL;
    ctx.penDashed = pen->style == PS_DASH;
    ctx.penWidth = std::clamp(pen->width, 1, kMaxPenWidth);
    ctx.penColour = pen->colour;
  }
  if (const Brush* brush = lookup<Brush>(d->brush)) {
    ctx.brushHollow = brush->hollow;
    ctx.brushColour = brush->colour;
  }
  return true;
}

// Fills ctx from the DC dc as readShapeTools does, with a cairo context on its
// surface. False when the DC has nothing to draw on.
bool openShapeContext(HDC dc, ShapeContext& ctx) {
  if (!readShapeTools(dc, ctx)) return false;
  return acquireCairo(*ctx.surface, &ctx.cairoSurface, &ctx.cr);
}

// Makes colour c (a COLORREF) the source of cr.
void setColour(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

double clampCoord(double v) { return std::clamp(v, -kCoordLimit, kCoordLimit); }

// A shape's box with left <= right and top <= bottom, as the platform orders it.
struct Box {
  int64_t left, top, right, bottom;
};

Box orderBox(int left, int top, int right, int bottom) {
  Box b{std::min<int64_t>(left, right), std::min<int64_t>(top, bottom), std::max<int64_t>(left, right),
        std::max<int64_t>(top, bottom)};
  return b;
}

// Cuts box b to the surface widened by margin on every side; what lies outside
// that band is never visible, whatever the shape.
Box cutBoxToSurface(Box b, const Surface& s, int64_t margin) {
  b.left = std::clamp<int64_t>(b.left, -margin, s.width + margin);
  b.right = std::clamp<int64_t>(b.right, -margin, s.width + margin);
  b.top = std::clamp<int64_t>(b.top, -margin, s.height + margin);
  b.bottom = std::clamp<int64_t>(b.bottom, -margin, s.height + margin);
  return b;
}

// Adds to cr's path the ellipse inscribed in the box (x0, y0)-(x1, y1).
void addEllipsePath(cairo_t* cr, double x0, double y0, double x1, double y1) {
  double rx = (x1 - x0) / 2.0;
  double ry = (y1 - y0) / 2.0;
  if (rx <= 0.0 || ry <= 0.0) return;
  cairo_new_sub_path(cr);
  cairo_save(cr);
  cairo_translate(cr, x0 + rx, y0 + ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, 2.0 * M_PI);
  cairo_restore(cr);
  cairo_close_path(cr);
}

using AddShapePath = void (*)(cairo_t*, double, double, double, double);

// Draws a boxed shape (a rectangle or an ellipse) of box b: the interior with
// the brush, then the outline, the band between the box and the box inset by the
// pen width, with the pen.
void drawBoxedShape(ShapeContext& ctx, Box b, AddShapePath addPath) {
  cairo_t* cr = ctx.cr;
  double x0 = double(b.left), y0 = double(b.top), x1 = double(b.right), y1 = double(b.bottom);
  if (ctx.penNull) {
    // No outline: the platform fills one pixel less on the right and bottom.
    if (!ctx.brushHollow) {
      addPath(cr, x0, y0, x1 - 1.0, y1 - 1.0);
      setColour(cr, ctx.brushColour);
      cairo_fill(cr);
    }
    return;
  }
  double w = double(ctx.penWidth);
  bool hasInside = (x1 - x0) > 2.0 * w && (y1 - y0) > 2.0 * w;
  if (!ctx.brushHollow && hasInside && ctx.brushColour == ctx.penColour) {
    // Interior and outline in one colour: the union of the inner shape and the
    // band is what the nonzero rule fills of both paths together (each pixel's
    // winding numbers add), in one fill instead of two.
    addPath(cr, x0 + w, y0 + w, x1 - w, y1 - w);
    addPath(cr, x0, y0, x1, y1);
    setColour(cr, ctx.penColour);
    cairo_fill(cr);
    return;
  }
  if (!ctx.brushHollow && hasInside) {
    addPath(cr, x0 + w, y0 + w, x1 - w, y1 - w);
    setColour(cr, ctx.brushColour);
    cairo_fill(cr);
  }
  addPath(cr, x0, y0, x1, y1);
  if (hasInside) addPath(cr, x0 + w, y0 + w, x1 - w, y1 - w);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  setColour(cr, ctx.penColour);
  cairo_fill(cr);
}

// Fills the part of [x0, x1) x [y0, y1) that lies on the surface with the
// opaque colour c: the pixels cairo's aliased fill of that box writes.
void fillBox(Surface& s, int64_t x0, int64_t y0, int64_t x1, int64_t y1, COLORREF c) {
  x0 = std::max<int64_t>(x0, 0);
  y0 = std::max<int64_t>(y0, 0);
  x1 = std::min<int64_t>(x1, s.width);
  y1 = std::min<int64_t>(y1, s.height);
  if (x1 <= x0 || y1 <= y0) return;
  pixman_fill(s.pixels.data(), s.width, 32, int(x0), int(y0), int(x1 - x0), int(y1 - y0), pixelFromColour(c));
}

// Draws the rectangle of box b as drawBoxedShape does with addBoxPath, with
// plain fills: every part of it is a box of whole pixels, so no path is needed.
void fillRectangleShape(ShapeContext& ctx, Box b) {
  Surface& s = *ctx.surface;
  if (ctx.penNull) {
    if (!ctx.brushHollow) fillBox(s, b.left, b.top, b.right - 1, b.bottom - 1, ctx.brushColour);
    return;
  }
  int64_t w = ctx.penWidth;
  bool hasInside = (b.right - b.left) > 2 * w && (b.bottom - b.top) > 2 * w;
  if (!hasInside || (!ctx.brushHollow && ctx.brushColour == ctx.penColour)) {
    fillBox(s, b.left, b.top, b.right, b.bottom, hasInside ? ctx.brushColour : ctx.penColour);
    return;
  }
  if (!ctx.brushHollow) fillBox(s, b.left + w, b.top + w, b.right - w, b.bottom - w, ctx.brushColour);
  fillBox(s, b.left, b.top, b.right, b.top + w, ctx.penColour);
  fillBox(s, b.left, b.bottom - w, b.right, b.bottom, ctx.penColour);
  fillBox(s, b.left, b.top + w, b.left + w, b.bottom - w, ctx.penColour);
  fillBox(s, b.right - w, b.top + w, b.right, b.bottom - w, ctx.penColour);
}

// Clips the segment (x0, y0)-(x1, y1) to the square +-kCoordLimit (Liang-Barsky);
// false when nothing of it lies inside.
bool clipSegment(double& x0, double& y0, double& x1, double& y1) {
  double t0 = 0.0, t1 = 1.0;
  double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 + kCoordLimit, kCoordLimit - x0, y0 + kCoordLimit, kCoordLimit - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    double t = q[i] / p[i];
    if (p[i] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  double sx = x0, sy = y0;
  x0 = sx + t0 * dx;
  y0 = sy + t0 * dy;
  x1 = sx + t1 * dx;
  y1 = sy + t1 * dy;
  return true;
}

bool insideCoordLimit(const POINT& p) {
  return std::fabs(double(p.x)) <= kCoordLimit && std::fabs(double(p.y)) <= kCoordLimit;
}

// Sets cr's stroke for the pen: one pixel with flat ends (the platform leaves
// out the last point of a thin line) or wider with round ends and joins.
void setPenStroke(ShapeContext& ctx) {
  cairo_t* cr = ctx.cr;
  setColour(cr, ctx.penColour);
  cairo_set_line_width(cr, double(ctx.penWidth));
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  if (ctx.penWidth <= 1) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    if (ctx.penDashed) {
      static const double kDash[] = {18.0, 6.0};  // the platform's PS_DASH pattern for thin pens
      cairo_set_dash(cr, kDash, 2, 0.0);
    }
  } else {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  }
}

// Adds one thin-pen segment between the pixel centres of (x0, y0) and (x1, y1)
// to cr's path. The segment is moved back along itself by 1/32 pixel: a pixel
// centre that lies exactly on an end then falls inside at the first point and
// outside at the last, so the first pixel is lit and the last left out, as the
// platform draws thin lines, whatever the direction.
void addThinSegment(cairo_t* cr, double x0, double y0, double x1, double y1, bool first) {
  double dx = x1 - x0, dy = y1 - y0;
  double length = std::sqrt(dx * dx + dy * dy);
  double ex = 0.0, ey = 0.0;
  if (length > 0.0) {
    ex = dx / length / 32.0;
    ey = dy / length / 32.0;
  }
  if (first) cairo_move_to(cr, x0 + 0.5 - ex, y0 + 0.5 - ey);
  cairo_line_to(cr, x1 + 0.5 - ex, y1 + 0.5 - ey);
}

// Strokes the open path through count points (count >= 2) with the pen.
void strokePolyline(ShapeContext& ctx, const POINT* points, int count) {
  cairo_t* cr = ctx.cr;
  setPenStroke(ctx);
  bool thin = ctx.penWidth <= 1;
  bool allInside = true;
  for (int i = 0; i < count && allInside; ++i) allInside = insideCoordLimit(points[i]);
  if (allInside) {
    for (int i = 0; i < count; ++i) {
      double x = double(points[i].x), y = double(points[i].y);
      if (thin) {
        if (i > 0) addThinSegment(cr, double(points[i - 1].x), double(points[i - 1].y), x, y, i == 1);
      } else if (i == 0) {
        cairo_move_to(cr, x + 0.5, y + 0.5);
      } else {
        cairo_line_to(cr, x + 0.5, y + 0.5);
      }
    }
    cairo_stroke(cr);
    return;
  }
  // Far-away points: every segment clipped on its own; where they are cut the
  // ends lie far outside any surface.
  for (int i = 1; i < count; ++i) {
    double x0 = points[i - 1].x, y0 = points[i - 1].y, x1 = points[i].x, y1 = points[i].y;
    if (!clipSegment(x0, y0, x1, y1)) continue;
    if (thin) {
      addThinSegment(cr, x0, y0, x1, y1, true);
    } else {
      cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
      cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
    }
    cairo_stroke(cr);
  }
}

}  // namespace

void dropCairoSurfaces() {
  CairoSurfaceCache& cache = cairoCache();
  std::lock_guard<std::mutex> guard(cache.lock);
  for (CairoSurfaceEntry& e : cache.entries) dropEntry(e);
}

}  // namespace host

using host::Box;
using host::ShapeContext;

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  ShapeContext ctx;
  if (!host::readShapeTools(dc, ctx)) return FALSE;
  Box b = host::orderBox(left, top, right, bottom);
  if (b.right == b.left || b.bottom == b.top) return TRUE;  // an empty box draws nothing
  b = host::cutBoxToSurface(b, *ctx.surface, int64_t(ctx.penWidth) + 2);
  host::fillRectangleShape(ctx, b);
  return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  ShapeContext ctx;
  if (!host::openShapeContext(dc, ctx)) return FALSE;
  Box b = host::orderBox(left, top, right, bottom);
  if (b.right == b.left || b.bottom == b.top) return TRUE;
  // The curve depends on the whole box, so the box is only clamped (far-away boxes alone change).
  b.left = int64_t(host::clampCoord(double(b.left)));
  b.right = int64_t(host::clampCoord(double(b.right)));
  b.top = int64_t(host::clampCoord(double(b.top)));
  b.bottom = int64_t(host::clampCoord(double(b.bottom)));
  host::drawBoxedShape(ctx, b, host::addEllipsePath);
  return TRUE;
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
  if (points == nullptr || count < 2) return FALSE;
  ShapeContext ctx;
  if (!host::openShapeContext(dc, ctx)) return FALSE;
  if (ctx.penNull) return TRUE;
  host::strokePolyline(ctx, points, count);
  return TRUE;
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  if (points == nullptr || count < 2) return FALSE;
  ShapeContext ctx;
  if (!host::openShapeContext(dc, ctx)) return FALSE;
  cairo_t* cr = ctx.cr;
  if (!ctx.brushHollow) {
    for (int i = 0; i < count; ++i) {
      double x = host::clampCoord(double(points[i].x)), y = host::clampCoord(double(points[i].y));
      if (i == 0) {
        cairo_move_to(cr, x, y);
      } else {
        cairo_line_to(cr, x, y);
      }
    }
    cairo_close_path(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    host::setColour(cr, ctx.brushColour);
    cairo_fill(cr);
  }
  if (ctx.penNull) return TRUE;
  host::setPenStroke(ctx);
  // The outline passes through the vertex pixels, closing back to the first.
  for (int i = 0; i <= count; ++i) {
    const POINT& p = points[i % count];
    double x = host::clampCoord(double(p.x)) + 0.5, y = host::clampCoord(double(p.y)) + 0.5;
    if (i == 0) {
      cairo_move_to(cr, x, y);
    } else {
      cairo_line_to(cr, x, y);
    }
  }
  cairo_close_path(cr);
  cairo_stroke(cr);
  return TRUE;
}
