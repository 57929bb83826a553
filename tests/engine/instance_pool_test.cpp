// The instance pool: slots and list order, the full pool, removal, start values
// with their random spreads and inheritance, and the random spread itself.
#include <string>
#include <tuple>

#include "tests/engine/invariants.h"

using PoolTest = EngineTest;

TEST_F(PoolTest, SpawnsTakeTheLowestFreeSlotAndAppendAtTheTail) {
  spawnInstance(0, 0);
  EXPECT_EQ(pool.head, 1);
  spawnInstance(0, 0);
  spawnInstance(0, 0);
  EXPECT_EQ(liveOrder(), (std::vector<int>{1, 2, 3}));
  removeInstance(2);
  EXPECT_TRUE(poolInvariantsHold());
  spawnInstance(0, 0);
  EXPECT_EQ(liveOrder(), (std::vector<int>{1, 3, 2}));
  removeInstance(1);  // the head: its successor takes over
  EXPECT_EQ(pool.head, 3);
  removeInstance(3);
  removeInstance(2);
  EXPECT_EQ(pool.head, 1);
  spawnInstance(0, 0);
  EXPECT_EQ(liveOrder(), (std::vector<int>{1}));
  removeInstance(1);
  removeInstance(1);  // a free slot: nothing happens
  removeInstance(0);
  removeInstance(5000);
}

// A spawn of a definition outside the table, or into the full pool, changes
// nothing and draws no number; only the full pool prints its line.
TEST_F(PoolTest, SpawnsOutsideTheTableOrIntoAFullPoolDoNothing) {
  captureConsole();
  spawnInstance(256, 0);
  spawnInstance(-1, 0);
  spawnInstance(INT_MIN, 0);
  EXPECT_EQ(capturedConsole(), "");
  EXPECT_TRUE(liveOrder().empty());
  EXPECT_EQ(drawsSince(1), 0);
  for (int i = 0; i < MAX_INSTANCES - 1; ++i) spawnInstance(i % 3, 0);
  ASSERT_EQ(liveOrder().size(), 1023u);
  std::vector<EffectInstance> before(pool.slots, pool.slots + MAX_INSTANCES);
  int head = pool.head;
  srand(7);
  captureConsole();
  spawnInstance(1, 5);
  EXPECT_EQ(capturedConsole(), "エフェクト登録最大数に達してます\n");
  EXPECT_EQ(drawsSince(7), 0);
  EXPECT_EQ(std::memcmp(before.data(), pool.slots, sizeof(EffectInstance) * MAX_INSTANCES), 0);
  EXPECT_EQ(pool.head, head);
}

TEST_F(PoolTest, StartValuesDrawTheSpreadsInRowOrder) {
  EffectDef& d = scene.defs[3];
  float* starts[18] = {&d.offsetX, &d.offsetY, &d.velX, &d.velY, &d.radius, &d.angle, &d.width, &d.height,
                       &d.widthStep, &d.heightStep, &d.alpha, &d.alphaStep, &d.red, &d.redStep, &d.green,
                       &d.greenStep, &d.blue, &d.blueStep};
  float* spreads[18] = {&d.offsetXRand, &d.offsetYRand, &d.velXRand, &d.velYRand, &d.radiusRand, &d.angleRand,
                        &d.widthRand, &d.heightRand, &d.widthStepRand, &d.heightStepRand, &d.alphaRand,
                        &d.alphaStepRand, &d.redRand, &d.redStepRand, &d.greenRand, &d.greenStepRand,
                        &d.blueRand, &d.blueStepRand};
  for (int row = 0; row < 18; ++row) {
    *starts[row] = 100.0f * float(row + 1);
    *spreads[row] = float(row + 1);
  }
  d.posFracX = 0.5f;
  d.posFracY = 0.999f;
  spawnInstance(3, 0);
  const EffectInstance& in = pool.slots[1];
  const float fields[18] = {in.x, in.y, in.vx, in.vy, in.radius, in.angle, in.width, in.height,
                            in.widthStep, in.heightStep, in.alpha, in.alphaStep, in.red, in.redStep,
                            in.green, in.greenStep, in.blue, in.blueStep};
  ReferenceRand ref{1};
  for (int row = 0; row < 18; ++row) {
    EXPECT_EQ(fields[row], *starts[row] + referenceSpread(ref.next(), *spreads[row])) << "row " << row;
  }
  EXPECT_EQ(std::make_tuple(in.def, in.baseX, in.baseY), std::make_tuple(3, 120, 319));  // 319.68 truncates
  EXPECT_EQ(drawsSince(1), 18);
}

TEST_F(PoolTest, InheritanceAddsTheParentsValuesByTheParentsFlags) {
  EffectDef& parentDef = scene.defs[1];
  parentDef.offsetX = 40.0f;
  parentDef.velX = 2.0f;
  parentDef.width = 8.0f;
  parentDef.alpha = 90.0f;
  parentDef.inheritFlags = INHERIT_OFFSET | INHERIT_SIZE;
  parentDef.posFracX = 0.5f;
  EffectDef& childDef = scene.defs[2];
  childDef.offsetX = 1.5f;
  childDef.velX = 1.0f;
  childDef.width = 3.0f;
  childDef.alpha = 10.0f;
  childDef.inheritFlags = INHERIT_VELOCITY | INHERIT_COLOUR;  // a child's own flags do not count
  spawnInstance(1, 0);
  spawnInstance(2, 1);
  const EffectInstance& child = pool.slots[2];
  // Offset and size from the parent (its flags), velocity and colour its own.
  EXPECT_EQ(std::make_tuple(child.x, child.width, child.vx, child.alpha), std::make_tuple(41.5f, 11.0f, 1.0f, 10.0f));
  EXPECT_EQ(child.baseX, 0);  // the base comes from the child's own definition
  // A parent that is not live, or no slot at all, counts as none.
  for (int parent : {7, -4, 1023, 1024, 99999, 8}) {  // 8: the very slot taken
    spawnInstance(2, parent);
    EXPECT_EQ(pool.slots[liveOrder().back()].x, 1.5f) << parent;
  }
}

// The spread of 10 draws k = rand() % 1000 + 1 and gives (k / 500 - 1) * 10:
// one of -9.98, -9.96, ... 9.98, 10.0, never -10; a spread of 0 still draws.
// The reference generator is pinned by the device's first numbers from seed 1;
// over 100,000 draws every k comes up, each value exactly the reference's.
TEST_F(PoolTest, RandomSpreadGivesExactlyTheThousandValues) {
  ReferenceRand first{1};
  for (int value : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(first.next(), value);
  ReferenceRand ref{1};
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(randomSpread(10.0f), referenceSpread(ref.next(), 10.0f)) << i;
  EXPECT_EQ(referenceSpread(999, 10.0f), 10.0f);  // k = 1000
  EXPECT_NEAR(referenceSpread(1000, 10.0f), -9.98f, 1e-5);  // k = 1, the lowest
  EXPECT_EQ(randomSpread(0.0f), 0.0f);
  ref.next();
  EXPECT_EQ(rand(), ref.next());
}
