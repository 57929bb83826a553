// Helpers of the GDI and image loader tests: memory DCs with a bitmap of a
// given colour, direct pixel access, and a scratch directory for image files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/host/gdi/gdi_objects.h"
#include "platform/host/common/text_encoding.h"

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

// A fresh directory under the temporary directory, removed with its files.
struct ScratchDir {
  std::string path;
  std::vector<std::string> files;

  ScratchDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/tessaril-gdi-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~ScratchDir() {
    for (auto it = files.rbegin(); it != files.rend(); ++it) ::remove(it->c_str());
    ::rmdir(path.c_str());
  }
  // Writes bytes to name inside the directory; the host path.
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string full = path + "/" + name;
    std::ofstream out(full, std::ios::binary);
    EXPECT_TRUE(out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) << full;
    files.push_back(full);
    return full;
  }
  // Notes a file that something else wrote, for removal.
  std::string adopt(const std::string& name) {
    files.push_back(path + "/" + name);
    return files.back();
  }
};

// A host path as the wide device path the loaders take.
inline std::u16string wide(const std::string& path) { return host::utf8ToUtf16(path); }

// The pixel's red and green, and its alpha.
inline int red(uint32_t p) { return int((p >> 16) & 0xFF); }
inline int green(uint32_t p) { return int((p >> 8) & 0xFF); }
inline int alpha(uint32_t p) { return int(p >> 24); }

}  // namespace gdi_test
