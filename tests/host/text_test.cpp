// DrawTextW and the font cache: default face, cell heights, line breaking,
// colour and background, clipping, Japanese glyphs and the cache's bounds.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "platform/gdi.h"
#include "platform/host/font_cache.h"
#include "platform/host/gdi_objects.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;

// A memory DC over a bitmap of one colour, with a font of the given height
// and weight selected and transparent background.
struct TextCanvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HFONT font = nullptr;
  HGDIOBJ firstFont = nullptr;

  TextCanvas(int width, int height, uint32_t fill = kWhite) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateCompatibleBitmap(dc, width, height);
    SelectObject(dc, bitmap);
    surface().reset(width, height, fill);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
  }
  ~TextCanvas() {
    if (firstFont != nullptr) SelectObject(dc, firstFont);
    if (font != nullptr) DeleteObject(font);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  void useFont(LONG height, LONG weight = FW_DONTCARE) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    HFONT made = CreateFontIndirectW(&lf);
    HGDIOBJ previous = SelectObject(dc, made);
    if (firstFont == nullptr) firstFont = previous;
    if (font != nullptr) DeleteObject(font);
    font = made;
  }
  // Draws text from (x, y) in a box right bounded at right.
  int draw(const std::u16string& text, int x, int y, int right, UINT format = DT_WORDBREAK | DT_NOCLIP,
           int count = -1) {
    RECT r{x, y, right, surface().height};
    return DrawTextW(dc, text.c_str(), count, &r, format);
  }
  host::Surface& surface() { return *host::dcSurface(dc); }
  uint32_t at(int x, int y) { return surface().row(y)[x]; }
  void clear(uint32_t fill = kWhite) { std::fill(surface().pixels.begin(), surface().pixels.end(), fill); }
  // Pixels different from the background inside [x0, x1) x [y0, y1).
  int inked(int x0, int y0, int x1, int y1, uint32_t background = kWhite) {
    int n = 0;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, surface().width);
    y1 = std::min(y1, surface().height);
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) n += at(x, y) != background;
    }
    return n;
  }
  int inkedAll(uint32_t background = kWhite) { return inked(0, 0, surface().width, surface().height, background); }
  // The rows [y0, y1) of pixels, for comparing what two draws left.
  std::vector<uint32_t> rows(int y0, int y1) {
    return std::vector<uint32_t>(surface().pixels.begin() + ptrdiff_t(y0) * surface().width,
                                 surface().pixels.begin() + ptrdiff_t(y1) * surface().width);
  }
};

// The width of a text drawn on one line in the canvas's font.
int textWidth(TextCanvas& c, const std::u16string& text) {
  RECT r{0, 0, 10000, 10000};
  DrawTextW(c.dc, text.c_str(), -1, &r, DT_CALCRECT | DT_NOCLIP);
  return r.right;
}

// ---- faces and sizes ----

