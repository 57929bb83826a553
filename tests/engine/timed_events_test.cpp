// The timed events: table order within a tick, the gate, removal actions,
// repeated dispatch and a bad event count.
#include <string>

#include "engine/timed_events.h"
#include "tests/engine/invariants.h"

using EventsTest = EngineTest;

namespace {

// The live instances as "definition:age", in list order.
std::string live() {
  std::string out;
  for (int s : liveOrder()) out += (out.empty() ? "" : " ") + std::to_string(pool.slots[s].def) + ":" +
                                   std::to_string(pool.slots[s].age);
  return out;
}

}  // namespace

// Instances of the definitions in `before` (aged 5) exist; the events are
// dispatched `dispatches` times at tick 40.
TEST_F(EventsTest, EventsActInTableOrderWithinTheirTick) {
  const int S = EVENT_SPAWN, R = EVENT_REMOVE_DEF, ALL = EVENT_REMOVE_ALL;
  const struct {
    const char* what;
    std::vector<int> before;
    std::vector<EventEntry> events;
    int dispatches;
    const char* live;
  } rows[] = {
      {"spawn then remove leaves none", {3}, {{40, 0, 3, S}, {40, 0, 3, R}}, 1, ""},
      {"remove then spawn leaves the new one", {3}, {{40, 0, 3, R}, {40, 0, 3, S}}, 1, "3:0"},
      {"removing a definition keeps the others in order; no instance of 77 or -3 exists", {4, 1, 4, 2, 4},
       {{40, 0, 4, R}, {40, 0, 77, R}, {40, 0, -3, R}}, 1, "1:5 2:5"},
      {"remove-all leaves an empty pool", {7, 8}, {{40, 0, 0, ALL}}, 1, ""},
      {"remove-all acts on the events before it; unknown actions and other ticks do nothing", {7},
       {{40, 0, 1, S}, {40, 0, 2, S}, {40, 0, 99, ALL}, {40, 0, 4, S}, {40, 0, 4, 3}, {41, 0, 5, S}}, 1, "4:0"},
      {"a gate other than 0 never fires", {}, {{40, 1, 1, S}, {40, -1, 1, S}}, 1, ""},
      {"a second dispatch of the same tick fires again", {}, {{40, 0, 1, S}}, 2, "1:0 1:0"},
  };
  tick = 40;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    clearInstances();
    for (int d : row.before) spawnInstance(d, 0);
    for (int s : liveOrder()) pool.slots[s].age = 5;
    scene.eventCount = 0;
    for (const EventEntry& e : row.events) scene.events[scene.eventCount++] = e;
    for (int i = 0; i < row.dispatches; ++i) dispatchEvents();
    EXPECT_EQ(live(), row.live);
    EXPECT_TRUE(poolInvariantsHold());
  }
}

TEST_F(EventsTest, EventCountIsClampedToTheTable) {
  tick = 9;
  scene.events[255] = EventEntry{9, 0, 1, EVENT_SPAWN};
  scene.eventCount = 100000;
  dispatchEvents();
  scene.eventCount = -5;
  dispatchEvents();
  EXPECT_EQ(live(), "1:0");
}
