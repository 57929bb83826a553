// The command line of tessaril-render (see render_options.h).
#include "tools/render_options.h"

#include <cstdlib>
#include <cstring>

#include "platform/host/runtime/host_clock.h"

const char* const RENDER_USAGE =
    "usage: tessaril-render [options]\n"
    "Plays a show on the headless host with a virtual clock and writes what it shows.\n"
    "  --dir DIR          the directory that stands for the executable's (default .)\n"
    "  -f NAME            the settings file to play (default default.txt)\n"
    "  --size WxH         the screen's size (default 240x320)\n"
    "  --time YYYY-MM-DDTHH:MM:SS   the local time at start (default now)\n"
    "  --screen FILE.png  the picture the overlay starts on\n"
    "  --frames N         close the window after N painted frames\n"
    "  --out DIR          write every painted frame as DIR/frame-00000.png, ...\n"
    "  --trace FILE       write one JSON line per frame step\n"
    "  --sheet FILE.png   write a contact sheet of every 10th frame\n"
    "  --check ...        check a show for authors (see README)\n"
    "  --help             this text\n"
    "  --version          the version, as the only argument\n"
    "Without --frames it runs until the show ends, and at most 36000 frames.\n";

namespace {

bool parseSize(const char* text, int* width, int* height) {
  char* end = nullptr;
  long w = std::strtol(text, &end, 10);
  if (end == text || *end != 'x') return false;
  const char* second = end + 1;
  long h = std::strtol(second, &end, 10);
  if (end == second || *end != 0) return false;
  if (w < 1 || h < 1 || w > 16384 || h > 16384) return false;
  *width = int(w);
  *height = int(h);
  return true;
}

bool parseCount(const char* text, long* value) {
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || n < 0 || n > 100000000) return false;
  *value = n;
  return true;
}

}  // namespace

bool parseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options->help = true;
      continue;
    }
    if (i + 1 >= argc) {
      *error = "unknown option or missing value: " + arg;
      return false;
    }
    const char* value = argv[++i];
    if (arg == "--dir") {
      options->dir = value;
    } else if (arg == "-f") {
      options->settingsName = value;
    } else if (arg == "--size") {
      if (!parseSize(value, &options->width, &options->height)) {
        *error = std::string("bad --size (WxH, 1..16384): ") + value;
        return false;
      }
    } else if (arg == "--time") {
      if (!host::parseLocalTime(value, &options->startTime)) {
        *error = std::string("bad --time (YYYY-MM-DDTHH:MM:SS): ") + value;
        return false;
      }
      options->timeGiven = true;
    } else if (arg == "--screen") {
      options->screenPng = value;
    } else if (arg == "--frames") {
      if (!parseCount(value, &options->frames)) {
        *error = std::string("bad --frames: ") + value;
        return false;
      }
    } else if (arg == "--out") {
      options->outDir = value;
    } else if (arg == "--trace") {
      options->tracePath = value;
    } else if (arg == "--sheet") {
      options->sheetPath = value;
    } else {
      *error = "unknown option: " + arg;
      return false;
    }
  }
  return true;
}
