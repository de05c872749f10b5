// Exact %.9g and %.17g texts; see float_text.h.
//
// A positive value a with decimal exponent e is scaled to x = a * 10^k,
// k = D - 1 - e, so that x has D integer digits (D = 9 for float32, 17 for
// float64); the digits are x rounded to the nearest integer, ties to even,
// as printf rounds. x is held as a whole part and a fraction:
// - float32: a has 24 significant bits, so a * 10^(k - 22) is exact for k
//   up to 34 and x = a * 10^k takes one rounding in double: its error is
//   below x * 2^-52;
// - float64: x = hi + lo exactly, hi the product rounded and lo its
//   rounding error from a fused multiply-add, for k up to 22 (10^k is then
//   a double); hi is whole (x >= 10^16 > 2^53), |lo| at most 8, and the
//   fraction of lo is found with an error below 2^-52.
// A fraction whose distance from one half is within the error bound (with
// room) goes to snprintf, and so does any value outside those ranges.
//
// The common path has no branch that depends on the value but the choice
// of form (plain or with exponent), which values of one column share.
#include "float_text.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

using u64 = std::uint64_t;

constexpr auto kPow10 = [] {
    std::array<u64, 19> t{};
    u64 v = 1;
    for (u64 &x : t) {
        x = v;
        v *= 10;
    }
    return t;
}();

// 10^0 .. 10^22, each exact.
constexpr auto kExact10 = [] {
    std::array<double, 23> t{};
    double v = 1;
    for (double &x : t) {
        x = v;
        v *= 10;
    }
    return t;
}();

// 10^j for j from kLowest10 to 22, within a few ulps (exact from 10^0 up):
// the thresholds of the decimal exponent. A value so close to a threshold
// that it gets the wrong exponent scales out of its D digits and goes to
// snprintf.
constexpr int kLowest10 = -32;
constexpr auto kNear10 = [] {
    std::array<double, 22 - kLowest10 + 1> t{};
    for (int j = kLowest10; j <= 22; ++j) {
        const int n = j < 0 ? -j : j;
        const double p = n <= 22 ? kExact10[static_cast<std::size_t>(n)]
                                 : kExact10[22] * kExact10[static_cast<std::size_t>(n - 22)];
        t[static_cast<std::size_t>(j - kLowest10)] = j < 0 ? 1.0 / p : p;
    }
    return t;
}();

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

template <class F>
struct Format;
template <>
struct Format<float> {
    static constexpr int digits = 9, max_k = 34, fraction_bits = 23, bias = 127;
    using Bits = std::uint32_t;
};
template <>
struct Format<double> {
    static constexpr int digits = 17, max_k = 22, fraction_bits = 52, bias = 1023;
    using Bits = u64;
};

// x = whole + frac, frac known to within eps.
struct Scaled {
    u64 whole;
    double frac;
    double eps;
};

Scaled scale(double a, int k, float)
{
    const std::size_t i = static_cast<std::size_t>(k);
    const double x = a * kExact10[i > 22 ? i - 22 : 0] * kExact10[i > 22 ? 22 : i];
    const auto whole = static_cast<u64>(static_cast<std::int64_t>(x));  // x < 10^10
    return {whole, x - static_cast<double>(whole), x * 0x1p-50};
}

Scaled scale(double a, int k, double)
{
    const double p = kExact10[static_cast<std::size_t>(k)];
    const double hi = a * p;
    const double lo = std::fma(a, p, -hi);
    const double toward_zero = static_cast<double>(static_cast<std::int64_t>(lo));
    const double floor_lo = toward_zero - (toward_zero > lo ? 1 : 0);
    return {static_cast<u64>(static_cast<std::int64_t>(hi) + static_cast<std::int64_t>(floor_lo)),
            lo - floor_lo, 0x1p-40};
}

