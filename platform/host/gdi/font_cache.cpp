// The cache of faces and glyphs behind DrawTextW (see font_cache.h): fontconfig
// finds the file, FreeType opens, sizes and renders it.
//
// Invariant: every table stays within its bound (font_cache.h), dropping its
// least recently used entry to make room; a glyph is keyed by its sized
// face's serial and glyph number and goes with that size, and a size goes with
// its file, so nothing cached outlives what it was made from. The tables are
// touched only under the cache's lock.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/host/common/text_encoding.h"
#include "platform/host/gdi/font_cache.h"

namespace host {

// One open font file.
struct FontFile {
  std::string path;
  int index = 0;
  FT_Face face = nullptr;
  bool hasBold = false;
  uint64_t lastUse = 0;
};

// One size of an open font file, bold or not.
struct SizedFace {
  FontFile* file = nullptr;
  FT_Size size = nullptr;
  int heightKey = 0;  // >0 cell height, <0 character height, in pixels
  bool bold = false;
  bool syntheticBold = false;
  FT_Pos emboldenStrength = 0;  // 26.6 pixels added to a glyph's width, half on each side
  int cellHeight = 0;
  int ascent = 0;
  uint32_t serial = 0;
  uint64_t lastUse = 0;
};

namespace {

constexpr size_t kMaxResolvedNames = 32;

struct ResolvedFace {
  std::string path;
  int index = 0;
};

struct FontCache {
  std::mutex lock;
  FT_Library library = nullptr;
  bool libraryFailed = false;
  bool fontconfigReady = false;
  std::vector<std::unique_ptr<FontFile>> files;
  std::vector<std::unique_ptr<SizedFace>> sizes;
  std::list<std::pair<uint64_t, Glyph>> glyphs;  // most recently used first
  std::unordered_map<uint64_t, std::list<std::pair<uint64_t, Glyph>>::iterator> glyphIndex;
  size_t glyphBytes = 0;
  size_t glyphRenders = 0;
  std::unordered_map<std::string, ResolvedFace> resolved;  // face name (UTF-8) + weight -> file
  uint64_t clock = 0;
  uint32_t nextSerial = 1;
};

FontCache& cache() {
  static FontCache* instance = new FontCache;  // never destroyed: text may be drawn until exit
  return *instance;
}

// The FreeType library, made on first use; null when it cannot be made.
FT_Library library(FontCache& c) {
  if (c.library == nullptr && !c.libraryFailed) {
    if (FT_Init_FreeType(&c.library) != 0) {
      c.library = nullptr;
      c.libraryFailed = true;
    }
  }
  return c.library;
}

// True when the text of a fontconfig match is usable: a file FreeType can read
// that covers, for the default face, a kanji.
bool matchFile(FcPattern* match, bool needKanji, ResolvedFace* out) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return false;
  if (needKanji) {
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(match, FC_CHARSET, 0, &charset) != FcResultMatch ||
        !FcCharSetHasChar(charset, 0x6F22)) {
      return false;
    }
  }
  int index = 0;
  if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  out->path = reinterpret_cast<const char*>(file);
  out->index = index;
  return true;
}

// Asks fontconfig for the best match of the families (in order of preference),
// Japanese, at the weight; true with the file when one was found.
bool matchFamilies(const std::vector<std::string>& families, bool bold, bool needKanji, ResolvedFace* out) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  for (const std::string& family : families) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  bool found = match != nullptr && matchFile(match, needKanji, out);
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return found;
}

// The font file for a face name (UTF-8, empty for the default face) at a
// weight, remembered per name; false when fontconfig has nothing.
bool resolveFace(FontCache& c, const std::string& name, bool bold, ResolvedFace* out) {
  std::string key = name + (bold ? '\x02' : '\x01');
  auto found = c.resolved.find(key);
  if (found != c.resolved.end()) {
    *out = found->second;
    return true;
  }
  if (!c.fontconfigReady) {
    if (!FcInit()) return false;
    c.fontconfigReady = true;
  }
  bool ok = false;
  if (!name.empty()) ok = matchFamilies({name}, bold, false, out);
  if (!ok) ok = matchFamilies({"IPAGothic", "sans-serif"}, bold, true, out);
  if (!ok) ok = matchFamilies({"sans-serif"}, bold, true, out);
  if (!ok) ok = matchFamilies({"sans-serif"}, bold, false, out);
  if (!ok) return false;
  if (c.resolved.size() >= kMaxResolvedNames) c.resolved.clear();
  c.resolved[key] = *out;
  return true;
}

