// printf-style formatting into strings of any length: the one formatter of
// the libraries and the listings. No fixed buffer can cut a line. The
// conversions listing lines use most (%e, %f, %g, %d, %s, %c) are made on a
// fast path of their own (fast_format.h) that writes exactly what the C
// library writes; everything else is left to vsnprintf.
#pragma once

#include <cstdarg>
#include <string>

// fmt formatted with its arguments.
std::string text_format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Appends fmt formatted with args to out.
void text_append(std::string &out, const char *fmt, va_list args);
