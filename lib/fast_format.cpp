// Fast exact printf conversions for listing lines; see fast_format.h.
//
// A floating-point value v is converted by scaling |v| with a power of ten
// so that the digits to print become the integer part of x, then rounding x
// to the nearest integer. The power of ten is the correctly rounded double
// (exact up to 10^22, beyond that from strtod), so x carries at most two
// roundings: its relative error is below 2.3e-16. printf rounds the exact
// binary value of v; the rounded integer is therefore the same as printf's
// whenever the fraction of x lies farther from one half than the error
// bound. Values closer to a tie than a safety margin many times that bound
// go to snprintf instead, and so do NaN, infinities and extreme magnitudes.
#include "fast_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Largest number of digits after the rounding point handled on the fast
// path; x stays below 10^10, far inside the exact integers of a double.
constexpr int kMaxPrecision = 9;
// Magnitudes outside this range (subnormals, near overflow) use snprintf.
constexpr double kSmallest = 1e-290;
constexpr double kLargest = 1e290;
// Largest scaled value of a fixed conversion on the fast path.
constexpr double kLargestFixed = 1e12;
// Longest conversion written on the fast path (sign, 10 digits, point,
// exponent; or 12 integer digits and 9 decimals), with room to spare.
constexpr std::size_t kNumberRoom = 48;
// Widths up to this are padded in place; larger ones take the general path.
constexpr int kMaxInlineWidth = 64;

constexpr std::array<std::uint64_t, 20> kExactPow10 = [] {
    std::array<std::uint64_t, 20> t{};
    std::uint64_t v = 1;
    for (std::uint64_t &x : t) {
        x = v;
        v *= 10;
    }
    return t;
}();

// 10^0 .. 10^22: every one exact in a double.
constexpr std::array<double, 23> kExactPow10d = [] {
    std::array<double, 23> t{};
    double v = 1.0;
    for (double &x : t) {
        x = v;
        v *= 10.0;
    }
    return t;
}();

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 10^p for 22 < p <= 308, correctly rounded: strtod rounds correctly, once
// per exponent.
[[gnu::noinline]] double large_pow10(int p)
{
    static std::array<double, 309> table{};
    double &entry = table[static_cast<std::size_t>(p)];
    if (entry == 0.0) {
        char text[16] = "1e";
        std::to_chars(text + 2, text + sizeof text - 1, p);
        entry = std::strtod(text, nullptr);
    }
    return entry;
}

// 10^p for 0 <= p <= 308, correctly rounded.
[[gnu::always_inline]] inline double pow10(int p)
{
    if (p < static_cast<int>(kExactPow10d.size())) [[likely]]
        return kExactPow10d[static_cast<std::size_t>(p)];
    return large_pow10(p);
}

// a * 10^p with one rounding of the constant and one of the operation.
[[gnu::always_inline]] inline double scale(double a, int p)
{
    return p >= 0 ? a * pow10(p) : a / pow10(-p);
}

// Rounds x (>= 0, below 2^53) to the nearest integer into r. False when x
// lies so close to a tie that its error bound could change the result.
[[gnu::always_inline]] inline bool round_scaled(double x, std::uint64_t &r)
{
    std::uint64_t whole = static_cast<std::uint64_t>(x);  // floor: x >= 0
    double frac = x - static_cast<double>(whole);           // exact
    double margin = x * 1e-14 + 1e-9;
    if (std::fabs(frac - 0.5) <= margin) return false;
    r = whole + (frac > 0.5 ? 1 : 0);
    return true;
}

// The digits of a (finite, positive) rounded to digits significant digits,
// as printf's %e rounds them: r in [10^(digits-1), 10^digits) and the
// decimal exponent e, so that a ~ r * 10^(e - digits + 1).
[[gnu::always_inline]] inline bool significant(double a, int digits, std::uint64_t &r, int &e)
{
    if (a < kSmallest || a > kLargest) return false;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &a, sizeof bits);
    int e2 = static_cast<int>(bits >> 52) - 1023;  // a in [2^e2, 2^(e2+1)): a is normal
    // floor(e2 * log10(2)) (78913 / 2^18 is log10(2) to within 8e-7): the
    // decimal exponent of a or one less; x is then moved into its decade.
    e = (e2 * 78913) >> 18;
    const std::uint64_t top = kExactPow10[static_cast<std::size_t>(digits)];
    const double topd = static_cast<double>(top);
    double x = scale(a, digits - 1 - e);
    if (x >= topd) {
        ++e;
        x = scale(a, digits - 1 - e);
    } else if (x < topd / 10) {
        --e;
        x = scale(a, digits - 1 - e);
    }
    if (!round_scaled(x, r)) return false;
    if (r >= top) {  // 9.995 -> 10.0
        r /= 10;
        ++e;
    }
    return true;
}

