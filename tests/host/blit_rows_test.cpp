// BitBlt of whole rows between surfaces of one width, which copies the block
// as one run of memory: the same pixels as a row-by-row copy, also when the
// block moves up or down within one surface, and clipped like any other copy.
#include <cstdint>

#include "tests/host/gdi_test_support.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 12;

// The value naming pixel (x, y); number fills a canvas with them.
uint32_t named(int x, int y) { return 0xFF000000u | uint32_t(y << 8) | uint32_t(x); }
void number(gdi_test::Canvas& c) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) c.at(x, y) = named(x, y);
  }
}

TEST(BlitWholeRows, MovesWithinOneSurfaceKeepEveryRowWhole) {
  for (int shift : {3, -2, 1, -5}) {
    gdi_test::Canvas c(kWidth, kHeight);
    number(c);
    int from = shift > 0 ? 1 : 6, to = from + shift, rows = 5;
    EXPECT_TRUE(BitBlt(c.dc, 0, to, kWidth, rows, c.dc, 0, from, SRCCOPY));
    for (int y = 0; y < kHeight; ++y) {
      bool moved = y >= to && y < to + rows;
      for (int x = 0; x < kWidth; ++x) {
        ASSERT_EQ(c.at(x, y), moved ? named(x, y - shift) : named(x, y)) << "shift " << shift << " at " << x << ","
                                                                          << y;
      }
    }
  }
}

TEST(BlitWholeRows, CopiesBetweenSurfacesAreClippedToBoth) {
  gdi_test::Canvas source(kWidth, kHeight), target(kWidth, kHeight, 0xFF0000FFu);
  number(source);
  // Asked for more rows than either holds, from row 4 to row 6: rows 4..9 land on 6..11.
  EXPECT_TRUE(BitBlt(target.dc, 0, 6, kWidth, 40, source.dc, 0, 4, SRCCOPY));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(target.at(x, y), y >= 6 ? named(x, y - 2) : 0xFF0000FFu);
  }
  // A surface of another width gets the same pixels row by row.
  gdi_test::Canvas narrow(kWidth - 4, kHeight);
  EXPECT_TRUE(BitBlt(narrow.dc, 0, 0, kWidth, kHeight, source.dc, 0, 0, SRCCOPY));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth - 4; ++x) ASSERT_EQ(narrow.at(x, y), named(x, y));
  }
}

}  // namespace
