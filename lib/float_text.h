// Exact decimal texts of binary floating-point values for data files: the
// text of printf's "%.9g" for a float32 and "%.17g" for a float64, which
// read back (as a float32 or a float64, by any correctly rounding reader)
// to the value written; NaN as "nan" whatever its sign.
//
// Ordinary magnitudes (float32 from about 1e-36 to 1e9, float64 from 1e-16
// to 1e17) are converted from one exact integer product with a power of
// five; others (and subnormals) by snprintf itself.
#pragma once

#include <cstddef>

// Room put_float_text needs at the place it writes (more than it keeps).
inline constexpr std::size_t kFloatTextMax = 40;

// Write the text of value at p, which has room for kFloatTextMax
// characters; return the end.
char *put_float_text(char *p, float value);
char *put_float_text(char *p, double value);
