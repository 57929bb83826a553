// Text conversions (see text_encoding.h).
//
// Invariant: this file holds the host's one UTF-8 decoder and its one rule for
// surrogates; every other conversion of the host (MultiByteToWideChar, the
// text layout, paths, titles) calls them. CP932, not SHIFT_JIS: glibc's
// SHIFT_JIS maps 0x5C to the yen sign and refuses the NEC and IBM extensions
// that the device's code page has.
#include "platform/host/common/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace host {
namespace {

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

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

// One iconv descriptor per thread: opening one costs far more than a conversion.
struct Cp932Converter {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  ~Cp932Converter() {
    if (cd != iconv_t(-1)) iconv_close(cd);
  }
};

}  // namespace

size_t wideLength(const WCHAR* text) {
  size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  return n;
}

char32_t nextCodePoint(const WCHAR* text, size_t count, size_t* i) {
  char32_t c = text[(*i)++];
  if (c >= 0xD800 && c <= 0xDBFF && *i < count && text[*i] >= 0xDC00 && text[*i] <= 0xDFFF) {
    return 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[(*i)++]) - 0xDC00);
  }
  return (c >= 0xD800 && c <= 0xDFFF) ? kReplacement : c;
}

std::string utf16ToUtf8(const WCHAR* text, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count;) appendUtf8(out, nextCodePoint(text, count, &i));
  return out;
}

std::string utf16ToUtf8(const WCHAR* text) { return utf16ToUtf8(text, wideLength(text)); }

std::u16string utf8ToUtf16(const char* bytes, size_t count, bool* invalid) {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
  std::u16string out;
  out.reserve(count);
  size_t i = 0;
  while (i < count) {
    char32_t c;
    size_t length = decodeUtf8(text, i, count, &c);
    if (length == 0) {
      out += kReplacement;
      if (invalid != nullptr) *invalid = true;
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

std::u16string utf8ToUtf16(const std::string& text) { return utf8ToUtf16(text.data(), text.size()); }

std::u16string cp932ToUtf16(const char* bytes, size_t count) {
  static thread_local Cp932Converter converter;
  std::u16string out;
  if (count == 0 || bytes == nullptr) return out;
  out.resize(count);  // one unit per byte at most
  size_t produced = 0;
  if (converter.cd == iconv_t(-1)) {
    // No converter: keep the ASCII bytes and mark the rest, one unit each.
    for (size_t i = 0; i < count; ++i) {
      unsigned char b = (unsigned char)bytes[i];
      out[produced++] = b < 0x80 ? char16_t(b) : kReplacement;
    }
    out.resize(produced);
    return out;
  }
  iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes);
  size_t inLeft = count;
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(&out[produced]);
    size_t outLeft = (count - produced) * 2;
    size_t before = outLeft;
    size_t result = iconv(converter.cd, &in, &inLeft, &outPtr, &outLeft);
    produced += (before - outLeft) / 2;
    if (result != size_t(-1)) break;
    if (errno == EILSEQ || errno == EINVAL) {
      // A byte that starts no character (or a lead byte cut off at the end):
      // one replacement unit, and go on after it.
      if (produced < count) out[produced++] = kReplacement;
      ++in;
      --inLeft;
      iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    break;  // E2BIG cannot happen with one unit per byte; stop safely if it does
  }
  out.resize(produced);
  return out;
}

std::string cp932ToUtf8(const char* bytes, size_t count) {
  std::u16string wide = cp932ToUtf16(bytes, count);
  return utf16ToUtf8(wide.data(), wide.size());
}

}  // namespace host
