// text_format formats listing numbers on a fast path of its own; every listing
// must still read exactly as the C library's printf writes it. These tests
// compare text_format with snprintf over random values of every kind (all bit
// patterns, single-precision values, decimal rounding ties, NaN, infinities,
// zeros and both signs) in every numeric format the listings use, plus
// formats that go to the C library instead.
//
// The default run checks 40000 values per format (about a second); set
// QRPHT_FORMAT_VALUES to a larger count (say 5000000) for a long run.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "text_format.h"

namespace {

std::string c_format(const char *fmt, double v)
{
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, fmt, v);
    return std::string(buf, static_cast<std::size_t>(n));
}

// The C library's own text of any length.
__attribute__((format(printf, 1, 2))) std::string c_printf(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    return text;
}

long value_count()
{
    const char *env = std::getenv("QRPHT_FORMAT_VALUES");
    long n = env != nullptr ? std::strtol(env, nullptr, 10) : 0;
    return n > 0 ? n : 40000;
}

// Random doubles of several kinds, cycling through them.
class Values {
public:
    explicit Values(std::uint64_t seed) : rng_(seed) {}

    double next()
    {
        switch (kind_++ % 6) {
        case 0: return bits();
        case 1: return single();
        case 2: return tie();
        case 3: return spread();
        case 4: return near_integer();
        default: return special();
        }
    }

private:
    // Any bit pattern: every exponent, subnormals, NaNs of both signs.
    double bits()
    {
        std::uint64_t u = rng_();
        double d;
        std::memcpy(&d, &u, sizeof d);
        return d;
    }

    // Record values are single precision widened to double.
    double single()
    {
        std::uint32_t u = static_cast<std::uint32_t>(rng_());
        float f;
        std::memcpy(&f, &u, sizeof f);
        return f;
    }

    // The double nearest to a decimal rounding tie such as 1.235e-07 or
    // 12.34565: the hardest values for any rounding shortcut.
    double tie()
    {
        std::uniform_int_distribution<int> ndigits(1, 11), exp(-30, 30);
        int n = ndigits(rng_);
        std::string digits;
        for (int i = 0; i < n; ++i) digits += static_cast<char>('0' + rng_() % 10);
        char text[64];
        std::snprintf(text, sizeof text, "%s%c.%s5e%d", rng_() % 2 ? "-" : "",
                      static_cast<char>('1' + rng_() % 9), digits.c_str(), exp(rng_));
        double d = std::strtod(text, nullptr);
        switch (rng_() % 3) {  // the tie itself or one of its neighbours
        case 0: return std::nextafter(d, 0.0);
        case 1: return std::nextafter(d, 1e300);
        default: return d;
        }
    }

    // Magnitudes spread evenly over 1e-20 .. 1e20, both signs.
    double spread()
    {
        std::uniform_real_distribution<double> e(-20, 20);
        double v = std::pow(10.0, e(rng_));
        return rng_() % 2 ? -v : v;
    }

    // Values with few binary digits: exact ties of the fixed formats
    // (0.125, 2.5, 1234.56785) and integers around 100000.
    double near_integer()
    {
        std::uniform_int_distribution<int> k(-2000000, 2000000), shift(0, 12);
        return std::ldexp(static_cast<double>(k(rng_)), -shift(rng_));
    }

    double special()
    {
        static const double table[] = {
            0.0, -0.0, std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(), 100000.0, -100000.0, 99999.99995,
            9.995, 0.0005, 1e-290, 1e290, 9.9999999e-291, 5e-324, 1.7976931348623157e308,
            0.5, 1.5, 2.5, -0.5, 1e-5, 1e-4, 999999.5, 1e15, 123456.789,
        };
        return table[rng_() % (sizeof table / sizeof table[0])];
    }

    std::mt19937_64 rng_;
    unsigned kind_ = 0;
};

// Every numeric format of the listings, and neighbours of them.
const char *const kFloatFormats[] = {
    "%8.2e", "%8.4f", "%7.4f", "%7.2f", "%8.2f", "%9.4f", "%10.3f", "%g",
    "%e",    "%f",    "%.0f",  "%.0e",  "%.1g",  "%.3g",  "%.9e",   "%.9f",
    "%.10g", "%-12.3e", "%-9.1f", "%-7.1f", "%.12e", "%.15g", "%20.11f",
};

}  // namespace

