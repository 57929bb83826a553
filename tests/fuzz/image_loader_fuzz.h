// One fuzz step of an image loader: the input written as a file, loaded, its
// bitmap checked for a sane size and every pixel read, then deleted.
#pragma once

#include "platform/gdi.h"
#include "platform/shell.h"
#include "platform/host/gdi/gdi_objects.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

// Loads the input as the file "image<suffix>" with load; aborts on a bitmap
// whose size the platform would not report.
inline void loadImage(const uint8_t* data, size_t size, const char* suffix, HBITMAP (*load)(LPCWSTR)) {
  std::string path = scratchDirectory() + "/image" + suffix;
  writeBytes(path, data, size);
  std::u16string name = host::utf8ToUtf16(path);
  HBITMAP bitmap = load(reinterpret_cast<LPCWSTR>(name.c_str()));
  if (bitmap != nullptr) {
    BITMAP info;
    memset(&info, 0, sizeof info);
    if (GetObjectW(bitmap, sizeof info, &info) == 0) abort();
    if (info.bmWidth <= 0 || info.bmHeight <= 0) abort();
    // Every pixel is read, so a surface smaller than its stated size shows.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    host::Surface* surface = host::dcSurface(dc);
    if (surface == nullptr || surface->width != info.bmWidth || surface->height != info.bmHeight) abort();
    uint32_t sum = 0;
    for (int y = 0; y < surface->height; ++y) {
      for (int x = 0; x < surface->width; ++x) sum += surface->row(y)[x];
    }
    volatile uint32_t sink = sum;
    (void)sink;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  unlink(path.c_str());
}

}  // namespace fuzz
