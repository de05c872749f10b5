// Pixel geometry of the camera listing: sky positions of the detector
// pixels, the arrangement of pixel tables, and the fixed/%g choice per row.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "camera_pixels.h"
#include "text_format.h"

namespace {

std::string position_text(Detector d, int l, int m, double ra, double dec, double phi)
{
    SkyPosition p = pixel_position(d, l, m, ra, dec, phi);
    return text_format("(%9.4f, %9.4f)", p.ra, p.dec);
}

const float kOneToNine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

}  // namespace

TEST(CameraCoordinates, C100GridOnTheEquator)
{
    EXPECT_EQ(pixel_coordinates(pixel_positions(Detector::c100, {10.0, 0.0, 0.0})),
              "\n\nJ2000 Pixel coordinates (RA/Dec in degrees)\n"
              "(   9.9872,    0.0127)  (  10.0000,    0.0127)  (  10.0128,    0.0127)  \n"
              "(   9.9872,    0.0000)  (  10.0000,    0.0000)  (  10.0128,    0.0000)  \n"
              "(   9.9872,   -0.0127)  (  10.0000,   -0.0127)  (  10.0128,   -0.0127)  \n"
              "\n\n");
}

TEST(CameraCoordinates, C200RolledWrapsNegativeRightAscension)
{
    EXPECT_EQ(pixel_coordinates(pixel_positions(Detector::c200, {0.0, 0.0, 90.0})),
              "\n\nJ2000 Pixel coordinates (RA/Dec in degrees)\n"
              "(   0.0131,    0.0131)  (   0.0131,   -0.0131)  \n"
              "( 359.9869,    0.0131)  ( 359.9869,   -0.0131)  \n"
              "\n\n");
}

TEST(CameraCoordinates, OnlyTheEastwardOffsetIsDividedByTheDeclinationCosine)
{
    // Roll 30: centre stays, the top-left pixel moves.
    EXPECT_EQ(position_text(Detector::c100, 2, 2, 180.0, 60.0, 30.0), "( 180.0000,   60.0000)");
    EXPECT_EQ(position_text(Detector::c100, 1, 1, 180.0, 60.0, 30.0), "( 179.9907,   60.0174)");
    // Straight above and below the centre the right ascension is the
    // centre's, whatever the right ascension and declination.
    EXPECT_EQ(position_text(Detector::c100, 1, 2, 180.0, 60.0, 0.0), "( 180.0000,   60.0127)");
    EXPECT_EQ(position_text(Detector::c100, 3, 2, 180.0, 60.0, 0.0), "( 180.0000,   59.9873)");
}

TEST(CameraCoordinates, RightAscensionAbove360WrapsOnce)
{
    SkyPosition p = pixel_position(Detector::c100, 2, 3, 359.995, 0.0, 0.0);
    EXPECT_NEAR(p.ra, 359.995 + 0.01275 - 360.0, 1e-9);
    EXPECT_EQ(pixel_coordinates(pixel_positions(Detector::none, {10.0, 0.0, 0.0})), "");
}

