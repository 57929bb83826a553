// The drawing surfaces and the frame painter on a headless window: draw lists
// built by hand, painted with paintFrame, checked on the window's pixels.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/arith.h"
#include "engine/scene_tables.h"
#include "platform/host/gdi/gdi_objects.h"
#include "platform/host/headless/headless_control.h"
#include "platform/host/common/text_encoding.h"
#include "platform/platform.h"
#include "render/draw_list.h"
#include "render/painter.h"
#include "render/surfaces.h"
#include "tests/host/gdi_test_support.h"
#include "tests/support/test_files.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

struct Rgb {
  int r, g, b;
};
const Rgb kBackground{0, 0, 255};

// True when the pixel is within tolerance of the colour in every component.
bool near(uint32_t p, Rgb want, int tolerance = 0) {
  return std::abs(int((p >> 16) & 0xFF) - want.r) <= tolerance &&
         std::abs(int((p >> 8) & 0xFF) - want.g) <= tolerance && std::abs(int(p & 0xFF) - want.b) <= tolerance;
}

// ---- requests, filled in as the draw-request step fills them ----

void shape(int kind, int source, int x, int y, int extentX, int extentY, Rgb c, int layer = 0) {
  insertDrawEntry(kind, source, x, y, extentX, extentY, 0, 0, 0, 0, 0, 0, 0, c.r, c.g, c.b, layer);
}
void line(int x0, int y0, int x1, int y1, int width, Rgb c) {
  insertDrawEntry(KIND_LINE, 0, x0, y0, 0, width, 0, 0, x1, y1, 0, 0, 0, c.r, c.g, c.b, 0);
}
void polygon(int source, int x, int y, float scaleX, float scaleY, Rgb c) {
  insertDrawEntry(KIND_POLYGON, source, x, y, truncToInt(scaleX), truncToInt(scaleY), scaleX, scaleY,
                  0, 0, 0, 0, 0, c.r, c.g, c.b, 0);
}
void text(int source, int x, int y, int right, int height, int count, int bold, Rgb c) {
  insertDrawEntry(KIND_TEXT, source, x, y, right, height, 0, 0, count, bold, 0, 0, 0, c.r, c.g, c.b, 0);
}
void image(int source, int x, int y, int width, int height, int srcWidth, int srcHeight, int alpha) {
  insertDrawEntry(KIND_IMAGE, source, x, y, width, height, 0, 0, 0, 0, srcWidth, srcHeight, alpha, 0, 0, 0, 0);
}

void setText(int n, const std::u16string& units) {
  size_t i = 0;
  for (; i < units.size() && i + 1 < MAX_TEXT_UNITS; ++i) scene.texts[n].text[i] = units[i];
  scene.texts[n].text[i] = 0;
}

// ---- test images ----

// A scratch directory of test BMP files (pixels top row first as 0xAARRGGBB,
// 24 or 32 bits), removed with them.
struct ImageDir : gdi_test::ScratchDir {
  std::string bmp(const std::string& name, int w, int h, const std::vector<uint32_t>& pixels, int bits) {
    return write(name, test_files::bmpBytes(w, h, pixels, bits));
  }
};

// Fills image slot n as the settings loader does: the bitmap, a memory DC
// with it selected, and its description.
void loadImageSlot(int n, const std::string& path, int loader) {
  std::u16string wide = host::utf8ToUtf16(path);
  ImageSlot& slot = scene.images[n];
  slot.imageLoader = loader;
  slot.bitmap = loader == IMAGE_LOADER_DIB ? SHLoadDIBitmap(wide.c_str()) : SHLoadImageFile(wide.c_str());
  ASSERT_NE(slot.bitmap, nullptr) << path;
  slot.dc = CreateCompatibleDC(nullptr);
  SelectObject(slot.dc, slot.bitmap);
  GetObjectW(slot.bitmap, sizeof(BITMAP), &slot.info);
}

