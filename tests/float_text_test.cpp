// Float texts of the table cells: the text of printf's %.9g (float32) and
// %.17g (float64) for values of every kind (random bit patterns across all
// exponents, data-like magnitudes, decimal fractions, powers of two, the
// edges of the fast paths and of the formats, exact rounding ties), and
// each reads back exactly. QRPHT_FORMAT_VALUES sets the number of random
// rounds (say 5000000 for a long run).
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <type_traits>

#include "float_text.h"

namespace {

template <class F>
void expect_printf_text(F value)
{
    char got[kFloatTextMax + 8];
    const std::string text(got, put_float_text(got, value));
    char want[64];
    std::snprintf(want, sizeof want, sizeof(F) == 4 ? "%.9g" : "%.17g", static_cast<double>(value));
    if (std::isnan(value)) {
        EXPECT_EQ(text, "nan");
        return;
    }
    ASSERT_EQ(text, want) << std::hexfloat << value;
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    const F back = sizeof(F) == 4 ? std::strtof(text.c_str(), nullptr) : std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(std::bit_cast<Bits>(back), std::bit_cast<Bits>(value)) << text;
}

}  // namespace

TEST(FloatText, PrintfTextThatReadsBackExactly)
{
    const float floats[] = {0.0f, -0.0f, 1e9f, 999999936.0f, 1e8f, 99999992.0f, 0.5f, 2.5f, 0.1f, 0.033f,
                            1e-26f, 1e-27f, 1e-5f, 1e-4f, FLT_MAX, FLT_MIN, FLT_TRUE_MIN,
                            INFINITY, -INFINITY, NAN, -NAN, 16777216.0f, 123456789.0f};
    const double doubles[] = {0.0, -0.0, 1e17, 99999999999999984.0, 1e16, 9999999999999998.0, 1e-6,
                              9.9999999999999995e-7, 0.1, 1.0 / 3, 2.08625, 316.757, DBL_MAX, DBL_MIN,
                              5e-324, INFINITY, -NAN, 4503599627370496.5, 0.30000000000000004};
    for (float f : floats) expect_printf_text(f);
    for (double d : doubles) expect_printf_text(d);

    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> decades(-20, 10);
    const char *env = std::getenv("QRPHT_FORMAT_VALUES");
    const long asked = env != nullptr ? std::strtol(env, nullptr, 10) : 0;
    const long rounds = asked > 0 ? asked : 50000;
    for (long i = 0; i < rounds; ++i) {
        const float data = static_cast<float>(std::pow(10.0, decades(random)));
        expect_printf_text(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
        expect_printf_text(std::bit_cast<double>(random()));
        expect_printf_text(i % 2 ? data : -data);
        expect_printf_text(3.338e14 * 6.25 * data);  // a flux density in mJy
        expect_printf_text(static_cast<float>(static_cast<double>(random() % 100000) / 1000));
        expect_printf_text(static_cast<double>(random() % 100000000) / 100);
        expect_printf_text(std::ldexp(1.0, static_cast<int>(random() % 400) - 200));
        expect_printf_text(std::ldexp(1.0f, static_cast<int>(random() % 200) - 100));
        // Exact ties at the last digit: an odd multiple of 2^-3 near 2^49
        // has 18 digits ending in 5, one near 2^20 has 10.
        const auto odd = static_cast<std::int64_t>(random() % 100000) * 2 + 1;
        expect_printf_text(std::ldexp(static_cast<double>((std::int64_t{1} << 52) + odd), -3));
        expect_printf_text(std::ldexp(static_cast<float>((1 << 23) + odd % 4096), -3));
        // Data-like values of every sign and magnitude a table holds.
        expect_printf_text(static_cast<float>(-std::pow(10.0, decades(random) - 20)));
    }
}
