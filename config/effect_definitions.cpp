// The @set record: one effect definition, 46 fields on one line.
//
// A record writes only the EffectDef entry its first field names: every field
// but inheritFlags is assigned, inheritFlags only gains bits. The definition
// number is the only thing tested. The float pairs of positions 5 to 38 are
// read through kFloatPairFields, in file order. Each field, the kind letter,
// the clock codes and the flag text are noted to the diagnostics sink. The kind
// letters and the field names are the tables of the format (kindLetters,
// setFieldNames) that the authoring tool reads too; the clock codes are the
// engine's (clockCodes).
// Dependencies: the diagnostics sink, the field readers, the settings
// directives' record prologue, the scene tables, the clock codes.
#include "config/effect_definitions.h"

#include <cstddef>

#include "config/diagnostics.h"
#include "config/field_readers.h"
#include "config/settings_directives.h"
#include "engine/clock_codes.h"
#include "engine/scene_tables.h"

static const WCHAR SET_NUMBER_OUT_OF_RANGE[] = u"設定ファイル内、@setの設定番号№が有効範囲ではありません";

#define NO_FIELD ((size_t)-1)  // a bracket value that is read and dropped

// One float-pair position of the record: the fields its value and its bracket
// value go to, as byte offsets into EffectDef.
struct FloatPairField {
  size_t value;
  size_t bracket;
};

#define PAIR(v, b) {offsetof(EffectDef, v), offsetof(EffectDef, b)}
#define PAIR_DROPPED(v) {offsetof(EffectDef, v), NO_FIELD}

// Positions 5 to 38 of a @set record, in file order.
static const FloatPairField kFloatPairFields[] = {
    PAIR(posFracX, pivotX),         PAIR(posFracY, pivotY),
    PAIR(offsetX, offsetXRand),     PAIR(offsetY, offsetYRand),
    PAIR(velX, velXRand),           PAIR(velY, velYRand),
    PAIR(accelX, accelXRand),       PAIR(accelY, accelYRand),
    PAIR(radius, radiusRand),       PAIR_DROPPED(radiusStep),
    PAIR(angle, angleRand),         PAIR_DROPPED(angleStep),
    PAIR_DROPPED(orbitXX),          PAIR_DROPPED(orbitYY),
    PAIR_DROPPED(orbitYX),          PAIR_DROPPED(orbitXY),
    PAIR(width, widthRand),         PAIR(height, heightRand),
    PAIR(widthStep, widthStepRand), PAIR(heightStep, heightStepRand),
    PAIR(widthAccel, widthAccelRand), PAIR(heightAccel, heightAccelRand),
    PAIR(alpha, alphaRand),         PAIR(alphaStep, alphaStepRand),
    PAIR(alphaAccel, alphaAccelRand),
    PAIR(red, redRand),             PAIR(redStep, redStepRand),
    PAIR(redAccel, redAccelRand),
    PAIR(green, greenRand),         PAIR(greenStep, greenStepRand),
    PAIR(greenAccel, greenAccelRand),
    PAIR(blue, blueRand),           PAIR(blueStep, blueStepRand),
    PAIR(blueAccel, blueAccelRand),
};
static_assert(sizeof(kFloatPairFields) / sizeof(kFloatPairFields[0]) == 38 - 5 + 1,
              "a @set record has float pairs at positions 5 to 38");

const KindLetter kindLetters[KIND_LETTER_COUNT] = {
    {'g', KIND_IMAGE, "image"}, {'t', KIND_TEXT, "text"},  {'s', KIND_RECTANGLE, "rectangle"},
    {'c', KIND_ELLIPSE, "ellipse"}, {'l', KIND_LINE, "lines"}, {'p', KIND_POLYGON, "polygon"},
};

// Positions 5 to 38 are the value halves of kFloatPairFields, in its order.
const char* const setFieldNames[SET_FIELD_COUNT + 1] = {
    "",           "definition number", "kind",       "source",     "layer",      "posFracX",   "posFracY",
    "offsetX",    "offsetY",           "velX",       "velY",       "accelX",     "accelY",     "radius",
    "radiusStep", "angle",             "angleStep",  "orbitXX",    "orbitYY",    "orbitYX",    "orbitXY",
    "width",      "height",            "widthStep",  "heightStep", "widthAccel", "heightAccel", "alpha",
    "alphaStep",  "alphaAccel",        "red",        "redStep",    "redAccel",   "green",      "greenStep",
    "greenAccel", "blue",              "blueStep",   "blueAccel",  "lifetime",   "childDef",   "spawnAtAge",
    "spawnEvery", "spawnChance",       "spawnOnDeath", "spawnCount", "inherit flags"};

