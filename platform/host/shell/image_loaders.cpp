// The shell's image loaders: SHLoadDIBitmap (BMP files, read here) and
// SHLoadImageFile (PNG, JPEG, GIF and BMP, decoded by stb_image).
//
// SHLoadDIBitmap reads what the platform's DIB loader keeps: the file header
// and a core (12-byte), info (40), V2/V3 (52/56), OS/2 (64, plain pixels only),
// V4 (108) or V5 (124) header; 1, 4 and 8 bits a pixel with a palette, 16 bits
// (5-5-5 unless masks are given), 24 bits, and 32 bits with or without masks;
// rows bottom-up or top-down (negative height), padded to 4 bytes (a last row
// without its padding is accepted). A 32-bit file keeps its alpha byte (the
// alpha mask when one is given, else the byte no colour mask uses) as
// premultiplied per-pixel alpha, except that a file whose alpha bytes are all 0
// is opaque; files of fewer bits are opaque. Palette indexes past the palette
// read as black. Run-length and embedded JPEG/PNG compressions are refused.
//
// Both loaders return NULL for a missing, truncated or undecodable file and for
// images over kMaxBitmapSide pixels on a side, and check a file's size against
// what its header claims before allocating anything for the pixels, so a lying
// header never makes a large allocation or a read past the file's data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/host/gdi/gdi_objects.h"
#include "platform/host/files/host_files.h"
#include "platform/shell.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>

using namespace host;

namespace {

// The largest image file SHLoadImageFile reads into memory.
constexpr uint64_t kMaxImageFileBytes = uint64_t(128) << 20;

// The file header, the largest info header, its trailing masks and a full
// palette: all that precedes the pixels of any BMP this reader accepts.
constexpr size_t kBmpHeadBytes = 14 + 124 + 16 + 256 * 4;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// An open file descriptor, closed when it goes out of scope.
struct OpenFile {
  int fd = -1;
  uint64_t size = 0;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens the regular file at the device path fileName; false when there is none.
bool openDeviceFile(LPCWSTR fileName, OpenFile* file) {
  if (fileName == nullptr) return false;
  std::string path = hostPathFromDevice(fileName);
  if (path.empty()) return false;
  file->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file->fd < 0) return false;
  struct stat st;
  if (::fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  file->size = uint64_t(st.st_size);
  return true;
}

// Reads exactly count bytes at offset; false on an error or the file's end.
bool readAt(const OpenFile& file, void* buffer, size_t count, uint64_t offset) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    ssize_t got = ::pread(file.fd, out, count, off_t(offset));
    if (got <= 0) return false;
    out += got;
    count -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}

uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t read32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// How to take one 8-bit channel out of a pixel value with a bit mask.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

// The channel of mask (0: a channel that always reads 0).
Channel channelOf(uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (mask == 0) return c;
  c.shift = __builtin_ctz(mask);
  c.bits = 32 - __builtin_clz(mask >> c.shift);
  return c;
}

// The channel's value in the pixel value v, scaled to 0..255.
uint32_t extract(const Channel& c, uint32_t v) {
  if (c.bits == 0) return 0;
  uint32_t value = (v & c.mask) >> c.shift;
  if (c.bits >= 8) return value >> (c.bits - 8);
  uint32_t top = (1u << c.bits) - 1;
  return (value * 255 + top / 2) / top;
}

// What a BMP's headers say about its pixels.
struct BmpLayout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bitsPerPixel = 0;
  bool plain32 = false;  // 32 bits in B, G, R, A byte order
  Channel red, green, blue, alpha;
  int paletteCount = 0;
  uint32_t palette[256] = {};  // opaque surface pixels
  uint64_t dataOffset = 0;
  uint64_t rowStride = 0;  // bytes per row in the file, padding included
  size_t rowBytes = 0;     // bytes of a row that hold pixels
};

