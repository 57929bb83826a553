// The host's process entry: chooses the display backend and the real clock,
// turns argv into the platform's command line and runs the system's WinMain.
//
// The command line is argv[1..] joined with single blanks, as UTF-16, without
// the program's name: what the device hands its programs. Built into the
// tessaril executable only (tools/CMakeLists.txt), never into the host library.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/host/backend.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/host/text_encoding.h"
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

}  // namespace

int main(int argc, char** argv) {
  host::clockUseReal();
  std::string error;
  if (!host::selectBackend(std::getenv("TESSARIL_BACKEND"), &error)) {
    std::fprintf(stderr, "tessaril: %s\n", error.c_str());
    return 1;
  }
  std::u16string line = commandLine(argc, argv);
  int result = WinMain(reinterpret_cast<HINSTANCE>(&moduleInstance), nullptr, line.data(), SW_SHOWNORMAL);
  host::resetHost();  // closes and unlinks what is left, such as a listening socket
  return result;
}
