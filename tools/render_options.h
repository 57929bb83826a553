// The command line of tessaril-render.
#pragma once

#include <string>

#include "platform/types.h"

struct RenderOptions {
  std::string dir = ".";      // stands for the executable's directory
  std::string settingsName;   // -f NAME: the settings file (empty: default.txt)
  int width = 240;
  int height = 320;
  bool timeGiven = false;
  SYSTEMTIME startTime{};     // local time at start (default: now)
  std::string screenPng;      // the picture the overlay starts on
  bool live = false;          // --live: a transparent desktop, as the live overlay draws
  long frames = -1;           // close the window after this many frames (-1: at the show's end)
  std::string outDir;         // every frame as frame-NNNNN.png
  std::string tracePath;      // one JSON line per frame step
  std::string sheetPath;      // a contact sheet of every 10th frame
  bool help = false;
};

// Parses argv; false with a message in *error for a bad or unknown option.
bool parseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);

extern const char* const RENDER_USAGE;