TEST(CameraPixelTables, ArrangementsFollowTheDetectorDiagram)
{
    EXPECT_EQ(float_pixel_rows(ProductType::pcae, Detector::c100, kOneToNine, false, false),
              "  3.0000   6.0000   9.0000\n"
              "  2.0000   5.0000   8.0000\n"
              "  1.0000   4.0000   7.0000\n");
    EXPECT_EQ(float_pixel_rows(ProductType::pcae, Detector::c200, kOneToNine, false, true),
              "  3.0000   4.0000\n"
              "  2.0000   1.0000\n");
    // The last table of a C100 record closes with an empty line.
    EXPECT_EQ(float_pixel_rows(ProductType::pcap, Detector::c100, kOneToNine, false, true).substr(81),
              "\n");
    EXPECT_EQ(float_pixel_rows(ProductType::pcap, Detector::none, kOneToNine, false, false), "");

    const int32_t ints[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(cycle_rows(ints), "       1        2        3\n"
                                "       4        5        6\n"
                                "       7        8        9\n");
    EXPECT_EQ(status_rows(ints), "       3        6        9\n"
                                 "       2        5        8\n"
                                 "       1        4        7\n");
    EXPECT_EQ(fill_row(ints), "       1        2        3\n\n");
}

TEST(CameraPixelTables, RowFormatSwitches)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double mixed[3] = {5.0, 150000.0, 250000.0};
    // PCAE and PCAS stay fixed while one value is small; PCAP switches as
    // soon as one is large.
    EXPECT_FALSE(row_uses_g(ProductType::pcae, mixed));
    EXPECT_FALSE(row_uses_g(ProductType::pcas, mixed));
    EXPECT_TRUE(row_uses_g(ProductType::pcap, mixed));
    // Exactly 100000: %g for PCAE/PCAS, fixed for PCAP.
    const double edge[1] = {100000.0};
    EXPECT_TRUE(row_uses_g(ProductType::pcas, edge));
    EXPECT_FALSE(row_uses_g(ProductType::pcap, edge));
    // NaN compares false: %g for PCAE/PCAS, fixed for PCAP.
    const double nans[2] = {nan, nan};
    EXPECT_TRUE(row_uses_g(ProductType::pcae, nans));
    EXPECT_FALSE(row_uses_g(ProductType::pcap, nans));

    // The PCAP C100 source table switches at 10000, the others at 100000.
    const float source[9] = {1, 2, 3, 4, 5, 25000, 7, 8, 9};
    EXPECT_EQ(float_pixel_rows(ProductType::pcap, Detector::c100, source, true, false),
              "3 25000 9\n"
              "  2.0000   5.0000   8.0000\n"
              "  1.0000   4.0000   7.0000\n");
    EXPECT_EQ(float_pixel_rows(ProductType::pcap, Detector::c100, source, false, false).substr(0, 29),
              "  3.0000 25000.0000   9.0000\n");
    EXPECT_EQ(float_pixel_rows(ProductType::pcap, Detector::c200, source, true, false),
              "  3.0000   4.0000\n"
              "  2.0000   1.0000\n");
}

TEST(CameraPixelTables, NormalPcapC100RowSpacing)
{
    float b1[9], spb[9], b2[9], u[9];
    for (int i = 0; i < 9; ++i) {
        b1[i] = static_cast<float>(i + 1);
        spb[i] = static_cast<float>(i + 11);
        b2[i] = static_cast<float>(i + 21);
        u[i] = 0.5f;
    }
    spb[4] = 150000.0f;  // row 2 of the C100 arrangement
    std::string text = intensity_tables(ProductType::pcap, Detector::c100, {b1, spb, b2, u, u, u});
    EXPECT_EQ(text.substr(0, text.find("\n                             Pixel Uncertainty of\n")),
              "\n                              Pixel Intensity of\n"
              "     OFF #1 (MJy/ster)            ON+OFF (Jy)            OFF #2 (MJy/ster)\n"
              "  3.0000   6.0000   9.0000    13.0000  16.0000  19.0000    23.0000  26.0000  29.0000\n"
              "2 5 8  12 150000 18   22 25 28\n"
              "  1.0000   4.0000   7.0000   11.0000  14.0000  17.0000   21.0000  24.0000  27.0000\n");
    EXPECT_EQ(intensity_tables(ProductType::pcae, Detector::none, {b1, spb, b2, u, u, u}), "");
}

TEST(CameraPixelTables, NormalPcaeC200Tables)
{
    const float half[9] = {0.5f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0};
    EXPECT_EQ(intensity_tables(ProductType::pcae, Detector::c200,
                               {kOneToNine, kOneToNine, kOneToNine, half, half, half}),
              "\n                   Pixel Intensity of\n"
              "OFF #1 (MJy/ster)  ON+OFF (MJy/ster)  OFF #2 (MJy/ster)\n"
              " 3.0000  4.0000    3.0000  4.0000    3.0000  4.0000\n"
              " 2.0000  1.0000    2.0000  1.0000    2.0000  1.0000\n"
              "\n                 Pixel Uncertainty of\n"
              "OFF #1 (MJy/ster)  ON+OFF (MJy/ster)  OFF #2 (MJy/ster)  \n"
              " 0.5000  0.5000    0.5000  0.5000    0.5000  0.5000\n"
              " 0.5000  0.5000    0.5000  0.5000    0.5000  0.5000\n");
}
