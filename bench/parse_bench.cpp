// Parsing a settings file of the largest size the text buffer holds: 65,535
// bytes with 256 @set records of 46 fields and 256 @evt records, read by
// parseSettingsText from the text buffer into the scene tables.
//
// Floor: a plain loop that knows the record layout and converts the same
// fields of the same text with strtol and strtod, nothing else.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "config/settings_directives.h"
#include "config/settings_loader.h"
#include "engine/scene_tables.h"

namespace {

constexpr size_t kFileBytes = 65535;
constexpr int kRecords = 256;

// What each field of a @set record is, in file order.
enum FieldType { kInt, kLetter, kFloatPair, kIntPair, kText };

const FieldType* setLayout() {
  static FieldType layout[46];
  int n = 0;
  layout[n++] = kInt;     // number
  layout[n++] = kLetter;  // kind
  layout[n++] = kInt;     // source
  layout[n++] = kInt;     // layer
  for (int i = 5; i <= 38; ++i) layout[n++] = kFloatPair;
  layout[n++] = kInt;      // lifetime
  layout[n++] = kIntPair;  // child definition [range]
  for (int i = 41; i <= 45; ++i) layout[n++] = kInt;
  layout[n++] = kText;  // inheritance flags
  return layout;
}

// A float pair's text, in the forms shows write: often 0 or a small number,
// sometimes with a spread in brackets.
std::string floatPair(bench::Lcg& lcg) {
  static const char* const forms[] = {"0", "1", "-2.5", "0.25", "12[3]", "0.5", "255", "-1", "0", "3[0.5]"};
  return forms[lcg.below(10)];
}

// The settings text: a padding comment, 256 @set records, 256 @evt records,
// exactly kFileBytes bytes; empty when the records do not fit.
std::string settingsText() {
  bench::Lcg lcg(4242);
  const FieldType* layout = setLayout();
  std::string records = "@set\r\n";
  for (int r = 0; r < kRecords; ++r) {
    std::string line;
    for (int f = 0; f < 46; ++f) {
      if (f > 0) line += ", ";
      switch (layout[f]) {
        case kInt:
          line += std::to_string(f == 0 ? r : lcg.below(300) - 20);
          break;
        case kLetter:
          line += "gtscl"[r % 5];
          break;
        case kFloatPair:
          line += floatPair(lcg);
          break;
        case kIntPair:
          line += std::to_string(lcg.below(256)) + "[" + std::to_string(lcg.below(4)) + "]";
          break;
        case kText:
          line += "\"10100\"";
          break;
      }
    }
    records += line + "\r\n";
  }
  records += "@evt\r\n";
  for (int r = 0; r < kRecords; ++r) {
    records += std::to_string(r * 3) + ", 0, " + std::to_string(r) + ", " + std::to_string(r % 3) + "\r\n";
  }
  records += "@\r\n";
  std::string head = "#parse benchmark ";
  if (head.size() + 2 + records.size() > kFileBytes) {
    std::fprintf(stderr, "the records take %zu bytes, more than the file holds\n", records.size());
    return std::string();
  }
  head.append(kFileBytes - records.size() - 2 - head.size(), 'x');
  return head + "\r\n" + records;
}

// Skips the blanks and commas between fields.
const char* skipSeparators(const char* p) {
  while (*p == ' ' || *p == ',' || *p == '\t') ++p;
  return p;
}

const char* skipLine(const char* p) {
  while (*p != 0 && *p != '\n') ++p;
  return *p == '\n' ? p + 1 : p;
}

// Converts every field of the text's records with strtol and strtod; returns a
// sum of what was read, so that nothing is left out.
double convertPlainly(const char* text) {
  const FieldType* layout = setLayout();
  double sum = 0.0;
  const char* p = text;
  int block = 0;  // 1 in @set, 2 in @evt
  char* end = nullptr;
  while (*p != 0) {
    if (*p == '#' || *p == '\r' || *p == '\n') {
      p = skipLine(p);
      continue;
    }
    if (*p == '@') {
      block = std::strncmp(p, "@set", 4) == 0 ? 1 : std::strncmp(p, "@evt", 4) == 0 ? 2 : 0;
      p = skipLine(p);
      continue;
    }
    if (block == 1) {
      for (int f = 0; f < 46; ++f) {
        p = skipSeparators(p);
        switch (layout[f]) {
          case kInt:
            sum += double(std::strtol(p, &end, 10));
            p = end;
            break;
          case kLetter:
            ++p;
            break;
          case kFloatPair:
          case kIntPair:
            sum += layout[f] == kFloatPair ? std::strtod(p, &end) : double(std::strtol(p, &end, 10));
            p = end;
            if (*p == '[') {
              sum += layout[f] == kFloatPair ? std::strtod(p + 1, &end) : double(std::strtol(p + 1, &end, 10));
              p = end + 1;  // the ']'
            }
            break;
          case kText:
            p = std::strchr(p + 1, '"') + 1;
            break;
        }
      }
    } else if (block == 2) {
      for (int f = 0; f < 4; ++f) {
        p = skipSeparators(p);
        sum += double(std::strtol(p, &end, 10));
        p = end;
      }
    }
    p = skipLine(p);
  }
  return sum;
}

void BM_Parse(benchmark::State& state) {
  std::string text = settingsText();
  bool ready = text.size() == kFileBytes && allocateSceneTables();
  if (ready) {
    std::memcpy(textBuffer, text.c_str(), text.size() + 1);
    ready = parseSettingsText() == 1 && scene.eventCount == kRecords && scene.defs[255].kind != 0 &&
            convertPlainly(text.c_str()) != 0.0;
  }
  if (!ready) {
    state.SkipWithError("the settings text did not parse");
  } else {
    double sink = 0.0;
    int failures = 0;
    bench::SameRunTimer timer;
    timer.add("ours", [&] {
      if (parseSettingsText() != 1) ++failures;
    });
    timer.add("strtod", [&] { sink += convertPlainly(textBuffer); });
    for (auto _ : state) {
      scene.eventCount = 0;  // each parse fills the event table afresh
      state.SetIterationTime(timer.round());
    }
    if (failures != 0) state.SkipWithError("a parse failed");
    timer.reportRatio(state, "vs_strtod", "strtod");
    benchmark::DoNotOptimize(sink);
  }
  releaseSceneTables();
}

}  // namespace

BENCHMARK(BM_Parse)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
