// The command line of the process entry: "-f NAME" names the settings file of
// a plain start, "-s" starts resident mode with "schedule.ini".
#pragma once

#include "platform/platform.h"

// Reads "-f NAME" (the last one counts; the name runs to the next blank, at
// most 255 units kept) into settingsFileName, and "-s", which sets resident and
// scheduleFileName and ends the scan. A null command line changes nothing.
void parseCommandLine(const WCHAR* commandLine);
