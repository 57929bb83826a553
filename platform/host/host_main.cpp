// The host's process entry: chooses the display backend, the power source and
// the real clock, turns argv into the platform's command line and runs the
// system's WinMain.
//
// The power source follows the backend: logind's PrepareForSleep on the
// system bus for a desktop backend, the injected notifications (host control,
// input scripts) for the headless one that tests and tools drive.
// TESSARIL_POWER=logind or TESSARIL_POWER=headless chooses either explicitly.
//
// The command line is argv[1..] joined with single blanks, as UTF-16, without
// the program's name: what the device hands its programs. Built into the
// tessaril executable only (tools/CMakeLists.txt), never into the host library.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host/backend.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/host/threads/power_source.h"
#include "platform/host/common/text_encoding.h"
#include "platform/window_manager.h"

namespace {

// The module's instance handle: any stable non-null value serves, since the
// program has only the one module.
char moduleInstance;

std::u16string commandLine(int argc, char** argv) {
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += ' ';
    joined += argv[i];
  }
  return host::utf8ToUtf16(joined);
}

// The power source for the chosen backend and TESSARIL_POWER; false for an
// unknown name.
bool selectPowerSource(const char* requested) {
  std::string name = requested != nullptr ? requested : "";
  if (name.empty()) name = std::string(host::backend().name) == "headless" ? "headless" : "logind";
  if (name == "logind") {
    host::usePowerSource(&host::logindPowerSource);
  } else if (name == "headless") {
    host::usePowerSource(&host::headlessPowerSource);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  host::clockUseReal();
  std::string error;
  if (!host::selectBackend(std::getenv("TESSARIL_BACKEND"), &error)) {
    std::fprintf(stderr, "tessaril: %s\n", error.c_str());
    return 1;
  }
  if (!selectPowerSource(std::getenv("TESSARIL_POWER"))) {
    std::fprintf(stderr, "tessaril: TESSARIL_POWER=%s is neither logind nor headless\n", std::getenv("TESSARIL_POWER"));
    return 1;
  }
  std::u16string line = commandLine(argc, argv);
  int result = WinMain(reinterpret_cast<HINSTANCE>(&moduleInstance), nullptr, line.data(), SW_SHOWNORMAL);
  host::resetHost();  // closes and unlinks what is left, such as a listening socket
  return result;
}
