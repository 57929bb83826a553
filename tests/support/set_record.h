// Builds a @set record from named fields, so that a test says which fields of
// an effect definition matter to it instead of writing 46 positional values.
// Every field not named keeps its default: a white 16-pixel square at the
// centre of the screen on layer 10 that lives 60 ticks and spawns nothing.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace test_show {

// The fields from position 3 on, each with its default text; a pair field
// («value[second]») is named after its first value.
struct SetField {
  const char* name;
  const char* value;
};
inline constexpr SetField kSetFields[] = {
    {"source", "0"}, {"layer", "10"}, {"posFracX", "0.5"}, {"posFracY", "0.5"}, {"offsetX", "0"}, {"offsetY", "0"},
    {"velX", "0"}, {"velY", "0"}, {"accelX", "0"}, {"accelY", "0"}, {"radius", "0"}, {"radiusStep", "0"},
    {"angle", "0"}, {"angleStep", "0"}, {"orbitXX", "0"}, {"orbitYY", "0"}, {"orbitYX", "0"}, {"orbitXY", "0"},
    {"width", "16"}, {"height", "-1"}, {"widthStep", "0"}, {"heightStep", "0"}, {"widthAccel", "0"},
    {"heightAccel", "0"}, {"alpha", "255"}, {"alphaStep", "0"}, {"alphaAccel", "0"}, {"red", "255"},
    {"redStep", "0"}, {"redAccel", "0"}, {"green", "255"}, {"greenStep", "0"}, {"greenAccel", "0"},
    {"blue", "255"}, {"blueStep", "0"}, {"blueAccel", "0"}, {"lifetime", "60"}, {"childDef", "-1"},
    {"spawnAtAge", "0"}, {"spawnEvery", "0"}, {"spawnChance", "0"}, {"spawnOnDeath", "0"}, {"spawnCount", "0"},
    {"inheritFlags", "\"00000\""}};
static_assert(sizeof kSetFields / sizeof kSetFields[0] == 44, "a @set record has 46 fields");

using Fields = std::vector<std::pair<std::string, std::string>>;

// The record «number, kind, ...» without its line end; a named field that is
// not a @set field fails the test.
inline std::string setRecord(int number, const std::string& kind = "s", const Fields& fields = {}) {
  std::string record = std::to_string(number) + ", " + kind;
  for (const SetField& field : kSetFields) {
    std::string value = field.value;
    for (const auto& [name, text] : fields) {
      if (name == field.name) value = text;
    }
    record += ", " + value;
  }
  for (const auto& [name, text] : fields) {
    auto named = [&name](const SetField& field) { return name == field.name; };
    EXPECT_TRUE(std::any_of(std::begin(kSetFields), std::end(kSetFields), named)) << "no @set field " << name;
  }
  return record;
}

}  // namespace test_show
