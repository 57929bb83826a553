// The findings of the show checker and their forms (see findings.h). A text
// line names the file, and the line and column when there is one; a JSON line
// escapes quotes, backslashes and control bytes and passes UTF-8 through.
#include "tools/show_checker/findings.h"

#include <algorithm>

std::vector<CheckFinding> placeFindings(std::vector<PendingFinding>& pending, SourceLines& lines) {
  std::stable_sort(pending.begin(), pending.end(),
                   [](const PendingFinding& a, const PendingFinding& b) { return a.offset < b.offset; });
  std::vector<CheckFinding> out;
  for (const PendingFinding& p : pending) {
    CheckFinding f{0, 0, p.severity, p.code, p.message};
    if (p.offset != kNoOffset) {
      f.line = lineOf(lines, p.offset);
      f.column = columnOf(lines, p.offset);
    }
    out.push_back(f);
  }
  return out;
}

const char* severityName(FindingSeverity severity) {
  switch (severity) {
    case FindingSeverity::Note: return "note";
    case FindingSeverity::Warning: return "warning";
    case FindingSeverity::Error: return "error";
  }
  return "";
}

// Writes s as a JSON string.
static void writeJsonString(FILE* out, const std::string& s) {
  std::fputc('"', out);
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      std::fputc('\\', out);
      std::fputc(c, out);
    } else if (c < 0x20) {
      std::fprintf(out, "\\u%04x", c);
    } else {
      std::fputc(c, out);
    }
  }
  std::fputc('"', out);
}

// Writes finding f of file as one JSON object on a line.
static void writeJsonFinding(FILE* out, const std::string& file, const CheckFinding& f) {
  std::fputs("{\"file\":", out);
  writeJsonString(out, file);
  std::fprintf(out, ",\"line\":%d,\"column\":%d,\"severity\":\"%s\",\"code\":", f.line, f.column,
               severityName(f.severity));
  writeJsonString(out, f.code);
  std::fputs(",\"message\":", out);
  writeJsonString(out, f.message);
  std::fputs("}\n", out);
}

void writeFinding(FILE* out, const std::string& file, const CheckFinding& f, bool json) {
  if (json) {
    writeJsonFinding(out, file, f);
  } else if (f.line > 0) {
    std::fprintf(out, "%s:%d:%d: %s: %s [%s]\n", file.c_str(), f.line, f.column, severityName(f.severity),
                 f.message.c_str(), f.code.c_str());
  } else {
    std::fprintf(out, "%s: %s: %s [%s]\n", file.c_str(), severityName(f.severity), f.message.c_str(),
                 f.code.c_str());
  }
}
