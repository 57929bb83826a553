// Faults in the files a show reads, end to end on the headless host: image
// files missing, empty, cut short or lying about their size; a settings file
// that disappears or turns into a directory between two shows of one resident
// process. Each ends with the message the user sees, and with nothing of the
// show left behind (a schedule file that is a directory is a failed start of
// the plain-mode tests; an unreadable file opens as a missing one, which the
// host's files test checks).
#include <optional>

#include "tests/app/player_harness.h"

using FileFaults = PlayerTest;

namespace {

// A 24-bit BMP of 4x3 grey pixels whose header states statedWidth x statedHeight.
std::string greyBmp(int statedWidth = 4, int statedHeight = 3) {
  std::string bytes = test_files::bmpBytes(4, 3, {0x808080});
  test_files::putLe(bytes, 18, uint32_t(statedWidth), 4);
  test_files::putLe(bytes, 22, uint32_t(statedHeight), 4);
  return bytes;
}

}  // namespace

// A plain-mode show whose image 0 is the file: a good BMP or PNG plays the
// show; any fault shows the image message, paints nothing and leaves nothing.
TEST_F(FileFaults, AnImageThatCannotBeLoadedEndsTheStartWithTheImageMessage) {
  const std::string bmp = greyBmp();
  const std::string png = test_files::readWhole(std::string(TESSARIL_DEMO_DIR) + "/banner.png");
  ASSERT_GT(png.size(), 40u);
  std::string hugePng = png;  // IHDR's width and height, big-endian after "IHDR" at byte 12: 100000
  const char side[4] = {0, 1, char(0x86), char(0xA0)};
  hugePng.replace(16, 4, side, 4).replace(20, 4, side, 4);
  const struct {
    const char* what;
    const char* name;
    std::optional<std::string> bytes;  // none: the file is missing
  } rows[] = {
      {"a good BMP", "good.bmp", bmp},
      {"a good PNG", "good.png", png},
      {"a missing BMP", "faulty.bmp", std::nullopt},
      {"an empty BMP", "faulty.bmp", ""},
      {"a BMP cut in the file header", "faulty.bmp", bmp.substr(0, 10)},
      {"a BMP cut in the info header", "faulty.bmp", bmp.substr(0, 30)},
      {"a BMP cut in the pixels", "faulty.bmp", bmp.substr(0, 54 + 12)},
      {"a BMP claiming 100000x100000 pixels", "faulty.bmp", greyBmp(100000, 100000)},
      {"a BMP claiming a negative width", "faulty.bmp", greyBmp(-4, 3)},
      {"a BMP claiming no pixels", "faulty.bmp", greyBmp(0, 0)},
      {"a missing PNG", "faulty.png", std::nullopt},
      {"an empty PNG", "faulty.png", ""},
      {"a PNG cut in the header", "faulty.png", png.substr(0, 20)},
      {"a PNG cut in the pixel data", "faulty.png", png.substr(0, png.size() / 2)},
      {"a PNG claiming 100000x100000 pixels", "faulty.png", hugePng},
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
