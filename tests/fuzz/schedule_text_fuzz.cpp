// Fuzzes the schedule parser: any text scanned into the two lists, which are
// freed after each input; every entry must be NUL-terminated within its units.
#include "config/schedule_file.h"
#include "tests/fuzz/fuzz_support.h"

// Aborts when an entry of the list runs past its units without a NUL. (Every
// section of a keyword appends to its list, so a list may hold more entries
// than one section's MAX_SECTION_ENTRIES.)
static void checkEntries(const ScheduleList& list) {
  if (list.count < 0 || (list.count > 0) != (list.entries != nullptr)) abort();
  for (int i = 0; i < list.count; ++i) {
    if (memchr(list.entries[i], 0, sizeof(ScheduleEntry)) == nullptr) abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::loadTextBuffer(data, size);
  parseScheduleText();
  checkEntries(normalList);
  checkEntries(suspendList);
  freeScheduleList(&normalList);
  freeScheduleList(&suspendList);
  return 0;
}
