// The settings text's top-level scan, the block loop, and the @base, @bmp,
// @txt, @pgn and @evt directives.
//
// One forward pass over textBuffer with a single cursor: every value goes into
// its table entry the moment it is read, and the first bad record ends the
// parse with loadErrorText set. The cursor never passes the text's terminating
// NUL. The parse keeps no state of its own beyond the cursor and a block's
// record counter, so it can be run on any text placed in textBuffer. What it
// meets is noted to the diagnostics sink; the notes never change what is stored.
// The directive names and the field names of each record are the tables of the
// format, which the authoring tool reads too.
// Dependencies: the diagnostics sink, the field readers, the effect definitions (@set), the scene
// tables, platform GDI and shell image loaders.
#include "config/settings_directives.h"

#include <cstdlib>
#include <cstring>

#include "config/diagnostics.h"
#include "config/effect_definitions.h"
#include "config/field_readers.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"
#include "platform/gdi.h"
#include "platform/shell.h"

#define MAX_BLOCK_RECORDS 256

static const WCHAR BASE_NOT_CLOSED[] = u"設定ファイル内、@baseの記述が間違ってます";
static const WCHAR BMP_NUMBER_OUT_OF_RANGE[] = u"設定ファイル内、@bmpの画像IDが有効範囲ではありません";
static const WCHAR BMP_LOAD_FAILED[] = u"設定ファイル内、@bmpの画像読込に失敗しました";
static const WCHAR TXT_NUMBER_OUT_OF_RANGE[] = u"設定ファイル内、@txtのテキストIDが有効範囲ではありません";
static const WCHAR PGN_NUMBER_OUT_OF_RANGE[] = u"設定ファイル内、@pgnのIDが有効範囲ではありません";

const char* const settingsDirectiveNames[DIRECTIVE_COUNT] = {"base", "bmp", "txt", "pgn", "set", "evt"};

static const char* const kBaseFields[] = {"", "tick interval", "duration", "red", "green", "blue"};
static const char* const kBmpFields[] = {"",           "image number", "file name",  "hot spot x",
                                         "hot spot y", "frame width",  "frame height", "frame count",
                                         "ticks per frame", "play mode", "first frame", "random frame"};
static const char* const kTxtFields[] = {"", "text number", "typing speed", "shadow offset", "bold backing", "text"};
static const char* const kEvtFields[] = {"", "tick", "gate", "target definition", "action"};

const char* const* const recordFieldNames[DIRECTIVE_COUNT] = {kBaseFields, kBmpFields, kTxtFields,
                                                              nullptr,     setFieldNames, kEvtFields};

int takeEntryNumber(const char* start, const char* p, int n, const WCHAR* outOfRange, int* consumed) {
  if ((unsigned)n < MAX_SCENE_ENTRIES) {
    noteFinding(FINDING_ENTRY, start, n);
    return 1;
  }
  loadErrorText = outOfRange;
  noteFinding(FINDING_LOAD_FAILED, start, n);
  *consumed = (int)(p - start);
  return 0;
}

int readEntryNumber(const char** cursor, const WCHAR* outOfRange, int* consumed) {
  const char* start = *cursor;
  int n;
  *cursor += readInt(start, &n);
  return takeEntryNumber(start, *cursor, n, outOfRange, consumed) ? n : -1;
}

// Runs the block of a directive whose name ends at p: records read by step,
// one a line, until a record would begin with '@', the text ends, or
// MAX_BLOCK_RECORDS records are read. Puts the bytes consumed into *consumed;
// returns 1, or 0 when a record failed the load.
static int runBlock(const char* p, RecordStep step, int* consumed) {
  const char* start = p;
  int result = 1;
  p += skipBlanksAndLines(p);
  for (int records = 0; records < MAX_BLOCK_RECORDS; ++records) {
    int used = 0;
    noteFinding(FINDING_RECORD, p);
    result = step(p, &used);
    p += used;
    noteFinding(FINDING_RECORD_END, p);
    if (!result) break;
    p += skipBlanksAndLines(p);
    if (*p == '@' || *p == 0) break;
    if (records == MAX_BLOCK_RECORDS - 1) noteFinding(FINDING_BLOCK_FULL, p);
  }
  *consumed = (int)(p - start);
  return result;
}