// ---- the fixture: a window, scene tables with a blue background, surfaces ----

HWND makeWindow(int x, int y, int width, int height) {
  setenv("TESSARIL_BACKEND", "headless", 1);
  static bool registered = false;
  if (!registered) {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"TessarilPainterTest";
    registered = RegisterClassW(&wc) != 0;
  }
  return CreateWindowExW(0, u"TessarilPainterTest", u"painter", WS_POPUP, x, y, width, height, nullptr, nullptr,
                         nullptr, nullptr);
}

class Painter : public ::testing::Test {
 protected:
  HWND window = nullptr;
  std::vector<uint32_t> frame;
  PolygonVertex square[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};

  void SetUp() override {
    window = makeWindow(0, 0, kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(allocateSceneTables(), 1);
    scene.backgroundBrush = CreateSolidBrush(RGB(0, 0, 255));
    ASSERT_EQ(createSurfaces(window), 1);
  }
  void TearDown() override {
    for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
      if (scene.polygons[n].points == square) scene.polygons[n] = PolygonSlot{0, nullptr};  // not heap
    }
    releaseSurfaces();
    releaseSceneTables();
    DestroyWindow(window);
  }
  // Paints a frame and keeps the window's client pixels as it left them.
  void paint() {
    paintFrame(window);
    HDC dc = GetDC(window);
    host::Surface* s = host::dcSurface(dc);
    frame = s != nullptr ? s->pixels : std::vector<uint32_t>();
    ReleaseDC(window, dc);
    ASSERT_EQ(frame.size(), size_t(kWidth * kHeight));
  }
  uint32_t at(int x, int y) { return frame[size_t(y * kWidth + x)]; }
  int countNear(Rgb want, int x0 = 0, int y0 = 0, int x1 = kWidth, int y1 = kHeight) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += near(at(x, y), want);
    }
    return n;
  }
  int inked(int x0 = 0, int y0 = 0, int x1 = kWidth, int y1 = kHeight) {
    return (x1 - x0) * (y1 - y0) - countNear(kBackground, x0, y0, x1, y1);
  }
};

// ---- the background, the list and the surfaces ----

TEST_F(Painter, EmptyListShowsTheBackgroundAndEveryFrameEmptiesTheList) {
  paint();
  EXPECT_EQ(countNear(kBackground), kWidth * kHeight);
  shape(KIND_RECTANGLE, 1, 10, 10, 50, 50, Rgb{255, 0, 0}, 1);
  shape(KIND_RECTANGLE, 1, 30, 30, 70, 70, Rgb{0, 255, 0}, 5);  // a higher layer lies behind
  paint();
  EXPECT_TRUE(near(at(40, 40), Rgb{255, 0, 0}));
  EXPECT_TRUE(near(at(60, 60), Rgb{0, 255, 0}));
  EXPECT_EQ(drawListHead, 1);
  for (int i = 0; i < MAX_DRAW_ENTRIES; ++i) ASSERT_EQ(drawList[i].inUse, 0) << i;
  paint();
  EXPECT_EQ(countNear(kBackground), kWidth * kHeight);
  // A damaged link that loops back ends the walk instead of hanging it.
  shape(KIND_RECTANGLE, 1, 10, 10, 20, 20, Rgb{255, 0, 0});
  shape(KIND_RECTANGLE, 1, 30, 10, 40, 20, Rgb{0, 255, 0});
  drawList[2].next = 1;
  paint();
  EXPECT_TRUE(near(at(35, 15), Rgb{0, 255, 0}));
  EXPECT_EQ(drawListHead, 1);
}

