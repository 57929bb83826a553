// MultiByteToWideChar on the host: the device's ANSI code page (CP932, through
// glibc iconv in text_encoding.cpp) and UTF-8.
//
// The whole input is converted into a host buffer first; the caller's output
// is written only when all of it fits, so nothing is ever written past
// wideCount units. A byte sequence that is no character becomes U+FFFD (or,
// with MB_ERR_INVALID_CHARS, fails the call); it never stops the conversion.
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/host/common/text_encoding.h"
#include "platform/runtime.h"

namespace {

const char16_t kReplacement = 0xFFFD;
const UINT kShiftJisCodePage = 932;

// Decodes the UTF-8 sequence starting at text[i] (count bytes in all) into *c;
// returns its length, or 0 when it is malformed, overlong, a surrogate or
// beyond U+10FFFF.
size_t decodeUtf8(const unsigned char* text, size_t i, size_t count, char32_t* c) {
  unsigned char b = text[i];
  size_t length;
  char32_t value;
  char32_t minimum;
  if (b < 0x80) {
    *c = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2, value = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3, value = b & 0x0F, minimum = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, value = b & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (count - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((text[i + k] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (text[i + k] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *c = value;
  return length;
}

// UTF-8 bytes to UTF-16; each malformed byte becomes one U+FFFD and sets *invalid.
std::u16string utf8ToWide(const char* bytes, size_t count, bool* invalid) {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
  std::u16string out;
  out.reserve(count);
  size_t i = 0;
  while (i < count) {
    char32_t c;
    size_t length = decodeUtf8(text, i, count, &c);
    if (length == 0) {
      out += kReplacement;
      *invalid = true;
      ++i;
      continue;
    }
    i += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return out;
}

// CP932 bytes to UTF-16; no character of the code page maps to U+FFFD, so a
// replacement unit in the result marks an invalid byte.
std::u16string cp932ToWide(const char* bytes, size_t count, bool* invalid) {
  std::u16string out = host::cp932ToUtf16(bytes, count);
  if (out.find(kReplacement) != std::u16string::npos) *invalid = true;
  return out;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount, LPWSTR wide,
                        int wideCount) {
  if (multiByte == nullptr || multiByteCount == 0 || multiByteCount < -1 || wideCount < 0 ||
      (wideCount > 0 && wide == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  bool isUtf8 = codePage == CP_UTF8;
  if (!isUtf8 && codePage != CP_ACP && codePage != kShiftJisCodePage) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD allowed = isUtf8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
  if ((flags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t count = multiByteCount == -1 ? std::strlen(multiByte) + 1 : size_t(multiByteCount);
  bool invalid = false;
  std::u16string converted =
      isUtf8 ? utf8ToWide(multiByte, count, &invalid) : cp932ToWide(multiByte, count, &invalid);
  if (invalid && (flags & MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (converted.size() > size_t(0x7FFFFFFF)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int units = int(converted.size());
  if (wideCount == 0) return units;
  if (units > wideCount) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(wide, converted.data(), size_t(units) * sizeof(WCHAR));
  return units;
}
