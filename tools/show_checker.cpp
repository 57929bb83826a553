// The show checker (see show_checker.h).
//
// A Checker receives the parser's notes while the player's loader runs, keeps
// the block, record and stray-text state it needs to explain them, and turns
// them into findings at byte offsets of textBuffer; after a load that succeeds
// it checks the cross-references on the loaded tables. Offsets become
// line:column only when the findings are handed out. Nothing here decides what
// the player stores: the tables are exactly what the loader made of the text.
#include "tools/show_checker.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "config/diagnostics.h"
#include "config/field_readers.h"
#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"
#include "platform/files.h"
#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"

namespace {

constexpr size_t kNoOffset = size_t(-1);
constexpr int kNoEntry = -2;  // -1 is an @evt record dropped from a full table

const WCHAR kDefaultSettings[] = u"default.txt";
const WCHAR kDefaultSchedule[] = u"schedule.ini";

const char* const kDirectiveNames[DIRECTIVE_COUNT] = {"base", "bmp", "txt", "pgn", "set", "evt"};

// Field names by position (1-based) for the messages.
const char* const kBaseFields[] = {"", "tick interval", "duration", "red", "green", "blue"};
const char* const kBmpFields[] = {"",           "image number", "file name",  "hot spot x",
                                  "hot spot y", "frame width",  "frame height", "frame count",
                                  "ticks per frame", "play mode", "first frame", "random frame"};
const char* const kTxtFields[] = {"", "text number", "typing speed", "shadow offset", "bold backing", "text"};
const char* const kSetFields[] = {
    "",           "definition number", "kind",       "source",     "layer",      "posFracX",   "posFracY",
    "offsetX",    "offsetY",           "velX",       "velY",       "accelX",     "accelY",     "radius",
    "radiusStep", "angle",             "angleStep",  "orbitXX",    "orbitYY",    "orbitYX",    "orbitXY",
    "width",      "height",            "widthStep",  "heightStep", "widthAccel", "heightAccel", "alpha",
    "alphaStep",  "alphaAccel",        "red",        "redStep",    "redAccel",   "green",      "greenStep",
    "greenAccel", "blue",              "blueStep",   "blueAccel",  "lifetime",   "childDef",   "spawnAtAge",
    "spawnEvery", "spawnChance",       "spawnOnDeath", "spawnCount", "inherit flags"};
static_assert(sizeof(kSetFields) / sizeof(kSetFields[0]) == 47, "a @set record has 46 fields");
const char* const kEvtFields[] = {"", "tick", "gate", "target definition", "action"};

std::string fieldName(int directive, int field) {
  switch (directive) {
    case DIRECTIVE_BASE: return kBaseFields[field];
    case DIRECTIVE_BMP: return kBmpFields[field];
    case DIRECTIVE_TXT: return kTxtFields[field];
    case DIRECTIVE_SET: return kSetFields[field];
    case DIRECTIVE_EVT: return kEvtFields[field];
    case DIRECTIVE_PGN:
      if (field == 1) return "polygon number";
      if (field == 2) return "vertex count";
      return "vertex " + std::to_string((field - 3) / 2 + 1) + (field % 2 == 1 ? " x" : " y");
  }
  return "";
}

// Tells whether the field at that position is a text, which reads as empty.
bool isTextField(int directive, int field) {
  return (directive == DIRECTIVE_BMP && field == 2) || (directive == DIRECTIVE_TXT && field == 5) ||
         (directive == DIRECTIVE_SET && field == 46);
}

bool isLineEnd(char c) { return c == '\r' || c == '\n' || c == 0; }
bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || isLineEnd(c); }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string s) {
  for (char& c : s) c = lowerAscii(c);
  return s;
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, strlen(prefix), prefix) == 0; }

// Tells whether byte c begins a two-byte character of the device's code page.
bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool pathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string utf8(const WCHAR* text) { return text == nullptr ? std::string() : host::utf16ToUtf8(text); }

