// The parser's notes and the text at top level (see parser_notes.h).
//
// A directive or an unknown '@' ends the group of stray text before it; an
// unknown '@name' is told of only when stray text follows it beyond its name
// (a name alone on its line skips nothing). Names are matched against the
// parser's own tables (settingsDirectiveNames, scheduleKeywords).
#include "tools/show_checker/parser_notes.h"

#include <cstring>

#include "config/field_readers.h"
#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "tools/show_checker/schedule_checks.h"
#include "tools/show_checker/settings_checks.h"

// FINDING_DIRECTIVE: a block opens; a name longer than the directive's is read
// as the directive and the rest as its first record.
static void onDirective(CheckState& c, size_t offset, int directive) {
  flushStray(c);
  c.stray = StrayMode::None;
  c.directive = directive;
  c.directiveOffset = offset;
  c.swallowed = false;
  c.lastRecordEnd = kNoOffset;
  c.previous = RecordNotes();
  if (directive == DIRECTIVE_BASE) c.sawBase = true;
  const char* name = settingsDirectiveNames[directive];
  size_t afterName = offset + 1 + strlen(name);
  if (isLetter(textAt(afterName))) {
    addFinding(c, offset, FindingSeverity::Warning, "directive-suffix",
               "'@" + wordAt(offset + 1) + "' is read as @" + name + ", and its first record begins with '" +
                   wordAt(afterName) + "'");
  }
}

// The section whose keyword, without its '@' and in lowercase, begins lower; -1 when none.
static int keywordOfLowercase(const std::string& lower) {
  for (int i = 0; i < SECTION_COUNT; ++i) {
    if (startsWith(lower, scheduleKeywords[i] + 1)) return i;
  }
  return -1;
}

// FINDING_UNKNOWN_AT: a '@' that opens nothing. A schedule keyword in another
// case is told of at once; any other name when stray text follows it.
static void onUnknownAt(CheckState& c, size_t offset) {
  flushStray(c);
  c.directive = -1;
  std::string name = wordAt(offset + 1);
  if (name.empty()) {  // a line holding only '@' closes a block
    c.stray = StrayMode::None;
    return;
  }
  int section = c.schedule ? keywordOfLowercase(lowerAscii(name)) : -1;
  if (section >= 0) {
    addFinding(c, offset, FindingSeverity::Warning, "misspelt-keyword",
               "'@" + name + "' is no keyword (keywords are lowercase: " + scheduleKeywords[section] +
                   "): it and the names after it up to the next keyword are skipped");
    c.stray = StrayMode::Explained;
    return;
  }
  c.stray = StrayMode::PendingUnknown;
  c.unknownOffset = offset;
  c.unknownEnd = offset + 1;
  while (!isSeparator(textAt(c.unknownEnd))) ++c.unknownEnd;
}

// Tells of the unknown '@name' at c.unknownOffset, which stray text follows.
static void reportUnknownName(CheckState& c) {
  std::string name = wordAt(c.unknownOffset + 1);
  if (c.schedule) {
    addFinding(c, c.unknownOffset, FindingSeverity::Warning, "unknown-keyword",
               "'@" + name + "' is no keyword: it and the text after it up to the next keyword are skipped");
    return;
  }
  std::string lower = lowerAscii(name);
  std::string hint;
  for (const char* directive : settingsDirectiveNames) {
    if (startsWith(lower, directive)) hint = std::string(" (directive names are lowercase: @") + directive + ")";
  }
  addFinding(c, c.unknownOffset, FindingSeverity::Warning, "unknown-directive",
             "'@" + name + "' is no directive" + hint + ": it and the text after it up to the next '@' are skipped");
}

// FINDING_STRAY: a byte at top level outside any block; blanks count for nothing.
static void onStray(CheckState& c, size_t offset) {
  char ch = textAt(offset);
  if (ch == ' ' || ch == '\t') return;
  switch (c.stray) {
    case StrayMode::Explained: return;
    case StrayMode::PendingUnknown:
      if (offset < c.unknownEnd) return;
      reportUnknownName(c);
      c.stray = StrayMode::Explained;
      return;
    case StrayMode::None:
      c.stray = StrayMode::Group;
      c.strayStart = offset;
      c.strayLines = 1;
      c.strayLastLine = lineOf(c.lines, offset);
      return;
    case StrayMode::Group: {
      int line = lineOf(c.lines, offset);
      if (line != c.strayLastLine) {
        ++c.strayLines;
        c.strayLastLine = line;
      }
      return;
    }
  }
}

