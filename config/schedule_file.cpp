// The schedule file: the @normal and @suspend lists of settings file names.
//
// Each list is one heap block of count fixed 512-byte entries, grown one entry
// at a time, so entry n lies at n * 512 bytes. An entry is written only into
// storage that holds it: when the block cannot grow, the name is dropped. The
// scan never passes the text's terminating NUL. What the scan meets is noted to
// the diagnostics sink.
// Dependencies: the diagnostics sink, the field readers, the data-file loader (loadDataFile), the C runtime heap.
#include "config/schedule_file.h"

#include <cstdlib>
#include <cstring>

#include "config/diagnostics.h"
#include "config/field_readers.h"
#include "config/settings_loader.h"

ScheduleList normalList;
ScheduleList suspendList;

const char* const scheduleKeywords[SECTION_COUNT] = {"@normal", "@suspend"};

static const WCHAR SCHEDULE_OPEN_FAILED[] = u"スケジュールファイル読込に失敗しました";

void freeScheduleList(ScheduleList* list) {
  free(list->entries);
  list->entries = nullptr;
  list->count = 0;
}

// Appends the name to list, growing its block by one entry; the name is
// dropped when the block cannot grow.
static void appendEntry(ScheduleList* list, const WCHAR* name) {
  size_t size = sizeof(ScheduleEntry) * ((size_t)list->count + 1);
  ScheduleEntry* grown = (ScheduleEntry*)(list->entries == nullptr ? malloc(size) : realloc(list->entries, size));
  if (grown == nullptr) return;  // the old block, if any, is kept unchanged
  list->entries = grown;
  memcpy(grown[list->count], name, sizeof(ScheduleEntry));
  list->count++;
}

// Reads the section that follows a keyword ending at p into list: up to
// MAX_SECTION_ENTRIES names, each read before the section's end is tested.
// Returns the bytes consumed; the section ends before a '@', at the text's end,
// or after its last entry wherever the cursor stands.
static int readSection(const char* p, ScheduleList* list) {
  const char* start = p;
  p += skipBlanksAndLines(p);
  for (int entries = 0; entries < MAX_SECTION_ENTRIES; ++entries) {
    ScheduleEntry name = {0};  // the units after the name's NUL are stored too: zero, not stack bytes
    noteFinding(FINDING_SECTION_ENTRY, p);
    p += readText(p, name);
    appendEntry(list, name);
    p += skipBlanksAndLines(p);
    if (*p == '@' || *p == 0) break;
    if (entries == MAX_SECTION_ENTRIES - 1) noteFinding(FINDING_BLOCK_FULL, p);
  }
  return (int)(p - start);
}

// Steps over the byte at p, with the byte after it when it begins a two-byte
// character; never over the NUL. Returns the bytes stepped over.
static int stepCharacter(const char* p) {
  if ((unsigned char)p[0] >= 0x80 && p[1] != 0) return 2;
  return 1;
}

// The section whose keyword begins the text at p, or -1.
static int findKeyword(const char* p) {
  for (int i = 0; i < SECTION_COUNT; ++i) {
    if (strncmp(p, scheduleKeywords[i], strlen(scheduleKeywords[i])) == 0) return i;
  }
  return -1;
}

int parseScheduleText(void) {
  const char* p = textBuffer;
  while (*p != 0) {
    int section = findKeyword(p);
    if (*p == '#') {
      while (*p != 0 && *p != '\r' && *p != '\n') ++p;
    } else if (*p == '\r' || *p == '\n') {
      ++p;
    } else if (section >= 0) {
      noteFinding(FINDING_SECTION, p, section);
      p += strlen(scheduleKeywords[section]);
      p += readSection(p, section == SECTION_NORMAL ? &normalList : &suspendList);
    } else if (*p == '@') {
      noteFinding(FINDING_UNKNOWN_AT, p);
      ++p;
      if (*p != 0) p += stepCharacter(p);
    } else {
      noteFinding(FINDING_STRAY, p);
      p += stepCharacter(p);
    }
  }
  return 1;
}

// Replaces both lists by what textBuffer holds; always 1.
static int replaceLists(void) {
  freeScheduleList(&normalList);
  freeScheduleList(&suspendList);
  return parseScheduleText();
}

int loadScheduleFile(const WCHAR* name) {
  return loadDataFile(name, DEFAULT_SCHEDULE_NAME, SCHEDULE_OPEN_FAILED, replaceLists);
}
