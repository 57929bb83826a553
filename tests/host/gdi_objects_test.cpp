// The host's GDI objects: creation, selection, description, deletion, stale
// handles, stock objects and the leak count; PNG output of a DC.
#include <cstring>

#include "platform/shell.h"
#include "tests/host/gdi_test_support.h"

using namespace gdi_test;
using host::Bitmap;
using host::liveObjectCount;

namespace {

TEST(GdiObjects, CompatibleBitmapIsOpaqueBlackDescribedPartlyOrWholeAndBounded) {
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 5, 3);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(describe(bitmap), (std::vector<long>{0, 5, 3, 20, 1, 32}));
  BITMAP info;
  GetObjectW(bitmap, sizeof info, &info);
  const host::Surface& s = host::lookup<Bitmap>(bitmap)->surface;
  EXPECT_EQ(info.bmBits, s.pixels.data());
  EXPECT_EQ(s.pixels, std::vector<uint32_t>(15, 0xFF000000u));
  // GetObjectW copies only the bytes asked for, at most a BITMAP; with no
  // buffer it tells the size.
  unsigned char buffer[sizeof(BITMAP) + 8];
  std::memset(buffer, 0xAB, sizeof buffer);
  EXPECT_EQ(GetObjectW(bitmap, 12, buffer), 12);
  EXPECT_EQ(std::memcmp(buffer, &info, 12), 0);  // type, width and height
  for (size_t i = 12; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0xAB) << i;
  EXPECT_EQ(GetObjectW(bitmap, int(sizeof buffer), buffer), int(sizeof(BITMAP)));
  EXPECT_EQ(buffer[sizeof(BITMAP)], 0xAB);
  EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), int(sizeof(BITMAP)));
  EXPECT_EQ(GetObjectW(bitmap, 0, buffer), 0);
  EXPECT_EQ(GetObjectW(bitmap, -4, buffer), 0);
  DeleteObject(bitmap);
  // A side of 0 makes a 1x1 bitmap; negative and oversized sides make none.
  HBITMAP empty = CreateCompatibleBitmap(nullptr, 0, 10);
  EXPECT_EQ(describe(empty), (std::vector<long>{0, 1, 1, 4, 1, 32}));
  DeleteObject(empty);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, -1, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 10, -1), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, host::kMaxBitmapSide + 1, 1), nullptr);
}

// SelectObject gives back the bitmap it replaces (a DC starts with a 1x1 one of
// its own); a bitmap is in one DC at a time and is not deleted while selected,
// a brush is deleted while selected but lives while a DC holds it; the DCs'
// deletion lets them go, and leaves no object behind.
TEST(GdiObjects, ABitmapSitsInOneDcAtATimeAndSelectedObjectsLiveUntilReleased) {
  size_t before = liveObjectCount();
  HDC first = CreateCompatibleDC(nullptr), second = CreateCompatibleDC(nullptr);
  HBITMAP a = CreateCompatibleBitmap(first, 2, 2), b = CreateCompatibleBitmap(first, 3, 3);
  HGDIOBJ initial = SelectObject(first, a);
  EXPECT_EQ(describe(initial), (std::vector<long>{0, 1, 1, 4, 1, 32}));
  EXPECT_EQ(SelectObject(first, b), a);
  EXPECT_EQ(host::dcSurface(first), &host::lookup<Bitmap>(b)->surface);
  EXPECT_EQ(SelectObject(first, b), b);  // already selected
  EXPECT_EQ(SelectObject(second, b), nullptr);
  EXPECT_EQ(SelectObject(second, initial), nullptr);  // nor does one DC's starting bitmap go into another
  EXPECT_FALSE(DeleteObject(b));
  EXPECT_NE(host::lookup<Bitmap>(b), nullptr);
  EXPECT_EQ(SelectObject(first, initial), b);
  EXPECT_NE(SelectObject(second, b), nullptr);
  // A brush deleted while two DCs hold it lives until the last lets it go.
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  SelectObject(first, brush);
  SelectObject(second, brush);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(brush));  // already deleted
  HDC third = CreateCompatibleDC(first);
  EXPECT_EQ(SelectObject(third, brush), nullptr);  // a deleted brush is not selected anew
  DeleteDC(third);
  SelectObject(first, GetStockObject(WHITE_BRUSH));
  EXPECT_NE(host::lookup<host::Brush>(brush), nullptr);  // still held by the second DC
  EXPECT_TRUE(DeleteDC(second));  // the system deletes a memory DC before its bitmap
  EXPECT_EQ(host::lookup<host::Brush>(brush), nullptr);
  EXPECT_TRUE(DeleteDC(first));
  EXPECT_TRUE(DeleteObject(a));
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_EQ(liveObjectCount(), before);
}

