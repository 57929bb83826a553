// The timed events: table order within a tick, the gate, removal actions and a
// bad event count.
#include "engine/timed_events.h"
#include "tests/engine/invariants.h"

class EventsTest : public EngineTest {
 protected:
  void addEvent(int atTick, int gate, int target, int action) {
    scene.events[scene.eventCount++] = EventEntry{atTick, gate, target, action};
  }
  int countOf(int definition) {
    int n = 0;
    for (int s : liveOrder()) n += pool.slots[s].def == definition;
    return n;
  }
};

TEST_F(EventsTest, SpawnThenRemoveLeavesNoneAndTheReverseLeavesTheNewOne) {
  spawnInstance(3, 0);
  tick = 40;
  addEvent(40, 0, 3, EVENT_SPAWN);
  addEvent(40, 0, 3, EVENT_REMOVE_DEF);
  dispatchEvents();
  EXPECT_EQ(countOf(3), 0);
  spawnInstance(3, 0);
  pool.slots[1].age = 5;  // marks the old instance
  scene.eventCount = 0;
  addEvent(40, 0, 3, EVENT_REMOVE_DEF);
  addEvent(40, 0, 3, EVENT_SPAWN);
  dispatchEvents();
  EXPECT_EQ(liveOrder(), (std::vector<int>{1}));
  EXPECT_EQ(pool.slots[1].age, 0);
}

TEST_F(EventsTest, RemoveAllActsOnTheEventsBeforeIt) {
  tick = 5;
  addEvent(5, 0, 1, EVENT_SPAWN);
  addEvent(5, 0, 2, EVENT_SPAWN);
  addEvent(5, 0, 99, EVENT_REMOVE_ALL);
  addEvent(5, 0, 4, EVENT_SPAWN);
  addEvent(5, 0, 4, 3);  // unknown actions do nothing
  addEvent(6, 0, 5, EVENT_SPAWN);
  dispatchEvents();
  ASSERT_EQ(liveOrder(), (std::vector<int>{1}));
  EXPECT_EQ(pool.slots[1].def, 4);
}

TEST_F(EventsTest, GatedEventsNeverFireAndRepeatsFireAgain) {
  tick = 2;
  addEvent(2, 1, 1, EVENT_SPAWN);
  addEvent(2, -1, 1, EVENT_SPAWN);
  dispatchEvents();
  EXPECT_TRUE(liveOrder().empty());
  addEvent(2, 0, 1, EVENT_SPAWN);
  dispatchEvents();
  dispatchEvents();
  EXPECT_EQ(countOf(1), 2);
}

TEST_F(EventsTest, EventCountIsClampedToTheTable) {
  tick = 9;
  scene.events[255] = EventEntry{9, 0, 1, EVENT_SPAWN};
  scene.eventCount = 100000;
  dispatchEvents();
  EXPECT_EQ(countOf(1), 1);
  scene.eventCount = -5;
  dispatchEvents();
  EXPECT_EQ(countOf(1), 1);
}

TEST_F(EventsTest, SpawnedInstanceIsUpdatedInTheSameFrame) {
  liveDef(3, KIND_RECTANGLE).layer = 2;
  addEvent(1, 0, 3, EVENT_SPAWN);
  ++tick;
  dispatchEvents();
  updateInstances();
  EXPECT_EQ(pool.slots[1].age, 1);
  EXPECT_EQ(drawOrder().size(), 1u);
}
