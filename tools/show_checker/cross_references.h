// The cross references of a loaded show: what each effect definition and each
// timed event names (images, texts, polygons, definitions) that no record
// defines, and what can never happen (an event past the show's end).
//
// Checked on the tables as loaded, only after a load that succeeds; a finding
// stands at the field of the last record that wrote the entry. Dependencies:
// the check state, the scene tables, the clock codes.
#pragma once

#include "engine/scene_tables.h"
#include "tools/show_checker/check_state.h"

// Tells whether instances of the definition can spawn children.
bool spawnsChildren(const EffectDef& d);

// Checks every definition a @set record wrote and every event, and tells of a
// show without @base.
void checkCrossReferences(CheckState& c);
