// Fuzzes the settings parser: any text parsed into freshly allocated, empty
// scene tables, which are released again after each input.
#include "config/settings_directives.h"
#include "engine/scene_tables.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::loadTextBuffer(data, size);
  if (!allocateSceneTables()) abort();
  parseSettingsText();
  releaseSceneTables();
  return 0;
}