TEST_F(Painter, SurfacesFollowTheClientAreaAndAreReleasedWhole) {
  BITMAP info{};
  ASSERT_GT(GetObjectW(backBufferBitmap, sizeof(info), &info), 0);
  EXPECT_EQ(std::make_tuple(clientRect.right, clientRect.bottom, info.bmWidth, info.bmHeight),
            std::make_tuple(kWidth, kHeight, kWidth, kHeight));
  LOGFONTW zero{};
  EXPECT_EQ(memcmp(&fontTemplate, &zero, sizeof(zero)), 0);
  releaseSurfaces();
  size_t none = host::liveObjectCount();
  ASSERT_EQ(createSurfaces(window), 1);
  size_t live = host::liveObjectCount();
  ASSERT_EQ(createSurfaces(window), 1);  // again without a release: nothing leaks
  EXPECT_EQ(host::liveObjectCount(), live);
  releaseSurfaces();
  releaseSurfaces();  // twice is harmless
  EXPECT_TRUE(backBuffer == nullptr && backBufferBitmap == nullptr && screenSnapshot == nullptr &&
              screenSnapshotBitmap == nullptr && drawList == nullptr);
  EXPECT_EQ(host::liveObjectCount(), none);
  ASSERT_EQ(createSurfaces(window), 1);
  // A client area grown past the buffers is cleared and copied safely.
  clientRect.right = kWidth * 3;
  clientRect.bottom = kHeight * 3;
  shape(KIND_RECTANGLE, 1, 10, 10, 20, 20, Rgb{255, 0, 0});
  paint();
  EXPECT_TRUE(near(at(15, 15), Rgb{255, 0, 0}));
}

TEST_F(Painter, WithoutABackgroundBrushFramesStartFromTheScreensOrigin) {
  DeleteObject(scene.backgroundBrush);
  scene.backgroundBrush = nullptr;
  std::vector<uint32_t> picture(240 * 320, 0xFF00FF00u);  // the screen: red top-left corner, green elsewhere
  for (int y = 0; y < 20; ++y) std::fill_n(&picture[y * 240], 20, 0xFFFF0000u);
  ASSERT_TRUE(host::setScreenPicture(picture.data(), 240, 320));
  DestroyWindow(window);
  window = makeWindow(50, 50, kWidth, kHeight);  // away from the origin
  ASSERT_EQ(createSurfaces(window), 1);
  paint();
  EXPECT_TRUE(near(at(5, 5), Rgb{255, 0, 0}));
  EXPECT_TRUE(near(at(50, 30), Rgb{0, 255, 0}));
}

// ---- shapes and colours ----

// Colours clamp; a rectangle of source 0 is an outline, of source 1 outlined
// and filled in one colour; so is an ellipse; a line of width 0 is one pixel wide.
TEST_F(Painter, ColoursClampShapesAreOutlinedOrFilledBySourceAndLinesOfWidthZeroAreOnePixel) {
  Rgb yellow{255, 255, 0}, white{255, 255, 255};
  shape(KIND_RECTANGLE, 1, 10, 10, 30, 30, Rgb{-20, 128, 400});
  shape(KIND_RECTANGLE, 1, 40, 10, 60, 30, Rgb{INT_MAX, INT_MIN, 255});
  shape(KIND_RECTANGLE, 0, 70, 10, 90, 30, yellow);
  shape(KIND_ELLIPSE, 0, 10, 40, 40, 70, yellow);
  shape(KIND_ELLIPSE, -1, 50, 40, 80, 70, yellow);
  line(10, 90, 100, 90, 0, white);
  line(10, 105, 100, 105, 5, white);
  paint();
  EXPECT_EQ(countNear(Rgb{0, 128, 255}, 10, 10, 30, 30), 400);  // outline and fill in one colour
  EXPECT_TRUE(near(at(50, 20), Rgb{255, 0, 255}));
  EXPECT_EQ(countNear(yellow, 70, 10, 91, 31), 4 * 20 - 4);  // source 0: an outline, edges excluded
  EXPECT_TRUE(near(at(80, 20), kBackground));
  EXPECT_TRUE(near(at(10, 55), yellow));
  EXPECT_TRUE(near(at(25, 55), kBackground));
  EXPECT_TRUE(near(at(65, 55), yellow));
  EXPECT_EQ(countNear(white, 0, 80, kWidth, 98), 90);  // x 10..99 of row 90
  EXPECT_TRUE(near(at(10, 90), white) && near(at(99, 90), white));
  for (int y = 103; y <= 107; ++y) EXPECT_TRUE(near(at(50, y), white)) << y;
  EXPECT_FALSE(near(at(50, 108), white));
}

