// The instance pool: spawning, initialising and removing effect instances, and
// the random spread every start value and acceleration is drawn with.
//
// Invariants kept here: slot 0 is never used; the live instances form one list
// from pool.head in spawn order (a spawn is always appended at the tail); head
// is 1 whenever the list is empty; every free slot is all zero; pool.tail,
// pool.live, pool.used and pool.liveOf agree with the slots, so a spawn finds the
// lowest free slot and the tail without a pass over the pool. A full pool drops a spawn with
// one debug line and draws no random number. Walks along the links are bounded by the pool's capacity, so a
// damaged link cannot hang a tick.
// Dependencies: the scene tables, clientRect, the device runtime's rand.
#include "engine/instance_pool.h"

#include "engine/arith.h"
#include "platform/runtime.h"
#include "render/surfaces.h"

InstancePool pool;

// "エフェクト登録最大数に達してます\n"
const char poolFullLine[] =
    "\x83\x47\x83\x74\x83\x46\x83\x4E\x83\x67\x93\x6F\x98\x5E\x8D\xC5\x91\xE5\x90\x94\x82\xC9\x92\x42\x82\xB5"
    "\x82\xC4\x82\xDC\x82\xB7\n";

// True when slot names one of the slots that can hold an instance (1..1023).
static bool isInstanceSlot(int slot) { return slot >= 1 && slot < MAX_INSTANCES; }

bool isLive(int slot) { return pool.slots != nullptr && isInstanceSlot(slot) && pool.slots[slot].inUse; }

// Sets the list's ends and the slots' bookkeeping to those of an empty pool.
static void forgetInstances(void) {
  pool.head = 1;
  pool.tail = 0;
  pool.live = 0;
  memset(pool.used, 0, sizeof pool.used);
  pool.used[0] = 1;  // slot 0 is never free
  memset(pool.liveOf, 0, sizeof pool.liveOf);
}

// Counts slot, holding an instance of definition, in (used 1) or out (used 0)
// of the bookkeeping.
static void markSlot(int slot, int definition, int used) {
  uint64_t bit = uint64_t(1) << (slot % 64);
  int step = used ? 1 : -1;
  if (used) {
    pool.used[slot / 64] |= bit;
  } else {
    pool.used[slot / 64] &= ~bit;
  }
  pool.live += step;
  if ((unsigned)definition < MAX_SCENE_ENTRIES) pool.liveOf[definition] += step;
}

int allocateInstancePool(void) {
  pool.slots = (EffectInstance*)calloc(MAX_INSTANCES, sizeof(EffectInstance));
  forgetInstances();
  return pool.slots != nullptr ? 1 : 0;
}

void releaseInstancePool(void) {
  free(pool.slots);
  pool.slots = nullptr;
  forgetInstances();
}

void clearInstances(void) {
  if (pool.slots != nullptr) memset(pool.slots, 0, MAX_INSTANCES * sizeof(EffectInstance));
  forgetInstances();
}

float randomSpread(float spread) {
  int k = (rand() % 1000) + 1;
  float u = float(k) * 0.001f;
  u = u * 2.0f - 1.0f;
  return u * spread;
}

float degreesToRadians(float degrees) { return degrees * 0.017453292f; }

// The number of the lowest set bit of a nonzero word, by halving.
static int lowestBit(uint64_t word) {
  int bit = 0;
  for (int width = 32; width > 0; width /= 2) {
    uint64_t low = (uint64_t(1) << width) - 1;
    if ((word & low) == 0) {
      word >>= width;
      bit += width;
    }
  }
  return bit;
}

// Returns the lowest free slot in 1..1023, or 0 when all are in use: the lowest
// clear bit of used.
static int findFreeSlot(void) {
  if (pool.live >= MAX_INSTANCES - 1) return 0;
  for (int word = 0; word < MAX_INSTANCES / 64; ++word) {
    if (~pool.used[word] != 0) return word * 64 + lowestBit(~pool.used[word]);
  }
  return 0;
}

// Returns the tail of the non-empty live list (the live instance whose next is
// 0): the kept one when it fits, else found by a walk that stops after as many
// steps as the pool has slots.
static int findTail(void) {
  if (isLive(pool.tail) && pool.slots[pool.tail].next == 0) return pool.tail;
  int slot = pool.head;
  for (int steps = 0; steps < MAX_INSTANCES; ++steps) {
    int next = pool.slots[slot].next;
    if (!isLive(next)) break;
    slot = next;
  }
  return slot;
}

// One start value of a row with an inheritance bit: (start + inherited) + spread,
// the spread drawn first. inherited is the parent's value when the bit is set.
static float startWithInheritance(float start, float spread, bool inherit, float parentValue) {
  float drawn = randomSpread(spread);
  float inherited = inherit ? parentValue : 0.0f;
  return (start + inherited) + drawn;
}

// One start value of a row without inheritance: start + spread.
static float startValue(float start, float spread) {
  float drawn = randomSpread(spread);
  return start + drawn;
}

// Returns the base coordinate for a fraction of the client extent from low to
// high: trunc(float(high - low) * fraction + float(low)).
static int baseCoordinate(LONG low, LONG high, float fraction) {
  float extent = float(int64_t(high) - int64_t(low));
  return truncToInt(extent * fraction + float(low));
}

