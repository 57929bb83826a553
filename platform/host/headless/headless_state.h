// What the headless backend's files share: the screen's resize and the input
// that tests and tools inject.
#pragma once

#include <cstdint>

namespace host {

// Whether the headless backend is the one in use.
bool isHeadless();

// The screen becomes width x height: the picture is redrawn, full-screen
// windows follow (WM_SIZE posted) and the screen is composed again.
void resizeHeadlessScreen(int width, int height);

// Drops pending input and schedules TESSARIL_HEADLESS_INPUT's script.
void startHeadlessInput();
// The backend's pumpEvents: delivers every input whose time has come.
void pumpHeadlessInput(int64_t nowMs);
// The backend's nextEventTime: when the next pending input is due.
int64_t nextHeadlessInputTime();

}  // namespace host
