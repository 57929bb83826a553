// What the fuzz targets share: the input copied into the loaders' text buffer,
// and a private scratch directory for inputs that must be files.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/settings_loader.h"
#include "platform/host/common/text_encoding.h"

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
  // The name lives in static storage that no destructor touches, so the exit
  // handler can still read it.
  static char name[] = "/tmp/tessaril-fuzz-XXXXXX";
  static std::string dir = [] {
    if (mkdtemp(name) == nullptr) abort();
    atexit([] {
      char command[64];
      snprintf(command, sizeof command, "rm -rf '%s'", name);
      (void)std::system(command);
    });
    return std::string(name);
  }();
  return dir;
}

// Writes the bytes to the file at path; aborts when it cannot.
inline void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

}  // namespace fuzz
