// The tick update: one walk over the live list that resolves each instance's
// source, moves it, changes its size and colour, hands it to the draw requests,
// ages it, decides its death, spawns its children and removes it if it died.
//
// The order of the steps and of the random draws is fixed: per instance the
// eight acceleration spreads, then a random sprite frame, then the chance draw,
// then the child-number draw, then each child's own draws. Every float operation
// is single precision in the written order; the orbit's sine and cosine are
// double precision narrowed to single. Integer steps that could overflow for an
// instance that has run for ever (its age, frame numbers, hot spot products) are
// computed wide, so nothing here is undefined. Allocates nothing.
// Dependencies: the pool, the scene tables, the clock codes, the draw requests, GetLocalTime.
#include "engine/tick_update.h"

#include "engine/arith.h"
#include "engine/clock_codes.h"
#include "platform/runtime.h"
#include "render/draw_requests.h"

// The most children one batch attempts: after 1023 attempts the pool is full for
// certain, so further attempts could only repeat the pool-full line.
#define MAX_CHILDREN_PER_BATCH (2 * (MAX_INSTANCES - 1))

// The age one tick later; wraps at the int limit like the device's 32-bit add.
static int nextAge(int age) { return int(uint32_t(age) + 1u); }

// Step 1: sets what the instance in shows from its definition d; an image's
// clock code becomes a digit of the local time.
static void resolveSource(EffectInstance& in, const EffectDef& d) {
  if (d.kind != KIND_IMAGE) {
    in.source = d.source;
    return;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  if (isClockCode(d.source)) {
    in.source = clockDigit(d.source, now);
  } else {
    in.source = d.source;
  }
}

// Returns (accel + spread drawn from spread) + step: a change per tick after
// this tick's acceleration.
static float accelerate(float accel, float spread, float step) {
  float drawn = randomSpread(spread);
  return (accel + drawn) + step;
}

// Step 5: adds the orbit terms of instance in under definition d to its
// position; the trigonometry runs only for gains that use it.
static void moveInOrbit(EffectInstance& in, const EffectDef& d) {
  double theta = double(degreesToRadians(in.angle));
  float c = 0.0f;
  float s = 0.0f;
  if (d.orbitXX != 0.0f || d.orbitYX != 0.0f) c = in.radius * float(cos(theta));
  if (d.orbitYY != 0.0f || d.orbitXY != 0.0f) s = in.radius * float(sin(theta));
  in.x = (d.orbitXX * c + d.orbitXY * s) + in.x;
  in.y = (d.orbitYX * c + d.orbitYY * s) + in.y;
}

// Steps 2 to 9: velocity, position, orbit, size and colour of instance in under
// definition d.
static void moveAndChange(EffectInstance& in, const EffectDef& d) {
  in.vx = accelerate(d.accelX, d.accelXRand, in.vx);
  in.vy = accelerate(d.accelY, d.accelYRand, in.vy);
  in.x = in.vx + in.x;
  in.y = in.vy + in.y;
  in.radius = d.radiusStep + in.radius;
  in.angle = d.angleStep + in.angle;
  moveInOrbit(in, d);
  in.widthStep = accelerate(d.widthAccel, d.widthAccelRand, in.widthStep);
  in.heightStep = accelerate(d.heightAccel, d.heightAccelRand, in.heightStep);
  in.width = in.widthStep + in.width;
  if (d.height == -1.0f && d.kind != KIND_TEXT) {
    in.height = in.width;
  } else {
    in.height = in.heightStep + in.height;
  }
  in.alphaStep = accelerate(d.alphaAccel, d.alphaAccelRand, in.alphaStep);
  in.redStep = accelerate(d.redAccel, d.redAccelRand, in.redStep);
  in.greenStep = accelerate(d.greenAccel, d.greenAccelRand, in.greenStep);
  in.blueStep = accelerate(d.blueAccel, d.blueAccelRand, in.blueStep);
  in.alpha = in.alphaStep + in.alpha;
  in.red = in.redStep + in.red;
  in.green = in.greenStep + in.green;
  in.blue = in.blueStep + in.blue;
}

// Step 12: true when instance in (age already raised) dies under definition d.
static bool diesNow(const EffectInstance& in, const EffectDef& d) {
  if (d.lifetime != 0 && in.age >= d.lifetime) return true;
  return in.source != -1 && (in.width <= 0.0f || in.height <= 0.0f || in.alpha <= 0.0f);
}

// Step 13: decides whether the instance in slot spawns children this tick under
// definition d (dies: it dies this tick) and spawns the batch.
static void spawnChildren(int slot, const EffectDef& d, bool dies) {
  if (d.childDef == -1) return;
  int age = pool.slots[slot].age;
  bool spawn = age == d.spawnAtAge;
  if (d.spawnEvery != 0 && int64_t(int(uint32_t(age) - 1u)) % int64_t(d.spawnEvery) == 0) spawn = true;
  int chance = rand() % 100;  // drawn every tick, whatever the other tests said
  if (chance < d.spawnChance) spawn = true;
  if (d.spawnOnDeath != 0 && dies) spawn = true;
  if (!spawn) return;
  int64_t child = d.childDef;
  // Any range but 0 draws and adds rand() mod (range + 1), which keeps the
  // dividend's sign: a range of -3 adds 0 or 1. A range of -1 would divide by
  // zero: it adds nothing and draws nothing. Wide, so INT_MAX + 1 is defined.
  if (d.childDefRange != 0 && d.childDefRange != -1) child += rand() % (int64_t(d.childDefRange) + 1);
  if (child < 0 || child >= MAX_SCENE_ENTRIES) return;  // a spawn would drop it silently
  int count = d.spawnCount < MAX_CHILDREN_PER_BATCH ? d.spawnCount : MAX_CHILDREN_PER_BATCH;
  // A spawn that finds the pool full ends the batch: nothing frees a slot
  // before the batch ends, so the rest would only print the same line.
  for (int i = 0; i < count; ++i) {
    if (spawnInstance(int(child), slot) == 0) break;
  }
}

// Steps 1 to 15 for the live instance in slot; returns the slot that follows it,
// read after its children were spawned and before it is removed.
static int updateInstance(int slot) {
  EffectInstance& in = pool.slots[slot];
  if ((unsigned)in.def >= MAX_SCENE_ENTRIES) return in.next;  // spawning never stores such a number
  const EffectDef& d = scene.defs[in.def];
  resolveSource(in, d);
  moveAndChange(in, d);
  if (d.kind == KIND_IMAGE) updateSpriteFrame(slot);
  emitDrawRequests(slot);
  in.age = nextAge(in.age);
  bool dies = diesNow(in, d);
  spawnChildren(slot, d, dies);
  int next = in.next;
  if (dies) removeInstance(slot);
  return next;
}

void updateInstances(void) {
  if (pool.slots == nullptr || scene.defs == nullptr) return;
  int slot = pool.head;
  for (int updates = 0; updates < MAX_UPDATES_PER_TICK && isLive(slot); ++updates) slot = updateInstance(slot);
}

void updateSpriteFrame(int slot) {
  if (!isLive(slot) || scene.images == nullptr) return;
  EffectInstance& in = pool.slots[slot];
  if ((unsigned)in.source >= MAX_SCENE_ENTRIES) return;  // no image to read: nothing changes
  const ImageSlot& g = scene.images[in.source];
  int bw = g.info.bmWidth;
  int bh = g.info.bmHeight;
  if (bw != 0) in.hotX = scaleInt(truncToInt(in.width), g.hotX, bw);
  if (bh != 0) in.hotY = scaleInt(truncToInt(in.height), g.hotY, bh);
  if (g.frameCount == 0) {
    in.srcX = 0;
    in.srcY = 0;
    in.srcWidth = bw;
    in.srcHeight = bh;
    return;
  }
  int64_t ticksPerFrame = g.frameTicks != 0 ? g.frameTicks : 1;
  int64_t age = in.age;
  if (g.playMode == 0) {
    if (age >= int64_t(g.frameCount) * ticksPerFrame) return;  // the last frame shown stays
  } else if (g.playMode != 1) {
    return;
  }
  if (age % ticksPerFrame != 0) return;
  int64_t frameNumber;
  if (g.randomFrame != 0) {
    frameNumber = int64_t(rand()) % g.frameCount;
  } else {
    frameNumber = ((age / ticksPerFrame) % g.frameCount) + g.firstFrame - 1;
  }
  int frame = saturateInt(frameNumber);
  // A frame wider than the sheet (or a negative width) leaves one column.
  int64_t columns = g.frameWidth != 0 ? int64_t(bw) / g.frameWidth : 1;
  if (columns < 1) columns = 1;
  int row = saturateInt(frame / columns);
  int column = saturateInt(frame % columns);
  in.srcX = scaleInt(g.frameWidth, column, 1);
  in.srcY = scaleInt(g.frameHeight, row, 1);
  in.srcWidth = g.frameWidth != 0 ? g.frameWidth : bw;
  in.srcHeight = g.frameHeight != 0 ? g.frameHeight : bh;
}
