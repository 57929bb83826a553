// Positions in the text the parser saw: byte offsets into textBuffer, the
// lines they fall on, and the words, snippets and paths an author is shown.
//
// An offset is never past the text's terminating NUL; every scan here stops at
// a line end or the NUL, and steps over a two-byte character of the device's
// code page whole, so a snippet never splits one. Text is shown as UTF-8.
// Dependencies: config (textBuffer), the host's code-page conversion.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/types.h"

// An offset that stands for no place: a finding about the whole file.
constexpr size_t kNoOffset = size_t(-1);

// The offset of every line start of textBuffer (CR LF, CR and LF end a line),
// made on first use: the text does not change while a check runs.
struct SourceLines {
  std::vector<size_t> starts;
};

// The 1-based line of offset.
int lineOf(SourceLines& lines, size_t offset);
// The 1-based column of offset in its line, in bytes.
int columnOf(SourceLines& lines, size_t offset);
// "line N" for offset.
std::string lineLabel(SourceLines& lines, size_t offset);

char textAt(size_t offset);
bool isLineEnd(char c);
// A blank, a comma or a line end: what ends a word.
bool isSeparator(char c);
bool isLetter(char c);
std::string lowerAscii(std::string s);
bool startsWith(const std::string& s, const char* prefix);

// The bytes at offset up to the next separator, as UTF-8.
std::string wordAt(size_t offset);
// Up to 40 bytes of the line from offset, whole characters, as UTF-8, with
// "..." when the line goes on.
std::string snippetAt(size_t offset);
// Tells whether a CR or LF stands in [from, to).
bool lineEndBetween(size_t from, size_t to);

// A device text as UTF-8; empty for null.
std::string utf8(const WCHAR* text);
// A device path as the host spells it before any case-insensitive lookup.
std::string plainHostPath(const WCHAR* devicePath);