// Writes the decimal digits of r, exactly n of them with leading zeros.
[[gnu::always_inline]] inline char *put_digits(char *p, std::uint64_t r, int n)
{
    int i = n;
    while (i >= 2) {
        std::size_t two = static_cast<std::size_t>(r % 100) * 2;
        r /= 100;
        p[--i] = kPairs[two + 1];
        p[--i] = kPairs[two];
    }
    if (i == 1) p[0] = static_cast<char>('0' + r % 10);
    return p + n;
}

// "e+05", "e-123": the exponent with its sign and at least two digits.
[[gnu::always_inline]] inline char *put_exponent(char *p, int e)
{
    *p++ = 'e';
    *p++ = e < 0 ? '-' : '+';
    unsigned u = static_cast<unsigned>(e < 0 ? -e : e);
    if (u >= 100) {
        *p++ = static_cast<char>('0' + u / 100);
        u %= 100;
    }
    p[0] = kPairs[2 * u];
    p[1] = kPairs[2 * u + 1];
    return p + 2;
}

// %.<prec>e of v into p; returns the end, or nullptr to leave it to snprintf.
char *convert_e(char *p, double v, int prec)
{
    if (!std::isfinite(v) || prec > kMaxPrecision) return nullptr;
    if (std::signbit(v)) *p++ = '-';
    double a = std::fabs(v);
    std::uint64_t r = 0;
    int e = 0;
    if (a != 0.0 && !significant(a, prec + 1, r, e)) return nullptr;
    const std::uint64_t unit = kExactPow10[static_cast<std::size_t>(prec)];
    *p++ = static_cast<char>('0' + r / unit);
    if (prec > 0) {
        *p++ = '.';
        p = put_digits(p, r % unit, prec);
    }
    return put_exponent(p, e);
}

// %.<prec>f of v into p.
char *convert_f(char *p, double v, int prec)
{
    if (!std::isfinite(v) || prec > kMaxPrecision) return nullptr;
    const std::uint64_t unit = kExactPow10[static_cast<std::size_t>(prec)];
    double x = std::fabs(v) * static_cast<double>(unit);
    std::uint64_t r = 0;
    if (x >= kLargestFixed || !round_scaled(x, r)) return nullptr;
    if (std::signbit(v)) *p++ = '-';
    p = std::to_chars(p, p + 24, r / unit).ptr;
    if (prec > 0) {
        *p++ = '.';
        p = put_digits(p, r % unit, prec);
    }
    return p;
}

// %.<prec>g of v into p: %e or %f style by the decimal exponent, trailing
// zeros of the fraction removed.
char *convert_g(char *p, double v, int prec)
{
    if (!std::isfinite(v)) return nullptr;
    int digits = prec == 0 ? 1 : prec;
    if (digits > kMaxPrecision + 1) return nullptr;
    if (std::signbit(v)) *p++ = '-';
    double a = std::fabs(v);
    if (a == 0.0) {
        *p++ = '0';
        return p;
    }
    std::uint64_t r = 0;
    int e = 0;
    if (!significant(a, digits, r, e)) return nullptr;
    char d[kMaxPrecision + 2];
    put_digits(d, r, digits);
    int used = digits;
    if (e < -4 || e >= digits) {
        while (used > 1 && d[used - 1] == '0') --used;
        *p++ = d[0];
        if (used > 1) {
            *p++ = '.';
            std::memcpy(p, d + 1, static_cast<std::size_t>(used - 1));
            p += used - 1;
        }
        return put_exponent(p, e);
    }
    int whole = e + 1;  // digits before the point; 0 or less for |v| < 1
    while (used > whole && used > 0 && d[used - 1] == '0') --used;
    if (whole <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = whole; i < 0; ++i) *p++ = '0';
        std::memcpy(p, d, static_cast<std::size_t>(used));
        return p + used;
    }
    std::memcpy(p, d, static_cast<std::size_t>(whole));
    p += whole;
    if (used > whole) {
        *p++ = '.';
        std::memcpy(p, d + whole, static_cast<std::size_t>(used - whole));
        p += used - whole;
    }
    return p;
}