void initInstance(int slot, int definition, int parent) {
  if (pool.slots == nullptr || !isInstanceSlot(slot) || (unsigned)definition >= MAX_SCENE_ENTRIES) return;
  EffectInstance& in = pool.slots[slot];
  const EffectDef& d = scene.defs[definition];
  // A parent counts only when it is another live instance with a usable definition.
  static const EffectInstance noParent = {};
  const EffectInstance* p = &noParent;
  int flags = 0;
  if (parent != slot && isLive(parent) && (unsigned)pool.slots[parent].def < MAX_SCENE_ENTRIES) {
    p = &pool.slots[parent];
    flags = scene.defs[p->def].inheritFlags;
  }
  bool offset = (flags & INHERIT_OFFSET) != 0;
  bool velocity = (flags & INHERIT_VELOCITY) != 0;
  bool orbit = (flags & INHERIT_ORBIT) != 0;
  bool size = (flags & INHERIT_SIZE) != 0;
  bool colour = (flags & INHERIT_COLOUR) != 0;

  in.def = definition;
  in.source = 0;
  in.age = 0;
  in.x = startWithInheritance(d.offsetX, d.offsetXRand, offset, p->x);
  in.y = startWithInheritance(d.offsetY, d.offsetYRand, offset, p->y);
  in.vx = startWithInheritance(d.velX, d.velXRand, velocity, p->vx);
  in.vy = startWithInheritance(d.velY, d.velYRand, velocity, p->vy);
  in.radius = startWithInheritance(d.radius, d.radiusRand, orbit, p->radius);
  in.angle = startWithInheritance(d.angle, d.angleRand, orbit, p->angle);
  in.width = startWithInheritance(d.width, d.widthRand, size, p->width);
  if (d.height == -1.0f && d.kind != KIND_TEXT) {
    in.height = in.width;  // the height follows the width; no number is drawn
  } else {
    in.height = startWithInheritance(d.height, d.heightRand, size, p->height);
  }
  in.widthStep = startValue(d.widthStep, d.widthStepRand);
  in.heightStep = startValue(d.heightStep, d.heightStepRand);
  in.alpha = startWithInheritance(d.alpha, d.alphaRand, colour, p->alpha);
  in.alphaStep = startValue(d.alphaStep, d.alphaStepRand);
  in.red = startWithInheritance(d.red, d.redRand, colour, p->red);
  in.redStep = startValue(d.redStep, d.redStepRand);
  in.green = startWithInheritance(d.green, d.greenRand, colour, p->green);
  in.greenStep = startValue(d.greenStep, d.greenStepRand);
  in.blue = startWithInheritance(d.blue, d.blueRand, colour, p->blue);
  in.blueStep = startValue(d.blueStep, d.blueStepRand);

  in.srcX = 0;
  in.srcY = 0;
  in.srcWidth = 0;
  in.srcHeight = 0;
  in.hotX = 0;
  in.hotY = 0;
  in.baseX = baseCoordinate(clientRect.left, clientRect.right, d.posFracX);
  in.baseY = baseCoordinate(clientRect.top, clientRect.bottom, d.posFracY);
}

int spawnInstance(int definition, int parent) {
  if ((unsigned)definition >= MAX_SCENE_ENTRIES) return 0;
  if (pool.slots == nullptr || scene.defs == nullptr) return 0;
  int slot = findFreeSlot();
  if (slot == 0) {
    DebugPrintNarrow(poolFullLine);
    return 0;
  }
  // A parent slot that holds no live instance counts as no parent; decided before
  // the new slot is marked, which may be that very slot.
  if (!isLive(parent)) parent = 0;
  bool empty = !isLive(pool.head);
  int tail = empty ? 0 : findTail();
  markSlot(slot, definition, 1);
  pool.slots[slot].inUse = 1;
  initInstance(slot, definition, parent);
  pool.tail = slot;
  if (empty) {
    // An empty list: head is 1, which is also the lowest free slot.
    pool.head = slot;
    return slot;
  }
  pool.slots[slot].prev = tail;
  pool.slots[tail].next = slot;
  return slot;
}

void removeInstance(int slot) {
  if (!isLive(slot)) return;
  EffectInstance& in = pool.slots[slot];
  if (slot == pool.tail) pool.tail = in.prev;
  if (in.prev == 0 && in.next == 0) {
    pool.head = 1;
  } else if (in.prev == 0) {
    pool.head = in.next;
  }
  if (isInstanceSlot(in.next)) pool.slots[in.next].prev = in.prev;
  if (isInstanceSlot(in.prev)) pool.slots[in.prev].next = in.next;
  markSlot(slot, in.def, 0);
  memset(&in, 0, sizeof in);
}

void removeInstancesOf(int definition) {
  if (pool.slots == nullptr) return;
  int slot = pool.head;
  for (int steps = 0; steps < MAX_INSTANCES && isLive(slot); ++steps) {
    int next = pool.slots[slot].next;
    if (pool.slots[slot].def == definition) removeInstance(slot);
    slot = next;
  }
}