// The position of the least recently used entry of a non-empty table.
template <typename Entry>
size_t leastRecentlyUsed(const std::vector<std::unique_ptr<Entry>>& table) {
  size_t oldest = 0;
  for (size_t i = 1; i < table.size(); ++i) {
    if (table[i]->lastUse < table[oldest]->lastUse) oldest = i;
  }
  return oldest;
}

// Removes every cached glyph of the sized face with the serial.
void dropGlyphsOf(FontCache& c, uint32_t serial) {
  for (auto it = c.glyphs.begin(); it != c.glyphs.end();) {
    if (uint32_t(it->first >> 32) == serial) {
      c.glyphBytes -= it->second.coverage.size();
      c.glyphIndex.erase(it->first);
      it = c.glyphs.erase(it);
    } else {
      ++it;
    }
  }
}

// Frees the sized face at position i of the size table, with its glyphs.
void dropSize(FontCache& c, size_t i) {
  SizedFace* s = c.sizes[i].get();
  dropGlyphsOf(c, s->serial);
  if (s->size != nullptr) FT_Done_Size(s->size);
  c.sizes.erase(c.sizes.begin() + ptrdiff_t(i));
}

// Frees the font file at position i of the file table, with its sizes.
void dropFile(FontCache& c, size_t i) {
  FontFile* f = c.files[i].get();
  for (size_t s = c.sizes.size(); s-- > 0;) {
    if (c.sizes[s]->file == f) dropSize(c, s);
  }
  FT_Done_Face(f->face);
  c.files.erase(c.files.begin() + ptrdiff_t(i));
}

// The open font file for the resolved face, opening it (and closing the least
// recently used one when the table is full); null when it cannot be read.
FontFile* openFile(FontCache& c, const ResolvedFace& r) {
  for (auto& f : c.files) {
    if (f->path == r.path && f->index == r.index) {
      f->lastUse = ++c.clock;
      return f.get();
    }
  }
  FT_Library lib = library(c);
  if (lib == nullptr) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, r.path.c_str(), r.index, &face) != 0) return nullptr;
  if (c.files.size() >= kMaxFontFiles) dropFile(c, leastRecentlyUsed(c.files));
  auto file = std::make_unique<FontFile>();
  file->path = r.path;
  file->index = r.index;
  file->face = face;
  file->hasBold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  file->lastUse = ++c.clock;
  c.files.push_back(std::move(file));
  return c.files.back().get();
}

// The height key of a LOGFONTW: >0 cell height, <0 character height, bounded.
int heightKey(LONG lfHeight) {
  if (lfHeight == 0) return kDefaultCellHeight;
  if (lfHeight > 0) return std::min<LONG>(lfHeight, kMaxFontPixels);
  return lfHeight < -kMaxFontPixels ? -kMaxFontPixels : lfHeight;
}

