// The schedule file: its sections, their entries and the load.
#include <string>
#include <vector>

#include "config_test_support.h"

namespace {

using config_test::ConfigTest;

class ScheduleTest : public ConfigTest {
 protected:
  void TearDown() override {
    freeScheduleList(&normalList);
    freeScheduleList(&suspendList);
    ConfigTest::TearDown();
  }
  // Parses text as the schedule text into two empty lists.
  void scan(const std::string& text) {
    freeScheduleList(&normalList);
    freeScheduleList(&suspendList);
    config_test::setText(text);
    ASSERT_EQ(parseScheduleText(), 1);
  }
  static std::vector<std::u16string> names(const ScheduleList& list) {
    std::vector<std::u16string> out;
    for (int n = 0; n < list.count; ++n) out.push_back(std::u16string(list.entries[n]));
    return out;
  }
};

const char kExample[] =
    "# which show plays when\r\n"
    "@normal\r\n"
    "\"morning.txt\"\r\n"
    "@suspend\r\n"
    "\"wakeup.txt\"\r\n"
    "@\r\n";

TEST_F(ScheduleTest, SectionsKeywordsAndNames) {
  using Names = std::vector<std::u16string>;
  const struct {
    std::string text;
    Names normal, suspend;
    const char* what;
  } rows[] = {
      {std::string(kExample, sizeof kExample - 4), {u"morning.txt"}, {u"wakeup.txt"}, "without its last line"},
      {"@normal\r\na.txt\r\n@suspend", {u"a.txt"}, {u""}, "a keyword at the end gives an empty entry"},
      {"@normal\r\n@suspend\r\n\"b.txt\"\r\n", {u"@suspend", u"b.txt"}, {}, "a keyword right after one is a name"},
      {"@normal\r\na.txt\r\nb.txt\r\n@suspend x.txt, y.txt,\t z.txt\r\n@\r\n", {u"a.txt", u"b.txt"},
       {u"x.txt", u"y.txt", u"z.txt"}, "unquoted and comma-separated names"},
      {"@Normal\r\nskipped.txt\r\n@normalize\r\nkept.txt\r\n", {u"ize", u"kept.txt"}, {},
       "keywords are case-sensitive and recognised by prefix"},
      {"@normal\r\na\r\n#b\r\n@suspend\r\nc\r\n@normal\r\nd\r\n", {u"a", u"#b", u"d"}, {u"c"},
       "a second occurrence appends; '#' in a section is a name"},
      // The second byte of 0x81 0x40 is no keyword's '@'; '#' hides a keyword.
      {"\x81@normal\r\nx\r\n# @normal y\r\n@\x82@suspend\r\nz\r\n", {}, {}, "outside sections"},
      {"@suspend\r\n\"\x82\xa8\x82\xcd.txt\"\r\n", {}, {u"おは.txt"}, "a Shift-JIS name"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    scan(row.text);
    EXPECT_EQ(names(normalList), row.normal);
    EXPECT_EQ(names(suspendList), row.suspend);
    if (row.suspend.empty()) {
      EXPECT_EQ(suspendList.entries, nullptr);
    }
  }
}

TEST_F(ScheduleTest, A255EntrySectionEndsWhereTheCursorStands) {
  std::string text = "@normal\r\n";
  for (int i = 0; i < 300; ++i) text += "n" + std::to_string(i) + "\r\n";
  text += "@suspend\r\ns\r\n";
  scan(text);
  ASSERT_EQ(normalList.count, 255);
  EXPECT_EQ(std::u16string(normalList.entries[254]), u"n254");
  // Entries lie at 512-byte steps of one block.
  EXPECT_EQ((const char*)normalList.entries[254] - (const char*)normalList.entries[0], 254 * 512);
  ASSERT_EQ(suspendList.count, 1);
}

// The example file, loaded twice, gives one name each: a reload empties the
// lists first. A missing file fails the load.
TEST_F(ScheduleTest, LoadsTheExampleFileAndAReloadEmptiesTheListsFirst) {
  EXPECT_EQ(loadScheduleFile(u""), 0);
  EXPECT_EQ(config_test::stored(), "error スケジュールファイル読込に失敗しました");
  write("schedule.ini", kExample);
  ASSERT_EQ(loadScheduleFile(u""), 1);
  ASSERT_EQ(loadScheduleFile(u""), 1);
  EXPECT_EQ(names(normalList), std::vector<std::u16string>{u"morning.txt"});
  EXPECT_EQ(names(suspendList), std::vector<std::u16string>{u"wakeup.txt"});
  write("schedule.ini", "");
  ASSERT_EQ(loadScheduleFile(u""), 1);
  EXPECT_EQ(normalList.count + suspendList.count, 0);
  write("other.ini", "@normal\r\nq.txt\r\n");
  ASSERT_EQ(loadScheduleFile(u"other.ini"), 1);
  EXPECT_EQ(names(normalList), std::vector<std::u16string>{u"q.txt"});
}

}  // namespace
