// The parser's notes as the checker takes them, and the text at top level:
// directive names, unknown '@' names, stray text and full blocks.
//
// Stray text is told of once per group (the text between two '@'), when the
// group ends, unless a finding already explains it. Dependencies: the check
// state, the diagnostics sink's notes.
#pragma once

#include "config/diagnostics.h"
#include "tools/show_checker/check_state.h"

// Takes one note of the parser, while it runs, and hands it to its handler.
void takeNote(CheckState& c, const ParseNote& note);

// Tells of the stray text seen since the last '@', if any, and forgets it.
void flushStray(CheckState& c);
