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

const UINT kShiftJisCodePage = 932;

// CP932 bytes to UTF-16; no character of the code page maps to U+FFFD, so a
// replacement unit in the result marks an invalid byte.
std::u16string cp932ToWide(const char* bytes, size_t count, bool* invalid) {
  std::u16string out = host::cp932ToUtf16(bytes, count);
  if (out.find(host::kReplacement) != std::u16string::npos) *invalid = true;
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
      isUtf8 ? host::utf8ToUtf16(multiByte, count, &invalid) : cp932ToWide(multiByte, count, &invalid);
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