// A device path as the host spells it before any case-insensitive lookup.
std::string plainHostPath(const WCHAR* devicePath) {
  std::string path = utf8(devicePath);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// "1st", "2nd", "3rd", "4th" ...
std::string ordinal(int n) {
  int lastTwo = n % 100;
  const char* suffix = "th";
  if (lastTwo < 11 || lastTwo > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

// The numbers as "3", "3 and 7" or "3, 5 and 7".
std::string listNumbers(const std::vector<int>& numbers) {
  std::string out;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) out += i + 1 == numbers.size() ? " and " : ", ";
    out += std::to_string(numbers[i]);
  }
  return out;
}

// Tells whether instances of the definition can spawn children.
bool spawnsChildren(const EffectDef& d) {
  return d.childDef != -1 && d.spawnCount > 0 &&
         (d.spawnAtAge > 0 || d.spawnEvery != 0 || d.spawnChance > 0 || d.spawnOnDeath != 0);
}

struct Pending {
  size_t offset;  // kNoOffset: the whole file
  FindingSeverity severity;
  std::string code;
  std::string message;
};

// What the notes told of the record being read.
struct Record {
  int directive = -1;
  size_t start = kNoOffset;
  size_t end = kNoOffset;
  int entry = kNoEntry;
  size_t earlier = kNoOffset;  // start of the earlier record of the same number
  std::vector<size_t> fields;  // offset of each field by position; kNoOffset where none was noted
  int lastField = 1;
  bool continuation = false;  // begins on the line where the record before it ended
  bool comment = false;       // begins with '#'
  bool emptyBlock = false;    // the first record of a block that has none
  bool failed = false;
  bool shifted = false;  // a kind or clock field too long moved every later field
  bool imageNoted = false;
  bool polygonCountOut = false;
  size_t kindOffset = kNoOffset;
  int kind = 0;
  size_t clockOffset = kNoOffset;
  size_t ignoredClockOffset = kNoOffset;
  size_t flagsOffset = kNoOffset;
  std::u16string flags;
};

enum class StrayMode {
  None,            // no stray text seen since the last '@'
  Group,           // stray text seen, reported when the group ends
  PendingUnknown,  // after an unknown '@name': stray text beyond it is reported as that name's
  Explained        // stray text here is already explained by a finding
};

// The state of one check: a settings text (schedule false) or a schedule text.
class Checker {
 public:
  explicit Checker(bool schedule) : schedule_(schedule) {
    for (auto& row : entryStart_) std::fill(std::begin(row), std::end(row), kNoOffset);
  }

  // Takes one note of the parser, while it runs.
  void note(const ParseNote& n);
  // After a settings load with result: the failure, or the cross-references of
  // the loaded tables. displayPath names the file for a failure to open it.
  void finishSettings(int result, const std::string& displayPath);
  // After a schedule load: the lists and the shows they play.
  void finishSchedule();
  // Compares the text the parser saw with the file at hostPath.
  void checkTextLength(const std::string& hostPath);
  // Tells whether the load failed on a place in the text (not on opening the file).
  bool failedInText() const { return failed_; }
  // The findings so far in file order (those about the whole file last), with
  // their offsets turned into lines and columns.
  std::vector<CheckFinding> findings();

 private:
  const char* text() const { return textBuffer; }
  char at(size_t offset) const { return textBuffer[offset]; }
  void add(size_t offset, FindingSeverity severity, const char* code, const std::string& message) {
    pending_.push_back({offset, severity, code, message});
  }
  // The line starts of textBuffer, made on first use.
  void ensureIndex();
  int lineOf(size_t offset);
  std::string lineText(size_t offset) { return "line " + std::to_string(lineOf(offset)); }
  std::string word(size_t offset) const;
  std::string snippet(size_t offset) const;
  bool lineEndBetween(size_t from, size_t to) const;

  // The handlers of the notes; offset is the note's position in textBuffer.
  void onDirective(size_t offset, int directive);
  void onUnknownAt(size_t offset);
  void onStray(size_t offset);
  void flushStray();
  void onRecord(size_t offset);
  void setField(int field, size_t offset);
  void onRecordEnd(size_t offset);
  void onEntry(int entry);
  void onBaseColour(int red, int green, int blue);
  void onBaseClose(size_t offset);
  void onBlockFull(size_t offset);
  void onImage(size_t offset, int loaded, const WCHAR* path);
  void onSection(size_t offset, int which);
  void onSectionEntry(size_t offset);

  // "@set record 3", "the 2nd @evt record", "the @base record".
  std::string recordLabel(const Record& r) const;
  // The findings of the record just read, and what later records need of it.
  void finishRecord();
  void checkEndsEarly();
  void checkSetRecord();
  void checkDuplicate();
  // The cross-references of definition n and of event index in the loaded tables.
  void checkDefinition(int n);
  void checkEvent(int index);
  // Where the last record that wrote the entry has that field (its start when none).
  size_t fieldOffset(int directive, int entry, int field) const;

  bool schedule_;
  std::vector<Pending> pending_;
  std::vector<size_t> lineStarts_;

  // The settings text.
  int directive_ = -1;  // the block being read; -1 at top level
  size_t directiveOffset_ = 0;
  bool swallowed_ = false;  // an empty block reads what follows as its records
  size_t lastRecordEnd_ = kNoOffset;
  Record record_;
  Record previous_;
  bool sawBase_ = false;
  size_t entryStart_[DIRECTIVE_COUNT][MAX_SCENE_ENTRIES];
  std::vector<size_t> entryFields_[DIRECTIVE_COUNT][MAX_SCENE_ENTRIES];
  bool defined_[DIRECTIVE_COUNT][MAX_SCENE_ENTRIES] = {};
  std::vector<size_t> eventFields_[MAX_SCENE_ENTRIES];
  bool failed_ = false;
  size_t failOffset_ = 0;
  int failValue_ = 0;
  int failDirective_ = -1;
  bool failedOnImage_ = false;
  std::string imageExplanation_;

  // Stray text at top level.
  StrayMode stray_ = StrayMode::None;
  size_t strayStart_ = 0;
  int strayLines_ = 0;
  int strayLastLine_ = 0;
  size_t unknownOffset_ = 0;
  size_t unknownEnd_ = 0;

  // The schedule text.
  int section_ = -1;
  int sectionEntries_ = 0;
  size_t sectionOffset_ = 0;
  bool sawSection_[2] = {false, false};
  size_t firstKeyword_[2] = {kNoOffset, kNoOffset};
  size_t firstEntry_[2] = {kNoOffset, kNoOffset};
  bool emptyReported_[2] = {false, false};
};

void Checker::ensureIndex() {
  if (!lineStarts_.empty()) return;
  lineStarts_.push_back(0);
  for (size_t i = 0; textBuffer[i] != 0; ++i) {
    if (textBuffer[i] == '\r') {
      if (textBuffer[i + 1] == '\n') ++i;
      lineStarts_.push_back(i + 1);
    } else if (textBuffer[i] == '\n') {
      lineStarts_.push_back(i + 1);
    }
  }
}

int Checker::lineOf(size_t offset) {
  ensureIndex();
  return int(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
}

// The bytes at offset up to the next separator, as UTF-8.
std::string Checker::word(size_t offset) const {
  size_t end = offset;
  while (!isSeparator(at(end))) end += (isLeadByte((unsigned char)at(end)) && !isLineEnd(at(end + 1))) ? 2 : 1;
  return host::cp932ToUtf8(text() + offset, end - offset);
}

// Up to 40 bytes of the line from offset, whole characters, as UTF-8.
std::string Checker::snippet(size_t offset) const {
  size_t end = offset;
  while (!isLineEnd(at(end)) && end - offset < 40) {
    end += (isLeadByte((unsigned char)at(end)) && !isLineEnd(at(end + 1))) ? 2 : 1;
  }
  std::string out = host::cp932ToUtf8(text() + offset, end - offset);
  if (!isLineEnd(at(end))) out += "...";
  return out;
}

bool Checker::lineEndBetween(size_t from, size_t to) const {
  for (size_t i = from; i < to; ++i) {
    if (at(i) == '\r' || at(i) == '\n') return true;
  }
  return false;
}

void Checker::note(const ParseNote& n) {
  size_t offset = size_t(n.position - textBuffer);
  switch (n.code) {
    case FINDING_DIRECTIVE: onDirective(offset, n.value); break;
    case FINDING_UNKNOWN_AT: onUnknownAt(offset); break;
    case FINDING_STRAY: onStray(offset); break;
    case FINDING_RECORD: onRecord(offset); break;
    case FINDING_FIELD: setField(n.value, offset); break;
    case FINDING_RECORD_END: onRecordEnd(offset); break;
    case FINDING_BLOCK_FULL: onBlockFull(offset); break;
    case FINDING_ENTRY: onEntry(n.value); break;
    case FINDING_BASE_COLOUR: onBaseColour(n.value, n.second, n.third); break;
    case FINDING_BASE_CLOSE: onBaseClose(offset); break;
    case FINDING_KIND:
      record_.kindOffset = offset;
      record_.kind = n.value;
      break;
    case FINDING_CLOCK_CODE: record_.clockOffset = offset; break;
    case FINDING_CLOCK_CODE_IGNORED: record_.ignoredClockOffset = offset; break;
    case FINDING_IMAGE: onImage(offset, n.value, n.text); break;
    case FINDING_POLYGON_COUNT:
      record_.polygonCountOut = true;
      add(offset, FindingSeverity::Warning, "polygon-count",
          "vertex count " + std::to_string(n.value) + " is outside 0..65,535: polygon " +
              std::to_string(record_.entry) +
              " gets no vertices, and the values after the count are read as further @pgn records");
      break;
    case FINDING_FLAGS:
      record_.flagsOffset = offset;
      record_.flags = n.text != nullptr ? std::u16string(n.text) : std::u16string();
      break;
    case FINDING_FIELD_CUT:
      add(offset, FindingSeverity::Warning, "field-cut",
          "a field of " + std::to_string(n.value) + " bytes is cut: only its first " +
              std::to_string(MAX_FIELD_BYTES) + " bytes are read");
      break;
    case FINDING_TEXT_CUT:
      add(offset, FindingSeverity::Warning, "text-cut",
          "a text of " + std::to_string(n.value) + " bytes is cut to its first " + std::to_string(MAX_FIELD_BYTES) +
              " bytes");
      break;
    case FINDING_LOAD_FAILED:
      failed_ = true;
      failOffset_ = offset;
      failValue_ = n.value;
      failDirective_ = directive_;
      failedOnImage_ = record_.imageNoted;
      record_.failed = true;
      break;
    case FINDING_SECTION: onSection(offset, n.value); break;
    case FINDING_SECTION_ENTRY: onSectionEntry(offset); break;
    default: break;
  }
}

void Checker::onDirective(size_t offset, int directive) {
  flushStray();
  stray_ = StrayMode::None;
  directive_ = directive;
  directiveOffset_ = offset;
  swallowed_ = false;
  lastRecordEnd_ = kNoOffset;
  previous_ = Record();
  if (directive == DIRECTIVE_BASE) sawBase_ = true;
  size_t afterName = offset + 1 + strlen(kDirectiveNames[directive]);
  if (isLetter(at(afterName))) {
    add(offset, FindingSeverity::Warning, "directive-suffix",
        "'@" + word(offset + 1) + "' is read as @" + kDirectiveNames[directive] +
            ", and its first record begins with '" + word(afterName) + "'");
  }
}

void Checker::onUnknownAt(size_t offset) {
  flushStray();
  directive_ = -1;
  std::string name = word(offset + 1);
  if (name.empty()) {  // a line holding only '@' closes a block
    stray_ = StrayMode::None;
    return;
  }
  std::string lower = lowerAscii(name);
  if (schedule_ && (startsWith(lower, "normal") || startsWith(lower, "suspend"))) {
    const char* keyword = startsWith(lower, "normal") ? "@normal" : "@suspend";
    add(offset, FindingSeverity::Warning, "misspelt-keyword",
        "'@" + name + "' is no keyword (keywords are lowercase: " + keyword +
            "): it and the names after it up to the next keyword are skipped");
    stray_ = StrayMode::Explained;
    return;
  }
  stray_ = StrayMode::PendingUnknown;
  unknownOffset_ = offset;
  unknownEnd_ = offset + 1;
  while (!isSeparator(at(unknownEnd_))) ++unknownEnd_;
}

void Checker::onStray(size_t offset) {
  char c = at(offset);
  if (c == ' ' || c == '\t') return;
  switch (stray_) {
    case StrayMode::Explained: return;
    case StrayMode::PendingUnknown: {
      if (offset < unknownEnd_) return;
      std::string name = word(unknownOffset_ + 1);
      std::string lower = lowerAscii(name);
      if (schedule_) {
        add(unknownOffset_, FindingSeverity::Warning, "unknown-keyword",
            "'@" + name + "' is no keyword: it and the text after it up to the next keyword are skipped");
      } else {
        std::string hint;
        for (const char* directive : kDirectiveNames) {
          if (startsWith(lower, directive)) hint = std::string(" (directive names are lowercase: @") + directive + ")";
        }
        add(unknownOffset_, FindingSeverity::Warning, "unknown-directive",
            "'@" + name + "' is no directive" + hint + ": it and the text after it up to the next '@' are skipped");
      }
      stray_ = StrayMode::Explained;
      return;
    }
    case StrayMode::None:
      stray_ = StrayMode::Group;
      strayStart_ = offset;
      strayLines_ = 1;
      strayLastLine_ = lineOf(offset);
      return;
    case StrayMode::Group: {
      int line = lineOf(offset);
      if (line != strayLastLine_) {
        ++strayLines_;
        strayLastLine_ = line;
      }
      return;
    }
  }
}

void Checker::flushStray() {
  if (stray_ == StrayMode::Group) {
    std::string message = std::string("text outside any ") + (schedule_ ? "section" : "block") +
                          " is skipped: '" + snippet(strayStart_) + "'";
    if (strayLines_ > 1) {
      message += " (and " + std::to_string(strayLines_ - 1) + " more line" + (strayLines_ > 2 ? "s" : "") +
                 " up to line " + std::to_string(strayLastLine_) + ")";
    }
    add(strayStart_, FindingSeverity::Warning, "stray-text", message);
  }
  stray_ = StrayMode::None;
}

void Checker::onRecord(size_t offset) {
  record_ = Record();
  record_.directive = directive_;
  record_.start = offset;
  record_.fields = {kNoOffset, offset};
  if (directive_ == DIRECTIVE_BASE) return;
  if (lastRecordEnd_ == kNoOffset) {
    record_.emptyBlock = at(offset) == '@' || at(offset) == 0;
  } else {
    record_.continuation = !lineEndBetween(lastRecordEnd_, offset);
  }
  record_.comment = at(offset) == '#';
}

void Checker::setField(int field, size_t offset) {
  if (field < 1) return;
  if (record_.fields.size() <= size_t(field)) record_.fields.resize(size_t(field) + 1, kNoOffset);
  record_.fields[size_t(field)] = offset;
  record_.lastField = std::max(record_.lastField, field);
}

void Checker::onEntry(int entry) {
  record_.entry = entry;
  int d = record_.directive;
  if (d == DIRECTIVE_EVT || d < 0 || entry < 0 || entry >= MAX_SCENE_ENTRIES) return;
  record_.earlier = entryStart_[d][entry];
  entryStart_[d][entry] = record_.start;
  defined_[d][entry] = true;
}

std::string Checker::recordLabel(const Record& r) const {
  if (r.directive == DIRECTIVE_BASE) return "the @base record";
  if (r.directive == DIRECTIVE_EVT) {
    if (r.entry == -1) return "an @evt record past the 256th event";
    return "the " + ordinal(r.entry + 1) + " @evt record";
  }
  return std::string("@") + kDirectiveNames[r.directive] + " record " + std::to_string(r.entry);
}

void Checker::onRecordEnd(size_t offset) {
  record_.end = offset;
  if (record_.directive != DIRECTIVE_BASE) lastRecordEnd_ = offset;
  finishRecord();
}

void Checker::finishRecord() {
  Record& r = record_;
  if (r.directive >= 0 && r.entry >= 0 && r.entry < MAX_SCENE_ENTRIES) {
    if (r.directive == DIRECTIVE_EVT) {
      eventFields_[r.entry] = r.fields;
    } else if (r.directive != DIRECTIVE_BASE) {
      entryFields_[r.directive][r.entry] = r.fields;
    }
  }
  if (r.failed) return;
  if (r.emptyBlock) {
    std::string name = std::string("@") + kDirectiveNames[r.directive];
    if (at(r.start) == '@') {
      add(directiveOffset_, FindingSeverity::Warning, "empty-block",
          "the " + name + " block has no record: its first record is read from '" + word(r.start) + "' on " +
              lineText(r.start) + ", which then opens nothing, and the lines after it up to the next '@' are read as " +
              name + " records");
      swallowed_ = true;
    } else {
      add(directiveOffset_, FindingSeverity::Warning, "empty-block",
          "the " + name + " block has no record: a record of zeros is read at the end of the text into " +
              recordLabel(r));
    }
    return;
  }
  if (swallowed_) return;
  if (r.directive == DIRECTIVE_EVT && r.entry == -1) {
    add(r.start, FindingSeverity::Warning, "event-table-full",
        "the event table already holds 256 events: this @evt record is dropped");
  }
  if (r.comment) {
    add(r.start, FindingSeverity::Warning, "comment-in-block",
        "a '#' line inside a block is no comment: it is read as " + recordLabel(r));
  } else if (r.continuation) {
    const Record& p = previous_;
    size_t lastText = p.fields.size() > size_t(p.lastField) ? p.fields[size_t(p.lastField)] : kNoOffset;
    if (isTextField(p.directive, p.lastField) && lastText != kNoOffset && at(lastText) == '"' && at(p.end) == ',') {
      add(r.start, FindingSeverity::Warning, "comma-in-text",
          "a text cannot hold a comma: the " + fieldName(p.directive, p.lastField) + " of " + recordLabel(p) +
              " ends at the comma before this, and the rest of the line, from here, is read as " + recordLabel(r));
    } else if (!p.shifted && !p.polygonCountOut && !p.comment && !p.continuation) {
      add(r.start, FindingSeverity::Warning, "extra-fields",
          recordLabel(previous_) + " has more than its " + std::to_string(previous_.lastField) +
              " fields: the rest of its line, from here, is read as " + recordLabel(r));
    }
  } else {
    checkEndsEarly();
    if (r.directive == DIRECTIVE_SET) checkSetRecord();
  }
  checkDuplicate();
  previous_ = r;
}

void Checker::checkEndsEarly() {
  const Record& r = record_;
  for (int k = 2; k <= r.lastField; ++k) {
    size_t offset = r.fields.size() > size_t(k) ? r.fields[size_t(k)] : kNoOffset;
    if (offset == kNoOffset || !isLineEnd(at(offset))) continue;
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
    add(offset, FindingSeverity::Warning, "record-ends-early", message);
    return;
  }
}

void Checker::checkSetRecord() {
  Record& r = record_;
  if (r.kindOffset != kNoOffset && !isLineEnd(at(r.kindOffset))) {
    char letter = at(r.kindOffset);
    if (!isSeparator(at(r.kindOffset + 1))) {
      std::string field = word(r.kindOffset);
      add(r.kindOffset, FindingSeverity::Warning, "kind-too-long",
          "kind field '" + field + "' is longer than one letter: '" + std::string(1, letter) +
              "' is the kind and '" + word(r.kindOffset + 1) +
              "' is read as the source, so every later field lands one place further on");
      r.shifted = true;
    }
    if (r.kind == KIND_NONE) {
      const EffectDef& def = scene.defs[r.entry];
      bool caseOfKind = strchr("GTSCLP", letter) != nullptr && letter != 0;
      bool emitter = spawnsChildren(def) && !caseOfKind;
      std::string message = "kind letter '" + host::cp932ToUtf8(&letter, 1) +
                            "' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): definition " +
                            std::to_string(r.entry) + " draws nothing";
      if (caseOfKind) message += "; kind letters are lowercase";
      if (emitter) message += " and only spawns its children";
      add(r.kindOffset, emitter ? FindingSeverity::Note : FindingSeverity::Warning, "kind-unknown", message);
    }
  }
  if (r.clockOffset != kNoOffset && !isSeparator(at(r.clockOffset + 2))) {
    add(r.clockOffset, FindingSeverity::Warning, "clock-code-trailing",
        "clock code '" + std::string(text() + r.clockOffset, 2) + "' is followed by '" + word(r.clockOffset + 2) +
            "': the code takes two characters and the rest is read as the layer, so every later field lands one "
            "place further on");
    r.shifted = true;
  }
  if (r.ignoredClockOffset != kNoOffset) {
    std::string letter = r.kindOffset != kNoOffset ? word(r.kindOffset) : std::string("?");
    add(r.ignoredClockOffset, FindingSeverity::Warning, "clock-code-kind",
        "clock code '" + std::string(text() + r.ignoredClockOffset, 2) + "' works only for kind g: for kind " +
            letter + " the source reads as 0");
  }
  if (!r.shifted && r.flagsOffset != kNoOffset && !r.flags.empty()) {
    bool otherCharacters = false;
    for (char16_t c : r.flags) otherCharacters |= (c != u'0' && c != u'1');
    bool tooLong = r.flags.size() > 5;
    if (otherCharacters || tooLong) {
      std::string message = "flag text '" + host::utf16ToUtf8(r.flags.c_str()) + "'";
      if (otherCharacters) message += " has characters other than 0 and 1 (only '1' sets a flag)";
      if (otherCharacters && tooLong) message += " and";
      if (tooLong) message += " is longer than five characters (those after the fifth are ignored)";
      add(r.flagsOffset, FindingSeverity::Warning, "flag-text", message);
    }
  }
}

void Checker::checkDuplicate() {
  const Record& r = record_;
  if (r.earlier == kNoOffset) return;
  std::string earlier = " of " + lineText(r.earlier);
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
  add(r.start, FindingSeverity::Warning, "duplicate-number", message);
}

void Checker::onBaseColour(int red, int green, int blue) {
  const int values[3] = {red, green, blue};
  const char* const names[3] = {"red", "green", "blue"};
  int out = -1;
  for (int i = 2; i >= 0; --i) {
    if (values[i] < 0 || values[i] > 255) out = i;
  }
  if (out < 0) return;
  std::string colour = "(" + std::to_string(red) + ", " + std::to_string(green) + ", " + std::to_string(blue) + ")";
  const std::string consequence = ": the show has no background and draws over the screen's own picture";
  size_t offset = record_.fields.size() > size_t(3 + out) ? record_.fields[size_t(3 + out)] : record_.start;
  if (red < 0 && green < 0 && blue < 0) {
    add(record_.fields.size() > 3 ? record_.fields[3] : record_.start, FindingSeverity::Note, "background-off",
        "background colour " + colour + " is outside 0..255" + consequence);
  } else {
    add(offset, FindingSeverity::Warning, "background-off",
        std::string("background colour ") + colour + " has " + names[out] + " " + std::to_string(values[out]) +
            " outside 0..255" + consequence);
  }
}

void Checker::onBaseClose(size_t offset) {
  directive_ = -1;
  stray_ = StrayMode::None;
  for (const char* name : kDirectiveNames) {
    if (strncmp(text() + offset + 1, name, strlen(name)) != 0) continue;
    add(offset, FindingSeverity::Warning, "base-closes-directive",
        std::string("'@") + name + "' right after the @base record: its '@' closes @base, so the @" + name +
            " block is skipped as stray text; put a line holding only '@' after the @base record");
    stray_ = StrayMode::Explained;
    return;
  }
}

void Checker::onBlockFull(size_t offset) {
  if (schedule_) {
    add(offset, FindingSeverity::Warning, "section-full",
        "the section already holds 255 names: the text from here up to the next keyword is skipped");
  } else {
    add(offset, FindingSeverity::Warning, "block-full",
        std::string("the @") + kDirectiveNames[directive_] +
            " block already holds 256 records: this line and the ones after it up to the next '@' are skipped");
    directive_ = -1;
  }
  stray_ = StrayMode::Explained;
}

void Checker::onImage(size_t offset, int loaded, const WCHAR* path) {
  record_.imageNoted = true;
  if (path == nullptr || path[0] == 0) {
    imageExplanation_ = "the image file's full path is longer than " + std::to_string(PATH_UNITS - 1) + " characters";
    return;
  }
  std::string exact = plainHostPath(path);
  std::string directory = plainHostPath(exeDirectory);
  std::string name = exact.compare(0, directory.size(), directory) == 0 ? exact.substr(directory.size()) : exact;
  std::string resolved = host::hostPathFromDevice(path);
  if (loaded) {
    if (!pathExists(exact) && resolved != exact && resolved.size() >= name.size()) {
      add(offset, FindingSeverity::Note, "image-case",
          "image file '" + name + "' is found as '" + resolved.substr(resolved.size() - name.size()) +
              "' only because the lookup ignores case");
    }
    return;
  }
  if (pathExists(resolved)) {
    imageExplanation_ = "'" + name + "' is in " + directory + " but cannot be read as an image";
  } else {
    imageExplanation_ = "there is no image file '" + name + "' in " + directory;
  }
}

void Checker::onSection(size_t offset, int which) {
  flushStray();
  section_ = which;
  sectionEntries_ = 0;
  sectionOffset_ = offset;
  if (!sawSection_[which]) {
    sawSection_[which] = true;
    firstKeyword_[which] = offset;
  }
  size_t after = offset + (which == 0 ? 7 : 8);
  char c = at(after);
  if (!(c == ' ' || c == '\t' || c == ',' || c == '"' || isLineEnd(c))) {
    add(offset, FindingSeverity::Warning, "keyword-suffix",
        "'" + word(offset) + "' is read as " + (which == 0 ? "@normal" : "@suspend") + " followed by the name '" +
            word(after) + "'");
  }
}

void Checker::onSectionEntry(size_t offset) {
  int index = sectionEntries_++;
  int which = section_;
  if (which < 0) return;
  if (firstEntry_[which] == kNoOffset) firstEntry_[which] = offset;
  const char* keyword = which == 0 ? "@normal" : "@suspend";
  const char* occasion = which == 0 ? "a tray tap" : "a resume";
  char c = at(offset);
  if (index == 0 && c == '@') {
    add(sectionOffset_, FindingSeverity::Warning, "schedule-empty-list",
        std::string("the ") + keyword + " section has no name: '" + word(offset) + "' on " + lineText(offset) +
            " is read as its first name and opens no section");
    emptyReported_[which] = true;
  } else if (index == 0 && c == 0) {
    add(sectionOffset_, FindingSeverity::Warning, "schedule-empty-list",
        std::string("the ") + keyword + " section has no name: the text ends after its keyword, so " + occasion +
            " plays default.txt");
    emptyReported_[which] = true;
  } else if (c == '#') {
    add(offset, FindingSeverity::Warning, "comment-in-section",
        "a '#' line inside a section is no comment: it is read as a name");
  }
}

size_t Checker::fieldOffset(int directive, int entry, int field) const {
  const std::vector<size_t>& fields =
      directive == DIRECTIVE_EVT ? eventFields_[entry] : entryFields_[directive][entry];
  if (fields.size() > size_t(field) && fields[size_t(field)] != kNoOffset) return fields[size_t(field)];
  return fields.size() > 1 ? fields[1] : 0;
}

void Checker::checkDefinition(int n) {
  const EffectDef& d = scene.defs[n];
  std::string def = "definition " + std::to_string(n);
  size_t source = fieldOffset(DIRECTIVE_SET, n, 3);
  auto defined = [&](int directive, int number) {
    return number >= 0 && number < MAX_SCENE_ENTRIES && defined_[directive][number];
  };
  switch (d.kind) {
    case KIND_IMAGE:
      if (d.source <= -2 && d.source >= -15) {
        std::vector<int> missing;
        for (int i = 0; i <= 9; ++i) {
          if (!defined(DIRECTIVE_BMP, i)) missing.push_back(i);
        }
        if (!missing.empty()) {
          add(source, FindingSeverity::Warning, "undefined-image",
              def + " shows a clock digit, drawn with images 0 to 9: no @bmp record defines image" +
                  (missing.size() > 1 ? "s " : " ") + listNumbers(missing));
        }
      } else if (d.source != -1 && !defined(DIRECTIVE_BMP, d.source)) {
        add(source, FindingSeverity::Warning, "undefined-image",
            def + " draws image " + std::to_string(d.source) + ", which no @bmp record defines");
      }
      break;
    case KIND_TEXT:
      if (!defined(DIRECTIVE_TXT, d.source)) {
        add(source, FindingSeverity::Warning, "undefined-text",
            def + " draws text " + std::to_string(d.source) + ", which no @txt record defines");
      }
      break;
    case KIND_LINE:
      if (!defined(DIRECTIVE_SET, d.source)) {
        add(source, FindingSeverity::Warning, "undefined-line-target",
            def + " draws lines to the instances of definition " + std::to_string(d.source) +
                ", which no @set record defines");
      }
      break;
    case KIND_POLYGON:
      if (!defined(DIRECTIVE_PGN, d.source)) {
        add(source, FindingSeverity::Warning, "undefined-polygon",
            def + " draws polygon " + std::to_string(d.source) + ", which no @pgn record defines");
      }
      break;
    default: break;
  }
  if (!spawnsChildren(d)) return;
  size_t child = fieldOffset(DIRECTIVE_SET, n, 40);
  // rand() mod (range + 1) keeps the dividend's sign: a range r below -1 adds 0 to -r - 2.
  long long range = d.childDefRange;
  long long last = d.childDef + (range > 0 ? range : range < -1 ? -range - 2 : 0);
  std::vector<int> missing;
  for (long long c = d.childDef; c <= last && missing.size() < 8; ++c) {
    if (!defined(DIRECTIVE_SET, int(c))) missing.push_back(int(c));
  }
  if (missing.empty()) return;
  std::string message;
  if (last == d.childDef) {
    message = def + " spawns definition " + std::to_string(d.childDef) + ", which no @set record defines";
  } else {
    message = def + " spawns one of definitions " + std::to_string(d.childDef) + " to " + std::to_string(last) +
              ": no @set record defines " + listNumbers(missing) + (missing.size() == 8 ? " and more" : "");
  }
  add(child, FindingSeverity::Warning, "undefined-child", message + " (its children there are dropped)");
}

void Checker::checkEvent(int index) {
  const EventEntry& e = scene.events[index];
  std::string event = "event " + std::to_string(index + 1);
  if (e.action != EVENT_SPAWN && e.action != EVENT_REMOVE_DEF && e.action != EVENT_REMOVE_ALL) {
    add(fieldOffset(DIRECTIVE_EVT, index, 4), FindingSeverity::Warning, "event-action",
        "event action " + std::to_string(e.action) +
            " is none of 0 (spawn), 1 (remove its instances) and 2 (remove all): the event does nothing");
  } else if (e.action != EVENT_REMOVE_ALL &&
             (e.target < 0 || e.target >= MAX_SCENE_ENTRIES || !defined_[DIRECTIVE_SET][e.target])) {
    add(fieldOffset(DIRECTIVE_EVT, index, 3), FindingSeverity::Warning, "undefined-target",
        event + (e.action == EVENT_SPAWN ? " spawns" : " removes the instances of") + " definition " +
            std::to_string(e.target) + ", which no @set record defines");
  }
  if (duration > 0 && e.tick > duration) {
    add(fieldOffset(DIRECTIVE_EVT, index, 1), FindingSeverity::Warning, "event-tick",
        event + " at tick " + std::to_string(e.tick) + " never fires: the show ends at tick " +
            std::to_string(duration));
  } else if (e.tick < 0) {
    add(fieldOffset(DIRECTIVE_EVT, index, 1), FindingSeverity::Warning, "event-tick",
        event + " at tick " + std::to_string(e.tick) + " never fires: ticks count up from 0");
  }
}

static_assert(TEXT_BUFFER_SIZE == 65536, "file-too-long names 65,535 bytes");

// Tells when textBuffer holds less than the file at hostPath: a file longer
// than the buffer is cut, and a NUL byte ends the text where it stands.
void Checker::checkTextLength(const std::string& hostPath) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return;
  size_t length = strlen(textBuffer);
  if ((unsigned long long)st.st_size <= length) return;
  std::string rest = std::to_string((unsigned long long)st.st_size - length);
  if (length == TEXT_BUFFER_SIZE - 1) {
    add(length, FindingSeverity::Warning, "file-too-long",
        "the text ends here: only the first 65,535 bytes of the file are read, and its last " + rest +
            " bytes are never read");
  } else {
    add(length, FindingSeverity::Warning, "nul-byte",
        "a NUL byte ends the text here: the last " + rest + " bytes of the file are never read");
  }
}

void Checker::finishSettings(int result, const std::string& displayPath) {
  flushStray();
  if (result == 0) {
    std::string systemMessage = utf8(loadErrorText);
    if (!failed_) {
      pending_.push_back({kNoOffset, FindingSeverity::Error, "file-not-opened",
                          systemMessage + ": " + displayPath + " cannot be opened"});
      return;
    }
    const char* code = "number-out-of-range";
    std::string explanation;
    if (failDirective_ == DIRECTIVE_BASE) {
      code = "base-not-closed";
      explanation = "the @base record must be followed by a line beginning with '@' (a line holding only '@')";
      explanation += at(failOffset_) == 0 ? ", but the text ends here" : ", but here comes '" + snippet(failOffset_) + "'";
    } else if (failDirective_ == DIRECTIVE_BMP && failedOnImage_) {
      code = "image-not-loaded";
      explanation = imageExplanation_;
    } else {
      static const char* const numbers[DIRECTIVE_COUNT] = {"", "image number", "text number", "polygon number",
                                                           "definition number", ""};
      explanation = std::string(failDirective_ >= 0 ? numbers[failDirective_] : "number") + " " +
                    std::to_string(failValue_) + " is outside 0..255";
    }
    add(failOffset_, FindingSeverity::Error, code, systemMessage + ": " + explanation);
    return;
  }
  for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
    if (defined_[DIRECTIVE_SET][n]) checkDefinition(n);
  }
  for (int i = 0; i < scene.eventCount && i < MAX_SCENE_ENTRIES; ++i) checkEvent(i);
  if (!sawBase_) {
    pending_.push_back({kNoOffset, FindingSeverity::Warning, "no-base",
                        "no @base record: the show plays at the tick interval and duration of the show loaded "
                        "before it (1000 ms and no limit in a fresh start), with no background"});
  }
}

