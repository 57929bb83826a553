// The per-record checks of a settings text (see settings_checks.h).
//
// Field positions are those the parser notes (FINDING_FIELD), and every name an
// author reads of them comes from the parser's own tables, so a message and the
// parse never disagree about which field is which.
#include "tools/show_checker/settings_checks.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "config/effect_definitions.h"
#include "config/settings_loader.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/files/host_files.h"
#include "tools/show_checker/cross_references.h"

// The name of the field at that position (1-based) of a directive's record.
static std::string fieldName(int directive, int field) {
  if (directive < 0) return "";
  if (directive == DIRECTIVE_PGN) {
    if (field == 1) return "polygon number";
    if (field == 2) return "vertex count";
    return "vertex " + std::to_string((field - 3) / 2 + 1) + (field % 2 == 1 ? " x" : " y");
  }
  return recordFieldNames[directive][field];
}

// Tells whether the field at that position is a text, which reads as empty.
static bool isTextField(int directive, int field) {
  return (directive == DIRECTIVE_BMP && field == 2) || (directive == DIRECTIVE_TXT && field == 5) ||
         (directive == DIRECTIVE_SET && field == SET_FIELD_COUNT);
}

// "1st", "2nd", "3rd", "4th" ...
static std::string ordinal(int n) {
  int lastTwo = n % 100;
  const char* suffix = "th";
  if (lastTwo < 11 || lastTwo > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

// "@set record 3", "the 2nd @evt record", "the @base record".
static std::string recordLabel(const RecordNotes& r) {
  if (r.directive == DIRECTIVE_BASE) return "the @base record";
  if (r.directive == DIRECTIVE_EVT) {
    if (r.entry == -1) return "an @evt record past the 256th event";
    return "the " + ordinal(r.entry + 1) + " @evt record";
  }
  return std::string("@") + settingsDirectiveNames[r.directive] + " record " + std::to_string(r.entry);
}

// The offset of field k of r, or kNoOffset when none was noted.
static size_t fieldAt(const RecordNotes& r, int k) {
  return r.fields.size() > size_t(k) ? r.fields[size_t(k)] : kNoOffset;
}

void onRecord(CheckState& c, size_t offset) {
  RecordNotes& r = c.record;
  r = RecordNotes();
  r.directive = c.directive;
  r.start = offset;
  r.fields = {kNoOffset, offset};
  if (c.directive == DIRECTIVE_BASE) return;
  if (c.lastRecordEnd == kNoOffset) {
    r.emptyBlock = textAt(offset) == '@' || textAt(offset) == 0;
  } else {
    r.continuation = !lineEndBetween(c.lastRecordEnd, offset);
  }
  r.comment = textAt(offset) == '#';
}

void onField(CheckState& c, int field, size_t offset) {
  RecordNotes& r = c.record;
  if (field < 1) return;
  if (r.fields.size() <= size_t(field)) r.fields.resize(size_t(field) + 1, kNoOffset);
  r.fields[size_t(field)] = offset;
  r.lastField = std::max(r.lastField, field);
}

void onEntry(CheckState& c, int entry) {
  RecordNotes& r = c.record;
  r.entry = entry;
  int d = r.directive;
  if (d == DIRECTIVE_EVT || d < 0 || entry < 0 || entry >= MAX_SCENE_ENTRIES) return;
  r.earlier = c.entryStart[d][entry];
  c.entryStart[d][entry] = r.start;
  c.defined[d][entry] = true;
}

// The first record of a block that has none: it reads the next '@' line, or a
// record of zeros at the end of the text.
static void reportEmptyBlock(CheckState& c) {
  const RecordNotes& r = c.record;
  std::string name = std::string("@") + settingsDirectiveNames[r.directive];
  if (textAt(r.start) == '@') {
    addFinding(c, c.directiveOffset, FindingSeverity::Warning, "empty-block",
               "the " + name + " block has no record: its first record is read from '" + wordAt(r.start) + "' on " +
                   lineLabel(c.lines, r.start) +
                   ", which then opens nothing, and the lines after it up to the next '@' are read as " + name +
                   " records");
    c.swallowed = true;
  } else {
    addFinding(c, c.directiveOffset, FindingSeverity::Warning, "empty-block",
               "the " + name + " block has no record: a record of zeros is read at the end of the text into " +
                   recordLabel(r));
  }
}

// A record that begins on the line where the record before it ended: that one
// had a comma in its text, or more fields than it takes.
static void reportContinuation(CheckState& c) {
  const RecordNotes& r = c.record;
  const RecordNotes& p = c.previous;
  size_t lastText = fieldAt(p, p.lastField);
  if (isTextField(p.directive, p.lastField) && lastText != kNoOffset && textAt(lastText) == '"' &&
      textAt(p.end) == ',') {
    addFinding(c, r.start, FindingSeverity::Warning, "comma-in-text",
               "a text cannot hold a comma: the " + fieldName(p.directive, p.lastField) + " of " + recordLabel(p) +
                   " ends at the comma before this, and the rest of the line, from here, is read as " +
                   recordLabel(r));
  } else if (!p.shifted && !p.polygonCountOut && !p.comment && !p.continuation) {
    addFinding(c, r.start, FindingSeverity::Warning, "extra-fields",
               recordLabel(p) + " has more than its " + std::to_string(p.lastField) +
                   " fields: the rest of its line, from here, is read as " + recordLabel(r));
  }
}

// The first field that stands at a line end: the record ends before it, and it
// and the fields after it read as 0 (a text as empty).
static void checkEndsEarly(CheckState& c) {
  const RecordNotes& r = c.record;
  for (int k = 2; k <= r.lastField; ++k) {
    size_t offset = fieldAt(r, k);
    if (offset == kNoOffset || !isLineEnd(textAt(offset))) continue;
    bool texts = false;
    bool numbers = false;
    for (int f = k; f <= r.lastField; ++f) (isTextField(r.directive, f) ? texts : numbers) = true;
    std::string message = recordLabel(r) + " ends after field " + std::to_string(k - 1) + " (" +
                          fieldName(r.directive, k - 1) + "); ";
    if (k == r.lastField) {
      message += "field " + std::to_string(k) + " (" + fieldName(r.directive, k) + ") reads as " +
                 (texts ? "an empty text" : "0");
    } else {
      message += "fields " + std::to_string(k) + " to " + std::to_string(r.lastField) + " read as 0";
      if (texts) message += numbers ? " and the text as empty" : "";
    }
    addFinding(c, offset, FindingSeverity::Warning, "record-ends-early", message);
    return;
  }
}

// "g image, t text, ...": the kind letters and what each draws.
static std::string listKindLetters(void) {
  std::string out;
  for (const KindLetter& k : kindLetters) {
    if (!out.empty()) out += ", ";
    out += std::string(1, k.letter) + " " + k.draws;
  }
  return out;
}

// Tells whether letter is a kind letter in upper case.
static bool isUppercaseKindLetter(char letter) {
  for (const KindLetter& k : kindLetters) {
    if (letter == k.letter - 'a' + 'A') return true;
  }
  return false;
}

// The kind field of a @set record: longer than one letter (every later field
// shifts), or no kind letter (the definition draws nothing).
static void checkKindField(CheckState& c) {
  RecordNotes& r = c.record;
  char letter = textAt(r.kindOffset);
  if (!isSeparator(textAt(r.kindOffset + 1))) {
    addFinding(c, r.kindOffset, FindingSeverity::Warning, "kind-too-long",
               "kind field '" + wordAt(r.kindOffset) + "' is longer than one letter: '" + std::string(1, letter) +
                   "' is the kind and '" + wordAt(r.kindOffset + 1) +
                   "' is read as the source, so every later field lands one place further on");
    r.shifted = true;
  }
  if (r.kind != KIND_NONE) return;
  bool caseOfKind = isUppercaseKindLetter(letter);
  bool emitter = spawnsChildren(scene.defs[r.entry]) && !caseOfKind;
  std::string message = "kind letter '" + host::cp932ToUtf8(&letter, 1) + "' is no kind (" + listKindLetters() +
                        "): definition " + std::to_string(r.entry) + " draws nothing";
  if (caseOfKind) message += "; kind letters are lowercase";
  if (emitter) message += " and only spawns its children";
  addFinding(c, r.kindOffset, emitter ? FindingSeverity::Note : FindingSeverity::Warning, "kind-unknown", message);
}

// The clock code of a @set record's source: followed by more than its two
// bytes (every later field shifts), or given to a kind that takes none.
static void checkClockCode(CheckState& c) {
  RecordNotes& r = c.record;
  if (r.clockOffset != kNoOffset && !isSeparator(textAt(r.clockOffset + 2))) {
    addFinding(c, r.clockOffset, FindingSeverity::Warning, "clock-code-trailing",
               "clock code '" + std::string(textBuffer + r.clockOffset, 2) + "' is followed by '" +
                   wordAt(r.clockOffset + 2) +
                   "': the code takes two characters and the rest is read as the layer, so every later field lands "
                   "one place further on");
    r.shifted = true;
  }
  if (r.ignoredClockOffset != kNoOffset) {
    std::string letter = r.kindOffset != kNoOffset ? wordAt(r.kindOffset) : std::string("?");
    addFinding(c, r.ignoredClockOffset, FindingSeverity::Warning, "clock-code-kind",
               "clock code '" + std::string(textBuffer + r.ignoredClockOffset, 2) +
                   "' works only for kind g: for kind " + letter + " the source reads as 0");
  }
}

// The flag text of a @set record: characters other than 0 and 1, or more than five.
static void checkFlagText(CheckState& c) {
  const RecordNotes& r = c.record;
  if (r.shifted || r.flagsOffset == kNoOffset || r.flags.empty()) return;
  bool otherCharacters = false;
  for (char16_t ch : r.flags) otherCharacters |= (ch != u'0' && ch != u'1');
  bool tooLong = r.flags.size() > 5;
  if (!otherCharacters && !tooLong) return;
  std::string message = "flag text '" + host::utf16ToUtf8(r.flags.c_str()) + "'";
  if (otherCharacters) message += " has characters other than 0 and 1 (only '1' sets a flag)";
  if (otherCharacters && tooLong) message += " and";
  if (tooLong) message += " is longer than five characters (those after the fifth are ignored)";
  addFinding(c, r.flagsOffset, FindingSeverity::Warning, "flag-text", message);
}

// A record that writes an entry an earlier record wrote.
static void checkDuplicate(CheckState& c) {
  const RecordNotes& r = c.record;
  if (r.earlier == kNoOffset) return;
  std::string earlier = " of " + lineLabel(c.lines, r.earlier);
  std::string n = std::to_string(r.entry);
  std::string message;
  switch (r.directive) {
    case DIRECTIVE_SET:
      message = recordLabel(r) + " overwrites definition " + n + earlier +
                " (its flag bits add to those of the earlier record)";
      break;
    case DIRECTIVE_BMP: message = recordLabel(r) + " replaces image " + n + earlier; break;
    case DIRECTIVE_TXT: message = recordLabel(r) + " overwrites text " + n + earlier; break;
    case DIRECTIVE_PGN: message = recordLabel(r) + " replaces polygon " + n + earlier; break;
    default: return;
  }
  addFinding(c, r.start, FindingSeverity::Warning, "duplicate-number", message);
}

// Keeps where the fields of the record just read stand, for the cross references.
static void keepFieldOffsets(CheckState& c) {
  const RecordNotes& r = c.record;
  if (r.directive < 0 || r.entry < 0 || r.entry >= MAX_SCENE_ENTRIES) return;
  if (r.directive == DIRECTIVE_EVT) {
    c.eventFields[r.entry] = r.fields;
  } else if (r.directive != DIRECTIVE_BASE) {
    c.entryFields[r.directive][r.entry] = r.fields;
  }
}

// The findings of the record just read, and what later records need of it.
static void finishRecord(CheckState& c) {
  RecordNotes& r = c.record;
  keepFieldOffsets(c);
  if (r.failed) return;
  if (r.emptyBlock) {
    reportEmptyBlock(c);
    return;
  }
  if (c.swallowed) return;
  if (r.directive == DIRECTIVE_EVT && r.entry == -1) {
    addFinding(c, r.start, FindingSeverity::Warning, "event-table-full",
               "the event table already holds 256 events: this @evt record is dropped");
  }
  if (r.comment) {
    addFinding(c, r.start, FindingSeverity::Warning, "comment-in-block",
               "a '#' line inside a block is no comment: it is read as " + recordLabel(r));
  } else if (r.continuation) {
    reportContinuation(c);
  } else {
    checkEndsEarly(c);
    if (r.directive == DIRECTIVE_SET) {
      if (r.kindOffset != kNoOffset && !isLineEnd(textAt(r.kindOffset))) checkKindField(c);
      checkClockCode(c);
      checkFlagText(c);
    }
  }
  checkDuplicate(c);
  c.previous = r;
}

void onRecordEnd(CheckState& c, size_t offset) {
  c.record.end = offset;
  if (c.record.directive != DIRECTIVE_BASE) c.lastRecordEnd = offset;
  finishRecord(c);
}

void onBaseColour(CheckState& c, int red, int green, int blue) {
  const int values[3] = {red, green, blue};
  const char* const names[3] = {"red", "green", "blue"};
  int out = -1;
  for (int i = 2; i >= 0; --i) {
    if (values[i] < 0 || values[i] > 255) out = i;
  }
  if (out < 0) return;
  const RecordNotes& r = c.record;
  std::string colour = "(" + std::to_string(red) + ", " + std::to_string(green) + ", " + std::to_string(blue) + ")";
  const std::string consequence = ": the show has no background and draws over the screen's own picture";
  if (red < 0 && green < 0 && blue < 0) {
    addFinding(c, r.fields.size() > 3 ? r.fields[3] : r.start, FindingSeverity::Note, "background-off",
               "background colour " + colour + " is outside 0..255" + consequence);
  } else {
    addFinding(c, r.fields.size() > size_t(3 + out) ? r.fields[size_t(3 + out)] : r.start, FindingSeverity::Warning,
               "background-off",
               std::string("background colour ") + colour + " has " + names[out] + " " + std::to_string(values[out]) +
                   " outside 0..255" + consequence);
  }
}

void onBaseClose(CheckState& c, size_t offset) {
  c.directive = -1;
  c.stray = StrayMode::None;
  for (const char* name : settingsDirectiveNames) {
    if (strncmp(textBuffer + offset + 1, name, strlen(name)) != 0) continue;
    addFinding(c, offset, FindingSeverity::Warning, "base-closes-directive",
               std::string("'@") + name + "' right after the @base record: its '@' closes @base, so the @" + name +
                   " block is skipped as stray text; put a line holding only '@' after the @base record");
    c.stray = StrayMode::Explained;
    return;
  }
}

static bool pathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

void onImage(CheckState& c, size_t offset, int loaded, const WCHAR* path) {
  c.record.imageNoted = true;
  if (path == nullptr || path[0] == 0) {
    c.imageExplanation =
        "the image file's full path is longer than " + std::to_string(PATH_UNITS - 1) + " characters";
    return;
  }
  std::string exact = plainHostPath(path);
  std::string directory = plainHostPath(exeDirectory);
  std::string name = exact.compare(0, directory.size(), directory) == 0 ? exact.substr(directory.size()) : exact;
  std::string resolved = host::hostPathFromDevice(path);
  if (loaded) {
    if (!pathExists(exact) && resolved != exact && resolved.size() >= name.size()) {
      addFinding(c, offset, FindingSeverity::Note, "image-case",
                 "image file '" + name + "' is found as '" + resolved.substr(resolved.size() - name.size()) +
                     "' only because the lookup ignores case");
    }
    return;
  }
  if (pathExists(resolved)) {
    c.imageExplanation = "'" + name + "' is in " + directory + " but cannot be read as an image";
  } else {
    c.imageExplanation = "there is no image file '" + name + "' in " + directory;
  }
}

void onPolygonCount(CheckState& c, size_t offset, int count) {
  c.record.polygonCountOut = true;
  addFinding(c, offset, FindingSeverity::Warning, "polygon-count",
             "vertex count " + std::to_string(count) + " is outside 0..65,535: polygon " +
                 std::to_string(c.record.entry) +
                 " gets no vertices, and the values after the count are read as further @pgn records");
}

void onLoadFailed(CheckState& c, size_t offset, int value) {
  c.failed = true;
  c.failOffset = offset;
  c.failValue = value;
  c.failDirective = c.directive;
  c.failedOnImage = c.record.imageNoted;
  c.record.failed = true;
}

void reportLoadFailure(CheckState& c, const std::string& displayPath) {
  std::string systemMessage = utf8(loadErrorText);
  if (!c.failed) {
    addFinding(c, kNoOffset, FindingSeverity::Error, "file-not-opened",
               systemMessage + ": " + displayPath + " cannot be opened");
    return;
  }
  const char* code = "number-out-of-range";
  std::string explanation;
  if (c.failDirective == DIRECTIVE_BASE) {
    code = "base-not-closed";
    explanation = "the @base record must be followed by a line beginning with '@' (a line holding only '@')";
    explanation +=
        textAt(c.failOffset) == 0 ? ", but the text ends here" : ", but here comes '" + snippetAt(c.failOffset) + "'";
  } else if (c.failDirective == DIRECTIVE_BMP && c.failedOnImage) {
    code = "image-not-loaded";
    explanation = c.imageExplanation;
  } else {
    // The entry number is field 1 of every record that can fail on it.
    explanation = (c.failDirective >= 0 ? fieldName(c.failDirective, 1) : std::string("number")) + " " +
                  std::to_string(c.failValue) + " is outside 0..255";
  }
  addFinding(c, c.failOffset, FindingSeverity::Error, code, systemMessage + ": " + explanation);
}
