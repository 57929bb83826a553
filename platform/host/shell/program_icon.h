// The program's icon (resource 101) as pixels kept in the source.
#pragma once

#include <cstdint>

namespace host {

constexpr int kProgramIconSide = 16;

// Row by row, 0xAARRGGBB, straight (not premultiplied) alpha that is 0 or 0xFF.
extern const uint32_t kProgramIconPixels[kProgramIconSide * kProgramIconSide];

}  // namespace host
