// The draw list: one frame's draw requests, kept in drawing order by layer.
//
// Invariants: slot 0 never holds a request, so a link of 0 means none; following
// next from drawListHead visits every entry in use in non-increasing layer order,
// equal layers in insertion order; drawListHead is 1 whenever the list is empty;
// the occupied slots are always 1..drawListCount in insertion order (whoever
// empties the list sets the head to 1 and the count to 0). At most 1023 requests
// fit a frame; a further one is dropped with one debug line. The list lives with
// the drawing surfaces; the painter empties it after every frame.
#pragma once

#include "platform/types.h"

#define MAX_DRAW_ENTRIES 1024  // slots 1..1023 hold requests

struct DrawEntry {
  BYTE inUse;
  int kind;
  int source;
  int x;
  int y;
  int extentX;
  int extentY;
  float scaleX;
  float scaleY;
  int srcX;
  int srcY;
  int srcWidth;
  int srcHeight;
  int alpha;
  int red, green, blue;
  int layer;
  int next;
  int prev;
};

extern DrawEntry* drawList;  // MAX_DRAW_ENTRIES slots, null while no show runs
extern int drawListHead;
extern int drawListCount;  // slots in use: 1..drawListCount

// Allocates the list, all zero, head 1; 1 on success, 0 when memory ran out.
int allocateDrawList(void);
// Fills every slot with zeros and sets the head to 1.
void emptyDrawList(void);
void releaseDrawList(void);

void insertDrawEntry(int kind, int source, int x, int y, int extentX, int extentY, float scaleX, float scaleY,
                     int srcX, int srcY, int srcWidth, int srcHeight, int alpha, int red, int green, int blue,
                     int layer);
// 1 when the list holds 1023 requests and drops every further one, else 0. A
// count outside 0..1023 (only a caller that broke the list makes one) reads as
// full, so no request is ever stored outside slots 1..1023.
inline int drawListIsFull(void) { return unsigned(drawListCount) >= MAX_DRAW_ENTRIES - 1 ? 1 : 0; }

// The debug line printed for a request dropped by a full list, in Shift-JIS.
extern const char drawListFullLine[];
