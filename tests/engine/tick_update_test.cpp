// The tick update: motion (velocity first) and orbit, death and emission
// schedules, clock digits, sprite frames, and instances whose values run away.
#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "engine/arith.h"
#include "platform/host/runtime/host_clock.h"
#include "tests/engine/invariants.h"

class TickTest : public EngineTest {
 protected:
  // Runs one update and returns how many draw requests it made, emptying the list.
  int updateAndCountDraws() {
    updateInstances();
    int n = int(drawOrder().size());
    emptyDrawList();
    return n;
  }
  // A 100x40 sheet of 20x20 frames in image slot 0 and an image definition 0
  // whose instances are 10 pixels wide and tall.
  ImageSlot& sheet() {
    ImageSlot& g = scene.images[0];
    g.info.bmWidth = 100;
    g.info.bmHeight = 40;
    g.hotX = 50;
    g.hotY = 20;
    g.frameWidth = g.frameHeight = 20;
    g.frameCount = 10;
    g.frameTicks = 2;
    g.firstFrame = 1;
    g.playMode = 1;
    EffectDef& d = liveDef(0, KIND_IMAGE);
    d.width = 10.0f;
    d.height = -1.0f;
    spawnInstance(0, 0);
    return g;
  }
};

TEST_F(TickTest, OrbitAddsItsTermsLikeASecondVelocity) {
  EffectDef& d = liveDef(0, KIND_NONE);
  d.orbitXX = d.orbitYY = 1.0f;
  d.radius = 10.0f;
  d.angleStep = 90.0f;
  spawnInstance(0, 0);
  updateInstances();
  EXPECT_NEAR(pool.slots[1].x, 0.0f, 1e-5);
  EXPECT_NEAR(pool.slots[1].y, 10.0f, 1e-5);
  updateInstances();
  EXPECT_NEAR(pool.slots[1].x, -10.0f, 1e-5);
  // The terms in single precision from the double sine narrowed to single.
  auto term = [](float degrees) { return 10.0f * float(std::sin(double(degrees * 0.017453292f))); };
  EXPECT_EQ(pool.slots[1].y, (0.0f + term(180.0f)) + (0.0f + term(90.0f)));
}

// An image whose height is -1 takes its width as height at its spawn (no
// number is drawn for it) and after every update; a text keeps a height of its own.
TEST_F(TickTest, HeightFollowsTheWidthButNotForTexts) {
  EffectDef& image = liveDef(0, KIND_IMAGE);
  image.width = 30.0f;
  image.widthRand = 5.0f;
  image.height = -1.0f;
  image.widthStep = 2.0f;
  image.heightStep = 7.0f;
  scene.defs[1] = image;
  scene.defs[1].kind = KIND_TEXT;
  spawnInstance(0, 0);
  EXPECT_EQ(drawsSince(1), 17);
  srand(1);
  spawnInstance(1, 0);
  EXPECT_EQ(drawsSince(1), 18);
  EXPECT_EQ(pool.slots[1].height, pool.slots[1].width);
  // Three updates: a height of its own would have grown by 7 each, not 2.
  for (int i = 1; i <= 3; ++i) updateAndCountDraws();
  EXPECT_EQ(pool.slots[1].height, pool.slots[1].width);
  EXPECT_EQ(pool.slots[2].height, -1.0f + 21.0f);
}

