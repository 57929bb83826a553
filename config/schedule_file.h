// The schedule file: which settings file plays on which occasion of resident
// mode. Entries are fixed 256-unit names, entry n at n * 512 bytes of the block.
// The keywords that open its sections are a table of the format
// (scheduleKeywords), which the authoring tool reads too.
#pragma once

#include "platform/types.h"

#define SCHEDULE_ENTRY_UNITS 256
#define MAX_SECTION_ENTRIES 255

typedef WCHAR ScheduleEntry[SCHEDULE_ENTRY_UNITS];

struct ScheduleList {
  ScheduleEntry* entries;  // null and count 0 before anything is read
  int count;
};

extern ScheduleList normalList;
extern ScheduleList suspendList;

// The sections of the schedule file: @normal plays on a tray tap or a plain
// second start, @suspend on a resume.
enum ScheduleSection { SECTION_NORMAL = 0, SECTION_SUSPEND, SECTION_COUNT };

// The keyword of each section, '@' included, case-sensitive.
extern const char* const scheduleKeywords[SECTION_COUNT];

// The schedule file a load without a name reads, and resident mode's.
inline const WCHAR DEFAULT_SCHEDULE_NAME[] = u"schedule.ini";

// Reads the schedule file (empty name: DEFAULT_SCHEDULE_NAME); 1, or 0 with
// loadErrorText set when it cannot be opened.
int loadScheduleFile(const WCHAR* name);
// Scans textBuffer into the two lists; always 1.
int parseScheduleText(void);
// Frees a list's storage; count 0.
void freeScheduleList(ScheduleList* list);
