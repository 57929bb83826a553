// Fuzzes the BMP loader (SHLoadDIBitmap) with any file.
#include "tests/fuzz/image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::loadImage(data, size, ".bmp", SHLoadDIBitmap);
  return 0;
}
