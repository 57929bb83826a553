// Rectangle, Ellipse, Polyline and Polygon on memory DCs, checked pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "platform/gdi.h"
#include "platform/host/gdi_objects.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// A memory DC over a white bitmap, with a pen and brush of the test's choice.
struct ShapeCanvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ firstPen = nullptr;
  HGDIOBJ firstBrush = nullptr;
  HPEN pen = nullptr;
  HBRUSH brush = nullptr;

  ShapeCanvas(int width, int height) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateCompatibleBitmap(dc, width, height);
    SelectObject(dc, bitmap);
    surface().reset(width, height, kWhite);
  }
  ~ShapeCanvas() {
    if (firstPen != nullptr) SelectObject(dc, firstPen);
    if (firstBrush != nullptr) SelectObject(dc, firstBrush);
    if (pen != nullptr) DeleteObject(pen);
    if (brush != nullptr) DeleteObject(brush);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  // Selects a new solid pen of the width and colour.
  void usePen(int width, COLORREF colour, int style = PS_SOLID) {
    HPEN made = CreatePen(style, width, colour);
    HGDIOBJ previous = SelectObject(dc, made);
    if (firstPen == nullptr) firstPen = previous;
    if (pen != nullptr) DeleteObject(pen);
    pen = made;
  }
  // Selects a new solid brush of the colour, or the stock null brush.
  void useBrush(COLORREF colour, bool hollow = false) {
    HBRUSH made = hollow ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : CreateSolidBrush(colour);
    HGDIOBJ previous = SelectObject(dc, made);
    if (firstBrush == nullptr) firstBrush = previous;
    if (brush != nullptr) DeleteObject(brush);
    brush = hollow ? nullptr : made;
  }
  host::Surface& surface() { return *host::dcSurface(dc); }
  uint32_t at(int x, int y) { return surface().row(y)[x]; }
  // The smallest box holding every pixel that is not white: x0, y0, x1, y1 inclusive.
  bool litBounds(int* x0, int* y0, int* x1, int* y1) {
    *x0 = *y0 = INT_MAX;
    *x1 = *y1 = INT_MIN;
    for (int y = 0; y < surface().height; ++y) {
      for (int x = 0; x < surface().width; ++x) {
        if (at(x, y) == kWhite) continue;
        *x0 = std::min(*x0, x);
        *y0 = std::min(*y0, y);
        *x1 = std::max(*x1, x);
        *y1 = std::max(*y1, y);
      }
    }
    return *x0 != INT_MAX;
  }
  int count(uint32_t colour) {
    int n = 0;
    for (uint32_t p : surface().pixels) n += p == colour;
    return n;
  }
};

// The pixel rows of a canvas as text ('.' white, 'P' red, 'B' blue, '?' other), for failure messages.
std::string picture(ShapeCanvas& c) {
  std::string s;
  for (int y = 0; y < c.surface().height; ++y) {
    for (int x = 0; x < c.surface().width; ++x) {
      uint32_t p = c.at(x, y);
      s += p == kWhite ? '.' : p == kRed ? 'P' : p == kBlue ? 'B' : '?';
    }
    s += '\n';
  }
  return s;
}

// ---- Rectangle ----

TEST(ShapesRectangle, OnePixelOutlineCoversTheBoxWithoutItsRightAndBottomEdges) {
  ShapeCanvas c(30, 30);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(0, true);
  EXPECT_TRUE(Rectangle(c.dc, 10, 10, 20, 20));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      bool inBox = x >= 10 && x <= 19 && y >= 10 && y <= 19;
      bool onEdge = inBox && (x == 10 || x == 19 || y == 10 || y == 19);
      ASSERT_EQ(c.at(x, y), onEdge ? kRed : kWhite) << "at " << x << "," << y << "\n" << picture(c);
    }
  }
}

TEST(ShapesRectangle, FilledInteriorWithTheBrushInsideThePenOutline) {
  ShapeCanvas c(30, 30);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Rectangle(c.dc, 10, 10, 20, 20);
  EXPECT_EQ(c.count(kRed), 36);
  EXPECT_EQ(c.count(kBlue), 64);
  EXPECT_EQ(c.at(11, 11), kBlue);
  EXPECT_EQ(c.at(18, 18), kBlue);
  EXPECT_EQ(c.at(20, 15), kWhite);
}

