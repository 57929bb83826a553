// A contact sheet: chosen frames of a show side by side in one PNG picture.
#pragma once

#include <string>

#include "platform/host/gdi/gdi_objects.h"

// Keeps a copy of the frame as the next tile (at most MAX_SHEET_TILES).
void addSheetTile(const host::Surface& frame);
// Writes the tiles in a grid, a thin gap between them; false on failure or
// when there is no tile.
bool writeContactSheet(const std::string& path);
// How many tiles are kept.
int sheetTileCount();

#define MAX_SHEET_TILES 120
