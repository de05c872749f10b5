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

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

// The D digits of a (finite, positive, normal) rounded as printf rounds,
// with the decimal exponent of the first; false when snprintf must
// convert it.
template <class F>
[[gnu::always_inline]] inline bool to_decimal(F a, u64 &digits, int &exponent)
{
    using Fm = Format<F>;
    constexpr int D = Fm::digits;
    const auto bits = std::bit_cast<typename Fm::Bits>(a);
    const int biased = static_cast<int>(bits >> Fm::fraction_bits);
    const u64 m = (bits & ((typename Fm::Bits{1} << Fm::fraction_bits) - 1)) |
                  (u64{1} << Fm::fraction_bits);
    const int q = biased - Fm::bias - Fm::fraction_bits;
    // floor(log2(a) * log10(2)) (78913 / 2^18 is log10(2) to 8e-7): the
    // decimal exponent of a or one less; the threshold decides.
    exponent = ((biased - Fm::bias) * 78913) >> 18;
    if (exponent + 1 < kLowest10 || exponent + 1 > 22) return false;
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

// Two digits of v < 100.
void put_pair(char *p, std::uint32_t v) { std::memcpy(p, kPairs + 2 * v, 2); }

// The eight decimal digits of v < 10^8 as byte values 0-9, the first in
// the lowest byte: v is split into two lanes of four digits, each lane
// into two of two, each of those into two digits, every lane divided by
// a multiplication (x * 5243 >> 19 is x / 100 for x < 43699, x * 103 >> 10
// is x / 10 for x < 179) and the lanes kept apart by masks.
[[gnu::always_inline]] inline u64 eight_digits(std::uint32_t v)
{
    static_assert(std::endian::native == std::endian::little, "digits are stored low byte first");
    u64 x = v / 10000 | static_cast<u64>(v % 10000) << 32;
    const u64 hundreds = (x * 5243 >> 19) & 0x0000007F0000007F;
    x = hundreds | (x - hundreds * 100) << 16;
    const u64 tens = (x * 103 >> 10) & 0x000F000F000F000F;
    return tens | (x - tens * 10) << 8;
}

// The number of zero digits at the end of eight_digits' value.
int trailing_zeros(u64 digits) { return digits == 0 ? 8 : std::countl_zero(digits) / 8; }

// Writes the D digits of v (10^(D-1) <= v < 10^D) for D = 9 or 17 and
// returns their number without the trailing zeros.
template <int D>
[[gnu::always_inline]] inline int put_all_digits(char *p, u64 v)
{
    constexpr u64 kZeros = 0x3030303030303030;
    const u64 low = eight_digits(static_cast<std::uint32_t>(v % 100000000));
    const u64 top = v / 100000000;
    const int low_zeros = trailing_zeros(low);
    const u64 low_text = low | kZeros;
    std::memcpy(p + D - 8, &low_text, 8);
    if constexpr (D == 9) {
        p[0] = static_cast<char>('0' + top);
        return low == 0 ? 1 : D - low_zeros;
    } else {
        const u64 middle = eight_digits(static_cast<std::uint32_t>(top % 100000000));
        p[0] = static_cast<char>('0' + top / 100000000);
        const u64 text = middle | kZeros;
        std::memcpy(p + 1, &text, 8);
        if (low != 0) return D - low_zeros;
        return middle == 0 ? 1 : 9 - trailing_zeros(middle);
    }
}

// The %g form of D digits with the first at 10^e: without their trailing
// zeros, in plain form for e from -4 to D - 1, else with the exponent.
// The digits are written where they go; for a plain form with a point,
// the ones behind it then move one place right in a single 16-byte copy.
template <int D>
char *put_decimal(char *p, u64 digits, int e)
{
    if (e < -4 || e >= D) {
        const int n = put_all_digits<D>(p + 1, digits);
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