// The @base record at p, right after the name: tick interval, duration and the
// background colour, then the '@' that closes it, which is consumed. Puts the
// bytes consumed into *consumed; 1, or 0 when no '@' follows the record.
static int readBaseDirective(const char* p, int* consumed) {
  const char* start = p;
  int red, green, blue;
  p += skipBlanksAndLines(p);
  noteFinding(FINDING_RECORD, p);
  p += readInt(p, &tickInterval);
  p += skipToField(p, 2);
  p += readInt(p, &duration);
  p += skipToField(p, 3);
  const char* colour = p;
  p += readInt(p, &red);
  p += skipToField(p, 4);
  p += readInt(p, &green);
  p += skipToField(p, 5);
  p += readInt(p, &blue);
  noteFinding(FINDING_RECORD_END, p);
  noteFinding(FINDING_BASE_COLOUR, colour, red, green, blue);
  if (red >= 0 && red <= 255 && green >= 0 && green <= 255 && blue >= 0 && blue <= 255) {
    // A second @base replaces the brush; the first one is released, not lost.
    if (scene.backgroundBrush != nullptr) DeleteObject(scene.backgroundBrush);
    scene.backgroundBrush = CreateSolidBrush(RGB(red, green, blue));
  }
  p += skipBlanksAndLines(p);
  if (*p != '@') {
    loadErrorText = BASE_NOT_CLOSED;
    noteFinding(FINDING_LOAD_FAILED, p);
    *consumed = (int)(p - start);
    return 0;
  }
  noteFinding(FINDING_BASE_CLOSE, p);
  *consumed = (int)(p - start) + 1;
  return 1;
}

// Tells whether the file name's last three units are exactly "bmp".
static int endsInBmp(const WCHAR* name) {
  int n = 0;
  while (name[n] != 0) ++n;
  return n >= 3 && name[n - 3] == u'b' && name[n - 2] == u'm' && name[n - 1] == u'p';
}

// Writes exeDirectory followed by name into path (PATH_UNITS units); 0, with an
// empty path, when it would not fit.
static int buildImagePath(const WCHAR* name, WCHAR* path) {
  int n = 0;
  for (const WCHAR* s = exeDirectory; *s != 0; ++s) {
    if (n >= PATH_UNITS - 1) break;
    path[n++] = *s;
  }
  for (const WCHAR* s = name; *s != 0; ++s) {
    if (n >= PATH_UNITS - 1) {
      path[0] = 0;
      return 0;
    }
    path[n++] = *s;
  }
  path[n] = 0;
  return 1;
}

// Releases the memory DC and then the bitmap that an image slot holds.
static void releaseImage(ImageSlot* slot) {
  if (slot->dc != nullptr) DeleteDC(slot->dc);
  if (slot->bitmap != nullptr) DeleteObject(slot->bitmap);
  slot->dc = nullptr;
  slot->bitmap = nullptr;
}

// One @bmp record at p: the image number, the file name, which is loaded from
// exeDirectory into a memory DC, and nine ints of frame layout.
static int readBmpRecord(const char* p, int* consumed) {
  const char* start = p;
  int n;
  WCHAR name[MAX_TEXT_UNITS];
  p += readInt(p, &n);
  p += skipToField(p, 2);
  const char* namePosition = p;
  p += readText(p, name);
  *consumed = (int)(p - start);
  if (!takeEntryNumber(start, p, n, BMP_NUMBER_OUT_OF_RANGE, consumed)) return 0;
  ImageSlot* slot = &scene.images[n];
  releaseImage(slot);  // an image number used again replaces its image
  WCHAR path[PATH_UNITS];
  int found = buildImagePath(name, path);  // a path too long counts as not found
  if (endsInBmp(name)) {
    slot->imageLoader = IMAGE_LOADER_DIB;
    slot->bitmap = found ? SHLoadDIBitmap(path) : nullptr;
  } else {
    slot->imageLoader = IMAGE_LOADER_SHELL;
    slot->bitmap = found ? SHLoadImageFile(path) : nullptr;
  }
  slot->dc = CreateCompatibleDC(nullptr);
  if (slot->dc != nullptr && slot->bitmap != nullptr) SelectObject(slot->dc, slot->bitmap);
  noteFinding(FINDING_IMAGE, namePosition, slot->bitmap != nullptr, 0, 0, path);
  if (slot->bitmap == nullptr || slot->dc == nullptr) {
    loadErrorText = BMP_LOAD_FAILED;
    noteFinding(FINDING_LOAD_FAILED, namePosition);
    return 0;
  }
  GetObjectW(slot->bitmap, sizeof(BITMAP), &slot->info);
  int* const fields[] = {&slot->hotX,      &slot->hotY,       &slot->frameWidth, &slot->frameHeight,
                         &slot->frameCount, &slot->frameTicks, &slot->playMode,   &slot->firstFrame,
                         &slot->randomFrame};
  for (int i = 0; i < (int)(sizeof(fields) / sizeof(fields[0])); ++i) {
    p += skipToField(p, 3 + i);
    p += readInt(p, fields[i]);
  }
  *consumed = (int)(p - start);
  return 1;
}

// One @txt record at p: the text number (tested before anything else is read),
// typing speed, shadow offset, bold backing and the text.
static int readTxtRecord(const char* p, int* consumed) {
  const char* start = p;
  int n = readEntryNumber(&p, TXT_NUMBER_OUT_OF_RANGE, consumed);
  if (n < 0) return 0;
  TextSlot* slot = &scene.texts[n];
  int* const fields[] = {&slot->typeSpeed, &slot->shadowOffset, &slot->boldBacking};
  for (int i = 0; i < 3; ++i) {
    p += skipToField(p, 2 + i);
    p += readInt(p, fields[i]);
  }
  p += skipToField(p, 5);
  p += readText(p, slot->text);
  *consumed = (int)(p - start);
  return 1;
}

