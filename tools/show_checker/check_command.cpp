// The --check command of tessaril-render (see show_checker.h): reads its
// options, runs the checked load with the parser's globals saved around it,
// writes the findings and a summary, and gives the exit code.
//
// A wrong command line changes nothing and exits 3. The scene tables are
// allocated for the check and released after it; a process whose show already
// holds them is refused rather than disturbed.
#include <string>

#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/files/host_files.h"
#include "tools/show_checker/checked_loads.h"
#include "tools/show_checker/parser_globals.h"
#include "tools/show_checker/show_checker.h"

// The options of one --check command.
struct CheckOptions {
  bool schedule = false;
  bool strict = false;
  bool json = false;
  bool haveDir = false;
  std::string dir;
  std::string name;
};

// Prints the problem and the usage to err; the exit code of a wrong command line.
static int usage(FILE* err, const char* problem) {
  std::fprintf(err,
               "tessaril-render --check: %s\n"
               "usage: tessaril-render --check [--schedule] [--dir DIR] [-f NAME] [--strict] [--format text|json]\n",
               problem);
  return 3;
}

// Reads the value of option arg (argv[i + 1]) into options; 0, or usage's code.
static int readOptionValue(const std::string& arg, const std::string& value, CheckOptions* options, FILE* err) {
  if (arg == "--dir") {
    options->dir = value;
    options->haveDir = true;
  } else if (arg == "-f") {
    options->name = value;
  } else if (value == "json" || value == "text") {
    options->json = value == "json";
  } else {
    return usage(err, ("unknown format '" + value + "'").c_str());
  }
  return 0;
}

// Reads argv into options; 0, or usage's code for a wrong command line.
static int readOptions(int argc, char** argv, CheckOptions* options, FILE* err) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--check") {
    } else if (arg == "--schedule") {
      options->schedule = true;
    } else if (arg == "--strict") {
      options->strict = true;
    } else if (arg == "--dir" || arg == "-f" || arg == "--format") {
      if (i + 1 >= argc) return usage(err, (arg + " needs a value").c_str());
      int code = readOptionValue(arg, argv[++i], options, err);
      if (code != 0) return code;
    } else {
      return usage(err, ("unknown option '" + arg + "'").c_str());
    }
  }
  return 0;
}

// Checks the schedule file name into findings; the load's result.
static int checkSchedule(const WCHAR* name, std::vector<CheckFinding>* findings) {
  SavedScheduleGlobals saved = saveScheduleGlobals();
  int loaded = loadScheduleChecked(name, findings);
  restoreScheduleGlobals(saved);
  return loaded;
}

// Checks the settings file name into findings on fresh scene tables, as the
// player's first show would play it (a show without @base included); the
// load's result, or -1 when the tables cannot be allocated.
static int checkSettings(const WCHAR* name, std::vector<CheckFinding>* findings) {
  SavedSettingsGlobals saved = saveSettingsGlobals();
  if (!allocateSceneTables()) {
    restoreSettingsGlobals(saved);
    return -1;
  }
  int loaded = loadSettingsChecked(name, findings);
  releaseSceneTables();
  restoreSettingsGlobals(saved);
  return loaded;
}

// Writes the findings, and in text form the summary line to err; the exit code.
static int report(const std::vector<CheckFinding>& findings, const std::string& file, int loaded,
                  const CheckOptions& options, FILE* out, FILE* err) {
  int warnings = 0;
  int notes = 0;
  for (const CheckFinding& f : findings) {
    writeFinding(out, file, f, options.json);
    if (f.severity == FindingSeverity::Warning) ++warnings;
    if (f.severity == FindingSeverity::Note) ++notes;
  }
  std::fflush(out);
  if (!options.json) {
    if (loaded) {
      std::fprintf(err, "%s: loads, %d warning%s, %d note%s\n", file.c_str(), warnings, warnings == 1 ? "" : "s",
                   notes, notes == 1 ? "" : "s");
    } else {
      std::fprintf(err, "%s: does not load\n", file.c_str());
    }
  }
  if (!loaded) return 1;
  if (options.strict && warnings > 0) return 2;
  return 0;
}

int runShowCheckTo(int argc, char** argv, FILE* out, FILE* err) {
  CheckOptions options;
  int code = readOptions(argc, argv, &options, err);
  if (code != 0) return code;
  std::u16string wideName = host::utf8ToUtf16(options.name);
  if (wideName.size() > PATH_UNITS - 1) return usage(err, "the file name is too long");
  if (options.haveDir) host::setModuleDirectory(options.dir);

  std::vector<CheckFinding> findings;
  int loaded;
  std::string file;
  if (options.schedule) {
    file = displayPathOf(wideName.c_str(), DEFAULT_SCHEDULE_NAME);
    loaded = checkSchedule(wideName.c_str(), &findings);
  } else {
    if (scene.defs != nullptr) return usage(err, "the scene tables are in use");
    file = displayPathOf(wideName.c_str(), DEFAULT_SETTINGS_NAME);
    loaded = checkSettings(wideName.c_str(), &findings);
    if (loaded < 0) {
      std::fprintf(err, "tessaril-render --check: out of memory\n");
      return 1;
    }
  }
  return report(findings, file, loaded, options, out, err);
}

int runShowCheck(int argc, char** argv) { return runShowCheckTo(argc, argv, stdout, stderr); }
