// Helpers of the configuration tests: a temp directory that stands for the
// executable's directory, fresh scene tables per test, settings texts placed in
// textBuffer, small BMP files, and a one-line summary of everything a parse
// stored, so that a table row can say what a text loads.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/field_readers.h"
#include "config/schedule_file.h"
#include "config/settings_directives.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/files/host_files.h"
#include "platform/host/gdi/gdi_objects.h"
#include "tests/support/test_files.h"

namespace config_test {

// Places text in textBuffer as a load would: from the first byte, NUL after it.
inline void setText(const std::string& text) {
  ASSERT_LT(text.size(), size_t(TEXT_BUFFER_SIZE));
  memcpy(textBuffer, text.data(), text.size());
  textBuffer[text.size()] = 0;
}

inline std::string number(double value) {
  char text[32];
  snprintf(text, sizeof text, "%g", value);
  return text;
}

// An image's frame fields as " frames WxH count ticks mode first random", or
// nothing when all are 0.
inline std::string frames(const ImageSlot& g) {
  std::string f = number(g.frameWidth) + "x" + number(g.frameHeight) + " " + number(g.frameCount) + " " +
                  number(g.frameTicks) + " " + number(g.playMode) + " " + number(g.firstFrame) + " " +
                  number(g.randomFrame);
  return f == "0x0 0 0 0 0 0" ? "" : " frames " + f;
}

// What the tables hold, entry by entry, "; " between entries: the base
// settings when not 0, the background brush's colour, each image slot with a
// DC ("bmp N dib|shell WxH|none hot X,Y" and its frames), each text with any value ("txt N
// speed shadow bold 'text'", CR LF as '|'), each polygon with a count or an
// array ("pgn N count: x,y ..." or "pgn N count -" without an array), each
// definition of a kind or source ("def N kind source layer"), each event
// ("evt tick gate target action"), and the load's error message.
inline std::string stored() {
  std::string s;
  auto add = [&s](const std::string& item) { s += (s.empty() ? "" : "; ") + item; };
  if (tickInterval != 0 || duration != 0) add("base " + number(tickInterval) + " " + number(duration));
  if (host::Brush* brush = host::lookup<host::Brush>(scene.backgroundBrush)) {
    char colour[16];
    snprintf(colour, sizeof colour, "brush %02x%02x%02x", GetRValue(brush->colour), GetGValue(brush->colour),
             GetBValue(brush->colour));
    add(colour);
  }
  for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
    const ImageSlot& g = scene.images[n];
    if (g.dc == nullptr) continue;
    add("bmp " + number(n) + (g.imageLoader == IMAGE_LOADER_DIB ? " dib " : " shell ") +
        (g.bitmap != nullptr ? number(g.info.bmWidth) + "x" + number(g.info.bmHeight) : "none") + " hot " +
        number(g.hotX) + "," + number(g.hotY) + frames(g));
  }
  for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
    const TextSlot& t = scene.texts[n];
    if (t.text[0] == 0 && t.typeSpeed == 0 && t.shadowOffset == 0 && t.boldBacking == 0) continue;
    std::string text = host::utf16ToUtf8(t.text);
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "|");
    add("txt " + number(n) + " " + number(t.typeSpeed) + " " + number(t.shadowOffset) + " " +
        number(t.boldBacking) + " '" + text + "'");
  }
  for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
    const PolygonSlot& p = scene.polygons[n];
    if (p.count == 0 && p.points == nullptr) continue;
    std::string item = "pgn " + number(n) + " " + number(p.count) + (p.points != nullptr ? ":" : " -");
    for (int i = 0; p.points != nullptr && i < p.count; ++i) item += " " + number(p.points[i].x) + "," + number(p.points[i].y);
    add(item);
  }
  for (int n = 0; n < MAX_SCENE_ENTRIES; ++n) {
    const EffectDef& d = scene.defs[n];
    if (d.kind != 0 || d.source != 0) add("def " + number(n) + " " + number(d.kind) + " " + number(d.source) + " " + number(d.layer));
  }
  for (int i = 0; i < scene.eventCount; ++i) {
    const EventEntry& e = scene.events[i];
    add("evt " + number(e.tick) + " " + number(e.gate) + " " + number(e.target) + " " + number(e.action));
  }
  if (loadErrorText != nullptr) add("error " + host::utf16ToUtf8(loadErrorText));
  return s;
}

// A test with a temp directory reported as the executable's, removed
// afterwards, with every GDI object and file released in between.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_files::scratchDir("tessaril-config");
    ASSERT_NE(dir_, "");
    host::setModuleDirectory(dir_);
  }
  void TearDown() override {
    for (auto kind : {host::ObjectKind::Bitmap, host::ObjectKind::Dc, host::ObjectKind::Brush, host::ObjectKind::File})
      EXPECT_EQ(host::liveObjectCount(kind), 0u);
    host::setModuleDirectory("");
    tickInterval = 1000;
    duration = -1;
    EXPECT_GT(std::filesystem::remove_all(dir_), 0u);
  }
  void write(const std::string& name, const std::string& bytes) { test_files::writeWhole(dir_ + "/" + name, bytes); }
  std::string dir_;
};

// Fresh scene tables too, and exeDirectory pointing at the directory. The
// base settings start at 0 so that stored() shows what a text sets.
class ConfigTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    WCHAR path[PATH_UNITS];
    locateDataFile(u"", u"x", path);
    fresh();
  }
  void TearDown() override {
    releaseSceneTables();
    ScratchDirTest::TearDown();
  }
  // Empty tables, no error and base settings 0, as before a first load.
  void fresh() {
    releaseSceneTables();
    ASSERT_EQ(allocateSceneTables(), 1);
    loadErrorText = nullptr;
    tickInterval = duration = 0;
  }
  // A BMP of that size under any name: the shell loader reads BMP content
  // too, so a ".png" name still shows which loader the name chose.
  void writeBmp(const std::string& name, int width, int height) {
    write(name, test_files::bmpBytes(width, height, {0xFF8000}));
  }
  // Parses text as the settings text; the parse's result.
  int parse(const std::string& text) {
    setText(text);
    return parseSettingsText();
  }
};

}  // namespace config_test
