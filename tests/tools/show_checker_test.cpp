// The show checker: every finding of a small file at its exact line and column,
// the messages authors read, the text and JSON forms, the exit codes, and the
// demo show checked clean.
#include <cstdio>

#include "show_check_cases.h"

namespace {

using check_test::CheckCase;
using check_test::CheckTest;

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

class MessageTest : public CheckTest {
 protected:
  // The messages of the named case, in order.
  std::vector<std::string> messages(const char* name, int* loaded = nullptr) {
    const CheckCase& c = named(name);
    place(c);
    std::vector<std::string> out;
    for (const CheckFinding& f : check(c.schedule, loaded)) out.push_back(f.message);
    return out;
  }
};

TEST_F(MessageTest, RecordsThatEndEarlyNameTheirLastFieldAndWhatReadsAsZero) {
  EXPECT_EQ(messages("SetRecordEndsEarly"),
            (std::vector<std::string>{"@set record 0 ends after field 17 (orbitXX); fields 18 to 46 read as 0 and "
                                      "the text as empty"}));
  EXPECT_EQ(messages("BaseAndTxtRecordsEndEarly"),
            (std::vector<std::string>{
                "the @base record ends after field 2 (duration); fields 3 to 5 read as 0",
                "@txt record 3 ends after field 2 (typing speed); fields 3 to 5 read as 0 and the text as empty"}));
}

TEST_F(MessageTest, SkippedTextSaysWhatIsSkippedAndWhy) {
  EXPECT_EQ(messages("UnknownDirective")[0],
            "'@BMP' is no directive (directive names are lowercase: @bmp): it and the text after it up to the next "
            "'@' are skipped");
  EXPECT_EQ(messages("StrayText")[0], "text outside any block is skipped: 'hello' (and 1 more line up to line 2)");
  EXPECT_EQ(messages("BaseClosesDirective")[0],
            "'@bmp' right after the @base record: its '@' closes @base, so the @bmp block is skipped as stray text; "
            "put a line holding only '@' after the @base record");
  EXPECT_EQ(messages("DirectiveSuffix")[0], "'@settings' is read as @set, and its first record begins with 'tings'");
  EXPECT_EQ(messages("BlockFull")[0],
            "the @txt block already holds 256 records: this line and the ones after it up to the next '@' are "
            "skipped");
}

TEST_F(MessageTest, RecordsReadFromTheWrongPlaceNameTheRecordTheyBecome) {
  EXPECT_EQ(messages("ExtraFields")[0],
            "the 1st @evt record has more than its 4 fields: the rest of its line, from here, is read as the 2nd "
            "@evt record");
  EXPECT_EQ(messages("CommentInBlock"),
            (std::vector<std::string>{
                "a '#' line inside a block is no comment: it is read as @set record 0",
                "@set record 0 overwrites definition 0 of line 5 (its flag bits add to those of the earlier record)"}));
  EXPECT_EQ(messages("EmptyBlockSwallowsTheNext")[0],
            "the @txt block has no record: its first record is read from '@set' on line 5, which then opens "
            "nothing, and the lines after it up to the next '@' are read as @txt records");
  EXPECT_EQ(messages("PolygonCountOutOfRange")[0],
            "vertex count -1 is outside 0..65,535: polygon 5 gets no vertices, and the values after the count are "
            "read as further @pgn records");
}

TEST_F(MessageTest, TextsThatEndEarlySayWhere) {
  EXPECT_EQ(messages("CommaInText")[0],
            "a text cannot hold a comma: the text of @txt record 0 ends at the comma before this, and the rest of "
            "the line, from here, is read as @txt record 0");
  EXPECT_EQ(messages("NulByteEndsTheText")[0],
            "a NUL byte ends the text here: the last 22 bytes of the file are never read");
  EXPECT_EQ(messages("FileTooLong")[0],
            "the text ends here: only the first 65,535 bytes of the file are read, and its last 5893 bytes are never "
            "read");
}

TEST_F(MessageTest, KindAndClockFieldsSayHowTheRecordIsRead) {
  std::vector<std::string> kinds = messages("KindUnknown");
  ASSERT_EQ(kinds.size(), 3u);
  EXPECT_EQ(kinds[0],
            "kind letter 'G' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): definition 0 "
            "draws nothing; kind letters are lowercase");
  EXPECT_EQ(kinds[2],
            "kind letter 'n' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): definition 2 "
            "draws nothing and only spawns its children");
  EXPECT_EQ(messages("KindTooLong")[0],
            "kind field 'gg' is longer than one letter: 'g' is the kind and 'g' is read as the source, so every "
            "later field lands one place further on");
  EXPECT_EQ(messages("ClockCodeWithTrailingCharacters")[0],
            "clock code 'Y1' is followed by '2': the code takes two characters and the rest is read as the layer, "
            "so every later field lands one place further on");
  EXPECT_EQ(messages("ClockCodeOnAText")[0], "clock code 'H1' works only for kind g: for kind t the source reads as 0");
}

TEST_F(MessageTest, CrossReferencesNameWhatIsMissing) {
  std::vector<std::string> refs = messages("UndefinedReferences");
  ASSERT_EQ(refs.size(), 6u);
  EXPECT_EQ(refs[0], "definition 0 draws image 12, which no @bmp record defines");
  EXPECT_EQ(refs[1], "definition 1 draws text 3, which no @txt record defines");
  EXPECT_EQ(refs[3], "definition 3 draws lines to the instances of definition 8, which no @set record defines");
  EXPECT_EQ(refs[4], "definition 4 shows a clock digit, drawn with images 0 to 9: no @bmp record defines images 0, 1, "
                     "2, 3, 4, 5, 6, 7, 8 and 9");
  EXPECT_EQ(refs[5], "definition 5 spawns one of definitions 9 to 11: no @set record defines 9, 10 and 11 (its "
                     "children there are dropped)");
  std::vector<std::string> events = messages("Events");
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0],
            "event action 3 is none of 0 (spawn), 1 (remove its instances) and 2 (remove all): the event does nothing");
  EXPECT_EQ(events[1], "event 2 spawns definition 9, which no @set record defines");
  EXPECT_EQ(events[2], "event 3 at tick 150 never fires: the show ends at tick 100");
  EXPECT_EQ(events[4], "event 6 removes the instances of definition 9, which no @set record defines");
}

