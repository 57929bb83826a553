// Saving and restoring the parser's globals around a check, so that checking a
// show leaves the process as it found it: the diagnostics sink, the load-error
// slot, the base settings and the schedule lists.
//
// A check of a settings file runs on a fresh start's base settings (1000 ms,
// no limit), as the player's first show would; a check of a schedule file on
// empty lists. Dependencies: config (the loaders' globals), the check state.
#pragma once

#include "config/schedule_file.h"
#include "platform/types.h"
#include "tools/show_checker/check_state.h"

// Runs load(name) with the diagnostics sink set to take its notes into c, then
// sets the sink back as it was; returns load's result.
int loadWithSink(CheckState& c, int (*load)(const WCHAR* name), const WCHAR* name);

// What a settings check changes: the base settings and the load-error slot.
struct SavedSettingsGlobals {
  int tickInterval;
  int duration;
  const WCHAR* loadErrorText;
};

// Saves the settings globals and sets a fresh start's base settings.
SavedSettingsGlobals saveSettingsGlobals(void);
void restoreSettingsGlobals(const SavedSettingsGlobals& saved);

// What a schedule check changes: the two lists and the load-error slot.
struct SavedScheduleGlobals {
  ScheduleList normal;
  ScheduleList suspend;
  const WCHAR* loadErrorText;
};

// Saves the schedule globals and empties the lists.
SavedScheduleGlobals saveScheduleGlobals(void);
// Frees the lists the check loaded and puts the saved ones back.
void restoreScheduleGlobals(const SavedScheduleGlobals& saved);
