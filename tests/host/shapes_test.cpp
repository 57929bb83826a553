// Rectangle, Ellipse, Polyline and Polygon on memory DCs, checked pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "tests/host/gdi_test_support.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// A canvas over a white bitmap; pens and brushes it is given are freed with it.
struct ShapeCanvas : gdi_test::Canvas {
  ShapeCanvas(int width, int height) : Canvas(width, height, kWhite) {}
  void usePen(int width, COLORREF colour) { select(CreatePen(PS_SOLID, width, colour)); }
  void useBrush(COLORREF colour) { select(CreateSolidBrush(colour)); }
  void useStock(int which) { SelectObject(dc, GetStockObject(which)); }
  int count(uint32_t colour) { return int(std::count(surface().pixels.begin(), surface().pixels.end(), colour)); }
  // The smallest box (inclusive) holding every pixel that is not white: x0, y0, x1, y1.
  std::vector<int> litBounds() {
    std::vector<int> box = {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < surface().height; ++y) {
      for (int x = 0; x < surface().width; ++x) {
        if (at(x, y) == kWhite) continue;
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
      }
    }
    return box;
  }
};

TEST(ShapesRectangle, OnePixelOutlineCoversTheBoxWithoutItsRightAndBottomEdges) {
  ShapeCanvas c(30, 30);
  c.usePen(1, RGB(255, 0, 0));
  c.useStock(NULL_BRUSH);
  EXPECT_TRUE(Rectangle(c.dc, 10, 10, 20, 20));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      bool inBox = x >= 10 && x <= 19 && y >= 10 && y <= 19;
      bool onEdge = inBox && (x == 10 || x == 19 || y == 10 || y == 19);
      ASSERT_EQ(c.at(x, y), onEdge ? kRed : kWhite) << "at " << x << "," << y;
    }
  }
  // Reversed corners give the same box; pen width 0 is one pixel wide.
  ShapeCanvas d(30, 30);
  d.usePen(0, RGB(255, 0, 0));
  d.useStock(NULL_BRUSH);
  Rectangle(d.dc, 20, 20, 10, 10);
  EXPECT_EQ(c.surface().pixels, d.surface().pixels);
}

TEST(ShapesRectangle, BrushFillsInsideAnOutlineOfThePenWidth) {
  ShapeCanvas c(30, 30);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Rectangle(c.dc, 10, 10, 20, 20);
  EXPECT_EQ(c.count(kRed), 36);
  EXPECT_EQ(c.count(kBlue), 64);
  c.surface().reset(30, 30, kWhite);
  c.usePen(3, RGB(255, 0, 0));
  Rectangle(c.dc, 5, 5, 25, 25);
  EXPECT_EQ(c.litBounds(), (std::vector<int>{5, 5, 24, 24}));
  // Row 15 crosses the outline, 3 wide, and the fill.
  for (int x = 4; x <= 25; ++x) {
    EXPECT_EQ(c.at(x, 15), x < 5 || x > 24 ? kWhite : x < 8 || x > 21 ? kRed : kBlue) << x;
  }
  // A null pen: no outline, and one pixel less filled on the right and bottom.
  c.surface().reset(30, 30, kWhite);
  c.useStock(NULL_PEN);
  Rectangle(c.dc, 10, 10, 20, 20);
  EXPECT_EQ(c.litBounds(), (std::vector<int>{10, 10, 18, 18}));
  EXPECT_EQ(c.count(kBlue), 81);
}

TEST(ShapesRectangle, DegenerateRunawayAndBadCalls) {
  ShapeCanvas c(20, 20);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Rectangle(c.dc, 3, 3, 3, 8);  // no width: nothing
  EXPECT_EQ(c.count(kWhite), 400);
  Rectangle(c.dc, 3, 3, 4, 4);
  EXPECT_EQ(c.count(kRed), 1);
  EXPECT_TRUE(Rectangle(c.dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX));  // the outline far outside
  EXPECT_EQ(c.count(kBlue), 400);
  EXPECT_FALSE(Rectangle(nullptr, 0, 0, 5, 5));
  HDC stale = CreateCompatibleDC(nullptr);
  DeleteDC(stale);
  EXPECT_FALSE(Ellipse(stale, 0, 0, 5, 5));
}

TEST(ShapesEllipse, StaysInsideTheBoxSymmetricAndClosed) {
  ShapeCanvas c(40, 40);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Ellipse(c.dc, 4, 8, 36, 32);
  EXPECT_EQ(c.litBounds(), (std::vector<int>{4, 8, 35, 31}));
  EXPECT_EQ(c.at(4, 8), kWhite);  // the box's corners stay outside
  EXPECT_EQ(c.at(20, 20), kBlue);
  for (int y = 0; y < 40; ++y) {
    int outline = 0;
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(c.at(x, y), c.at(39 - x, y)) << x << "," << y;
      ASSERT_EQ(c.at(x, y), c.at(x, 39 - y)) << x << "," << y;
      outline += c.at(x, y) == kRed;
    }
    if (y >= 8 && y <= 31) {
      EXPECT_GE(outline, 2) << "row " << y;
    }
  }
  ShapeCanvas wide(40, 40);  // a wider pen, inside the box
  wide.usePen(4, RGB(255, 0, 0));
  Ellipse(wide.dc, 0, 0, 40, 40);
  EXPECT_EQ(wide.at(0, 20), kRed);
  EXPECT_EQ(wide.at(3, 20), kRed);
  EXPECT_EQ(wide.at(4, 20), kWhite);  // the DC's default white brush
}

