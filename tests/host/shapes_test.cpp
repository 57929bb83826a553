// Rectangle, Ellipse, Polyline and Polygon on memory DCs, checked pixel by
// pixel against boxes and colours the cases state: outlines of the pen's
// width inside the box, the brush inside them, aliased edges, no state left
// from one shape to the next, runaway coordinates and bad handles.
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
  // The hollow stock brush, or a solid one of the colour.
  void fill(bool hollow, COLORREF colour) { hollow ? useStock(NULL_BRUSH) : useBrush(colour); }
  int count(uint32_t colour) { return int(std::count(surface().pixels.begin(), surface().pixels.end(), colour)); }
};

// Rectangle fills the box of whole pixels (its right and bottom edges left
// out) with the pen's outline, pen-width thick, and the brush inside it; each
// row states the outline's box and the brush's box it must leave (left, top,
// right, bottom; right and bottom excluded), on a white 40 x 40 canvas.
TEST(ShapesRectangle, OutlineOfThePenWidthAndBrushInsideForEveryKindOfBox) {
  constexpr int N = INT_MAX, M = INT_MIN;
  const struct {
    int style, width;
    bool hollow, oneColour;
    int box[4], outline[4], inside[4];
    const char* what;
  } cases[] = {
      {PS_SOLID, 1, false, false, {10, 10, 20, 20}, {10, 10, 20, 20}, {11, 11, 19, 19}, "one pixel wide"},
      {PS_SOLID, 0, false, false, {20, 20, 10, 10}, {10, 10, 20, 20}, {11, 11, 19, 19}, "reversed, width 0"},
      {PS_SOLID, -4, true, false, {2, 2, 8, 8}, {2, 2, 8, 8}, {3, 3, 7, 7}, "negative width, hollow"},
      {PS_SOLID, 3, false, false, {5, 38, 30, 8}, {5, 8, 30, 38}, {8, 11, 27, 35}, "three wide"},
      {PS_SOLID, 3, false, true, {5, 5, 25, 25}, {5, 5, 25, 25}, {8, 8, 22, 22}, "outline and fill one colour"},
      {PS_SOLID, 7, true, false, {-30, -5, 12, 50}, {-30, -5, 12, 50}, {-23, 2, 5, 43}, "off the top left"},
      {PS_SOLID, 2, false, false, {35, 1, 200, 90}, {35, 1, 200, 90}, {37, 3, 198, 88}, "off the bottom right"},
      {PS_DASH, 1, false, false, {3, 3, 30, 30}, {3, 3, 30, 30}, {4, 4, 29, 29}, "dashed pen: never dashed"},
      {PS_SOLID, 3, false, false, {8, 8, 14, 14}, {8, 8, 14, 14}, {0, 0, 0, 0}, "no wider than two outlines"},
      {PS_SOLID, 2, false, false, {8, 8, 13, 13}, {8, 8, 13, 13}, {10, 10, 11, 11}, "one pixel inside"},
      {PS_SOLID, 1, false, false, {3, 3, 4, 4}, {3, 3, 4, 4}, {0, 0, 0, 0}, "one pixel"},
      {PS_NULL, 1, false, false, {10, 10, 20, 20}, {0, 0, 0, 0}, {10, 10, 19, 19}, "no outline: one pixel less"},
      {PS_NULL, 1, true, false, {10, 10, 20, 20}, {0, 0, 0, 0}, {0, 0, 0, 0}, "no outline, hollow"},
      {PS_SOLID, 1, false, false, {30, 30, 30, 38}, {0, 0, 0, 0}, {0, 0, 0, 0}, "no width"},
      {PS_SOLID, 1, false, false, {-100, 10, -2, 20}, {0, 0, 0, 0}, {0, 0, 0, 0}, "wholly off the surface"},
      {PS_SOLID, 1, false, false, {M + 1, 5, N, 9}, {M, 5, N, 9}, {M, 6, N, 8}, "runaway sides"},
      {PS_SOLID, 1, false, false, {M, M, N, N}, {M, M, N, N}, {M, M, N, N}, "the outline far outside"},
  };
  for (const auto& k : cases) {
    ShapeCanvas c(40, 40);
    c.select(CreatePen(k.style, k.width, RGB(255, 0, 0)));
    c.fill(k.hollow, k.oneColour ? RGB(255, 0, 0) : RGB(0, 0, 255));
    EXPECT_TRUE(Rectangle(c.dc, k.box[0], k.box[1], k.box[2], k.box[3])) << k.what;
    auto in = [](const int* b, int x, int y) { return x >= b[0] && x < b[2] && y >= b[1] && y < b[3]; };
    uint32_t fill = k.hollow ? kWhite : k.oneColour ? kRed : kBlue;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 40; ++x) {
        uint32_t expected = in(k.inside, x, y) ? fill : in(k.outline, x, y) ? kRed : kWhite;
        ASSERT_EQ(c.at(x, y), expected) << k.what << " at " << x << "," << y;
      }
    }
  }
  EXPECT_FALSE(Rectangle(nullptr, 0, 0, 5, 5));
  HDC stale = CreateCompatibleDC(nullptr);
  DeleteDC(stale);
  EXPECT_FALSE(Ellipse(stale, 0, 0, 5, 5));
}

