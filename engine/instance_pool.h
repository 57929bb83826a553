// The instance pool: the live effect instances of the running show, their
// spawning and removal, and the random spread their values are drawn with.
//
// Invariants: slot 0 is never used, so 0 means no instance; the live instances
// form one list through next/prev from head, in spawn order; head is 1 whenever
// the list is empty; a free slot is all zero; tail, live, used and liveOf agree
// with the slots. The pool never grows: a full pool drops the spawn with one debug line. Dependencies: scene tables, clientRect,
// the device runtime's rand.
#pragma once

#include "engine/scene_tables.h"

#define MAX_INSTANCES 1024  // slots 1..1023 hold instances

struct EffectInstance {
  BYTE inUse;
  int source;
  int age;
  float x, y;
  float vx, vy;
  float radius;
  float angle;
  float width, height;
  float widthStep, heightStep;
  float alpha, red, green, blue;
  float alphaStep, redStep, greenStep, blueStep;
  int srcX, srcY, srcWidth, srcHeight;
  int hotX, hotY;
  int baseX, baseY;
  int def;
  int next, prev;
};

struct InstancePool {
  EffectInstance* slots;  // MAX_INSTANCES slots, null while no show runs
  int head;
  // What would otherwise take a walk over the slots: the live list's last
  // instance (0 when empty), the slots in use, a bit per slot set while it is in
  // use (slot 0's always), and the live instances of each definition.
  int tail;
  int live;
  uint64_t used[MAX_INSTANCES / 64];
  int liveOf[MAX_SCENE_ENTRIES];
};

extern InstancePool pool;

// Allocates and zeroes the slots; head 1. Returns 1, or 0 when memory ran out.
int allocateInstancePool(void);
void releaseInstancePool(void);
void clearInstances(void);
// Spawns an instance of definition; the slot it took, or 0 when none (a full
// pool, a bad definition or no pool).
int spawnInstance(int definition, int parent);
void initInstance(int slot, int definition, int parent);
void removeInstance(int slot);
void removeInstancesOf(int definition);
// True when slot names a live instance of the allocated pool.
bool isLive(int slot);
float randomSpread(float spread);
float degreesToRadians(float degrees);

// The debug line printed for a spawn dropped by a full pool, in Shift-JIS.
extern const char poolFullLine[];