// The float field of definition def at byte offset offset.
static float* floatField(EffectDef* def, size_t offset) { return (float*)((char*)def + offset); }

// The kind that the letter c names; 0 for any other byte.
static int kindFromLetter(char c) {
  for (const KindLetter& entry : kindLetters) {
    if (entry.letter == c) return entry.kind;
  }
  return KIND_NONE;
}

// Reads the kind letter at p into def->kind: exactly one byte is consumed unless
// the record's line or the text ends there. Returns the bytes consumed.
static int readKindLetter(const char* p, EffectDef* def) {
  def->kind = kindFromLetter(*p);
  noteFinding(FINDING_KIND, p, def->kind);
  // NOTE: a line end is not taken as the letter, so a record that ends after
  // its number never reads on into the next line.
  return (*p == 0 || *p == '\r' || *p == '\n') ? 0 : 1;
}

// The entry of clockCodes whose name begins the text at p, or -1.
static int findClockCode(const char* p) {
  for (int i = 0; i < CLOCK_CODE_COUNT; ++i) {
    if (p[0] == clockCodes[i].name[0] && p[1] == clockCodes[i].name[1]) return i;
  }
  return -1;
}

// Reads the source field at p into def->source: a clock-digit code for an image
// definition (exactly its two bytes consumed), else an int. Returns the bytes consumed.
static int readSource(const char* p, EffectDef* def) {
  if (def->kind == KIND_IMAGE) {
    int code = findClockCode(p);
    if (code >= 0) {
      def->source = CLOCK_CODE_FIRST - code;
      noteFinding(FINDING_CLOCK_CODE, p, def->source);
      return 2;
    }
  } else if (settingsDiagnostics != nullptr && findClockCode(p) >= 0) {
    noteFinding(FINDING_CLOCK_CODE_IGNORED, p);
  }
  return readInt(p, &def->source);
}

// ORs into def->inheritFlags the bits whose flag character, among the first
// five of text, is '1'.
static void addInheritFlags(const WCHAR* text, EffectDef* def) {
  for (int i = 0; i < 5 && text[i] != 0; ++i) {
    if (text[i] == u'1') def->inheritFlags |= 1 << i;
  }
}

int readSetRecord(const char* p, int* consumed) {
  const char* start = p;
  int n = readEntryNumber(&p, SET_NUMBER_OUT_OF_RANGE, consumed);
  if (n < 0) return 0;
  EffectDef* def = &scene.defs[n];
  p += skipToField(p, 2);
  p += readKindLetter(p, def);
  p += skipToField(p, 3);
  p += readSource(p, def);
  p += skipToField(p, 4);
  p += readInt(p, &def->layer);
  int position = 5;
  for (const FloatPairField& field : kFloatPairFields) {
    float dropped;
    p += skipToField(p, position++);
    float* second = field.bracket == NO_FIELD ? &dropped : floatField(def, field.bracket);
    p += readFloatPair(p, floatField(def, field.value), second);
  }
  p += skipToField(p, 39);
  p += readInt(p, &def->lifetime);
  p += skipToField(p, 40);
  p += readIntPair(p, &def->childDef, &def->childDefRange);
  int* const spawnFields[] = {&def->spawnAtAge, &def->spawnEvery, &def->spawnChance, &def->spawnOnDeath,
                              &def->spawnCount};
  for (int i = 0; i < 5; ++i) {
    p += skipToField(p, 41 + i);
    p += readInt(p, spawnFields[i]);
  }
  WCHAR flags[MAX_TEXT_UNITS];
  p += skipToField(p, 46);
  const char* flagsPosition = p;
  p += readText(p, flags);
  noteFinding(FINDING_FLAGS, flagsPosition, 0, 0, 0, flags);
  addInheritFlags(flags, def);
  *consumed = (int)(p - start);
  return 1;
}
