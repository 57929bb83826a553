// Helpers of the configuration tests: a temp directory that stands for the
// executable's directory, fresh scene tables per test, settings texts placed in
// textBuffer, and small BMP and PNG files written by the tests themselves.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "config/field_readers.h"
#include "config/schedule_file.h"
#include "config/settings_directives.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/files/host_files.h"

namespace config_test {

// Writes bytes to path as they are.
inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline void putLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xFF);
}

// A 24-bit bottom-up BMP of width x height pixels, all of colour 0xRRGGBB.
inline std::string bmp24(int width, int height, uint32_t rgb) {
  int rowBytes = (width * 3 + 3) & ~3;
  std::string out = "BM";
  putLe(out, uint32_t(54 + rowBytes * height), 4);
  putLe(out, 0, 4);
  putLe(out, 54, 4);
  putLe(out, 40, 4);
  putLe(out, uint32_t(width), 4);
  putLe(out, uint32_t(height), 4);
  putLe(out, 1, 2);
  putLe(out, 24, 2);
  putLe(out, 0, 4);
  putLe(out, uint32_t(rowBytes * height), 4);
  putLe(out, 2835, 4);
  putLe(out, 2835, 4);
  putLe(out, 0, 4);
  putLe(out, 0, 4);
  for (int y = 0; y < height; ++y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      row += char(rgb & 0xFF);
      row += char((rgb >> 8) & 0xFF);
      row += char((rgb >> 16) & 0xFF);
    }
    row.resize(size_t(rowBytes), '\0');
    out += row;
  }
  return out;
}

// Writes an opaque PNG of width x height pixels through cairo; true on success.
inline bool writePng(const std::string& path, int width, int height) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.2, 0.4, 0.6);
  cairo_paint(cr);
  cairo_destroy(cr);
  bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

// Places text in textBuffer as a load would: from the first byte, NUL after it.
inline void setText(const std::string& text) {
  ASSERT_LT(text.size(), size_t(TEXT_BUFFER_SIZE));
  memcpy(textBuffer, text.data(), text.size());
  textBuffer[text.size()] = 0;
}

inline std::u16string wide(const WCHAR* text) { return std::u16string(text); }

// One stored field against its expected value; ints and floats alike, as the
// tables hold only values that a float keeps exactly.
struct Field {
  template <class Actual, class Expected>
  Field(const char* field, Actual a, Expected e) : name(field), actual(double(a)), expected(double(e)) {}
  const char* name;
  double actual, expected;
};
inline void expectFields(std::initializer_list<Field> fields) {
  for (const Field& f : fields) EXPECT_EQ(f.actual, f.expected) << f.name;
}

// A test with fresh scene tables and a temp directory reported as the
// executable's; exeDirectory already points at it.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaril-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    host::setModuleDirectory(dir_);
    WCHAR path[PATH_UNITS];
    locateDataFile(u"", u"x", path);
    ASSERT_EQ(allocateSceneTables(), 1);
    loadErrorText = nullptr;
  }
  void TearDown() override {
    releaseSceneTables();
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Bitmap), 0u);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Dc), 0u);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Brush), 0u);
    EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), 0u);
    host::setModuleDirectory("");
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  void write(const std::string& name, const std::string& bytes) { writeFile(dir_ + "/" + name, bytes); }
  void writeBmp(const std::string& name, int width, int height) { write(name, bmp24(width, height, 0xFF8000)); }
  void writePngFile(const std::string& name, int width, int height) {
    ASSERT_TRUE(writePng(dir_ + "/" + name, width, height));
  }
  // Parses text as the settings text; the parse's result.
  int parse(const std::string& text) {
    setText(text);
    return parseSettingsText();
  }
  std::string dir_;
};

}  // namespace config_test
