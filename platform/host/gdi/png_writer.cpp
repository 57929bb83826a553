// PNG output of surfaces and DCs, for tessaril-render's frames and for tests:
// the surface's premultiplied ARGB pixels handed to cairo as they are.
#include <cairo.h>

#include "platform/host/gdi/gdi_objects.h"

namespace host {

bool writeSurfacePng(const Surface& surface, const char* path) {
  if (path == nullptr || surface.width <= 0 || surface.height <= 0) return false;
  if (surface.stride != cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, surface.width)) return false;
  if (surface.pixels.size() < size_t(surface.width) * size_t(surface.height)) return false;
  // cairo only reads the pixels to write the file.
  unsigned char* data = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(surface.pixels.data()));
  cairo_surface_t* image =
      cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, surface.width, surface.height, surface.stride);
  bool written = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS &&
                 cairo_surface_write_to_png(image, path) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(image);
  return written;
}

bool writeDcPng(HDC dc, const char* path) {
  const Surface* surface = dcSurface(dc);
  return surface != nullptr && writeSurfacePng(*surface, path);
}

}  // namespace host
