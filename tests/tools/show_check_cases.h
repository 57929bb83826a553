// The small shows of the checker's tests: each a settings or schedule text,
// the files beside it, and the findings it must give, as "line:column severity
// code" and, where the case pins it, the message. The finding tests check each
// case; the sink test loads every case with and without the sink and compares
// the tables.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "config/config_test_support.h"
#include "config/diagnostics.h"
#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/files/host_files.h"
#include "tests/support/set_record.h"
#include "tools/show_checker/show_checker.h"

namespace check_test {

struct ShowFile {
  std::string name;
  std::string bytes;
};

struct CheckCase {
  const char* name;
  std::string text;
  std::vector<std::string> expected;
  std::vector<ShowFile> files = {};  // written beside it
  bool schedule = false;             // the text is schedule.ini, else show.txt
};

// The @base preamble of most cases: lines 1 to 3.
inline const std::string kBase = "@base\r\n50, 100, 0, 0, 0\r\n@\r\n";

using test_show::setRecord;

// The 1-based column at which needle first begins in line.
inline int columnOf(const std::string& line, const std::string& needle) { return int(line.find(needle)) + 1; }

// "line:column severity code", then ": message" where a case pins the message
// authors read ("DIR" stands for the show's directory).
inline std::string at(int line, int column, const char* severity, const char* code, const std::string& message = "") {
  return std::to_string(line) + ":" + std::to_string(column) + " " + severity + " " + code +
         (message.empty() ? "" : ": " + message);
}

inline std::vector<CheckCase> buildSettingsCases() {
  const std::string bmp = test_files::bmpBytes(4, 4, {0x336699});
  const std::string imageTail = ", 0, 0, 0, 0, 0, 0, 0, 0, 0";
  const char* const imageFailed = "設定ファイル内、@bmpの画像読込に失敗しました: ";
  std::vector<CheckCase> cases;
  // Ends in an unknown name that skips nothing: no finding either.
  cases.push_back({"Clean", kBase + "@set\r\n" + setRecord(0) + "\r\n@evt\r\n1, 0, 0, 0\r\n@\r\n@end\r\n", {}});
  cases.push_back({"UnknownDirective", kBase + "@BMP\r\n0, \"a.bmp\"" + imageTail + "\r\n@\r\n",
                   {at(4, 1, "warning", "unknown-directive",
                       "'@BMP' is no directive (directive names are lowercase: @bmp): it and the text after it up "
                       "to the next '@' are skipped")}});
  cases.push_back({"DirectiveSuffix", kBase + "@settings\r\n" + setRecord(0) + "\r\n@\r\n",
                   {at(4, 1, "warning", "directive-suffix",
                       "'@settings' is read as @set, and its first record begins with 'tings'"),
                    at(4, 10, "warning", "record-ends-early"), at(5, 1, "warning", "duplicate-number")}});
  cases.push_back({"StrayText", "hello\r\nworld\r\n" + kBase,
                   {at(1, 1, "warning", "stray-text",
                       "text outside any block is skipped: 'hello' (and 1 more line up to line 2)")}});
  cases.push_back({"BaseClosesDirective", "@base\r\n50, 100, 0, 0, 0\r\n@bmp\r\n0, \"a.bmp\"" + imageTail + "\r\n@\r\n",
                   {at(3, 1, "warning", "base-closes-directive",
                       "'@bmp' right after the @base record: its '@' closes @base, so the @bmp block is skipped as "
                       "stray text; put a line holding only '@' after the @base record")}});
  cases.push_back({"RecordsEndEarly",
                   "@base\r\n50, 100\r\n@\r\n@txt\r\n3, 2\r\n@\r\n"
                   "@set\r\n0, s, 0, 10, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n@\r\n",
                   {at(2, 8, "warning", "record-ends-early",
                       "the @base record ends after field 2 (duration); fields 3 to 5 read as 0"),
                    at(5, 5, "warning", "record-ends-early",
                       "@txt record 3 ends after field 2 (typing speed); fields 3 to 5 read as 0 and the text as "
                       "empty"),
                    at(8, 55, "warning", "record-ends-early",
                       "@set record 0 ends after field 17 (orbitXX); fields 18 to 46 read as 0 and the text as "
                       "empty")}});
  cases.push_back({"ExtraFields", kBase + "@set\r\n" + setRecord(0) + "\r\n@evt\r\n1, 0, 0, 0, 5, 0, 0, 0\r\n@\r\n",
                   {at(7, 13, "warning", "extra-fields")}});  // the command test pins its message
  cases.push_back({"CommentInBlock", kBase + "@set\r\n# sparks\r\n" + setRecord(0) + "\r\n@\r\n",
                   {at(5, 1, "warning", "comment-in-block",
                       "a '#' line inside a block is no comment: it is read as @set record 0"),
                    at(6, 1, "warning", "duplicate-number",
                       "@set record 0 overwrites definition 0 of line 5 (its flag bits add to those of the earlier "
                       "record)")}});
  {
    std::string text = kBase + "@txt\r\n";
    for (int i = 0; i <= 256; ++i) text += std::to_string(i) + ", 0, 0, 0, \"t\"\r\n";
    cases.push_back({"BlockFull", text + "@\r\n",
                     {at(261, 1, "warning", "block-full",
                         "the @txt block already holds 256 records: this line and the ones after it up to the next "
                         "'@' are skipped")}});
  }
  cases.push_back({"KindUnknown", kBase + "@set\r\n" + setRecord(0, "G") + "\r\n" + setRecord(1, "x") + "\r\n" +
                       setRecord(2, "n", {{"source", "-1"}, {"lifetime", "0"}, {"childDef", "0"}, {"spawnEvery", "10"}, {"spawnCount", "1"}}) + "\r\n@\r\n",
                   {at(5, 4, "warning", "kind-unknown",
                       "kind letter 'G' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): "
                       "definition 0 draws nothing; kind letters are lowercase"),
                    at(6, 4, "warning", "kind-unknown"),
                    at(7, 4, "note", "kind-unknown",
                       "kind letter 'n' is no kind (g image, t text, s rectangle, c ellipse, l lines, p polygon): "
                       "definition 2 draws nothing and only spawns its children")}});
  {
    std::string line = setRecord(0, "gg");
    cases.push_back({"KindTooLong", kBase + "@set\r\n" + line + "\r\n@\r\n",
                     {at(5, 4, "warning", "kind-too-long",
                         "kind field 'gg' is longer than one letter: 'g' is the kind and 'g' is read as the source, so "
                         "every later field lands one place further on"),
                      at(5, columnOf(line, "\"00000\""), "warning", "duplicate-number")}});
  }
  cases.push_back({"ClockCodeOnAText",
                   kBase + "@txt\r\n0, 0, 0, 0, \"hi\"\r\n@set\r\n" + setRecord(0, "t", {{"source", "H1"}}) + "\r\n@\r\n",
                   {at(7, 7, "warning", "clock-code-kind",
                       "clock code 'H1' works only for kind g: for kind t the source reads as 0")}});
  {
    std::string line = setRecord(0, "g", {{"source", "Y12"}});
    cases.push_back({"ClockCodeWithTrailingCharacters", kBase + "@set\r\n" + line + "\r\n@\r\n",
                     {at(5, 7, "warning", "clock-code-trailing",
                         "clock code 'Y1' is followed by '2': the code takes two characters and the rest is read as "
                         "the layer, so every later field lands one place further on"),
                      at(5, columnOf(line, "\"00000\""), "warning", "duplicate-number")}});
  }
  cases.push_back({"ImageMissing", kBase + "@bmp\r\n0, \"missing.bmp\"" + imageTail + "\r\n@\r\n",
                   {at(5, 4, "error", "image-not-loaded")}});  // the command test pins its message
  cases.push_back({"ImageUnreadable", kBase + "@bmp\r\n0, \"junk.png\"" + imageTail + "\r\n@\r\n",
                   {at(5, 4, "error", "image-not-loaded",
                       imageFailed + std::string("'junk.png' is in DIR/ but cannot be read as an image"))},
                   {{"junk.png", "not an image"}}});
  cases.push_back({"ImageFoundIgnoringCase", kBase + "@bmp\r\n0, \"spark.bmp\"" + imageTail + "\r\n@\r\n",
                   {at(5, 4, "note", "image-case",
                       "image file 'spark.bmp' is found as 'Spark.bmp' only because the lookup ignores case")},
                   {{"Spark.bmp", bmp}}});
  cases.push_back({"ImagesLoad",
                   kBase + "@bmp\r\n0, \"spark.bmp\"" + imageTail + "\r\n0, \"spark.bmp\", 2, 2, 2, 2, 4, 1, 1, 1, 0\r\n@\r\n",
                   {at(6, 1, "warning", "duplicate-number")}, {{"spark.bmp", bmp}}});
  cases.push_back({"FieldsAndTextsCut", kBase + "@set\r\n" +
                       setRecord(0, "s", {{"posFracX", "0[" + std::string(300, '1') + "]"}}) +
                       "\r\n@evt\r\n1, 0, 0, " + std::string(300, '0') + "\r\n@txt\r\n0, 0, 0, 0, \"" +
                       std::string(300, 'a') + "\"\r\n@\r\n",
                   {at(5, 14, "warning", "field-cut"), at(7, 10, "warning", "field-cut"),
                    at(9, 13, "warning", "text-cut")}});
  cases.push_back({"PolygonCountOutOfRange",
                   kBase + "@pgn\r\n5, -1, 1.0, 2.0\r\n6, 70000, 1.0\r\n0, 3, 0.0, -0.5, 0.5, 0.5, -0.5, 0.5\r\n@\r\n",
                   {at(5, 4, "warning", "polygon-count",
                       "vertex count -1 is outside 0..65,535: polygon 5 gets no vertices, and the values after the "
                       "count are read as further @pgn records"),
                    at(6, 4, "warning", "polygon-count"), at(6, 11, "warning", "duplicate-number")}});
  cases.push_back({"Events", kBase + "@set\r\n" + setRecord(0) +
                       "\r\n@evt\r\n1, 0, 0, 3\r\n1, 0, 9, 0\r\n150, 0, 0, 0\r\n-1, 0, 0, 1\r\n1, 0, 9, 2\r\n100, 0, 9, 1\r\n@\r\n",
                   {at(7, 10, "warning", "event-action",
                       "event action 3 is none of 0 (spawn), 1 (remove its instances) and 2 (remove all): the event "
                       "does nothing"),
                    at(8, 7, "warning", "undefined-target",
                       "event 2 spawns definition 9, which no @set record defines"),
                    at(9, 1, "warning", "event-tick", "event 3 at tick 150 never fires: the show ends at tick 100"),
                    at(10, 1, "warning", "event-tick"),
                    at(12, 9, "warning", "undefined-target",
                       "event 6 removes the instances of definition 9, which no @set record defines")}});
  {
    std::string child = setRecord(5, "s", {{"childDef", "9[2]"}, {"spawnEvery", "10"}, {"spawnCount", "1"}});
    cases.push_back({"UndefinedReferences",
                     kBase + "@set\r\n" + setRecord(0, "g", {{"source", "12"}}) + "\r\n" + setRecord(1, "t", {{"source", "3"}}) + "\r\n" +
                         setRecord(2, "p", {{"source", "2"}}) + "\r\n" + setRecord(3, "l", {{"source", "8"}}) + "\r\n" +
                         setRecord(4, "g", {{"source", "H1"}}) + "\r\n" + child + "\r\n" +
                         setRecord(6, "s", {{"childDef", "5"}, {"spawnEvery", "10"}, {"spawnCount", "1"}}) + "\r\n" +
                         setRecord(7, "g", {{"source", "-1"}}) + "\r\n@\r\n",
                     {at(5, 7, "warning", "undefined-image",
                         "definition 0 draws image 12, which no @bmp record defines"),
                      at(6, 7, "warning", "undefined-text", "definition 1 draws text 3, which no @txt record defines"),
                      at(7, 7, "warning", "undefined-polygon"),
                      at(8, 7, "warning", "undefined-line-target",
                         "definition 3 draws lines to the instances of definition 8, which no @set record defines"),
                      at(9, 7, "warning", "undefined-image",
                         "definition 4 shows a clock digit, drawn with images 0 to 9: no @bmp record defines images 0, "
                         "1, 2, 3, 4, 5, 6, 7, 8 and 9"),
                      at(10, columnOf(child, "9[2]"), "warning", "undefined-child",
                         "definition 5 spawns one of definitions 9 to 11: no @set record defines 9, 10 and 11 (its "
                         "children there are dropped)")}});
  }
  {
    std::string odd = setRecord(0, "s", {{"inheritFlags", "\"1x000\""}});
    std::string longer = setRecord(1, "s", {{"inheritFlags", "111111"}});
    cases.push_back({"FlagTexts", kBase + "@set\r\n" + odd + "\r\n" + longer + "\r\n@\r\n",
                     {at(5, columnOf(odd, "\"1x000\""), "warning", "flag-text",
                         "flag text '1x000' has characters other than 0 and 1 (only '1' sets a flag)"),
                      at(6, columnOf(longer, "111111"), "warning", "flag-text",
                         "flag text '111111' is longer than five characters (those after the fifth are ignored)")}});
  }
  cases.push_back({"BackgroundOverTheScreen", "@base\r\n50, 100, -1, -1, -1\r\n@\r\n",
                   {at(2, 10, "note", "background-off",
                       "background colour (-1, -1, -1) is outside 0..255: the show has no background and draws over "
                       "the screen's own picture")}});
  cases.push_back({"BackgroundComponentOutOfRange", "@base\r\n50, 100, 0, 300, 0\r\n@\r\n",
                   {at(2, 13, "warning", "background-off",
                       "background colour (0, 300, 0) has green 300 outside 0..255: the show has no background and "
                       "draws over the screen's own picture")}});
  cases.push_back({"EmptyBlockSwallowsTheNext", kBase + "@txt\r\n@set\r\n" + setRecord(0) + "\r\n@\r\n",
                   {at(4, 1, "warning", "empty-block",
                       "the @txt block has no record: its first record is read from '@set' on line 5, which then "
                       "opens nothing, and the lines after it up to the next '@' are read as @txt records")}});
  cases.push_back({"EmptyBlockAtTheEnd", kBase + "@evt",
                   {at(4, 1, "warning", "empty-block"), at(4, 5, "warning", "undefined-target")}});
  {
    std::string text = kBase + "@set\r\n" + setRecord(0) + "\r\n@evt\r\n";
    for (int i = 0; i < 256; ++i) text += "1, 0, 0, 0\r\n";
    cases.push_back({"EventTableFull", text + "@evt\r\n1, 0, 0, 0\r\n@\r\n",
                     {at(264, 1, "warning", "event-table-full")}});
  }
  cases.push_back({"CommaInText", kBase + "@txt\r\n0, 2, 1, 0, \"Hello, world\"\r\n@\r\n",
                   {at(5, 21, "warning", "comma-in-text",
                       "a text cannot hold a comma: the text of @txt record 0 ends at the comma before this, and the "
                       "rest of the line, from here, is read as @txt record 0"),
                    at(5, 21, "warning", "duplicate-number")}});
  cases.push_back({"NulByteEndsTheText",
                   kBase + "@set\r\n" + setRecord(0) + "\r\n" + std::string(1, '\0') + "@evt\r\n1, 0, 0, 0\r\n@\r\n",
                   {at(6, 1, "warning", "nul-byte",
                       "a NUL byte ends the text here: the last 22 bytes of the file are never read")}});
  {
    // 28 bytes of @base, then comment lines of 102 bytes: byte 65,535 is the
    // 24th of the 643rd comment line.
    std::string text = kBase;
    for (int i = 0; i < 700; ++i) text += "# " + std::string(98, 'x') + "\r\n";
    cases.push_back({"FileTooLong", text,
                     {at(3 + 643, 24, "warning", "file-too-long",
                         "the text ends here: only the first 65,535 bytes of the file are read, and its last 5893 "
                         "bytes are never read")}});
  }
  // The JSON test prints these findings: a message with quotes in it.
  cases.push_back({"NoBase", "@set\r\n" + setRecord(0) + "\r\n@\r\n\"stray\"\r\n",
                   {at(4, 1, "warning", "stray-text"), at(0, 0, "warning", "no-base")}});
  cases.push_back({"BaseNotClosed", "hello\r\n@base\r\n50, 100, 0, 0, 0",
                   {at(1, 1, "warning", "stray-text"),
                    at(3, 17, "error", "base-not-closed",
                       "設定ファイル内、@baseの記述が間違ってます: the @base record must be followed by a line beginning "
                       "with '@' (a line holding only '@'), but the text ends here")}});
  cases.push_back({"TxtNumberOutOfRange", kBase + "@txt\r\n256, 0, 0, 0, \"x\"\r\n@\r\n",
                   {at(5, 1, "error", "number-out-of-range",
                       "設定ファイル内、@txtのテキストIDが有効範囲ではありません: text number 256 is outside 0..255")}});
  return cases;
}

inline std::vector<CheckCase> buildScheduleCases() {
  const std::string tail = "@suspend\r\n\"show.txt\"\r\n@\r\n";
  std::vector<CheckCase> cases;
  // A clean schedule is the demo's, which the command test checks (and the sink test loads).
  cases.push_back({"MisspeltKeyword", "@Normal\r\n\"show.txt\"\r\n" + tail,
                   {at(1, 1, "warning", "misspelt-keyword",
                       "'@Normal' is no keyword (keywords are lowercase: @normal): it and the names after it up to "
                       "the next keyword are skipped"),
                    at(0, 0, "warning", "schedule-missing-list",
                       "no @normal section: the @normal list is empty, so a tray tap plays default.txt")}});
  cases.push_back({"KeywordSuffix", "@normals\r\n\"show.txt\"\r\n" + tail,
                   {at(1, 1, "warning", "keyword-suffix"), at(1, 8, "warning", "schedule-show-missing")}});
  cases.push_back({"KeywordReadAsAName", "@normal\r\n@suspend\r\n\"show.txt\"\r\n@\r\n",
                   {at(1, 1, "warning", "schedule-empty-list",
                       "the @normal section has no name: '@suspend' on line 2 is read as its first name and opens no "
                       "section"),
                    at(0, 0, "warning", "schedule-missing-list")}});
  cases.push_back({"EmptyNameAndKeywordAtTheEnd", "@normal\r\n\"\"\r\n@suspend",
                   {at(1, 1, "warning", "schedule-empty-list"), at(3, 1, "warning", "schedule-empty-list")}});
  cases.push_back({"MissingList", "@normal\r\n\"show.txt\"\r\n@\r\n",
                   {at(0, 0, "warning", "schedule-missing-list")}});
  cases.push_back({"CommentInSection", "@normal\r\n# tap\r\n\"show.txt\"\r\n" + tail,
                   {at(2, 1, "warning", "comment-in-section"), at(2, 1, "warning", "schedule-show-missing")}});
  cases.push_back({"ScheduleStrayText", "hello\r\n@normal\r\n\"show.txt\"\r\n" + tail,
                   {at(1, 1, "warning", "stray-text")}});
  cases.push_back({"UnknownKeyword", "@names\r\n\"x.txt\"\r\n@normal\r\n\"show.txt\"\r\n" + tail,
                   {at(1, 1, "warning", "unknown-keyword")}});
  cases.push_back({"ShowMissing", "@normal\r\n\"gone.txt\"\r\n" + tail,
                   {at(2, 1, "warning", "schedule-show-missing",
                       "@normal plays 'gone.txt', which cannot be opened in DIR/")}});
  {
    std::string text = "@normal\r\n";
    for (int i = 0; i < 256; ++i) text += "\"show.txt\"\r\n";
    cases.push_back({"SectionFull", text + tail, {at(257, 1, "warning", "section-full")}});
  }
  cases.push_back({"NameCut", "@normal\r\n" + std::string(300, 'a') + "\r\n" + tail,
                   {at(2, 1, "warning", "text-cut"), at(2, 1, "warning", "schedule-show-missing")}});
  for (CheckCase& c : cases) {
    c.files = {{"show.txt", kBase}, {"default.txt", kBase}};
    c.schedule = true;
  }
  return cases;
}

inline const std::vector<CheckCase>& settingsCases() {
  static const std::vector<CheckCase> cases = buildSettingsCases();
  return cases;
}

inline const std::vector<CheckCase>& scheduleCases() {
  static const std::vector<CheckCase> cases = buildScheduleCases();
  return cases;
}

// The repository's demo show, found from this file's path.
inline std::string demoDirectory() {
  std::string here = __FILE__;
  return here.substr(0, here.rfind("/tests/")) + "/examples/demo";
}

// A temp directory reported as the executable's, removed afterwards, with
// every GDI object and file released in between; no scene tables outside a check.
class CheckTest : public config_test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    ASSERT_EQ(settingsDiagnostics, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(settingsDiagnostics, nullptr);
    EXPECT_EQ(scene.defs, nullptr);
    ScratchDirTest::TearDown();
  }
  // Text with the directory written as "DIR".
  std::string inDir(std::string text) const {
    for (size_t pos; (pos = text.find(dir_)) != std::string::npos;) text.replace(pos, dir_.size(), "DIR");
    return text;
  }
  // Writes the case's text and files into the directory.
  void place(const CheckCase& c) {
    write(c.schedule ? "schedule.ini" : "show.txt", c.text);
    for (const ShowFile& f : c.files) write(f.name, f.bytes);
  }
  // Loads the settings file (or the schedule, for name "") as the player's
  // first load would, through the checker when findings is not null; seen(result)
  // looks at what the load stored before it is released.
  template <class Seen>
  void load(bool schedule, const WCHAR* name, std::vector<CheckFinding>* findings, Seen seen) {
    if (schedule) {
      seen(findings != nullptr ? loadScheduleChecked(name, findings) : loadScheduleFile(name));
      freeScheduleList(&normalList);
      freeScheduleList(&suspendList);
      return;
    }
    tickInterval = 1000;
    duration = -1;
    ASSERT_EQ(allocateSceneTables(), 1);
    seen(findings != nullptr ? loadSettingsChecked(name, findings) : loadSettingsFile(name));
    releaseSceneTables();
  }
  // Checks show.txt (or schedule.ini) as the player's first load would see it.
  std::vector<CheckFinding> check(bool schedule, int* loaded) {
    std::vector<CheckFinding> findings;
    load(schedule, schedule ? u"" : u"show.txt", &findings, [loaded](int result) { *loaded = result; });
    return findings;
  }
  // The findings as at() writes them, each with its message where the
  // expected finding at its index has one.
  std::vector<std::string> summary(const std::vector<CheckFinding>& findings,
                                   const std::vector<std::string>& expected) const {
    static const char* const severities[] = {"note", "warning", "error"};
    std::vector<std::string> out;
    for (size_t i = 0; i < findings.size(); ++i) {
      const CheckFinding& f = findings[i];
      std::string message;
      if (i < expected.size() && expected[i].find(": ") != std::string::npos) message = inDir(f.message);
      out.push_back(at(f.line, f.column, severities[int(f.severity)], f.code.c_str(), message));
    }
    return out;
  }
};

}  // namespace check_test
