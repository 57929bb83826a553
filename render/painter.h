// The frame painter: draws the draw list into the back buffer over the
// background and copies the frame to the window.
//
// A frame allocates nothing and empties the draw list; an entry that names no
// image, text or polygon of the scene tables draws nothing. Dependencies:
// platform GDI, the scene tables, the draw list, the drawing surfaces.
#pragma once

#include "platform/types.h"

// Paints one frame of the running show into window: clears the back buffer
// with the background brush or the screen snapshot, draws every entry of the
// draw list from the highest layer down, empties the list, and blits the back
// buffer to the window inside BeginPaint and EndPaint.
void paintFrame(HWND window);
