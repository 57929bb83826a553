// Writes the program's icon as PNG files for the desktop's icon theme, from the
// same pixels the tray shows (platform/host/shell/program_icon.cpp): each size
// a whole multiple of the 16-pixel picture, every pixel a square block, so the
// theme's icon is the tray icon itself. A build step, never installed.
//
// usage: tessaril-icon-pngs DIR SIZE... writes DIR/icon-SIZE.png for each SIZE.
#include <sys/stat.h>

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host/shell/program_icon.h"

namespace {

// The icon scaled by a whole factor into DIR/icon-SIZE.png; false on failure.
bool writeIcon(const std::string& dir, int size) {
  int factor = size / host::kProgramIconSide;
  if (factor < 1 || factor * host::kProgramIconSide != size) {
    std::fprintf(stderr, "tessaril-icon-pngs: %d is no multiple of %d\n", size, host::kProgramIconSide);
    return false;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < size; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + y * stride);
    // Alpha is 0 or 0xFF and the clear pixels are 0: straight alpha is
    // already the premultiplied form cairo keeps.
    for (int x = 0; x < size; ++x) row[x] = host::kProgramIconPixels[(y / factor) * host::kProgramIconSide + x / factor];
  }
  cairo_surface_mark_dirty(surface);
  std::string path = dir + "/icon-" + std::to_string(size) + ".png";
  bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!ok) std::fprintf(stderr, "tessaril-icon-pngs: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: tessaril-icon-pngs DIR SIZE...\n", stderr);
    return 2;
  }
  ::mkdir(argv[1], 0755);
  bool ok = true;
  for (int i = 2; i < argc; ++i) ok = writeIcon(argv[1], std::atoi(argv[i])) && ok;
  cairo_debug_reset_static_data();
  return ok ? 0 : 1;
}
