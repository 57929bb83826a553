// The draw requests by kind with their truncations, the typewriter count, and
// the layer-sorted draw list with its limit, checked against the plain walk.
#include <algorithm>
#include <random>
#include <string>
#include <tuple>

#include "render/draw_requests.h"
#include "tests/engine/invariants.h"

class DrawTest : public EngineTest {
 protected:
  // Spawns an instance of definition n and places it at base (bx, by) plus
  // offset (x, y) with the given size; returns its slot.
  int place(int n, int baseX, int baseY, float x, float y, float width, float height) {
    spawnInstance(n, 0);
    int slot = liveOrder().back();
    EffectInstance& in = pool.slots[slot];
    in.baseX = baseX;
    in.baseY = baseY;
    in.x = x;
    in.y = y;
    in.width = width;
    in.height = height;
    in.alpha = 255.0f;
    in.source = scene.defs[n].source;
    return slot;
  }
  // A request's place and extent: x, y, extentX, extentY.
  static std::vector<int> box(const DrawEntry& e) { return {e.x, e.y, e.extentX, e.extentY}; }
  std::vector<DrawEntry> requests() {
    std::vector<DrawEntry> out;
    for (int s : drawOrder()) out.push_back(drawList[s]);
    return out;
  }
  // The requests the instance in slot makes on an emptied list.
  std::vector<DrawEntry> emit(int slot) {
    emptyDrawList();
    emitDrawRequests(slot);
    return requests();
  }
};

TEST_F(DrawTest, ImagesTruncateTowardsZeroAndNeedSizeAndAlpha) {
  liveDef(0, KIND_IMAGE).layer = 4;
  int slot = place(0, 120, 160, -10.5f, 3.25f, 1.0f, 1.0f);
  EffectInstance& in = pool.slots[slot];
  in.hotX = in.hotY = 8;
  in.srcWidth = 20;
  in.alpha = 1.0f;
  std::vector<DrawEntry> r = emit(slot);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(box(r[0]), (std::vector<int>{101, 155, 1, 1}));
  EXPECT_EQ(std::make_tuple(r[0].srcWidth, r[0].alpha, r[0].layer), std::make_tuple(20, 1, 4));
  in.hotX = in.baseX = 0;
  in.x = -3.7f;
  EXPECT_EQ(emit(slot).at(0).x, -3);
  in.width = 0.9f;
  EXPECT_TRUE(emit(slot).empty()) << "under one pixel wide";
  in.width = 1.0f;
  in.alpha = 0.5f;
  EXPECT_TRUE(emit(slot).empty()) << "alpha under 1";
}

TEST_F(DrawTest, TextGivesShadowBackingAndText) {
  EffectDef& d = liveDef(0, KIND_TEXT);
  d.source = 7;
  TextSlot& text = scene.texts[7];
  text.shadowOffset = 2;
  text.boldBacking = 1;
  int slot = place(0, 100, 50, 0.7f, -0.2f, 120.9f, 16.5f);
  pool.slots[slot].red = 200.9f;
  std::vector<DrawEntry> r = emit(slot);
  ASSERT_EQ(r.size(), 3u);
  // Place, extent, bold flag, red, source and count (typeSpeed 0: the whole text).
  const int expected[3][8] = {
      {102, 51, 222, 16, 0, 0, 7, -1}, {100, 49, 220, 16, 1, 0, 7, -1}, {100, 49, 220, 16, 0, 200, 7, -1}};
  for (int k = 0; k < 3; ++k) {
    const DrawEntry& e = r[k];
    EXPECT_EQ(std::vector<int>({e.x, e.y, e.extentX, e.extentY, e.srcY, e.red, e.source, e.srcX}),
              std::vector<int>(expected[k], expected[k] + 8)) << k;
  }
  text.shadowOffset = -3;
  text.boldBacking = 2;
  r = emit(slot);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(std::make_pair(r[0].x, r[0].y), std::make_pair(97, 46));
  EXPECT_EQ(r[0].extentX - r[0].x, (r[1].extentX - r[1].x) + 6);
}

