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
      {CP_UTF8, "\xef\xbf\xbd", 3, u"\uFFFD", "a real U+FFFD"},
      {CP_UTF8, "\xc0\xaf", 2, u"\uFFFD\uFFFD", "overlong UTF-8"},
      {CP_UTF8, "\xed\xa0\x80", 3, u"\uFFFD\uFFFD\uFFFD", "an encoded surrogate"},
      {CP_UTF8, "\xf4\x90\x80\x80", 4, u"\uFFFD\uFFFD\uFFFD\uFFFD", "past U+10FFFF"},
      {CP_UTF8, "a\xe3\x81", 3, u"a\uFFFD\uFFFD", "a cut UTF-8 sequence"},
  };
  for (const auto& row : rows) EXPECT_EQ(convert(row.codePage, row.bytes, row.count), row.units) << row.what;
}

TEST(CodePageAnsi, RandomBytesNeverWritePastTheOutput) {
  srand(7);
  for (int round = 0; round < 200; ++round) {
    char bytes[40];
    int count = 1 + rand() % 40;
    for (int i = 0; i < count; ++i) bytes[i] = char(rand() & 0xFF);
    WCHAR out[42];
    out[40] = out[41] = u'#';
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, count, out, 40);
    ASSERT_GE(n, 1);
    ASSERT_LE(n, count);
    EXPECT_EQ(std::u16string(out + 40, 2), u"##");
  }
}

// Calls that fail or only count: what they return, the error they leave, and
// that they write nothing on failure nor past the room they are given.
TEST(CodePages, FailuresCountsAndShortOutputs) {
  const char* kana = "\x82\xa0\x82\xa2\x82\xa4";  // three characters
  const struct {
    UINT codePage, flags;
    const char* bytes;
    int count, room, result;
    DWORD error;
    const char* what;
  } rows[] = {
      {CP_ACP, MB_ERR_INVALID_CHARS, "a\x82", 2, 4, 0, ERROR_NO_UNICODE_TRANSLATION, "a cut lead byte, asked to fail"},
      {CP_UTF8, MB_ERR_INVALID_CHARS, "\xc0\xaf", 2, 4, 0, ERROR_NO_UNICODE_TRANSLATION, "overlong UTF-8, asked to fail"},
      {CP_UTF8, MB_ERR_INVALID_CHARS, "\xef\xbf\xbd", 3, 4, 1, 0, "a real U+FFFD is valid input"},
      {CP_ACP, 0, kana, 6, 0, 3, 0, "no room: the count only"},
      {CP_ACP, 0, kana, 6, 2, 0, ERROR_INSUFFICIENT_BUFFER, "too little room"},
      {CP_ACP, 0, kana, 6, 3, 3, 0, "just enough room"},
      {CP_ACP, 0, "a", 0, 4, 0, ERROR_INVALID_PARAMETER, "no bytes"},
      {CP_ACP, 0, nullptr, 3, 4, 0, ERROR_INVALID_PARAMETER, "no input"},
      {CP_ACP, 0, "a", -2, 4, 0, ERROR_INVALID_PARAMETER, "a count below -1"},
      {CP_ACP, 0, "a", 1, -1, 0, ERROR_INVALID_PARAMETER, "negative room"},
      {1252, 0, "a", 1, 4, 0, ERROR_INVALID_PARAMETER, "a code page of neither kind"},
      {CP_UTF8, MB_PRECOMPOSED, "a", 1, 4, 0, ERROR_INVALID_FLAGS, "a flag UTF-8 does not take"},
  };
  for (const auto& row : rows) {
    WCHAR out[5] = {u'#', u'#', u'#', u'#', u'#'};
    SetLastError(0);
    WCHAR* to = row.room == 0 ? nullptr : out;
    EXPECT_EQ(MultiByteToWideChar(row.codePage, row.flags, row.bytes, row.count, to, row.room), row.result) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
    for (int i = row.room > 0 ? row.result : 0; i < 5; ++i) EXPECT_EQ(out[i], u'#') << row.what << ", unit " << i;
  }
}

}  // namespace
