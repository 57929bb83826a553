// The schedule checks (see schedule_checks.h). The keywords come from the
// parser's table (scheduleKeywords); the occasion each list plays on is the
// shell's, told here in words.
#include "tools/show_checker/schedule_checks.h"

#include <cstring>

#include "config/settings_loader.h"
#include "platform/files.h"
#include "tools/show_checker/parser_notes.h"

// What plays each section's first name: a tray tap or a resume.
static const char* const kOccasions[SECTION_COUNT] = {"a tray tap", "a resume"};

void onSection(CheckState& c, size_t offset, int section) {
  flushStray(c);
  c.section = section;
  c.sectionEntries = 0;
  c.sectionOffset = offset;
  if (!c.sawSection[section]) {
    c.sawSection[section] = true;
    c.firstKeyword[section] = offset;
  }
  const char* keyword = scheduleKeywords[section];
  size_t after = offset + strlen(keyword);
  char ch = textAt(after);
  if (!(ch == ' ' || ch == '\t' || ch == ',' || ch == '"' || isLineEnd(ch))) {
    addFinding(c, offset, FindingSeverity::Warning, "keyword-suffix",
               "'" + wordAt(offset) + "' is read as " + keyword + " followed by the name '" + wordAt(after) + "'");
  }
}

void onSectionEntry(CheckState& c, size_t offset) {
  int index = c.sectionEntries++;
  int section = c.section;
  if (section < 0) return;
  if (c.firstEntry[section] == kNoOffset) c.firstEntry[section] = offset;
  const char* keyword = scheduleKeywords[section];
  char ch = textAt(offset);
  if (index == 0 && ch == '@') {
    addFinding(c, c.sectionOffset, FindingSeverity::Warning, "schedule-empty-list",
               std::string("the ") + keyword + " section has no name: '" + wordAt(offset) + "' on " +
                   lineLabel(c.lines, offset) + " is read as its first name and opens no section");
    c.emptyReported[section] = true;
  } else if (index == 0 && ch == 0) {
    addFinding(c, c.sectionOffset, FindingSeverity::Warning, "schedule-empty-list",
               std::string("the ") + keyword + " section has no name: the text ends after its keyword, so " +
                   kOccasions[section] + " plays default.txt");
    c.emptyReported[section] = true;
  } else if (ch == '#') {
    addFinding(c, offset, FindingSeverity::Warning, "comment-in-section",
               "a '#' line inside a section is no comment: it is read as a name");
  }
}

// Tells whether the settings file name (empty: the default) opens.
static bool settingsFileOpens(const WCHAR* name) {
  WCHAR path[PATH_UNITS];
  HANDLE file = locateDataFile(name, DEFAULT_SETTINGS_NAME, path) ? openDataFile(path) : INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// The list of section after the load: missing, empty, or playing a show that
// cannot be opened.
static void checkList(CheckState& c, int section) {
  const ScheduleList& list = section == SECTION_NORMAL ? normalList : suspendList;
  const char* keyword = scheduleKeywords[section];
  if (!c.sawSection[section]) {
    addFinding(c, kNoOffset, FindingSeverity::Warning, "schedule-missing-list",
               std::string("no ") + keyword + " section: the " + keyword + " list is empty, so " +
                   kOccasions[section] + " plays default.txt");
  } else if (!c.emptyReported[section] && list.count > 0 && list.entries[0][0] == 0) {
    addFinding(c, c.firstKeyword[section], FindingSeverity::Warning, "schedule-empty-list",
               std::string("the first ") + keyword + " name is empty, so " + kOccasions[section] +
                   " plays default.txt");
  }
  if (c.emptyReported[section] && list.count > 0 && list.entries[0][0] != 0) return;
  const WCHAR* name = list.count > 0 ? list.entries[0] : u"";
  if (settingsFileOpens(name)) return;
  std::string shown = utf8(name[0] != 0 ? name : DEFAULT_SETTINGS_NAME);
  addFinding(c, c.firstEntry[section], FindingSeverity::Warning, "schedule-show-missing",
             std::string(keyword) + " plays '" + shown + "', which cannot be opened in " +
                 plainHostPath(exeDirectory));
}

void finishSchedule(CheckState& c) {
  flushStray(c);
  for (int section = 0; section < SECTION_COUNT; ++section) checkList(c, section);
}
