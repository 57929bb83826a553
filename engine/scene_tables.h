// The scene tables: the five fixed tables a show is loaded into, and its
// background brush.
//
// Every table has exactly MAX_SCENE_ENTRIES entries indexed by the number the
// settings file gives (0..255); an entry the file never mentions stays all zero.
// The tables exist only while a show runs: allocated empty at its start, filled
// by the settings parser, read by the engine and the painter, released at its
// stop. Dependencies: platform (bitmaps, DCs, brushes).
#pragma once

#include "platform/gdi.h"
#include "platform/types.h"

#define MAX_SCENE_ENTRIES 256

// Kinds of effect: what an effect's instances draw.
enum EffectKind {
  KIND_NONE = 0,
  KIND_IMAGE = 1,
  KIND_TEXT = 2,
  KIND_RECTANGLE = 3,
  KIND_ELLIPSE = 4,
  KIND_LINE = 5,
  KIND_POLYGON = 6
};

// Inheritance bits, read from the definition of a child's parent.
#define INHERIT_OFFSET 1
#define INHERIT_VELOCITY 2
#define INHERIT_ORBIT 4
#define INHERIT_SIZE 8
#define INHERIT_COLOUR 16

// One effect definition (@set). Most quantities come as x, y, then their spreads.
struct EffectDef {
  int kind;
  int source;  // image/text/polygon number, fill flag, line target, or clock code -2..-15
  int layer;
  float posFracX, posFracY;
  float pivotX, pivotY;
  float offsetX, offsetY, offsetXRand, offsetYRand;
  float velX, velY, velXRand, velYRand;
  float accelX, accelY, accelXRand, accelYRand;
  float radius, angle, radiusRand, angleRand;
  float radiusStep, angleStep;
  float orbitXX, orbitYY;
  float orbitYX, orbitXY;
  float width, height, widthRand, heightRand;
  float widthStep, heightStep, widthStepRand, heightStepRand;
  float widthAccel, heightAccel, widthAccelRand, heightAccelRand;
  float alpha, red, green, blue;
  float alphaRand, redRand, greenRand, blueRand;
  float alphaStep, redStep, greenStep, blueStep;
  float alphaStepRand, redStepRand, greenStepRand, blueStepRand;
  float alphaAccel, redAccel, greenAccel, blueAccel;
  float alphaAccelRand, redAccelRand, greenAccelRand, blueAccelRand;
  int lifetime;
  int childDef;
  int childDefRange;
  int spawnAtAge;
  int spawnEvery;
  int spawnChance;
  int spawnOnDeath;
  int spawnCount;
  int inheritFlags;
};

// Which loader read an image; decides how alpha blending treats its pixels.
#define IMAGE_LOADER_DIB 0    // SHLoadDIBitmap: per-pixel alpha when blended
#define IMAGE_LOADER_SHELL 1  // SHLoadImageFile: constant alpha only

// One image (@bmp).
struct ImageSlot {
  int imageLoader;
  int hotX, hotY;
  int frameWidth, frameHeight;
  int frameCount;
  int frameTicks;
  int playMode;  // 0 once, 1 loop
  int firstFrame;
  int randomFrame;
  HBITMAP bitmap;  // null: slot empty
  HDC dc;          // memory DC with bitmap selected; images are drawn from it
  BITMAP info;
};

#define MAX_TEXT_UNITS 256

// One text (@txt).
struct TextSlot {
  WCHAR text[MAX_TEXT_UNITS];
  int typeSpeed;
  int shadowOffset;
  int boldBacking;
};

struct PolygonVertex {
  float x, y;
};

// One polygon (@pgn). count is stored as read; points exists only for 0..65535.
struct PolygonSlot {
  int count;
  PolygonVertex* points;
};

#define MAX_POLYGON_VERTICES 65535

// Event actions.
#define EVENT_SPAWN 0
#define EVENT_REMOVE_DEF 1
#define EVENT_REMOVE_ALL 2

// One timed event (@evt).
struct EventEntry {
  int tick;
  int gate;
  int target;
  int action;
};

struct SceneTables {
  EffectDef* defs;
  ImageSlot* images;
  TextSlot* texts;
  PolygonSlot* polygons;
  EventEntry* events;
  int eventCount;
  HBRUSH backgroundBrush;  // null: frames start from the screen snapshot
};

extern SceneTables scene;

// The running show's tick counter: 0 when the tables are allocated, +1 a tick.
extern int tick;

// Allocates the five tables with every entry zero; event count 0, tick 0. The
// background brush is left alone. Returns 1, or 0 when memory ran out (nothing
// is then held).
int allocateSceneTables(void);

// Releases the tables: each image's DC before its bitmap, each vertex array,
// then the tables, then the background brush. Every pointer is null afterwards.
void releaseSceneTables(void);
