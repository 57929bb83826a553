// Saving and restoring the parser's globals around a check (see parser_globals.h).
#include "tools/show_checker/parser_globals.h"

#include "config/diagnostics.h"
#include "config/settings_loader.h"
#include "tools/show_checker/parser_notes.h"

// The sink's note: hands the note to the check state it was set up with.
static void forwardNote(void* context, const ParseNote* note) { takeNote(*static_cast<CheckState*>(context), *note); }

int loadWithSink(CheckState& c, int (*load)(const WCHAR* name), const WCHAR* name) {
  DiagnosticsSink sink = {forwardNote, &c};
  DiagnosticsSink* saved = settingsDiagnostics;
  settingsDiagnostics = &sink;
  int result = load(name);
  settingsDiagnostics = saved;
  return result;
}

SavedSettingsGlobals saveSettingsGlobals(void) {
  SavedSettingsGlobals saved = {tickInterval, duration, loadErrorText};
  tickInterval = 1000;
  duration = -1;
  return saved;
}

void restoreSettingsGlobals(const SavedSettingsGlobals& saved) {
  tickInterval = saved.tickInterval;
  duration = saved.duration;
  loadErrorText = saved.loadErrorText;
}

SavedScheduleGlobals saveScheduleGlobals(void) {
  SavedScheduleGlobals saved = {normalList, suspendList, loadErrorText};
  normalList = ScheduleList{nullptr, 0};
  suspendList = ScheduleList{nullptr, 0};
  return saved;
}

void restoreScheduleGlobals(const SavedScheduleGlobals& saved) {
  freeScheduleList(&normalList);
  freeScheduleList(&suspendList);
  normalList = saved.normal;
  suspendList = saved.suspend;
  loadErrorText = saved.loadErrorText;
}
