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
#include <cstdio>
#include <cstring>
#include <string>

#include "text_format.h"

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

// Rounds the last part a shape shows: units by the minutes, minutes by the
// seconds, seconds (or their decimals) by the fraction of a second.
void round_last(Sexagesimal &s, Shape shape, double fraction)
{
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

    s.units = units;
    s.minutes = static_cast<int>(minutes);
    s.seconds = static_cast<int>(seconds);
    round_last(s, shape, rest - seconds);
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
        return text_format("%s%.0fd", sign, s.units);
    case 2:
        return text_format("%s%.0f%c%02d%c", sign, s.units, letter, s.minutes, 'm');
    default:
        if (shape.decimals == 0)
            return text_format("%s%.0f%c%02d%c%02d%c", sign, s.units, letter, s.minutes, 'm',
                          s.seconds, 's');
        return text_format("%s%.0f%c%02d%c%02d.%0*d%c", sign, s.units, letter, s.minutes, 'm',
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
        put_angle(buf, text_format(islat ? "%+.*fd" : "%.*fd", p, angle));
        return;
    }
    double magnitude = std::fabs(angle);
    if (layout == kHours) magnitude /= kDegreesPerHour;
    put_angle(buf, sexagesimal_text(sign, layout, magnitude, p));
}


// ---------------------------------------------------------------------------
// Parsing typed coordinates

int c_status = 0;

const char *c_msg[12] = {
    "OK",
    "Possible loss of precision",
    "Longitude >=360d, modularized",
    "Longitude <0d, modularized",
    "Sexigesimal input was modularized",
    "Sexigesimal for non-Equatorial coordinate",
    "HMS notation not valid for latitude",
    "Longitude >>360d not valid",
    "Latitude >+90d or <-90d",
    "Integer part too large - potential modulo error",
    "Invalid input",
    "Not enough memory",
};

