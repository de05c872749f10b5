// Coordinate routines. Formatting: an angle in decimal degrees becomes
// sexagesimal degrees (+12d15m30.0s), sexagesimal hours (5h35m17.30s) or
// decimal degrees (-12.50000d) at the library-wide precision. Parsing: a
// typed coordinate (12h34m56.7s, -12:34:56, 187.5, a block of digits) is
// read into degrees, checked against the kind of coordinate expected, and
// echoed in canonical form.
//
// Invariants: c_precision stays within 0..8; c_sexblock, once set, stays
// set. Every text written by c_ddsex fits a caller's buffer of kAngleBuf
// characters, whatever the angle (non-finite and huge ones included); the
// parser never reads past the terminator of its input.
#include "coord.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Callers of c_ddsex provide 30 characters: at most 29 plus the terminator.
constexpr std::size_t kAngleBuf = 30;
constexpr int kMinPrecision = 0;
constexpr int kMaxPrecision = 8;
constexpr double kDegreeWrap = 360.0;
constexpr double kHourWrap = 24.0;
constexpr double kDegreesPerHour = 15.0;

enum Layout { kDecimal = 0, kDegrees = 1, kHours = 2 };

int c_precision = kMaxPrecision;
int c_sexblock = 0;

// Copies text into an angle buffer, cut so that it never exceeds it.
void put_angle(char *buf, const std::string &text)
{
    std::size_t n = std::min(text.size(), kAngleBuf - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, again);
    va_end(again);
    return out;
}

// Sexagesimal parts of an angle, already rounded and carried. The units
// are a double so that huge latitude-like angles stay defined; they are
// printed with "%.0f", which gives the same digits as "%d" for whole numbers.
struct Sexagesimal {
    double units = 0;
    int minutes = 0;
    int seconds = 0;
    int fraction = 0;  // digits of the fraction of a second
};

// How many parts a layout shows at precision p, and with how many decimals.
struct Shape {
    int parts;     // 1 units, 2 units and minutes, 3 units, minutes, seconds
    int decimals;  // decimals of the seconds (0 for none)
};

Shape shape_of(Layout layout, int p)
{
    if (layout == kDegrees) {
        if (p == 0) return {1, 0};
        if (p <= 2) return {2, 0};
        if (p <= 4) return {3, 0};
        return {3, p - 4};
    }
    if (p <= 1) return {2, 0};
    if (p <= 3) return {3, 0};
    return {3, p - 3};
}

// Splits a non-negative finite value, truncating at each step, rounds the
// last part shown and carries into the parts before it.
Sexagesimal split(double value, Shape shape, double wrap)
{
    Sexagesimal s;
    double units = std::trunc(value);
    double rest = (value - units) * 60.0;
    double minutes = std::trunc(rest);
    rest = (rest - minutes) * 60.0;
    double seconds = std::trunc(rest);
    double fraction = rest - seconds;

    s.units = units;
    s.minutes = static_cast<int>(minutes);
    s.seconds = static_cast<int>(seconds);
    switch (shape.parts) {
    case 1:
        if (s.minutes >= 30) s.units += 1;
        break;
    case 2:
        if (s.seconds >= 30) s.minutes += 1;
        break;
    default:
        if (shape.decimals == 0) {
            if (fraction >= 0.5) s.seconds += 1;
        } else {
            int scale = 1;
            for (int i = 0; i < shape.decimals; ++i) scale *= 10;
            s.fraction = c_nint(scale * fraction);
            if (s.fraction >= scale) {
                s.fraction -= scale;
                s.seconds += 1;
            }
        }
        break;
    }
    if (s.seconds >= 60) {
        s.seconds -= 60;
        s.minutes += 1;
    }
    if (s.minutes >= 60) {
        s.minutes -= 60;
        s.units += 1;
    }
    // Only a carry brings the units of a wrapped longitude to the wrap
    // value; a latitude-like angle beyond it keeps its units.
    if (s.units == wrap) s.units = 0;
    return s;
}

std::string sexagesimal_text(const char *sign, Layout layout, double value, int p)
{
    const Shape shape = shape_of(layout, p);
    const char letter = layout == kHours ? 'h' : 'd';
    const Sexagesimal s = split(value, shape, layout == kHours ? kHourWrap : kDegreeWrap);
    switch (shape.parts) {
    case 1:
        return format("%s%.0fd", sign, s.units);
    case 2:
        return format("%s%.0f%c%02d%c", sign, s.units, letter, s.minutes, 'm');
    default:
        if (shape.decimals == 0)
            return format("%s%.0f%c%02d%c%02d%c", sign, s.units, letter, s.minutes, 'm',
                          s.seconds, 's');
        return format("%s%.0f%c%02d%c%02d.%0*d%c", sign, s.units, letter, s.minutes, 'm',
                      s.seconds, shape.decimals, s.fraction, 's');
    }
}

}  // namespace

int c_setprecision(int p)
{
    c_precision = p <= kMinPrecision ? kMinPrecision : p > kMaxPrecision ? kMaxPrecision : p;
    return c_precision;
}

int c_nint(double x)
{
    // Outside the range of int (and for NaN) the result is clamped rather
    // than left to an undefined conversion.
    if (std::isnan(x)) return 0;
    double f = std::floor(x);
    double r = x - f < 0.5 ? f : std::ceil(x);
    if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(r);
}

int c_blockhdms(int flag)
{
    if (flag) c_sexblock = 1;
    return c_sexblock;
}

void c_ddsex(double dangle, int form, int islat, char *buf)
{
    const int p = c_setprecision(c_precision);
    const bool negative = dangle < 0;
    const char *sign = islat ? (negative ? "-" : "+") : "";

    double angle = dangle + 0.0;  // a negative zero is zero: "+" and no "-0"
    if (!islat) {
        // Longitude-like angles are wrapped into 0..360 degrees.
        if (negative) angle = std::fmod(angle, kDegreeWrap) + kDegreeWrap;
        if (angle >= kDegreeWrap) angle = std::fmod(angle, kDegreeWrap);
    }

    const Layout layout = form == 1 ? kDegrees : form == 2 ? kHours : kDecimal;
    // Decimal layout, and any angle that has no sexagesimal form (NaN,
    // infinity): the value with p decimals and the letter d.
    if (layout == kDecimal || !std::isfinite(angle)) {
        put_angle(buf, format(islat ? "%+.*fd" : "%.*fd", p, angle));
        return;
    }
    double magnitude = std::fabs(angle);
    if (layout == kHours) magnitude /= kDegreesPerHour;
    put_angle(buf, sexagesimal_text(sign, layout, magnitude, p));
}

// ---- parsing (being written) ----
int c_status = 0;
const char *c_msg[12] = {};
int c_coord(const char *, int, int, char *, int *, double *) { return -1; }
char c_separator(char c) { return c; }
int c_convertblock(const char *, double *, double *, double *) { return -1; }
int c_sys(const char *, char) { return -1; }
int c_strncasecmp(const char *, const char *, int) { return 0; }