TEST_F(Painter, PolygonIsScaledAboutTheEntryOriginAndBadSlotsDrawNothing) {
  scene.polygons[3] = PolygonSlot{4, square};
  polygon(3, 20, 30, 2.0f, 0.5f, Rgb{0, 255, 0});
  paint();
  // (20, 30) - (40, 35), the vertex pixels included.
  EXPECT_EQ(countNear(Rgb{0, 255, 0}), 21 * 6);
  EXPECT_EQ(countNear(Rgb{0, 255, 0}, 20, 30, 41, 36), 21 * 6);

  scene.polygons[1] = PolygonSlot{0, square};
  scene.polygons[2] = PolygonSlot{-3, square};
  scene.polygons[4] = PolygonSlot{70000, nullptr};  // a count the loader made no array for
  scene.polygons[5] = PolygonSlot{3, nullptr};
  for (int source : {1, 2, 4, 5, -1, 256, INT_MIN}) polygon(source, 20, 20, 5.0f, 5.0f, Rgb{255, 0, 0});
  paint();
  EXPECT_EQ(inked(), 0);
  scene.polygons[4].count = scene.polygons[5].count = 0;

  // Runaway products saturate (the sanitizers would catch an overflow).
  polygon(3, INT_MAX - 10, INT_MIN + 10, 1e30f, -1e30f, Rgb{255, 0, 0});
  polygon(3, 0, 100, NAN, 1.0f, Rgb{255, 0, 0});
  paint();
  EXPECT_EQ(drawListHead, 1);
}

// ---- texts ----

TEST_F(Painter, TextShowsItsVisibleUnitsOnly) {
  setText(0, u"ABCDEF");
  setText(1, u"ABC");
  Rgb white{255, 255, 255};
  text(0, 10, 10, 150, 16, 3, 0, white);
  text(1, 10, 40, 150, 16, -1, 0, white);
  text(0, 10, 70, 150, 16, -1, 0, white);
  text(0, 10, 100, 150, 16, 0, 0, white);
  for (int source : {-1, 256, INT_MAX}) text(source, 10, 100, 150, 16, -1, 0, white);
  paint();
  int three = inked(0, 10, kWidth, 26);
  EXPECT_GT(three, 20);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(at(x, 10 + y), at(x, 40 + y)) << x << "," << y;
  }
  EXPECT_GT(inked(0, 70, kWidth, 86), three * 3 / 2);
  EXPECT_EQ(inked(0, 100, kWidth, kHeight), 0);  // srcX 0 and sources outside the table: nothing
}

TEST_F(Painter, LongTextWrapsAtTheBoxAndRunsBelowTheClientArea) {
  setText(2, u"one two three four five six seven eight nine ten");
  text(2, 4, 70, 60, 16, -1, 0, Rgb{255, 255, 255});
  paint();
  EXPECT_GT(inked(0, 70, 64, 86), 0);
  EXPECT_GT(inked(0, 86, 64, 102), 0);
  EXPECT_GT(inked(0, 102, 64, kHeight), 0);  // on to the bottom edge, unclipped
  EXPECT_EQ(inked(64, 0, kWidth, kHeight), 0);
}