// Makes the FreeType size of sized face s and fills its metrics; false when
// FreeType refuses the size.
bool setUpSize(SizedFace& s) {
  FT_Face face = s.file->face;
  if (FT_New_Size(face, &s.size) != 0) {
    s.size = nullptr;
    return false;
  }
  FT_Activate_Size(s.size);
  int pixels = s.heightKey > 0 ? s.heightKey : -s.heightKey;
  FT_Error error;
  if (FT_IS_SCALABLE(face)) {
    FT_Size_RequestRec request{};
    request.type = s.heightKey > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
    request.height = FT_Long(pixels) * 64;
    error = FT_Request_Size(face, &request);
  } else {
    error = face->num_fixed_sizes > 0 ? FT_Select_Size(face, 0) : 1;
  }
  if (error != 0) return false;
  const FT_Size_Metrics& m = s.size->metrics;
  int ascent = int((m.ascender + 63) >> 6);
  int descent = int((-m.descender + 63) >> 6);
  if (s.heightKey > 0) {
    s.cellHeight = pixels;
    s.ascent = std::clamp(ascent, 0, pixels);
  } else {
    s.ascent = std::max(ascent, 0);
    s.cellHeight = std::max(s.ascent + std::max(descent, 0), 1);
  }
  s.syntheticBold = s.bold && !s.file->hasBold;
  // As much as the platform's simulated bold adds: a pixel, or a 24th of the em.
  FT_Pos strength = ((FT_Pos(m.y_ppem) * 64) / 24 + 32) & ~FT_Pos(63);
  s.emboldenStrength = std::max<FT_Pos>(strength, 64);
  return true;
}

// The sized face for a LOGFONTW, made on first use (dropping the least recently
// used size when the table is full); null when no face can be opened.
SizedFace* acquireFace(FontCache& c, const LOGFONTW& font) {
  size_t nameLength = 0;
  while (nameLength < LF_FACESIZE && font.lfFaceName[nameLength] != 0) ++nameLength;
  std::string name = utf16ToUtf8(font.lfFaceName, nameLength);
  bool bold = font.lfWeight >= FW_SEMIBOLD;
  ResolvedFace resolved;
  if (!resolveFace(c, name, bold, &resolved)) return nullptr;
  FontFile* file = openFile(c, resolved);
  if (file == nullptr) return nullptr;
  int key = heightKey(font.lfHeight);
  for (auto& s : c.sizes) {
    if (s->file == file && s->heightKey == key && s->bold == bold) {
      s->lastUse = ++c.clock;
      return s.get();
    }
  }
  if (c.sizes.size() >= kMaxSizedFaces) dropSize(c, leastRecentlyUsed(c.sizes));
  auto sized = std::make_unique<SizedFace>();
  sized->file = file;
  sized->heightKey = key;
  sized->bold = bold;
  sized->serial = c.nextSerial++;
  sized->lastUse = ++c.clock;
  if (!setUpSize(*sized)) {
    if (sized->size != nullptr) FT_Done_Size(sized->size);
    return nullptr;
  }
  c.sizes.push_back(std::move(sized));
  return c.sizes.back().get();
}

// Copies FreeType's rendered bitmap into g's coverage (one byte a pixel).
void copyCoverage(const FT_Bitmap& bitmap, Glyph& g) {
  g.width = int(bitmap.width);
  g.rows = int(bitmap.rows);
  g.coverage.assign(size_t(g.width) * size_t(g.rows), 0);
  for (int y = 0; y < g.rows; ++y) {
    const unsigned char* src = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
    uint8_t* dst = g.coverage.data() + size_t(y) * size_t(g.width);
    for (int x = 0; x < g.width; ++x) {
      switch (bitmap.pixel_mode) {
        case FT_PIXEL_MODE_MONO:
          dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          break;
        case FT_PIXEL_MODE_GRAY:
          dst[x] = bitmap.num_grays == 256 ? src[x] : uint8_t(src[x] * 255 / std::max(1, bitmap.num_grays - 1));
          break;
        case FT_PIXEL_MODE_BGRA:
          dst[x] = src[x * 4 + 3];
          break;
        default:
          dst[x] = 0;
          break;
      }
    }
  }
}

// Widens g's coverage by extra columns, each pixel also covering the ones to
// its right: the platform's overstruck bold for glyphs that come as bitmaps.
void overstrike(Glyph& g, int extra) {
  if (g.width == 0 || extra <= 0) return;
  int width = g.width + extra;
  std::vector<uint8_t> wide(size_t(width) * size_t(g.rows), 0);
  for (int y = 0; y < g.rows; ++y) {
    for (int x = 0; x < g.width; ++x) {
      uint8_t v = g.coverage[size_t(y) * size_t(g.width) + size_t(x)];
      for (int k = 0; k <= extra; ++k) {
        uint8_t& d = wide[size_t(y) * size_t(width) + size_t(x + k)];
        d = std::max(d, v);
      }
    }
  }
  g.coverage.swap(wide);
  g.width = width;
}

