// DrawTextW and the font cache: default face, cell heights, bold, line
// breaking, colour and background, clipping, Japanese glyphs, the cache's bounds.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/host/gdi/font_cache.h"
#include "platform/host/gdi/gdi_objects.h"
#include "tests/host/gdi_test_support.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;
constexpr UINT kWrap = DT_WORDBREAK | DT_NOCLIP;

// A canvas over a bitmap of one colour, black text on a transparent
// background, in a font of the given height when one is given.
struct TextCanvas : gdi_test::Canvas {
  TextCanvas(int width, int height, LONG font = 0, uint32_t fill = kWhite) : Canvas(width, height, fill) {
    SetBkMode(dc, TRANSPARENT);
    if (font != 0) useFont(font);
  }
  void useFont(LONG height, LONG weight = FW_DONTCARE) {
    LOGFONTW lf = gdi_test::logFont(height, weight);
    select(CreateFontIndirectW(&lf));
  }
  int draw(const std::u16string& text, int x, int y, int right, UINT format = kWrap, int count = -1) {
    RECT r{x, y, right, surface().height};
    return DrawTextW(dc, text.c_str(), count, &r, format);
  }
  // The width of the text on one line.
  int width(const std::u16string& text) {
    RECT r{0, 0, 10000, 10000};
    DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT);
    return r.right;
  }
  const std::vector<uint32_t>& pixels() { return surface().pixels; }
  void clear() { std::fill(surface().pixels.begin(), surface().pixels.end(), kWhite); }
  // Pixels other than white in [x0, x1) x [y0, y1).
  int inked(int x0 = 0, int y0 = 0, int x1 = INT_MAX, int y1 = INT_MAX) {
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, surface().height); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, surface().width); ++x) n += at(x, y) != kWhite;
    }
    return n;
  }
};

// The default face file, opened with FreeType, is the Gothic face; kanji and
// kana draw its real glyphs, not the missing glyph (U+10FFFD is in no font).
TEST(TextFaces, DefaultFaceIsIpaGothicAndDrawsKanjiAndKana) {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  ASSERT_EQ(FT_New_Face(lib, host::defaultFaceFile().c_str(), 0, &face), 0) << host::defaultFaceFile();
  EXPECT_STREQ(face->family_name, "IPAGothic");
  EXPECT_EQ(FT_Get_Char_Index(face, 0x10FFFD), 0u);
  FT_Done_FreeType(lib);  // and with it the face
  TextCanvas kanji(40, 40, 32), kana(40, 40, 32), missing(40, 40, 32);
  kanji.draw(u"漢", 0, 0, 40);
  kana.draw(u"あ", 0, 0, 40);
  missing.draw(u"\U0010FFFD", 0, 0, 40);
  EXPECT_GT(kanji.inked(), 60);
  EXPECT_GT(kana.inked(), 30);
  EXPECT_NE(kanji.pixels(), missing.pixels());
  EXPECT_NE(kana.pixels(), missing.pixels());
  EXPECT_NE(kanji.pixels(), kana.pixels());
}

// The metrics of a font of the given height and weight.
host::FontMetrics measure(LONG height, LONG weight = FW_DONTCARE) {
  host::FontMetrics m;
  EXPECT_TRUE(host::measureFont(gdi_test::logFont(height, weight), &m)) << height;
  return m;
}

// A positive height is the cell's, a negative one the em's (the cell also
// holds the descent), 0 the default; extremes are bounded. The ascent is most
// of the cell.
TEST(TextFaces, HeightsAreCellCharacterOrDefaultAndBounded) {
  const struct {
    LONG height;
    int least, most;
  } cases[] = {{16, 16, 16}, {-16, 16, 20}, {0, host::kDefaultCellHeight, host::kDefaultCellHeight},
               {INT_MAX, 1, host::kMaxFontPixels * 3 / 2}, {INT_MIN, 1, host::kMaxFontPixels * 3 / 2}};
  for (const auto& k : cases) {
    host::FontMetrics m = measure(k.height);
    EXPECT_GE(m.cellHeight, k.least) << k.height;
    EXPECT_LE(m.cellHeight, k.most) << k.height;
    EXPECT_GT(m.ascent * 2, m.cellHeight) << k.height;
    EXPECT_LE(m.ascent, m.cellHeight) << k.height;
  }
}