TEST_F(MessageTest, BackgroundAndFlagsSayWhatTheShowDoes) {
  EXPECT_EQ(messages("BackgroundOverTheScreen")[0],
            "background colour (-1, -1, -1) is outside 0..255: the show has no background and draws over the "
            "screen's own picture");
  EXPECT_EQ(messages("BackgroundComponentOutOfRange")[0],
            "background colour (0, 300, 0) has green 300 outside 0..255: the show has no background and draws over "
            "the screen's own picture");
  EXPECT_EQ(messages("FlagTexts"),
            (std::vector<std::string>{
                "flag text '1x000' has characters other than 0 and 1 (only '1' sets a flag)",
                "flag text '111111' is longer than five characters (those after the fifth are ignored)"}));
}

TEST_F(MessageTest, ErrorsCarryTheSystemsMessageThenTheReason) {
  int loaded = 1;
  EXPECT_EQ(messages("ImageMissing", &loaded)[0],
            "設定ファイル内、@bmpの画像読込に失敗しました: there is no image file 'missing.bmp' in " + dir_ + "/");
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(messages("ImageUnreadable")[0],
            "設定ファイル内、@bmpの画像読込に失敗しました: 'junk.png' is in " + dir_ + "/ but cannot be read as an image");
  EXPECT_EQ(messages("TxtNumberOutOfRange")[0],
            "設定ファイル内、@txtのテキストIDが有効範囲ではありません: text number 256 is outside 0..255");
  EXPECT_EQ(messages("BaseNotClosed")[1],
            "設定ファイル内、@baseの記述が間違ってます: the @base record must be followed by a line beginning with '@' "
            "(a line holding only '@'), but the text ends here");
  EXPECT_EQ(messages("ImageFoundIgnoringCase")[0],
            "image file 'spark.bmp' is found as 'Spark.bmp' only because the lookup ignores case");
}

TEST_F(MessageTest, ScheduleFindingsSayWhatEachOccasionPlays) {
  EXPECT_EQ(messages("MisspeltKeyword"),
            (std::vector<std::string>{"'@Normal' is no keyword (keywords are lowercase: @normal): it and the names "
                                      "after it up to the next keyword are skipped",
                                      "no @normal section: the @normal list is empty, so a tray tap plays default.txt"}));
  EXPECT_EQ(messages("KeywordReadAsAName")[0],
            "the @normal section has no name: '@suspend' on line 2 is read as its first name and opens no section");
  EXPECT_EQ(messages("ShowMissing")[0], "@normal plays 'gone.txt', which cannot be opened in " + dir_ + "/");
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

class CommandTest : public CheckTest {};

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
