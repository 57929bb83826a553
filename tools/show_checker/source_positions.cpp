// Positions in the text the parser saw (see source_positions.h).
#include "tools/show_checker/source_positions.h"

#include <algorithm>
#include <cstring>

#include "config/settings_loader.h"
#include "platform/host/common/text_encoding.h"

// Makes the line index of textBuffer, once.
static void indexLines(SourceLines& lines) {
  if (!lines.starts.empty()) return;
  lines.starts.push_back(0);
  for (size_t i = 0; textBuffer[i] != 0; ++i) {
    if (textBuffer[i] == '\r') {
      if (textBuffer[i + 1] == '\n') ++i;
      lines.starts.push_back(i + 1);
    } else if (textBuffer[i] == '\n') {
      lines.starts.push_back(i + 1);
    }
  }
}

int lineOf(SourceLines& lines, size_t offset) {
  indexLines(lines);
  return int(std::upper_bound(lines.starts.begin(), lines.starts.end(), offset) - lines.starts.begin());
}

int columnOf(SourceLines& lines, size_t offset) {
  return int(offset - lines.starts[size_t(lineOf(lines, offset) - 1)]) + 1;
}

std::string lineLabel(SourceLines& lines, size_t offset) { return "line " + std::to_string(lineOf(lines, offset)); }

char textAt(size_t offset) { return textBuffer[offset]; }
bool isLineEnd(char c) { return c == '\r' || c == '\n' || c == 0; }
bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || isLineEnd(c); }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

std::string lowerAscii(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return s;
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, strlen(prefix), prefix) == 0; }

// Tells whether byte c begins a two-byte character of the device's code page.
static bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The bytes of the character at offset: 2 for a lead byte before anything but a line end.
static size_t characterBytes(size_t offset) {
  return (isLeadByte((unsigned char)textAt(offset)) && !isLineEnd(textAt(offset + 1))) ? 2 : 1;
}

std::string wordAt(size_t offset) {
  size_t end = offset;
  while (!isSeparator(textAt(end))) end += characterBytes(end);
  return host::cp932ToUtf8(textBuffer + offset, end - offset);
}

std::string snippetAt(size_t offset) {
  size_t end = offset;
  while (!isLineEnd(textAt(end)) && end - offset < 40) end += characterBytes(end);
  std::string out = host::cp932ToUtf8(textBuffer + offset, end - offset);
  if (!isLineEnd(textAt(end))) out += "...";
  return out;
}

bool lineEndBetween(size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (textAt(i) == '\r' || textAt(i) == '\n') return true;
  }
  return false;
}

std::string utf8(const WCHAR* text) { return text == nullptr ? std::string() : host::utf16ToUtf8(text); }

std::string plainHostPath(const WCHAR* devicePath) {
  std::string path = utf8(devicePath);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