TEST(FormatEquivalence, FloatingFormatsMatchTheCLibrary)
{
    const long count = value_count();
    for (const char *fmt : kFloatFormats) {
        Values values(std::hash<std::string>{}(fmt));
        int failures = 0;
        for (long i = 0; i < count && failures < 10; ++i) {
            double v = values.next();
            std::string fast = text_format(fmt, v);
            std::string ref = c_format(fmt, v);
            if (fast != ref) {
                ++failures;
                std::uint64_t bits;
                std::memcpy(&bits, &v, sizeof bits);
                ADD_FAILURE() << fmt << " of " << std::hexfloat << v << " (0x" << std::hex
                              << bits << "): got \"" << fast << "\", printf \"" << ref << "\"";
            }
        }
    }
}

TEST(FormatEquivalence, WholeListingLines)
{
    Values values(7);
    const std::string label(60, 'L');
    for (int i = 0; i < 2000; ++i) {
        double v[9];
        for (double &x : v) x = values.next();
        char ref[1024];
        std::snprintf(ref, sizeof ref, "%8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e\n",
                      v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
        ASSERT_EQ(text_format("%8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e %8.2e\n", v[0],
                            v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]),
                  ref);
        int n = (i * 7919) % 2000003 - 1000000;
        std::snprintf(ref, sizeof ref, "%.47s= %8d             %s\n%.47s= (%g,%g)  %s%%|%-6d|%c|",
                      label.c_str(), n, "(PCAPNBCK)", "Right", v[1], v[2], "(PCAPOFF)", -n % 1000,
                      'x');
        ASSERT_EQ(text_format("%.47s= %8d             %s\n%.47s= (%g,%g)  %s%%|%-6d|%c|",
                            label.c_str(), n, "(PCAPNBCK)", "Right", v[1], v[2], "(PCAPOFF)",
                            -n % 1000, 'x'),
                  ref);
    }
}

TEST(FormatEquivalence, SpecificationsLeftToTheCLibrary)
{
    // Flags, length modifiers, star widths and other conversions are not on
    // the fast path; each must come out as printf writes it all the same,
    // also when it is the only conversion of its format.
    char ref[256];
#define EXPECT_LIKE_PRINTF(...) EXPECT_EQ(text_format(__VA_ARGS__), c_printf(__VA_ARGS__))
    EXPECT_LIKE_PRINTF("%+d", 42);
    EXPECT_LIKE_PRINTF("%05d|", -42);
    EXPECT_LIKE_PRINTF("%08.3f|", -3.14159);
    EXPECT_LIKE_PRINTF("%5.3d", 7);
    EXPECT_LIKE_PRINTF("%ld", 123456789012L);
    EXPECT_LIKE_PRINTF("%zu", static_cast<std::size_t>(500));
    EXPECT_LIKE_PRINTF("%x|%u", 255, 7u);
    EXPECT_LIKE_PRINTF("%*d|%.*f", 6, 3, 2, 1.0 / 3);
    EXPECT_LIKE_PRINTF("%#g|% e|%+.2e", 1.0, 2.5, 3.0);
    EXPECT_LIKE_PRINTF("%1234567d|", 1);
    // Widths beyond the in-place padding, and long texts.
    EXPECT_LIKE_PRINTF("%100d|%-70.3f|%70s|%-66.2e|", -5, 2.5, "x", 1e-300);
    EXPECT_LIKE_PRINTF("%3c|%-3c|%.0e|%.f|%.3s|", 'z', 'y', 9.5, 2.5, "abcdef");
#undef EXPECT_LIKE_PRINTF
    const char *volatile ignored_zero = "%-05d|";  // '0' flag ignored behind '-'
    std::snprintf(ref, sizeof ref, ignored_zero, 42);
    EXPECT_EQ(text_format(ignored_zero, 42), ref);

    const char *volatile none = nullptr;
    std::snprintf(ref, sizeof ref, "%s|%8.2e", static_cast<const char *>(none), 1.0);
    EXPECT_EQ(text_format("%s|%8.2e", static_cast<const char *>(none), 1.0), ref);
    EXPECT_EQ(text_format("%d%%%-3s|%3c|%-8.2e|", -2147483647 - 1, "ab", 'z', -1.5),
              "-2147483648%ab |  z|-1.50e+00|");
    const std::string longer(1000, 'y');  // longer than any internal buffer
    EXPECT_EQ(text_format("%s%x", longer.c_str(), 10u), longer + "a");
    EXPECT_EQ(text_format("%s|%d", longer.c_str(), 12), longer + "|12");
}
