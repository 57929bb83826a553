// Files the tests write and read: whole files as bytes, small BMP images made
// pixel by pixel, scratch directories and the demo show copied into one. Used by
// the fuzz targets too, so it needs nothing of GoogleTest.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test_files {

// A new directory /tmp/prefix-XXXXXX of its own; "" when it cannot be made.
inline std::string scratchDir(const std::string& prefix) {
  std::string path = "/tmp/" + prefix + "-XXXXXX";
  return mkdtemp(path.data()) != nullptr ? path : "";
}

inline std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes bytes to path as they are; false when it cannot.
inline bool writeWhole(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out);
}

// Stores value little-endian in bytes bytes at offset at of out.
inline void putLe(std::string& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

// A bottom-up BMP of 24 or 32 bits a pixel, pixels given top row first as
// 0xAARRGGBB; a single pixel fills the whole image.
inline std::string bmpBytes(int width, int height, const std::vector<uint32_t>& pixels, int bits = 24) {
  int rowBytes = (width * bits / 8 + 3) & ~3;
  std::string out(54 + size_t(rowBytes) * size_t(height), '\0');
  out[0] = 'B', out[1] = 'M';
  putLe(out, 2, uint32_t(out.size()), 4);
  putLe(out, 10, 54, 4);
  putLe(out, 14, 40, 4);
  putLe(out, 18, uint32_t(width), 4);
  putLe(out, 22, uint32_t(height), 4);
  putLe(out, 26, 1, 2);
  putLe(out, 28, uint32_t(bits), 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels.size() == 1 ? pixels[0] : pixels[size_t(y * width + x)];
      putLe(out, 54 + size_t(height - 1 - y) * size_t(rowBytes) + size_t(x * bits / 8), p, bits / 8);
    }
  }
  return out;
}

// Copies every file of the demo show (or any directory) into dir; false when
// they cannot be copied.
inline bool copyDemo(const std::string& demoDir, const std::string& dir) {
  return std::system(("cp -R '" + demoDir + "/.' '" + dir + "'").c_str()) == 0;
}

}  // namespace test_files