// A new DC has the white brush, black pen and default font selected, draws
// text black on an opaque background; each setter gives back what it replaces.
// The stock objects it starts with are permanent.
TEST(GdiObjects, DcStartsWithStockObjectsAndDefaultTextState) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(4, 5, 6));
  LOGFONTW described = logFont(17, 1000);
  HFONT font = CreateFontIndirectW(&described);
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(dc, font), host::defaultFont());
  EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_BRUSH)), brush);
  EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), pen);
  EXPECT_EQ(SelectObject(dc, host::defaultFont()), font);
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(dc, 7), 0);  // no such mode
  EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
  EXPECT_EQ(SetTextColor(dc, RGB(10, 20, 30)), RGB(0, 0, 0));
  EXPECT_EQ(SetTextColor(dc, RGB(1, 1, 1)), RGB(10, 20, 30));
  LOGFONTW back{};
  EXPECT_EQ(GetObjectW(font, sizeof back, &back), int(sizeof back));
  EXPECT_EQ(back.lfHeight, 17);
  EXPECT_EQ(back.lfWeight, 1000);
  // The stock objects: the null pen draws nothing (the null brush: PatBlt's
  // test), the others have their colours; each is never deleted.
  EXPECT_EQ(host::lookup<host::Pen>(GetStockObject(NULL_PEN))->style, PS_NULL);
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);  // the DC's first brush: always the same object
  EXPECT_TRUE(DeleteObject(white));
  EXPECT_NE(host::lookup<host::Brush>(white), nullptr);
  EXPECT_EQ(host::lookup<host::Brush>(GetStockObject(BLACK_BRUSH))->colour, RGB(0, 0, 0));
  EXPECT_EQ(host::lookup<host::Pen>(GetStockObject(WHITE_PEN))->colour, RGB(255, 255, 255));
  EXPECT_EQ(GetStockObject(3), nullptr);
  EXPECT_EQ(GetStockObject(-1), nullptr);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(font));
  DeleteDC(dc);
}

TEST(GdiObjects, StaleAndWrongHandlesFail) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
  HBRUSH brush = CreateSolidBrush(RGB(1, 1, 1));
  ASSERT_TRUE(DeleteObject(bitmap));
  ASSERT_TRUE(DeleteObject(brush));
  EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
  EXPECT_EQ(SelectObject(dc, brush), nullptr);
  EXPECT_FALSE(DeleteObject(bitmap));
  BITMAP info;
  EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), 0);
  // A handle of the wrong kind.
  HBRUSH live = CreateSolidBrush(RGB(2, 2, 2));
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(live), GetStockObject(BLACK_PEN)), nullptr);
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(live)));
  EXPECT_FALSE(DeleteObject(dc));  // a DC is not a GDI object to DeleteObject
  EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(live)), nullptr);
  EXPECT_EQ(SetBkMode(reinterpret_cast<HDC>(live), TRANSPARENT), 0);
  DeleteObject(live);
  ASSERT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), nullptr);
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), 0);
  EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), CLR_INVALID);
  EXPECT_EQ(host::dcSurface(dc), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 4, 4), nullptr);
  EXPECT_EQ(SelectObject(nullptr, nullptr), nullptr);
  EXPECT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(uintptr_t(0x12345)), 4, &info), 0);
  EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
}

TEST(GdiObjects, CopiedSurfaceKeepsNoViewsOfTheOriginal) {
  // The copies give a surface pixman views; a copy of it must not share them.
  Canvas canvas(4, 4, 0xFF000000u), source(4, 4, 0xFFFFFFFFu);
  BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
  AlphaBlend(canvas.dc, 0, 0, 4, 4, source.dc, 0, 0, 2, 2, half);
  ASSERT_NE(canvas.surface().views.argb, nullptr);
  host::Surface copy = canvas.surface();
  EXPECT_EQ(copy.views.argb, nullptr);
  EXPECT_EQ(copy.row(2)[2], canvas.at(2, 2));
  copy = source.surface();
  EXPECT_EQ(copy.views.argb, nullptr);
  // Resetting drops the views; the next blend makes them anew over the new pixels.
  canvas.surface().reset(8, 8, 0xFF000000u);
  EXPECT_EQ(canvas.surface().views.argb, nullptr);
  AlphaBlend(canvas.dc, 4, 4, 4, 4, source.dc, 0, 0, 4, 4, half);
  EXPECT_EQ(red(canvas.at(7, 7)), 128);
  EXPECT_EQ(canvas.at(3, 3), 0xFF000000u);
}

TEST(GdiPng, DcWrittenAsPngReadsBack) {
  ScratchDir dir;
  Canvas canvas(3, 2, 0xFF000000u);
  const uint32_t K = 0xFF000000u;
  canvas.surface().pixels = {0xFFFF0000u, 0xFF0000FFu, K, K, K, 0xFF00FF00u};
  std::string path = dir.file("frame.png");
  ASSERT_TRUE(host::writeDcPng(canvas.dc, path.c_str()));
  HBITMAP back = SHLoadImageFile(wide(path).c_str());
  ASSERT_NE(back, nullptr);
  const host::Surface& s = host::lookup<Bitmap>(back)->surface;
  ASSERT_EQ(s.width, 3);
  EXPECT_EQ(s.pixels, canvas.surface().pixels);
  DeleteObject(back);
  EXPECT_FALSE(host::writeDcPng(canvas.dc, dir.file("missing/frame.png").c_str()));
  host::Surface empty;
  EXPECT_FALSE(host::writeSurfacePng(empty, dir.file("empty.png").c_str()));
  EXPECT_FALSE(host::writeDcPng(nullptr, path.c_str()));
}

}  // namespace
