// The checked loads: the player's own loaders run with the checker's sink set,
// and the checks that follow a load. loadSettingsChecked and
// loadScheduleChecked are declared in show_checker.h, the tool's interface.
// Dependencies: config (the loaders, the data-file lookup).
#pragma once

#include <string>

#include "platform/types.h"

// The host path of the data file name (or defaultName when name is empty) as
// the loaders locate it; the name itself when its full path does not fit.
std::string displayPathOf(const WCHAR* name, const WCHAR* defaultName);
