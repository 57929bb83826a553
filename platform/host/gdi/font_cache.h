// The host's cache of font faces and rendered glyphs behind DrawTextW.
//
// A LOGFONTW resolves through fontconfig to a font file; the default face (an
// empty face name) is a Japanese-capable sans-serif, IPAGothic where installed.
// Faces are opened once per file and sized once per (file, pixel size, bold);
// glyphs are rendered aliased (one bit of coverage, as the device draws text) and
// kept in one least-recently-used table. Every part is bounded: at most
// kMaxFontFiles open files, kMaxSizedFaces sizes and kMaxCachedGlyphs glyphs or
// kMaxGlyphBytes of coverage, whichever is reached first, so a show that makes
// and deletes fonts of ever new sizes every frame never grows the cache.
// Heights: a positive lfHeight is the cell height in pixels (ascent plus
// descent), a negative one the character (em) height, 0 the default of
// kDefaultCellHeight; at most kMaxFontPixels. lfWeight >= FW_SEMIBOLD is bold,
// emboldened by the host when the face has no bold of its own.
// All functions are thread-safe; a FaceInUse belongs to the thread that made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gdi.h"

namespace host {

constexpr int kDefaultCellHeight = 12;
constexpr int kMaxFontPixels = 1024;
constexpr size_t kMaxFontFiles = 8;
constexpr size_t kMaxSizedFaces = 16;
constexpr size_t kMaxCachedGlyphs = 4096;
constexpr size_t kMaxGlyphBytes = size_t(4) << 20;

struct FontCacheStats {
  size_t fontFiles = 0;   // open font files
  size_t sizedFaces = 0;  // sizes made of them
  size_t glyphs = 0;      // rendered glyphs kept
  size_t glyphBytes = 0;  // bytes of their coverage
  size_t glyphRenders = 0;  // glyphs rendered since the process started (cache misses)
};

FontCacheStats fontCacheStats();

// Drops every face and glyph (the next text opens them again).
void clearFontCache();

// The file of the default face, or empty when fontconfig finds none.
std::string defaultFaceFile();

// The metrics of the font a LOGFONTW gives: line (cell) height and ascent in
// pixels, and whether it is bold by the host's emboldening; false when no face
// can be opened.
struct FontMetrics {
  int cellHeight = 0;
  int ascent = 0;
  bool syntheticBold = false;
};
bool measureFont(const LOGFONTW& font, FontMetrics* metrics);

// One rendered glyph: coverage rows (0 or 255, or grey for grey strikes) with
// their offset from the pen position on the baseline, and the advance.
struct Glyph {
  int left = 0;  // first column right of the pen
  int top = 0;   // first row above the baseline
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;
};

struct SizedFace;

// The face a LOGFONTW gives, held for one piece of text (DrawTextW): the cache
// stays locked while it lives, so its glyphs stay put; text on other threads
// waits for it. valid() is false when no face can be opened.
class FaceInUse {
 public:
  explicit FaceInUse(const LOGFONTW& font);
  FaceInUse(const FaceInUse&) = delete;
  FaceInUse& operator=(const FaceInUse&) = delete;

  bool valid() const { return face_ != nullptr; }
  // The line (cell) height and the ascent, in pixels.
  int cellHeight() const;
  int ascent() const;
  // The face's glyph number for a character (0: its missing-glyph shape).
  uint32_t glyphIndex(char32_t code) const;
  // The glyph, from the cache or rendered now; valid until the next call.
  const Glyph& glyph(uint32_t index);

 private:
  std::unique_lock<std::mutex> guard_;
  SizedFace* face_ = nullptr;
};

}  // namespace host