TEST_F(Painter, BoldBlackBackingLiesBeneathTheColouredText) {
  setText(4, u"漢字 Tessaril");  // two lines in the box
  Rgb yellow{255, 255, 0}, black{0, 0, 0};
  text(4, 10, 10, 150, 24, -1, 1, black);  // the backing, then the text
  text(4, 10, 10, 150, 24, -1, 0, yellow);
  text(4, 10, 66, 150, 24, -1, 0, yellow);  // the text alone
  paint();
  EXPECT_GT(countNear(yellow, 0, 10, kWidth, 58), 100);
  EXPECT_GT(countNear(black, 0, 10, kWidth, 58), 100);
  EXPECT_EQ(countNear(black, 0, 66, kWidth, 114), 0);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      ASSERT_EQ(near(at(x, 10 + y), yellow), near(at(x, 66 + y), yellow)) << x << "," << y;
    }
  }
}

// ---- images ----

TEST_F(Painter, OpaqueImagesLeaveOutMagentaTranslucentOnesBlendIt) {
  ImageDir dir;
  loadImageSlot(5, dir.bmp("keyed.bmp", 4, 1, {0xFFFF00FFu, 0xFFFF0000u, 0xFFFF00FFu, 0xFF00FF00u}, 24),
                IMAGE_LOADER_DIB);
  image(5, 0, 0, 40, 10, 4, 1, 255);
  image(5, 0, 20, 40, 10, 4, 1, 300);
  image(5, 0, 40, 40, 10, 4, 1, 254);
  paint();
  const Rgb keyed[4] = {kBackground, {255, 0, 0}, kBackground, {0, 255, 0}};  // magenta keyed out
  for (int y : {5, 25}) {
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(near(at(5 + 10 * k, y), keyed[k])) << k << "," << y;
  }
  EXPECT_TRUE(near(at(5, 45), Rgb{254, 0, 255}, 1));  // magenta shows at 254/255 over blue
  EXPECT_TRUE(near(at(15, 45), Rgb{254, 0, 1}, 1));
}

TEST_F(Painter, BmpBlendsWithPerPixelAlphaOtherImagesWithConstantAlphaOnly) {
  ImageDir dir;
  std::string bmp = dir.bmp("alpha.bmp", 2, 1, {0xFFFF0000u, 0x00FF0000u}, 32);  // opaque red, clear red
  loadImageSlot(0, bmp, IMAGE_LOADER_DIB);
  // The loader flag alone decides: the same bitmap as if the shell loader had
  // read it (which gives no bitmap per-pixel alpha: ShLoadImageFile's tests).
  loadImageSlot(1, bmp, IMAGE_LOADER_DIB);
  scene.images[1].imageLoader = IMAGE_LOADER_SHELL;
  for (int n = 0; n < 2; ++n) image(n, 0, 20 * n, 20, 10, 2, 1, 128);
  paint();
  for (int y : {5, 25}) EXPECT_TRUE(near(at(5, y), Rgb{128, 0, 127}, 2)) << y;
  EXPECT_TRUE(near(at(15, 5), kBackground));        // per-pixel alpha 0: untouched
  EXPECT_TRUE(near(at(15, 25), Rgb{0, 0, 127}, 2));  // constant alpha: counts as black
}

TEST_F(Painter, EmptySlotsSourcesOutsideTheTableAndUnknownKindsDrawNothing) {
  ImageDir dir;
  loadImageSlot(255, dir.bmp("red.bmp", 1, 1, {0xFFFF0000u}, 24), IMAGE_LOADER_DIB);
  for (int alpha : {255, 100}) {
    for (int source : {9, 256, -2}) image(source, 0, 0, 50, 50, 1, 1, alpha);  // 9 holds no image
  }
  image(255, 60, 60, 10, 10, 1, 1, 255);
  insertDrawEntry(99, 255, 0, 0, 50, 50, 0, 0, 0, 0, 1, 1, 255, 255, 0, 0, 0);
  paint();
  EXPECT_EQ(inked(0, 0, 50, 50), 0);
  EXPECT_EQ(countNear(Rgb{255, 0, 0}), 100);
}

}  // namespace
