// The draw requests: turns one live instance into the requests of its kind and
// inserts them into the draw list.
//
// Coordinates are the instance's base plus offset, in single precision in the
// written order, truncated towards zero with truncToInt (saturating, 0 for NaN).
// Integer sums of truncated values saturate instead of overflowing, so an
// instance that has run away still gives defined, if clamped, requests. Only
// image requests carry an alpha; colours are truncated, not clamped. Reads the
// instance, its definition, its text slot and, for lines, the live list; changes
// nothing but the draw list. Dependencies: the pool, the scene tables, the
// debug console.
#include "render/draw_requests.h"

#include "engine/arith.h"
#include "engine/instance_pool.h"
#include "platform/runtime.h"
#include "render/draw_list.h"

// The request fields that carry nothing for a kind are 0.
#define NOTHING 0

// The magnitude of value, saturated (|INT_MIN| is INT_MAX).
static int magnitude(int value) {
  if (value >= 0) return value;
  return value == INT_MIN ? INT_MAX : -value;
}

// Inserts an image request for instance in at (bx, by) on layer.
static void requestImage(const EffectInstance& in, float bx, float by, int layer) {
  int x = truncToInt(bx - float(in.hotX));
  int y = truncToInt(by - float(in.hotY));
  int extentX = truncToInt(in.width);
  int extentY = truncToInt(in.height);
  int alpha = truncToInt(in.alpha);
  if (extentX <= 0 || extentY <= 0 || alpha <= 0) return;
  insertDrawEntry(KIND_IMAGE, in.source, x, y, extentX, extentY, 0.0f, 0.0f, in.srcX, in.srcY, in.srcWidth,
                  in.srcHeight, alpha, NOTHING, NOTHING, NOTHING, layer);
}

// Inserts the requests of the text instance in slot at (bx, by) on layer: its
// shadow, its bold black backing and the coloured text, in that order.
static void requestText(int slot, const EffectInstance& in, float bx, float by, int layer) {
  if ((unsigned)in.source >= MAX_SCENE_ENTRIES) return;  // no text slot to read: nothing is drawn
  const TextSlot& text = scene.texts[in.source];
  int left = truncToInt(bx);
  int top = truncToInt(by);
  int right = addSaturated(left, truncToInt(in.width));
  int fontHeight = truncToInt(in.height);
  int count = visibleCharCount(slot);
  int red = truncToInt(in.red);
  int green = truncToInt(in.green);
  int blue = truncToInt(in.blue);
  if (right < 1 || fontHeight < 1) return;
  int s = text.shadowOffset;
  if (s != 0) {
    insertDrawEntry(KIND_TEXT, in.source, addSaturated(left, s), addSaturated(top, s),
                    addSaturated(right, magnitude(s)), fontHeight, 0.0f, 0.0f, count, 0, NOTHING, NOTHING, NOTHING,
                    0, 0, 0, layer);
  }
  if (text.boldBacking == 1) {
    insertDrawEntry(KIND_TEXT, in.source, left, top, right, fontHeight, 0.0f, 0.0f, count, 1, NOTHING, NOTHING,
                    NOTHING, 0, 0, 0, layer);
  }
  insertDrawEntry(KIND_TEXT, in.source, left, top, right, fontHeight, 0.0f, 0.0f, count, 0, NOTHING, NOTHING,
                  NOTHING, red, green, blue, layer);
}

// Inserts a rectangle or ellipse request (kind) for instance in under
// definition d at (bx, by).
static void requestShape(int kind, const EffectInstance& in, const EffectDef& d, float bx, float by) {
  int left = truncToInt(bx - in.width * d.pivotX);
  int top = truncToInt(by - in.height * d.pivotY);
  int right = addSaturated(left, truncToInt(in.width));
  int bottom = addSaturated(top, truncToInt(in.height));
  insertDrawEntry(kind, in.source, left, top, right, bottom, 0.0f, 0.0f, NOTHING, NOTHING, NOTHING, NOTHING,
                  NOTHING, truncToInt(in.red), truncToInt(in.green), truncToInt(in.blue), d.layer);
}

