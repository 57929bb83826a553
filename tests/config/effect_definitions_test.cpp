// The @set record: effect definitions, kind letters, clock codes and flags.
#include <string>

#include "config_test_support.h"

namespace {

using config_test::ConfigTest;

class EffectDefinitionsTest : public ConfigTest {
 protected:
  // Parses one @set record; the parse's result.
  int parseSet(const std::string& record) { return parse("@set\r\n" + record + "\r\n@\r\n"); }
};

// A definition's kind, source, layer, position fraction with its pivot, child
// with its range and flags, as "kind 1 source 7 layer 0 x 0[0] child 0[0] flags 0".
std::string summary(const EffectDef& d) {
  auto n = config_test::number;
  return "kind " + n(d.kind) + " source " + n(d.source) + " layer " + n(d.layer) + " x " + n(d.posFracX) + "[" +
         n(d.pivotX) + "] child " + n(d.childDef) + "[" + n(d.childDefRange) + "] flags " + n(d.inheritFlags);
}

// The fields from position 5 up to position 45 all 0 (or 1), so that what
// follows is the flag text.
std::string zerosTo45(const char* value = "0") {
  std::string fields;
  for (int k = 5; k <= 45; ++k) fields += std::string(", ") + value;
  return fields;
}

// The worked example's two records: a spark and a clock hand.
const char kWorkedExample[] =
    "0, g, 12, 10, 0.5, 0.5, 0[20], 0[20], 0[2], -3[1], 0, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 16[4], -1, 0, 0, 0, 0, "
    "255, -4, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 60, -1, 0, 0, 0, 0, 0, \"00000\"\r\n"
    "1, g, H1, 20, 0.4, 0.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, -1, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, "
    "255, 0, 0, 255, 0, 0, 0, 0, 0, 10, 0, 0, 3, \"10000\"\r\n"
    "@\r\n";

// Every field lands in its own: position k (5..45) holds the value k, and a
// pair's bracket value k + 100. Positions 14 and 16 to 20 have no bracket
// field: their bracket values are dropped.
TEST_F(EffectDefinitionsTest, EveryPositionGoesToItsField) {
  std::string record = "3, s, 1, 2";
  for (int k = 5; k <= 45; ++k) {
    record += ", " + std::to_string(k) + (k <= 38 || k == 40 ? "[" + std::to_string(k + 100) + "]" : "");
  }
  ASSERT_EQ(parseSet(record + ", 11111"), 1);
  const EffectDef& d = scene.defs[3];
  EXPECT_EQ(summary(d), "kind 3 source 1 layer 2 x 5[105] child 40[140] flags 31");
  const double values[] = {d.posFracX, d.posFracY, d.offsetX, d.offsetY, d.velX, d.velY, d.accelX, d.accelY,
                           d.radius, d.radiusStep, d.angle, d.angleStep, d.orbitXX, d.orbitYY, d.orbitYX,
                           d.orbitXY, d.width, d.height, d.widthStep, d.heightStep, d.widthAccel, d.heightAccel,
                           d.alpha, d.alphaStep, d.alphaAccel, d.red, d.redStep, d.redAccel, d.green,
                           d.greenStep, d.greenAccel, d.blue, d.blueStep, d.blueAccel, double(d.lifetime),
                           double(d.childDef), double(d.spawnAtAge), double(d.spawnEvery), double(d.spawnChance),
                           double(d.spawnOnDeath), double(d.spawnCount)};
  for (int k = 5; k <= 45; ++k) EXPECT_EQ(values[k - 5], k) << "position " << k;
  const double brackets[] = {d.pivotX, d.pivotY, d.offsetXRand, d.offsetYRand, d.velXRand, d.velYRand,
                             d.accelXRand, d.accelYRand, d.radiusRand, d.angleRand, d.widthRand, d.heightRand,
                             d.widthStepRand, d.heightStepRand, d.widthAccelRand, d.heightAccelRand,
                             d.alphaRand, d.alphaStepRand, d.alphaAccelRand, d.redRand, d.redStepRand,
                             d.redAccelRand, d.greenRand, d.greenStepRand, d.greenAccelRand, d.blueRand,
                             d.blueStepRand, d.blueAccelRand, double(d.childDefRange)};
  int i = 0;
  for (int k = 5; k <= 40; ++k) {
    if (k == 14 || (k >= 16 && k <= 20) || k == 39) continue;
    double value = brackets[i++];
    EXPECT_EQ(value, k + 100) << "position " << k;
  }
}

// Each text's definition n, parsed into fresh tables. Every kind letter is
// some row's: g the spark's, t the texts' clock code row, s the position test's,
// c the short record's, l the repeated number's, p the pair cut short.
TEST_F(EffectDefinitionsTest, KindsClockCodesPairsAndFlagsAsWritten) {
  const std::string z = zerosTo45();
  const struct {
    const char* what;
    std::string text;
    int n;
    const char* expected;
  } rows[] = {
      {"the worked example's spark", kWorkedExample, 0, "kind 1 source 12 layer 10 x 0.5[0] child -1[0] flags 0"},
      {"its clock hand", kWorkedExample, 1, "kind 1 source -10 layer 20 x 0.4[0] child 0[0] flags 1"},
      {"kind letters are case-sensitive", "0, G, 7", 0, "kind 0 source 7 layer 0 x 0[0] child 0[0] flags 0"},
      {"an unknown letter", "0, x, 7", 0, "kind 0 source 7 layer 0 x 0[0] child 0[0] flags 0"},
      {"a quoted letter: its rest is the source", "0, \"g\", 7", 0, "kind 0 source 0 layer 7 x 0[0] child 0[0] flags 0"},
      {"no clock codes for texts", "0, t, H1, 5", 0, "kind 2 source 0 layer 5 x 0[0] child 0[0] flags 0"},
      {"clock codes are case-sensitive", "0, g, h1", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 0"},
      {"M3 is no code", "0, g, M3", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 0"},
      {"the second g of «gg» is the source: every later field one place on", "0, gg, 5, 6, 0.25", 0,
       "kind 1 source 0 layer 5 x 6[0] child 0[0] flags 0"},
      {"the 2 of «Y12» is the layer", "0, g, Y12, 30", 0, "kind 1 source -2 layer 2 x 30[0] child 0[0] flags 0"},
      {"a record ending after its number reads no further", "5\n6, t, 2, 3", 5,
       "kind 0 source 0 layer 0 x 0[0] child 0[0] flags 0"},
      {"the text ending inside a pair", "9, p, 4, 1, 0.5[", 9, "kind 6 source 4 layer 1 x 0.5[0] child 0[0] flags 0"},
      {"a pair", "0, g, 1, 1, 0.5[0.1]", 0, "kind 1 source 1 layer 1 x 0.5[0.1] child 0[0] flags 0"},
      {"a child with its range", "0, g, 1, 1" + zerosTo45().substr(0, 35 * 3) + ", 3[2]", 0,
       "kind 1 source 1 layer 1 x 0[0] child 3[2] flags 0"},
      {"no child", "0, g, 1, 1" + zerosTo45().substr(0, 35 * 3) + ", -1", 0,
       "kind 1 source 1 layer 1 x 0[0] child -1[0] flags 0"},
      {"a short record stores zeros (child 0 names definition 0) and keeps the flags",
       "4, c, 1, 9" + zerosTo45("1") + ", 10100\r\n4, c, 1, 9", 4, "kind 4 source 1 layer 9 x 0[0] child 0[0] flags 5"},
      {"the same number twice: the second record's fields, the flags of both",
       "7, g, 1, 1" + zerosTo45("1") + ", 10000\r\n7, l, 2, 2" + zerosTo45("1") + ", 01", 7,
       "kind 5 source 2 layer 2 x 1[0] child 1[0] flags 3"},
      {"flags 11", "0, g, 0, 0" + z + ", 11", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 3"},
      {"flags 00001", "0, g, 0, 0" + z + ", 00001", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 16"},
      {"flags 111111", "0, g, 0, 0" + z + ", 111111", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 31"},
      {"a quoted 1 after a longer flag text", "0, g, 0, 0" + z + ", 11111\r\n1, g, 0, 0" + z + ", \"1\"", 1,
       "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 1"},
      {"an empty flag text", "0, g, 0, 0" + z + ", \"\"", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 0"},
      {"only '1' sets a flag", "0, g, 0, 0" + z + ", 0x1z1", 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 20"},
      {"no flag text", "0, g, 0, 0" + z, 0, "kind 1 source 0 layer 0 x 0[0] child 0[0] flags 0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fresh();
    ASSERT_EQ(parse("@set\r\n" + row.text), 1);
    EXPECT_EQ(summary(scene.defs[row.n]), row.expected);
  }
  const char* codes[] = {"Y1", "Y2", "Y3", "Y4", "M1", "M2", "D1", "D2", "H1", "H2", "m1", "m2", "S1", "S2"};
  for (int i = 0; i < 14; ++i) {
    ASSERT_EQ(parseSet(std::to_string(10 + i) + ", g, " + codes[i]), 1);
    EXPECT_EQ(scene.defs[10 + i].source, -2 - i) << codes[i];
  }
}

}  // namespace
