// The host's process entry: answers --help and --version, chooses the show
// folder, the display backend, the power source and the real clock, turns argv
// into the platform's command line and runs the system's WinMain.
//
// --help and --version are answered only as the sole argument, before any
// folder, display or single-instance endpoint is touched; every other command
// line goes to the system unchanged (it reads only "-f NAME" and "-s").
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
#include "platform/host/files/host_files.h"
#include "platform/window_manager.h"

namespace {

const char* const USAGE =
    "usage: tessaril [-f NAME] [-s]\n"
    "       tessaril --help | --version\n"
    "Plays a show full-screen over the desktop and ends at its end, on a tap or on Enter.\n"
    "  -f NAME   play the settings file NAME of the show folder (default default.txt)\n"
    "  -s        stay resident with a tray icon: a tap on it plays the first @normal show\n"
    "            of schedule.ini, a resume from suspend its first @suspend show; a second\n"
    "            -s start ends the resident player\n"
    "The show folder, where settings files, images and schedule.ini are looked for:\n"
    "  $TESSARIL_HOME when set; else the executable's own directory when it holds\n"
    "  schedule.ini; else $XDG_CONFIG_HOME/tessaril (~/.config/tessaril), which the\n"
    "  first start fills with the installed demo show.\n"
    "Environment:\n"
    "  TESSARIL_HOME     the show folder\n"
    "  TESSARIL_BACKEND  headless, x11 or wayland (default: the display that connects)\n"
    "  TESSARIL_OVERLAY  live or snapshot: what the show plays over\n"
    "  TESSARIL_TRAY     xembed keeps the tray icon in the X11 system tray\n"
    "See tessaril(1).\n";

// The answer to a command line of only --help or --version; null for any
// other command line, which is the system's.
const char* hostAnswer(int argc, char** argv) {
  if (argc != 2) return nullptr;
  if (std::string(argv[1]) == "--help") return USAGE;
  if (std::string(argv[1]) == "--version") return "tessaril " TESSARIL_VERSION "\n";
  return nullptr;
}

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
  if (const char* answer = hostAnswer(argc, argv)) {
    std::fputs(answer, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  std::string notice;
  host::setModuleDirectory(host::findShowFolder(&notice));
  // Before the system's missing-schedule box, which names no folder.
  if (!notice.empty()) std::fprintf(stderr, "tessaril: %s\n", notice.c_str());
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
