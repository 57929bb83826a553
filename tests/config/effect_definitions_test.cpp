// The @set record: effect definitions, kind letters, clock codes and flags.
#include <string>

#include "config_test_support.h"

namespace {

using config_test::ConfigTest;
using config_test::wide;

class EffectDefinitionsTest : public ConfigTest {
 protected:
  // Parses one @set record; the parse's result.
  int parseSet(const std::string& record) { return parse("@set\r\n" + record + "\r\n@\r\n"); }
};

const char kWorkedExample[] =
    "@set\r\n"
    "0, g, 12, 10, 0.5, 0.5, 0[20], 0[20], 0[2], -3[1], 0, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 16[4], -1, 0, 0, 0, 0, "
    "255, -4, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 60, -1, 0, 0, 0, 0, 0, \"00000\"\r\n"
    "1, g, H1, 20, 0.4, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, -1, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, "
    "255, 0, 0, 255, 0, 0, 0, 0, 0, 10, 0, 0, 3, \"10000\"\r\n"
    "@\r\n";

TEST_F(EffectDefinitionsTest, WorkedExampleLoadsAsDescribed) {
  ASSERT_EQ(parse(kWorkedExample), 1);
  const EffectDef& spark = scene.defs[0];
  config_test::expectFields({{"kind", spark.kind, KIND_IMAGE}, {"source", spark.source, 12},
                             {"layer", spark.layer, 10}, {"posFracX", spark.posFracX, 0.5f},
                             {"posFracY", spark.posFracY, 0.5f}, {"pivotX", spark.pivotX, 0},
                             {"offsetX", spark.offsetX, 0}, {"offsetXRand", spark.offsetXRand, 20},
                             {"offsetYRand", spark.offsetYRand, 20}, {"velX", spark.velX, 0},
                             {"velXRand", spark.velXRand, 2}, {"velY", spark.velY, -3},
                             {"velYRand", spark.velYRand, 1}, {"accelX", spark.accelX, 0},
                             {"accelY", spark.accelY, (float)0.1}, {"radius", spark.radius, 0},
                             {"orbitXY", spark.orbitXY, 0}, {"width", spark.width, 16},
                             {"widthRand", spark.widthRand, 4}, {"height", spark.height, -1},
                             {"widthStep", spark.widthStep, 0}, {"alpha", spark.alpha, 255},
                             {"alphaStep", spark.alphaStep, -4}, {"alphaAccel", spark.alphaAccel, 0},
                             {"red", spark.red, 255}, {"green", spark.green, 255}, {"blue", spark.blue, 255},
                             {"blueStep", spark.blueStep, 0}, {"lifetime", spark.lifetime, 60},
                             {"childDef", spark.childDef, -1}, {"childDefRange", spark.childDefRange, 0},
                             {"spawnCount", spark.spawnCount, 0}, {"inheritFlags", spark.inheritFlags, 0}});
  const EffectDef& hour = scene.defs[1];
  config_test::expectFields({{"kind", hour.kind, KIND_IMAGE}, {"source", hour.source, -10},
                             {"layer", hour.layer, 20}, {"posFracX", hour.posFracX, 0.4f},
                             {"posFracY", hour.posFracY, 0.1f}, {"width", hour.width, 32},
                             {"height", hour.height, -1}, {"alpha", hour.alpha, 255}, {"blue", hour.blue, 255},
                             {"lifetime", hour.lifetime, 0}, {"childDef", hour.childDef, 0},
                             {"childDefRange", hour.childDefRange, 0}, {"spawnAtAge", hour.spawnAtAge, 0},
                             {"spawnEvery", hour.spawnEvery, 10}, {"spawnChance", hour.spawnChance, 0},
                             {"spawnOnDeath", hour.spawnOnDeath, 0}, {"spawnCount", hour.spawnCount, 3},
                             {"inheritFlags", hour.inheritFlags, INHERIT_OFFSET}});
}

// Every float pair lands in its own field: position k (5..38) holds the value
// k and the bracket value k + 100.
TEST_F(EffectDefinitionsTest, EveryPositionGoesToItsField) {
  std::string record = "3, s, 1, 2";
  for (int k = 5; k <= 38; ++k) record += ", " + std::to_string(k) + "[" + std::to_string(k + 100) + "]";
  record += ", 39, 40[140], 41, 42, 43, 44, 45, 11111";
  ASSERT_EQ(parseSet(record), 1);
  const EffectDef& d = scene.defs[3];
  EXPECT_EQ(d.kind, KIND_RECTANGLE);
  EXPECT_EQ(d.source, 1);
  EXPECT_EQ(d.layer, 2);
  const float values[] = {d.posFracX, d.posFracY, d.offsetX, d.offsetY, d.velX, d.velY, d.accelX, d.accelY,
                          d.radius, d.radiusStep, d.angle, d.angleStep, d.orbitXX, d.orbitYY, d.orbitYX,
                          d.orbitXY, d.width, d.height, d.widthStep, d.heightStep, d.widthAccel, d.heightAccel,
                          d.alpha, d.alphaStep, d.alphaAccel, d.red, d.redStep, d.redAccel, d.green,
                          d.greenStep, d.greenAccel, d.blue, d.blueStep, d.blueAccel};
  for (int k = 5; k <= 38; ++k) EXPECT_EQ(values[k - 5], float(k)) << "position " << k;
  const float brackets[] = {d.pivotX, d.pivotY, d.offsetXRand, d.offsetYRand, d.velXRand, d.velYRand,
                            d.accelXRand, d.accelYRand, d.radiusRand, d.angleRand, d.widthRand, d.heightRand,
                            d.widthStepRand, d.heightStepRand, d.widthAccelRand, d.heightAccelRand,
                            d.alphaRand, d.alphaStepRand, d.alphaAccelRand, d.redRand, d.redStepRand,
                            d.redAccelRand, d.greenRand, d.greenStepRand, d.greenAccelRand, d.blueRand,
                            d.blueStepRand, d.blueAccelRand};
  const int bracketPositions[] = {5,  6,  7,  8,  9,  10, 11, 12, 13, 15, 21, 22, 23, 24,
                                  25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38};
  for (int i = 0; i < 28; ++i) {
    EXPECT_EQ(brackets[i], float(bracketPositions[i] + 100)) << "position " << bracketPositions[i];
  }
  config_test::expectFields({{"lifetime", d.lifetime, 39}, {"childDef", d.childDef, 40},
                             {"childDefRange", d.childDefRange, 140}, {"spawnAtAge", d.spawnAtAge, 41},
                             {"spawnEvery", d.spawnEvery, 42}, {"spawnChance", d.spawnChance, 43},
                             {"spawnOnDeath", d.spawnOnDeath, 44}, {"spawnCount", d.spawnCount, 45},
                             {"inheritFlags", d.inheritFlags, 31}});
  // The dropped bracket values wrote nothing next to their fields.
  EXPECT_EQ(d.orbitXX, 17.0f);
}

TEST_F(EffectDefinitionsTest, KindLettersAreCaseSensitive) {
  const struct {
    const char* letter;
    int kind;
  } cases[] = {{"g", 1}, {"t", 2}, {"s", 3}, {"c", 4}, {"l", 5}, {"p", 6}, {"G", 0}, {"x", 0}, {"\"g\"", 0}};
  int n = 0;
  for (const auto& c : cases) {
    ASSERT_EQ(parseSet(std::to_string(n) + ", " + c.letter + ", 7"), 1);
    EXPECT_EQ(scene.defs[n].kind, c.kind) << c.letter;
    ++n;
  }
}

TEST_F(EffectDefinitionsTest, ClockCodesOnlyForImages) {
  ASSERT_EQ(parseSet("0, t, H1, 5"), 1);
  EXPECT_EQ(scene.defs[0].kind, KIND_TEXT);
  EXPECT_EQ(scene.defs[0].source, 0);
  ASSERT_EQ(parseSet("1, g, H1"), 1);
  EXPECT_EQ(scene.defs[1].source, -10);
  ASSERT_EQ(parseSet("2, g, h1"), 1);
  EXPECT_EQ(scene.defs[2].source, 0);
  ASSERT_EQ(parseSet("3, g, M3"), 1);
  EXPECT_EQ(scene.defs[3].source, 0);
  const char* codes[] = {"Y1", "Y2", "Y3", "Y4", "M1", "M2", "D1", "D2", "H1", "H2", "m1", "m2", "S1", "S2"};
  for (int i = 0; i < 14; ++i) {
    ASSERT_EQ(parseSet(std::to_string(10 + i) + ", g, " + codes[i]), 1);
    EXPECT_EQ(scene.defs[10 + i].source, -2 - i) << codes[i];
  }
}

TEST_F(EffectDefinitionsTest, LongerKindOrCodeShiftsTheLaterFields) {
  ASSERT_EQ(parseSet("0, gg, 5, 6, 0.25"), 1);
  const EffectDef& a = scene.defs[0];
  // The second «g» is read as the source.
  config_test::expectFields({{"kind", a.kind, KIND_IMAGE}, {"source", a.source, 0}, {"layer", a.layer, 5},
                             {"posFracX", a.posFracX, 6}, {"posFracY", a.posFracY, 0.25f}});
  ASSERT_EQ(parseSet("1, g, Y12, 30"), 1);
  const EffectDef& b = scene.defs[1];
  config_test::expectFields({{"source", b.source, -2}, {"layer", b.layer, 2}, {"posFracX", b.posFracX, 30}});
}

TEST_F(EffectDefinitionsTest, ShortRecordStoresZerosAndKeepsFlags) {
  std::string ones;
  for (int k = 5; k <= 45; ++k) ones += ", 1";
  ASSERT_EQ(parseSet("4, c, 1, 9" + ones + ", 10100"), 1);
  EXPECT_EQ(scene.defs[4].childDef, 1);
  EXPECT_EQ(scene.defs[4].inheritFlags, INHERIT_OFFSET | INHERIT_ORBIT);
  ASSERT_EQ(parseSet("4, c, 1, 9"), 1);
  const EffectDef& d = scene.defs[4];
  // childDef 0 names definition 0.
  config_test::expectFields({{"layer", d.layer, 9}, {"posFracX", d.posFracX, 0}, {"blueAccel", d.blueAccel, 0},
                             {"lifetime", d.lifetime, 0}, {"childDef", d.childDef, 0}, {"spawnCount", d.spawnCount, 0},
                             {"inheritFlags", d.inheritFlags, INHERIT_OFFSET | INHERIT_ORBIT}});
}

TEST_F(EffectDefinitionsTest, RecordEndingAfterItsNumberDoesNotReadTheNextLine) {
  ASSERT_EQ(parse("@set\n5\n6, t, 2, 3\n@\n"), 1);
  EXPECT_EQ(scene.defs[5].kind, KIND_NONE);
  EXPECT_EQ(scene.defs[5].source, 0);
  EXPECT_EQ(scene.defs[6].kind, KIND_TEXT);
  EXPECT_EQ(scene.defs[6].layer, 3);
}

TEST_F(EffectDefinitionsTest, PairsAndChildRange) {
  ASSERT_EQ(parseSet("0, g, 1, 1, 0.5[0.1]"), 1);
  EXPECT_EQ(scene.defs[0].posFracX, 0.5f);
  EXPECT_EQ(scene.defs[0].pivotX, (float)0.1);
  std::string zeros;
  for (int k = 5; k <= 39; ++k) zeros += ", 0";
  ASSERT_EQ(parseSet("1, g, 1, 1" + zeros + ", 3[2]"), 1);
  EXPECT_EQ(scene.defs[1].childDef, 3);
  EXPECT_EQ(scene.defs[1].childDefRange, 2);
  ASSERT_EQ(parseSet("1, g, 1, 1" + zeros + ", -1"), 1);
  EXPECT_EQ(scene.defs[1].childDef, -1);
  EXPECT_EQ(scene.defs[1].childDefRange, 0);
}

TEST_F(EffectDefinitionsTest, FlagTexts) {
  std::string fields;
  for (int k = 5; k <= 45; ++k) fields += ", 0";
  const struct {
    const char* flags;
    int bits;
  } cases[] = {{"11", 3}, {"00001", 16}, {"111111", 31}, {"\"1\"", 1}, {"\"\"", 0}, {"0x1z1", 20}};
  int n = 0;
  for (const auto& c : cases) {
    ASSERT_EQ(parseSet(std::to_string(n) + ", g, 0, 0" + fields + ", " + c.flags), 1);
    EXPECT_EQ(scene.defs[n].inheritFlags, c.bits) << c.flags;
    ++n;
  }
  ASSERT_EQ(parseSet("20, g, 0, 0" + fields), 1);  // no flag text at all
  EXPECT_EQ(scene.defs[20].inheritFlags, 0);
}

TEST_F(EffectDefinitionsTest, SameNumberTwiceOverwritesAllButFlags) {
  std::string fields;
  for (int k = 5; k <= 45; ++k) fields += ", " + std::to_string(k);
  ASSERT_EQ(parse("@set\r\n7, g, 1, 1" + fields + ", 10000\r\n7, l, 2, 2" + fields + ", 01\r\n@\r\n"), 1);
  EXPECT_EQ(scene.defs[7].kind, KIND_LINE);
  EXPECT_EQ(scene.defs[7].source, 2);
  EXPECT_EQ(scene.defs[7].inheritFlags, 3);
}

TEST_F(EffectDefinitionsTest, NumberOutOfRangeFailsTheLoad) {
  for (const char* number : {"256", "-1"}) {
    loadErrorText = nullptr;
    EXPECT_EQ(parse(std::string("@set\r\n0, t\r\n") + number + ", g, 1\r\n@evt\r\n1, 0, 0, 0\r\n"), 0);
    ASSERT_NE(loadErrorText, nullptr);
    EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@setの設定番号№が有効範囲ではありません");
  }
  EXPECT_EQ(scene.defs[0].kind, KIND_TEXT);  // stored before the failing record
  EXPECT_EQ(scene.eventCount, 0);
}

TEST_F(EffectDefinitionsTest, TextEndingInsideARecordStopsThere) {
  ASSERT_EQ(parse("@set\r\n9, "), 1);
  EXPECT_EQ(scene.defs[9].kind, KIND_NONE);
  ASSERT_EQ(parse("@set\r\n9, p, 4, 1, 0.5["), 1);
  EXPECT_EQ(scene.defs[9].kind, KIND_POLYGON);
  EXPECT_EQ(scene.defs[9].posFracX, 0.5f);
}

}  // namespace
