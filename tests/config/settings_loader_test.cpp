// Locating data files under the executable's directory and reading a settings
// file into textBuffer.
#include <string>

#include "config_test_support.h"

namespace {

using config_test::ConfigTest;

// The base settings as the process started, before any test loaded a file.
const int startTickInterval = tickInterval;
const int startDuration = duration;

TEST(BaseSettings, StartAtOneSecondAndNoLimit) {
  EXPECT_EQ(startTickInterval, 1000);
  EXPECT_EQ(startDuration, -1);
}

class LocateTest : public ConfigTest {};

// Where a name lies: under the executable's directory, kept with one trailing
// backslash, and not found at all when the path would pass 255 units.
TEST_F(LocateTest, UnderTheDirectoryWithinTheLimit) {
  const std::u16string fits(255 - 8, u'a'), over(256 - 8, u'a');  // "\work\x\" is 8 units
  const struct {
    const char* directory;
    const WCHAR* name;
    int found;
    std::u16string exe, path;
  } rows[] = {
      {"/work/x", u"", 1, u"\\work\\x\\", u"\\work\\x\\default.txt"},
      {"/work/x", u"shows\\night.txt", 1, u"\\work\\x\\", u"\\work\\x\\shows\\night.txt"},
      {"/work/x", u"\\abs.txt", 1, u"\\work\\x\\", u"\\work\\x\\\\abs.txt"},  // still under the directory
      {"/", nullptr, 1, u"\\", u"\\default.txt"},
      {"/work/x", fits.c_str(), 1, u"\\work\\x\\", u"\\work\\x\\" + fits},
      {"/work/x", over.c_str(), 0, u"\\work\\x\\", u""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.directory + host::utf16ToUtf8(row.name != nullptr ? row.name : u"(null)"));
    host::setModuleDirectory(row.directory);
    WCHAR path[PATH_UNITS];
    EXPECT_EQ(locateDataFile(row.name, u"default.txt", path), row.found);
    EXPECT_EQ(std::u16string(exeDirectory), row.exe);
    EXPECT_EQ(std::u16string(path), row.path);
  }
}

class LoadSettingsTest : public ConfigTest {};

// Which file a name loads, from files default.txt, shows/night.txt, Night.TXT,
// bad.txt, empty.txt, the over-long huge.txt and cut.txt, short.txt and a
// directory folder.txt: its result and what it stored. The rows run in order
// and the text buffer keeps the bytes of the load before, so a file shorter
// than the one before (empty.txt, short.txt) must be parsed up to its own end only.
TEST_F(LoadSettingsTest, ANameLoadsItsFileUnderTheExecutablesDirectory) {
  ASSERT_EQ(mkdir((dir_ + "/shows").c_str(), 0755) | mkdir((dir_ + "/folder.txt").c_str(), 0755), 0);
  write("default.txt", "@base\r\n40, 10, -1, 0, 0\r\n@\r\n");
  write("shows/night.txt", "@base\r\n70, 5, 1, 2, 3\r\n@\r\n");
  write("Night.TXT", "@base\r\n33, 1, 0, 0, 0\r\n@\r\n");
  write("bad.txt", "@txt\r\n300, 0, 0, 0, \"x\"\r\n@\r\n");
  write("empty.txt", "");
  // 65,535 bytes of comment and then a record that lies beyond the buffer.
  write("huge.txt", "#" + std::string(65533, 'c') + "\n@evt\r\n1, 0, 0, 0\r\n");
  write("cut.txt", std::string(65535 - 12, '\n') + "@evt\r\n7, 1, 2, 3, 4, 5");
  write("short.txt", "@txt\r\n0, 0, 0, 0, \"short\"\r\n@\r\n");
  const std::u16string over(300, u'a');  // a path over 255 units
  const struct {
    const char16_t* name;
    int result;
    std::string stored;
  } rows[] = {
      {u"", 1, "base 40 10"},
      {u"shows\\night.txt", 1, "base 70 5; brush 010203"},
      {u"night.txt", 1, "base 33 1; brush 000000"},  // found in another case
      {u"absent.txt", 0, "error 設定ファイル読込に失敗しました"},
      {u"folder.txt", 0, "error 設定ファイル読込に失敗しました"},
      {over.c_str(), 0, "error 設定ファイル読込に失敗しました"},
      {u"bad.txt", 0, "error 設定ファイル内、@txtのテキストIDが有効範囲ではありません"},  // the file is closed too
      {u"empty.txt", 1, ""},  // nothing of bad.txt's text is left to parse
      {u"huge.txt", 1, ""},  // cut to its first 65,535 bytes
      {u"cut.txt", 1, "evt 7 1 0 0"},  // cut inside a record: "2" lay past the buffer
      {u"short.txt", 1, "txt 0 0 0 0 'short'"},  // nothing of cut.txt's event after it
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(host::utf16ToUtf8(row.name));
    fresh();
    EXPECT_EQ(loadSettingsFile(row.name), row.result);
    EXPECT_EQ(config_test::stored(), row.stored);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), 0u);
  }
}

}  // namespace
