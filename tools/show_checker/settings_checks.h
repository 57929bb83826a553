// The per-record checks of a settings text: what the notes of one record (and
// of @base) tell an author, each record checked when it ends, and the finding
// of a load that fails.
//
// A record is judged against the record before it in its block (a record that
// begins on the line where the last one ended, a '#' line, an empty block) and
// against the earlier record of the same number. A record after a field that
// shifted its fields, or after an empty block that swallowed what follows, is
// not judged again for the same cause. Dependencies: the check state, the
// parser's format tables (directive, field and kind names), the scene tables.
#pragma once

#include "platform/types.h"
#include "tools/show_checker/check_state.h"

// The handlers of the settings parser's notes; offset is the note's place.
void onRecord(CheckState& c, size_t offset);
void onField(CheckState& c, int field, size_t offset);
void onEntry(CheckState& c, int entry);
void onRecordEnd(CheckState& c, size_t offset);
void onBaseColour(CheckState& c, int red, int green, int blue);
void onBaseClose(CheckState& c, size_t offset);
void onImage(CheckState& c, size_t offset, int loaded, const WCHAR* path);
void onPolygonCount(CheckState& c, size_t offset, int count);
void onLoadFailed(CheckState& c, size_t offset, int value);

// The error finding of a load that failed: on opening the file (displayPath
// names it) or at the place in the text the parser noted.
void reportLoadFailure(CheckState& c, const std::string& displayPath);