void Checker::finishSchedule() {
  flushStray();
  for (int which = 0; which < 2; ++which) {
    const ScheduleList& list = which == 0 ? normalList : suspendList;
    const char* keyword = which == 0 ? "@normal" : "@suspend";
    const char* occasion = which == 0 ? "a tray tap" : "a resume";
    if (!sawSection_[which]) {
      pending_.push_back({kNoOffset, FindingSeverity::Warning, "schedule-missing-list",
                          std::string("no ") + keyword + " section: the " + keyword + " list is empty, so " +
                              occasion + " plays default.txt"});
    } else if (!emptyReported_[which] && list.count > 0 && list.entries[0][0] == 0) {
      add(firstKeyword_[which], FindingSeverity::Warning, "schedule-empty-list",
          std::string("the first ") + keyword + " name is empty, so " + occasion + " plays default.txt");
    }
    if (emptyReported_[which] && list.count > 0 && list.entries[0][0] != 0) continue;
    const WCHAR* name = list.count > 0 ? list.entries[0] : u"";
    WCHAR path[PATH_UNITS];
    HANDLE file = locateDataFile(name, kDefaultSettings, path) ? openDataFile(path) : INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      continue;
    }
    std::string shown = name[0] != 0 ? utf8(name) : std::string("default.txt");
    std::string message = std::string(keyword) + " plays '" + shown + "', which cannot be opened in " +
                          plainHostPath(exeDirectory);
    size_t offset = firstEntry_[which];
    pending_.push_back({offset, FindingSeverity::Warning, "schedule-show-missing", message});
  }
}

