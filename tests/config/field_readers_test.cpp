// The field readers on their documented examples, long fields and odd input.
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

TEST(ReadInt, DocumentedExamples) {
  int v = -99;
  EXPECT_EQ(readInt("12abc,7", &v), 5);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(readInt(" -3 ,", &v), 4);
  EXPECT_EQ(v, -3);
  v = -99;
  EXPECT_EQ(readInt(",7", &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(readInt("5[3]", &v), 4);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(readInt("1 2\r\n", &v), 3);  // blanks do not separate fields
  EXPECT_EQ(v, 1);
  EXPECT_EQ(readInt("+8", &v), 2);
  EXPECT_EQ(v, 8);
}

TEST(ReadInt, StopsAtEveryFieldEndAndNeverPassesTheNul) {
  int v;
  EXPECT_EQ(readInt("42\rx", &v), 2);
  EXPECT_EQ(readInt("42\nx", &v), 2);
  EXPECT_EQ(readInt("", &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(readInt("\"7\"", &v), 3);  // a quote is no field end for numbers
  EXPECT_EQ(v, 0);
}

TEST(ReadInt, OutOfRangeSaturates) {
  int v;
  readInt("99999999999", &v);
  EXPECT_EQ(v, 2147483647);
  readInt("-99999999999999999999999", &v);
  EXPECT_EQ(v, -2147483647 - 1);
  readInt("-2147483648", &v);
  EXPECT_EQ(v, -2147483647 - 1);
  readInt("2147483647", &v);
  EXPECT_EQ(v, 2147483647);
}

TEST(ReadFloat, DocumentedExamplesAndForms) {
  float f = -1;
  EXPECT_EQ(readFloat("2.5e1\r\n", &f), 5);
  EXPECT_EQ(f, 25.0f);
  readFloat("-.5", &f);
  EXPECT_EQ(f, -0.5f);
  readFloat("  3.", &f);
  EXPECT_EQ(f, 3.0f);
  readFloat("1e", &f);  // an exponent without digits is not part of the number
  EXPECT_EQ(f, 1.0f);
  readFloat("0.1", &f);
  EXPECT_EQ(f, (float)0.1);  // rounded from double precision
  readFloat("abc", &f);
  EXPECT_EQ(f, 0.0f);
}

TEST(ReadFloat, OnlyTheDecimalFormIsANumber) {
  float f = -1;
  readFloat("inf", &f);
  EXPECT_EQ(f, 0.0f);
  readFloat("nan", &f);
  EXPECT_EQ(f, 0.0f);
  readFloat("0x10", &f);
  EXPECT_EQ(f, 0.0f);
}

TEST(ReadFloat, HugeValuesRoundLikeTheHardware) {
  float f = 0;
  readFloat("1e39", &f);
  EXPECT_TRUE(std::isinf(f) && f > 0);
  readFloat("-1e400", &f);
  EXPECT_TRUE(std::isinf(f) && f < 0);
  readFloat("3.4028234e38", &f);
  EXPECT_EQ(f, 3.4028234663852886e38f);
  readFloat("1e-50", &f);
  EXPECT_EQ(f, 0.0f);
}

TEST(ReadPairs, DocumentedExamples) {
  float a = -1, b = -1;
  EXPECT_EQ(readFloatPair("0.5[0.1],", &a, &b), 8);
  EXPECT_EQ(a, 0.5f);
  EXPECT_EQ(b, (float)0.1);
  EXPECT_EQ(readFloatPair("0.5", &a, &b), 3);
  EXPECT_EQ(a, 0.5f);
  EXPECT_EQ(b, 0.0f);
  readFloatPair("1.5[0.25]", &a, &b);
  EXPECT_EQ(a, 1.5f);
  EXPECT_EQ(b, 0.25f);
  int i = -1, j = -1;
  EXPECT_EQ(readIntPair("[2]", &i, &j), 3);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(j, 2);
  readIntPair("1[2]3", &i, &j);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(j, 23);
  readIntPair("1[2[3]", &i, &j);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(j, 2);
  EXPECT_EQ(readIntPair("-1\r\n", &i, &j), 2);
  EXPECT_EQ(i, -1);
  EXPECT_EQ(j, 0);
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

TEST(ReadText, DocumentedExamples) {
  WCHAR text[256];
  EXPECT_EQ(readText("\"Hello\"", text), 7);
  EXPECT_EQ(std::u16string(text), u"Hello");
  EXPECT_EQ(readText("Hello,", text), 5);
  EXPECT_EQ(std::u16string(text), u"Hello");
  EXPECT_EQ(readText("\"\"", text), 2);
  EXPECT_EQ(std::u16string(text), u"");
  EXPECT_EQ(readText("\"a,b\"", text), 2);  // stops at the comma
  EXPECT_EQ(std::u16string(text), u"a");
  EXPECT_EQ(readText("Good@@night", text), 11);
  EXPECT_EQ(std::u16string(text), u"Good\r\nnight");
  EXPECT_EQ(readText("", text), 0);
  EXPECT_EQ(text[0], 0);
}

TEST(ReadText, LineBreakPairsNeverOverlap) {
  WCHAR text[256];
  readText("a@@@b", text);
  EXPECT_EQ(std::u16string(text), u"a\r\n@b");
  readText("@@@@", text);
  EXPECT_EQ(std::u16string(text), u"\r\n\r\n");
  readText("@", text);
  EXPECT_EQ(std::u16string(text), u"@");
}

TEST(ReadText, AfterAClosingQuoteTheRestIsTheNextField) {
  WCHAR text[256];
  EXPECT_EQ(readText("\"ab\"cd,", text), 4);
  EXPECT_EQ(std::u16string(text), u"ab");
  EXPECT_EQ(readText("ab\"cd", text), 3);  // a quote ends an unquoted text too
  EXPECT_EQ(std::u16string(text), u"ab");
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
}

TEST(ReadText, InvalidBytesAndACutCharacterStayInTheBuffer) {
  WCHAR text[256];
  EXPECT_EQ(readText("\x80\xff\x82", text), 3);
  EXPECT_EQ(std::u16string(text), u"\uFFFD\uFFFD\uFFFD");
  // 254 bytes of ASCII and a lead byte cut off at the 255-byte limit.
  std::string cut = std::string(254, 'a') + "\x82\xa0";
  EXPECT_EQ(readText(cut.c_str(), text), 256);
  EXPECT_EQ(std::u16string(text), std::u16string(254, u'a') + u"\uFFFD");
}

}  // namespace
