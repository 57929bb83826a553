// The checked loads (see checked_loads.h and show_checker.h).
//
// Each load gets a fresh check state, which takes the parser's notes while the
// player's loader runs; the text-length check and the cross references run on
// what the load left. The findings are handed out in file order.
#include "tools/show_checker/checked_loads.h"

#include <sys/stat.h>

#include <cstring>

#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "platform/host/files/host_files.h"
#include "tools/show_checker/cross_references.h"
#include "tools/show_checker/parser_globals.h"
#include "tools/show_checker/parser_notes.h"
#include "tools/show_checker/schedule_checks.h"
#include "tools/show_checker/settings_checks.h"
#include "tools/show_checker/show_checker.h"

static_assert(TEXT_BUFFER_SIZE == 65536, "file-too-long names 65,535 bytes");

std::string displayPathOf(const WCHAR* name, const WCHAR* defaultName) {
  WCHAR path[PATH_UNITS];
  if (!locateDataFile(name, defaultName, path)) return utf8(name[0] != 0 ? name : defaultName);
  return host::hostPathFromDevice(path);
}

// Tells when textBuffer holds less than the file at hostPath: a file longer
// than the buffer is cut, and a NUL byte ends the text where it stands.
static void checkTextLength(CheckState& c, const std::string& hostPath) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return;
  size_t length = strlen(textBuffer);
  if ((unsigned long long)st.st_size <= length) return;
  std::string rest = std::to_string((unsigned long long)st.st_size - length);
  if (length == TEXT_BUFFER_SIZE - 1) {
    addFinding(c, length, FindingSeverity::Warning, "file-too-long",
               "the text ends here: only the first 65,535 bytes of the file are read, and its last " + rest +
                   " bytes are never read");
  } else {
    addFinding(c, length, FindingSeverity::Warning, "nul-byte",
               "a NUL byte ends the text here: the last " + rest + " bytes of the file are never read");
  }
}

// Appends the findings of c, placed at lines and columns, to findings.
static void handOut(CheckState& c, std::vector<CheckFinding>* findings) {
  std::vector<CheckFinding> found = placeFindings(c.pending, c.lines);
  findings->insert(findings->end(), found.begin(), found.end());
}

int loadSettingsChecked(const WCHAR* name, std::vector<CheckFinding>* findings) {
  CheckState* c = newCheckState(false);
  std::string display = displayPathOf(name, DEFAULT_SETTINGS_NAME);
  int result = loadWithSink(*c, loadSettingsFile, name);
  if (result != 0 || c->failed) checkTextLength(*c, display);
  flushStray(*c);
  if (result == 0) {
    reportLoadFailure(*c, display);
  } else {
    checkCrossReferences(*c);
  }
  handOut(*c, findings);
  delete c;
  return result;
}

int loadScheduleChecked(const WCHAR* name, std::vector<CheckFinding>* findings) {
  CheckState* c = newCheckState(true);
  int result = loadWithSink(*c, loadScheduleFile, name);
  if (result) {
    checkTextLength(*c, displayPathOf(name, DEFAULT_SCHEDULE_NAME));
    finishSchedule(*c);
  } else {
    findings->push_back({0, 0, FindingSeverity::Error, "file-not-opened",
                         utf8(loadErrorText) + ": " + displayPathOf(name, DEFAULT_SCHEDULE_NAME) +
                             " cannot be opened"});
  }
  handOut(*c, findings);
  delete c;
  return result;
}