// Ellipses of one colour (one fill of outline and inside), of two, hollow,
// without an outline and thinner than two outlines, side by side on one canvas
// after a dashed line: each looks as it does alone on a fresh canvas, so
// nothing one shape leaves in the drawing state (fill rule, dashes) changes the
// next; and each shows its brush in the middle and its pen at the left end.
TEST(ShapesEllipse, EachLooksAsAloneWhateverWasDrawnBeforeIt) {
  const struct {
    int style, width;
    COLORREF pen, brush;
    bool hollow;
    int height;
    uint32_t middle, leftEnd;
  } cases[] = {
      {PS_SOLID, 3, RGB(255, 0, 0), RGB(255, 0, 0), false, 24, kRed, kRed},
      {PS_SOLID, 2, RGB(255, 0, 0), RGB(0, 0, 255), false, 24, kBlue, kRed},
      {PS_SOLID, 3, RGB(255, 0, 0), RGB(255, 0, 0), false, 24, kRed, kRed},
      {PS_SOLID, 5, RGB(255, 0, 0), 0, true, 24, kWhite, kRed},
      {PS_NULL, 1, 0, RGB(0, 0, 255), false, 24, kBlue, kBlue},
      {PS_SOLID, 2, RGB(255, 0, 0), RGB(0, 0, 255), false, 4, kRed, kRed},
      {PS_SOLID, 1, RGB(255, 0, 0), RGB(0, 0, 255), false, 24, kBlue, kRed},
  };
  const int n = int(sizeof cases / sizeof cases[0]);
  ShapeCanvas shared(20 * n, 26);
  POINT dashes[2] = {{0, 25}, {20 * n, 25}};
  shared.select(CreatePen(PS_DASH, 1, RGB(0, 0, 255)));
  Polyline(shared.dc, dashes, 2);
  for (int i = 0; i < n; ++i) {
    const auto& k = cases[i];
    ShapeCanvas alone(20 * n, 26);
    for (ShapeCanvas* c : {&shared, &alone}) {
      c->select(CreatePen(k.style, k.width, k.pen));
      c->fill(k.hollow, k.brush);
      EXPECT_TRUE(Ellipse(c->dc, 20 * i, 0, 20 * i + 18, k.height));
    }
    EXPECT_EQ(alone.at(20 * i + 9, k.height / 2), k.middle) << "ellipse " << i;
    EXPECT_EQ(alone.at(20 * i, k.height / 2), k.leftEnd) << "ellipse " << i;
    for (int y = 0; y < 24; ++y) {
      for (int x = 20 * i; x < 20 * i + 20; ++x) {
        ASSERT_EQ(shared.at(x, y), alone.at(x, y)) << "ellipse " << i << " at " << x << "," << y;
      }
    }
  }
}

TEST(ShapesEllipse, StaysInsideTheBoxSymmetricAndClosed) {
  ShapeCanvas c(40, 40);
  c.usePen(1, RGB(255, 0, 0));
  c.useBrush(RGB(0, 0, 255));
  Ellipse(c.dc, 4, 8, 36, 32);
  EXPECT_EQ(c.at(4, 20), kRed);  // it reaches the box's left and top edges (and by symmetry the others)
  EXPECT_EQ(c.at(20, 8), kRed);
  EXPECT_EQ(c.at(4, 8), kWhite);  // the box's corners stay outside
  EXPECT_EQ(c.at(20, 20), kBlue);
  for (int y = 0; y < 40; ++y) {
    int outline = 0;
    for (int x = 0; x < 40; ++x) {
      bool inBox = x >= 4 && x < 36 && y >= 8 && y < 32;
      ASSERT_TRUE(inBox || c.at(x, y) == kWhite) << x << "," << y;
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