std::vector<CheckFinding> Checker::findings() {
  ensureIndex();
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Pending& a, const Pending& b) { return a.offset < b.offset; });
  std::vector<CheckFinding> out;
  for (const Pending& p : pending_) {
    CheckFinding f{0, 0, p.severity, p.code, p.message};
    if (p.offset != kNoOffset) {
      f.line = lineOf(p.offset);
      f.column = int(p.offset - lineStarts_[size_t(f.line - 1)]) + 1;
    }
    out.push_back(f);
  }
  return out;
}

void forwardNote(void* context, const ParseNote* note) { static_cast<Checker*>(context)->note(*note); }

// Runs load with the checker's sink set, then restores the sink as it was.
template <class Load>
int loadWithSink(Checker* checker, Load load) {
  DiagnosticsSink sink = {forwardNote, checker};
  DiagnosticsSink* saved = settingsDiagnostics;
  settingsDiagnostics = &sink;
  int result = load();
  settingsDiagnostics = saved;
  return result;
}

// The host path of the data file name (or defaultName) as the loaders locate it.
std::string displayPathOf(const WCHAR* name, const WCHAR* defaultName) {
  WCHAR path[PATH_UNITS];
  if (!locateDataFile(name, defaultName, path)) return utf8(name[0] != 0 ? name : defaultName);
  return host::hostPathFromDevice(path);
}

