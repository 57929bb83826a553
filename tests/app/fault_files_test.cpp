// Faults in the files a show reads, end to end on the headless host: image
// files missing or cut short; a settings file that disappears or turns into a
// directory between two shows of one resident process. Each ends with the
// message the user sees, and with nothing of the show left behind (a schedule
// file that is a directory is a failed start of the plain-mode tests; an
// unreadable file opens as a missing one, which the host's files test checks).
#include <optional>

#include "tests/app/player_harness.h"

using FileFaults = PlayerTest;

// A plain-mode show whose image 0 is the file: a good BMP or PNG plays the
// show; a missing or cut-short one shows the image message, paints nothing and
// leaves nothing. Which faults each loader refuses (empty files, bad headers,
// huge or negative sizes) is checked by the host's image loader tests, and
// that a refused image becomes this message by the settings loader's tests.
TEST_F(FileFaults, AnImageThatCannotBeLoadedEndsTheStartWithTheImageMessage) {
  const std::string bmp = test_files::bmpBytes(4, 3, {0x808080});
  const std::string png = test_files::readWhole(std::string(TESSARIL_DEMO_DIR) + "/banner.png");
  ASSERT_GT(png.size(), 40u);
  const struct {
    const char* what;
    const char* name;
    std::optional<std::string> bytes;  // none: the file is missing
  } rows[] = {
      {"a good BMP", "good.bmp", bmp},
      {"a good PNG", "good.png", png},
      {"a missing BMP", "faulty.bmp", std::nullopt},
      {"a BMP cut in the pixels", "faulty.bmp", bmp.substr(0, 54 + 12)},
      {"a PNG cut in the pixel data", "faulty.png", png.substr(0, png.size() / 2)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    writeSchedule("default.txt", "default.txt");
    if (row.bytes) writeFile(row.name, *row.bytes);
    writeShow("default.txt", 50, 3, "@bmp\r\n0, \"" + std::string(row.name) + "\", 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n@\r\n");
    EXPECT_EQ(run(u""), 0);
    bool good = std::string(row.name).rfind("good", 0) == 0;
    EXPECT_EQ(ticksOf(u""), good ? (Ticks{0, 1, 2, 3}) : Ticks());
    EXPECT_EQ(boxTexts(), good ? Boxes{} : Boxes{u"ファイルの確認だ|設定ファイル内、@bmpの画像読込に失敗しました"});
  }
}

// The settings file of one resident process is deleted, or replaced by a
// directory (permission bits do not stop the superuser CI may run as), after
// the first of two tray taps: the first show plays, the second start shows the
// load message and ends resident mode, removing the icon.
TEST_F(FileFaults, SettingsFileGoneBetweenTwoShowsEndsResidentModeWithTheLoadMessage) {
  static bool toDirectory;
  for (bool directory : {false, true}) {
    SCOPED_TRACE(directory ? "replaced by a directory" : "deleted");
    startOver();
    writeSchedule("normal.txt", "normal.txt");
    writeShow("normal.txt", 100, 0);
    toDirectory = directory;
    onFrame = [](PlayerTest* t) {
      std::string path = t->dir + "/normal.txt";
      if (t->frames.size() != 1) return;
      EXPECT_EQ(unlink(path.c_str()) | (toDirectory ? mkdir(path.c_str(), 0700) : 0), 0);
    };
    EXPECT_EQ(run(u"-s", "100:tray;350:tap:5:5;1000:tray"), 0);
    EXPECT_EQ(ticksOf(u"normal.txt"), (Ticks{0, 1, 2})) << "only the first show played";
    EXPECT_EQ(boxTexts(), Boxes{kSettingsOpenFailed});
    EXPECT_EQ(scene.defs, nullptr);
  }
}
