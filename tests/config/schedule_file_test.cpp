// The schedule file: its sections, their entries and the load.
#include <string>

#include "config_test_support.h"
#include "platform/host/text_encoding.h"

namespace {

using config_test::ConfigTest;
using config_test::wide;

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
  static std::u16string entry(const ScheduleList& list, int n) { return wide(list.entries[n]); }
};

const char kExample[] =
    "# which show plays when\r\n"
    "@normal\r\n"
    "\"morning.txt\"\r\n"
    "@suspend\r\n"
    "\"wakeup.txt\"\r\n"
    "@\r\n";

TEST_F(ScheduleTest, ExampleFileGivesOneNameEach) {
  write("schedule.ini", kExample);
  ASSERT_EQ(loadScheduleFile(u""), 1);
  ASSERT_EQ(normalList.count, 1);
  EXPECT_EQ(entry(normalList, 0), u"morning.txt");
  ASSERT_EQ(suspendList.count, 1);
  EXPECT_EQ(entry(suspendList, 0), u"wakeup.txt");
  std::u16string directory = host::utf8ToUtf16(dir_ + "/");
  for (char16_t& c : directory) {
    if (c == u'/') c = u'\\';
  }
  EXPECT_EQ(wide(exeDirectory), directory);
}

TEST_F(ScheduleTest, WithoutItsLastLineTheListsAreTheSame) {
  std::string text = kExample;
  text.resize(text.size() - 3);
  scan(text);
  ASSERT_EQ(normalList.count, 1);
  ASSERT_EQ(suspendList.count, 1);
  EXPECT_EQ(entry(suspendList, 0), u"wakeup.txt");
}

TEST_F(ScheduleTest, KeywordAtTheEndGivesAnEmptyEntry) {
  scan("@normal\r\na.txt\r\n@suspend");
  ASSERT_EQ(suspendList.count, 1);
  EXPECT_EQ(entry(suspendList, 0), u"");
}

TEST_F(ScheduleTest, KeywordRightAfterAKeywordIsReadAsAName) {
  scan("@normal\r\n@suspend\r\n\"b.txt\"\r\n");
  ASSERT_EQ(normalList.count, 2);
  EXPECT_EQ(entry(normalList, 0), u"@suspend");
  EXPECT_EQ(entry(normalList, 1), u"b.txt");
  EXPECT_EQ(suspendList.count, 0);
  EXPECT_EQ(suspendList.entries, nullptr);
}

TEST_F(ScheduleTest, UnquotedAndCommaSeparatedNamesReadTheSame) {
  scan("@normal\r\na.txt\r\nb.txt\r\n@suspend x.txt, y.txt,\t z.txt\r\n@\r\n");
  ASSERT_EQ(normalList.count, 2);
  EXPECT_EQ(entry(normalList, 1), u"b.txt");
  ASSERT_EQ(suspendList.count, 3);
  EXPECT_EQ(entry(suspendList, 2), u"z.txt");
}

TEST_F(ScheduleTest, KeywordsAreCaseSensitiveAndRecognisedByPrefix) {
  scan("@Normal\r\nskipped.txt\r\n@normalize\r\nkept.txt\r\n");
  ASSERT_EQ(normalList.count, 2);
  EXPECT_EQ(entry(normalList, 0), u"ize");
  EXPECT_EQ(entry(normalList, 1), u"kept.txt");
}

TEST_F(ScheduleTest, SecondOccurrenceAppendsAndHashInASectionIsAName) {
  scan("@normal\r\na\r\n#b\r\n@suspend\r\nc\r\n@normal\r\nd\r\n");
  ASSERT_EQ(normalList.count, 3);
  EXPECT_EQ(entry(normalList, 1), u"#b");
  EXPECT_EQ(entry(normalList, 2), u"d");
  // Entries lie at 512-byte steps of one block.
  EXPECT_EQ((const char*)normalList.entries[2] - (const char*)normalList.entries[0], 1024);
}

TEST_F(ScheduleTest, CommentsAndTwoByteCharactersOutsideSections) {
  // The second byte of 0x81 0x40 is no keyword's '@'; '#' hides a keyword.
  scan("\x81@normal\r\nx\r\n# @normal y\r\n@\x82@suspend\r\nz\r\n");
  EXPECT_EQ(normalList.count, 0);
  EXPECT_EQ(suspendList.count, 0);
}

TEST_F(ScheduleTest, ShiftJisNameIsConvertedAndTerminated) {
  scan("@suspend\r\n\"\x82\xa8\x82\xcd.txt\"\r\n");
  ASSERT_EQ(suspendList.count, 1);
  EXPECT_EQ(entry(suspendList, 0), u"おは.txt");
}

TEST_F(ScheduleTest, A255EntrySectionEndsWhereTheCursorStands) {
  std::string text = "@normal\r\n";
  for (int i = 0; i < 300; ++i) text += "n" + std::to_string(i) + "\r\n";
  text += "@suspend\r\ns\r\n";
  scan(text);
  ASSERT_EQ(normalList.count, 255);
  EXPECT_EQ(entry(normalList, 254), u"n254");
  ASSERT_EQ(suspendList.count, 1);
}

TEST_F(ScheduleTest, EmptyTextGivesEmptyLists) {
  write("schedule.ini", "");
  ASSERT_EQ(loadScheduleFile(u""), 1);
  EXPECT_EQ(normalList.count, 0);
  EXPECT_EQ(suspendList.count, 0);
}

TEST_F(ScheduleTest, MissingFileFailsWithItsMessage) {
  EXPECT_EQ(loadScheduleFile(u""), 0);
  ASSERT_NE(loadErrorText, nullptr);
  EXPECT_EQ(wide(loadErrorText), u"スケジュールファイル読込に失敗しました");
  write("other.ini", "@normal\r\nq.txt\r\n");
  ASSERT_EQ(loadScheduleFile(u"other.ini"), 1);
  EXPECT_EQ(entry(normalList, 0), u"q.txt");
}

TEST_F(ScheduleTest, ReloadEmptiesTheListsFirst) {
  write("schedule.ini", kExample);
  ASSERT_EQ(loadScheduleFile(u""), 1);
  ASSERT_EQ(loadScheduleFile(u""), 1);
  EXPECT_EQ(normalList.count, 1);
}

TEST_F(ScheduleTest, RandomBytesNeverCrash) {
  srand(99);
  const std::string pieces[] = {"@normal", "@suspend", "@", "#", "\r\n", ",", "\"", "\x82", "\x81@", "x.txt"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    int parts = rand() % 50;
    for (int i = 0; i < parts; ++i) {
      text += rand() % 3 == 0 ? std::string(1, char(1 + rand() % 255)) : pieces[rand() % 10];
    }
    scan(text);
    ASSERT_GE(normalList.count, 0);
  }
}

}  // namespace