const char* severityName(FindingSeverity severity) {
  switch (severity) {
    case FindingSeverity::Note: return "note";
    case FindingSeverity::Warning: return "warning";
    case FindingSeverity::Error: return "error";
  }
  return "";
}

void writeJsonString(FILE* out, const std::string& s) {
  std::fputc('"', out);
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      std::fputc('\\', out);
      std::fputc(c, out);
    } else if (c < 0x20) {
      std::fprintf(out, "\\u%04x", c);
    } else {
      std::fputc(c, out);
    }
  }
  std::fputc('"', out);
}

int usage(FILE* err, const char* problem) {
  std::fprintf(err,
               "tessaril-render --check: %s\n"
               "usage: tessaril-render --check [--schedule] [--dir DIR] [-f NAME] [--strict] [--format text|json]\n",
               problem);
  return 3;
}

}  // namespace

int loadSettingsChecked(const WCHAR* name, std::vector<CheckFinding>* findings) {
  Checker* checker = new Checker(false);
  std::string display = displayPathOf(name, kDefaultSettings);
  int result = loadWithSink(checker, [&] { return loadSettingsFile(name); });
  if (result != 0 || checker->failedInText()) checker->checkTextLength(display);
  checker->finishSettings(result, display);
  std::vector<CheckFinding> found = checker->findings();
  findings->insert(findings->end(), found.begin(), found.end());
  delete checker;
  return result;
}

