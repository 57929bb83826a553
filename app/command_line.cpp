// The command-line reader of the process entry (see command_line.h).
//
// The scan never reads past the line's terminating NUL and never writes more
// than SETTINGS_NAME_UNITS units of a name, its NUL included.
// Dependencies: the shell state, the schedule file's default name.
#include "app/command_line.h"

#include "app/shell_state.h"
#include "config/schedule_file.h"

// Copies the name that starts at line[i] up to a blank or the end into
// settingsFileName, keeping at most 255 units; returns the index after it.
static int takeFileName(const WCHAR* line, int i) {
  int length = 0;
  while (line[i] != 0 && line[i] != u' ') {
    if (length < SETTINGS_NAME_UNITS - 1) settingsFileName[length++] = line[i];
    ++i;
  }
  settingsFileName[length] = 0;
  return i;
}

void parseCommandLine(const WCHAR* commandLine) {
  if (commandLine == nullptr) return;
  const WCHAR* line = commandLine;
  int i = 0;
  while (line[i] != 0) {
    if (line[i] == u'-' && line[i + 1] == u'f' && line[i + 2] == u' ') {
      i = takeFileName(line, i + 3);
    } else if (line[i] == u'-' && line[i + 1] == u's') {
      memcpy(scheduleFileName, DEFAULT_SCHEDULE_NAME, sizeof(DEFAULT_SCHEDULE_NAME));
      resident = 1;
      return;
    } else {
      ++i;
    }
  }
}