TEST(TextFaces, HeavyWeightIsEmboldenedUnderTheRegularGlyphs) {
  EXPECT_TRUE(measure(24, 1000).syntheticBold);
  EXPECT_FALSE(measure(24, 599).syntheticBold);
  TextCanvas normal(200, 40, 24), bold(200, 40);
  bold.useFont(24, 1000);
  normal.draw(u"Hill 漢字", 2, 2, 200);
  bold.draw(u"Hill 漢字", 2, 2, 200);
  EXPECT_GT(bold.inked(), normal.inked() * 5 / 4);
  // The same advances: a bold copy wraps alike and lies under the regular glyphs.
  EXPECT_EQ(bold.width(u"Hill 漢字"), normal.width(u"Hill 漢字"));
  int covered = 0, ink = 0;
  for (size_t i = 0; i < normal.pixels().size(); ++i) {
    ink += normal.pixels()[i] != kWhite;
    covered += normal.pixels()[i] != kWhite && bold.pixels()[i] != kWhite;
  }
  EXPECT_GE(covered * 100, ink * 95);
}

// An opaque background fills the line's box and nothing else. (Aliased ink
// in the text colour over an untouched background: TransparentSurfaces.)
TEST(TextGlyphs, AnOpaqueBackgroundFillsTheLineBoxOnly) {
  TextCanvas o(120, 30, 20, kBlack);
  SetBkMode(o.dc, OPAQUE);
  SetTextColor(o.dc, RGB(255, 0, 0));
  o.draw(u"ab", 0, 0, 120);
  EXPECT_EQ(o.at(0, 19), kWhite);  // inside the line's box, where no ink falls
  EXPECT_EQ(o.at(o.width(u"ab") + 2, 5), kBlack);
  EXPECT_EQ(o.at(0, 25), kBlack);
  std::vector<uint32_t> before = o.pixels();
  o.draw(u"ab", -500, 0, 120);  // a line box wholly left of the surface
  o.draw(u"ab", 500, 0, 600);
  EXPECT_EQ(o.pixels(), before);
}

// Each row draws its text (count units of it, -1 for all) from x to a right
// edge (fit's width past x plus extra; with fit empty, x plus extra) in a font
// of 16, and must return 16 a line and show exactly its lines, each drawn
// alone. Lines break at CR LF, a lone CR and a lone LF (with or without word
// breaking, no empty line after the last break), at spaces, next to CJK
// characters, and inside words too long for the width.
TEST(TextLines, BreakAtLineEndsSpacesCjkAndInsideTooLongWords) {
  const struct {
    std::u16string text;
    int count, x;
    std::u16string fit;
    int extra;
    UINT format;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"ABCDEF", 3, 0, u"", 200, kWrap, {u"ABC"}},
      {u"ABC", 0, 0, u"", 200, kWrap, {}},
      {u"", -1, 0, u"", 200, kWrap, {}},
      {u"one\rtwo", -1, 0, u"", 200, kWrap, {u"one", u"two"}},
      {u"one\ntwo", -1, 0, u"", 200, kWrap, {u"one", u"two"}},
      {u"one\r\n\r\ntwo", -1, 0, u"", 200, kWrap, {u"one", u"", u"two"}},
      {u"one\r\n", -1, 0, u"", 200, kWrap, {u"one"}},
      {u"one\r\ntwo", -1, 0, u"", 200, DT_NOCLIP, {u"one", u"two"}},
      {u"ab cd", -1, 10, u"ab cd", -1, kWrap, {u"ab", u"cd"}},
      {u"ab cd", -1, 10, u"ab cd", 0, kWrap, {u"ab cd"}},
      {u"ab cd", -1, 10, u"", 10, DT_NOCLIP, {u"ab cd"}},  // no DT_WORDBREAK: one line, past the edge
      {u"漢字漢字", -1, 0, u"漢字", 0, kWrap, {u"漢字", u"漢字"}},
      {u"abcかな", -1, 0, u"かな", 2, kWrap, {u"abc", u"かな"}},  // "かな" is wider than "abc"
      {u"abcdefgh", -1, 0, u"abc", 0, kWrap, {u"abc", u"def", u"gh"}},
      {u"abcd", -1, 50, u"", 0, kWrap, {u"a", u"b", u"c", u"d"}},  // no width: a character a line
  };
  for (const auto& k : cases) {
    TextCanvas c(200, 100, 16), expected(200, 100, 16);
    int right = k.x + (k.fit.empty() ? 0 : c.width(k.fit)) + k.extra;
    EXPECT_EQ(c.draw(k.text, k.x, 0, right, k.format, k.count), 16 * int(k.lines.size())) << "row " << &k - cases;
    for (size_t i = 0; i < k.lines.size(); ++i) expected.draw(k.lines[i], k.x, 16 * int(i), 200);
    EXPECT_EQ(c.pixels(), expected.pixels()) << "row " << &k - cases;
  }
}