// Inserts one line from (bx, by) of instance in to every live instance of the
// definition its source names, in list order, itself included. The walk ends at
// the last of them; once the list is full the rest are dropped at once, their
// end points not computed, each printing the line of a dropped request.
static void requestLines(const EffectInstance& in, float bx, float by, int layer) {
  if ((unsigned)in.source >= MAX_SCENE_ENTRIES) return;  // no instance has such a definition
  int targets = pool.liveOf[in.source];
  int x = truncToInt(bx);
  int y = truncToInt(by);
  int penWidth = truncToInt(in.height);
  int red = truncToInt(in.red);
  int green = truncToInt(in.green);
  int blue = truncToInt(in.blue);
  int o = pool.head;
  for (int steps = 0; steps < MAX_INSTANCES && targets > 0 && !drawListIsFull() && isLive(o); ++steps) {
    const EffectInstance& other = pool.slots[o];
    o = other.next;
    if (other.def != in.source) continue;
    --targets;
    int endX = truncToInt((other.x - in.x) * in.width + bx);
    int endY = truncToInt((other.y - in.y) * in.width + by);
    insertDrawEntry(KIND_LINE, NOTHING, x, y, NOTHING, penWidth, 0.0f, 0.0f, endX, endY, NOTHING, NOTHING, NOTHING,
                    red, green, blue, layer);
  }
  if (!drawListIsFull()) return;
  for (; targets > 0; --targets) DebugPrintNarrow(drawListFullLine);
}

// Inserts a polygon request for instance in at (bx, by) on layer; the painter
// checks the polygon number.
static void requestPolygon(const EffectInstance& in, float bx, float by, int layer) {
  int extentX = truncToInt(in.width);
  int extentY = truncToInt(in.height);
  if (extentX <= 0 || extentY <= 0) return;
  insertDrawEntry(KIND_POLYGON, in.source, truncToInt(bx), truncToInt(by), extentX, extentY, in.width, in.height,
                  NOTHING, NOTHING, NOTHING, NOTHING, NOTHING, truncToInt(in.red), truncToInt(in.green),
                  truncToInt(in.blue), layer);
}

void emitDrawRequests(int slot) {
  if (pool.slots == nullptr || scene.defs == nullptr || slot < 1 || slot >= MAX_INSTANCES) return;
  const EffectInstance& in = pool.slots[slot];
  if (!in.inUse || (unsigned)in.def >= MAX_SCENE_ENTRIES) return;
  const EffectDef& d = scene.defs[in.def];
  float bx = float(in.baseX) + in.x;
  float by = float(in.baseY) + in.y;
  switch (d.kind) {
    case KIND_IMAGE:
      requestImage(in, bx, by, d.layer);
      break;
    case KIND_TEXT:
      requestText(slot, in, bx, by, d.layer);
      break;
    case KIND_RECTANGLE:
    case KIND_ELLIPSE:
      requestShape(d.kind, in, d, bx, by);
      break;
    case KIND_LINE:
      requestLines(in, bx, by, d.layer);
      break;
    case KIND_POLYGON:
      requestPolygon(in, bx, by, d.layer);
      break;
    default:
      break;
  }
}

int visibleCharCount(int slot) {
  if (pool.slots == nullptr || scene.texts == nullptr || slot < 1 || slot >= MAX_INSTANCES) return -1;
  const EffectInstance& in = pool.slots[slot];
  if ((unsigned)in.source >= MAX_SCENE_ENTRIES) return -1;
  const TextSlot& text = scene.texts[in.source];
  int speed = text.typeSpeed;
  if (speed == 0) return -1;
  // Wide, so neither age / speed nor age * -speed can overflow.
  int64_t n = speed > 0 ? int64_t(in.age) / speed : int64_t(in.age) * -int64_t(speed);
  int64_t length = 0;
  while (length < MAX_TEXT_UNITS && text.text[length] != 0) ++length;
  if (n < 0) return 0;  // only an age that wrapped past the int limit is negative
  if (n < length) return int(n);
  return -1;
}
