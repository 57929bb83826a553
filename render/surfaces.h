// The drawing surfaces of the running show: the back buffer every frame is
// composed in, the snapshot of the screen taken at the show's start, the font
// template, and the client rectangle they were made for.
//
// Present only while a show runs; every handle is null when absent.
// Dependencies: platform GDI, the draw list.
#pragma once

#include "platform/gdi.h"
#include "platform/types.h"

extern RECT clientRect;
extern HDC backBuffer;
extern HBITMAP backBufferBitmap;
extern HDC screenSnapshot;
extern HBITMAP screenSnapshotBitmap;
extern LOGFONTW fontTemplate;

// Records clientRect, creates the back buffer and the snapshot of the screen,
// and allocates the empty draw list. 1 on success, 0 when memory ran out.
int createSurfaces(HWND window);
void releaseSurfaces(void);