TEST(ShapesRectangle, WidePenOutlineLiesInsideTheBox) {
  ShapeCanvas c(30, 30);
  c.usePen(3, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Rectangle(c.dc, 5, 5, 25, 25);
  int x0, y0, x1, y1;
  ASSERT_TRUE(c.litBounds(&x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, 5);
  EXPECT_EQ(y0, 5);
  EXPECT_EQ(x1, 24);
  EXPECT_EQ(y1, 24);
  EXPECT_EQ(c.at(7, 15), kRed);
  EXPECT_EQ(c.at(8, 15), kBlue);
  EXPECT_EQ(c.at(22, 15), kRed);
  EXPECT_EQ(c.at(21, 15), kBlue);
}

TEST(ShapesRectangle, PenWidthZeroDrawsOnePixelWide) {
  ShapeCanvas c(30, 30);
  c.usePen(0, RGB(255, 0, 0));
  c.useBrush(0, true);
  Rectangle(c.dc, 10, 10, 20, 20);
  EXPECT_EQ(c.count(kRed), 36) << picture(c);
}

TEST(ShapesRectangle, ReversedCornersDrawTheSameBox) {
  ShapeCanvas a(30, 30), b(30, 30);
  a.usePen(1, RGB(255, 0, 0));
  b.usePen(1, RGB(255, 0, 0));
  Rectangle(a.dc, 10, 10, 20, 20);
  Rectangle(b.dc, 20, 20, 10, 10);
  EXPECT_EQ(a.surface().pixels, b.surface().pixels);
}

TEST(ShapesRectangle, EmptyBoxDrawsNothingAndOnePixelBoxOnePixel) {
  ShapeCanvas c(10, 10);
  c.usePen(1, RGB(255, 0, 0));
  Rectangle(c.dc, 3, 3, 3, 8);
  EXPECT_EQ(c.count(kWhite), 100);
  Rectangle(c.dc, 3, 3, 4, 4);
  EXPECT_EQ(c.count(kRed), 1);
  EXPECT_EQ(c.at(3, 3), kRed);
}

TEST(ShapesRectangle, NullPenFillsOnePixelLessOnTheRightAndBottom) {
  ShapeCanvas c(30, 30);
  c.useBrush(RGB(0, 0, 255));
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  Rectangle(c.dc, 10, 10, 20, 20);
  int x0, y0, x1, y1;
  ASSERT_TRUE(c.litBounds(&x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, 10);
  EXPECT_EQ(x1, 18);
  EXPECT_EQ(y1, 18);
  EXPECT_EQ(c.count(kBlue), 81);
  SelectObject(c.dc, c.pen != nullptr ? static_cast<HGDIOBJ>(c.pen) : GetStockObject(BLACK_PEN));
}

TEST(ShapesRectangle, RunawayCoordinatesFillTheSurfaceWithoutOutline) {
  ShapeCanvas c(20, 20);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  EXPECT_TRUE(Rectangle(c.dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
  EXPECT_EQ(c.count(kBlue), 400);
}

TEST(ShapesRectangle, KeepsTheSurfaceOpaqueAndFailsOnABadDc) {
  ShapeCanvas c(10, 10);
  c.usePen(1, RGB(10, 20, 30));
  Rectangle(c.dc, 0, 0, 10, 10);
  EXPECT_EQ(c.at(0, 0), 0xFF0A141Eu);
  EXPECT_FALSE(Rectangle(nullptr, 0, 0, 5, 5));
  HDC stale = CreateCompatibleDC(nullptr);
  DeleteDC(stale);
  EXPECT_FALSE(Rectangle(stale, 0, 0, 5, 5));
  EXPECT_FALSE(Ellipse(stale, 0, 0, 5, 5));
}

// ---- Ellipse ----

TEST(ShapesEllipse, StaysInsideTheBoxAndTouchesEverySide) {
  ShapeCanvas c(30, 30);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Ellipse(c.dc, 10, 10, 20, 20);
  int x0, y0, x1, y1;
  ASSERT_TRUE(c.litBounds(&x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, 10) << picture(c);
  EXPECT_EQ(y0, 10);
  EXPECT_EQ(x1, 19);
  EXPECT_EQ(y1, 19);
  EXPECT_EQ(c.at(15, 15), kBlue);
  EXPECT_EQ(c.at(10, 10), kWhite);  // the corners of the box stay outside
  EXPECT_EQ(c.at(19, 19), kWhite);
  EXPECT_EQ(c.at(10, 15), kRed);
}

TEST(ShapesEllipse, OutlineIsSymmetricAndClosed) {
  ShapeCanvas c(40, 40);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(0, true);
  Ellipse(c.dc, 4, 8, 36, 32);
  for (int y = 0; y < 40; ++y) {
    int lit = 0;
    for (int x = 0; x < 40; ++x) {
      EXPECT_EQ(c.at(x, y), c.at(39 - x, y)) << "mirror at " << x << "," << y;
      EXPECT_EQ(c.at(x, y), c.at(x, 39 - y)) << "flip at " << x << "," << y;
      lit += c.at(x, y) == kRed;
    }
    // Every row the ellipse spans has its outline on both sides.
    if (y >= 8 && y <= 31) {
      EXPECT_GE(lit, 2) << "row " << y << "\n" << picture(c);
    }
  }
  EXPECT_EQ(c.at(20, 20), kWhite);  // hollow
}

TEST(ShapesEllipse, WidePenMakesAThickerRing) {
  ShapeCanvas thin(40, 40), wide(40, 40);
  thin.usePen(1, RGB(255, 0, 0));
  wide.usePen(4, RGB(255, 0, 0));
  Ellipse(thin.dc, 0, 0, 40, 40);
  Ellipse(wide.dc, 0, 0, 40, 40);
  EXPECT_EQ(wide.at(2, 20), kRed);
  EXPECT_EQ(wide.at(3, 20), kRed);
  EXPECT_EQ(wide.at(4, 20), kWhite);  // the default white brush inside
  EXPECT_GT(wide.count(kRed), 3 * thin.count(kRed));
}

// ---- Polyline ----

TEST(ShapesPolyline, OnePixelHorizontalLineLeavesOutItsLastPoint) {
  ShapeCanvas c(16, 4);
  c.usePen(1, RGB(255, 0, 0));
  POINT line[2] = {{0, 0}, {10, 0}};
  EXPECT_TRUE(Polyline(c.dc, line, 2));
  for (int x = 0; x < 16; ++x) EXPECT_EQ(c.at(x, 0), x <= 9 ? kRed : kWhite) << "x " << x;
  EXPECT_EQ(c.count(kRed), 10);
}

TEST(ShapesPolyline, OnePixelLinesInEveryDirection) {
  struct Case {
    POINT from, to;
    int dx, dy;
  } cases[] = {{{2, 2}, {2, 12}, 0, 1}, {{12, 12}, {2, 12}, -1, 0}, {{2, 2}, {12, 12}, 1, 1},
               {{12, 2}, {2, 12}, -1, 1}, {{12, 12}, {2, 2}, -1, -1}};
  for (const Case& k : cases) {
    ShapeCanvas c(16, 16);
    c.usePen(1, RGB(255, 0, 0));
    POINT line[2] = {k.from, k.to};
    Polyline(c.dc, line, 2);
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(c.at(k.from.x + i * k.dx, k.from.y + i * k.dy), kRed) << "step " << i << "\n" << picture(c);
    }
    EXPECT_EQ(c.at(k.to.x, k.to.y), kWhite) << picture(c);
    EXPECT_EQ(c.count(kRed), 10) << picture(c);
  }
}

TEST(ShapesPolyline, WidePenHasRoundEnds) {
  ShapeCanvas c(40, 40);
  c.usePen(5, RGB(255, 0, 0));
  POINT line[2] = {{10, 20}, {30, 20}};
  Polyline(c.dc, line, 2);
  for (int y = 18; y <= 22; ++y) EXPECT_EQ(c.at(20, y), kRed) << "y " << y;
  EXPECT_EQ(c.at(20, 17), kWhite);
  EXPECT_EQ(c.at(20, 23), kWhite);
  EXPECT_EQ(c.at(8, 20), kRed);    // the cap reaches back past the start
  EXPECT_EQ(c.at(8, 18), kWhite);  // and is round, not square
  EXPECT_EQ(c.at(32, 20), kRed);
  EXPECT_EQ(c.at(32, 22), kWhite);
}

TEST(ShapesPolyline, FewerThanTwoPointsDrawNothing) {
  ShapeCanvas c(10, 10);
  c.usePen(3, RGB(255, 0, 0));
  POINT one[1] = {{5, 5}};
  EXPECT_FALSE(Polyline(c.dc, one, 1));
  EXPECT_FALSE(Polyline(c.dc, nullptr, 2));
  EXPECT_EQ(c.count(kWhite), 100);
}

TEST(ShapesPolyline, RunawayEndsStillDrawTheVisiblePart) {
  ShapeCanvas c(20, 10);
  c.usePen(1, RGB(255, 0, 0));
  POINT line[2] = {{INT_MIN, 5}, {INT_MAX, 5}};
  Polyline(c.dc, line, 2);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(c.at(x, 5), kRed) << "x " << x;
  EXPECT_EQ(c.count(kRed), 20);
  ShapeCanvas w(20, 10);
  w.usePen(INT_MAX, RGB(255, 0, 0));
  POINT far[2] = {{-2000000000, -2000000000}, {2000000000, 2000000000}};
  Polyline(w.dc, far, 2);
  EXPECT_EQ(w.count(kRed), 200);  // wider than the surface: all of it
}

// ---- Polygon ----

TEST(ShapesPolygon, FillsWithTheBrushAndOutlinesThroughTheVertices) {
  ShapeCanvas c(20, 20);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  POINT square[4] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}};
  EXPECT_TRUE(Polygon(c.dc, square, 4));
  int x0, y0, x1, y1;
  ASSERT_TRUE(c.litBounds(&x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, 2);
  EXPECT_EQ(y0, 2);
  EXPECT_EQ(x1, 12);  // the outline passes through the vertex pixels
  EXPECT_EQ(y1, 12);
  EXPECT_EQ(c.count(kRed), 40) << picture(c);
  EXPECT_EQ(c.count(kBlue), 81);
}

TEST(ShapesPolygon, AlternateFillLeavesTheCentreOfAStarEmpty) {
  ShapeCanvas c(41, 41);
  c.useBrush(RGB(0, 0, 255));
  SelectObject(c.dc, GetStockObject(NULL_PEN));
  // A five-pointed star drawn in one stroke: its pentagon centre is wound twice.
  POINT star[5] = {{20, 0}, {32, 38}, {1, 14}, {39, 14}, {8, 38}};
  Polygon(c.dc, star, 5);
  EXPECT_EQ(c.at(20, 21), kWhite) << picture(c);
  EXPECT_EQ(c.at(20, 6), kBlue);   // a tip
  EXPECT_EQ(c.at(6, 15), kBlue);   // another
  SelectObject(c.dc, GetStockObject(BLACK_PEN));
}

TEST(ShapesPolygon, FewerThanTwoPointsDrawNothingAndHollowBrushOutlinesOnly) {
  ShapeCanvas c(20, 20);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  POINT one[1] = {{5, 5}};
  EXPECT_FALSE(Polygon(c.dc, one, 1));
  EXPECT_FALSE(Polygon(c.dc, one, 0));
  EXPECT_FALSE(Polygon(c.dc, one, -4));
  EXPECT_EQ(c.count(kWhite), 400);
  c.useBrush(0, true);
  POINT triangle[3] = {{2, 2}, {17, 2}, {2, 17}};
  Polygon(c.dc, triangle, 3);
  EXPECT_EQ(c.at(5, 5), kWhite);
  EXPECT_EQ(c.at(2, 10), kRed);
  EXPECT_EQ(c.count(kBlue), 0);
}

// ---- surfaces ----

TEST(ShapesSurfaces, EachDcDrawsOnItsOwnPixelsWhenTheyAreRemade) {
  ShapeCanvas a(12, 12), b(12, 12);
  a.usePen(1, RGB(255, 0, 0));
  b.usePen(1, RGB(0, 0, 255));
  for (int round = 0; round < 3; ++round) {
    Rectangle(a.dc, 0, 0, 12, 12);
    Rectangle(b.dc, 2, 2, 6, 6);
    EXPECT_EQ(a.count(kBlue), 0);
    EXPECT_EQ(b.count(kRed), 0);
    EXPECT_EQ(a.count(kRed), 44);
    EXPECT_EQ(b.count(kBlue), 12);
    // New pixel memory of another size: the drawing must follow it.
    a.surface().reset(12 + round, 12, kWhite);
    b.surface().reset(12, 12, kWhite);
    Rectangle(a.dc, 0, 0, 12 + round, 12);
    EXPECT_EQ(a.count(kRed), 2 * (12 + round) + 20);
    a.surface().reset(12, 12, kWhite);
  }
}

}  // namespace
