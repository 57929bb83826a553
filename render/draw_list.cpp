// The draw list: one frame's draw requests in a fixed array, linked in drawing
// order from the highest layer to the lowest, equal layers in request order.
//
// Invariants: slot 0 never holds a request; drawListHead is 1 whenever the list
// is empty; the occupied slots are always 1..drawListCount in insertion order,
// so the lowest free slot is drawListCount + 1 and a full list is known without
// a scan. The list keeps its last entry as a hint, checked against the slots
// before use and found again by a walk when it does not fit; a request whose
// layer is not above the last entry's goes straight to the tail, which is where
// the walk from the head would put it. Inserting allocates nothing.
// Dependencies: the device runtime's debug console.
#include "render/draw_list.h"

#include "platform/runtime.h"

DrawEntry* drawList;
int drawListHead = 1;
int drawListCount;

// "表示画像の最大数に達してます\n"
const char drawListFullLine[] =
    "\x95\x5C\x8E\xA6\x89\xE6\x91\x9C\x82\xCC\x8D\xC5\x91\xE5\x90\x94\x82\xC9\x92\x42\x82\xB5\x82\xC4\x82\xDC"
    "\x82\xB7\n";

static int tailEntry;  // hint: the last entry in drawing order, 0 when none

// Makes the list empty in its head, count and hint (the slots are the caller's).
static void resetHints(void) {
  drawListHead = 1;
  drawListCount = 0;
  tailEntry = 0;
}

int allocateDrawList(void) {
  drawList = (DrawEntry*)calloc(MAX_DRAW_ENTRIES, sizeof(DrawEntry));
  resetHints();
  return drawList != nullptr ? 1 : 0;
}

void emptyDrawList(void) {
  if (drawList != nullptr) memset(drawList, 0, MAX_DRAW_ENTRIES * sizeof(DrawEntry));
  resetHints();
}

void releaseDrawList(void) {
  free(drawList);
  drawList = nullptr;
  resetHints();
}

// Returns the last entry in drawing order of a non-empty list: the hint when it
// fits, else found by walking from the head.
static int findTailEntry(void) {
  int t = tailEntry;
  if (t >= 1 && t < MAX_DRAW_ENTRIES && drawList[t].inUse && drawList[t].next == 0) return t;
  int u = drawListHead;
  for (int steps = 0; steps < MAX_DRAW_ENTRIES && drawList[u].next != 0; ++steps) u = drawList[u].next;
  return u;
}

// Links entry i into the non-empty list: before the first entry u whose layer
// is below i's, or after the last entry when there is none.
static void linkByLayer(int i) {
  DrawEntry& e = drawList[i];
  int tail = findTailEntry();
  if (drawList[tail].layer >= e.layer) {
    e.prev = tail;
    drawList[tail].next = i;
    tailEntry = i;
    return;
  }
  int u = drawListHead;
  for (int steps = 0; steps < MAX_DRAW_ENTRIES; ++steps) {
    DrawEntry& at = drawList[u];
    if (at.layer < e.layer) {
      e.next = u;
      e.prev = at.prev;
      if (at.prev != 0) drawList[at.prev].next = i;
      at.prev = i;
      if (u == drawListHead) drawListHead = i;
      tailEntry = tail;
      return;
    }
    if (at.next == 0) {
      e.prev = u;
      at.next = i;
      tailEntry = i;
      return;
    }
    u = at.next;
  }
}

void insertDrawEntry(int kind, int source, int x, int y, int extentX, int extentY, float scaleX, float scaleY,
                     int srcX, int srcY, int srcWidth, int srcHeight, int alpha, int red, int green, int blue,
                     int layer) {
  if (drawList == nullptr) return;
  if (drawListIsFull()) {
    DebugPrintNarrow(drawListFullLine);
    return;
  }
  int i = ++drawListCount;
  DrawEntry& e = drawList[i];
  e.inUse = 1;
  e.kind = kind;
  e.source = source;
  e.x = x;
  e.y = y;
  e.extentX = extentX;
  e.extentY = extentY;
  e.scaleX = scaleX;
  e.scaleY = scaleY;
  e.srcX = srcX;
  e.srcY = srcY;
  e.srcWidth = srcWidth;
  e.srcHeight = srcHeight;
  e.alpha = alpha;
  e.red = red;
  e.green = green;
  e.blue = blue;
  e.layer = layer;
  e.next = 0;
  e.prev = 0;
  if (i == 1) {
    // An empty list: the head is 1, the slot just taken.
    drawListHead = i;
    tailEntry = i;
    return;
  }
  linkByLayer(i);
}

