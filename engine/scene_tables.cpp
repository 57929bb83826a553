// Allocation and release of the scene tables (see scene_tables.h).
#include "engine/scene_tables.h"

#include "platform/runtime.h"

SceneTables scene;
int tick;

// Frees one table and nulls its pointer.
template <class T>
static void freeTable(T*& table) {
  free(table);
  table = nullptr;
}

int allocateSceneTables(void) {
  scene.defs = (EffectDef*)calloc(MAX_SCENE_ENTRIES, sizeof(EffectDef));
  scene.images = (ImageSlot*)calloc(MAX_SCENE_ENTRIES, sizeof(ImageSlot));
  scene.texts = (TextSlot*)calloc(MAX_SCENE_ENTRIES, sizeof(TextSlot));
  scene.polygons = (PolygonSlot*)calloc(MAX_SCENE_ENTRIES, sizeof(PolygonSlot));
  scene.events = (EventEntry*)calloc(MAX_SCENE_ENTRIES, sizeof(EventEntry));
  scene.eventCount = 0;
  tick = 0;
  if (scene.defs == nullptr || scene.images == nullptr || scene.texts == nullptr || scene.polygons == nullptr ||
      scene.events == nullptr) {
    HBRUSH brush = scene.backgroundBrush;
    scene.backgroundBrush = nullptr;  // the failed start owns no brush
    releaseSceneTables();
    scene.backgroundBrush = brush;
    return 0;
  }
  return 1;
}

// Releases the images' DCs and bitmaps; a DC goes before its bitmap.
static void releaseImages(void) {
  if (scene.images == nullptr) return;
  for (int i = 0; i < MAX_SCENE_ENTRIES; ++i) {
    ImageSlot& slot = scene.images[i];
    if (slot.dc != nullptr) DeleteDC(slot.dc);
    if (slot.bitmap != nullptr) DeleteObject(slot.bitmap);
    memset(&slot, 0, sizeof slot);
  }
}

// Releases the polygons' vertex arrays.
static void releasePolygons(void) {
  if (scene.polygons == nullptr) return;
  for (int i = 0; i < MAX_SCENE_ENTRIES; ++i) {
    free(scene.polygons[i].points);
    scene.polygons[i].points = nullptr;
  }
}

void releaseSceneTables(void) {
  releaseImages();
  freeTable(scene.images);
  freeTable(scene.texts);
  releasePolygons();
  freeTable(scene.polygons);
  freeTable(scene.defs);
  freeTable(scene.events);
  scene.eventCount = 0;
  if (scene.backgroundBrush != nullptr) {
    DeleteObject(scene.backgroundBrush);
    scene.backgroundBrush = nullptr;
  }
}