// Reads the headers in head (the file's first headSize bytes of fileSize) into
// layout; false for anything this reader does not accept or a file too short
// for the pixels its header claims.
bool parseBmpHeaders(const uint8_t* head, size_t headSize, uint64_t fileSize, BmpLayout* layout) {
  if (headSize < 18 || head[0] != 'B' || head[1] != 'M') return false;
  uint64_t dataOffset = read32(head + 10);
  uint32_t infoSize = read32(head + 14);
  const uint8_t* info = head + 14;
  bool core = infoSize == 12;
  if (!core && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 64 && infoSize != 108 &&
      infoSize != 124) {
    return false;
  }
  if (headSize < 14 + size_t(infoSize)) return false;
  int64_t width, height;
  uint32_t compression = kBiRgb, coloursUsed = 0;
  int bpp;
  if (core) {
    width = read16(info + 4);
    height = read16(info + 6);
    bpp = read16(info + 10);
  } else {
    width = int32_t(read32(info + 4));
    height = int32_t(read32(info + 8));
    bpp = read16(info + 14);
    compression = read32(info + 16);
    coloursUsed = read32(info + 32);
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (!bitmapSizeFits(width, height)) return false;
  bool paletted = bpp == 1 || bpp == 4 || bpp == 8;
  if (!paletted && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (core && (bpp == 16 || bpp == 32)) return false;

  bool masked = compression == kBiBitfields || compression == kBiAlphaBitfields;
  if (compression != kBiRgb && !masked) return false;
  if (masked && ((bpp != 16 && bpp != 32) || infoSize == 64)) return false;
  size_t maskBytes = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  bool alphaGiven = false;
  if (masked) {
    const uint8_t* m = info + 40;
    if (infoSize == 40) {
      maskBytes = compression == kBiAlphaBitfields ? 16 : 12;
      if (headSize < 14 + 40 + maskBytes) return false;
    }
    masks[0] = read32(m);
    masks[1] = read32(m + 4);
    masks[2] = read32(m + 8);
    alphaGiven = infoSize >= 56 || compression == kBiAlphaBitfields;
    if (alphaGiven) masks[3] = read32(m + 12);
  } else if (bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bpp == 32) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  if (bpp == 32 && masks[3] == 0 && ((masks[0] | masks[1] | masks[2]) & 0xFF000000u) == 0) {
    masks[3] = 0xFF000000u;  // the byte no colour uses is the alpha byte
  }
  if (bpp == 16) masks[3] = 0;  // 16-bit files are opaque

  layout->width = int(width);
  layout->height = int(height);
  layout->topDown = topDown;
  layout->bitsPerPixel = bpp;
  layout->red = channelOf(masks[0]);
  layout->green = channelOf(masks[1]);
  layout->blue = channelOf(masks[2]);
  layout->alpha = channelOf(masks[3]);
  layout->plain32 = bpp == 32 && masks[0] == 0x00FF0000u && masks[1] == 0x0000FF00u && masks[2] == 0x000000FFu &&
                    masks[3] == 0xFF000000u;

  uint64_t paletteStart = 14 + uint64_t(infoSize) + maskBytes;
  if (dataOffset < paletteStart) return false;
  if (paletted) {
    size_t entryBytes = core ? 3 : 4;
    uint64_t count = uint64_t(1) << bpp;
    if (!core && coloursUsed != 0) count = std::min<uint64_t>(count, coloursUsed);
    // The palette ends where the pixels begin and at the end of what was read.
    count = std::min<uint64_t>(count, (dataOffset - paletteStart) / entryBytes);
    count = std::min<uint64_t>(count, (headSize - std::min<uint64_t>(headSize, paletteStart)) / entryBytes);
    layout->paletteCount = int(count);
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* e = head + paletteStart + i * entryBytes;
      layout->palette[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
    }
  }

  layout->dataOffset = dataOffset;
  layout->rowStride = ((uint64_t(width) * uint64_t(bpp) + 31) / 32) * 4;
  layout->rowBytes = size_t((uint64_t(width) * uint64_t(bpp) + 7) / 8);
  uint64_t needed = layout->rowStride * uint64_t(height - 1) + layout->rowBytes;
  return dataOffset <= fileSize && needed <= fileSize - dataOffset;
}

// The palette entry of index, black past the palette's end.
uint32_t paletteEntry(const BmpLayout& layout, uint32_t index) {
  return index < uint32_t(layout.paletteCount) ? layout.palette[index] : kOpaqueBlack;
}

// Turns one file row into surface pixels; 32-bit rows keep their alpha,
// unpremultiplied, in the top byte.
void decodeRow(const BmpLayout& layout, const uint8_t* in, uint32_t* out) {
  int w = layout.width;
  switch (layout.bitsPerPixel) {
    case 1:
      for (int x = 0; x < w; ++x) out[x] = paletteEntry(layout, (in[x >> 3] >> (7 - (x & 7))) & 1u);
      break;
    case 4:
      for (int x = 0; x < w; ++x) out[x] = paletteEntry(layout, (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu);
      break;
    case 8:
      for (int x = 0; x < w; ++x) out[x] = paletteEntry(layout, in[x]);
      break;
    case 16:
      for (int x = 0; x < w; ++x) {
        uint32_t v = read16(in + 2 * x);
        out[x] = 0xFF000000u | (extract(layout.red, v) << 16) | (extract(layout.green, v) << 8) |
                 extract(layout.blue, v);
      }
      break;
    case 24:
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = in + 3 * x;
        out[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      }
      break;
    case 32:
      if (layout.plain32) {
        for (int x = 0; x < w; ++x) out[x] = read32(in + 4 * x);
      } else {
        for (int x = 0; x < w; ++x) {
          uint32_t v = read32(in + 4 * x);
          out[x] = (extract(layout.alpha, v) << 24) | (extract(layout.red, v) << 16) |
                   (extract(layout.green, v) << 8) | extract(layout.blue, v);
        }
      }
      break;
  }
}

// Settles the alpha of a decoded 32-bit image: all alpha bytes 0 make it
// opaque; otherwise the pixels are the file's premultiplied colours, as the
// platform's blend takes them, with a colour above its alpha cut to the alpha
// (a file that is not premultiplied would otherwise over-brighten what it is
// blended onto). True when a pixel is left translucent.
bool settleAlpha(Surface& s) {
  bool anyAlpha = false;
  for (uint32_t p : s.pixels) anyAlpha |= (p >> 24) != 0;
  if (!anyAlpha) {
    for (uint32_t& p : s.pixels) p |= 0xFF000000u;
    return false;
  }
  bool translucent = false;
  for (uint32_t& p : s.pixels) {
    uint32_t a = p >> 24;
    if (a == 0xFF) continue;
    translucent = true;
    uint32_t r = std::min((p >> 16) & 0xFFu, a);
    uint32_t g = std::min((p >> 8) & 0xFFu, a);
    uint32_t b = std::min(p & 0xFFu, a);
    p = (a << 24) | (r << 16) | (g << 8) | b;
  }
  return translucent;
}

}  // namespace

HBITMAP SHLoadDIBitmap(LPCWSTR fileName) {
  OpenFile file;
  if (!openDeviceFile(fileName, &file)) return nullptr;
  uint8_t head[kBmpHeadBytes];
  size_t headSize = size_t(std::min<uint64_t>(file.size, kBmpHeadBytes));
  if (!readAt(file, head, headSize, 0)) return nullptr;
  BmpLayout layout;
  if (!parseBmpHeaders(head, headSize, file.size, &layout)) return nullptr;
  Bitmap* bitmap = makeBitmap(layout.width, layout.height, kOpaqueBlack);
  if (bitmap == nullptr) return nullptr;
  std::vector<uint8_t> row(layout.rowBytes);
  for (int r = 0; r < layout.height; ++r) {
    if (!readAt(file, row.data(), row.size(), layout.dataOffset + uint64_t(r) * layout.rowStride)) {
      delete bitmap;
      return nullptr;
    }
    int y = layout.topDown ? r : layout.height - 1 - r;
    decodeRow(layout, row.data(), bitmap->surface.row(y));
  }
  if (layout.bitsPerPixel == 32 && layout.alpha.bits != 0) bitmap->perPixelAlpha = settleAlpha(bitmap->surface);
  return static_cast<HBITMAP>(registerObject(bitmap));
}

namespace {

// Whether every chunk of a PNG file lies inside the file. The decoder grows its
// compressed-data buffer by what the chunk headers claim, so a small file whose
// headers claim gigabytes would make it allocate them; such a file is truncated
// and refused here. Files that are no PNG pass.
bool pngChunksFitFile(const std::vector<uint8_t>& bytes) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return true;
  size_t pos = 8;
  while (pos + 12 <= bytes.size()) {
    uint64_t length = (uint64_t(bytes[pos]) << 24) | (uint64_t(bytes[pos + 1]) << 16) |
                      (uint64_t(bytes[pos + 2]) << 8) | uint64_t(bytes[pos + 3]);
    if (length > bytes.size() - pos - 12) return false;
    bool end = std::memcmp(&bytes[pos + 4], "IEND", 4) == 0;
    pos += 12 + size_t(length);
    if (end) return true;
  }
  return false;
}

// Whether every Huffman table of a JPEG file names at most 256 codes. The
// decoder fills a 257-entry list with as many code sizes as a table's sixteen
// counts add up to, so a table claiming more writes past it; such a file is
// corrupt and refused here. Every 0xFF 0xC4 (a table marker) is checked, where
// the decoder may take one as a marker. Files that are no JPEG pass.
bool jpegTablesFit(const std::vector<uint8_t>& bytes) {
  size_t start = 0;
  while (start < bytes.size() && bytes[start] == 0xFF) ++start;
  if (start == 0 || start >= bytes.size() || bytes[start] != 0xD8) return true;
  for (size_t marker = start; marker + 3 < bytes.size(); ++marker) {
    if (bytes[marker] != 0xFF || bytes[marker + 1] != 0xC4) continue;
    size_t pos = marker + 2;
    long left = long((bytes[pos] << 8) | bytes[pos + 1]) - 2;
    pos += 2;
    // Past the file's end the decoder reads zeros: a table cut short still counts.
    while (left > 0 && pos < bytes.size()) {
      int codes = 0;
      for (size_t i = 1; i <= 16 && pos + i < bytes.size(); ++i) codes += bytes[pos + i];
      if (codes > 256) return false;
      pos += 17 + size_t(codes);
      left -= 17 + codes;
    }
  }
  return true;
}

}  // namespace

HBITMAP SHLoadImageFile(LPCWSTR fileName) {
  OpenFile file;
  if (!openDeviceFile(fileName, &file)) return nullptr;
  if (file.size == 0 || file.size > kMaxImageFileBytes) return nullptr;
  std::vector<uint8_t> bytes(file.size);
  if (!readAt(file, bytes.data(), bytes.size(), 0)) return nullptr;
  if (!pngChunksFitFile(bytes) || !jpegTablesFit(bytes)) return nullptr;
  int width = 0, height = 0, channels = 0;
  int length = int(bytes.size());
  if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) return nullptr;
  if (!bitmapSizeFits(width, height)) return nullptr;
  int decodedWidth = 0, decodedHeight = 0;
  stbi_uc* rgba = stbi_load_from_memory(bytes.data(), length, &decodedWidth, &decodedHeight, &channels, 4);
  if (rgba == nullptr) return nullptr;
  Bitmap* bitmap = nullptr;
  if (decodedWidth == width && decodedHeight == height) bitmap = makeBitmap(width, height, kOpaqueBlack);
  if (bitmap != nullptr) {
    // The colours as decoded; the image has no alpha channel.
    const stbi_uc* p = rgba;
    for (uint32_t& out : bitmap->surface.pixels) {
      out = 0xFF000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      p += 4;
    }
  }
  stbi_image_free(rgba);
  return bitmap != nullptr ? static_cast<HBITMAP>(registerObject(bitmap)) : nullptr;
}