TEST(TextFaces, DefaultFaceIsIpaGothic) {
  std::string file = host::defaultFaceFile();
  ASSERT_FALSE(file.empty());
  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face face;
  ASSERT_EQ(FT_New_Face(lib, file.c_str(), 0, &face), 0) << file;
  EXPECT_STREQ(face->family_name, "IPAGothic") << file;
  EXPECT_NE(FT_Get_Char_Index(face, 0x6F22), 0u);  // 漢
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

TEST(TextFaces, PositiveHeightIsTheCellNegativeTheCharacterZeroTheDefault) {
  LOGFONTW lf{};
  host::FontMetrics m;
  lf.lfHeight = 16;
  ASSERT_TRUE(host::measureFont(lf, &m));
  EXPECT_EQ(m.cellHeight, 16);
  EXPECT_GT(m.ascent, 8);
  EXPECT_LE(m.ascent, 16);
  EXPECT_FALSE(m.syntheticBold);
  lf.lfHeight = -16;
  ASSERT_TRUE(host::measureFont(lf, &m));
  EXPECT_GE(m.cellHeight, 16);  // the em is 16: the cell holds it and the descent
  EXPECT_LE(m.cellHeight, 20);
  lf.lfHeight = 0;
  ASSERT_TRUE(host::measureFont(lf, &m));
  EXPECT_EQ(m.cellHeight, host::kDefaultCellHeight);
  for (LONG extreme : {INT_MAX, INT_MIN, 100000}) {
    lf.lfHeight = extreme;
    ASSERT_TRUE(host::measureFont(lf, &m)) << extreme;
    EXPECT_LE(m.cellHeight, host::kMaxFontPixels + host::kMaxFontPixels / 2) << extreme;
  }
}

TEST(TextFaces, HeavyWeightIsEmboldenedAndWider) {
  LOGFONTW lf{};
  lf.lfHeight = 24;
  lf.lfWeight = 1000;
  host::FontMetrics m;
  ASSERT_TRUE(host::measureFont(lf, &m));
  EXPECT_TRUE(m.syntheticBold);
  EXPECT_EQ(m.cellHeight, 24);
  TextCanvas normal(200, 40), bold(200, 40);
  normal.useFont(24);
  bold.useFont(24, 1000);
  normal.draw(u"Hill", 2, 2, 200);
  bold.draw(u"Hill", 2, 2, 200);
  EXPECT_GT(bold.inkedAll(), normal.inkedAll() * 5 / 4);
  // The bold copy keeps the advances, so it lies under the regular text and wraps alike.
  EXPECT_EQ(textWidth(bold, u"Hill 漢字"), textWidth(normal, u"Hill 漢字"));
  int covered = 0, ink = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (normal.at(x, y) == kWhite) continue;
      ++ink;
      covered += bold.at(x, y) != kWhite;
    }
  }
  EXPECT_GE(covered * 100, ink * 95);
  // A weight of 599 is still normal.
  lf.lfWeight = 599;
  ASSERT_TRUE(host::measureFont(lf, &m));
  EXPECT_FALSE(m.syntheticBold);
}

// ---- glyphs ----

