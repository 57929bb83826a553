// The frame painter (see painter.h).
//
// A frame: clear the back buffer with the background brush or the snapshot,
// draw the draw list from its head (highest layer first), empty the list and
// copy the back buffer to the window in one blit. Only images are drawn with
// their alpha; texts and shapes are opaque in their colour. Pens, brushes and
// fonts are made and deleted per entry. The painter reads the scene tables only
// by numbers in 0..255 and a polygon slot only within its vertex array, so an
// entry naming anything else draws nothing. A frame allocates nothing: the text
// and vertex buffers below are the painter's fixed working storage.
// Dependencies: platform GDI and window manager, scene tables, draw list, surfaces.
#include "render/painter.h"

#include "engine/arith.h"
#include "engine/scene_tables.h"
#include "platform/window_manager.h"
#include "render/draw_list.h"
#include "render/surfaces.h"

#define PAINTER_TEXT_UNITS 256         // the longest text, 255 units, and its terminator
#define PAINTER_VERTEX_COUNT 65536     // more than the 65,535 vertices a polygon may have
#define IMAGE_KEY_COLOUR RGB(255, 0, 255)  // magenta: left out of fully opaque images
#define TEXT_FORMAT (DT_WORDBREAK | DT_NOCLIP)
#define BOLD_WEIGHT 1000

static WCHAR painterText[PAINTER_TEXT_UNITS];
static POINT painterVertices[PAINTER_VERTEX_COUNT];
static BLENDFUNCTION painterBlend;

// Clamps a colour or alpha component to 0..255.
static int clampComponent(int value) {
  if (value < 0) return 0;
  if (value > 255) return 255;
  return value;
}

// True when number names an entry of a scene table (0..255) and the table exists.
static int isSceneNumber(int number, const void* table) {
  return table != nullptr && number >= 0 && number < MAX_SCENE_ENTRIES;
}
// Clears the back buffer with the scene's background brush, or with the
// snapshot of the screen when the scene has none.
static void clearBackBuffer(void) {
  if (scene.backgroundBrush != nullptr) {
    HGDIOBJ previous = SelectObject(backBuffer, scene.backgroundBrush);
    PatBlt(backBuffer, 0, 0, clientRect.right, clientRect.bottom, PATCOPY);
    SelectObject(backBuffer, previous);
  } else {
    BitBlt(backBuffer, 0, 0, clientRect.right, clientRect.bottom, screenSnapshot, 0, 0, SRCCOPY);
  }
}

// Draws image entry e at the clamped alpha: keyed with magenta when opaque,
// blended otherwise (per-pixel alpha too for images the DIB loader read).
static void drawImage(const DrawEntry* e, int alpha) {
  if (!isSceneNumber(e->source, scene.images)) return;
  const ImageSlot* slot = &scene.images[e->source];
  if (slot->bitmap == nullptr || slot->dc == nullptr) return;
  if (alpha == 255) {
    TransparentImage(backBuffer, e->x, e->y, e->extentX, e->extentY, slot->dc, e->srcX, e->srcY, e->srcWidth,
                     e->srcHeight, IMAGE_KEY_COLOUR);
  } else {
    painterBlend.SourceConstantAlpha = (BYTE)alpha;
    painterBlend.AlphaFormat = slot->imageLoader == IMAGE_LOADER_DIB ? AC_SRC_ALPHA : 0;
    AlphaBlend(backBuffer, e->x, e->y, e->extentX, e->extentY, slot->dc, e->srcX, e->srcY, e->srcWidth,
               e->srcHeight, painterBlend);
  }
}

// Fills the painter's text buffer with the first count units of text (all of
// it for -1, none for 0 or less), NUL-terminated within the buffer.
static void fillTextBuffer(const WCHAR* text, int count) {
  int limit = PAINTER_TEXT_UNITS - 1;
  if (count != -1) limit = count <= 0 ? 0 : (count < limit ? count : limit);
  int n = 0;
  while (n < limit && text[n] != 0) {
    painterText[n] = text[n];
    ++n;
  }
  painterText[n] = 0;
}

// Draws text entry e in colour: its visible units in a font of the entry's
// cell height, bold at the top of the weight scale for a backing.
static void drawText(const DrawEntry* e, COLORREF colour) {
  if (!isSceneNumber(e->source, scene.texts)) return;
  fillTextBuffer(scene.texts[e->source].text, e->srcX);
  fontTemplate.lfHeight = e->extentY;
  fontTemplate.lfWeight = e->srcY != 0 ? BOLD_WEIGHT : FW_DONTCARE;
  HFONT font = CreateFontIndirectW(&fontTemplate);
  HGDIOBJ previous = SelectObject(backBuffer, font);
  SetTextColor(backBuffer, colour);
  RECT box = {e->x, e->y, e->extentX, clientRect.bottom};
  DrawTextW(backBuffer, painterText, -1, &box, TEXT_FORMAT);
  SelectObject(backBuffer, previous);
  DeleteObject(font);
}