int loadScheduleChecked(const WCHAR* name, std::vector<CheckFinding>* findings) {
  Checker* checker = new Checker(true);
  int result = loadWithSink(checker, [&] { return loadScheduleFile(name); });
  if (result) {
    checker->checkTextLength(displayPathOf(name, kDefaultSchedule));
    checker->finishSchedule();
  } else {
    std::string display = displayPathOf(name, kDefaultSchedule);
    findings->push_back({0, 0, FindingSeverity::Error, "file-not-opened",
                         utf8(loadErrorText) + ": " + display + " cannot be opened"});
  }
  std::vector<CheckFinding> found = checker->findings();
  findings->insert(findings->end(), found.begin(), found.end());
  delete checker;
  return result;
}

void writeFinding(FILE* out, const std::string& file, const CheckFinding& f, bool json) {
  if (json) {
    std::fputs("{\"file\":", out);
    writeJsonString(out, file);
    std::fprintf(out, ",\"line\":%d,\"column\":%d,\"severity\":\"%s\",\"code\":", f.line, f.column,
                 severityName(f.severity));
    writeJsonString(out, f.code);
    std::fputs(",\"message\":", out);
    writeJsonString(out, f.message);
    std::fputs("}\n", out);
    return;
  }
  if (f.line > 0) {
    std::fprintf(out, "%s:%d:%d: %s: %s [%s]\n", file.c_str(), f.line, f.column, severityName(f.severity),
                 f.message.c_str(), f.code.c_str());
  } else {
    std::fprintf(out, "%s: %s: %s [%s]\n", file.c_str(), severityName(f.severity), f.message.c_str(),
                 f.code.c_str());
  }
}

