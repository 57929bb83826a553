// Device paths on the host, and the module directory that tools and tests set.
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

}  // namespace host
