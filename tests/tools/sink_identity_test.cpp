// One parser, never two: loading with the checker's sink set stores exactly
// what the player's load stores. Every case of the finding tests, the demo show
// and mutated copies of the cases are loaded with and without the sink, and the
// tables (images down to their pixels) are compared byte for byte.
#include <cstddef>
#include <cstring>
#include <random>

#include "platform/host/gdi/gdi_objects.h"
#include "show_check_cases.h"

namespace {

using check_test::CheckCase;
using check_test::CheckTest;

template <class T>
void appendBytes(std::string* out, const T& value) {
  out->append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Everything a settings load leaves: the result, the base settings, the load
// error and the five tables with the brush, handles replaced by what they hold.
std::string settingsSnapshot(int result) {
  std::string s;
  appendBytes(&s, result);
  appendBytes(&s, tickInterval);
  appendBytes(&s, duration);
  appendBytes(&s, loadErrorText);
  s.append(reinterpret_cast<const char*>(scene.defs), sizeof(EffectDef) * MAX_SCENE_ENTRIES);
  for (int i = 0; i < MAX_SCENE_ENTRIES; ++i) {
    const ImageSlot& g = scene.images[i];
    // The int fields before the handles, and the bitmap's description up to its pixel address
    // (not the padding before that).
    s.append(reinterpret_cast<const char*>(&g), offsetof(ImageSlot, bitmap));
    s.append(reinterpret_cast<const char*>(&g.info), offsetof(BITMAP, bmBitsPixel) + sizeof g.info.bmBitsPixel);
    appendBytes(&s, g.dc != nullptr);
    host::Bitmap* bitmap = host::lookup<host::Bitmap>(g.bitmap);
    appendBytes(&s, bitmap != nullptr);
    if (bitmap != nullptr) {
      appendBytes(&s, bitmap->surface.width);
      appendBytes(&s, bitmap->surface.height);
      appendBytes(&s, bitmap->perPixelAlpha);
      s.append(reinterpret_cast<const char*>(bitmap->surface.pixels.data()), bitmap->surface.pixels.size() * 4);
    }
  }
  s.append(reinterpret_cast<const char*>(scene.texts), sizeof(TextSlot) * MAX_SCENE_ENTRIES);
  for (int i = 0; i < MAX_SCENE_ENTRIES; ++i) {
    const PolygonSlot& p = scene.polygons[i];
    appendBytes(&s, p.count);
    appendBytes(&s, p.points != nullptr);
    if (p.points != nullptr && p.count > 0) {
      s.append(reinterpret_cast<const char*>(p.points), sizeof(PolygonVertex) * size_t(p.count));
    }
  }
  s.append(reinterpret_cast<const char*>(scene.events), sizeof(EventEntry) * MAX_SCENE_ENTRIES);
  appendBytes(&s, scene.eventCount);
  host::Brush* brush = host::lookup<host::Brush>(scene.backgroundBrush);
  appendBytes(&s, brush != nullptr);
  if (brush != nullptr) appendBytes(&s, brush->colour);
  return s;
}

// Both schedule lists and the load's result.
std::string scheduleSnapshot(int result) {
  std::string s;
  appendBytes(&s, result);
  appendBytes(&s, loadErrorText);
  for (const ScheduleList* list : {&normalList, &suspendList}) {
    appendBytes(&s, list->count);
    if (list->entries != nullptr) {
      s.append(reinterpret_cast<const char*>(list->entries), sizeof(ScheduleEntry) * size_t(list->count));
    }
  }
  return s;
}

class SinkIdentityTest : public CheckTest {
 protected:
  // Loads the settings (or schedule) file name plainly or through the checker;
  // the snapshot of what it stored.
  std::string load(bool schedule, const WCHAR* name, bool checked) {
    loadErrorText = nullptr;
    std::vector<CheckFinding> findings;
    std::string snapshot;
    CheckTest::load(schedule, name, checked ? &findings : nullptr, [&](int result) {
      snapshot = schedule ? scheduleSnapshot(result) : settingsSnapshot(result);
    });
    EXPECT_EQ(settingsDiagnostics, nullptr);
    return snapshot;
  }
};

TEST_F(SinkIdentityTest, TheDemoShowLoadsTheSameTables) {
  host::setModuleDirectory(check_test::demoDirectory());
  // That the demo loads at all is the checker's command test (it checks clean).
  EXPECT_EQ(load(false, u"", false), load(false, u"", true));
  EXPECT_EQ(load(true, u"", false), load(true, u"", true));
}

// Every case as it is, and cut, with bytes dropped, doubled or replaced by the
// bytes the parsers treat specially: the sink must never change what is
// stored, and the checker must read nothing outside the text.
TEST_F(SinkIdentityTest, EveryCaseAndItsMutationsLoadTheSameTables) {
  std::mt19937 random(20070314);
  const char specials[] = {'@', '#', ',', '"', '[', ']', '\r', '\n', ' ', 'g', '1', '\x82', '-'};
  std::vector<CheckCase> cases = check_test::settingsCases();
  for (const CheckCase& c : check_test::scheduleCases()) cases.push_back(c);
  for (const CheckCase& original : cases) {
    for (int round = 0; round < 7; ++round) {
      CheckCase c = original;
      std::string& text = c.text;
      for (int edit = 0; edit < round; ++edit) {
        if (text.empty()) break;
        size_t at = random() % text.size();
        switch (random() % 4) {
          case 0: text.erase(at, 1 + random() % 8); break;
          case 1: text.insert(at, text.substr(at, 1 + random() % 12)); break;
          case 2: text[at] = specials[random() % sizeof specials]; break;
          case 3: text.resize(at); break;
        }
      }
      place(c);
      const WCHAR* name = c.schedule ? u"" : u"show.txt";
      EXPECT_EQ(load(c.schedule, name, false), load(c.schedule, name, true)) << c.name;
    }
  }
}

}  // namespace
