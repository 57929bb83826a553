// tessaril-render: the player, in plain mode, on the headless host with a
// virtual clock; writes the frames it paints, a trace of every frame step and a
// contact sheet. The same show, start time and frame count give the same trace
// and the same pixels every time.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shell_state.h"
#include "app/show_driver.h"
#include "platform/host/backend.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"
#include "render/surfaces.h"
#include "tools/contact_sheet.h"
#include "tools/render_options.h"
#include "tools/show_checker/show_checker.h"
#include "tools/trace_writer.h"

namespace {

const long MAX_UNBOUNDED_FRAMES = 36000;

RenderOptions options;
FILE* traceFile = nullptr;
long framesPainted = 0;
long frameLimit = 0;
bool stoppedAtLimit = false;
char moduleInstance;
std::string instanceDirectory;

void beforePaint() {
  if (traceFile != nullptr) writeTraceLine(traceFile, int(framesPainted));
}

// Writes the frame just painted (the back buffer holds it) and closes the
// window once the frame limit is reached.
void afterPaint() {
  if (!options.outDir.empty()) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05ld.png", framesPainted);
    host::writeDcPng(backBuffer, (options.outDir + name).c_str());
  }
  if (!options.sheetPath.empty() && framesPainted % 10 == 0) {
    if (host::Surface* frame = host::dcSurface(backBuffer)) addSheetTile(*frame);
  }
  ++framesPainted;
  if (framesPainted == frameLimit) {
    stoppedAtLimit = true;
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
  }
}

std::string absolutePath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  free(resolved);
  return result;
}

// Sets up the headless host for the options; false with a message on failure.
bool prepareHost(std::string* error) {
  if (!host::selectBackend("headless", error)) return false;
  if (!options.screenPng.empty() && !host::setScreenPictureFromPng(options.screenPng.c_str())) {
    *error = "cannot read the screen picture " + options.screenPng;
    return false;
  }
  host::setScreenSize(options.width, options.height);
  SYSTEMTIME start = options.startTime;
  if (!options.timeGiven) host::clockLocalTime(&start);
  start.wMilliseconds = 0;
  host::clockUseVirtual(start);
  struct stat st;
  if (::stat(options.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "no such directory: " + options.dir;
    return false;
  }
  host::setModuleDirectory(absolutePath(options.dir));
  // A private single-instance directory: a player running on this desktop is
  // never found nor disturbed by the tool's show.
  char instanceDir[] = "/tmp/tessaril-render-XXXXXX";
  if (::mkdtemp(instanceDir) != nullptr) {
    instanceDirectory = instanceDir;
    host::setInstanceDirectory(instanceDirectory);
  }
  if (!options.outDir.empty()) ::mkdir(options.outDir.c_str(), 0755);
  if (!options.tracePath.empty()) {
    traceFile = std::fopen(options.tracePath.c_str(), "w");
    if (traceFile == nullptr) {
      *error = "cannot write the trace " + options.tracePath;
      return false;
    }
  }
  return true;
}

int finish(int code) {
  if (traceFile != nullptr) std::fclose(traceFile);
  if (!options.sheetPath.empty() && sheetTileCount() > 0 && !writeContactSheet(options.sheetPath)) {
    std::fprintf(stderr, "tessaril-render: cannot write %s\n", options.sheetPath.c_str());
  }
  if (stoppedAtLimit && options.frames < 0) {
    std::fprintf(stderr, "tessaril-render: stopped after %ld frames (the limit without --frames)\n",
                 MAX_UNBOUNDED_FRAMES);
  }
  host::resetHost();
  if (!instanceDirectory.empty()) ::rmdir(instanceDirectory.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::fputs("tessaril-render " TESSARIL_VERSION "\n", stdout);
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--check") return runShowCheck(argc, argv);
  }
  std::string error;
  if (!parseRenderOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "tessaril-render: %s\n%s", error.c_str(), RENDER_USAGE);
    return 2;
  }
  if (options.help) {
    std::fputs(RENDER_USAGE, stdout);
    return 0;
  }
  if (!prepareHost(&error)) {
    std::fprintf(stderr, "tessaril-render: %s\n", error.c_str());
    return finish(2);
  }
  frameLimit = options.frames >= 0 ? options.frames : MAX_UNBOUNDED_FRAMES;
  if (frameLimit == 0) return finish(0);
  frameStepHooks.beforePaint = beforePaint;
  frameStepHooks.afterPaint = afterPaint;
  std::u16string line;
  if (!options.settingsName.empty()) line = u"-f " + host::utf8ToUtf16(options.settingsName);
  int code = WinMain(reinterpret_cast<HINSTANCE>(&moduleInstance), nullptr, line.data(), SW_SHOWNORMAL);
  return finish(code);
}
