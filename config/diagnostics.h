// The diagnostics sink of the settings and schedule parsers.
//
// The parsers load silently by design: what does not parse reads as 0, what is
// not a directive is skipped. To let an authoring tool tell a show's author
// where that happened, the parsers and the field readers note what they meet,
// at the byte in textBuffer where they meet it, through noteFinding. The sink
// is null in the player, so a note costs one null test there; with a sink set
// the parsers still store exactly what they store without one, and the sink's
// owner judges which notes an author must hear of.
// Dependencies: platform types only.
#pragma once

#include "platform/types.h"

// What a parser met. value, second and third are 0 unless said otherwise.
// WARNING: tools/show_checker/ reads these by name; a new note goes at the
// end, before FINDING_COUNT.
enum FindingCode {
  FINDING_DIRECTIVE = 0,      // a directive name after '@'; value: its SettingsDirective (settings_directives.h)
  FINDING_UNKNOWN_AT,         // a '@' at top level that opens nothing; it and the byte after it are skipped
  FINDING_STRAY,              // a byte at top level outside any block, skipped
  FINDING_RECORD,             // a record begins (also the @base record)
  FINDING_FIELD,              // a field of the current record begins; value: its position, 2 and up
  FINDING_RECORD_END,         // the current record ends
  FINDING_BLOCK_FULL,         // a block (or schedule section) ended at its record limit here
  FINDING_ENTRY,              // the record writes table entry value (an @evt record: -1 when dropped)
  FINDING_BASE_COLOUR,        // the @base colour at its red field; value, second, third: red, green, blue
  FINDING_BASE_CLOSE,         // the '@' that the @base record consumes
  FINDING_KIND,               // a @set kind letter; value: the kind it gives
  FINDING_CLOCK_CODE,         // a clock-digit code read as an image source; value: the source
  FINDING_CLOCK_CODE_IGNORED, // a clock-digit code in the source of a kind that takes none
  FINDING_IMAGE,              // a @bmp file name; value: 1 loaded, 0 not; text: the full path (empty: too long)
  FINDING_POLYGON_COUNT,      // a @pgn vertex count outside 0..65,535; value: the count
  FINDING_FLAGS,              // a @set flag text; text: the text as read
  FINDING_FIELD_CUT,          // a field longer than MAX_FIELD_BYTES; value: its bytes
  FINDING_TEXT_CUT,           // a text field longer than MAX_FIELD_BYTES; value: its bytes
  FINDING_LOAD_FAILED,        // the load fails here; value: the entry number when that is the fault
  FINDING_SECTION,            // a schedule keyword; value: its ScheduleSection (schedule_file.h)
  FINDING_SECTION_ENTRY,      // a schedule name begins
  FINDING_COUNT
};

// One note as the sink receives it; position points into textBuffer, and text
// (when not null) is valid only during the call.
struct ParseNote {
  int code;
  const char* position;
  int value;
  int second;
  int third;
  const WCHAR* text;
};

struct DiagnosticsSink {
  void (*note)(void* context, const ParseNote* note);
  void* context;
};

// The sink the parsers note to; null (the player) notes nothing.
extern DiagnosticsSink* settingsDiagnostics;

// Notes code at position to the sink, if one is set: the whole cost of a note
// in the player is this null test.
inline void noteFinding(int code, const char* position, int value = 0, int second = 0, int third = 0,
                        const WCHAR* text = nullptr) {
  if (settingsDiagnostics == nullptr) return;
  ParseNote note = {code, position, value, second, third, text};
  settingsDiagnostics->note(settingsDiagnostics->context, &note);
}
