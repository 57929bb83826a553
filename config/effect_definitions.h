// The @set record: one effect definition of 46 fields, and the tables of its
// format that others read: the kind letters and the field names.
// Dependencies: the scene tables (the kinds).
#pragma once

#define SET_FIELD_COUNT 46
#define KIND_LETTER_COUNT 6

// One kind letter: the byte (case-sensitive) that gives kind, and what an
// instance of that kind draws, as an author would say it.
struct KindLetter {
  char letter;
  int kind;
  const char* draws;
};

extern const KindLetter kindLetters[KIND_LETTER_COUNT];

// The name of each field of a @set record by position, 1 to SET_FIELD_COUNT;
// entry 0 is empty.
extern const char* const setFieldNames[SET_FIELD_COUNT + 1];

// One @set record: the effect definition that its first field names; a record
// step of the settings directives (RecordStep).
int readSetRecord(const char* p, int* consumed);
