// The show driver: starting and stopping a show, and the four messages that
// drive it (the tick timer, the delayed start, the paint step, size and
// activation changes).
#pragma once

#include "platform/platform.h"

void startShow(HWND window, const WCHAR* name);
void stopShow(HWND window);

LRESULT onShowTimer(HWND window, WPARAM id);
LRESULT onShowPaint(HWND window);
LRESULT onShowSize(HWND window);
LRESULT onShowActivate(HWND window);

// Observers of the frame step for the authoring tool; null in the player.
// beforePaint runs after the tick update has filled the draw list, afterPaint
// after the frame has been copied to the window.
struct FrameStepHooks {
  void (*beforePaint)(void);
  void (*afterPaint)(void);
};
extern FrameStepHooks frameStepHooks;
