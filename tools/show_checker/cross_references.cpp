// The cross references of a loaded show (see cross_references.h).
//
// A child range is told of by its first eight missing definitions at most, so
// a range of thousands gives one line.
#include "tools/show_checker/cross_references.h"

#include "config/settings_loader.h"
#include "engine/clock_codes.h"

bool spawnsChildren(const EffectDef& d) {
  return d.childDef != -1 && d.spawnCount > 0 &&
         (d.spawnAtAge > 0 || d.spawnEvery != 0 || d.spawnChance > 0 || d.spawnOnDeath != 0);
}

// The numbers as "3", "3 and 7" or "3, 5 and 7".
static std::string listNumbers(const std::vector<int>& numbers) {
  std::string out;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) out += i + 1 == numbers.size() ? " and " : ", ";
    out += std::to_string(numbers[i]);
  }
  return out;
}

// Tells whether a record of the directive defined entry number.
static bool isDefined(const CheckState& c, int directive, int number) {
  return number >= 0 && number < MAX_SCENE_ENTRIES && c.defined[directive][number];
}

// Where the last record that wrote the entry has that field (its start when none).
static size_t fieldOffset(const CheckState& c, int directive, int entry, int field) {
  const std::vector<size_t>& fields =
      directive == DIRECTIVE_EVT ? c.eventFields[entry] : c.entryFields[directive][entry];
  if (fields.size() > size_t(field) && fields[size_t(field)] != kNoOffset) return fields[size_t(field)];
  return fields.size() > 1 ? fields[1] : 0;
}

// The image an image definition draws, or the digit images 0 to 9 of a clock code.
static void checkImageSource(CheckState& c, const EffectDef& d, const std::string& def, size_t source) {
  if (isClockCode(d.source)) {
    std::vector<int> missing;
    for (int i = 0; i <= 9; ++i) {
      if (!isDefined(c, DIRECTIVE_BMP, i)) missing.push_back(i);
    }
    if (!missing.empty()) {
      addFinding(c, source, FindingSeverity::Warning, "undefined-image",
                 def + " shows a clock digit, drawn with images 0 to 9: no @bmp record defines image" +
                     (missing.size() > 1 ? "s " : " ") + listNumbers(missing));
    }
  } else if (d.source != -1 && !isDefined(c, DIRECTIVE_BMP, d.source)) {
    addFinding(c, source, FindingSeverity::Warning, "undefined-image",
               def + " draws image " + std::to_string(d.source) + ", which no @bmp record defines");
  }
}

// What the source of definition d names, by its kind.
static void checkSource(CheckState& c, const EffectDef& d, const std::string& def, size_t source) {
  switch (d.kind) {
    case KIND_IMAGE: checkImageSource(c, d, def, source); break;
    case KIND_TEXT:
      if (!isDefined(c, DIRECTIVE_TXT, d.source)) {
        addFinding(c, source, FindingSeverity::Warning, "undefined-text",
                   def + " draws text " + std::to_string(d.source) + ", which no @txt record defines");
      }
      break;
    case KIND_LINE:
      if (!isDefined(c, DIRECTIVE_SET, d.source)) {
        addFinding(c, source, FindingSeverity::Warning, "undefined-line-target",
                   def + " draws lines to the instances of definition " + std::to_string(d.source) +
                       ", which no @set record defines");
      }
      break;
    case KIND_POLYGON:
      if (!isDefined(c, DIRECTIVE_PGN, d.source)) {
        addFinding(c, source, FindingSeverity::Warning, "undefined-polygon",
                   def + " draws polygon " + std::to_string(d.source) + ", which no @pgn record defines");
      }
      break;
    default: break;
  }
}

// The children definition n spawns: its child definition and range.
static void checkChildren(CheckState& c, int n, const EffectDef& d, const std::string& def) {
  if (!spawnsChildren(d)) return;
  size_t child = fieldOffset(c, DIRECTIVE_SET, n, 40);
  // rand() mod (range + 1) keeps the dividend's sign: a range r below -1 adds 0 to -r - 2.
  long long range = d.childDefRange;
  long long last = d.childDef + (range > 0 ? range : range < -1 ? -range - 2 : 0);
  std::vector<int> missing;
  for (long long k = d.childDef; k <= last && missing.size() < 8; ++k) {
    if (!isDefined(c, DIRECTIVE_SET, int(k))) missing.push_back(int(k));
  }
  if (missing.empty()) return;
  std::string message;
  if (last == d.childDef) {
    message = def + " spawns definition " + std::to_string(d.childDef) + ", which no @set record defines";
  } else {
    message = def + " spawns one of definitions " + std::to_string(d.childDef) + " to " + std::to_string(last) +
              ": no @set record defines " + listNumbers(missing) + (missing.size() == 8 ? " and more" : "");
  }
  addFinding(c, child, FindingSeverity::Warning, "undefined-child", message + " (its children there are dropped)");
}

// The action, target and tick of event index.
static void checkEvent(CheckState& c, int index) {
  const EventEntry& e = scene.events[index];
  std::string event = "event " + std::to_string(index + 1);
  if (e.action != EVENT_SPAWN && e.action != EVENT_REMOVE_DEF && e.action != EVENT_REMOVE_ALL) {
    addFinding(c, fieldOffset(c, DIRECTIVE_EVT, index, 4), FindingSeverity::Warning, "event-action",
               "event action " + std::to_string(e.action) +
                   " is none of 0 (spawn), 1 (remove its instances) and 2 (remove all): the event does nothing");
  } else if (e.action != EVENT_REMOVE_ALL && !isDefined(c, DIRECTIVE_SET, e.target)) {
    addFinding(c, fieldOffset(c, DIRECTIVE_EVT, index, 3), FindingSeverity::Warning, "undefined-target",
               event + (e.action == EVENT_SPAWN ? " spawns" : " removes the instances of") + " definition " +
                   std::to_string(e.target) + ", which no @set record defines");
  }
  if (duration > 0 && e.tick > duration) {
    addFinding(c, fieldOffset(c, DIRECTIVE_EVT, index, 1), FindingSeverity::Warning, "event-tick",
               event + " at tick " + std::to_string(e.tick) + " never fires: the show ends at tick " +
                   std::to_string(duration));
  } else if (e.tick < 0) {
    addFinding(c, fieldOffset(c, DIRECTIVE_EVT, index, 1), FindingSeverity::Warning, "event-tick",
               event + " at tick " + std::to_string(e.tick) + " never fires: ticks count up from 0");
  }
}

void checkCrossReferences(CheckState& c) {
  for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
    if (!c.defined[DIRECTIVE_SET][n]) continue;
    std::string def = "definition " + std::to_string(n);
    checkSource(c, scene.defs[n], def, fieldOffset(c, DIRECTIVE_SET, n, 3));
    checkChildren(c, n, scene.defs[n], def);
  }
  for (int i = 0; i < scene.eventCount && i < MAX_SCENE_ENTRIES; ++i) checkEvent(c, i);
  if (!c.sawBase) {
    addFinding(c, kNoOffset, FindingSeverity::Warning, "no-base",
               "no @base record: the show plays at the tick interval and duration of the show loaded "
               "before it (1000 ms and no limit in a fresh start), with no background");
  }
}