int runShowCheckTo(int argc, char** argv, FILE* out, FILE* err) {
  bool schedule = false;
  bool strict = false;
  bool json = false;
  bool haveDir = false;
  std::string dir;
  std::string name;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--check") {
    } else if (arg == "--schedule") {
      schedule = true;
    } else if (arg == "--strict") {
      strict = true;
    } else if (arg == "--dir" || arg == "-f" || arg == "--format") {
      if (i + 1 >= argc) return usage(err, (arg + " needs a value").c_str());
      std::string value = argv[++i];
      if (arg == "--dir") {
        dir = value;
        haveDir = true;
      } else if (arg == "-f") {
        name = value;
      } else if (value == "json" || value == "text") {
        json = value == "json";
      } else {
        return usage(err, ("unknown format '" + value + "'").c_str());
      }
    } else {
      return usage(err, ("unknown option '" + arg + "'").c_str());
    }
  }
  std::u16string wideName = host::utf8ToUtf16(name);
  if (wideName.size() > PATH_UNITS - 1) return usage(err, "the file name is too long");
  if (haveDir) host::setModuleDirectory(dir);

  std::vector<CheckFinding> findings;
  int loaded = 0;
  std::string file;
  if (schedule) {
    file = displayPathOf(wideName.c_str(), kDefaultSchedule);
    const WCHAR* savedError = loadErrorText;
    ScheduleList savedNormal = normalList;
    ScheduleList savedSuspend = suspendList;
    normalList = ScheduleList{nullptr, 0};
    suspendList = ScheduleList{nullptr, 0};
    loaded = loadScheduleChecked(wideName.c_str(), &findings);
    freeScheduleList(&normalList);
    freeScheduleList(&suspendList);
    normalList = savedNormal;
    suspendList = savedSuspend;
    loadErrorText = savedError;
  } else {
    if (scene.defs != nullptr) return usage(err, "the scene tables are in use");
    file = displayPathOf(wideName.c_str(), kDefaultSettings);
    // A fresh start's base settings, so that a show without @base is checked
    // as the player's first show would play.
    int savedInterval = tickInterval;
    int savedDuration = duration;
    const WCHAR* savedError = loadErrorText;
    tickInterval = 1000;
    duration = -1;
    if (!allocateSceneTables()) {
      std::fprintf(err, "tessaril-render --check: out of memory\n");
      return 1;
    }
    loaded = loadSettingsChecked(wideName.c_str(), &findings);
    releaseSceneTables();
    tickInterval = savedInterval;
    duration = savedDuration;
    loadErrorText = savedError;
  }

  int warnings = 0;
  int notes = 0;
  for (const CheckFinding& f : findings) {
    writeFinding(out, file, f, json);
    if (f.severity == FindingSeverity::Warning) ++warnings;
    if (f.severity == FindingSeverity::Note) ++notes;
  }
  std::fflush(out);
  if (!json) {
    if (loaded) {
      std::fprintf(err, "%s: loads, %d warning%s, %d note%s\n", file.c_str(), warnings, warnings == 1 ? "" : "s",
                   notes, notes == 1 ? "" : "s");
    } else {
      std::fprintf(err, "%s: does not load\n", file.c_str());
    }
  }
  if (!loaded) return 1;
  if (strict && warnings > 0) return 2;
  return 0;
}

int runShowCheck(int argc, char** argv) { return runShowCheckTo(argc, argv, stdout, stderr); }