TEST(ShapesPolyline, OnePixelLinesLeaveOutTheirLastPointInEveryDirection) {
  struct Case {
    POINT from, to;
    int dx, dy;
  } cases[] = {{{0, 0}, {10, 0}, 1, 0},    {{2, 2}, {2, 12}, 0, 1},   {{12, 12}, {2, 12}, -1, 0},
               {{2, 2}, {12, 12}, 1, 1},   {{12, 2}, {2, 12}, -1, 1}, {{12, 12}, {2, 2}, -1, -1}};
  for (const Case& k : cases) {
    ShapeCanvas c(16, 16);
    c.usePen(1, RGB(255, 0, 0));
    POINT line[2] = {k.from, k.to};
    EXPECT_TRUE(Polyline(c.dc, line, 2));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(c.at(k.from.x + i * k.dx, k.from.y + i * k.dy), kRed) << i;
    EXPECT_EQ(c.at(k.to.x, k.to.y), kWhite);
    EXPECT_EQ(c.count(kRed), 10);
  }
}

TEST(ShapesPolyline, WidePenHasRoundEndsAndRunawayEndsStillDraw) {
  ShapeCanvas c(40, 40);
  c.usePen(5, RGB(255, 0, 0));
  POINT line[2] = {{10, 20}, {30, 20}};
  Polyline(c.dc, line, 2);
  for (int y = 18; y <= 22; ++y) EXPECT_EQ(c.at(20, y), kRed) << y;
  EXPECT_EQ(c.at(20, 23), kWhite);
  EXPECT_EQ(c.at(8, 20), kRed);    // the cap reaches back past the start
  EXPECT_EQ(c.at(8, 18), kWhite);  // and is round, not square
  POINT one[1] = {{5, 5}};
  EXPECT_FALSE(Polyline(c.dc, one, 1));
  ShapeCanvas far(20, 10);
  far.usePen(1, RGB(255, 0, 0));
  POINT across[2] = {{INT_MIN, 5}, {INT_MAX, 5}};
  Polyline(far.dc, across, 2);
  EXPECT_EQ(far.count(kRed), 20);
  far.usePen(INT_MAX, RGB(0, 0, 255));
  POINT diagonal[2] = {{-2000000000, -2000000000}, {2000000000, 2000000000}};
  Polyline(far.dc, diagonal, 2);
  EXPECT_EQ(far.count(kBlue), 200);
}

TEST(ShapesPolygon, FillsEvenOddAndOutlinesThroughTheVertices) {
  ShapeCanvas c(20, 20);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  POINT square[4] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}};
  EXPECT_TRUE(Polygon(c.dc, square, 4));
  EXPECT_EQ(c.count(kRed), 40);  // x and y 2..12 on the outline
  EXPECT_EQ(c.count(kBlue), 81);
  EXPECT_FALSE(Polygon(c.dc, square, 1));
  EXPECT_FALSE(Polygon(c.dc, square, -4));
  ShapeCanvas star(41, 41);
  star.useBrush(RGB(0, 0, 255));
  star.useStock(NULL_PEN);
  POINT points[5] = {{20, 0}, {32, 38}, {1, 14}, {39, 14}, {8, 38}};
  Polygon(star.dc, points, 5);
  EXPECT_EQ(star.at(20, 21), kWhite);  // the centre, wound twice
  EXPECT_EQ(star.at(20, 6), kBlue);    // a tip
  EXPECT_EQ(star.at(6, 15), kBlue);
}

TEST(ShapesSurfaces, EachDcDrawsOnItsOwnPixelsWhenTheyAreRemade) {
  ShapeCanvas a(12, 12), b(12, 12);
  a.usePen(1, RGB(255, 0, 0));
  b.usePen(1, RGB(0, 0, 255));
  for (int round = 0; round < 3; ++round) {
    Rectangle(a.dc, 0, 0, 12, 12);
    Rectangle(b.dc, 2, 2, 6, 6);
    EXPECT_EQ(a.count(kBlue) + b.count(kRed), 0);
    EXPECT_EQ(a.count(kRed), 44);
    EXPECT_EQ(b.count(kBlue), 12);
    a.surface().reset(12 + round, 12, kWhite);  // new pixel memory of another size
    b.surface().reset(12, 12, kWhite);
    Rectangle(a.dc, 0, 0, 12 + round, 12);
    EXPECT_EQ(a.count(kRed), 2 * (12 + round) + 20);
    a.surface().reset(12, 12, kWhite);
  }
}

}  // namespace
