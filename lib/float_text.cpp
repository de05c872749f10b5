// Exact %.9g and %.17g texts; see float_text.h.
//
// A positive value a = m * 2^q (m the significand as an integer) with
// decimal exponent e is scaled to x = a * 10^k, k = D - 1 - e, so that x
// has D integer digits (D = 9 for float32, 17 for float64); the digits are
// x rounded to the nearest integer, ties to even, as printf rounds. For
// k >= 0, x = m * 5^k * 2^(q + k) exactly: the product m * 5^k fits in 128
// bits while 5^k < 2^(128 - bits of m), and the binary shift splits it into
// the whole part and an exact remainder, so the rounding needs no error
// bound. Values that need k < 0 (a >= 10^D), very small ones and
// subnormals go to snprintf.
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

namespace {

using u64 = std::uint64_t;
__extension__ typedef unsigned __int128 u128;

constexpr auto kPow10 = [] {
    std::array<u64, 19> t{};
    u64 v = 1;
    for (u64 &x : t) {
        x = v;
        v *= 10;
    }
    return t;
}();

// 5^0 .. 5^44 (5^44 < 2^103).
constexpr int kMaxPow5 = 44;
constexpr auto kPow5 = [] {
    std::array<u128, kMaxPow5 + 1> t{};
    u128 v = 1;
    for (u128 &x : t) {
        x = v;
        v *= 5;
    }
    return t;
}();

// 10^j for j from kLowest10 to 22, within a few ulps (exact from 10^0 up):
// the thresholds of the decimal exponent. A value so close to a threshold
// that it gets the wrong exponent scales out of its D digits and goes to
// snprintf.
constexpr int kLowest10 = -40;
constexpr auto kNear10 = [] {
    std::array<double, 22 - kLowest10 + 1> t{};
    for (int j = kLowest10; j <= 22; ++j) {
        double p = 1;
        for (int n = j < 0 ? -j : j; n > 0; --n) p *= 10;  // exact up to 10^22
        t[static_cast<std::size_t>(j - kLowest10)] = j < 0 ? 1.0 / p : p;
    }
    return t;
}();

template <class F>
struct Format;
template <>
struct Format<float> {
    // m < 2^24, so m * 5^k fits in 128 bits for every k of the table.
    static constexpr int digits = 9, max_k = kMaxPow5, fraction_bits = 23, bias = 127;
    using Bits = std::uint32_t;
};
template <>
struct Format<double> {
    // m < 2^53: m * 5^k < 2^128 for 5^k < 2^75, k <= 32.
    static constexpr int digits = 17, max_k = 32, fraction_bits = 52, bias = 1023;
    using Bits = u64;
};

// The D digits of |value| rounded as printf rounds, with the decimal
// exponent of the first; false for zeros, subnormals, infinities, NaN and
// the values that snprintf must convert.
template <class F>
[[gnu::always_inline]] inline bool to_decimal(F value, u64 &digits, int &exponent)
{
    using Fm = Format<F>;
    constexpr int D = Fm::digits;
    const F a = std::fabs(value);
    const auto bits = std::bit_cast<typename Fm::Bits>(a);
    const int biased = static_cast<int>(bits >> Fm::fraction_bits);
    if (biased == 0) return false;  // zero or subnormal
    const u64 m = (bits & ((typename Fm::Bits{1} << Fm::fraction_bits) - 1)) |
                  (u64{1} << Fm::fraction_bits);
    const int q = biased - Fm::bias - Fm::fraction_bits;
    // floor(log2(a) * log10(2)) (78913 / 2^18 is log10(2) to 8e-7): the
    // decimal exponent of a or one less; the threshold decides.
    exponent = ((biased - Fm::bias) * 78913) >> 18;
    if (exponent + 1 < kLowest10 || exponent + 1 > 22) return false;  // infinities and NaN too
    exponent += a >= kNear10[static_cast<std::size_t>(exponent + 1 - kLowest10)];
    const int k = D - 1 - exponent;
    if (k < 0 || k > Fm::max_k) return false;
    const u128 product = m * kPow5[static_cast<std::size_t>(k)];
    const int s = q + k;  // x = product * 2^s
    u64 whole = 0;
    bool up = false;
    if (s >= 0) {
        if (s > 63) return false;  // far out of the D digits
        whole = static_cast<u64>(product << s);
    } else {
        if (s < -127) return false;
        const int shift = -s;
        const u128 w = product >> shift;
        const u128 rest = product - (w << shift);
        const u128 half = u128{1} << (shift - 1);
        whole = static_cast<u64>(w);
        // Ties to even: up when past the half, or at it with whole odd.
        up = rest + (whole & 1) > half;
    }
    if (whole < kPow10[D - 1] || whole >= kPow10[D]) return false;  // a near 10^j
    digits = whole + up;
    if (digits == kPow10[D]) {  // 9.99... rounded up to 10.0...
        digits = kPow10[D - 1];
        ++exponent;
    }
    return true;
}

// The exponent texts, "e-40" to "e+23": the exponents of the values
// to_decimal converts (the first digit's, rounding may add one).
constexpr auto kExponents = [] {
    std::array<std::array<char, 4>, 23 - kLowest10 + 1> t{};
    for (int e = kLowest10; e <= 23; ++e) {
        const int u = e < 0 ? -e : e;
        t[static_cast<std::size_t>(e - kLowest10)] = {'e', e < 0 ? '-' : '+', static_cast<char>('0' + u / 10),
                                                      static_cast<char>('0' + u % 10)};
    }
    return t;
}();

// The four digits of every v < 10^4 (leading zeros included), and the
// number of zeros they end with (4 for v = 0): a digit group is one load.
constexpr auto kQuads = [] {
    std::array<char, 4 * 10000> t{};
    for (int v = 0; v < 10000; ++v) {
        const auto at = static_cast<std::size_t>(4 * v);
        t[at] = static_cast<char>('0' + v / 1000);
        t[at + 1] = static_cast<char>('0' + v / 100 % 10);
        t[at + 2] = static_cast<char>('0' + v / 10 % 10);
        t[at + 3] = static_cast<char>('0' + v % 10);
    }
    return t;
}();
constexpr auto kQuadZeros = [] {
    std::array<unsigned char, 10000> t{};
    for (int v = 0; v < 10000; ++v) {
        int zeros = 0;
        for (int x = v; zeros < 4 && x % 10 == 0; x /= 10) ++zeros;
        t[static_cast<std::size_t>(v)] = static_cast<unsigned char>(zeros);
    }
    return t;
}();

// Writes the D digits of v (10^(D-1) <= v < 10^D) for D = 9 or 17, as
// the first digit and groups of four, leaving a gap of that many places
// (0 or 1, for a decimal point) behind the first; returns the number of
// digits without the trailing zeros.
template <int D>
[[gnu::always_inline]] inline int put_all_digits(char *p, u64 v, int gap = 0)
{
    static_assert(D == 9 || D == 17);
    constexpr int kGroups = (D - 1) / 4;
    // Eight digits at a time in 32 bits, their groups apart.
    const auto low = static_cast<std::uint32_t>(v % 100000000);
    const u64 top = v / 100000000;
    std::uint32_t groups[kGroups];
    groups[kGroups - 2] = low / 10000;
    groups[kGroups - 1] = low % 10000;
    std::uint32_t first = static_cast<std::uint32_t>(top);
    if constexpr (D == 17) {
        const std::uint32_t middle = first % 100000000;
        groups[0] = middle / 10000;
        groups[1] = middle % 10000;
        first /= 100000000;
    }
    p[0] = static_cast<char>('0' + first);
    for (int g = 0; g < kGroups; ++g) std::memcpy(p + 1 + gap + 4 * g, &kQuads[4 * groups[g]], 4);
    if (groups[kGroups - 1] != 0) return D - kQuadZeros[groups[kGroups - 1]];
    for (int g = kGroups - 2; g >= 0; --g)  // rare: the last group is 0000
        if (groups[g] != 0) return 1 + 4 * (g + 1) - kQuadZeros[groups[g]];
    return 1;
}

// The %g form of D digits with the first at 10^e: without their trailing
// zeros, in plain form for e from -4 to D - 1, else with the exponent.
// The digits are written where they go; for a plain form with a point,
// the ones behind it then move one place right in a single 16-byte copy.
template <int D>
char *put_decimal(char *p, u64 digits, int e)
{
    if (e < -4 || e >= D) {
        const int n = put_all_digits<D>(p, digits, 1);
        p[1] = '.';
        p += n > 1 ? n + 1 : 1;
        std::memcpy(p, &kExponents[static_cast<std::size_t>(e - kLowest10)], 4);
        return p + 4;
    }
    if (e < 0) {
        std::memcpy(p, "0.0000", 6);
        p += 1 - e;
        return p + put_all_digits<D>(p, digits);
    }
    const int whole = e + 1;
    const int n = put_all_digits<D>(p, digits);
    if (n <= whole) return p + whole;  // a whole number: its zeros included
    static_assert(D <= 17, "the digits behind the point fit in one 16-byte copy");
    char behind[16];
    std::memcpy(behind, p + whole, sizeof behind);
    std::memcpy(p + whole + 1, behind, sizeof behind);
    p[whole] = '.';
    return p + n + 1;
}

template <class F>
char *put(char *p, F value)
{
    constexpr int precision = Format<F>::digits;
    u64 digits = 0;
    int exponent = 0;
    if (to_decimal(value, digits, exponent)) [[likely]] {
        *p = '-';
        p += std::signbit(value);
        return put_decimal<precision>(p, digits, exponent);
    }
    if (std::isnan(value)) {
        std::memcpy(p, "nan", 3);
        return p + 3;
    }
    if (value == 0) {  // "0" or "-0"
        *p = '-';
        p += std::signbit(value);
        *p = '0';
        return p + 1;
    }
    const int n = std::snprintf(p, kFloatTextMax, "%.*g", precision, static_cast<double>(value));
    return p + (n > 0 ? n : 0);
}

}  // namespace

char *put_float_text(char *p, float value) { return put(p, value); }
char *put_float_text(char *p, double value) { return put(p, value); }
