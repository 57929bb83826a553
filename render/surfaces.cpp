// The drawing surfaces and the frame painter (see surfaces.h).
#include "render/surfaces.h"

RECT clientRect;
HDC backBuffer;
HBITMAP backBufferBitmap;
HDC screenSnapshot;
HBITMAP screenSnapshotBitmap;
LOGFONTW fontTemplate;
