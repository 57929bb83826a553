// The clock-digit codes (see clock_codes.h): the table, in source order, and
// the digit each shows. A year shows four digits, every other field two.
// Dependencies: platform (SYSTEMTIME).
#include "engine/clock_codes.h"

const ClockCode clockCodes[CLOCK_CODE_COUNT] = {
    {"Y1", CLOCK_YEAR, 1000},  {"Y2", CLOCK_YEAR, 100},  {"Y3", CLOCK_YEAR, 10},  {"Y4", CLOCK_YEAR, 1},
    {"M1", CLOCK_MONTH, 10},   {"M2", CLOCK_MONTH, 1},   {"D1", CLOCK_DAY, 10},   {"D2", CLOCK_DAY, 1},
    {"H1", CLOCK_HOUR, 10},    {"H2", CLOCK_HOUR, 1},    {"m1", CLOCK_MINUTE, 10}, {"m2", CLOCK_MINUTE, 1},
    {"S1", CLOCK_SECOND, 10},  {"S2", CLOCK_SECOND, 1},
};

// The value of the local-time field a clock code reads.
static int timeField(int field, const SYSTEMTIME& now) {
  switch (field) {
    case CLOCK_YEAR: return now.wYear;
    case CLOCK_MONTH: return now.wMonth;
    case CLOCK_DAY: return now.wDay;
    case CLOCK_HOUR: return now.wHour;
    case CLOCK_MINUTE: return now.wMinute;
    default: return now.wSecond;
  }
}

int clockDigit(int source, const SYSTEMTIME& now) {
  const ClockCode& code = clockCodes[CLOCK_CODE_FIRST - source];
  return (timeField(code.field, now) / code.divisor) % 10;
}