TEST(TextClip, NoClipRunsBelowTheRectangleOtherwiseClippedAndBadCalls) {
  TextCanvas c(100, 100, 16);
  RECT r{0, 0, 30, 16};
  DrawTextW(c.dc, u"ab cd ef", -1, &r, kWrap);
  EXPECT_GT(c.inked(0, 16), 0);
  c.clear();
  DrawTextW(c.dc, u"ab cd ef", -1, &r, DT_WORDBREAK);
  EXPECT_EQ(c.inked(0, 16), 0);
  EXPECT_GT(c.inked(0, 0, 30, 16), 0);
  c.clear();
  RECT far{INT_MAX - 5, INT_MAX - 5, INT_MAX, INT_MAX};
  DrawTextW(c.dc, u"ab cd", -1, &far, kWrap);
  RECT before{INT_MIN, INT_MIN, INT_MIN + 40, 0};
  DrawTextW(c.dc, u"ab cd", -1, &before, kWrap);
  EXPECT_EQ(c.inked(), 0);
  EXPECT_EQ(DrawTextW(nullptr, u"a", -1, &r, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, u"a", -1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, u"a", -7, &r, 0), 0);
  const char16_t lone[] = {u'a', char16_t(0xD800), 0};  // an unpaired surrogate
  EXPECT_EQ(DrawTextW(c.dc, lone, -1, &r, DT_NOCLIP), 16);
}

TEST(TextCache, FontsMadeEveryFrameRenderTheirGlyphsOnce) {
  TextCanvas c(200, 40);
  auto frame = [&] {
    LOGFONTW lf = gdi_test::logFont(18);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ previous = SelectObject(c.dc, font);
    c.draw(u"まもなく開演です", 0, 0, 200);
    SelectObject(c.dc, previous);
    DeleteObject(font);
  };
  frame();
  size_t renders = host::fontCacheStats().glyphRenders;
  std::vector<uint32_t> first = c.pixels();
  for (int i = 0; i < 3; ++i) {
    c.clear();
    frame();
  }
  EXPECT_EQ(host::fontCacheStats().glyphRenders, renders);
  EXPECT_EQ(c.pixels(), first);
}

TEST(TextCache, StaysBoundedOverManySizesAndCharacters) {
  TextCanvas c(300, 300);
  std::u16string text;
  for (char16_t k = 0x4E00; k < 0x4E00 + 120; ++k) text += k;
  for (int size = 6; size < 130; size += 3) {
    c.useFont(size);
    c.draw(text, 0, 0, 300);
    host::FontCacheStats s = host::fontCacheStats();
    ASSERT_LE(s.sizedFaces, host::kMaxSizedFaces);
    ASSERT_LE(s.fontFiles, host::kMaxFontFiles);
    ASSERT_LE(s.glyphs, host::kMaxCachedGlyphs);
    ASSERT_LE(s.glyphBytes, host::kMaxGlyphBytes + 130u * 130u);  // at most one glyph over
  }
  host::clearFontCache();
  EXPECT_EQ(host::fontCacheStats().glyphs, 0u);
  EXPECT_EQ(host::fontCacheStats().sizedFaces, 0u);
  c.clear();
  c.useFont(16);
  c.draw(u"漢", 0, 0, 300);
  EXPECT_GT(c.inked(), 20);
}

}  // namespace
