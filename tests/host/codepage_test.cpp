// MultiByteToWideChar: Shift-JIS (CP932) as the ANSI code page, and UTF-8.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/runtime.h"

namespace {

// Converts count bytes (-1: NUL-terminated) with room for 64 units; the units
// written, as a string.
std::u16string convert(UINT codePage, const char* bytes, int count, DWORD flags = 0) {
  WCHAR out[64];
  int n = MultiByteToWideChar(codePage, flags, bytes, count, out, 64);
  return std::u16string(out, size_t(n > 0 ? n : 0));
}

TEST(CodePages, ConvertOneUnitPerCharacterAndReplaceInvalidBytes) {
  const struct {
    UINT codePage;
    const char* bytes;
    int count;
    std::u16string units;
    const char* what;
  } rows[] = {
      {CP_ACP, "\x82\xa0\x82\xa2\x82\xa4\xb1z", 8, u"あいうｱz", "Shift-JIS, half-width katakana, ASCII"},
      {932, "\x82\xa0\x82\xa2\x82\xa4\xb1z", 8, u"あいうｱz", "932 is the ANSI code page"},
      {CP_ACP, "a\\b", 3, u"a\\b", "0x5C stays the backslash of paths"},
      {CP_ACP, "\x83\x5c\x81\x40", 4, u"ソ\u3000", "0x5C and '@' as trail bytes"},
      {CP_ACP, "\x82\xa0x", -1, std::u16string(u"あx\0", 3), "a NUL-terminated count includes the NUL"},
      {CP_ACP, "a\x82", 2, u"a\uFFFD", "a lead byte cut off at the end"},
      {CP_ACP, "\x80x", 2, u"\uFFFDx", "an undefined byte"},
      {CP_ACP, "\x82\x20y", 3, u"\uFFFD y", "a lead byte with a bad trail: the trail is read again"},
      {CP_UTF8, "\xe3\x81\x82z", 4, u"あz", "UTF-8"},
      {CP_UTF8, "\xf0\x9f\x98\x80", 4, u"\U0001F600", "UTF-8 to a surrogate pair"},
      {CP_UTF8, "\xc0\xaf", 2, u"\uFFFD\uFFFD", "overlong UTF-8"},
      {CP_UTF8, "\xed\xa0\x80", 3, u"\uFFFD\uFFFD\uFFFD", "an encoded surrogate"},
      {CP_UTF8, "\xf4\x90\x80\x80", 4, u"\uFFFD\uFFFD\uFFFD\uFFFD", "past U+10FFFF"},
      {CP_UTF8, "a\xe3\x81", 3, u"a\uFFFD\uFFFD", "a cut UTF-8 sequence"},
  };
  for (const auto& row : rows) EXPECT_EQ(convert(row.codePage, row.bytes, row.count), row.units) << row.what;
}

TEST(CodePages, InvalidInputFailsWhenAskedTo) {
  WCHAR out[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\x82", 2, out, 4), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xc0\xaf", 2, out, 4), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);
  // A real U+FFFD is valid input.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xef\xbf\xbd", 3, out, 4), 1);
  EXPECT_EQ(out[0], 0xFFFD);
}

TEST(CodePageAnsi, RandomBytesNeverWritePastTheOutput) {
  srand(7);
  for (int round = 0; round < 200; ++round) {
    char bytes[40];
    int count = 1 + rand() % 40;
    for (int i = 0; i < count; ++i) bytes[i] = char(rand() & 0xFF);
    WCHAR out[42];
    for (WCHAR& c : out) c = u'#';
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, count, out, 40);
    ASSERT_GE(n, 1);
    ASSERT_LE(n, count);
    EXPECT_EQ(out[40], u'#');
    EXPECT_EQ(out[41], u'#');
  }
}

TEST(CodePageSizes, CountOnlyAndOutputTooSmall) {
  const char text[] = "\x82\xa0\x82\xa2\x82\xa4";
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, 6, nullptr, 0), 3);
  WCHAR out[4] = {u'#', u'#', u'#', u'#'};
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, 6, out, 2), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(out[2], u'#');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, 6, out, 3), 3);
  EXPECT_EQ(out[3], u'#');
}

TEST(CodePageSizes, BadArgumentsFail) {
  WCHAR out[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", 0, out, 4), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, out, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -2, out, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", 1, out, -1), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, out, 4), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, out, 4), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FLAGS);
}

}  // namespace
