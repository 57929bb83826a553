// The schedule checks: the keywords and names of a schedule text as the parser
// notes them, and after the load the two lists and the shows they play.
//
// A list whose first name is empty, or that is missing, plays the default
// settings file; a first name that cannot be opened is told of once per list.
// Dependencies: the check state, the schedule file, the data-file lookup.
#pragma once

#include "tools/show_checker/check_state.h"

// FINDING_SECTION: a section keyword (section: its ScheduleSection) at offset.
void onSection(CheckState& c, size_t offset, int section);
// FINDING_SECTION_ENTRY: a name of the current section begins at offset.
void onSectionEntry(CheckState& c, size_t offset);
// After a schedule load: the lists and the shows they play.
void finishSchedule(CheckState& c);
