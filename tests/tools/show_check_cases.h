// The small shows of the checker's tests: each a settings or schedule text,
// the files beside it, and the findings it must give, as "line:column severity
// code". The finding tests check each case; the sink test loads every case
// with and without the sink and compares the tables.
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
#include "tools/show_checker/show_checker.h"

namespace check_test {

struct ShowFile {
  std::string name;
  std::string bytes;
};

struct CheckCase {
  const char* name;
  bool schedule;             // the text is schedule.ini, else show.txt
  std::string text;
  std::vector<ShowFile> files;  // written beside it
  std::vector<std::string> expected;
};

// The @base preamble of most cases: lines 1 to 3.
inline const std::string kBase = "@base\r\n50, 100, 0, 0, 0\r\n@\r\n";

// A @set record of 46 fields: number, kind, source, then a rectangle's values
// and the tail from lifetime (position 39) to the flag text.
inline std::string setRecord(const std::string& n, const std::string& kind = "s", const std::string& source = "0",
                             const std::string& tail = "60, -1, 0, 0, 0, 0, 0, \"00000\"",
                             const std::string& posFracX = "0.5") {
  return n + ", " + kind + ", " + source + ", 10, " + posFracX +
         ", 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, -1, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, "
         "255, 0, 0, " +
         tail;
}

// The 1-based column at which needle first begins in line.
inline int columnOf(const std::string& line, const std::string& needle) { return int(line.find(needle)) + 1; }

inline std::string at(int line, int column, const char* severity, const char* code) {
  return std::to_string(line) + ":" + std::to_string(column) + " " + severity + " " + code;
}

inline std::vector<CheckCase> buildSettingsCases() {
  const std::string bmp = config_test::bmp24(4, 4, 0x336699);
  const std::string imageTail = ", 0, 0, 0, 0, 0, 0, 0, 0, 0";
  std::vector<CheckCase> cases;
  cases.push_back({"Clean", false, kBase + "@set\r\n" + setRecord("0") + "\r\n@evt\r\n1, 0, 0, 0\r\n@\r\n", {}, {}});
  cases.push_back({"UnknownDirective", false, kBase + "@BMP\r\n0, \"a.bmp\"" + imageTail + "\r\n@\r\n", {},
                   {at(4, 1, "warning", "unknown-directive")}});
  cases.push_back({"UnknownNameThatSkipsNothing", false, kBase + "@end\r\n", {}, {}});
  cases.push_back({"DirectiveSuffix", false, kBase + "@settings\r\n" + setRecord("0") + "\r\n@\r\n", {},
                   {at(4, 1, "warning", "directive-suffix"), at(4, 10, "warning", "record-ends-early"),
                    at(5, 1, "warning", "duplicate-number")}});
  cases.push_back({"StrayText", false, "hello\r\nworld\r\n" + kBase, {}, {at(1, 1, "warning", "stray-text")}});
  cases.push_back({"BaseClosesDirective", false,
                   "@base\r\n50, 100, 0, 0, 0\r\n@bmp\r\n0, \"a.bmp\"" + imageTail + "\r\n@\r\n", {},
                   {at(3, 1, "warning", "base-closes-directive")}});
  cases.push_back({"SetRecordEndsEarly", false,
                   kBase + "@set\r\n0, s, 0, 10, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n@\r\n", {},
                   {at(5, 55, "warning", "record-ends-early")}});
  cases.push_back({"BaseAndTxtRecordsEndEarly", false, "@base\r\n50, 100\r\n@\r\n@txt\r\n3, 2\r\n@\r\n", {},
                   {at(2, 8, "warning", "record-ends-early"), at(5, 5, "warning", "record-ends-early")}});
  cases.push_back({"ExtraFields", false,
                   kBase + "@set\r\n" + setRecord("0") + "\r\n@evt\r\n1, 0, 0, 0, 5, 0, 0, 0\r\n@\r\n", {},
                   {at(7, 13, "warning", "extra-fields")}});
  cases.push_back({"CommentInBlock", false, kBase + "@set\r\n# sparks\r\n" + setRecord("0") + "\r\n@\r\n", {},
                   {at(5, 1, "warning", "comment-in-block"), at(6, 1, "warning", "duplicate-number")}});
  {
    std::string text = kBase + "@txt\r\n";
    for (int i = 0; i <= 256; ++i) text += std::to_string(i) + ", 0, 0, 0, \"t\"\r\n";
    cases.push_back({"BlockFull", false, text + "@\r\n", {}, {at(261, 1, "warning", "block-full")}});
  }
  cases.push_back({"KindUnknown", false,
                   kBase + "@set\r\n" + setRecord("0", "G") + "\r\n" + setRecord("1", "x") + "\r\n" +
                       setRecord("2", "n", "-1", "0, 0, 0, 10, 0, 0, 1, \"00000\"") + "\r\n@\r\n",
                   {},
                   {at(5, 4, "warning", "kind-unknown"), at(6, 4, "warning", "kind-unknown"),
                    at(7, 4, "note", "kind-unknown")}});
  {
    std::string line = setRecord("0", "gg");
    cases.push_back({"KindTooLong", false, kBase + "@set\r\n" + line + "\r\n@\r\n", {},
                     {at(5, 4, "warning", "kind-too-long"),
                      at(5, columnOf(line, "\"00000\""), "warning", "duplicate-number")}});
  }
  cases.push_back({"ClockCodeOnAText", false,
                   kBase + "@txt\r\n0, 0, 0, 0, \"hi\"\r\n@set\r\n" + setRecord("0", "t", "H1") + "\r\n@\r\n", {},
                   {at(7, 7, "warning", "clock-code-kind")}});
  {
    std::string line = setRecord("0", "g", "Y12");
    cases.push_back({"ClockCodeWithTrailingCharacters", false, kBase + "@set\r\n" + line + "\r\n@\r\n", {},
                     {at(5, 7, "warning", "clock-code-trailing"),
                      at(5, columnOf(line, "\"00000\""), "warning", "duplicate-number")}});
  }
  cases.push_back({"DuplicateNumber", false, kBase + "@txt\r\n1, 0, 0, 0, \"a\"\r\n1, 0, 0, 0, \"b\"\r\n@\r\n", {},
                   {at(6, 1, "warning", "duplicate-number")}});
  cases.push_back({"ImageMissing", false, kBase + "@bmp\r\n0, \"missing.bmp\"" + imageTail + "\r\n@\r\n", {},
                   {at(5, 4, "error", "image-not-loaded")}});
  cases.push_back({"ImageUnreadable", false, kBase + "@bmp\r\n0, \"junk.png\"" + imageTail + "\r\n@\r\n",
                   {{"junk.png", "not an image"}},
                   {at(5, 4, "error", "image-not-loaded")}});
  cases.push_back({"ImageFoundIgnoringCase", false, kBase + "@bmp\r\n0, \"spark.bmp\"" + imageTail + "\r\n@\r\n",
                   {{"Spark.bmp", bmp}},
                   {at(5, 4, "note", "image-case")}});
  cases.push_back({"ImagesLoad", false,
                   kBase + "@bmp\r\n0, \"spark.bmp\"" + imageTail + "\r\n0, \"spark.bmp\", 2, 2, 2, 2, 4, 1, 1, 1, 0\r\n@\r\n",
                   {{"spark.bmp", bmp}},
                   {at(6, 1, "warning", "duplicate-number")}});
  cases.push_back({"FieldsAndTextsCut", false,
                   kBase + "@set\r\n" +
                       setRecord("0", "s", "0", "60, -1, 0, 0, 0, 0, 0, \"00000\"", "0[" + std::string(300, '1') + "]") +
                       "\r\n@evt\r\n1, 0, 0, " + std::string(300, '0') + "\r\n@txt\r\n0, 0, 0, 0, \"" +
                       std::string(300, 'a') + "\"\r\n@\r\n",
                   {},
                   {at(5, 14, "warning", "field-cut"), at(7, 10, "warning", "field-cut"),
                    at(9, 13, "warning", "text-cut")}});
  cases.push_back({"PolygonCountOutOfRange", false,
                   kBase + "@pgn\r\n5, -1, 1.0, 2.0\r\n6, 70000, 1.0\r\n0, 3, 0.0, -0.5, 0.5, 0.5, -0.5, 0.5\r\n@\r\n",
                   {},
                   {at(5, 4, "warning", "polygon-count"), at(6, 4, "warning", "polygon-count"),
                    at(6, 11, "warning", "duplicate-number")}});
  cases.push_back({"Events", false,
                   kBase + "@set\r\n" + setRecord("0") +
                       "\r\n@evt\r\n1, 0, 0, 3\r\n1, 0, 9, 0\r\n150, 0, 0, 0\r\n-1, 0, 0, 1\r\n1, 0, 9, 2\r\n100, 0, 9, 1\r\n@\r\n",
                   {},
                   {at(7, 10, "warning", "event-action"), at(8, 7, "warning", "undefined-target"),
                    at(9, 1, "warning", "event-tick"), at(10, 1, "warning", "event-tick"),
                    at(12, 9, "warning", "undefined-target")}});
  {
    std::string child = setRecord("5", "s", "0", "60, 9[2], 0, 10, 0, 0, 1, \"00000\"");
    cases.push_back({"UndefinedReferences", false,
                     kBase + "@set\r\n" + setRecord("0", "g", "12") + "\r\n" + setRecord("1", "t", "3") + "\r\n" +
                         setRecord("2", "p", "2") + "\r\n" + setRecord("3", "l", "8") + "\r\n" +
                         setRecord("4", "g", "H1") + "\r\n" + child + "\r\n" +
                         setRecord("6", "s", "0", "60, 5, 0, 10, 0, 0, 1, \"00000\"") + "\r\n" +
                         setRecord("7", "g", "-1") + "\r\n@\r\n",
                     {},
                     {at(5, 7, "warning", "undefined-image"), at(6, 7, "warning", "undefined-text"),
                      at(7, 7, "warning", "undefined-polygon"), at(8, 7, "warning", "undefined-line-target"),
                      at(9, 7, "warning", "undefined-image"), at(10, columnOf(child, "9[2]"), "warning", "undefined-child")}});
  }
  {
    std::string odd = setRecord("0", "s", "0", "60, -1, 0, 0, 0, 0, 0, \"1x000\"");
    std::string longer = setRecord("1", "s", "0", "60, -1, 0, 0, 0, 0, 0, 111111");
    cases.push_back({"FlagTexts", false, kBase + "@set\r\n" + odd + "\r\n" + longer + "\r\n@\r\n", {},
                     {at(5, columnOf(odd, "\"1x000\""), "warning", "flag-text"),
                      at(6, columnOf(longer, "111111"), "warning", "flag-text")}});
  }
  cases.push_back({"BackgroundOverTheScreen", false, "@base\r\n50, 100, -1, -1, -1\r\n@\r\n", {},
                   {at(2, 10, "note", "background-off")}});
  cases.push_back({"BackgroundComponentOutOfRange", false, "@base\r\n50, 100, 0, 300, 0\r\n@\r\n", {},
                   {at(2, 13, "warning", "background-off")}});
  cases.push_back({"EmptyBlockSwallowsTheNext", false, kBase + "@txt\r\n@set\r\n" + setRecord("0") + "\r\n@\r\n", {},
                   {at(4, 1, "warning", "empty-block")}});
  cases.push_back({"EmptyBlockAtTheEnd", false, kBase + "@evt", {},
                   {at(4, 1, "warning", "empty-block"), at(4, 5, "warning", "undefined-target")}});
  {
    std::string text = kBase + "@set\r\n" + setRecord("0") + "\r\n@evt\r\n";
    for (int i = 0; i < 256; ++i) text += "1, 0, 0, 0\r\n";
    cases.push_back({"EventTableFull", false, text + "@evt\r\n1, 0, 0, 0\r\n@\r\n", {},
                     {at(264, 1, "warning", "event-table-full")}});
  }
  cases.push_back({"CommaInText", false, kBase + "@txt\r\n0, 2, 1, 0, \"Hello, world\"\r\n@\r\n", {},
                   {at(5, 21, "warning", "comma-in-text"), at(5, 21, "warning", "duplicate-number")}});
  cases.push_back({"NulByteEndsTheText", false,
                   kBase + "@set\r\n" + setRecord("0") + "\r\n" + std::string(1, '\0') + "@evt\r\n1, 0, 0, 0\r\n@\r\n",
                   {},
                   {at(6, 1, "warning", "nul-byte")}});
  {
    // 28 bytes of @base, then comment lines of 102 bytes: byte 65,535 is the
    // 24th of the 643rd comment line.
    std::string text = kBase;
    for (int i = 0; i < 700; ++i) text += "# " + std::string(98, 'x') + "\r\n";
    cases.push_back({"FileTooLong", false, text, {}, {at(3 + 643, 24, "warning", "file-too-long")}});
  }
  cases.push_back({"NoBase", false, "@set\r\n" + setRecord("0") + "\r\n@\r\n", {}, {at(0, 0, "warning", "no-base")}});
  cases.push_back({"BaseNotClosed", false, "hello\r\n@base\r\n50, 100, 0, 0, 0", {},
                   {at(1, 1, "warning", "stray-text"), at(3, 17, "error", "base-not-closed")}});
  cases.push_back({"TxtNumberOutOfRange", false, kBase + "@txt\r\n256, 0, 0, 0, \"x\"\r\n@\r\n", {},
                   {at(5, 1, "error", "number-out-of-range")}});
  cases.push_back({"SetNumberOutOfRange", false, kBase + "@set\r\n-1, s\r\n@\r\n", {},
                   {at(5, 1, "error", "number-out-of-range")}});
  return cases;
}

inline std::vector<CheckCase> buildScheduleCases() {
  const std::vector<ShowFile> shows = {{"show.txt", kBase}, {"default.txt", kBase}};
  const std::string tail = "@suspend\r\n\"show.txt\"\r\n@\r\n";
  std::vector<CheckCase> cases;
  cases.push_back({"ScheduleClean", true, "# shows\r\n@normal\r\n\"show.txt\"\r\n" + tail, shows, {}});
  cases.push_back({"MisspeltKeyword", true, "@Normal\r\n\"show.txt\"\r\n" + tail, shows,
                   {at(1, 1, "warning", "misspelt-keyword"), at(0, 0, "warning", "schedule-missing-list")}});
  cases.push_back({"KeywordSuffix", true, "@normals\r\n\"show.txt\"\r\n" + tail, shows,
                   {at(1, 1, "warning", "keyword-suffix"), at(1, 8, "warning", "schedule-show-missing")}});
  cases.push_back({"KeywordReadAsAName", true, "@normal\r\n@suspend\r\n\"show.txt\"\r\n@\r\n", shows,
                   {at(1, 1, "warning", "schedule-empty-list"), at(0, 0, "warning", "schedule-missing-list")}});
  cases.push_back({"KeywordAtTheEnd", true, "@normal\r\n\"show.txt\"\r\n@suspend", shows,
                   {at(3, 1, "warning", "schedule-empty-list")}});
  cases.push_back({"EmptyName", true, "@normal\r\n\"\"\r\n" + tail, shows,
                   {at(1, 1, "warning", "schedule-empty-list")}});
  cases.push_back({"MissingList", true, "@normal\r\n\"show.txt\"\r\n@\r\n", shows,
                   {at(0, 0, "warning", "schedule-missing-list")}});
  cases.push_back({"CommentInSection", true, "@normal\r\n# tap\r\n\"show.txt\"\r\n" + tail, shows,
                   {at(2, 1, "warning", "comment-in-section"), at(2, 1, "warning", "schedule-show-missing")}});
  cases.push_back({"ScheduleStrayText", true, "hello\r\n@normal\r\n\"show.txt\"\r\n" + tail, shows,
                   {at(1, 1, "warning", "stray-text")}});
  cases.push_back({"UnknownKeyword", true, "@names\r\n\"x.txt\"\r\n@normal\r\n\"show.txt\"\r\n" + tail, shows,
                   {at(1, 1, "warning", "unknown-keyword")}});
  cases.push_back({"ShowMissing", true, "@normal\r\n\"gone.txt\"\r\n" + tail, shows,
                   {at(2, 1, "warning", "schedule-show-missing")}});
  {
    std::string text = "@normal\r\n";
    for (int i = 0; i < 256; ++i) text += "\"show.txt\"\r\n";
    cases.push_back({"SectionFull", true, text + tail, shows, {at(257, 1, "warning", "section-full")}});
  }
  cases.push_back({"NameCut", true, "@normal\r\n" + std::string(300, 'a') + "\r\n" + tail, shows,
                   {at(2, 1, "warning", "text-cut"), at(2, 1, "warning", "schedule-show-missing")}});
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
// every GDI object and file released in between.
class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaril-check-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    host::setModuleDirectory(dir_);
    ASSERT_EQ(settingsDiagnostics, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(settingsDiagnostics, nullptr);
    EXPECT_EQ(scene.defs, nullptr);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Bitmap), 0u);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Dc), 0u);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Brush), 0u);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), 0u);
    host::setModuleDirectory("");
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  void write(const std::string& name, const std::string& bytes) { config_test::writeFile(dir_ + "/" + name, bytes); }
  // Writes the case's text and files into the directory.
  void place(const CheckCase& c) {
    write(c.schedule ? "schedule.ini" : "show.txt", c.text);
    for (const ShowFile& f : c.files) write(f.name, f.bytes);
  }
  // Checks show.txt (or schedule.ini) as the player's first load would see it.
  std::vector<CheckFinding> check(bool schedule, int* loaded = nullptr) {
    std::vector<CheckFinding> findings;
    int result;
    if (schedule) {
      result = loadScheduleChecked(u"", &findings);
      freeScheduleList(&normalList);
      freeScheduleList(&suspendList);
    } else {
      tickInterval = 1000;
      duration = -1;
      EXPECT_EQ(allocateSceneTables(), 1);
      result = loadSettingsChecked(u"show.txt", &findings);
      releaseSceneTables();
    }
    if (loaded != nullptr) *loaded = result;
    return findings;
  }
  static std::vector<std::string> summary(const std::vector<CheckFinding>& findings) {
    static const char* const severities[] = {"note", "warning", "error"};
    std::vector<std::string> out;
    for (const CheckFinding& f : findings) out.push_back(at(f.line, f.column, severities[int(f.severity)], f.code.c_str()));
    return out;
  }
  std::string dir_;
};

}  // namespace check_test
