// The record step of the settings directives: one record of a block, read at a
// position of the settings text. The block loop of parseSettingsText runs the
// step of its directive once per record.
#pragma once

// Reads one record at p into its table entry and puts the bytes consumed into
// *consumed; 1, or 0 with loadErrorText set when the record fails the load.
typedef int (*RecordStep)(const char* p, int* consumed);

// One @set record: the effect definition that its first field names.
int readSetRecord(const char* p, int* consumed);
