// Text: 100 entries of 40 characters at a 16-pixel cell height per frame, in
// Latin and in Japanese, drawn on the 1920x1080 back buffer with the painter's
// calls for a text entry: a font made from the font template, selected, the
// text colour set, DrawTextW with DT_WORDBREAK | DT_NOCLIP, the previous font
// selected back and the new one deleted.
//
// Peer: FreeType without any cache, the same face and cell height, loading and
// rendering every glyph (FT_Load_Char and FT_Render_Glyph, aliased) and copying
// its pixels into a frame of the same size. Floor: a hot memcpy of a 1920x1080
// frame.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

#include "bench/bench_support.h"
#include "platform/host/gdi/font_cache.h"
#include "platform/host/gdi/gdi_objects.h"
#include "render/surfaces.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kEntries = 100;
constexpr int kCharacters = 40;
constexpr int kCellHeight = 16;

// Forty characters each.
const char16_t* const kLatin[] = {
    u"The quick brown fox jumps over a lazy do",
    u"Pack my box with five dozen liquor jugs.",
    u"Sphinx of black quartz, judge my vow now",
    u"How vexingly quick daft zebras jump 1234",
};
const char16_t* const kJapanese[] = {
    u"今日はとても良い天気ですね。明日の朝は早く起きて駅前の喫茶店でコーヒーを飲みます",
    u"東京から大阪まで新幹線で約二時間半かかります。窓の外には富士山が見えました。今日",
    u"夜空に輝く星を眺めながら、静かな公園の古いベンチに座って友達と長い話をしましたね",
    u"春になると桜の花が咲き、多くの人々が川沿いを散歩して写真を撮りに出かけますよね。",
};

size_t length16(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// Draws the entries with the painter's calls for a text entry.
void drawEntries(const char16_t* const* texts) {
  for (int i = 0; i < kEntries; ++i) {
    fontTemplate.lfHeight = kCellHeight;
    fontTemplate.lfWeight = FW_DONTCARE;
    HFONT font = CreateFontIndirectW(&fontTemplate);
    HGDIOBJ previous = SelectObject(backBuffer, font);
    SetTextColor(backBuffer, RGB(40 + i, 200, 255 - i));
    RECT box = {20 + (i % 2) * 940, 20 + (i / 2) * 20, 20 + (i % 2) * 940 + 900, clientRect.bottom};
    DrawTextW(backBuffer, texts[i % 4], -1, &box, DT_WORDBREAK | DT_NOCLIP);
    SelectObject(backBuffer, previous);
    DeleteObject(font);
  }
}

// The same texts with FreeType alone, nothing kept between glyphs.
struct FreeTypeText {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  std::vector<uint32_t> frame;
  int ascent = 0;

  bool open() {
    std::string file = host::defaultFaceFile();
    if (file.empty() || FT_Init_FreeType(&library) != 0) return false;
    if (FT_New_Face(library, file.c_str(), 0, &face) != 0) return false;
    FT_Size_RequestRec request{};
    request.type = FT_SIZE_REQUEST_TYPE_CELL;
    request.height = kCellHeight * 64;
    if (FT_Request_Size(face, &request) != 0) return false;
    ascent = int((face->size->metrics.ascender + 63) >> 6);
    frame.assign(size_t(kWidth) * size_t(kHeight), 0xFF000000u);
    return true;
  }

  ~FreeTypeText() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }

  void draw(const char16_t* const* texts) {
    for (int i = 0; i < kEntries; ++i) {
      const char16_t* text = texts[i % 4];
      uint32_t colour = 0xFF000000u | (uint32_t(40 + i) << 16) | (200u << 8) | uint32_t(255 - i);
      int penX = 20 + (i % 2) * 940;
      int baseline = 20 + (i / 2) * 20 + ascent;
      for (size_t k = 0; text[k] != 0; ++k) {
        if (FT_Load_Char(face, FT_ULong(text[k]), FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) continue;
        FT_GlyphSlot slot = face->glyph;
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) continue;
        const FT_Bitmap& b = slot->bitmap;
        for (unsigned y = 0; y < b.rows; ++y) {
          int row = baseline - slot->bitmap_top + int(y);
          if (row < 0 || row >= kHeight) continue;
          const unsigned char* bits = b.buffer + ptrdiff_t(y) * b.pitch;
          uint32_t* out = frame.data() + size_t(row) * kWidth;
          for (unsigned x = 0; x < b.width; ++x) {
            int column = penX + slot->bitmap_left + int(x);
            if (column >= 0 && column < kWidth && (bits[x >> 3] & (0x80 >> (x & 7)))) out[column] = colour;
          }
        }
        penX += int((slot->advance.x + 32) >> 6);
      }
    }
  }
};

void BM_Text(benchmark::State& state, const char16_t* const* texts) {
  bench::HeadlessWindow host(kWidth, kHeight);
  FreeTypeText peer;
  bool ready = host.window() != nullptr && createSurfaces(host.window()) && peer.open();
  for (int i = 0; ready && i < 4; ++i) ready = length16(texts[i]) == size_t(kCharacters);
  if (ready) {
    // The text must really be drawn: the frame changes.
    const host::Surface* back = host::dcSurface(backBuffer);
    std::vector<uint32_t> before = back->pixels;
    drawEntries(texts);
    ready = back->pixels != before;
  }
  if (!ready) {
    state.SkipWithError("the text scene could not be set up");
  } else {
    std::vector<uint32_t> floorFrom(size_t(kWidth) * size_t(kHeight), 0x11223344u);
    std::vector<uint32_t> floorTo(floorFrom.size(), 0);
    bench::SameRunTimer timer;
    timer.add("ours", [&] { drawEntries(texts); });
    timer.add("freetype", [&] { peer.draw(texts); });
    timer.add("memcpy", [&] { std::memcpy(floorTo.data(), floorFrom.data(), floorFrom.size() * 4); });
    for (auto _ : state) state.SetIterationTime(timer.round());
    timer.reportRatio(state, "vs_freetype", "freetype");
    timer.reportRatio(state, "vs_memcpy", "memcpy");
    benchmark::DoNotOptimize(floorTo.data());
    benchmark::DoNotOptimize(peer.frame.data());
  }
  releaseSurfaces();
}

}  // namespace

BENCHMARK_CAPTURE(BM_Text, latin, kLatin)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Text, japanese, kJapanese)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
