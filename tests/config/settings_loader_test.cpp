// Locating data files under the executable's directory and reading a settings
// file into textBuffer.
#include <string>

#include "config_test_support.h"

namespace {

using config_test::ConfigTest;
using config_test::wide;

// The base settings as the process started, before any test loaded a file.
const int startTickInterval = tickInterval;
const int startDuration = duration;

const std::u16string kOpenFailed = u"設定ファイル読込に失敗しました";

TEST(BaseSettings, StartAtOneSecondAndNoLimit) {
  EXPECT_EQ(startTickInterval, 1000);
  EXPECT_EQ(startDuration, -1);
  EXPECT_EQ(wide(LOAD_ERROR_CAPTION), u"ファイルの確認だ");
}

class LocateTest : public ConfigTest {};

TEST_F(LocateTest, DirectoryKeepsOneTrailingBackslash) {
  host::setModuleDirectory("/work/x");
  WCHAR path[PATH_UNITS];
  ASSERT_EQ(locateDataFile(u"", u"default.txt", path), 1);
  EXPECT_EQ(wide(exeDirectory), u"\\work\\x\\");
  EXPECT_EQ(wide(path), u"\\work\\x\\default.txt");
  ASSERT_EQ(locateDataFile(u"shows\\night.txt", u"default.txt", path), 1);
  EXPECT_EQ(wide(path), u"\\work\\x\\shows\\night.txt");
  ASSERT_EQ(locateDataFile(u"\\abs.txt", u"default.txt", path), 1);
  EXPECT_EQ(wide(path), u"\\work\\x\\\\abs.txt");  // still under the directory
  host::setModuleDirectory("/");
  locateDataFile(nullptr, u"schedule.ini", path);
  EXPECT_EQ(wide(exeDirectory), u"\\");
  EXPECT_EQ(wide(path), u"\\schedule.ini");
}

TEST_F(LocateTest, APathOverTheLimitIsNotFound) {
  host::setModuleDirectory("/work/x");  // "\work\x\" is 8 units
  WCHAR path[PATH_UNITS];
  std::u16string fits(255 - 8, u'a');
  ASSERT_EQ(locateDataFile(fits.c_str(), u"d", path), 1);
  EXPECT_EQ(wide(path).size(), 255u);
  std::u16string over(256 - 8, u'a');
  EXPECT_EQ(locateDataFile(over.c_str(), u"d", path), 0);
  EXPECT_EQ(path[0], 0);
  loadErrorText = nullptr;
  EXPECT_EQ(loadSettingsFile(over.c_str()), 0);
  ASSERT_NE(loadErrorText, nullptr);
  EXPECT_EQ(wide(loadErrorText), kOpenFailed);
}

class LoadSettingsTest : public ConfigTest {};

TEST_F(LoadSettingsTest, EmptyNameLoadsDefaultTxt) {
  write("default.txt", "@base\r\n40, 10, -1, 0, 0\r\n@\r\n");
  ASSERT_EQ(loadSettingsFile(u""), 1);
  EXPECT_EQ(tickInterval, 40);
  EXPECT_EQ(duration, 10);
  EXPECT_EQ(scene.backgroundBrush, nullptr);
}

TEST_F(LoadSettingsTest, NameWithBackslashLoadsFromASubdirectory) {
  ASSERT_EQ(mkdir((dir_ + "/shows").c_str(), 0755), 0);
  write("shows/night.txt", "@base\r\n70, 5, 1, 2, 3\r\n@\r\n");
  ASSERT_EQ(loadSettingsFile(u"shows\\night.txt"), 1);
  EXPECT_EQ(tickInterval, 70);
  EXPECT_NE(scene.backgroundBrush, nullptr);
}

TEST_F(LoadSettingsTest, MissingFileSetsTheOpenError) {
  EXPECT_EQ(loadSettingsFile(u"absent.txt"), 0);
  ASSERT_NE(loadErrorText, nullptr);
  EXPECT_EQ(wide(loadErrorText), kOpenFailed);
  ASSERT_EQ(mkdir((dir_ + "/folder.txt").c_str(), 0755), 0);
  loadErrorText = nullptr;
  EXPECT_EQ(loadSettingsFile(u"folder.txt"), 0);
  EXPECT_EQ(loadErrorText != nullptr ? wide(loadErrorText) : u"", kOpenFailed);
}

TEST_F(LoadSettingsTest, AShortFileAfterALongOneGivesOnlyItsOwnBytes) {
  std::string longText = "#" + std::string(4998, 'x') + "\n";
  write("long.txt", longText);
  ASSERT_EQ(loadSettingsFile(u"long.txt"), 1);
  std::string shortText = "@txt\r\n0, 0, 0, 0, \"short\"\r\n@" + std::string(100 - 28, '\n');
  ASSERT_EQ(shortText.size(), 100u);
  write("short.txt", shortText);
  ASSERT_EQ(loadSettingsFile(u"short.txt"), 1);
  EXPECT_EQ(std::string(textBuffer), shortText);
  EXPECT_EQ(textBuffer[100], 0);
  EXPECT_EQ(wide(scene.texts[0].text), u"short");
}

TEST_F(LoadSettingsTest, AnEmptyFileLoadsNothing) {
  write("empty.txt", "");
  textBuffer[0] = 'x';
  ASSERT_EQ(loadSettingsFile(u"empty.txt"), 1);
  EXPECT_EQ(textBuffer[0], 0);
  EXPECT_EQ(scene.eventCount, 0);
}

TEST_F(LoadSettingsTest, AFileOverTheBufferIsCutToItsFirstBytes) {
  // 65,535 bytes of comment and then a record that lies beyond the buffer.
  std::string text = "#" + std::string(65533, 'c') + "\n";
  ASSERT_EQ(text.size(), 65535u);
  text += "@evt\r\n1, 0, 0, 0\r\n";
  write("huge.txt", text);
  ASSERT_EQ(loadSettingsFile(u"huge.txt"), 1);
  EXPECT_EQ(textBuffer[65535], 0);
  EXPECT_EQ(scene.eventCount, 0);
  // Cut inside a record: what fits is parsed, nothing after it.
  std::string cut = std::string(65535 - 12, '\n') + "@evt\r\n7, 1, 2, 3, 4, 5";
  write("cut.txt", cut);
  ASSERT_EQ(loadSettingsFile(u"cut.txt"), 1);
  ASSERT_EQ(scene.eventCount, 1);
  EXPECT_EQ(scene.events[0].tick, 7);
  EXPECT_EQ(scene.events[0].gate, 1);
  EXPECT_EQ(scene.events[0].target, 0);  // "2" lay past the buffer
}

TEST_F(LoadSettingsTest, AParseFailureClosesTheFileAndPassesTheZeroOn) {
  write("bad.txt", "@txt\r\n300, 0, 0, 0, \"x\"\r\n@\r\n");
  EXPECT_EQ(loadSettingsFile(u"bad.txt"), 0);
  EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@txtのテキストIDが有効範囲ではありません");
  // TearDown checks that no file handle stays open.
}

TEST_F(LoadSettingsTest, NameInAnotherCaseIsFound) {
  write("Night.TXT", "@base\r\n33, 1, 0, 0, 0\r\n@\r\n");
  ASSERT_EQ(loadSettingsFile(u"night.txt"), 1);
  EXPECT_EQ(tickInterval, 33);
}

}  // namespace
