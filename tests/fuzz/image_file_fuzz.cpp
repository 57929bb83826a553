// Fuzzes the other image loader (SHLoadImageFile: PNG, JPEG, GIF and BMP) with
// any file.
#include "tests/fuzz/image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::loadImage(data, size, ".png", SHLoadImageFile);
  return 0;
}
