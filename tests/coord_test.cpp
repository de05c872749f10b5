// Angle formatting and coordinate parsing of the coordinate routines.
#include "coord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
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

namespace {

struct CoordCase {
    const char *text;
    int islat;
    int isequ;
    int result;
    int status;
    double angle;       // degrees, when accepted
    const char *canon;  // canonical text at precision 5, when accepted
    int isdec;
};

constexpr double kUnset = -999.0;

void check_coord(const CoordCase &c)
{
    c_setprecision(5);
    char buf[30];
    std::strcpy(buf, "junk");
    int isdec = 7;
    double angle = kUnset;
    const int r = c_coord(c.text, c.islat, c.isequ, buf, &isdec, &angle);
    const std::string where = std::string("'") + c.text + "' islat " + std::to_string(c.islat) +
                              " isequ " + std::to_string(c.isequ);
    EXPECT_EQ(r, c.result) << where;
    EXPECT_EQ(c_status, c.status) << where << ": " << c_msg[c_status];
    if (c.result < 0) {
        EXPECT_STREQ(buf, "") << where;
        EXPECT_EQ(isdec, 0) << where;
        EXPECT_EQ(angle, kUnset) << where;  // not written
    } else {
        EXPECT_NEAR(angle, c.angle, 1e-9) << where;
        EXPECT_STREQ(buf, c.canon) << where;
        EXPECT_EQ(isdec, c.isdec) << where;
    }
}

TEST(CoordParse, AcceptedTextsWithTheirUnitsAndWarnings)
{
    const CoordCase cases[] = {
        {"12h34m56.7s", 0, 1, 0, 0, 188.73625, "12h34m56.70s", 0},
        {"12 h 34 m 56.7", 0, 1, 0, 0, 188.73625, "12h34m56.70s", 0},
        {"-12:34:56", 1, 1, 0, 0, -12.58222222222, "-12d34m56.0s", 0},
        {"  -  5d 30m  ", 1, 1, 0, 0, -5.5, "-5d30m00.0s", 0},
        {"12d34'56\"", 1, 1, 0, 0, 12.58222222222, "+12d34m56.0s", 0},
        {"12 30", 0, 1, 0, 0, 187.5, "12h30m00.00s", 0},  // undecided: hours for RA
        {"1h", 0, 1, 0, 0, 15.0, "1h00m00.00s", 0},
        {"30m", 1, 1, 0, 0, 0.5, "+0d30m00.0s", 0},
        {"90s", 1, 1, 0, 0, 0.025, "+0d01m30.0s", 0},  // one part: no carry
        {"30' 15\"", 1, 1, 0, 0, 30.25 / 60, "+0d30m15.0s", 0},
        {"+.5", 1, 1, 0, 0, 0.5, "+0d30m00.0s", 1},
        // plain numbers: hours for an equatorial longitude, else degrees
        {"12.5", 0, 1, 0, 0, 187.5, "12h30m00.00s", 0},
        {"12.5", 1, 1, 0, 0, 12.5, "+12d30m00.0s", 1},
        {"187.5", 0, 0, 0, 0, 187.5, "187.50000d", 1},
        {"12d", 0, 0, 0, 0, 12.0, "12.00000d", 1},
        {"-12.5d", 1, 0, 0, 0, -12.5, "-12.50000d", 1},
        // warnings and notes
        {"12:60:00", 1, 1, 1, 4, 13.0, "+13d00m00.0s", 0},
        {"-10", 0, 1, 1, 3, 210.0, "14h00m00.00s", 0},
        {"-24", 0, 1, 1, 3, 0.0, "0h00m00.00s", 0},  // lands on 24h: that is 0h
        {"30", 0, 1, 0, 2, 90.0, "6h00m00.00s", 0},
        {"400", 0, 0, 0, 2, 40.0, "40.00000d", 1},
        {"-400", 0, 0, 1, 3, 320.0, "320.00000d", 1},
        {"0.0000000000000001", 1, 1, 1, 1, 1e-16, "+0d00m00.0s", 1},
        {"12d30m", 0, 0, 1, 5, 12.5, "12.50000d", 0},
        {"12d61m", 0, 0, 1, 5, 13.0 + 1.0 / 60, "13.01667d", 0},  // 4 and 5: highest shown
    };
    for (const auto &c : cases) check_coord(c);
}

TEST(CoordParse, RejectedTexts)
{
    const CoordCase cases[] = {
        {"12h34m56.7s", 1, 1, -1, 6, 0, "", 0},
        {"50", 0, 1, -1, 7, 0, "", 0},
        {"-48", 0, 1, -1, 7, 0, "", 0},
        {"720", 0, 0, -1, 7, 0, "", 0},
        {"95", 1, 1, -1, 8, 0, "", 0},
        {"-90.0001", 1, 0, -1, 8, 0, "", 0},
        {"", 0, 1, -1, 10, 0, "", 0},
        {"   \t ", 0, 1, -1, 10, 0, "", 0},
        {"12.3.4", 0, 1, -1, 10, 0, "", 0},
        {"12x", 0, 1, -1, 10, 0, "", 0},
        {"1.5 30", 0, 1, -1, 10, 0, "", 0},
        {"12h30.5m15s", 0, 1, -1, 10, 0, "", 0},  // a point before the last part
        {"12 34 56 78", 0, 1, -1, 10, 0, "", 0},
        {"12:34:56:", 0, 1, -1, 10, 0, "", 0},
        {"12:", 0, 1, -1, 10, 0, "", 0},
        {"12h34s", 0, 1, -1, 10, 0, "", 0},
        {"12h34m56.7s extra", 0, 1, -1, 10, 0, "", 0},
        {"12h x", 0, 1, -1, 10, 0, "", 0},
        {"5.", 1, 1, -1, 10, 0, "", 0},  // no digit by the digit count
        {".", 1, 1, -1, 10, 0, "", 0},
        {"+", 1, 1, -1, 10, 0, "", 0},
        {"--5", 1, 1, -1, 10, 0, "", 0},
        {"5-", 1, 1, -1, 10, 0, "", 0},
    };
    for (const auto &c : cases) check_coord(c);
    c_coord("95", 1, 1, nullptr, nullptr, nullptr);
    EXPECT_STREQ(c_msg[c_status], "Latitude >+90d or <-90d");
    c_coord("12x", 1, 1, nullptr, nullptr, nullptr);
    EXPECT_STREQ(c_msg[c_status], "Invalid input");
}

TEST(CoordParse, OverlongNumbersAreRejectedNotAccepted)
{
    // A part beyond the range of a double gives an infinite value whose
    // carry is not a number; it is out of range, never accepted.
    const std::string huge_minutes = "0:1" + std::string(400, '0');
    const std::string huge = "1" + std::string(400, '0');
    const CoordCase cases[] = {
        {huge_minutes.c_str(), 1, 1, -1, 8, 0, "", 0},
        {huge_minutes.c_str(), 0, 0, -1, 7, 0, "", 0},
        {huge.c_str(), 1, 0, -1, 8, 0, "", 0},
    };
    for (const auto &c : cases) check_coord(c);
}

TEST(CoordParse, BlockForm)
{
    // Before the switch is set, a block is a plain number.
    EXPECT_EQ(c_blockhdms(0), 0);
    check_coord({"1234507.8", 0, 0, -1, 7, 0, "", 0});
    EXPECT_EQ(c_blockhdms(1), 1);
    EXPECT_EQ(c_blockhdms(0), 1);  // cannot be cleared
    const CoordCase cases[] = {
        {"1234507.8", 0, 0, 1, 5, 123 + 45 / 60.0 + 7.8 / 3600, "123.75217d", 0},
        {"1234567.8", 0, 0, 1, 5, 123 + 46 / 60.0 + 7.8 / 3600, "123.76883d", 0},
        {"-123456", 1, 1, 0, 0, -(12 + 34 / 60.0 + 56 / 3600.0), "-12d34m56.0s", 0},
        {"12345.5", 0, 1, 0, 0, 15 * (1 + 23 / 60.0 + 45.5 / 3600), "1h23m45.50s", 0},
        {"12345678", 0, 0, -1, 7, 0, "", 0},  // eight digits: no block
        {"1234", 1, 0, -1, 8, 0, "", 0},  // four digits: a plain number
    };
    for (const auto &c : cases) check_coord(c);
}

TEST(CoordParse, BlockConversion)
{
    double d = 0, m = 0, s = 0;
    EXPECT_EQ(c_convertblock("1234567.8", &d, &m, &s), 0);
    EXPECT_EQ(d, 123);
    EXPECT_EQ(m, 45);
    EXPECT_DOUBLE_EQ(s, 67.8);
    EXPECT_EQ(c_convertblock("-123456", &d, &m, &s), 0);  // a leading sign is skipped
    EXPECT_EQ(d, 12);
    EXPECT_EQ(m, 34);
    EXPECT_EQ(s, 56);
    EXPECT_EQ(c_convertblock("12345", &d, &m, &s), 0);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(c_convertblock("1234.5", &d, &m, &s), -1);
    EXPECT_EQ(c_convertblock("12345678", &d, &m, &s), -1);
    EXPECT_EQ(c_convertblock("12a4567", &d, &m, &s), -1);
    EXPECT_EQ(c_convertblock("", &d, &m, &s), -1);
}

TEST(CoordParse, TextsCutShortAreNeverReadPastTheirEnd)
{
    // Every prefix of these texts, each in a heap block of exactly its
    // size, so that the sanitizer build catches a read past the end.
    const char *texts[] = {"-12h34m56.789s", "+12d 34' 56.7\"", " 12 : 34 : 56 ",
                           "1234567.8",      "0.0000000000000001", "12.3.4x"};
    for (const char *t : texts) {
        const std::size_t len = std::strlen(t);
        for (std::size_t n = 0; n <= len; ++n)
            for (int islat : {0, 1})
                for (int isequ : {0, 1}) {
                    auto cut = std::make_unique<char[]>(n + 1);
                    std::memcpy(cut.get(), t, n);
                    cut[n] = '\0';
                    char buf[30];
                    int isdec = 0;
                    double angle = 0;
                    const int r = c_coord(cut.get(), islat, isequ, buf, &isdec, &angle);
                    EXPECT_TRUE(r == -1 ? c_status >= 6 : c_status <= 5) << cut.get();
                    EXPECT_LT(std::strlen(buf), 30u);
                }
    }
}

TEST(CoordParse, SystemNamesAndCaselessCompare)
{
    struct SysCase {
        const char *name;
        char equinox;
        int code;
    };
    const SysCase systems[] = {
        {"equatorial", 'J', 0}, {"  Eq  ", 'B', 1},   {"eq", 'X', -1},
        {"Gal", 'J', 2},        {"GALACTIC", 'B', 2}, {"ec", 'J', 13},
        {"ecl", 'B', 3},        {"ec", 'X', -1},      {"e", 'J', -1},
        {"sgal", 'J', 4},       {"su", 'J', 4},       {"supergalactic", 'B', 4},
        {"s", 'J', -1},         {"", 'J', -1},        {"   ", 'J', -1},
        {"equatorialx", 'J', -1}, {"gx", 'J', -1},    {"g alactic", 'J', -1},
    };
    for (const auto &s : systems) EXPECT_EQ(c_sys(s.name, s.equinox), s.code) << s.name;

    EXPECT_EQ(c_strncasecmp("abc", "ABD", 3), -1);
    EXPECT_EQ(c_strncasecmp("abd", "ABC", 3), 1);
    EXPECT_EQ(c_strncasecmp("abc", "ABC", 3), 0);
    EXPECT_EQ(c_strncasecmp("abc", "abd", 2), 0);
    EXPECT_EQ(c_strncasecmp("ab", "abc", 3), -1);  // the end compares like a character
    EXPECT_EQ(c_strncasecmp("ab", "AB", 10), 0);   // equal texts end the compare
}

}  // namespace
