// The show checker: every finding of a small file at its exact line and column
// with the messages authors read, the text and JSON forms, the exit codes, and
// the demo show checked clean.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "show_check_cases.h"

namespace {

using check_test::CheckCase;
using check_test::CheckTest;
using CommandTest = CheckTest;

class FindingTest : public CheckTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(FindingTest, GivesExactlyItsFindings) {
  const CheckCase& c = GetParam();
  place(c);
  int loaded = -1;
  std::vector<CheckFinding> findings = check(c.schedule, &loaded);
  EXPECT_EQ(summary(findings, c.expected), c.expected);
  bool error = std::any_of(findings.begin(), findings.end(),
                           [](const CheckFinding& f) { return f.severity == FindingSeverity::Error; });
  EXPECT_EQ(loaded == 0, error) << "an error finding, and only one, says the load fails";
}

std::string caseName(const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Settings, FindingTest, ::testing::ValuesIn(check_test::settingsCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Schedule, FindingTest, ::testing::ValuesIn(check_test::scheduleCases()), caseName);

// The case of that name.
const CheckCase& named(const char* name) {
  for (const auto* cases : {&check_test::settingsCases(), &check_test::scheduleCases()}) {
    for (const CheckCase& c : *cases) {
      if (std::string(c.name) == name) return c;
    }
  }
  ADD_FAILURE() << "no case " << name;
  return check_test::settingsCases()[0];
}

// The tool's command line, run with its output captured.
struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

ToolRun runTool(std::vector<std::string> args) {
  args.insert(args.begin(), "tessaril-render");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  char* text[2] = {nullptr, nullptr};
  size_t size[2] = {0, 0};
  FILE* out = open_memstream(&text[0], &size[0]);
  FILE* err = open_memstream(&text[1], &size[1]);
  int code = runShowCheckTo(int(argv.size()), argv.data(), out, err);
  std::fclose(out);
  std::fclose(err);
  ToolRun r{code, std::string(text[0], size[0]), std::string(text[1], size[1])};
  std::free(text[0]);
  std::free(text[1]);
  return r;
}

// "--check --dir DIR" and each row's arguments, with the files of the row's
// case (if any) in DIR: the exit code, and the output where the row gives it.
// No check changes the player's own base settings or schedule lists.
TEST_F(CommandTest, PrintsFindingsExitsAsTheCommandLineSaysAndLeavesThePlayersState) {
  tickInterval = 33;
  duration = 7;
  ScheduleEntry* entries = (ScheduleEntry*)calloc(1, sizeof(ScheduleEntry));
  entries[0][0] = u'x';
  normalList = ScheduleList{entries, 1};
  const std::string demo = check_test::demoDirectory();
  const struct {
    const char* placed;
    std::vector<std::string> args;
    int code;
    const char* out;  // nullptr: not checked
    const char* err;
  } rows[] = {
      // The compiler's form, and the summary on stderr.
      {"ExtraFields", {"-f", "show.txt"}, 0,
       "DIR/show.txt:7:13: warning: the 1st @evt record has more than its 4 fields: the rest of its line, from here, "
       "is read as the 2nd @evt record [extra-fields]\n",
       "DIR/show.txt: loads, 1 warning, 0 notes\n"},
      {"ExtraFields", {"--strict", "-f", "show.txt"}, 2, nullptr, nullptr},
      // JSON lines for editors; a finding of the whole file at line 0, column 0.
      {"NoBase", {"--format", "json", "-f", "show.txt"}, 0,
       "{\"file\":\"DIR/show.txt\",\"line\":4,\"column\":1,\"severity\":\"warning\",\"code\":\"stray-text\","
       "\"message\":\"text outside any block is skipped: '\\\"stray\\\"'\"}\n"
       "{\"file\":\"DIR/show.txt\",\"line\":0,\"column\":0,\"severity\":\"warning\",\"code\":\"no-base\","
       "\"message\":\"no @base record: the show plays at the tick interval and duration of the show loaded before "
       "it (1000 ms and no limit in a fresh start), with no background\"}\n",
       ""},
      {"BackgroundOverTheScreen", {"--strict", "-f", "show.txt"}, 0, nullptr, nullptr},  // a note is no warning
      {"ImageMissing", {"--strict", "-f", "show.txt"}, 1,
       "DIR/show.txt:5:4: error: 設定ファイル内、@bmpの画像読込に失敗しました: there is no image file 'missing.bmp' "
       "in DIR/ [image-not-loaded]\n",
       "DIR/show.txt: does not load\n"},
      {nullptr, {"-f", "nothing.txt"}, 1,
       "DIR/nothing.txt: error: 設定ファイル読込に失敗しました: DIR/nothing.txt cannot be opened [file-not-opened]\n",
       nullptr},
      {"MissingList", {"--schedule"}, 0,
       "DIR/schedule.ini: warning: no @suspend section: the @suspend list is empty, so a resume plays default.txt "
       "[schedule-missing-list]\n",
       nullptr},
      {"MissingList", {"--strict"}, 0, "", "DIR/default.txt: loads, 0 warnings, 0 notes\n"},  // default.txt
      {nullptr, {"--schedule"}, 1,
       "DIR/schedule.ini: error: スケジュールファイル読込に失敗しました: DIR/schedule.ini cannot be opened "
       "[file-not-opened]\n",
       nullptr},
      // A wrong command line is refused.
      {nullptr, {"--frames", "10"}, 3, "", nullptr},
      {nullptr, {"--format", "xml"}, 3, "", nullptr},
      {nullptr, {"-f"}, 3, "",
       "tessaril-render --check: -f needs a value\n"
       "usage: tessaril-render --check [--schedule] [--dir DIR] [-f NAME] [--strict] [--format text|json]\n"},
      // The demo show and its schedule check without a warning (the last --dir counts).
      {nullptr, {"--strict", "--dir", demo}, 0, nullptr, nullptr},
      {nullptr, {"--schedule", "--strict", "--dir", demo}, 0, "", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    std::remove((dir_ + "/show.txt").c_str());
    std::remove((dir_ + "/schedule.ini").c_str());
    if (row.placed != nullptr) place(named(row.placed));
    std::vector<std::string> args = {"--check", "--dir", dir_};
    args.insert(args.end(), row.args.begin(), row.args.end());
    ToolRun r = runTool(args);
    EXPECT_EQ(r.code, row.code) << r.out;
    if (row.out != nullptr) { EXPECT_EQ(inDir(r.out), row.out); }
    if (row.err != nullptr) { EXPECT_EQ(inDir(r.err), row.err); }
  }
  EXPECT_EQ(tickInterval, 33);
  EXPECT_EQ(duration, 7);
  EXPECT_EQ(normalList.entries, entries);
  EXPECT_EQ(normalList.count, 1);
  EXPECT_EQ(suspendList.entries, nullptr);
  freeScheduleList(&normalList);
}

}  // namespace