// The D digits of a (finite, positive, normal) rounded as printf rounds,
// with the decimal exponent of the first; false when snprintf must
// convert it.
template <class F>
bool to_decimal(F a, u64 &digits, int &exponent)
{
    using Fm = Format<F>;
    // floor(log2(a) * log10(2)) (78913 / 2^18 is log10(2) to 8e-7): the
    // decimal exponent of a or one less; the threshold decides.
    const int binary = static_cast<int>(std::bit_cast<typename Fm::Bits>(a) >> Fm::fraction_bits) - Fm::bias;
    exponent = (binary * 78913) >> 18;
    const int k_most = Fm::digits - 1 - exponent;
    if (k_most < 1 || k_most > Fm::max_k) return false;
    exponent += a >= kNear10[static_cast<std::size_t>(exponent + 1 - kLowest10)];
    const Scaled x = scale(static_cast<double>(a), Fm::digits - 1 - exponent, F{});
    if (x.whole < kPow10[Fm::digits - 1] || x.whole >= kPow10[Fm::digits]) return false;  // a near 10^j
    if (std::fabs(x.frac - 0.5) <= x.eps) return false;
    digits = x.whole + (x.frac > 0.5);
    if (digits == kPow10[Fm::digits]) {  // 9.99... rounded up to 10.0...
        digits = kPow10[Fm::digits - 1];
        ++exponent;
    }
    return true;
}

// Two digits of v < 100.
void put_pair(char *p, std::uint32_t v) { std::memcpy(p, kPairs + 2 * v, 2); }

// Eight digits of v < 10^8, leading zeros included: y is v / 10^6 in
// fixed point with 32 fraction bits, rounded up (checked for every v), and
// each further pair of digits is the whole part of the fraction times 100.
void put_eight(char *p, std::uint32_t v)
{
    u64 y = (static_cast<u64>(v) * 281474977 >> 16) + 1;
    for (int i = 0; i < 8; i += 2) {
        put_pair(p + i, static_cast<std::uint32_t>(y >> 32));
        y = (y & 0xFFFFFFFF) * 100;
    }
}

// The D digits of v (10^(D-1) <= v < 10^D) for D = 9 or 17.
template <int D>
void put_all_digits(char *p, u64 v)
{
    const auto top = static_cast<std::uint32_t>(v / 100000000);
    put_eight(p + D - 8, static_cast<std::uint32_t>(v % 100000000));
    if constexpr (D == 9) {
        p[0] = static_cast<char>('0' + top);
    } else {
        p[0] = static_cast<char>('0' + top / 100000000);
        put_eight(p + 1, top % 100000000);
    }
}

// The number of digits without the trailing zeros.
template <int D>
int significant(const char *digits)
{
    int n = D;
    while (digits[n - 1] == '0') --n;
    return n;
}

// The %g form of D digits with the first at 10^e: without their trailing
// zeros, in plain form for e from -4 to D - 1, else with the exponent. The
// digits are written where they go, or one place to their right with the
// leading ones then moved left over the decimal point's place.
template <int D>
char *put_decimal(char *p, u64 digits, int e)
{
    if (e < -4 || e >= D) {
        put_all_digits<D>(p + 1, digits);
        const int n = significant<D>(p + 1);
        p[0] = p[1];
        p[1] = '.';
        p += n > 1 ? n + 1 : 1;
        *p++ = 'e';
        *p++ = e < 0 ? '-' : '+';
        const int u = e < 0 ? -e : e;
        if (u >= 100) *p++ = static_cast<char>('0' + u / 100);
        put_pair(p, static_cast<std::uint32_t>(u % 100));
        return p + 2;
    }
    if (e < 0) {
        std::memcpy(p, "0.0000", 6);
        p += 1 - e;
        put_all_digits<D>(p, digits);
        return p + significant<D>(p);
    }
    const int whole = e + 1;
    put_all_digits<D>(p + 1, digits);
    const int n = significant<D>(p + 1);
    for (int i = 0; i < whole; ++i) p[i] = p[i + 1];
    if (n <= whole) return p + whole;  // a whole number: its zeros included
    p[whole] = '.';
    return p + n + 1;
}

template <class F>
char *put(char *p, F value)
{
    constexpr int precision = Format<F>::digits;
    if (std::isnan(value)) {
        std::memcpy(p, "nan", 3);
        return p + 3;
    }
    u64 digits = 0;
    int exponent = 0;
    if (std::isnormal(value) && to_decimal(std::fabs(value), digits, exponent)) {
        *p = '-';
        p += std::signbit(value);
        return put_decimal<precision>(p, digits, exponent);
    }
    const int n = std::snprintf(p, kFloatTextMax, "%.*g", precision, static_cast<double>(value));
    return p + (n > 0 ? n : 0);
}

}  // namespace

char *put_float_text(char *p, float value) { return put(p, value); }
char *put_float_text(char *p, double value) { return put(p, value); }
