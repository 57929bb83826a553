// What the fuzz targets share: the input copied into the loaders' text buffer,
// and a private scratch directory for inputs that must be files.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/settings_loader.h"
#include "platform/host/common/text_encoding.h"
#include "tests/support/test_files.h"

namespace fuzz {

// Copies the input into textBuffer as a file read would: at most
// TEXT_BUFFER_SIZE - 1 bytes, NUL-terminated right after them.
inline void loadTextBuffer(const uint8_t* data, size_t size) {
  if (size > TEXT_BUFFER_SIZE - 1) size = TEXT_BUFFER_SIZE - 1;
  memcpy(textBuffer, data, size);
  textBuffer[size] = 0;
}

// A scratch directory made once per process and removed at its normal exit.
inline const std::string& scratchDirectory() {
  static const struct Scratch {
    std::string path = test_files::scratchDir("tessaril-fuzz");
    ~Scratch() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } dir;
  if (dir.path.empty()) abort();
  return dir.path;
}

// Writes the bytes to the file at path; aborts when it cannot.
inline void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
  if (!test_files::writeWhole(path, std::string(reinterpret_cast<const char*>(data), size))) abort();
}

}  // namespace fuzz
