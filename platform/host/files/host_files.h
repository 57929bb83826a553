// Device paths on the host, the module directory that tools and tests set, and
// the show folder the player's process entry sets it to.
#pragma once

#include <string>

#include "platform/types.h"

namespace host {

// The host path of a device path: UTF-16 to UTF-8, backslashes to slashes; when
// the exact path does not exist, each missing component is matched without
// regard to ASCII case inside its directory (the device's file system ignores
// case). The translated path as given when nothing matches.
std::string hostPathFromDevice(LPCWSTR devicePath);

// Sets the directory that GetModuleFileNameW reports the executable in (a host
// path; empty: the real executable's). The reported module is "<dir>/tessaril".
void setModuleDirectory(const std::string& hostDirectory);

// The player's show folder (show_folder.cpp): $TESSARIL_HOME, else the
// executable's directory when it holds schedule.ini, else
// $XDG_CONFIG_HOME/tessaril, which a first start creates with a copy of the
// installed demo. *notice is one line for standard error when the folder holds
// no schedule.ini (naming the folders looked in) or could not be made; empty
// otherwise.
std::string findShowFolder(std::string* notice);

}  // namespace host