// Draws rectangle or ellipse entry e: a 1-px outline in colour, filled in
// colour when its source (the fill flag) is nonzero.
static void drawBoxedShape(const DrawEntry* e, COLORREF colour) {
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HBRUSH brush = e->source != 0 ? CreateSolidBrush(colour) : (HBRUSH)GetStockObject(NULL_BRUSH);
  HGDIOBJ previousPen = SelectObject(backBuffer, pen);
  HGDIOBJ previousBrush = SelectObject(backBuffer, brush);
  if (e->kind == KIND_RECTANGLE) {
    Rectangle(backBuffer, e->x, e->y, e->extentX, e->extentY);
  } else {
    Ellipse(backBuffer, e->x, e->y, e->extentX, e->extentY);
  }
  SelectObject(backBuffer, previousPen);
  SelectObject(backBuffer, previousBrush);
  DeleteObject(pen);
  if (e->source != 0) DeleteObject(brush);
}

// Draws line entry e from (x, y) to (srcX, srcY), extentY pixels wide.
static void drawLine(const DrawEntry* e, COLORREF colour) {
  HPEN pen = CreatePen(PS_SOLID, e->extentY, colour);
  HGDIOBJ previous = SelectObject(backBuffer, pen);
  POINT ends[2] = {{e->x, e->y}, {e->srcX, e->srcY}};
  Polyline(backBuffer, ends, 2);
  SelectObject(backBuffer, previous);
  DeleteObject(pen);
}

// Draws polygon entry e: the slot's vertices scaled by (scaleX, scaleY) about
// (x, y), outlined and filled in colour. A slot whose count has no vertex array
// to match (negative, above 65,535, or no array) draws nothing.
static void drawPolygon(const DrawEntry* e, COLORREF colour) {
  if (!isSceneNumber(e->source, scene.polygons)) return;
  const PolygonSlot* slot = &scene.polygons[e->source];
  int count = slot->count;
  if (count < 0 || count > MAX_POLYGON_VERTICES || (count > 0 && slot->points == nullptr)) return;
  HPEN pen = CreatePen(PS_SOLID, 1, colour);
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ previousPen = SelectObject(backBuffer, pen);
  HGDIOBJ previousBrush = SelectObject(backBuffer, brush);
  for (int i = 0; i < count; ++i) {
    float scaledX = slot->points[i].x * e->scaleX;
    float scaledY = slot->points[i].y * e->scaleY;
    painterVertices[i].x = addSaturated(e->x, truncToInt(scaledX));
    painterVertices[i].y = addSaturated(e->y, truncToInt(scaledY));
  }
  Polygon(backBuffer, painterVertices, count);
  SelectObject(backBuffer, previousPen);
  SelectObject(backBuffer, previousBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

// Draws one entry of the draw list by its kind, with its components clamped.
static void drawEntry(const DrawEntry* e) {
  int alpha = clampComponent(e->alpha);
  COLORREF colour = RGB(clampComponent(e->red), clampComponent(e->green), clampComponent(e->blue));
  switch (e->kind) {
    case KIND_IMAGE:
      drawImage(e, alpha);
      break;
    case KIND_TEXT:
      drawText(e, colour);
      break;
    case KIND_RECTANGLE:
    case KIND_ELLIPSE:
      drawBoxedShape(e, colour);
      break;
    case KIND_LINE:
      drawLine(e, colour);
      break;
    case KIND_POLYGON:
      drawPolygon(e, colour);
      break;
    default:
      break;
  }
}

void paintFrame(HWND window) {
  clearBackBuffer();
  painterBlend.BlendOp = AC_SRC_OVER;
  painterBlend.BlendFlags = 0;
  if (drawList != nullptr) {
    // At most every slot once: a damaged link can neither leave the array nor loop.
    int slot = drawListHead;
    for (int visited = 0; visited < MAX_DRAW_ENTRIES; ++visited) {
      if (slot <= 0 || slot >= MAX_DRAW_ENTRIES || !drawList[slot].inUse) break;
      drawEntry(&drawList[slot]);
      slot = drawList[slot].next;
    }
    emptyDrawList();
  }
  PAINTSTRUCT paint;
  HDC windowDc = BeginPaint(window, &paint);
  BitBlt(windowDc, 0, 0, clientRect.right, clientRect.bottom, backBuffer, 0, 0, SRCCOPY);
  EndPaint(window, &paint);
}
