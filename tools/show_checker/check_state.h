// The state of one check: what the parser's notes told so far of a settings
// text (or a schedule text), kept to explain them, and the findings made.
//
// A plain record, made fresh for every load (newCheckState) and read and written
// by the note handlers of parser_notes, settings_checks and schedule_checks and
// by the cross references after the load. Offsets are bytes of textBuffer.
// Nothing here decides what the player stores: the tables are exactly what the
// loader made of the text. Dependencies: the settings directives, the scene
// tables, the findings.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "config/schedule_file.h"
#include "config/settings_directives.h"
#include "engine/scene_tables.h"
#include "tools/show_checker/findings.h"
#include "tools/show_checker/source_positions.h"

constexpr int kNoEntry = -2;  // -1 is an @evt record dropped from a full table

// What the notes told of the record being read.
struct RecordNotes {
  int directive = -1;
  size_t start = kNoOffset;
  size_t end = kNoOffset;
  int entry = kNoEntry;
  size_t earlier = kNoOffset;  // start of the earlier record of the same number
  std::vector<size_t> fields;  // offset of each field by position; kNoOffset where none was noted
  int lastField = 1;
  bool continuation = false;  // begins on the line where the record before it ended
  bool comment = false;       // begins with '#'
  bool emptyBlock = false;    // the first record of a block that has none
  bool failed = false;
  bool shifted = false;  // a kind or clock field too long moved every later field
  bool imageNoted = false;
  bool polygonCountOut = false;
  size_t kindOffset = kNoOffset;
  int kind = 0;
  size_t clockOffset = kNoOffset;
  size_t ignoredClockOffset = kNoOffset;
  size_t flagsOffset = kNoOffset;
  std::u16string flags;
};

// How text at top level that belongs to no block is being told of.
enum class StrayMode {
  None,            // no stray text seen since the last '@'
  Group,           // stray text seen, reported when the group ends
  PendingUnknown,  // after an unknown '@name': stray text beyond it is reported as that name's
  Explained        // stray text here is already explained by a finding
};

struct CheckState {
  bool schedule = false;  // a schedule text, else a settings text
  std::vector<PendingFinding> pending;
  SourceLines lines;

  // The settings text.
  int directive = -1;  // the block being read; -1 at top level
  size_t directiveOffset = 0;
  bool swallowed = false;  // an empty block reads what follows as its records
  size_t lastRecordEnd = kNoOffset;
  RecordNotes record;
  RecordNotes previous;
  bool sawBase = false;
  size_t entryStart[DIRECTIVE_COUNT][MAX_SCENE_ENTRIES];  // kNoOffset: no record wrote the entry yet
  std::vector<size_t> entryFields[DIRECTIVE_COUNT][MAX_SCENE_ENTRIES];
  bool defined[DIRECTIVE_COUNT][MAX_SCENE_ENTRIES] = {};
  std::vector<size_t> eventFields[MAX_SCENE_ENTRIES];
  bool failed = false;
  size_t failOffset = 0;
  int failValue = 0;
  int failDirective = -1;
  bool failedOnImage = false;
  std::string imageExplanation;

  // Stray text at top level.
  StrayMode stray = StrayMode::None;
  size_t strayStart = 0;
  int strayLines = 0;
  int strayLastLine = 0;
  size_t unknownOffset = 0;
  size_t unknownEnd = 0;

  // The schedule text, per ScheduleSection.
  int section = -1;
  int sectionEntries = 0;
  size_t sectionOffset = 0;
  bool sawSection[SECTION_COUNT] = {};
  size_t firstKeyword[SECTION_COUNT] = {kNoOffset, kNoOffset};
  size_t firstEntry[SECTION_COUNT] = {kNoOffset, kNoOffset};
  bool emptyReported[SECTION_COUNT] = {};
};
static_assert(SECTION_COUNT == 2, "firstKeyword and firstEntry start at kNoOffset for each section");

// A fresh state for a check of a schedule text (schedule) or a settings text;
// the caller deletes it. (The state is large: it lives on the heap.)
inline CheckState* newCheckState(bool schedule) {
  CheckState* c = new CheckState();
  c->schedule = schedule;
  for (auto& row : c->entryStart) std::fill(std::begin(row), std::end(row), kNoOffset);
  return c;
}

// Adds a finding at offset (kNoOffset: about the whole file).
inline void addFinding(CheckState& c, size_t offset, FindingSeverity severity, const char* code,
                       const std::string& message) {
  c.pending.push_back({offset, severity, code, message});
}
