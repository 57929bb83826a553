// DrawTextW: the platform's text layout over the host's font cache (font_cache.h).
//
// Text is laid out in lines: a line ends at CR LF (or a lone CR or LF) and,
// with DT_WORDBREAK, where the next character would pass the rectangle's right
// edge: at the last space before it, else at the last place next to a CJK
// character (Hiragana, Katakana, ideographs, fullwidth forms may break on either
// side), else, for a word wider than the whole line, before the character that
// does not fit (a line always keeps its first character). The spaces at a soft
// break are not drawn. Lines are one cell height apart, the first with its
// baseline at the ascent below the rectangle's top; a text that ends with a line
// break has no empty line after it. Glyphs are aliased (FreeType's mono
// rendering), drawn in the DC's text colour; with OPAQUE each line's box is
// first filled with white, with TRANSPARENT the background is left untouched.
// DT_NOCLIP clips only to the surface, otherwise to the rectangle as well.
// A character the face lacks is drawn as the face's missing-glyph shape. Bold
// made by the host keeps the regular advances (see renderGlyph): the show's
// black bold backing lies under its coloured text and wraps the same way.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/host/common/text_encoding.h"
#include "platform/host/gdi/font_cache.h"
#include "platform/host/gdi/gdi_objects.h"

namespace host {
namespace {

// ---- layout ----

// One character of the text being drawn.
struct TextChar {
  char32_t code = 0;
  uint32_t glyph = 0;
  int advance = 0;
  bool space = false;
  bool cjk = false;
  bool control = false;  // CR, LF and the other C0 controls: no glyph
};

// One laid-out line: characters [begin, end) of the text, and its width.
struct TextLine {
  size_t begin = 0;
  size_t end = 0;
  int64_t width = 0;
};

// True for the characters next to which a line may break without a space:
// Hiragana, Katakana, CJK punctuation, ideographs and fullwidth forms.
bool isBreakableCjk(char32_t c) {
  return (c >= 0x2E80 && c <= 0x2FDF) ||    // radicals
         (c >= 0x3000 && c <= 0x30FF) ||    // CJK punctuation, Hiragana, Katakana
         (c >= 0x31F0 && c <= 0x31FF) ||    // Katakana extensions
         (c >= 0x3400 && c <= 0x4DBF) ||    // ideographs extension A
         (c >= 0x4E00 && c <= 0x9FFF) ||    // unified ideographs
         (c >= 0xF900 && c <= 0xFAFF) ||    // compatibility ideographs
         (c >= 0xFF00 && c <= 0xFFEF) ||    // halfwidth and fullwidth forms
         (c >= 0x20000 && c <= 0x3FFFF);    // supplementary ideographs
}

// Decodes count UTF-16 units of text into chars, with each glyph's advance.
void decodeText(FaceInUse& face, const WCHAR* text, size_t count, std::vector<TextChar>& chars) {
  chars.clear();
  for (size_t i = 0; i < count;) {
    TextChar ch;
    ch.code = nextCodePoint(text, count, &i);
    ch.control = ch.code < 0x20 || ch.code == 0x7F;
    ch.space = ch.code == 0x20;
    ch.cjk = isBreakableCjk(ch.code);
    if (!ch.control) {
      ch.glyph = face.glyphIndex(ch.code);
      ch.advance = face.glyph(ch.glyph).advance;
    }
    chars.push_back(ch);
  }
}

// Breaks chars into lines at line breaks and, with wrap, at the width limit.
void breakLines(const std::vector<TextChar>& chars, bool wrap, int64_t limit, std::vector<TextLine>& lines) {
  lines.clear();
  const size_t none = size_t(-1);
  size_t n = chars.size();
  size_t i = 0;
  while (i < n) {
    size_t start = i;
    int64_t width = 0;
    size_t breakEnd = none, breakNext = none;
    TextLine line;
    line.begin = start;
    for (size_t j = start;; ++j) {
      if (j == n) {
        line.end = n;
        i = n;
        break;
      }
      const TextChar& ch = chars[j];
      if (ch.code == '\r' || ch.code == '\n') {
        line.end = j;
        i = j + 1;
        if (ch.code == '\r' && i < n && chars[i].code == '\n') ++i;
        break;
      }
      if (wrap) {
        if (ch.space) {
          if (j == start || !chars[j - 1].space) breakEnd = j;
          breakNext = j + 1;
        } else {
          if (j > start && !chars[j - 1].space && (ch.cjk || chars[j - 1].cjk)) {
            breakEnd = j;
            breakNext = j;
          }
          if (j > start && width + ch.advance > limit) {
            if (breakNext != none) {
              line.end = breakEnd;
              i = breakNext;
            } else {
              line.end = j;
              i = j;
            }
            break;
          }
        }
      }
      width += ch.advance;
    }
    line.width = 0;
    for (size_t k = line.begin; k < line.end; ++k) line.width += chars[k].advance;
    lines.push_back(line);
  }
}

// ---- drawing ----

// The rectangle pixels may be written in: the surface, cut to clip unless noClip.
struct PixelClip {
  int64_t left, top, right, bottom;
};

// Blends coverage (0..255) of the opaque pixel colour onto one premultiplied pixel.
inline uint32_t blendPixel(uint32_t dst, uint32_t colour, uint32_t coverage) {
  if (coverage >= 255) return colour;
  uint32_t inverse = 255 - coverage;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    uint32_t s = (colour >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    uint32_t v = (s * coverage + d * inverse + 127) / 255;
    out |= v << shift;
  }
  return out;
}

// Draws glyph g with its pen position at (penX, baseline) onto surface.
void drawGlyph(Surface& surface, const PixelClip& clip, const Glyph& g, int64_t penX, int64_t baseline,
               uint32_t colour) {
  int64_t x0 = penX + g.left, y0 = baseline - g.top;
  int64_t fromX = std::max<int64_t>(x0, clip.left), toX = std::min<int64_t>(x0 + g.width, clip.right);
  int64_t fromY = std::max<int64_t>(y0, clip.top), toY = std::min<int64_t>(y0 + g.rows, clip.bottom);
  for (int64_t y = fromY; y < toY; ++y) {
    const uint8_t* cov = g.coverage.data() + size_t(y - y0) * size_t(g.width);
    uint32_t* row = surface.row(int(y));
    for (int64_t x = fromX; x < toX; ++x) {
      uint8_t c = cov[x - x0];
      if (c != 0) row[x] = blendPixel(row[x], colour, c);
    }
  }
}

// Fills the box [x0, x1) x [y0, y1), cut to clip, with the pixel colour.
void fillBox(Surface& surface, const PixelClip& clip, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
             uint32_t colour) {
  x0 = std::max(x0, clip.left);
  x1 = std::min(x1, clip.right);
  y0 = std::max(y0, clip.top);
  y1 = std::min(y1, clip.bottom);
  if (x0 >= x1) return;
  for (int64_t y = y0; y < y1; ++y) std::fill(surface.row(int(y)) + x0, surface.row(int(y)) + x1, colour);
}

int saturateToInt(int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace
}  // namespace host

int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format) {
  host::Dc* d = host::lookupDc(dc);
  if (d == nullptr || text == nullptr || rect == nullptr || count < -1) return 0;
  size_t length = count == -1 ? host::wideLength(text) : size_t(count);
  const host::Font* font = host::lookup<host::Font>(d->font);
  LOGFONTW logFont{};
  if (font != nullptr) logFont = font->logFont;

  host::FaceInUse face(logFont);
  if (!face.valid()) return 0;

  thread_local std::vector<host::TextChar> chars;
  thread_local std::vector<host::TextLine> lines;
  host::decodeText(face, text, length, chars);
  int64_t left = rect->left, top = rect->top;
  int64_t limit = int64_t(rect->right) - left;
  host::breakLines(chars, (format & DT_WORDBREAK) != 0, limit, lines);
  int64_t height = int64_t(lines.size()) * face.cellHeight();

  if (format & DT_CALCRECT) {
    int64_t widest = 0;
    for (const host::TextLine& line : lines) widest = std::max(widest, line.width);
    rect->right = host::saturateToInt(left + widest);
    rect->bottom = host::saturateToInt(top + height);
    return host::saturateToInt(height);
  }

  host::Surface* surface = host::dcSurface(dc);
  if (surface == nullptr || surface->width <= 0 || surface->height <= 0) return host::saturateToInt(height);
  host::PixelClip clip{0, 0, surface->width, surface->height};
  if (!(format & DT_NOCLIP)) {
    clip.left = std::max<int64_t>(clip.left, rect->left);
    clip.top = std::max<int64_t>(clip.top, rect->top);
    clip.right = std::min<int64_t>(clip.right, rect->right);
    clip.bottom = std::min<int64_t>(clip.bottom, rect->bottom);
  }
  uint32_t colour = host::pixelFromColour(d->textColour);
  for (size_t n = 0; n < lines.size(); ++n) {
    const host::TextLine& line = lines[n];
    int64_t lineTop = top + int64_t(n) * face.cellHeight();
    if (lineTop >= clip.bottom) break;
    if (lineTop + face.cellHeight() <= clip.top) continue;
    int64_t penX = left;
    if (format & DT_CENTER) penX += (limit - line.width) / 2;
    if (d->bkMode == OPAQUE) {
      host::fillBox(*surface, clip, penX, lineTop, penX + line.width, lineTop + face.cellHeight(), 0xFFFFFFFFu);
    }
    int64_t baseline = lineTop + face.ascent();
    for (size_t k = line.begin; k < line.end && penX < clip.right; ++k) {
      const host::TextChar& ch = chars[k];
      if (!ch.control) {
        host::drawGlyph(*surface, clip, face.glyph(ch.glyph), penX, baseline, colour);
      }
      penX += ch.advance;
    }
  }
  return host::saturateToInt(height);
}
