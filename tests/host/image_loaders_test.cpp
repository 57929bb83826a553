// The image loaders on files the tests write: BMP of every depth, row order
// and header through SHLoadDIBitmap, PNG, JPEG, GIF and BMP through
// SHLoadImageFile, and the bad, truncated and oversized files both refuse
// (the fuzzers' findings among them) without leaving an object behind.
#include <cairo.h>

#include <cstring>
#include <utility>

#include "platform/shell.h"
#include "tests/host/gdi_test_support.h"

using namespace gdi_test;
using host::Bitmap;

namespace {

// Writes v little-endian into the size bytes from at.
void put(std::vector<uint8_t>& b, size_t at, int size, uint32_t v) {
  for (int i = 0; i < size; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// What a test BMP holds: its size, depth and each file row's pixel bytes
// (padding is added here), the palette (0x00RRGGBB), the masks (after a 40-byte
// header, or inside a V4/V5 one), the compression, header kind and colours used.
struct BmpFile {
  int width, height;  // negative height: top-down
  int bitsPerPixel;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint32_t> palette = {}, masks = {};
  uint32_t compression = 0;
  int headerSize = 40;
  uint32_t coloursUsed = 0;
};

std::vector<uint8_t> encode(const BmpFile& f) {
  bool core = f.headerSize == 12;
  size_t maskBytes = f.headerSize == 40 ? f.masks.size() * 4 : 0;
  size_t entry = core ? 3 : 4;
  size_t offset = 14 + size_t(f.headerSize) + maskBytes + f.palette.size() * entry;
  size_t stride = ((size_t(f.width) * size_t(f.bitsPerPixel) + 31) / 32) * 4;
  std::vector<uint8_t> b(offset + stride * f.rows.size(), 0);
  put(b, 0, 2, 'B' | 'M' << 8);
  put(b, 2, 4, uint32_t(b.size()));
  put(b, 10, 4, uint32_t(offset));
  put(b, 14, 4, uint32_t(f.headerSize));
  int side = core ? 2 : 4;  // the width of the size fields
  put(b, 18, side, uint32_t(f.width));
  put(b, 18 + side, side, uint32_t(f.height));
  put(b, 18 + 2 * side, 2, 1);
  put(b, 20 + 2 * side, 2, uint32_t(f.bitsPerPixel));
  if (!core) {
    put(b, 30, 4, f.compression);
    put(b, 46, 4, f.coloursUsed);
    for (size_t i = 0; i < f.masks.size(); ++i) put(b, 14 + 40 + 4 * i, 4, f.masks[i]);
  }
  size_t palette = 14 + size_t(f.headerSize) + maskBytes;  // entries of blue, green, red (and a spare byte)
  for (size_t i = 0; i < f.palette.size(); ++i) put(b, palette + i * entry, 3, f.palette[i]);
  for (size_t r = 0; r < f.rows.size(); ++r) std::memcpy(&b[offset + r * stride], f.rows[r].data(), f.rows[r].size());
  return b;
}

// A loaded bitmap, deleted with this.
struct Loaded {
  HBITMAP handle = nullptr;
  explicit Loaded(HBITMAP h) : handle(h) {}
  ~Loaded() { DeleteObject(handle); }
  const std::vector<uint32_t>& pixels() const { return host::lookup<Bitmap>(handle)->surface.pixels; }
  bool perPixelAlpha() const { return host::lookup<Bitmap>(handle)->perPixelAlpha; }
};

// Writes bytes as name and loads them with SHLoadDIBitmap, or SHLoadImageFile.
HBITMAP loadDib(ScratchDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  return SHLoadDIBitmap(wide(dir.write(name, bytes)).c_str());
}
HBITMAP loadImage(ScratchDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  return SHLoadImageFile(wide(dir.write(name, bytes)).c_str());
}

// A 3x2 24-bit image: file rows of blue, green, red bytes, and its pixels
// bottom-up (the first file row at the bottom) and top-down.
const std::vector<std::vector<uint8_t>> kRgbRows = {{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00},
                                                    {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90}};
const std::vector<uint32_t> kRgbBottom = {0xFF302010u, 0xFF605040u, 0xFF908070u,
                                          0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
const std::vector<uint32_t> kRgbTop = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                       0xFF302010u, 0xFF605040u, 0xFF908070u};

// Every depth, row order and header kind SHLoadDIBitmap reads: the pixels top
// row first, and whether the bitmap keeps a per-pixel alpha. Each file is
// found through a device path: a backslash, and the name in another case.
TEST(ShLoadDIBitmap, ReadsEveryDepthRowOrderAndHeader) {
  const uint32_t W = 0xFFFFFFFFu, K = 0xFF000000u;
  std::vector<uint32_t> greys, core8(256, 0);
  for (uint32_t i = 0; i < 16; ++i) greys.push_back(i * 0x111111u);
  core8[5] = 0x00FF00;
  const struct {
    const char* what;
    BmpFile file;
    std::vector<uint32_t> pixels;
    bool perPixelAlpha;
  } cases[] = {
      {"24-bit bottom-up: the first file row is the bottom row", BmpFile{3, 2, 24, kRgbRows}, kRgbBottom, false},
      {"24-bit top-down", BmpFile{3, -2, 24, kRgbRows}, kRgbTop, false},
      {"core header", BmpFile{3, 2, 24, kRgbRows, {}, {}, 0, 12}, kRgbBottom, false},
      {"1-bit", BmpFile{10, -2, 1, {{0xA0, 0x40}, {0x00, 0xC0}}, {0x000000, 0xFFFFFF}},  // 1010 0000 01; 0000 0000 11
       {W, K, W, K, K, K, K, K, K, W, K, K, K, K, K, K, K, K, W, W}, false},
      {"4-bit: high nibble first", BmpFile{3, 1, 4, {{0x2F, 0x70}}, greys}, {0xFF222222u, W, 0xFF777777u}, false},
      {"8-bit: an index past the palette reads black",
       BmpFile{3, 2, 8, {{0, 1, 200}, {1, 1, 0}}, {0x123456, 0xABCDEF}, {}, 0, 40, 2},
       {0xFFABCDEFu, 0xFFABCDEFu, 0xFF123456u, 0xFF123456u, 0xFFABCDEFu, K}, false},
      {"8-bit core header", BmpFile{2, 1, 8, {{5, 0}}, core8, {}, 0, 12}, {0xFF00FF00u, K}, false},
      {"16-bit 5-5-5 by default", BmpFile{2, 1, 16, {{0x00, 0x7C, 0xFF, 0x03}}}, {0xFFFF0000u, 0xFF00FFFFu}, false},
      {"16-bit 5-6-5 masks", BmpFile{2, 1, 16, {{0x00, 0xF8, 0x20, 0x00}}, {}, {0xF800, 0x07E0, 0x001F}, 3},
       {0xFFFF0000u, 0xFF000400u}, false},
      // Full red at alpha 128 is cut to the alpha, magenta at alpha 0 is
      // clear, and an already premultiplied pixel is kept as stored.
      {"32-bit alpha, premultiplied",
       BmpFile{4, 1, 32, {{0x00, 0x00, 0xFF, 0x80, 0xFF, 0x00, 0xFF, 0x00, 0x10, 0x20, 0x30, 0xFF, 0x00, 0x00, 0x40, 0x80}}},
       {0x80800000u, 0x00000000u, 0xFF302010u, 0x80400000u}, true},
      {"32-bit with every alpha 0: opaque",
       BmpFile{3, 1, 32, {{0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x10, 0x20, 0x30, 0x00}}},
       {0xFFFF0000u, 0xFFFF00FFu, 0xFF302010u}, false},
      {"32-bit masks in a V5 header: R, G, B, A from the low byte up",
       BmpFile{1, -2, 32, {{0x11, 0x22, 0x33, 0xFF}, {0xFF, 0x00, 0x00, 0x40}}, {},
             {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, 3, 124},
       {0xFF112233u, 0x40400000u}, true},
      {"32-bit masks after an info header",
       BmpFile{1, 1, 32, {{0x01, 0x02, 0x03, 0x00}}, {}, {0x00FF0000, 0x0000FF00, 0x000000FF}, 3}, {0xFF030201u},
       false},
  };
  ScratchDir dir;
  for (const auto& k : cases) {
    dir.write("Image.bmp", encode(k.file));
    Loaded b(SHLoadDIBitmap(wide(dir.path + "\\IMAGE.bmp").c_str()));
    ASSERT_NE(b.handle, nullptr) << k.what;
    long width = k.file.width;
    EXPECT_EQ(describe(b.handle), (std::vector<long>{0, width, std::abs(k.file.height), 4 * width, 1, 32})) << k.what;
    EXPECT_EQ(b.pixels(), k.pixels) << k.what;
    EXPECT_EQ(b.perPixelAlpha(), k.perPixelAlpha) << k.what;
  }
}

TEST(ShLoadDIBitmap, RefusesBadAndTruncatedFiles) {
  ScratchDir dir;
  size_t before = host::liveObjectCount();
  std::vector<uint8_t> good = encode(BmpFile{3, 2, 24, kRgbRows});
  EXPECT_EQ(loadDib(dir, "empty.bmp", {}), nullptr);
  EXPECT_EQ(loadDib(dir, "head.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 30)), nullptr);
  EXPECT_EQ(loadDib(dir, "short.bmp", std::vector<uint8_t>(good.begin(), good.end() - 5)), nullptr);
  // The last row may lack its padding.
  Loaded ok(loadDib(dir, "unpadded.bmp", std::vector<uint8_t>(good.begin(), good.end() - 3)));
  EXPECT_NE(ok.handle, nullptr);
  // One header field of the good file changed.
  const struct {
    size_t at;
    int bytes;
    uint32_t value;
    const char* what;
  } bad[] = {{0, 1, 'X', "magic"}, {30, 4, 1, "RLE compression"}, {28, 2, 7, "depth 7"},
             {14, 4, 41, "header size 41"}, {10, 4, 20, "pixels said to start inside the header"},
             {10, 4, 0xFFFFFFF0u, "pixels far past the end"}, {18, 4, 0, "width 0"},
             {18, 4, 0xFFFFFFFFu, "width -1"}, {18, 4, 16385, "width over the side limit"},
             {22, 4, 0, "height 0"}, {22, 4, 0x80000000u, "height INT_MIN"},
             {22, 4, 16385, "height over the side limit"}, {22, 4, uint32_t(-16385), "top-down height too"}};
  for (const auto& field : bad) {
    std::vector<uint8_t> bytes = good;
    put(bytes, field.at, field.bytes, field.value);
    EXPECT_EQ(loadDib(dir, "bad.bmp", bytes), nullptr) << field.what;
  }
  // Within the side limit but far more pixels than the file holds: refused
  // before allocating.
  put(good, 18, 4, 16384);
  put(good, 22, 4, uint32_t(-16384));
  put(good, 28, 2, 32);
  EXPECT_EQ(loadDib(dir, "claim.bmp", good), nullptr);
  EXPECT_EQ(SHLoadDIBitmap(u"/nonexistent/tessaril/none.bmp"), nullptr);
  EXPECT_EQ(SHLoadDIBitmap(wide(dir.path).c_str()), nullptr);  // a directory
  EXPECT_EQ(SHLoadDIBitmap(nullptr), nullptr);
  EXPECT_EQ(host::liveObjectCount(), before + 1);  // only the unpadded image
}

// A PNG written by cairo from ARGB pixels.
std::vector<uint8_t> pngOf(int width, int height, const std::vector<uint32_t>& pixels) {
  std::vector<uint32_t> copy = pixels;
  cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(copy.data()),
                                                           CAIRO_FORMAT_ARGB32, width, height, width * 4);
  std::vector<uint8_t> out;
  cairo_surface_write_to_png_stream(
      s,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
        bytes->insert(bytes->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &out);
  cairo_surface_destroy(s);
  return out;
}

// A baseline JPEG of one 8x8 grey block written by hand: quantisation all 1,
// one-symbol Huffman tables, and one block whose only coefficient is DC 128,
// which decodes to 128 + 128 / 8 = 144 everywhere.
std::vector<uint8_t> greyJpeg() {
  std::vector<uint8_t> j = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
  j.insert(j.end(), 64, 1);
  const std::vector<uint8_t> rest = {
      0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00,  // 8x8, one component
      0xFF, 0xC4, 0x00, 0x14, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x08,  // DC: "0" = size 8
      0xFF, 0xC4, 0x00, 0x14, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // AC: "0" = end of block
      0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,
      0x40, 0x3F,  // 0 10000000 0, padded with ones
      0xFF, 0xD9};
  j.insert(j.end(), rest.begin(), rest.end());
  return j;
}

// PNG, JPEG, GIF and BMP through SHLoadImageFile: the colours as decoded,
// always opaque (the alpha of PNG and BMP pixels is dropped).
TEST(ShLoadImageFile, ReadsPngJpegGifAndBmpOpaque) {
  const struct {
    const char* name;
    long width;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> pixels;
  } cases[] = {
      // Red at alpha 128 (premultiplied 0x80), then opaque green and blue.
      {"frame.png", 3, pngOf(3, 1, {0x80800000u, 0xFF00FF00u, 0xFF0000FFu}), {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}},
      // 2x1, a two-colour table (red, blue), LZW codes clear, 0, 1, end at 3 bits.
      {"anim.gif", 2,
       {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF,
        0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x44, 0x0A, 0, 0x3B},
       {0xFFFF0000u, 0xFF0000FFu}},
      {"photo.jpg", 8, greyJpeg(), std::vector<uint32_t>(64, 0xFF909090u)},
      {"sun.BMP", 1, encode(BmpFile{1, 1, 32, {{0x00, 0x00, 0xFF, 0x80}}}), {0xFFFF0000u}},
  };
  ScratchDir dir;
  for (const auto& k : cases) {
    Loaded b(loadImage(dir, k.name, k.bytes));
    ASSERT_NE(b.handle, nullptr) << k.name;
    EXPECT_EQ(describe(b.handle)[1], k.width) << k.name;
    EXPECT_EQ(b.pixels(), k.pixels) << k.name;
    EXPECT_FALSE(b.perPixelAlpha()) << k.name;
  }
}

TEST(ShLoadImageFile, RefusesBadAndOversizedFiles) {
  ScratchDir dir;
  size_t before = host::liveObjectCount();
  EXPECT_EQ(loadImage(dir, "empty.png", {}), nullptr);
  EXPECT_EQ(loadImage(dir, "text.png", {'h', 'e', 'l', 'l', 'o'}), nullptr);
  std::vector<uint8_t> png = pngOf(4, 4, std::vector<uint32_t>(16, 0xFF336699u)), jpeg = greyJpeg();
  EXPECT_EQ(loadImage(dir, "cut.png", std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2)), nullptr);
  EXPECT_EQ(loadImage(dir, "cut.jpg", std::vector<uint8_t>(jpeg.begin(), jpeg.end() - 20)), nullptr);
  // The header of a 20000-pixel-wide PNG (its width sits at bytes 16..19, big-endian).
  std::vector<uint8_t> wide = png;
  wide[18] = 0x4E;
  wide[19] = 0x20;
  EXPECT_EQ(loadImage(dir, "wide.png", wide), nullptr);
  // A chunk that claims 2 GiB in a file of a few bytes: refused before the
  // decoder would reserve room for what it claims.
  std::vector<uint8_t> claim = png;
  size_t idat = std::string(claim.begin(), claim.end()).find("IDAT") - 4;  // the chunk's length field
  ASSERT_LT(idat + 8, claim.size());
  claim[idat] = 0x7F;
  claim[idat + 1] = 0xFF;
  EXPECT_EQ(loadImage(dir, "claim.png", claim), nullptr);
  // A JPEG Huffman table whose sixteen counts add up to more than 256 codes
  // (the decoder's code list would overflow): refused before decoding.
  std::vector<uint8_t> table = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x00};
  for (int i = 0; i < 16; ++i) table.push_back(0x20);  // 16 x 32 = 512 codes
  EXPECT_EQ(loadImage(dir, "table.jpg", table), nullptr);
  table.resize(table.size() - 4);  // the same table cut short by the file's end
  EXPECT_EQ(loadImage(dir, "cut-table.jpg", table), nullptr);
  EXPECT_EQ(SHLoadImageFile(u"/nonexistent/tessaril/none.png"), nullptr);
  EXPECT_EQ(SHLoadImageFile(nullptr), nullptr);
  EXPECT_EQ(host::liveObjectCount(), before);
}

}  // namespace
