// The frame trace (see trace_writer.h). Floats are printed with nine significant
// digits, so reading one back gives the same single-precision value.
#include "tools/trace_writer.h"

#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "render/draw_list.h"

namespace {

// Appends ,"name":value pairs; the first pair of an object has no comma.
struct JsonObject {
  FILE* out;
  bool first = true;
  explicit JsonObject(FILE* f) : out(f) { std::fputc('{', out); }
  ~JsonObject() { std::fputc('}', out); }
  void key(const char* name) {
    std::fprintf(out, first ? "\"%s\":" : ",\"%s\":", name);
    first = false;
  }
  void integer(const char* name, long long value) {
    key(name);
    std::fprintf(out, "%lld", value);
  }
  // JSON has no NaN or infinity: those are written as strings.
  void real(const char* name, float value) {
    key(name);
    if (value != value) {
      std::fputs("\"nan\"", out);
    } else if (value > 3.4028235e38f || value < -3.4028235e38f) {
      std::fputs(value > 0 ? "\"inf\"" : "\"-inf\"", out);
    } else {
      std::fprintf(out, "%.9g", double(value));
    }
  }
};

void writeInstance(FILE* out, int slot, const EffectInstance& i) {
  JsonObject o(out);
  o.integer("slot", slot);
  o.integer("source", i.source);
  o.integer("age", i.age);
  o.real("x", i.x);
  o.real("y", i.y);
  o.real("vx", i.vx);
  o.real("vy", i.vy);
  o.real("radius", i.radius);
  o.real("angle", i.angle);
  o.real("width", i.width);
  o.real("height", i.height);
  o.real("widthStep", i.widthStep);
  o.real("heightStep", i.heightStep);
  o.real("alpha", i.alpha);
  o.real("red", i.red);
  o.real("green", i.green);
  o.real("blue", i.blue);
  o.real("alphaStep", i.alphaStep);
  o.real("redStep", i.redStep);
  o.real("greenStep", i.greenStep);
  o.real("blueStep", i.blueStep);
  o.integer("srcX", i.srcX);
  o.integer("srcY", i.srcY);
  o.integer("srcWidth", i.srcWidth);
  o.integer("srcHeight", i.srcHeight);
  o.integer("hotX", i.hotX);
  o.integer("hotY", i.hotY);
  o.integer("baseX", i.baseX);
  o.integer("baseY", i.baseY);
  o.integer("def", i.def);
}

void writeDraw(FILE* out, const DrawEntry& d) {
  JsonObject o(out);
  o.integer("kind", d.kind);
  o.integer("source", d.source);
  o.integer("x", d.x);
  o.integer("y", d.y);
  o.integer("extentX", d.extentX);
  o.integer("extentY", d.extentY);
  o.real("scaleX", d.scaleX);
  o.real("scaleY", d.scaleY);
  o.integer("srcX", d.srcX);
  o.integer("srcY", d.srcY);
  o.integer("srcWidth", d.srcWidth);
  o.integer("srcHeight", d.srcHeight);
  o.integer("alpha", d.alpha);
  o.integer("red", d.red);
  o.integer("green", d.green);
  o.integer("blue", d.blue);
  o.integer("layer", d.layer);
}

}  // namespace

void writeTraceLine(FILE* out, int frame) {
  std::fprintf(out, "{\"frame\":%d,\"tick\":%d,\"instances\":[", frame, tick);
  bool first = true;
  if (pool.slots != nullptr) {
    // The walk is bounded by the pool's capacity, so even a damaged list ends.
    for (int s = pool.head, n = 0; s > 0 && s < MAX_INSTANCES && pool.slots[s].inUse && n < MAX_INSTANCES;
         s = pool.slots[s].next, ++n) {
      if (!first) std::fputc(',', out);
      first = false;
      writeInstance(out, s, pool.slots[s]);
    }
  }
  std::fputs("],\"draws\":[", out);
  first = true;
  if (drawList != nullptr) {
    for (int s = drawListHead, n = 0; s > 0 && s < MAX_DRAW_ENTRIES && drawList[s].inUse && n < MAX_DRAW_ENTRIES;
         s = drawList[s].next, ++n) {
      if (!first) std::fputc(',', out);
      first = false;
      writeDraw(out, drawList[s]);
    }
  }
  std::fputs("]}\n", out);
}
