// Helpers of the GDI, image loader and file tests: memory DCs with a bitmap of
// a given colour, direct pixel access, and a scratch directory for the files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/host/gdi/gdi_objects.h"
#include "platform/host/common/text_encoding.h"
#include "tests/support/test_files.h"

namespace gdi_test {

// A memory DC with its own bitmap selected; both freed with it, and after the
// DC the pens, brushes and fonts selected through select.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ initial = nullptr;
  std::vector<HGDIOBJ> made;

  Canvas(int width, int height, uint32_t fill = host::kOpaqueBlack) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateCompatibleBitmap(dc, width, height);
    initial = SelectObject(dc, bitmap);
    surface().reset(width, height, fill);
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bitmap);
    for (HGDIOBJ o : made) DeleteObject(o);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  host::Surface& surface() { return host::lookup<host::Bitmap>(bitmap)->surface; }
  uint32_t& at(int x, int y) { return surface().row(y)[x]; }
  void select(HGDIOBJ o) {
    SelectObject(dc, o);
    made.push_back(o);
  }
};

// A fresh directory under /tmp, removed with all it holds.
struct ScratchDir {
  std::string path;

  ScratchDir() : path(test_files::scratchDir("tessaril-test")) { EXPECT_FALSE(path.empty()); }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The host path of name inside the directory.
  std::string file(const std::string& name) const { return path + "/" + name; }
  // Writes bytes (a string or a byte vector) to name; the host path.
  template <typename Bytes>
  std::string write(const std::string& name, const Bytes& bytes) {
    std::ofstream out(file(name), std::ios::binary);
    EXPECT_TRUE(out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) << name;
    return file(name);
  }
};

// A bitmap's description: type, width, height, bytes a row, planes, bits a pixel.
inline std::vector<long> describe(HGDIOBJ bitmap) {
  BITMAP b{};
  EXPECT_EQ(GetObjectW(bitmap, sizeof b, &b), int(sizeof b));
  return {b.bmType, b.bmWidth, b.bmHeight, b.bmWidthBytes, b.bmPlanes, b.bmBitsPixel};
}

// A font description of the given height and weight, the rest left 0.
inline LOGFONTW logFont(LONG height, LONG weight = 0) {
  LOGFONTW f{};
  f.lfHeight = height;
  f.lfWeight = weight;
  return f;
}

// A host path as the wide device path the loaders take.
inline std::u16string wide(const std::string& path) { return host::utf8ToUtf16(path); }

// The pixel's red and green, and its alpha.
inline int red(uint32_t p) { return int((p >> 16) & 0xFF); }
inline int green(uint32_t p) { return int((p >> 8) & 0xFF); }
inline int alpha(uint32_t p) { return int(p >> 24); }

}  // namespace gdi_test
