// The findings of the show checker: what it tells an author, where and how
// severely, and the two forms it writes them in (a text line or a JSON line).
//
// While a load runs a finding is kept at its byte offset into textBuffer
// (PendingFinding); offsets become lines and columns only when the findings are
// handed out, in file order, those about the whole file last.
// Dependencies: the source positions.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/show_checker/source_positions.h"

enum class FindingSeverity { Note, Warning, Error };

// One finding. A finding about the whole file has line and column 0.
struct CheckFinding {
  int line;    // 1-based
  int column;  // 1-based, in bytes of the file
  FindingSeverity severity;
  std::string code;     // short and stable: "record-ends-early"
  std::string message;  // UTF-8
};

// A finding while the load runs.
struct PendingFinding {
  size_t offset;  // kNoOffset: the whole file
  FindingSeverity severity;
  std::string code;
  std::string message;
};

// The pending findings in file order (stable, so findings at one offset keep
// the order they were made in), placed at lines and columns.
std::vector<CheckFinding> placeFindings(std::vector<PendingFinding>& pending, SourceLines& lines);

// "note", "warning" or "error".
const char* severityName(FindingSeverity severity);

// Writes one finding as a line: "file:line:column: severity: message [code]",
// or with json as {"file":...,"line":...,"column":...,"severity":...,"code":...,"message":...}.
void writeFinding(FILE* out, const std::string& file, const CheckFinding& finding, bool json);
