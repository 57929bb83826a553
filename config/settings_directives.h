// The directives of the settings text (@base, @bmp, @txt, @pgn, @set, @evt)
// and the parse that runs them over textBuffer.
//
// A directive other than @base opens a block of records, one a line, each read
// by the directive's record step. Every record that names a table entry begins
// with the same prologue, takeEntryNumber, so a number outside 0..255 fails the
// load the same way in every directive. Dependencies: platform types.
#pragma once

#include "platform/types.h"

// The directives, in the order the parser tests them after a '@'.
// WARNING: settingsDirectiveNames, recordFieldNames and the record steps in
// settings_directives.cpp are kept in this order.
enum SettingsDirective {
  DIRECTIVE_BASE = 0,
  DIRECTIVE_BMP,
  DIRECTIVE_TXT,
  DIRECTIVE_PGN,
  DIRECTIVE_SET,
  DIRECTIVE_EVT,
  DIRECTIVE_COUNT
};

// The name of each directive as written after its '@', lowercase.
extern const char* const settingsDirectiveNames[DIRECTIVE_COUNT];

// The name of each field of a directive's record by position, 1-based (entry 0
// is empty): the fields an author counts in a line. Null for @pgn, whose
// fields after the count are the x, y pairs of its vertices.
extern const char* const* const recordFieldNames[DIRECTIVE_COUNT];

// Reads one record at p into its table entry and puts the bytes consumed into
// *consumed; 1, or 0 with loadErrorText set when the record fails the load.
typedef int (*RecordStep)(const char* p, int* consumed);

// The prologue of a record that began at start with entry number n, read up to
// p: 1, with the entry noted, when n names a table entry (0..255); else 0,
// with loadErrorText set to outOfRange, the failure noted and the bytes from
// start to p put into *consumed.
int takeEntryNumber(const char* start, const char* p, int n, const WCHAR* outOfRange, int* consumed);

// The prologue of a record whose first field is its entry number: reads the
// number at *cursor, steps *cursor past it and takes it (takeEntryNumber).
// Returns the entry, or -1 when the record fails the load.
int readEntryNumber(const char** cursor, const WCHAR* outOfRange, int* consumed);

// Parses textBuffer into the scene tables and the base settings; 1, or 0 with
// loadErrorText set at the first bad record.
int parseSettingsText(void);
