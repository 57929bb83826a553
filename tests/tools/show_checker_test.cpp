// The show checker: every finding of a small file at its exact line and column,
// the messages authors read, the text and JSON forms, the exit codes, and the
// demo show checked clean.
#include <cstdio>

#include "show_check_cases.h"

namespace {

using check_test::CheckCase;
using check_test::CheckTest;
using CommandTest = CheckTest;
using MessageTest = CheckTest;

class FindingTest : public CheckTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(FindingTest, GivesExactlyItsFindings) {
  const CheckCase& c = GetParam();
  place(c);
  EXPECT_EQ(summary(check(c.schedule)), c.expected);
}

std::string caseName(const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Settings, FindingTest, ::testing::ValuesIn(check_test::settingsCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Schedule, FindingTest, ::testing::ValuesIn(check_test::scheduleCases()), caseName);

// The case of that name.
const CheckCase& named(const char* name) {
  for (const CheckCase& c : check_test::settingsCases()) {
    if (std::string(c.name) == name) return c;
  }
  for (const CheckCase& c : check_test::scheduleCases()) {
    if (std::string(c.name) == name) return c;
  }
  ADD_FAILURE() << "no case " << name;
  return check_test::settingsCases()[0];
}

// The messages authors read: the case, the finding's index among its
// findings, and its message ("DIR" stands for the show's directory).
TEST_F(MessageTest, MessagesSayWhatIsReadAndWhy) {
  const struct {
    const char* name;
    size_t index;
    const char* message;
  } rows[] = {
      {"SetRecordEndsEarly", 0,
       "@set record 0 ends after field 17 (orbitXX); fields 18 to 46 read as 0 and the text as empty"},
      {"BaseAndTxtRecordsEndEarly", 0, "the @base record ends after field 2 (duration); fields 3 to 5 read as 0"},
      {"BaseAndTxtRecordsEndEarly", 1,
       "@txt record 3 ends after field 2 (typing speed); fields 3 to 5 read as 0 and the text as empty"},
      {"UnknownDirective", 0,
       "'@BMP' is no directive (directive names are lowercase: @bmp): it and the text after it up to the next "
       "'@' are skipped"},
      {"StrayText", 0, "text outside any block is skipped: 'hello' (and 1 more line up to line 2)"},
      {"BaseClosesDirective", 0,
       "'@bmp' right after the @base record: its '@' closes @base, so the @bmp block is skipped as stray text; "
       "put a line holding only '@' after the @base record"},
      {"DirectiveSuffix", 0, "'@settings' is read as @set, and its first record begins with 'tings'"},
      {"BlockFull", 0,
       "the @txt block already holds 256 records: this line and the ones after it up to the next '@' are skipped"},
      {"ExtraFields", 0,
       "the 1st @evt record has more than its 4 fields: the rest of its line, from here, is read as the 2nd @evt "
       "record"},
      {"CommentInBlock", 0, "a '#' line inside a block is no comment: it is read as @set record 0"},
      {"CommentInBlock", 1,
       "@set record 0 overwrites definition 0 of line 5 (its flag bits add to those of the earlier record)"},
      {"EmptyBlockSwallowsTheNext", 0,
       "the @txt block has no record: its first record is read from '@set' on line 5, which then opens nothing, "
       "and the lines after it up to the next '@' are read as @txt records"},
      {"PolygonCountOutOfRange", 0,
       "vertex count -1 is outside 0..65,535: polygon 5 gets no vertices, and the values after the count are "
       "read as further @pgn records"},
      {"CommaInText", 0,
       "a text cannot hold a comma: the text of @txt record 0 ends at the comma before this, and the rest of the "
       "line, from here, is read as @txt record 0"},
      {"NulByteEndsTheText", 0, "a NUL byte ends the text here: the last 22 bytes of the file are never read"},
      {"FileTooLong", 0,
       "the text ends here: only the first 65,535 bytes of the file are read, and its last 5893 bytes are never "
       "read"},
      {"KindUnknown", 0,
       "kind letter 'G' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): definition 0 "
       "draws nothing; kind letters are lowercase"},
      {"KindUnknown", 2,
       "kind letter 'n' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): definition 2 "
       "draws nothing and only spawns its children"},
      {"KindTooLong", 0,
       "kind field 'gg' is longer than one letter: 'g' is the kind and 'g' is read as the source, so every later "
       "field lands one place further on"},
      {"ClockCodeWithTrailingCharacters", 0,
       "clock code 'Y1' is followed by '2': the code takes two characters and the rest is read as the layer, so "
       "every later field lands one place further on"},
      {"ClockCodeOnAText", 0, "clock code 'H1' works only for kind g: for kind t the source reads as 0"},
      {"UndefinedReferences", 0, "definition 0 draws image 12, which no @bmp record defines"},
      {"UndefinedReferences", 1, "definition 1 draws text 3, which no @txt record defines"},
      {"UndefinedReferences", 3,
       "definition 3 draws lines to the instances of definition 8, which no @set record defines"},
      {"UndefinedReferences", 4,
       "definition 4 shows a clock digit, drawn with images 0 to 9: no @bmp record defines images 0, 1, 2, 3, 4, "
       "5, 6, 7, 8 and 9"},
      {"UndefinedReferences", 5,
       "definition 5 spawns one of definitions 9 to 11: no @set record defines 9, 10 and 11 (its children there "
       "are dropped)"},
      {"Events", 0,
       "event action 3 is none of 0 (spawn), 1 (remove its instances) and 2 (remove all): the event does nothing"},
      {"Events", 1, "event 2 spawns definition 9, which no @set record defines"},
      {"Events", 2, "event 3 at tick 150 never fires: the show ends at tick 100"},
      {"Events", 4, "event 6 removes the instances of definition 9, which no @set record defines"},
      {"BackgroundOverTheScreen", 0,
       "background colour (-1, -1, -1) is outside 0..255: the show has no background and draws over the screen's "
       "own picture"},
      {"BackgroundComponentOutOfRange", 0,
       "background colour (0, 300, 0) has green 300 outside 0..255: the show has no background and draws over the "
       "screen's own picture"},
      {"FlagTexts", 0, "flag text '1x000' has characters other than 0 and 1 (only '1' sets a flag)"},
      {"FlagTexts", 1, "flag text '111111' is longer than five characters (those after the fifth are ignored)"},
      // Errors carry the system's message, then the reason.
      {"ImageMissing", 0, "設定ファイル内、@bmpの画像読込に失敗しました: there is no image file 'missing.bmp' in DIR/"},
      {"ImageUnreadable", 0,
       "設定ファイル内、@bmpの画像読込に失敗しました: 'junk.png' is in DIR/ but cannot be read as an image"},
      {"TxtNumberOutOfRange", 0,
       "設定ファイル内、@txtのテキストIDが有効範囲ではありません: text number 256 is outside 0..255"},
      {"BaseNotClosed", 1,
       "設定ファイル内、@baseの記述が間違ってます: the @base record must be followed by a line beginning with '@' (a "
       "line holding only '@'), but the text ends here"},
      {"ImageFoundIgnoringCase", 0, "image file 'spark.bmp' is found as 'Spark.bmp' only because the lookup ignores case"},
      {"MisspeltKeyword", 0,
       "'@Normal' is no keyword (keywords are lowercase: @normal): it and the names after it up to the next keyword "
       "are skipped"},
      {"MisspeltKeyword", 1, "no @normal section: the @normal list is empty, so a tray tap plays default.txt"},
      {"KeywordReadAsAName", 0,
       "the @normal section has no name: '@suspend' on line 2 is read as its first name and opens no section"},
      {"ShowMissing", 0, "@normal plays 'gone.txt', which cannot be opened in DIR/"},
  };
  for (const auto& row : rows) {
    const CheckCase& c = named(row.name);
    place(c);
    int loaded = -1;
    std::vector<CheckFinding> findings = check(c.schedule, &loaded);
    ASSERT_LT(row.index, findings.size()) << row.name;
    std::string message = row.message;
    if (message.find("DIR/") != std::string::npos) message.replace(message.find("DIR/"), 3, dir_);
    EXPECT_EQ(findings[row.index].message, message) << row.name;
    EXPECT_EQ(loaded == 0, c.expected[row.index].find("error") != std::string::npos) << row.name;
  }
}

// The tool's command line, run with its output captured.
struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

std::string readAll(FILE* f) {
  std::string s;
  std::rewind(f);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
  std::fclose(f);
  return s;
}

ToolRun runTool(std::vector<std::string> args) {
  args.insert(args.begin(), "tessaril-render");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  int code = runShowCheckTo(int(argv.size()), argv.data(), out, err);
  return {code, readAll(out), readAll(err)};
}

TEST_F(CommandTest, PrintsFindingsInTheCompilersForm) {
  place(named("ExtraFields"));
  ToolRun r = runTool({"--check", "--dir", dir_, "-f", "show.txt"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, dir_ + "/show.txt:7:13: warning: the 1st @evt record has more than its 4 fields: the rest of its "
                          "line, from here, is read as the 2nd @evt record [extra-fields]\n");
  EXPECT_EQ(r.err, dir_ + "/show.txt: loads, 1 warning, 0 notes\n");
}

TEST_F(CommandTest, PrintsJsonLinesForEditors) {
  place(named("NoBase"));
  write("show.txt", named("NoBase").text + "\"stray\"\r\n");
  ToolRun r = runTool({"--check", "--format", "json", "--dir", dir_, "-f", "show.txt"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "{\"file\":\"" + dir_ +
                       "/show.txt\",\"line\":4,\"column\":1,\"severity\":\"warning\",\"code\":\"stray-text\","
                       "\"message\":\"text outside any block is skipped: '\\\"stray\\\"'\"}\n"
                       "{\"file\":\"" + dir_ +
                       "/show.txt\",\"line\":0,\"column\":0,\"severity\":\"warning\",\"code\":\"no-base\","
                       "\"message\":\"no @base record: the show plays at the tick interval and duration of the show "
                       "loaded before it (1000 ms and no limit in a fresh start), with no background\"}\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CommandTest, ExitCodesTellLoadsFailsAndStrictWarnings) {
  place(named("DuplicateNumber"));
  EXPECT_EQ(runTool({"--check", "--dir", dir_, "-f", "show.txt"}).code, 0);
  EXPECT_EQ(runTool({"--check", "--strict", "--dir", dir_, "-f", "show.txt"}).code, 2);
  place(named("BackgroundOverTheScreen"));  // a note is no warning
  EXPECT_EQ(runTool({"--check", "--strict", "--dir", dir_, "-f", "show.txt"}).code, 0);
  place(named("ImageMissing"));
  ToolRun failed = runTool({"--check", "--strict", "--dir", dir_, "-f", "show.txt"});
  EXPECT_EQ(failed.code, 1);
  EXPECT_NE(failed.out.find("show.txt:5:4: error: 設定ファイル内、@bmpの画像読込に失敗しました: "), std::string::npos)
      << failed.out;
  EXPECT_EQ(failed.err, dir_ + "/show.txt: does not load\n");
  ToolRun missing = runTool({"--check", "--dir", dir_, "-f", "nothing.txt"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, dir_ + "/nothing.txt: error: 設定ファイル読込に失敗しました: " + dir_ +
                             "/nothing.txt cannot be opened [file-not-opened]\n");
}

TEST_F(CommandTest, ChecksTheScheduleAndDefaultNames) {
  place(named("MissingList"));
  write("default.txt", check_test::kBase);
  ToolRun r = runTool({"--check", "--schedule", "--dir", dir_});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, dir_ + "/schedule.ini: warning: no @suspend section: the @suspend list is empty, so a resume plays "
                          "default.txt [schedule-missing-list]\n");
  ToolRun settings = runTool({"--check", "--strict", "--dir", dir_});  // default.txt
  EXPECT_EQ(settings.code, 0);
  EXPECT_EQ(settings.err, dir_ + "/default.txt: loads, 0 warnings, 0 notes\n");
  std::remove((dir_ + "/schedule.ini").c_str());
  ToolRun missing = runTool({"--check", "--schedule", "--dir", dir_});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.out.find("error: スケジュールファイル読込に失敗しました"), std::string::npos) << missing.out;
}

TEST_F(CommandTest, AWrongCommandLineIsRefused) {
  EXPECT_EQ(runTool({"--check", "--frames", "10"}).code, 3);
  EXPECT_EQ(runTool({"--check", "--format", "xml"}).code, 3);
  ToolRun r = runTool({"--check", "-f"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("-f needs a value"), std::string::npos);
  EXPECT_EQ(r.out, "");
}

TEST_F(CommandTest, LeavesThePlayersStateAsItFoundIt) {
  place(named("Events"));
  tickInterval = 33;
  duration = 7;
  ScheduleEntry* entries = (ScheduleEntry*)malloc(sizeof(ScheduleEntry));
  entries[0][0] = u'x';
  entries[0][1] = 0;
  normalList = ScheduleList{entries, 1};
  EXPECT_EQ(runTool({"--check", "--dir", dir_, "-f", "show.txt"}).code, 0);
  write("schedule.ini", named("ScheduleClean").text);
  EXPECT_EQ(runTool({"--check", "--schedule", "--dir", dir_}).code, 0);
  EXPECT_EQ(tickInterval, 33);
  EXPECT_EQ(duration, 7);
  EXPECT_EQ(normalList.entries, entries);
  EXPECT_EQ(normalList.count, 1);
  EXPECT_EQ(suspendList.entries, nullptr);
  freeScheduleList(&normalList);
  tickInterval = 1000;
  duration = -1;
}

TEST_F(CommandTest, TheDemoShowChecksWithoutAWarning) {
  ToolRun show = runTool({"--check", "--strict", "--dir", check_test::demoDirectory()});
  EXPECT_EQ(show.code, 0) << show.out;
  EXPECT_EQ(show.out.find("warning"), std::string::npos) << show.out;
  EXPECT_EQ(show.out.find("error"), std::string::npos) << show.out;
  ToolRun schedule = runTool({"--check", "--schedule", "--strict", "--dir", check_test::demoDirectory()});
  EXPECT_EQ(schedule.code, 0) << schedule.out;
  EXPECT_EQ(schedule.out, "");
}

}  // namespace
