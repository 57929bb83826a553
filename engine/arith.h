// The device's arithmetic where C++ would leave it undefined.
//
// Float to int conversion truncates towards zero and, like the device's ARM
// conversion, saturates to the int limits and gives 0 for NaN; a plain C++ cast of
// an out-of-range float is undefined. Used for every truncation of the simulation
// and the draw requests.
#pragma once

#include <climits>
#include <cstdint>

// Truncates towards zero, saturating; NaN gives 0.
inline int truncToInt(float value) {
  if (value != value) return 0;
  if (value >= 2147483648.0f) return INT_MAX;
  if (value <= -2147483648.0f) return INT_MIN;
  return int(value);
}

// A wide integer saturated to int.
inline int saturateInt(int64_t value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return int(value);
}

// a * b / c in 64 bits, the result saturated to int; c must not be 0.
inline int scaleInt(int a, int b, int c) {
  int64_t product = int64_t(a) * int64_t(b);
  return saturateInt((c == -1) ? -product : product / c);
}

// Integer addition that saturates instead of overflowing (draw coordinates of
// instances that have run away).
inline int addSaturated(int a, int b) { return saturateInt(int64_t(a) + int64_t(b)); }
