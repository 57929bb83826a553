// The contact sheet (see contact_sheet.h), composed with cairo.
#include "tools/contact_sheet.h"

#include <cairo.h>

#include <cmath>
#include <vector>

namespace {

std::vector<host::Surface> tiles;

}  // namespace

void addSheetTile(const host::Surface& frame) {
  if (tiles.size() >= MAX_SHEET_TILES || frame.width <= 0 || frame.height <= 0) return;
  tiles.push_back(frame);
}

int sheetTileCount() { return int(tiles.size()); }

bool writeContactSheet(const std::string& path) {
  if (tiles.empty()) return false;
  const int gap = 4;
  const int tileWidth = tiles[0].width;
  const int tileHeight = tiles[0].height;
  int columns = int(std::ceil(std::sqrt(double(tiles.size()) * tileHeight / tileWidth)));
  if (columns < 1) columns = 1;
  if (columns > int(tiles.size())) columns = int(tiles.size());
  int rows = (int(tiles.size()) + columns - 1) / columns;
  cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, columns * (tileWidth + gap) + gap,
                                                      rows * (tileHeight + gap) + gap);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  cairo_paint(cr);
  for (size_t i = 0; i < tiles.size(); ++i) {
    host::Surface& tile = tiles[i];
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(tile.pixels.data()), CAIRO_FORMAT_RGB24, tile.width, tile.height,
        tile.width * 4);
    int x = gap + int(i % columns) * (tileWidth + gap);
    int y = gap + int(i / columns) * (tileHeight + gap);
    cairo_set_source_surface(cr, image, x, y);
    cairo_rectangle(cr, x, y, tileWidth, tileHeight);
    cairo_fill(cr);
    cairo_surface_destroy(image);
  }
  cairo_destroy(cr);
  bool ok = cairo_surface_write_to_png(sheet, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(sheet);
  tiles.clear();
  return ok;
}
