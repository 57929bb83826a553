// The field readers shared by the settings and schedule parsers.
//
// Invariant: a reader never consumes the comma, CR, LF or NUL that ends its
// field (nor, for a text, a second double quote), so it never moves a cursor
// past the end of the text; and it never writes more than MAX_FIELD_BYTES bytes
// of a field into its own buffers: a longer field is consumed whole and only its
// first MAX_FIELD_BYTES bytes are converted, and the cut is noted to the
// diagnostics sink.
// Dependencies: the diagnostics sink, platform (MultiByteToWideChar, the runtime's number parsing).
#include "config/field_readers.h"

#include <cfloat>
#include <climits>

#include "config/diagnostics.h"
#include "platform/files.h"
#include "platform/runtime.h"

#define FIELD_BUFFER_SIZE (MAX_FIELD_BYTES + 1)

// Tells whether byte c ends a number or pair field: a comma, CR, LF or NUL.
static int endsField(char c) { return c == ',' || c == '\r' || c == '\n' || c == 0; }

// Tells whether byte c ends a text field: what ends any field, or a double quote.
static int endsTextField(char c) { return endsField(c) || c == '"'; }

// Tells whether byte c is one the runtime's number conversions skip before a number.
static int isLeadingBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

static int isDigit(char c) { return c >= '0' && c <= '9'; }

