// The schedule file: which settings file plays on which occasion of resident
// mode. Entries are fixed 256-unit names, entry n at n * 512 bytes of the block.
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

// Reads the schedule file (empty name: "schedule.ini"); 1, or 0 with
// loadErrorText set when it cannot be opened.
int loadScheduleFile(const WCHAR* name);
// Scans textBuffer into the two lists; always 1.
int parseScheduleText(void);
// Frees a list's storage; count 0.
void freeScheduleList(ScheduleList* list);
