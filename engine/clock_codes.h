// The clock-digit codes: the sources -2..-15 of an image definition, each of
// which shows one decimal digit of the local time instead of a fixed image.
//
// clockCodes is the one table of the codes: entry i is source CLOCK_CODE_FIRST - i,
// with the two bytes that name it in a settings file, the time field it reads
// and the place of the digit in that field. The settings parser reads the names
// from it, the tick update the digits. Dependencies: platform (SYSTEMTIME).
#pragma once

#include "platform/types.h"

#define CLOCK_CODE_FIRST -2   // "Y1", the thousands of the year
#define CLOCK_CODE_LAST -15   // "S2", the units of the second
#define CLOCK_CODE_COUNT (CLOCK_CODE_FIRST - CLOCK_CODE_LAST + 1)

// The local-time fields a clock code reads.
enum ClockField { CLOCK_YEAR = 0, CLOCK_MONTH, CLOCK_DAY, CLOCK_HOUR, CLOCK_MINUTE, CLOCK_SECOND };

struct ClockCode {
  char name[3];  // two bytes, case-sensitive, as written in a @set record
  int field;     // a ClockField
  int divisor;   // the digit is (field / divisor) % 10
};

extern const ClockCode clockCodes[CLOCK_CODE_COUNT];

// True when source is one of the clock codes, -2..-15.
inline bool isClockCode(int source) { return source <= CLOCK_CODE_FIRST && source >= CLOCK_CODE_LAST; }

// The digit that clock code source (-2..-15) shows of the local time now.
int clockDigit(int source, const SYSTEMTIME& now);