// Converts the NUL-terminated text s by the int rule: leading blanks, an
// optional sign, decimal digits; no digits give 0. A value beyond the int range
// saturates to INT_MIN or INT_MAX, as the device's 32-bit conversion does.
static int convertInt(const char* s) {
  while (isLeadingBlank(*s)) ++s;
  int negative = 0;
  if (*s == '+' || *s == '-') negative = (*s++ == '-');
  long long magnitude = 0;
  for (; isDigit(*s); ++s) {
    magnitude = magnitude * 10 + (*s - '0');
    if (magnitude > (long long)INT_MAX + 1) magnitude = (long long)INT_MAX + 1;
  }
  if (negative) return (int)(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : (int)magnitude;
}

// Rounds the double d to a float the way the hardware does, overflowing to an
// infinity, without a cast of an out-of-range value.
static float roundToFloat(double d) {
  if (d >= -(double)FLT_MAX && d <= (double)FLT_MAX) return (float)d;
  if (d != d) return 0.0f;
  // Between FLT_MAX and the midpoint to the next power of two rounds to FLT_MAX.
  const double overflow = 0x1.ffffffp+127;
  if (d > 0) return d < overflow ? FLT_MAX : HUGE_VALF;
  return d > -overflow ? -FLT_MAX : -HUGE_VALF;
}

// Converts the NUL-terminated text s by the float rule: leading blanks, an
// optional sign, digits with an optional point and fraction, an optional
// exponent; computed in double precision and rounded to a float. Only that
// decimal form is read (no "inf", "nan" or hexadecimal), as on the device.
static float convertFloat(const char* s) {
  char number[FIELD_BUFFER_SIZE];
  int n = 0;
  while (isLeadingBlank(*s)) ++s;
  if (*s == '+' || *s == '-') number[n++] = *s++;
  int digits = 0;
  for (; isDigit(*s); ++s, ++digits) number[n++] = *s;
  if (*s == '.') {
    number[n++] = *s++;
    for (; isDigit(*s); ++s, ++digits) number[n++] = *s;
  }
  if (digits == 0) return 0.0f;
  if (*s == 'e' || *s == 'E') {
    const char* e = s + 1;
    if (*e == '+' || *e == '-') ++e;
    if (isDigit(*e)) {
      while (s < e) number[n++] = *s++;
      for (; isDigit(*s); ++s) number[n++] = *s;
    }
  }
  number[n] = 0;
  return roundToFloat(atof(number));
}

// Copies the field at p into buffer (FIELD_BUFFER_SIZE bytes), keeping at most
// MAX_FIELD_BYTES bytes, and NUL-terminates it; returns the bytes consumed.
static int copyField(const char* p, char* buffer) {
  int consumed = 0;
  int kept = 0;
  for (; !endsField(p[consumed]); ++consumed) {
    if (kept < MAX_FIELD_BYTES) buffer[kept++] = p[consumed];
  }
  buffer[kept] = 0;
  if (consumed > MAX_FIELD_BYTES) noteFinding(FINDING_FIELD_CUT, p, consumed);
  return consumed;
}

// Splits the pair field at p into its value part and its bracket part (each
// FIELD_BUFFER_SIZE bytes, at most MAX_FIELD_BYTES kept), both NUL-terminated.
// The first '[' switches to the bracket part; there every ']' is dropped and
// every other byte, a further '[' included, is kept. Returns the bytes consumed.
static int splitPairField(const char* p, char* valuePart, char* bracketPart) {
  int consumed = 0;
  int valueLength = 0;
  int bracketLength = 0;
  int inside = 0;
  int cut = 0;
  for (; !endsField(p[consumed]); ++consumed) {
    char c = p[consumed];
    if (!inside) {
      if (c == '[') {
        inside = 1;
      } else if (valueLength < MAX_FIELD_BYTES) {
        valuePart[valueLength++] = c;
      } else {
        cut = 1;
      }
    } else if (c != ']') {
      if (bracketLength < MAX_FIELD_BYTES) {
        bracketPart[bracketLength++] = c;
      } else {
        cut = 1;
      }
    }
  }
  valuePart[valueLength] = 0;
  bracketPart[bracketLength] = 0;
  if (cut) noteFinding(FINDING_FIELD_CUT, p, consumed);
  return consumed;
}

int skipBlanks(const char* p) {
  int n = 0;
  while (p[n] == ' ' || p[n] == '\t' || p[n] == ',') ++n;
  return n;
}

int skipToField(const char* p, int position) {
  int n = skipBlanks(p);
  noteFinding(FINDING_FIELD, p + n, position);
  return n;
}

int skipBlanksAndLines(const char* p) {
  int n = 0;
  while (p[n] == ' ' || p[n] == '\t' || p[n] == ',' || p[n] == '\r' || p[n] == '\n') ++n;
  return n;
}

int readInt(const char* p, int* value) {
  char buffer[FIELD_BUFFER_SIZE];
  int consumed = copyField(p, buffer);
  *value = convertInt(buffer);
  return consumed;
}

int readFloat(const char* p, float* value) {
  char buffer[FIELD_BUFFER_SIZE];
  int consumed = copyField(p, buffer);
  *value = convertFloat(buffer);
  return consumed;
}

int readIntPair(const char* p, int* value, int* second) {
  char valuePart[FIELD_BUFFER_SIZE];
  char bracketPart[FIELD_BUFFER_SIZE];
  int consumed = splitPairField(p, valuePart, bracketPart);
  *value = convertInt(valuePart);
  *second = convertInt(bracketPart);
  return consumed;
}

int readFloatPair(const char* p, float* value, float* second) {
  char valuePart[FIELD_BUFFER_SIZE];
  char bracketPart[FIELD_BUFFER_SIZE];
  int consumed = splitPairField(p, valuePart, bracketPart);
  *value = convertFloat(valuePart);
  *second = convertFloat(bracketPart);
  return consumed;
}

// Replaces every "@@" of the NUL-terminated text by CR LF, left to right, so
// that pairs never overlap ("@@@" gives CR LF '@').
static void replaceLineBreaks(WCHAR* text) {
  for (int i = 0; text[i] != 0; ++i) {
    if (text[i] == u'@' && text[i + 1] == u'@') {
      text[i] = u'\r';
      text[i + 1] = u'\n';
      ++i;
    }
  }
}

int readText(const char* p, WCHAR* text) {
  char buffer[FIELD_BUFFER_SIZE];
  int consumed = 0;
  if (p[0] == '"') ++consumed;
  int kept = 0;
  int textStart = consumed;
  for (; !endsTextField(p[consumed]); ++consumed) {
    if (kept < MAX_FIELD_BYTES) buffer[kept++] = p[consumed];
  }
  if (consumed - textStart > MAX_FIELD_BYTES) noteFinding(FINDING_TEXT_CUT, p, consumed - textStart);
  // One unit per byte at most, so the MAX_FIELD_BYTES units always leave room
  // for the NUL in the 256-unit text.
  int units = kept > 0 ? MultiByteToWideChar(CP_ACP, 0, buffer, kept, text, MAX_FIELD_BYTES) : 0;
  if (units < 0 || units > MAX_FIELD_BYTES) units = 0;
  text[units] = 0;
  replaceLineBreaks(text);
  if (p[consumed] == '"') ++consumed;
  return consumed;
}
