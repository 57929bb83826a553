// The host clock behind every timer, Sleep, GetTickCount and GetLocalTime.
//
// Real: the machine's monotonic clock for elapsed time, its local time for the
// date. Virtual: starts at a given local time at elapsed 0 and moves only when
// told to; a thread that would wait jumps it to the time it waits for (the window
// manager jumps to the next due timer), so a show runs in milliseconds and the
// same way every time. Chosen once at start-up, before any thread is made.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace host {

void clockUseReal();
void clockUseVirtual(const SYSTEMTIME& start);
bool clockIsVirtual();

// Milliseconds elapsed since the clock was chosen (monotonic).
int64_t clockNowMs();

// The local date and time now.
void clockLocalTime(SYSTEMTIME* time);

// Virtual clock: moves elapsed time forward to ms (never back). Real: no effect.
void clockAdvanceTo(int64_t ms);

// Waits ms milliseconds: the real clock sleeps, the virtual one advances.
void clockSleep(uint32_t ms);

// Parses "YYYY-MM-DDTHH:MM:SS" into a SYSTEMTIME (day of week filled in);
// false when the text is no valid date and time.
bool parseLocalTime(const char* text, SYSTEMTIME* time);

}  // namespace host