void flushStray(CheckState& c) {
  if (c.stray == StrayMode::Group) {
    std::string message = std::string("text outside any ") + (c.schedule ? "section" : "block") +
                          " is skipped: '" + snippetAt(c.strayStart) + "'";
    if (c.strayLines > 1) {
      message += " (and " + std::to_string(c.strayLines - 1) + " more line" + (c.strayLines > 2 ? "s" : "") +
                 " up to line " + std::to_string(c.strayLastLine) + ")";
    }
    addFinding(c, c.strayStart, FindingSeverity::Warning, "stray-text", message);
  }
  c.stray = StrayMode::None;
}

// FINDING_BLOCK_FULL: a block (or a schedule section) ended at its record limit.
static void onBlockFull(CheckState& c, size_t offset) {
  if (c.schedule) {
    addFinding(c, offset, FindingSeverity::Warning, "section-full",
               "the section already holds 255 names: the text from here up to the next keyword is skipped");
  } else {
    addFinding(c, offset, FindingSeverity::Warning, "block-full",
               std::string("the @") + settingsDirectiveNames[c.directive] +
                   " block already holds 256 records: this line and the ones after it up to the next '@' are skipped");
    c.directive = -1;
  }
  c.stray = StrayMode::Explained;
}

// FINDING_FIELD_CUT and FINDING_TEXT_CUT: a field of bytes bytes longer than a reader keeps.
static void onFieldCut(CheckState& c, int code, size_t offset, int bytes) {
  if (code == FINDING_FIELD_CUT) {
    addFinding(c, offset, FindingSeverity::Warning, "field-cut",
               "a field of " + std::to_string(bytes) + " bytes is cut: only its first " +
                   std::to_string(MAX_FIELD_BYTES) + " bytes are read");
  } else {
    addFinding(c, offset, FindingSeverity::Warning, "text-cut",
               "a text of " + std::to_string(bytes) + " bytes is cut to its first " +
                   std::to_string(MAX_FIELD_BYTES) + " bytes");
  }
}

// The notes that only record where a field of the @set record stood.
static void onSetFieldNote(CheckState& c, const ParseNote& n, size_t offset) {
  RecordNotes& r = c.record;
  if (n.code == FINDING_KIND) {
    r.kindOffset = offset;
    r.kind = n.value;
  } else if (n.code == FINDING_CLOCK_CODE) {
    r.clockOffset = offset;
  } else if (n.code == FINDING_CLOCK_CODE_IGNORED) {
    r.ignoredClockOffset = offset;
  } else {
    r.flagsOffset = offset;
    r.flags = n.text != nullptr ? std::u16string(n.text) : std::u16string();
  }
}

void takeNote(CheckState& c, const ParseNote& n) {
  size_t offset = size_t(n.position - textBuffer);
  switch (n.code) {
    case FINDING_DIRECTIVE: onDirective(c, offset, n.value); break;
    case FINDING_UNKNOWN_AT: onUnknownAt(c, offset); break;
    case FINDING_STRAY: onStray(c, offset); break;
    case FINDING_RECORD: onRecord(c, offset); break;
    case FINDING_FIELD: onField(c, n.value, offset); break;
    case FINDING_RECORD_END: onRecordEnd(c, offset); break;
    case FINDING_BLOCK_FULL: onBlockFull(c, offset); break;
    case FINDING_ENTRY: onEntry(c, n.value); break;
    case FINDING_BASE_COLOUR: onBaseColour(c, n.value, n.second, n.third); break;
    case FINDING_BASE_CLOSE: onBaseClose(c, offset); break;
    case FINDING_KIND:
    case FINDING_CLOCK_CODE:
    case FINDING_CLOCK_CODE_IGNORED:
    case FINDING_FLAGS: onSetFieldNote(c, n, offset); break;
    case FINDING_IMAGE: onImage(c, offset, n.value, n.text); break;
    case FINDING_POLYGON_COUNT: onPolygonCount(c, offset, n.value); break;
    case FINDING_FIELD_CUT:
    case FINDING_TEXT_CUT: onFieldCut(c, n.code, offset, n.value); break;
    case FINDING_LOAD_FAILED: onLoadFailed(c, offset, n.value); break;
    case FINDING_SECTION: onSection(c, offset, n.value); break;
    case FINDING_SECTION_ENTRY: onSectionEntry(c, offset); break;
    default: break;
  }
}
