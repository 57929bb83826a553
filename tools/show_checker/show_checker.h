// The show checker of tessaril-render --check: loads a settings file (or the
// schedule file) with the player's own loader, the diagnostics sink set, and
// tells the author, line by line, what the silent loader did with the text:
// what it skipped, what it read as 0, what it shifted, what names nothing.
//
// The findings come from the parser's own notes (config/diagnostics.h) and from
// the tables it loaded; the checker never parses the text a second time, and
// what it knows of the format (directive, field and kind names, clock codes,
// schedule keywords) it reads from the tables the parser itself uses.
//
// The folder, one file per concern: findings (and their text and JSON forms),
// source_positions, parser_notes (the notes, and the text at top level),
// settings_checks (per record), cross_references, schedule_checks,
// parser_globals (saved and restored around a check), checked_loads and
// check_command; check_state is the record they share.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/show_checker/findings.h"

// Loads the settings file name (UTF-16; empty: "default.txt") from the module
// directory with loadSettingsFile and the checker's sink set, into the scene
// tables, which the caller has allocated empty. Appends the findings, in file
// order, to findings; the cross-references are checked only when the show
// loads. Returns loadSettingsFile's result; the tables are left as loaded.
int loadSettingsChecked(const WCHAR* name, std::vector<CheckFinding>* findings);

// Loads the schedule file name (empty: "schedule.ini") with loadScheduleFile
// and the sink set into normalList and suspendList, which the caller has
// emptied, and appends its findings. Returns loadScheduleFile's result; the
// lists are left as loaded.
int loadScheduleChecked(const WCHAR* name, std::vector<CheckFinding>* findings);

// The --check command of tessaril-render, with argv as the tool got it:
//   --check [--schedule] [--dir DIR] [-f NAME] [--strict] [--format text|json]
// Prints the findings to standard output and returns the exit code: 0 when the
// file loads, 1 when it would fail to load, 2 with --strict when it loads with
// warnings, 3 when the command line is wrong. With --dir the module directory
// is set to DIR (host::setModuleDirectory) and left so.
int runShowCheck(int argc, char** argv);

// runShowCheck writing to out and err instead of standard output and error.
int runShowCheckTo(int argc, char** argv, FILE* out, FILE* err);
