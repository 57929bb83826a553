// The timed events: each frame, the events whose tick is the current tick and
// whose gate is 0 act in table order, each seeing the result of those before it.
//
// The dispatch keeps no record of what fired; it compares against the tick
// counter every time it runs. It never reads past the 256-entry event table,
// whatever the event count says. Dependencies: the scene tables, the pool.
#include "engine/timed_events.h"

#include "engine/instance_pool.h"

// Carries out one firing event's action; unknown actions do nothing.
static void fireEvent(const EventEntry& event) {
  switch (event.action) {
    case EVENT_SPAWN:
      spawnInstance(event.target, 0);
      break;
    case EVENT_REMOVE_DEF:
      removeInstancesOf(event.target);
      break;
    case EVENT_REMOVE_ALL:
      clearInstances();
      break;
    default:
      break;
  }
}

void dispatchEvents(void) {
  if (scene.events == nullptr || pool.slots == nullptr) return;
  int count = scene.eventCount;
  if (count > MAX_SCENE_ENTRIES) count = MAX_SCENE_ENTRIES;
  for (int i = 0; i < count; ++i) {
    const EventEntry& event = scene.events[i];
    if (event.tick == tick && event.gate == 0) fireEvent(event);
  }
}