// Blanks that pad a conversion of len characters to width.
inline std::size_t gap_to(int width, std::size_t len)
{
    return width > 0 && static_cast<std::size_t>(width) > len ? static_cast<std::size_t>(width) - len : 0;
}

inline char *put_blanks(char *d, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) *d++ = ' ';
    return d;
}

// Collects the formatted text in a local buffer and hands it to the result
// string in large pieces.
class Sink {
public:
    explicit Sink(std::string &out) : out_(out) {}
    ~Sink() { flush(); }
    Sink(const Sink &) = delete;
    Sink &operator=(const Sink &) = delete;

    // Room for n more bytes (n at most the buffer's size) at the end.
    char *room(std::size_t n)
    {
        if (n > sizeof buf_ - used_) flush();
        return buf_ + used_;
    }
    void commit(const char *end) { used_ = static_cast<std::size_t>(end - buf_); }

    // A text of at most 16 characters from a buffer with at least 16
    // readable bytes: copied in one fixed-size move.
    void short_text(const char *text, std::size_t n)
    {
        char *d = room(16);
        std::memcpy(d, text, 16);
        commit(d + n);
    }

    // A short conversion result (at most kNumberRoom bytes, in a buffer of
    // at least kNumberRoom) padded with blanks to a width of at most
    // kMaxInlineWidth.
    void number(const char *text, std::size_t n, int width, bool left)
    {
        const std::size_t gap = gap_to(width, n);
        char *d = room(kNumberRoom + kMaxInlineWidth);
        if (!left) d = put_blanks(d, gap);
        std::memcpy(d, text, kNumberRoom);  // fixed size: a few moves
        d += n;
        if (left) d = put_blanks(d, gap);
        commit(d);
    }

    // Any text, padded with blanks to any width.
    void padded(const char *text, std::size_t n, int width, bool left)
    {
        const std::size_t gap = gap_to(width, n);
        if (!left) blanks(gap);
        append(text, n);
        if (left) blanks(gap);
    }

    void append(const char *text, std::size_t n)
    {
        if (n > sizeof buf_ - used_) {
            flush();
            if (n > sizeof buf_) {
                out_.append(text, n);
                return;
            }
        }
        std::memcpy(buf_ + used_, text, n);
        used_ += n;
    }

    void flush()
    {
        out_.append(buf_, used_);
        used_ = 0;
    }

private:
    void blanks(std::size_t n)
    {
        while (n > 0) {
            std::size_t k = n < sizeof buf_ ? n : sizeof buf_;
            char *d = room(k);
            std::memset(d, ' ', k);
            commit(d + k);
            n -= k;
        }
    }

    std::string &out_;
    char buf_[512];
    std::size_t used_ = 0;
};

// %e written straight into the sink: its length is known from the sign,
// the precision and the exponent before a digit is written, so the padding
// goes first. False leaves the value to the general path.
[[gnu::always_inline]] inline bool direct_e(Sink &sink, double v, int prec, int width, bool left)
{
    double a = std::fabs(v);
    if (!(a >= kSmallest && a <= kLargest) || prec > kMaxPrecision || width > kMaxInlineWidth)
        return false;  // zero, NaN, infinities and extremes included
    std::uint64_t r = 0;
    int e = 0;
    if (!significant(a, prec + 1, r, e)) return false;
    const bool neg = std::signbit(v);
    const std::size_t len = (neg ? 1 : 0) + 1 + (prec > 0 ? static_cast<std::size_t>(prec) + 1 : 0) +
                            ((e >= 100 || e <= -100) ? 5 : 4);
    const std::size_t gap = gap_to(width, len);
    char *d = sink.room(len + gap);
    if (!left) d = put_blanks(d, gap);
    if (neg) *d++ = '-';
    const std::uint64_t unit = kExactPow10[static_cast<std::size_t>(prec)];
    *d++ = static_cast<char>('0' + r / unit);
    if (prec > 0) {
        *d++ = '.';
        d = put_digits(d, r % unit, prec);
    }
    d = put_exponent(d, e);
    if (left) d = put_blanks(d, gap);
    sink.commit(d);
    return true;
}