namespace {

enum Code {
    kPrecisionLoss = 1,
    kLongitudeWrapped = 2,
    kNegativeLongitude = 3,
    kSexagesimalCarried = 4,
    kSexagesimalNotEquatorial = 5,
    kHoursForLatitude = 6,
    kLongitudeTooLarge = 7,
    kLatitudeRange = 8,
    kInvalidInput = 10,
};

constexpr int kMaxParts = 3;
constexpr int kMaxSignificantDigits = 15;
constexpr char kRadix = '.';

enum class Unit { undecided, degrees, hours };

// One typed coordinate, split into its parts.
struct sexigesimal {
    int sign = 1;
    double part[kMaxParts] = {0, 0, 0};
    char sep[kMaxParts] = {0, 0, 0};
    const char *p[kMaxParts] = {nullptr, nullptr, nullptr};
    bool point[kMaxParts] = {false, false, false};
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char *skip_blanks(const char *s)
{
    while (is_blank(*s)) ++s;
    return s;
}

// The running state of one c_coord call: the codes raised and counted.
struct Outcome {
    int warnings = 0;
    int errors = 0;
    void raise(int code)
    {
        if (code > c_status) c_status = code;
    }
    void warn(int code)
    {
        raise(code);
        ++warnings;
    }
    void fail(int code)
    {
        raise(code);
        ++errors;
    }
};

// Separator sequence of the first n parts, as a short text for the table
// lookup of the unit kind.
std::string separators(const sexigesimal &x, int n)
{
    return std::string(x.sep, x.sep + n);
}

struct UnitRule {
    const char *seps;
    Unit unit;
    int isdec;
};

// Unit kind by the separators behind the parts; a blank also stands for
// the end of the text. The single bare number is decided by the caller.
constexpr UnitRule kUnitRules[] = {
    {"hms", Unit::hours, 0},     {"hm ", Unit::hours, 0},
    {"dms", Unit::degrees, 0},   {"dm ", Unit::degrees, 0},
    {"d'\"", Unit::degrees, 0},  {"d' ", Unit::degrees, 0},
    {":: ", Unit::undecided, 0}, {"   ", Unit::undecided, 0},
    {"hm", Unit::hours, 0},      {"h ", Unit::hours, 0},
    {"dm", Unit::degrees, 0},    {"d ", Unit::degrees, 0},
    {"d'", Unit::degrees, 0},    {"'\"", Unit::degrees, 0},
    {"' ", Unit::degrees, 0},    {"ms", Unit::undecided, 0},
    {"m ", Unit::undecided, 0},  {": ", Unit::undecided, 0},
    {"  ", Unit::undecided, 0},  {"h", Unit::hours, 0},
    {"d", Unit::degrees, 1},     {"'", Unit::degrees, 0},
    {"\"", Unit::degrees, 0},    {"m", Unit::undecided, 0},
    {"s", Unit::undecided, 0},
};

const UnitRule *unit_rule(const std::string &seps)
{
    for (const auto &rule : kUnitRules)
        if (seps == rule.seps) return &rule;
    return nullptr;
}

// Scans the parts of the text (behind the sign). Returns the number of
// parts, or 0 for invalid input. digits_before_point receives the digits
// in front of the first part's point.
int scan_parts(const char *s, sexigesimal &x, Outcome &out, int &digits_before_point)
{
    int nparts = 0;
    while (nparts < kMaxParts) {
        const int i = nparts;
        x.p[i] = s;
        int digits = 0;
        const char *point_at = nullptr;
        for (; is_digit(*s) || *s == kRadix; ++s) {
            if (*s == kRadix) {
                if (point_at != nullptr) return 0;  // a second point
                point_at = s;
            } else {
                ++digits;
            }
        }
        x.point[i] = point_at != nullptr;
        const int n = digits - (point_at != nullptr && point_at != x.p[i] ? 1 : 0);
        if (n <= 0) return 0;
        if (n > kMaxSignificantDigits) out.warn(kPrecisionLoss);
        x.part[i] = std::strtod(std::string(x.p[i], s).c_str(), nullptr);
        if (i == 0) digits_before_point = static_cast<int>((point_at ? point_at : s) - x.p[0]);
        ++nparts;

        const bool followed_by_blank = is_blank(*s);
        s = skip_blanks(s);
        const char sep = c_separator(*s);
        if (sep != 0) {
            x.sep[i] = sep;
            if (*s != '\0') ++s;
        } else if (followed_by_blank) {
            x.sep[i] = ' ';  // the next part begins here
        } else {
            return 0;
        }
        s = skip_blanks(s);
        if (*s == '\0') break;
    }
    if (*skip_blanks(s) != '\0') return 0;  // a fourth part or stray characters
    return nparts;
}

// A typed coordinate read: its parts, the unit its separators name and
// whether it was typed as a decimal number.
struct Reading {
    sexigesimal x;
    int nparts = 0;
    Unit unit = Unit::undecided;
    int decimal = 0;
};

// The sign and the parts of a coordinate. False when it cannot be read
// (the warnings of its parts go to out).
bool read_parts(const char *coord, Reading &r, Outcome &out, int &digits_before_point)
{
    if (coord == nullptr) return false;
    const char *s = skip_blanks(coord);
    if (*s == '\0') return false;
    if (*s == '-' || *s == '+') {
        r.x.sign = *s == '-' ? -1 : 1;
        s = skip_blanks(s + 1);
    }
    r.nparts = scan_parts(s, r.x, out, digits_before_point);
    if (r.nparts == 0) return false;
    // Only the last part may carry a fraction.
    for (int i = 0; i < r.nparts - 1; ++i)
        if (r.x.point[i]) return false;
    return true;
}

// Reads a coordinate and the unit and form its separators give; false when
// it cannot be read.
bool read_coordinate(const char *coord, int islat, int isequ, Reading &r, Outcome &out)
{
    int digits_before_point = 0;
    if (!read_parts(coord, r, out, digits_before_point)) return false;
    const std::string seps = separators(r.x, r.nparts);
    if (seps != " ") {
        const UnitRule *rule = unit_rule(seps);
        if (rule == nullptr) return false;
        r.unit = rule->unit;
        r.decimal = rule->isdec;
        return true;
    }
    if (!c_sexblock || digits_before_point < 5 || digits_before_point > 7) {
        r.decimal = (!isequ || islat) ? 1 : 0;
        return true;
    }
    // One block of digits: units, minutes and seconds run together.
    sexigesimal &x = r.x;
    const std::string block(x.p[0], x.p[0] + std::strcspn(x.p[0], " \t"));
    if (c_convertblock(block.c_str(), &x.part[0], &x.part[1], &x.part[2]) != 0) return false;
    r.nparts = 3;
    x.sep[0] = x.sep[1] = x.sep[2] = ' ';
    return true;
}

// The value of the parts, 60 or more in a part carried into the one before.
double combined(Reading &r, Outcome &out)
{
    sexigesimal &x = r.x;
    for (int i = r.nparts - 1; i >= 1; --i) {
        if (x.part[i] >= 60.0) {
            x.part[i - 1] += std::floor(x.part[i] / 60.0);
            x.part[i] = std::fmod(x.part[i], 60.0);
            out.warn(kSexagesimalCarried);
        }
    }
    double value = 0;
    double scale = 1;
    for (int i = 0; i < r.nparts; ++i, scale *= 60.0) value += x.part[i] / scale;
    if (x.sep[0] == 'm' || x.sep[0] == '\'') value /= 60.0;
    else if (x.sep[0] == 's' || x.sep[0] == '"') value /= 3600.0;
    return value * x.sign + 0.0;  // no negative zero
}

// A latitude checked, a longitude checked and wrapped into 0 up to 24h or
// 360 degrees.
double in_range(double value, Unit unit, int islat, Outcome &out)
{
    const double wrap = unit == Unit::hours ? kHourWrap : kDegreeWrap;
    if (islat) {
        // A value too large to be held (infinite) is out of range as well.
        if (!(value <= 90.0 && value >= -90.0)) out.fail(kLatitudeRange);
    } else if (!(value < 2 * wrap && value > -2 * wrap)) {
        out.fail(kLongitudeTooLarge);
    } else if (value >= wrap) {
        value = std::fmod(value, wrap);
        out.raise(kLongitudeWrapped);
    } else if (value < 0) {
        value = std::fmod(value, wrap) + wrap;
        // -24h (or a tiny negative) lands on the wrap value itself: that is 0.
        if (value >= wrap) value = 0;
        out.warn(kNegativeLongitude);
    }
    return value;
}

}  // namespace

char c_separator(char c)
{
    switch (c) {
    case '\0':
    case ' ':
    case '\t':
        return ' ';
    case '"':
    case '\'':
    case ':':
        return c;
    case 'd':
    case 'D':
        return 'd';
    case 'h':
    case 'H':
        return 'h';
    case 'm':
    case 'M':
        return 'm';
    case 's':
    case 'S':
        return 's';
    default:
        return 0;
    }
}

int c_convertblock(const char *c, double *dh, double *m, double *s)
{
    if (c == nullptr) return -1;
    if (*c != '\0' && !is_digit(*c)) ++c;
    const char *point = std::strchr(c, kRadix);
    const std::size_t before = point ? static_cast<std::size_t>(point - c) : std::strlen(c);
    const char *fmt = before == 7 ? "%3d%2d%lf" : before == 6 ? "%2d%2d%lf"
                    : before == 5 ? "%1d%2d%lf" : nullptr;
    int units = 0, minutes = 0;
    double seconds = 0;
    if (fmt == nullptr || std::sscanf(c, fmt, &units, &minutes, &seconds) != 3) return -1;
    *dh = units;
    *m = minutes;
    *s = seconds;
    return 0;
}

int c_coord(const char *coord, int islat, int isequ, char *buf, int *isdec, double *dangle)
{
    c_status = 0;
    Outcome out;
    Reading r;
    auto reject = [&](int code) {
        out.fail(code);
        if (buf) buf[0] = '\0';
        if (isdec) *isdec = 0;
        return -1;
    };
    if (!read_coordinate(coord, islat, isequ, r, out)) return reject(kInvalidInput);

    if (r.unit == Unit::undecided) r.unit = (islat || !isequ) ? Unit::degrees : Unit::hours;
    if (r.unit == Unit::hours && islat) out.fail(kHoursForLatitude);
    if (!isequ && r.decimal == 0) out.warn(kSexagesimalNotEquatorial);
    const double value = in_range(combined(r, out), r.unit, islat, out);
    if (out.errors > 0) return reject(c_status);

    const double angle = r.unit == Unit::hours ? value * kDegreesPerHour : value;
    const int form = !isequ ? kDecimal : islat ? kDegrees : kHours;
    if (buf) c_ddsex(angle, form, islat, buf);
    if (isdec) *isdec = r.decimal;
    if (dangle) *dangle = angle;
    return out.warnings > 0 ? 1 : 0;
}

int c_strncasecmp(const char *a, const char *b, int n)
{
    for (int i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca > cb ? 1 : -1;
        if (ca == 0) break;  // both texts end here: nothing more to compare
    }
    return 0;
}

int c_sys(const char *csys, char equx)
{
    if (csys == nullptr) return -1;
    std::string name(skip_blanks(csys));
    while (!name.empty() && is_blank(name.back())) name.pop_back();
    if (name.size() <= 1) return -1;
    const int n = static_cast<int>(name.size());
    auto is = [&](const char *full) { return c_strncasecmp(name.c_str(), full, n) == 0; };
    if (is("equatorial")) return equx == 'J' ? 0 : equx == 'B' ? 1 : -1;
    if (is("galactic")) return 2;
    if (is("ecliptic")) return equx == 'J' ? 13 : equx == 'B' ? 3 : -1;
    if (is("sgalactic")) return 4;
    if (is("supergalactic")) return 4;
    return -1;
}
