// The debug console on the host (NKDbgPrintfW and the narrow Shift-JIS lines of
// platform/runtime.h): lines on standard error as UTF-8, written through a
// buffer, a line repeated back to back folded into one line of its count.
//
// The first of a run of equal lines is written; the repeats are counted and
// written as one line "(N more times)" when a different line comes, a second
// (real time) after the first repeat, or at exit. Buffered bytes reach standard
// error within kConsoleWriteDelayMs, at once when the buffer is full, and at
// exit. Thread-safe; a full draw list's flood costs one comparison a line.
#pragma once

#include <string>

namespace host {

constexpr int kConsoleWriteDelayMs = 50;
constexpr int kConsoleFoldMs = 1000;

// Prints one line of UTF-8 text; a missing line feed is added. (The narrow
// lines come to DebugPrintNarrow, defined beside it.)
void consolePrintLine(const std::string& utf8);
// Does what the process's exit does: writes the count of repeats, if any, and
// every buffered byte now, and forgets the last line, so the next line is
// written whatever it is.
void flushDebugConsole();

}  // namespace host