TEST_F(TickTest, DeathByLifetimeOrSizeAfterTheLastDraw) {
  liveDef(0, KIND_RECTANGLE).lifetime = 3;
  spawnInstance(0, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(updateAndCountDraws(), 1) << "drawn in update " << i + 1;
  EXPECT_TRUE(liveOrder().empty());

  liveDef(1, KIND_RECTANGLE).lifetime = -1;
  spawnInstance(1, 0);
  EXPECT_EQ(updateAndCountDraws(), 1);
  EXPECT_TRUE(liveOrder().empty());

  EffectDef& shrinking = liveDef(2, KIND_RECTANGLE);
  shrinking.width = 2.0f;
  shrinking.widthStep = -1.0f;
  scene.defs[3] = shrinking;
  scene.defs[3].source = -1;  // exempt from the size rule
  spawnInstance(2, 0);
  spawnInstance(3, 0);
  EXPECT_EQ(updateAndCountDraws() + updateAndCountDraws(), 4);
  EXPECT_EQ(liveOrder(), std::vector<int>{2}) << "only the instance of definition 3 lives";
}

// The ages (after the increase) at which a child is spawned over 12 updates:
// spawnAtAge 1 in the first update, spawnAtAge 0 never, spawnEvery 5 at 1, 6, 11.
// The children are counted by the pool's liveOf, which the invariants check.
TEST_F(TickTest, EmissionSchedules) {
  const struct {
    int spawnAtAge, spawnEvery;
    std::vector<int> ages;
  } rows[] = {{1, 0, {1}}, {0, 0, {}}, {0, 5, {1, 6, 11}}};
  liveDef(1, KIND_NONE);
  for (const auto& row : rows) {
    clearInstances();
    EffectDef& d = liveDef(0, KIND_NONE);
    d.childDef = 1;
    d.spawnCount = 2;
    d.spawnAtAge = row.spawnAtAge;
    d.spawnEvery = row.spawnEvery;
    spawnInstance(0, 0);
    std::vector<int> ages;
    for (int i = 0; i < 12; ++i) {
      int before = pool.liveOf[1];
      updateInstances();
      if (pool.liveOf[1] > before) ages.push_back(pool.slots[1].age);
      ASSERT_EQ(pool.liveOf[1], 2 * int(ages.size())) << "spawnCount children each time";
    }
    EXPECT_EQ(ages, row.ages) << row.spawnAtAge << " " << row.spawnEvery;
  }
}

TEST_F(TickTest, ChanceIsDrawnEveryTickAndChildNumbersAddTheirRange) {
  EffectDef& d = liveDef(0, KIND_NONE);
  spawnInstance(0, 0);
  // Eight spreads a tick, and the chance draw only while a child is named.
  for (int child : {10, -1}) {
    d.childDef = child;
    srand(3);
    updateInstances();
    EXPECT_EQ(drawsSince(3), child == 10 ? 9 : 8);
  }
  EXPECT_EQ(liveOrder().size(), 1u) << "spawnChance 0 never spawns";
  for (int k = 10; k <= 15; ++k) liveDef(k, KIND_NONE);
  d.childDef = 10;
  d.spawnChance = 100;
  d.spawnCount = 1;
  // Seed 2's tenth number is 18316: range 2 adds 18316 mod 3, range -7 adds
  // 18316 mod -6, which keeps the dividend's sign; 0 and -1 draw nothing.
  struct {
    int range, draws, def;
  } rows[] = {{0, 0, 10}, {-1, 0, 10}, {2, 1, 11}, {-7, 1, 14}};
  for (const auto& row : rows) {
    clearInstances();
    spawnInstance(0, 0);
    d.childDefRange = row.range;
    srand(2);
    updateInstances();
    // Parent 9 draws (10 with the child number); the child 18 at its spawn and 8 in its own update.
    EXPECT_EQ(drawsSince(2), 9 + row.draws + 18 + 8) << row.range;
    EXPECT_EQ(pool.slots[liveOrder().back()].def, row.def) << row.range;
  }
  clearInstances();
  d.childDef = -2;  // below -1: nothing is spawned
  d.childDefRange = 0;
  spawnInstance(0, 0);
  updateInstances();
  EXPECT_EQ(liveOrder().size(), 1u);
}

// The parent's x after ten updates at acceleration 1 is 1 + 2 + ... + 10 = 55
// only when velocity is changed before position (45 the other way round).
TEST_F(TickTest, DeathChildrenSeeTheFinalValuesAndAreUpdatedAtTheTail) {
  EffectDef& parent = liveDef(0, KIND_RECTANGLE);
  parent.accelX = 1.0f;
  parent.lifetime = 10;
  parent.childDef = 1;
  parent.spawnOnDeath = 1;
  parent.spawnCount = 1;
  parent.inheritFlags = INHERIT_OFFSET;
  liveDef(1, KIND_RECTANGLE).layer = 0;
  liveDef(2, KIND_RECTANGLE);
  spawnInstance(0, 0);
  spawnInstance(2, 0);  // after the parent: the child is appended behind it
  for (int i = 0; i < 9; ++i) updateAndCountDraws();
  EXPECT_EQ(pool.liveOf[1], 0);
  updateInstances();
  EXPECT_EQ(liveOrder(), (std::vector<int>{2, 3}));  // the child took slot 3 before its parent left slot 1
  const EffectInstance& child = pool.slots[liveOrder().back()];
  EXPECT_EQ(std::make_tuple(child.def, child.x, child.age), std::make_tuple(1, 55.0f, 1));
  std::vector<int> order = drawOrder();
  ASSERT_EQ(order.size(), 3u);  // parent, the other instance, then the child
  EXPECT_EQ(std::make_pair(drawList[order[0]].x, drawList[order[2]].x), std::make_pair(55, 55));
}

// Self-spawning fills the pool in one update and the walk ends; a chain of
// dying spawners and a huge batch stay bounded.
TEST_F(TickTest, SpawnersFillingThePoolStayBounded) {
  EffectDef& d = liveDef(0, KIND_NONE);
  d.childDef = 0;
  d.spawnChance = 100;
  d.spawnCount = 1;
  spawnInstance(0, 0);
  const std::string line = "エフェクト登録最大数に達してます\n";
  captureConsole();
  updateInstances();
  EXPECT_EQ(capturedConsole(), line);
  EXPECT_EQ(liveOrder().size(), 1023u);
  EXPECT_EQ(pool.slots[1023].age, 1);  // the last child was updated in its spawn tick
  captureConsole();
  updateInstances();
  EXPECT_EQ(capturedConsole(), line + "(1022 more times)\n");  // a line per dropped child

  clearInstances();
  d.lifetime = -1;
  d.spawnChance = 0;
  d.spawnOnDeath = 1;
  spawnInstance(0, 0);
  updateInstances();  // each instance dies in its first update and spawns its successor
  ASSERT_EQ(liveOrder().size(), 1u);
  EXPECT_EQ(pool.slots[liveOrder()[0]].age, 0);  // the last one waits for the next tick

  clearInstances();
  d.lifetime = 0;
  d.spawnOnDeath = 0;
  d.childDef = 1;
  d.spawnAtAge = 1;
  d.spawnCount = INT_MAX;
  liveDef(1, KIND_NONE);
  spawnInstance(0, 0);
  captureConsole();
  updateInstances();
  EXPECT_EQ(liveOrder().size(), 1023u);
  // The batch ends at its first spawn into the full pool: one line, not one per remaining attempt.
  EXPECT_EQ(capturedConsole(), line);
}

TEST_F(TickTest, ClockDigitsOfTheLocalTime) {
  SYSTEMTIME start;
  ASSERT_TRUE(host::parseLocalTime("2007-03-14T09:05:37", &start));
  host::clockUseVirtual(start);
  for (int code = -1; code >= -16; --code) {  // -2..-15 are the clock codes
    liveDef(-code, KIND_IMAGE).source = code;
    spawnInstance(-code, 0);
  }
  updateInstances();
  host::clockUseReal();
  std::vector<int> digits;
  for (int s : liveOrder()) digits.push_back(pool.slots[s].source);
  EXPECT_EQ(digits, (std::vector<int>{-1, 2, 0, 0, 7, 0, 3, 1, 4, 0, 9, 0, 5, 3, 7, -16}));
}

// Frame k of the sheet lies at column k % 5, row k / 5, and changes every two
// ticks: looped (play mode 1), played once and kept at the tenth (play mode 0),
// or drawn at random after the instance's eight spreads.
TEST_F(TickTest, SpriteFramesLoopPlayOnceOrAreDrawnAtRandom) {
  for (int mode : {1, 0, -1}) {
    clearInstances();
    ImageSlot& g = sheet();
    g.playMode = mode == 0 ? 0 : 1;
    g.randomFrame = mode == -1;
    srand(11);
    ReferenceRand ref{11};
    for (int age = 0; age < 45; ++age) {
      for (int i = 0; i < 8; ++i) ref.next();
      int k = mode == 1 ? (age / 2) % 10 : mode == 0 ? std::min(age / 2, 9) : age % 2 == 0 ? ref.next() % 10 : -1;
      updateAndCountDraws();
      if (k < 0) continue;
      ASSERT_EQ(std::make_tuple(pool.slots[1].srcX, pool.slots[1].srcY, pool.slots[1].srcWidth),
                std::make_tuple(20 * (k % 5), 20 * (k / 5), 20))
          << mode << " " << age;
    }
    // The hot spot scaled to the instance's size: 10 * 50 / 100 and 10 * 20 / 40.
    EXPECT_EQ(std::make_pair(pool.slots[1].hotX, pool.slots[1].hotY), std::make_pair(5, 5));
  }
}

TEST_F(TickTest, SpriteSourceRectangleWithoutAnimationOrImage) {
  ImageSlot& g = sheet();
  EffectInstance& in = pool.slots[1];
  g.frameCount = 0;  // no animation: the whole bitmap
  updateInstances();
  EXPECT_EQ(std::make_pair(in.srcWidth, in.srcHeight), std::make_pair(100, 40));
  g.frameCount = 10;
  g.playMode = 2;  // with frames: the rectangle stays empty
  in.srcWidth = in.srcHeight = 0;
  updateInstances();
  EXPECT_EQ(in.srcWidth, 0);
  memset(&g, 0, sizeof g);  // an empty slot: the hot spot stays, the rectangle is empty
  in.hotX = 3;
  updateInstances();
  EXPECT_EQ(std::make_pair(in.hotX, in.srcWidth), std::make_pair(3, 0));
  for (int source : {-1, -20, 256, INT_MAX}) {  // no image number at all: nothing changes
    scene.defs[0].source = source;
    in.srcX = 7;
    in.hotY = 9;
    updateInstances();
    EXPECT_EQ(std::make_pair(in.srcX, in.hotY), std::make_pair(7, 9)) << source;
    emptyDrawList();
  }
}

TEST_F(TickTest, OddFrameSizesNeverDivideByZero) {
  ImageSlot& g = sheet();
  g.frameWidth = 200;  // wider than the sheet: one column
  g.frameTicks = 1;
  for (int age = 0; age < 3; ++age) {
    updateInstances();
    EXPECT_EQ(std::make_pair(pool.slots[1].srcX, pool.slots[1].srcY), std::make_pair(0, 20 * age)) << age;
  }
  for (int width : {0, -1, -20, INT_MIN, INT_MAX})
    for (int count : {-1, -3, INT_MIN})
      for (int ticks : {-1, -2, INT_MIN}) {
        g.frameWidth = width;
        g.frameCount = count;
        g.frameTicks = ticks;
        g.firstFrame = INT_MIN;
        g.playMode = 1;
        g.info.bmWidth = INT_MIN;
        pool.slots[1].age = INT_MIN;
        updateInstances();
        g.playMode = 0;
        updateAndCountDraws();
      }
  EXPECT_EQ(liveOrder().size(), 1u);
}

TEST_F(TickTest, AgesWrapWithoutOverflow) {
  EffectDef& d = liveDef(0, KIND_TEXT);
  d.childDef = 1;
  d.spawnEvery = -1;
  d.spawnAtAge = INT_MIN;
  scene.texts[0].typeSpeed = INT_MIN;
  scene.texts[0].text[0] = u'A';
  spawnInstance(0, 0);
  pool.slots[1].age = INT_MAX - 1;
  for (int i = 0; i < 3; ++i) updateAndCountDraws();
  EXPECT_EQ(pool.slots[1].age, INT_MIN + 1);
}

// Instances whose accelerations never stop: positions, sizes and colours go to
// infinity and NaN, and every request they make stays defined (a text's
// saturated right edge is TextNeedsARightEdgeAndFontHeightAndATextSlot's).
TEST_F(TickTest, RunawayValuesRunAHundredThousandTicks) {
  ImageSlot& g = sheet();  // its instance of definition 0 in slot 1
  g.hotY = INT_MAX;
  g.frameTicks = 0;  // a frame a tick
  for (int n = 0; n < 6; ++n) {
    EffectDef& d = liveDef(n, KIND_IMAGE + n);
    d.widthAccel = d.heightAccel = d.alphaAccel = 1e30f;
    d.accelX = 1e29f;
    d.accelYRand = 1e30f;
    d.redAccel = -1e30f;
    d.radiusStep = 1e38f;
    d.angleStep = 1e38f;
    d.orbitXX = d.orbitXY = d.orbitYY = 3e38f;
    d.pivotX = 1e30f;
    d.layer = n;
  }
  scene.defs[0].height = -1.0f;
  scene.defs[2].source = -1;
  scene.defs[4].source = 4;  // lines to the instances of definition 4, itself included
  scene.defs[5].source = 999;
  TextSlot& text = scene.texts[0];
  text.text[0] = u'A';
  text.typeSpeed = -INT_MAX;
  text.shadowOffset = INT_MIN;
  text.boldBacking = 1;
  for (int n = 1; n < 6; ++n) spawnInstance(n, 0);
  int lastDraws = 0;
  for (int t = 0; t < 100000; ++t) {
    updateInstances();
    lastDraws = int(drawOrder().size());
    emptyDrawList();
  }
  EXPECT_EQ(liveOrder().size(), 6u);
  EXPECT_GT(lastDraws, 0);
  EXPECT_EQ(pool.slots[1].age, 100000);
}
