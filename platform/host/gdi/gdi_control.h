// Host control of GDI's screen: what tools and tests read of the pixels the
// desktop window's DC sees, with any backend (headless: the picture with the
// shown windows over it; x11: the root window as read now).
//
// For the user-interface thread. PNG output of surfaces and DCs is
// gdi_objects.h's (writeSurfacePng, writeDcPng).
#pragma once

#include "platform/host/gdi/gdi_objects.h"

namespace host {

// The screen's size in pixels, as the backend reports it.
void getScreenSize(int* width, int* height);
// A copy of the screen as shown now; empty when the backend has no screen.
Surface screenSnapshot();

}  // namespace host