// Renders glyph number glyphIndex of sized face s, aliased, emboldened when the
// face has no bold of its own: grown equally on both sides with the regular
// advance kept, so a bold copy wraps like the regular text and lies under it
// glyph for glyph. A glyph FreeType cannot load is empty.
Glyph renderGlyph(FontCache& c, SizedFace& s, FT_UInt glyphIndex) {
  Glyph g;
  ++c.glyphRenders;
  FT_Face face = s.file->face;
  FT_Activate_Size(s.size);
  if (FT_Load_Glyph(face, glyphIndex, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return g;
  FT_GlyphSlot slot = face->glyph;
  bool outline = slot->format == FT_GLYPH_FORMAT_OUTLINE;
  if (s.syntheticBold && outline) FT_Outline_Embolden(&slot->outline, s.emboldenStrength);
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return g;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  copyCoverage(slot->bitmap, g);
  if (s.syntheticBold && !outline) {
    int extra = int(s.emboldenStrength >> 6);
    g.left -= extra / 2;
    overstrike(g, extra);
  }
  g.advance = int((slot->advance.x + 32) >> 6);
  return g;
}

// The cached glyph (rendering it on a miss and dropping the least recently
// used glyphs beyond the bounds); valid until the next call.
const Glyph& glyphFor(FontCache& c, SizedFace& s, FT_UInt glyphIndex) {
  uint64_t key = (uint64_t(s.serial) << 32) | glyphIndex;
  auto found = c.glyphIndex.find(key);
  if (found != c.glyphIndex.end()) {
    c.glyphs.splice(c.glyphs.begin(), c.glyphs, found->second);
    return found->second->second;
  }
  c.glyphs.emplace_front(key, renderGlyph(c, s, glyphIndex));
  c.glyphIndex[key] = c.glyphs.begin();
  c.glyphBytes += c.glyphs.front().second.coverage.size();
  while (c.glyphs.size() > 1 && (c.glyphs.size() > kMaxCachedGlyphs || c.glyphBytes > kMaxGlyphBytes)) {
    c.glyphBytes -= c.glyphs.back().second.coverage.size();
    c.glyphIndex.erase(c.glyphs.back().first);
    c.glyphs.pop_back();
  }
  return c.glyphs.front().second;
}

}  // namespace

FontCacheStats fontCacheStats() {
  FontCache& c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  FontCacheStats stats;
  stats.fontFiles = c.files.size();
  stats.sizedFaces = c.sizes.size();
  stats.glyphs = c.glyphs.size();
  stats.glyphBytes = c.glyphBytes;
  stats.glyphRenders = c.glyphRenders;
  return stats;
}

void clearFontCache() {
  FontCache& c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  while (!c.files.empty()) dropFile(c, c.files.size() - 1);
  c.resolved.clear();
}

std::string defaultFaceFile() {
  FontCache& c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  ResolvedFace resolved;
  if (!resolveFace(c, std::string(), false, &resolved)) return std::string();
  return resolved.path;
}

bool measureFont(const LOGFONTW& font, FontMetrics* metrics) {
  FontCache& c = cache();
  std::lock_guard<std::mutex> guard(c.lock);
  SizedFace* s = acquireFace(c, font);
  if (s == nullptr || metrics == nullptr) return false;
  metrics->cellHeight = s->cellHeight;
  metrics->ascent = s->ascent;
  metrics->syntheticBold = s->syntheticBold;
  return true;
}

FaceInUse::FaceInUse(const LOGFONTW& font) : guard_(cache().lock), face_(acquireFace(cache(), font)) {}

int FaceInUse::cellHeight() const { return face_->cellHeight; }

int FaceInUse::ascent() const { return face_->ascent; }

uint32_t FaceInUse::glyphIndex(char32_t code) const { return FT_Get_Char_Index(face_->file->face, FT_ULong(code)); }

const Glyph& FaceInUse::glyph(uint32_t index) { return glyphFor(cache(), *face_, index); }

}  // namespace host
