// The tick update: one step of the simulation for every live instance, in list
// order: its source, motion, size and colour, its draw requests, its age, its
// death, its children. Dependencies: the pool, the scene tables, the draw
// requests, the local time.
#pragma once

#include "engine/instance_pool.h"

// The most instance updates one tick performs. Children are appended to the list
// being walked, so instances that die in their first update while spawning a
// death child would otherwise keep the walk going for ever; a finite chain of
// 1023 roots through all 256 definitions stays below this. The walk stops there
// and the instances not reached are updated from the next tick on.
#define MAX_UPDATES_PER_TICK (MAX_INSTANCES * MAX_SCENE_ENTRIES)

// Advances every live instance by one tick, starting at the head.
void updateInstances(void);

// Sets the scaled hot spot and the sprite-sheet source rectangle of the image
// instance in slot from its ImageSlot and its age; an instance whose source is
// no image number 0..255 keeps both unchanged.
void updateSpriteFrame(int slot);
