// The show that the overlay tests play over real desktops (X11 with a
// compositor, sway through Xwayland): an opaque rectangle at the middle of the
// screen and a translucent green sprite at a quarter of its width and height,
// and the colours a screenshot must show for them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "test_files.h"

namespace overlay_show {

// The rectangle: 100 x 80 pixels with its top left corner at the middle of the screen.
constexpr uint32_t kRectColour = 0xC81E28;  // RGB(200, 30, 40), opaque
// The sprite: 60 x 60 pixels with its top left corner at (width / 4, height / 4),
// an 8 x 8 BMP of this colour drawn at this alpha.
constexpr uint32_t kSpriteColour = 0x00C800;
constexpr int kSpriteAlpha = 128;

inline const char* const kShow =
    "@base\r\n50, 0, -1, -1, -1\r\n@\r\n"
    "@bmp\r\n0, \"sprite.bmp\", 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n"
    "@set\r\n0, s, 1, 0, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 80, 0, 0, 0, 0, 255, 0, 0, "
    "200, 0, 0, 30, 0, 0, 40, 0, 0, 0, -1, 0, 0, 0, 0, 0, \"00000\"\r\n"
    "1, g, 0, 0, 0.25, 0.25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 60, 60, 0, 0, 0, 0, 128, 0, 0, "
    "255, 0, 0, 255, 0, 0, 255, 0, 0, 0, -1, 0, 0, 0, 0, 0, \"00000\"\r\n"
    "@evt\r\n0, 0, 0, 0\r\n0, 0, 1, 0\r\n@\r\n";

// Whether a and b (0xRRGGBB) differ by at most tolerance in each of the three channels.
inline bool nearColour(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  }
  return true;
}

// The written blend of the sprite over a pixel of colour under (0xRRGGBB):
// colour x alpha + under x (255 - alpha), each divided by 255.
inline uint32_t spriteOver(uint32_t under) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32_t s = (kSpriteColour >> shift) & 0xFF, d = (under >> shift) & 0xFF;
    out |= ((s * kSpriteAlpha + d * (255 - kSpriteAlpha) + 127) / 255) << shift;
  }
  return out;
}

// Writes the show as default.txt and normal.txt, its sprite, and a schedule
// that plays it, into dir.
inline void writeShow(const std::string& dir) {
  std::ofstream(dir + "/default.txt", std::ios::binary) << kShow;
  std::ofstream(dir + "/normal.txt", std::ios::binary) << kShow;
  std::ofstream(dir + "/schedule.ini", std::ios::binary)
      << "@normal\r\n\"normal.txt\"\r\n@suspend\r\n\"normal.txt\"\r\n@\r\n";
  test_files::writeWhole(dir + "/sprite.bmp", test_files::bmpBytes(8, 8, {kSpriteColour}));
}

}  // namespace overlay_show
