// The field readers on their documented examples, long fields and odd input.
// Every reader consumes its field up to the comma, CR, LF or NUL that ends it.
#include <gtest/gtest.h>

#include <cstdio>
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

// What reader r ('i' readInt, 'f' readFloat, 'I' readIntPair, 'F'
// readFloatPair) reads from input: the bytes consumed, then the value (a pair:
// both), floats as %.9g so that every float prints as itself.
std::string read(char r, const char* input) {
  int i = -99, j = -99;
  float f = -1, g = -1;
  int n = r == 'i' ? readInt(input, &i) : r == 'f' ? readFloat(input, &f) : r == 'I' ? readIntPair(input, &i, &j)
                                                                                     : readFloatPair(input, &f, &g);
  char out[96];
  if (r == 'i') snprintf(out, sizeof out, "%d %d", n, i);
  if (r == 'f') snprintf(out, sizeof out, "%d %.9g", n, double(f));
  if (r == 'I') snprintf(out, sizeof out, "%d %d %d", n, i, j);
  if (r == 'F') snprintf(out, sizeof out, "%d %.9g %.9g", n, double(f), double(g));
  return out;
}

TEST(NumberReaders, ReadTheLeadingNumberOfTheirFieldAndConsumeItWhole) {
  const struct {
    char reader;
    std::string input;
    const char* read;  // bytes consumed, value(s)
  } rows[] = {
      {'i', "12abc,7", "5 12"},
      {'i', " -3 ,", "4 -3"},
      {'i', ",7", "0 0"},
      {'i', "5[3]", "4 5"},
      {'i', "1 2\r\n", "3 1"},  // blanks do not separate fields
      {'i', "+8", "2 8"},
      {'i', "42\rx", "2 42"},
      {'i', "42\nx", "2 42"},
      {'i', "", "0 0"},
      {'i', "\"7\"", "3 0"},  // a quote is no field end for numbers
      {'i', "99999999999", "11 2147483647"},  // out of range saturates
      {'i', "-99999999999999999999999", "24 -2147483648"},
      {'i', "-2147483648", "11 -2147483648"},
      {'i', "2147483647", "10 2147483647"},
      {'f', "2.5e1\r\n", "5 25"},
      {'f', "-.5", "3 -0.5"},
      {'f', "  3.", "4 3"},
      {'f', "1e", "2 1"},  // an exponent without digits is not part of the number
      {'f', "0.1", "3 0.100000001"},  // rounded from double precision
      {'f', "abc", "3 0"},  // only the decimal form
      {'f', "inf", "3 0"},
      {'f', "nan", "3 0"},
      {'f', "0x10", "4 0"},
      {'f', "3.4028234e38", "12 3.40282347e+38"},
      {'f', "1e-50", "5 0"},
      {'f', "1e39", "4 inf"},
      {'f', "-1e400", "6 -inf"},
      {'F', "0.5[0.1],", "8 0.5 0.100000001"},
      {'F', "0.5", "3 0.5 0"},
      {'F', "1.5[0.25]", "9 1.5 0.25"},
      {'I', "[2]", "3 0 2"},
      {'I', "1[2]3", "5 1 23"},
      {'I', "1[2[3]", "6 1 2"},
      {'I', "-1\r\n", "2 -1 0"},
      // Long fields are consumed whole and cut to their first 255 bytes: the
      // 9 after 255 zeros is past the kept bytes, and the bracket part keeps
      // its 254 zeros and the 5.
      {'i', std::string(300, '7') + ",1", "300 2147483647"},
      {'i', std::string(255, '0') + "9", "256 0"},
      {'F', "1" + std::string(299, ' ') + "[" + std::string(254, '0') + "56]", "558 1 5"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(read(row.reader, row.input.c_str()), row.read) << row.reader << " " << row.input;
  }
}

// What readText stores, terminated right after the text (the rest of the
// buffer untouched), and the bytes it consumed.
TEST(ReadText, QuotesLineBreakPairsFieldEndsAndShiftJis) {
  const struct {
    std::string input;
    int consumed;
    std::u16string text;
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
      // おはよう, then a character whose second byte is '@' (0x81 0x40, the
      // ideographic space) directly before a real '@': one unit a character.
      {"\"\x82\xa8\x82\xcd\x82\xe6\x82\xa4\x81\x40@x\"", 14, u"おはよう\u3000@x"},
      // Cut to 255 bytes: a lead byte after 254 of ASCII loses its trail byte.
      {std::string(254, 'a') + "\x82\xa0", 256, std::u16string(254, u'a') + u"\uFFFD"},
      {"\"" + std::string(400, 'a') + "\",x", 402, std::u16string(255, u'a')},
  };
  for (const auto& row : rows) {
    WCHAR text[257];
    for (WCHAR& c : text) c = u'#';
    EXPECT_EQ(readText(row.input.c_str(), text), row.consumed) << row.input;
    EXPECT_EQ(std::u16string(text), row.text) << row.input;
    EXPECT_EQ(text[row.text.size() + 1], u'#') << row.input;
  }
}

}  // namespace
