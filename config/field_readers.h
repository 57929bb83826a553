// The field readers that the settings and schedule parsers take a line apart
// with.
//
// A field runs to the first comma, CR, LF or NUL (a text field also to a double
// quote). Every reader takes the position where its field begins and returns the
// bytes it consumed; none consumes the byte that ends its field, and none fails:
// what does not parse reads as 0. A field keeps at most MAX_FIELD_BYTES bytes (a
// pair field that many in each part): a longer one is consumed whole and its
// first MAX_FIELD_BYTES bytes are read.
#pragma once

#include "platform/types.h"

#define MAX_FIELD_BYTES 255

int skipBlanks(const char* p);
int skipBlanksAndLines(const char* p);
// Skips the blanks before the field at position (1-based) of a record and
// notes to the diagnostics sink where the field begins; returns the bytes skipped.
int skipToField(const char* p, int position);
int readInt(const char* p, int* value);
int readFloat(const char* p, float* value);
int readIntPair(const char* p, int* value, int* second);
int readFloatPair(const char* p, float* value, float* second);
// text: 256 UTF-16 units, NUL-terminated; "@@" becomes CR LF.
int readText(const char* p, WCHAR* text);
