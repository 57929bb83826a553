// The field readers on their documented examples, long fields and odd input.
// Every reader consumes its field up to the comma, CR, LF or NUL that ends it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "config/field_readers.h"

namespace {

TEST(SkipBlanks, StopsAtLineEndsUnlessAskedToSkipThem) {
  EXPECT_EQ(skipBlanks(" , \t,x"), 5);
  EXPECT_EQ(skipBlanks("\r\nx"), 0);
  EXPECT_EQ(skipBlanksAndLines("\r\nx"), 2);
  EXPECT_EQ(skipBlanksAndLines(" ,\r\n\t\n,@"), 7);
  EXPECT_EQ(skipBlanks(""), 0);
  EXPECT_EQ(skipBlanksAndLines(""), 0);
}

TEST(ReadInt, ReadsTheLeadingNumberOfItsField) {
  const struct {
    const char* input;
    int consumed, value;
  } rows[] = {
      {"12abc,7", 5, 12},
      {" -3 ,", 4, -3},
      {",7", 0, 0},
      {"5[3]", 4, 5},
      {"1 2\r\n", 3, 1},  // blanks do not separate fields
      {"+8", 2, 8},
      {"42\rx", 2, 42},
      {"42\nx", 2, 42},
      {"", 0, 0},
      {"\"7\"", 3, 0},  // a quote is no field end for numbers
      {"99999999999", 11, 2147483647},  // out of range saturates
      {"-99999999999999999999999", 24, -2147483647 - 1},
      {"-2147483648", 11, -2147483647 - 1},
      {"2147483647", 10, 2147483647},
  };
  for (const auto& row : rows) {
    int v = -99;
    EXPECT_EQ(readInt(row.input, &v), row.consumed) << row.input;
    EXPECT_EQ(v, row.value) << row.input;
  }
}

TEST(ReadFloat, ReadsOnlyTheDecimalFormRoundedLikeTheHardware) {
  const struct {
    const char* input;
    int consumed;
    float value;
  } rows[] = {
      {"2.5e1\r\n", 5, 25.0f},
      {"-.5", 3, -0.5f},
      {"  3.", 4, 3.0f},
      {"1e", 2, 1.0f},  // an exponent without digits is not part of the number
      {"0.1", 3, (float)0.1},  // rounded from double precision
      {"abc", 3, 0.0f},
      {"inf", 3, 0.0f},
      {"nan", 3, 0.0f},
      {"0x10", 4, 0.0f},
      {"3.4028234e38", 12, 3.4028234663852886e38f},
      {"1e-50", 5, 0.0f},
      {"1e39", 4, INFINITY},
      {"-1e400", 6, -INFINITY},
  };
  for (const auto& row : rows) {
    float f = -1;
    EXPECT_EQ(readFloat(row.input, &f), row.consumed) << row.input;
    EXPECT_EQ(f, row.value) << row.input;
  }
}

TEST(ReadPairs, ReadTheValueAndTheBracketedSecond) {
  const struct {
    const char* input;
    int consumed;
    float value, second;
  } floats[] = {{"0.5[0.1],", 8, 0.5f, (float)0.1}, {"0.5", 3, 0.5f, 0.0f}, {"1.5[0.25]", 9, 1.5f, 0.25f}};
  for (const auto& row : floats) {
    float a = -1, b = -1;
    EXPECT_EQ(readFloatPair(row.input, &a, &b), row.consumed) << row.input;
    EXPECT_EQ(a, row.value) << row.input;
    EXPECT_EQ(b, row.second) << row.input;
  }
  const struct {
    const char* input;
    int consumed, value, second;
  } ints[] = {{"[2]", 3, 0, 2}, {"1[2]3", 5, 1, 23}, {"1[2[3]", 6, 1, 2}, {"-1\r\n", 2, -1, 0}};
  for (const auto& row : ints) {
    int i = -1, j = -1;
    EXPECT_EQ(readIntPair(row.input, &i, &j), row.consumed) << row.input;
    EXPECT_EQ(i, row.value) << row.input;
    EXPECT_EQ(j, row.second) << row.input;
  }
}

TEST(LongFields, AreConsumedWholeAndCutToTheirFirstBytes) {
  std::string digits(300, '7');
  int v;
  EXPECT_EQ(readInt((digits + ",1").c_str(), &v), 300);
  EXPECT_EQ(v, 2147483647);
  // 255 zeros then a 9: the 9 is past the kept bytes.
  std::string zeros = std::string(255, '0') + "9";
  EXPECT_EQ(readInt(zeros.c_str(), &v), 256);
  EXPECT_EQ(v, 0);
  float a, b;
  std::string pair = "1" + std::string(299, ' ') + "[" + std::string(254, '0') + "5" + "6" + "]";
  EXPECT_EQ(readFloatPair(pair.c_str(), &a, &b), int(pair.size()));
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(b, 5.0f);  // the bracket part keeps 255 bytes: 254 zeros and the 5
  WCHAR text[256];
  std::string name = "\"" + std::string(400, 'a') + "\",x";
  EXPECT_EQ(readText(name.c_str(), text), 402);
  EXPECT_EQ(std::u16string(text), std::u16string(255, u'a'));
}

TEST(ReadText, QuotesLineBreakPairsAndFieldEnds) {
  const struct {
    const char* input;
    int consumed;
    const char16_t* text;
  } rows[] = {
      {"\"Hello\"", 7, u"Hello"},
      {"Hello,", 5, u"Hello"},
      {"\"\"", 2, u""},
      {"\"a,b\"", 2, u"a"},  // stops at the comma
      {"Good@@night", 11, u"Good\r\nnight"},
      {"", 0, u""},
      {"a@@@b", 5, u"a\r\n@b"},  // line-break pairs never overlap
      {"@@@@", 4, u"\r\n\r\n"},
      {"@", 1, u"@"},
      {"\"ab\"cd,", 4, u"ab"},  // after a closing quote the rest is the next field
      {"ab\"cd", 3, u"ab"},  // a quote ends an unquoted text too
      {"\x80\xff\x82", 3, u"\uFFFD\uFFFD\uFFFD"},  // invalid bytes stay as replacements
  };
  for (const auto& row : rows) {
    WCHAR text[256];
    text[0] = u'#';
    EXPECT_EQ(readText(row.input, text), row.consumed) << row.input;
    EXPECT_EQ(std::u16string(text), row.text) << row.input;
  }
}

TEST(ReadText, ShiftJisConvertsToOneUnitPerCharacter) {
  WCHAR text[256];
  for (WCHAR& c : text) c = u'#';
  // おはよう, then a character whose second byte is '@' (0x81 0x40, the
  // ideographic space) directly before a real '@'.
  EXPECT_EQ(readText("\"\x82\xa8\x82\xcd\x82\xe6\x82\xa4\x81\x40@x\"", text), 14);
  EXPECT_EQ(std::u16string(text), u"おはよう\u3000@x");
  EXPECT_EQ(text[7], 0);
  EXPECT_EQ(text[8], u'#');  // terminated right after the text
  // 254 bytes of ASCII and a lead byte cut off at the 255-byte limit.
  std::string cut = std::string(254, 'a') + "\x82\xa0";
  EXPECT_EQ(readText(cut.c_str(), text), 256);
  EXPECT_EQ(std::u16string(text), std::u16string(254, u'a') + u"\uFFFD");
}

}  // namespace
