// Angle formatting and coordinate parsing of the coordinate routines.
#include "coord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int kDegrees = 1;
constexpr int kHours = 2;
constexpr int kDecimal = 0;

std::string ddsex(double angle, int form, int islat, int precision)
{
    c_setprecision(precision);
    char buf[30];
    std::memset(buf, '#', sizeof buf);
    c_ddsex(angle, form, islat, buf);
    return buf;
}

struct AngleCase {
    double angle;
    int form;
    int islat;
    int precision;
    const char *text;
};

TEST(AngleFormat, LayoutsRoundingCarriesAndWraps)
{
    const AngleCase cases[] = {
        // the banner's precision
        {83.8221, kHours, 0, 5, "5h35m17.30s"},
        {-5.391111, kDegrees, 1, 5, "-5d23m28.0s"},  // fraction rounds to a whole second
        {0.0, kDegrees, 1, 5, "+0d00m00.0s"},
        {-0.0, kDegrees, 1, 5, "+0d00m00.0s"},
        {0.0, kHours, 0, 5, "0h00m00.00s"},
        {-1.0, kHours, 0, 5, "23h56m00.00s"},
        {-1.0, kDegrees, 1, 5, "-1d00m00.0s"},
        // every row of the degrees layout
        {12.258333, kDegrees, 1, 0, "+12d"},
        {12.258333, kDegrees, 1, 1, "+12d15m"},
        {12.258333, kDegrees, 1, 2, "+12d15m"},
        {12.258333, kDegrees, 1, 3, "+12d15m30s"},
        {12.258333, kDegrees, 1, 4, "+12d15m30s"},
        {12.258333, kDegrees, 1, 5, "+12d15m30.0s"},
        {12.258333, kDegrees, 1, 8, "+12d15m29.9988s"},
        {12.5, kDegrees, 1, 0, "+13d"},     // minutes 30 round the units up
        {12.2583, kDegrees, 1, 2, "+12d15m"},
        {12.2584, kDegrees, 1, 2, "+12d16m"},  // seconds 30.24 round the minutes up
        // every row of the hours layout
        {187.5, kHours, 0, 0, "12h30m"},
        {187.5, kHours, 0, 1, "12h30m"},
        {187.5, kHours, 0, 2, "12h30m00s"},
        {187.5, kHours, 0, 3, "12h30m00s"},
        {187.5, kHours, 0, 4, "12h30m00.0s"},
        {187.5, kHours, 0, 8, "12h30m00.00000s"},
        // decimal layout: degrees, never divided by 15
        {-12.5, kDecimal, 1, 5, "-12.50000d"},
        {-12.5, kDecimal, 0, 5, "347.50000d"},
        {12.5, kDecimal, 1, 0, "+12d"},
        {12.5, 7, 0, 2, "12.50d"},  // any other form is decimal
        // longitude wrap before formatting
        {-360.0, kDecimal, 0, 5, "0.00000d"},
        {720.25, kDecimal, 0, 2, "0.25d"},
        {-720.0, kDegrees, 0, 0, "0d"},
        // carries through to the wrap
        {359.6, kDegrees, 0, 0, "0d"},
        {359.9999999, kHours, 0, 5, "0h00m00.00s"},
        {89.99999999, kDegrees, 1, 5, "+90d00m00.0s"},  // no wrap below 360
        {-359.99999999, kDegrees, 1, 5, "-0d00m00.0s"},  // latitudes wrap at 360 too
        // longest texts below 360 degrees
        {-359.99, kDegrees, 1, 8, "-359d59m24.0000s"},
        {359.99, kHours, 0, 8, "23h59m57.60000s"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ddsex(c.angle, c.form, c.islat, c.precision), c.text)
            << "angle " << c.angle << " form " << c.form << " islat " << c.islat << " p "
            << c.precision;
    }
}

TEST(AngleFormat, NeverOverflowsACallersBuffer)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double huge[] = {1e300, -1e300, 3e9, -3e9, 1e15, nan, inf, -inf, 400.0, -1e-300};
    for (double a : huge)
        for (int form : {kDecimal, kDegrees, kHours})
            for (int islat : {0, 1})
                for (int p : {0, 3, 5, 8}) {
                    char buf[40];
                    std::memset(buf, '#', sizeof buf);
                    c_setprecision(p);
                    c_ddsex(a, form, islat, buf);
                    std::size_t n = std::strlen(buf);
                    EXPECT_LT(n, 30u) << a << " form " << form << " p " << p;
                    for (std::size_t i = n + 1; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#');
                }
    // Huge latitudes keep their digits up to the end of the buffer.
    EXPECT_EQ(ddsex(3e9, kDegrees, 1, 0), "+3000000000d");
    EXPECT_EQ(ddsex(400.0, kDegrees, 1, 0), "+400d");
}

TEST(AngleFormat, PrecisionIsClampedAndPersists)
{
    EXPECT_EQ(c_setprecision(-3), 0);
    EXPECT_EQ(c_setprecision(12), 8);
    EXPECT_EQ(c_setprecision(4), 4);
    char buf[30];
    c_ddsex(187.5, kHours, 0, buf);
    EXPECT_STREQ(buf, "12h30m00.0s");
    c_setprecision(8);
}

TEST(AngleFormat, NearestIntegerRoundsHalvesUp)
{
    EXPECT_EQ(c_nint(2.5), 3);
    EXPECT_EQ(c_nint(-2.5), -2);
    EXPECT_EQ(c_nint(2.4999), 2);
    EXPECT_EQ(c_nint(-2.6), -3);
    EXPECT_EQ(c_nint(1e20), std::numeric_limits<int>::max());
    EXPECT_EQ(c_nint(-1e20), std::numeric_limits<int>::min());
    EXPECT_EQ(c_nint(std::nan("")), 0);
}

}  // namespace
