// printf-style formatting of listing lines that writes exactly what the C
// library's vsnprintf writes, only faster. A listing line holds up to nine
// numbers in "%8.2e", "%8.4f" or "%g" formats, and a listing has tens of
// thousands of them, so the number conversions dominate the run time.
//
// Handled: the conversions %%, %c, %s, %d, %i, %e, %f and %g with an optional
// '-' flag, width and precision (no '*'). A format with anything else (other
// flags, length modifiers, other conversions) or a null %s argument is not
// formatted at all: format_append() returns false and the caller formats the
// line with vsnprintf. A single floating-point value that cannot be converted
// exactly on the fast path (infinities, NaN, extreme magnitudes, values that
// lie within the error bound of a rounding tie) is converted by snprintf with
// the same conversion, so the result is always the C library's own text.
#pragma once

#include <cstdarg>
#include <string>

// Appends fmt formatted with args to out. Returns false, leaving out as it
// was, when fmt holds a conversion that is not handled; args is then
// indeterminate, so the caller formats from its own copy of the arguments.
bool format_append(std::string &out, const char *fmt, va_list args);