// One @pgn record at p: the polygon number, the vertex count and, for a count
// of 0..MAX_POLYGON_VERTICES, that many x, y float pairs. Another count is
// stored as read with no vertex array, and the record ends after it. When the
// array cannot be allocated the polygon is dropped (count 0, no array) and its
// vertices are read past.
static int readPgnRecord(const char* p, int* consumed) {
  const char* start = p;
  int n = readEntryNumber(&p, PGN_NUMBER_OUT_OF_RANGE, consumed);
  if (n < 0) return 0;
  PolygonSlot* slot = &scene.polygons[n];
  p += skipToField(p, 2);
  const char* countPosition = p;
  p += readInt(p, &slot->count);
  free(slot->points);  // a polygon number used again replaces its vertices
  slot->points = nullptr;
  if (slot->count >= 0 && slot->count <= MAX_POLYGON_VERTICES) {
    int count = slot->count;
    // One element at least, so that an empty polygon still owns an array.
    slot->points = (PolygonVertex*)malloc(sizeof(PolygonVertex) * (size_t)(count > 0 ? count : 1));
    if (slot->points == nullptr) slot->count = 0;
    for (int i = 0; i < count; ++i) {
      PolygonVertex vertex;
      p += skipToField(p, 3 + 2 * i);
      p += readFloat(p, &vertex.x);
      p += skipToField(p, 4 + 2 * i);
      p += readFloat(p, &vertex.y);
      if (slot->points != nullptr) slot->points[i] = vertex;
    }
  } else {
    noteFinding(FINDING_POLYGON_COUNT, countPosition, slot->count);
  }
  *consumed = (int)(p - start);
  return 1;
}

// One @evt record at p: tick, gate, target and action, stored in the next free
// event entry. Once all MAX_SCENE_ENTRIES entries are used, records are read
// and dropped, so the event count never exceeds the table.
static int readEvtRecord(const char* p, int* consumed) {
  const char* start = p;
  EventEntry entry;
  p += readInt(p, &entry.tick);
  p += skipToField(p, 2);
  p += readInt(p, &entry.gate);
  p += skipToField(p, 3);
  p += readInt(p, &entry.target);
  p += skipToField(p, 4);
  p += readInt(p, &entry.action);
  noteFinding(FINDING_ENTRY, start, scene.eventCount < MAX_SCENE_ENTRIES ? scene.eventCount : -1);
  if (scene.eventCount < MAX_SCENE_ENTRIES) scene.events[scene.eventCount++] = entry;
  *consumed = (int)(p - start);
  return 1;
}

// The record step of each directive, in the order of SettingsDirective; null
// for @base, which is no block.
static const RecordStep kRecordSteps[] = {nullptr,       readBmpRecord, readTxtRecord,
                                          readPgnRecord, readSetRecord, readEvtRecord};
static_assert(sizeof(kRecordSteps) / sizeof(kRecordSteps[0]) == DIRECTIVE_COUNT, "one step per SettingsDirective");
static_assert(sizeof(kBmpFields) / sizeof(kBmpFields[0]) == 12, "a @bmp record has 11 fields");

// Runs the directive whose name follows the '@' at p, if one does, and puts
// the bytes consumed (the '@' included) into *consumed; else steps over the '@'
// and the byte after it (two bytes of a two-byte character). Returns 1, or 0
// when the directive failed the load.
static int readDirective(const char* p, int* consumed) {
  for (int i = 0; i < DIRECTIVE_COUNT; ++i) {
    size_t length = strlen(settingsDirectiveNames[i]);
    if (strncmp(p + 1, settingsDirectiveNames[i], length) != 0) continue;
    noteFinding(FINDING_DIRECTIVE, p, i);
    const char* afterName = p + 1 + length;
    int used = 0;
    int result = kRecordSteps[i] == nullptr ? readBaseDirective(afterName, &used)
                                            : runBlock(afterName, kRecordSteps[i], &used);
    *consumed = (int)(afterName - p) + used;
    return result;
  }
  noteFinding(FINDING_UNKNOWN_AT, p);
  int n = 1;
  if (p[n] != 0) {
    if ((unsigned char)p[n] >= 0x80 && p[n + 1] != 0) ++n;
    ++n;
  }
  *consumed = n;
  return 1;
}

int parseSettingsText(void) {
  const char* p = textBuffer;
  while (*p != 0) {
    unsigned char c = (unsigned char)*p;
    if (c == '\r' || c == '\n') {
      ++p;
    } else if (c == '#') {
      while (*p != 0 && *p != '\r' && *p != '\n') ++p;
    } else if (c == '@') {
      int used = 0;
      if (!readDirective(p, &used)) return 0;
      p += used;
    } else if (c >= 0x80 && p[1] != 0) {
      noteFinding(FINDING_STRAY, p);
      p += 2;
    } else {
      noteFinding(FINDING_STRAY, p);
      ++p;
    }
  }
  return 1;
}