TEST_F(DrawTest, TextNeedsARightEdgeAndFontHeightAndATextSlot) {
  liveDef(0, KIND_TEXT);
  int slot = place(0, 0, 0, -50.0f, 0.0f, 60.0f, 12.0f);
  EffectInstance& in = pool.slots[slot];
  EXPECT_EQ(emit(slot).size(), 1u);
  in.width = 40.0f;
  EXPECT_TRUE(emit(slot).empty()) << "right edge below 1";
  in.width = 60.0f;
  in.height = 0.9f;
  EXPECT_TRUE(emit(slot).empty()) << "font height below 1";
  in.height = 12.0f;
  for (int source : {-1, 256, INT_MIN}) {
    in.source = source;
    EXPECT_TRUE(emit(slot).empty()) << source;
    EXPECT_EQ(visibleCharCount(slot), -1);
  }
  // A runaway width saturates the right edges instead of overflowing.
  in.source = 0;
  scene.texts[0].shadowOffset = INT_MIN;
  in.x = 3e9f;
  in.width = 1e30f;
  std::vector<DrawEntry> r = emit(slot);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(std::make_pair(r[0].x, r[0].extentX), std::make_pair(INT_MAX + INT_MIN, INT_MAX));
}

// The visible character count of "ABCDE" by age: typeSpeed n > 0 shows one
// more character every n ticks, -n shows n more every tick; -1 is the whole
// text, as is an empty text at once.
TEST_F(DrawTest, TypewriterCounts) {
  liveDef(0, KIND_TEXT);
  int slot = place(0, 0, 0, 0, 0, 10, 10);
  TextSlot& text = scene.texts[0];
  const struct {
    const char16_t* text;
    int typeSpeed;
    const char* counts;
  } rows[] = {{u"ABCDE", 3, "0 0 0 1 1 1 2 2 2 3 3 3 4 4 4 -1"}, {u"ABCDE", -2, "0 2 4 -1"}, {u"", 3, "-1"}};
  for (const auto& row : rows) {
    std::char_traits<char16_t>::copy(text.text, row.text, std::char_traits<char16_t>::length(row.text) + 1);
    text.typeSpeed = row.typeSpeed;
    std::string counts;
    for (int age = 0, count = 0; age < 40 && count != -1; ++age) {  // up to the whole text
      pool.slots[slot].age = age;
      count = visibleCharCount(slot);
      counts += (age > 0 ? " " : "") + std::to_string(count);
    }
    EXPECT_EQ(counts, row.counts) << row.typeSpeed;
  }
}

TEST_F(DrawTest, ShapesAreAlwaysRequestedAroundTheirPivot) {
  EffectDef& d = liveDef(0, KIND_ELLIPSE);
  d.pivotX = 0.5f;
  d.pivotY = 1.0f;
  d.source = 1;
  int slot = place(0, 100, 100, 0.0f, 0.0f, 21.0f, 10.0f);
  pool.slots[slot].alpha = 0.0f;
  emitDrawRequests(slot);
  pool.slots[slot].width = -5.0f;
  emitDrawRequests(slot);
  std::vector<DrawEntry> r = requests();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(std::make_pair(r[0].kind, r[0].source), std::make_pair(int(KIND_ELLIPSE), 1));
  EXPECT_EQ(box(r[0]), (std::vector<int>{89, 90, 110, 100}));  // x: trunc(100 - 10.5)
  EXPECT_EQ(r[1].extentX - r[1].x, -5);
}

TEST_F(DrawTest, LinesRunToEveryInstanceOfTheTarget) {
  EffectDef& line = liveDef(0, KIND_LINE);
  line.source = 1;
  liveDef(1, KIND_NONE);
  int from = place(0, 10, 20, 1.0f, 2.0f, 1.0f, 3.0f);
  EXPECT_TRUE(emit(from).empty());
  place(1, 10, 20, 41.0f, 2.0f, 1.0f, 1.0f);
  place(1, 99, 99, 1.0f, 62.0f, 1.0f, 1.0f);
  std::vector<DrawEntry> r = emit(from);
  ASSERT_EQ(r.size(), 2u);
  // From (x, y) to (srcX, srcY), the target's offset from this instance's base; extentY the width.
  EXPECT_EQ(std::make_tuple(r[0].x, r[0].y, r[0].srcX, r[0].srcY, r[0].extentY), std::make_tuple(11, 22, 51, 22, 3));
  EXPECT_EQ(std::make_pair(r[1].srcX, r[1].srcY), std::make_pair(11, 82));
  pool.slots[from].width = 0.5f;  // halfway
  EXPECT_EQ(emit(from).at(0).srcX, 31);
  pool.slots[from].source = 0;  // its own definition: a zero-length line
  r = emit(from);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(std::make_pair(r[0].srcX, r[0].srcY), std::make_pair(r[0].x, r[0].y));
}