// %f written straight into the sink, like direct_e.
[[gnu::always_inline]] inline bool direct_f(Sink &sink, double v, int prec, int width, bool left)
{
    if (prec > kMaxPrecision || width > kMaxInlineWidth) return false;
    const std::uint64_t unit = kExactPow10[static_cast<std::size_t>(prec)];
    double x = std::fabs(v) * static_cast<double>(unit);
    std::uint64_t r = 0;
    if (!(x < kLargestFixed) || !round_scaled(x, r)) return false;  // NaN, infinities, large
    const bool neg = std::signbit(v);
    const std::uint64_t whole = r / unit;
    int whole_digits = 1;
    while (whole >= kExactPow10[static_cast<std::size_t>(whole_digits)]) ++whole_digits;
    const std::size_t len = (neg ? 1 : 0) + static_cast<std::size_t>(whole_digits) +
                            (prec > 0 ? static_cast<std::size_t>(prec) + 1 : 0);
    const std::size_t gap = gap_to(width, len);
    char *d = sink.room(len + gap);
    if (!left) d = put_blanks(d, gap);
    if (neg) *d++ = '-';
    d = put_digits(d, whole, whole_digits);
    if (prec > 0) {
        *d++ = '.';
        d = put_digits(d, r % unit, prec);
    }
    if (left) d = put_blanks(d, gap);
    sink.commit(d);
    return true;
}

void append_double(Sink &sink, char conv, double v, int width, int prec, bool left)
{
    if (prec < 0) prec = 6;
    char buf[kNumberRoom + 16];
    char *end = nullptr;
    switch (conv) {
    case 'e': end = convert_e(buf, v, prec); break;
    case 'f': end = convert_f(buf, v, prec); break;
    default: end = convert_g(buf, v, prec); break;
    }
    if (end != nullptr) {
        auto n = static_cast<std::size_t>(end - buf);
        if (width <= kMaxInlineWidth)
            sink.number(buf, n, width, left);
        else
            sink.padded(buf, n, width, left);
        return;
    }
    const char *conv_format = nullptr;
    switch (conv) {
    case 'e': conv_format = left ? "%-*.*e" : "%*.*e"; break;
    case 'f': conv_format = left ? "%-*.*f" : "%*.*f"; break;
    default: conv_format = left ? "%-*.*g" : "%*.*g"; break;
    }
    if (width < 0) width = 0;
    int len = std::snprintf(buf, sizeof buf, conv_format, width, prec, v);
    if (len < 0) return;
    if (static_cast<std::size_t>(len) < sizeof buf) {
        sink.append(buf, static_cast<std::size_t>(len));
        return;
    }
    std::string big(static_cast<std::size_t>(len), '\0');
    std::snprintf(big.data(), big.size() + 1, conv_format, width, prec, v);
    sink.append(big.data(), big.size());
}

// Reads a decimal number at p; -1 when there is none, -2 when absurd.
inline int read_number(const char *&p)
{
    unsigned digit = static_cast<unsigned>(*p - '0');
    if (digit > 9) return -1;
    int n = 0;
    int count = 0;
    do {
        n = n * 10 + static_cast<int>(digit);
        digit = static_cast<unsigned>(*++p - '0');
    } while (digit <= 9 && ++count < 6);
    return digit <= 9 ? -2 : n;  // seven digits or more go to the C library
}

// A format string taken apart once: the literal texts ("%%" already made
// "%") and the conversions that follow them.
struct Conversion {
    std::size_t text_at = 0;  // the literal before the conversion, in texts
    std::size_t text_len = 0;
    char conv = '\0';         // '\0': the final literal, no conversion
    bool left = false;
    int width = -1;
    int prec = -1;
};

struct CompiledFormat {
    std::string source;  // the format itself, to recognise it
    std::string texts;   // the literal texts, with room to copy 16 bytes at once
    std::vector<Conversion> conversions;
    bool usable = false;  // false: a conversion for the C library
};

constexpr std::size_t kTextPadding = 16;