TEST(TextGlyphs, KanjiDrawsRealGlyphsNotTheMissingGlyph) {
  // U+10FFFD is in no font: it shows the face's missing glyph.
  {
    std::string file = host::defaultFaceFile();
    FT_Library lib;
    ASSERT_EQ(FT_Init_FreeType(&lib), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(lib, file.c_str(), 0, &face), 0);
    EXPECT_EQ(FT_Get_Char_Index(face, 0x10FFFD), 0u);
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  TextCanvas kanji(40, 40), kana(40, 40), missing(40, 40);
  kanji.useFont(32);
  kana.useFont(32);
  missing.useFont(32);
  kanji.draw(u"漢", 0, 0, 40);
  kana.draw(u"あ", 0, 0, 40);
  missing.draw(u"\U0010FFFD", 0, 0, 40);
  EXPECT_GT(kanji.inkedAll(), 60);
  EXPECT_GT(kana.inkedAll(), 30);
  EXPECT_NE(kanji.surface().pixels, missing.surface().pixels);
  EXPECT_NE(kana.surface().pixels, missing.surface().pixels);
  EXPECT_NE(kanji.surface().pixels, kana.surface().pixels);
}

TEST(TextGlyphs, InkIsTheTextColourAndTransparentLeavesTheRestAlone) {
  TextCanvas c(120, 30, 0xFF102030u);
  c.useFont(20);
  SetTextColor(c.dc, RGB(200, 100, 50));
  c.draw(u"Tessaril", 0, 0, 120);
  int ink = 0;
  for (uint32_t p : c.surface().pixels) {
    ASSERT_TRUE(p == 0xFF102030u || p == 0xFFC86432u) << std::hex << p;  // aliased: ink or untouched
    ink += p == 0xFFC86432u;
  }
  EXPECT_GT(ink, 50);
}

TEST(TextGlyphs, OpaqueModeFillsTheLineBackground) {
  TextCanvas c(120, 30, kBlack);
  c.useFont(20);
  SetBkMode(c.dc, OPAQUE);
  SetTextColor(c.dc, RGB(255, 0, 0));
  c.draw(u"ab", 0, 0, 120);
  int w = textWidth(c, u"ab");
  EXPECT_EQ(c.at(0, 19), kWhite);  // the line box, where no ink falls
  EXPECT_EQ(c.at(w + 2, 5), kBlack);
  EXPECT_EQ(c.at(0, 25), kBlack);
}

TEST(TextGlyphs, CountLimitsTheUnitsDrawn) {
  TextCanvas part(200, 30), three(200, 30), whole(200, 30);
  part.useFont(20);
  three.useFont(20);
  whole.useFont(20);
  part.draw(u"ABCDEF", 0, 0, 200, DT_WORDBREAK | DT_NOCLIP, 3);
  three.draw(u"ABC", 0, 0, 200);
  whole.draw(u"ABCDEF", 0, 0, 200);
  EXPECT_EQ(part.surface().pixels, three.surface().pixels);
  EXPECT_NE(part.surface().pixels, whole.surface().pixels);
  EXPECT_EQ(part.draw(u"ABC", 0, 0, 200, DT_NOCLIP, 0), 0);
}

// ---- line breaking ----

TEST(TextLines, LineBreaksAtCrLfLoneCrAndLoneLf) {
  TextCanvas c(200, 100);
  c.useFont(16);
  EXPECT_EQ(c.draw(u"one\r\ntwo", 0, 0, 200), 32);
  EXPECT_EQ(c.draw(u"one\rtwo", 0, 0, 200), 32);
  EXPECT_EQ(c.draw(u"one\ntwo", 0, 0, 200), 32);
  EXPECT_EQ(c.draw(u"one\r\n\r\ntwo", 0, 0, 200), 48);
  EXPECT_EQ(c.draw(u"one\r\n", 0, 0, 200), 16);  // no empty line after the last break
  EXPECT_EQ(c.draw(u"", 0, 0, 200), 0);
  c.clear();
  c.draw(u"one\r\ntwo", 0, 0, 200, DT_NOCLIP);  // also without word breaking
  TextCanvas two(200, 100);
  two.useFont(16);
  two.draw(u"two", 0, 16, 200);
  EXPECT_EQ(c.rows(16, 32), two.rows(16, 32));
}

TEST(TextLines, WrapsAtASpaceWhenTheNextWordPassesTheRightEdge) {
  TextCanvas c(200, 60), expected(200, 60);
  c.useFont(16);
  expected.useFont(16);
  int ab = textWidth(c, u"ab");
  int abcd = textWidth(c, u"ab cd");
  ASSERT_GT(abcd, ab + 2);
  EXPECT_EQ(c.draw(u"ab cd", 10, 0, 10 + abcd - 1), 32);
  expected.draw(u"ab", 10, 0, 200);
  expected.draw(u"cd", 10, 16, 200);
  EXPECT_EQ(c.surface().pixels, expected.surface().pixels);
  // The whole text fits: one line.
  EXPECT_EQ(c.draw(u"ab cd", 10, 0, 10 + abcd), 16);
  // Without DT_WORDBREAK nothing wraps, and DT_NOCLIP lets it pass the edge.
  c.clear();
  EXPECT_EQ(c.draw(u"ab cd", 10, 0, 10 + ab, DT_NOCLIP), 16);
  EXPECT_GT(c.inked(10 + ab + 2, 0, 200, 16), 0);
}

TEST(TextLines, BreaksBetweenCjkCharactersWithoutSpaces) {
  TextCanvas c(200, 100), expected(200, 100);
  c.useFont(16);
  expected.useFont(16);
  int two = textWidth(c, u"漢字");
  EXPECT_EQ(c.draw(u"漢字漢字", 0, 0, two), 32);
  expected.draw(u"漢字", 0, 0, 200);
  expected.draw(u"漢字", 0, 16, 200);
  EXPECT_EQ(c.surface().pixels, expected.surface().pixels);
  // A Latin word next to kana may break where the kana starts.
  int right = std::max(textWidth(c, u"abc"), textWidth(c, u"かな")) + 2;
  ASSERT_GT(textWidth(c, u"abcか"), right);
  EXPECT_EQ(c.draw(u"abcかな", 0, 0, right), 32);
}

TEST(TextLines, AWordWiderThanTheLineBreaksAtACharacter) {
  TextCanvas c(200, 200);
  c.useFont(16);
  int three = textWidth(c, u"abc");
  EXPECT_EQ(c.draw(u"abcdefgh", 0, 0, three), 48);  // abc / def / gh
  // A line always keeps its first character, even in a box of no width.
  EXPECT_EQ(c.draw(u"abcd", 50, 0, 50), 64);
}

// ---- clipping ----

TEST(TextClip, NoClipRunsBelowTheRectangleOtherwiseClipped) {
  TextCanvas c(100, 100);
  c.useFont(16);
  RECT r{0, 0, 30, 16};
  DrawTextW(c.dc, u"ab cd ef", -1, &r, DT_WORDBREAK | DT_NOCLIP);
  EXPECT_GT(c.inked(0, 16, 100, 100), 0);
  c.clear();
  DrawTextW(c.dc, u"ab cd ef", -1, &r, DT_WORDBREAK);
  EXPECT_EQ(c.inked(0, 16, 100, 100), 0);
  EXPECT_GT(c.inked(0, 0, 30, 16), 0);
  // Text far off the surface draws nothing and does not crash.
  c.clear();
  RECT far{INT_MAX - 5, INT_MAX - 5, INT_MAX, INT_MAX};
  DrawTextW(c.dc, u"ab cd", -1, &far, DT_WORDBREAK | DT_NOCLIP);
  RECT before{INT_MIN, INT_MIN, INT_MIN + 40, 0};
  DrawTextW(c.dc, u"ab cd", -1, &before, DT_WORDBREAK | DT_NOCLIP);
  EXPECT_EQ(c.inkedAll(), 0);
}

TEST(TextClip, BadArgumentsDrawNothing) {
  TextCanvas c(40, 40);
  RECT r{0, 0, 40, 40};
  EXPECT_EQ(DrawTextW(nullptr, u"a", -1, &r, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, u"a", -1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextW(c.dc, u"a", -7, &r, 0), 0);
  EXPECT_EQ(c.inkedAll(), 0);
  // An unpaired surrogate draws as a replacement, not past the text.
  const char16_t lone[] = {u'a', char16_t(0xD800), 0};
  EXPECT_EQ(DrawTextW(c.dc, lone, -1, &r, DT_NOCLIP), host::kDefaultCellHeight);
}

// ---- the cache ----

TEST(TextCache, GlyphsAreRenderedOnceForFontsMadeAndDeletedEveryFrame) {
  TextCanvas c(200, 40);
  auto frame = [&] {
    LOGFONTW lf{};
    lf.lfHeight = 18;
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ previous = SelectObject(c.dc, font);
    c.draw(u"まもなく開演です", 0, 0, 200);
    SelectObject(c.dc, previous);
    DeleteObject(font);
  };
  frame();
  size_t renders = host::fontCacheStats().glyphRenders;
  std::vector<uint32_t> first = c.surface().pixels;
  for (int i = 0; i < 5; ++i) {
    c.clear();
    frame();
  }
  EXPECT_EQ(host::fontCacheStats().glyphRenders, renders);
  EXPECT_EQ(c.surface().pixels, first);
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
    ASSERT_LE(s.glyphBytes, host::kMaxGlyphBytes + 130u * 130u);  // at most one glyph over the budget
  }
  host::clearFontCache();
  host::FontCacheStats s = host::fontCacheStats();
  EXPECT_EQ(s.glyphs, 0u);
  EXPECT_EQ(s.sizedFaces, 0u);
  // Still draws after the cache was emptied.
  c.clear();
  c.useFont(16);
  c.draw(u"漢", 0, 0, 300);
  EXPECT_GT(c.inkedAll(), 20);
}

}  // namespace
