// Fuzzes the command line: any sequence of UTF-16 units (the input's bytes in
// pairs) read for "-f NAME" and "-s"; the names taken must stay NUL-terminated.
#include <vector>

#include "app/command_line.h"
#include "app/shell_state.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<WCHAR> line(size / 2 + 1, 0);
  memcpy(line.data(), data, size / 2 * 2);
  resident = 0;
  settingsFileName[0] = scheduleFileName[0] = 0;
  parseCommandLine(line.data());
  if (std::char_traits<WCHAR>::find(settingsFileName, SETTINGS_NAME_UNITS, 0) == nullptr) abort();
  if (std::char_traits<WCHAR>::find(scheduleFileName, SETTINGS_NAME_UNITS, 0) == nullptr) abort();
  if (resident != 0 && resident != 1) abort();
  return 0;
}