// Reads the flags, width, precision and letter of the conversion behind a
// '%' at p into next; false when it is one the C library must make.
bool read_conversion(const char *&p, Conversion &next)
{
    while (*p == '-') {
        next.left = true;
        ++p;
    }
    if (*p == '0') return false;  // zero padding: a flag, not a width
    next.width = read_number(p);
    if (*p == '.') {
        ++p;
        next.prec = read_number(p);
        if (next.prec == -1) next.prec = 0;  // "%.f" means precision 0
    }
    if (next.width == -2 || next.prec == -2) return false;
    next.conv = *p;
    switch (*p++) {
    case 'e':
    case 'f':
    case 'g':
    case 's': return true;
    case 'd':
    case 'i':
    case 'c': return next.prec < 0;
    default: return false;
    }
}

// Takes fmt apart; usable is false when it holds a conversion that is
// not handled here.
void compile(const char *fmt, CompiledFormat &c)
{
    c.source = fmt;
    c.texts.clear();
    c.conversions.clear();
    c.usable = false;
    const char *p = fmt;
    Conversion next;
    for (;;) {
        while (*p != '\0' && *p != '%') c.texts.push_back(*p++);
        if (*p == '\0') break;
        ++p;  // the '%'
        if (*p == '%') {
            c.texts.push_back(*p++);
            continue;
        }
        next.text_len = c.texts.size() - next.text_at;
        if (!read_conversion(p, next)) return;
        c.conversions.push_back(next);
        next = Conversion{};
        next.text_at = c.texts.size();
    }
    next.text_len = c.texts.size() - next.text_at;
    c.conversions.push_back(next);  // the final literal
    c.texts.append(kTextPadding, '\0');
    c.usable = true;
}

// The compiled form of fmt, from a small cache: listings use a few dozen
// formats, each for thousands of lines. An entry is used only when its
// format reads exactly like fmt, so a format at a reused address is never
// mistaken for another.
const CompiledFormat &compiled(const char *fmt)
{
    static std::array<CompiledFormat, 64> cache;
    auto key = reinterpret_cast<std::uintptr_t>(fmt);
    CompiledFormat &c = cache[(key ^ (key >> 6) ^ (key >> 12)) % cache.size()];
    if (std::strcmp(c.source.c_str(), fmt) != 0 || c.source.empty()) compile(fmt, c);
    return c;
}

void put_int(Sink &sink, const Conversion &k, int v)
{
    char buf[kNumberRoom];
    char *end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    auto n = static_cast<std::size_t>(end - buf);
    if (k.width <= kMaxInlineWidth)
        sink.number(buf, n, k.width, k.left);
    else
        sink.padded(buf, n, k.width, k.left);
}

// False at a null text.
bool put_text(Sink &sink, const Conversion &k, const char *str)
{
    if (str == nullptr) return false;
    std::size_t n = k.prec >= 0 ? strnlen(str, static_cast<std::size_t>(k.prec)) : std::strlen(str);
    sink.padded(str, n, k.width, k.left);
    return true;
}

void put_double(Sink &sink, const Conversion &k, double v)
{
    const int prec = k.prec < 0 ? 6 : k.prec;
    if (k.conv == 'e' && direct_e(sink, v, prec, k.width, k.left)) return;
    if (k.conv == 'f' && direct_f(sink, v, prec, k.width, k.left)) return;
    append_double(sink, k.conv, v, k.width, k.prec, k.left);
}

// Formats into sink; false at a null %s argument.
bool run(Sink &sink, const CompiledFormat &c, va_list args)
{
    const char *texts = c.texts.data();
    for (const Conversion &k : c.conversions) {
        if (k.text_len <= kTextPadding)
            sink.short_text(texts + k.text_at, k.text_len);
        else
            sink.append(texts + k.text_at, k.text_len);
        switch (k.conv) {
        case '\0': return true;
        case 'e':
        case 'f':
        case 'g': put_double(sink, k, va_arg(args, double)); break;
        case 'd':
        case 'i': put_int(sink, k, va_arg(args, int)); break;
        case 's':
            if (!put_text(sink, k, va_arg(args, const char *))) return false;
            break;
        default: {  // 'c'
            char ch = static_cast<char>(va_arg(args, int));
            sink.padded(&ch, 1, k.width, k.left);
            break;
        }
        }
    }
    return true;
}

}  // namespace

bool format_append(std::string &out, const char *fmt, va_list args)
{
    const std::size_t start = out.size();
    bool done;
    {
        const CompiledFormat &c = compiled(fmt);
        if (!c.usable) return false;
        Sink sink(out);
        done = run(sink, c, args);
    }
    if (!done) out.resize(start);
    return done;
}
