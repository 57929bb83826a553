// Conversions between the platform's texts and the host's: UTF-16 (the
// platform's wide text), the device's ANSI code page Shift-JIS as CP932, and
// UTF-8 (Linux paths and the console).
#pragma once

#include <cstddef>
#include <string>

#include "platform/types.h"

namespace host {

// U+FFFD, what every conversion puts for a unit or byte that is no character.
constexpr char16_t kReplacement = 0xFFFD;

// Length in units of a NUL-terminated UTF-16 text.
size_t wideLength(const WCHAR* text);

// The character at text[*i] of a UTF-16 text of count units, moving *i past
// it: a surrogate pair is one character, an unpaired surrogate is U+FFFD.
char32_t nextCodePoint(const WCHAR* text, size_t count, size_t* i);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const WCHAR* text, size_t count);
std::string utf16ToUtf8(const WCHAR* text);

// UTF-8 to UTF-16. A byte that starts no well-formed sequence (malformed,
// overlong, a surrogate or beyond U+10FFFF) becomes one U+FFFD and sets
// *invalid when it is given; the bytes after it are read on.
std::u16string utf8ToUtf16(const char* bytes, size_t count, bool* invalid = nullptr);
std::u16string utf8ToUtf16(const std::string& text);

// CP932 bytes to UTF-16 through glibc iconv: a one-byte or two-byte character
// becomes one unit, a byte that starts no character becomes U+FFFD. Never more
// units than bytes.
std::u16string cp932ToUtf16(const char* bytes, size_t count);

// CP932 bytes to UTF-8, for the debug console.
std::string cp932ToUtf8(const char* bytes, size_t count);

}  // namespace host
