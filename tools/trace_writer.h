// The frame trace of tessaril-render: one JSON object per frame step, with the
// live instances after the tick update and the draw requests in drawing order.
#pragma once

#include <cstdio>

// Writes one line {"frame":F,"tick":T,"instances":[...],"draws":[...]} to out,
// reading the engine's pool and the draw list as they stand now.
void writeTraceLine(FILE* out, int frame);