TEST_F(DrawTest, PolygonsCarryTheirScaleAndOtherKindsNothing) {
  liveDef(0, KIND_POLYGON).source = 999;  // the painter checks the number
  int slot = place(0, 5, 6, 0.5f, 0.5f, 12.5f, 3.75f);
  std::vector<DrawEntry> r = emit(slot);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(std::make_tuple(r[0].source, r[0].x, r[0].extentX, r[0].scaleY), std::make_tuple(999, 5, 12, 3.75f));
  pool.slots[slot].height = 0.5f;
  EXPECT_TRUE(emit(slot).empty());
  for (int kind : {int(KIND_NONE), 7, -1}) {
    liveDef(1, kind);
    EXPECT_TRUE(emit(place(1, 0, 0, 0, 0, 10, 10)).empty()) << kind;
  }
}

// Inserts a request of the given layer with its order number in source.
static void insertLayer(int layer, int order) {
  insertDrawEntry(KIND_RECTANGLE, order, 0, 0, 0, 0, 0.0f, 0.0f, 0, 0, 0, 0, 0, 0, 0, 0, layer);
}

// The lines of an instance to a full list are dropped, each printing the line
// of a dropped request (the list's limit itself is the random insertions' frame 7).
TEST_F(DrawTest, LinesToAFullListAreDroppedWithALineEach) {
  for (int k = 0; k < 1023; ++k) insertLayer(k % 7, k);
  liveDef(0, KIND_LINE).source = 1;
  liveDef(1, KIND_NONE);
  int from = place(0, 0, 0, 0.0f, 0.0f, 1.0f, 1.0f);
  for (int k = 0; k < 3; ++k) place(1, 0, 0, 0.0f, 0.0f, 1.0f, 1.0f);
  captureConsole();
  emitDrawRequests(from);
  // The first line is written, its two repeats counted.
  EXPECT_EQ(capturedConsole(), "表示画像の最大数に達してます\n(2 more times)\n");
  EXPECT_EQ(drawOrder().size(), 1023u);
}

// Random layers, extreme ones and an overflow: the invariants (slots 1..n in
// use, layers falling, equal layers in slot order) fix every link, and each
// request sits in the lowest free slot with its own layer. Even frames empty the
// list with emptyDrawList, odd ones by a plain fill as a painter may do.
TEST_F(DrawTest, RandomInsertionsKeepTheListInOrder) {
  std::mt19937 gen(12345);
  for (int frame = 0; frame < 40; ++frame) {
    int spread = 1 + frame % 9;
    int count = frame == 7 ? 1100 : int(gen() % 300);
    std::vector<int> layers;
    captureConsole();
    for (int k = 0; k < count; ++k) {
      int layer = int(gen() % spread) - spread / 2;
      if (frame % 5 == 0) layer = (k % 2 == 0) ? INT_MIN : INT_MAX;
      layers.push_back(layer);
      insertLayer(layer, k);
    }
    EXPECT_EQ(capturedConsole(), frame == 7 ? "表示画像の最大数に達してます\n(76 more times)\n" : "");
    ASSERT_TRUE(drawListInvariantsHold()) << frame;
    ASSERT_EQ(int(drawOrder().size()), std::min(count, MAX_DRAW_ENTRIES - 1)) << frame;
    for (int s : drawOrder()) {
      ASSERT_EQ(std::make_pair(drawList[s].source, drawList[s].layer), std::make_pair(s - 1, layers[s - 1]))
          << "frame " << frame << " slot " << s;
    }
    if (frame % 2 == 0) {
      emptyDrawList();
    } else {
      memset(drawList, 0, sizeof(DrawEntry) * MAX_DRAW_ENTRIES);
      drawListHead = 1;
      drawListCount = 0;
    }
  }
}
