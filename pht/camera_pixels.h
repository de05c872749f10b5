// Camera pixels: the arrangement of detector pixels on the sky and the J2000
// position of every pixel (the product model derives the positions of each
// record with them), and the pixel tables of the camera listing with their
// choice between fixed and %g formats. Every table function returns the
// text it makes; the caller writes it.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "product.h"

// Element indices (pixel number - 1) of each table row, top row first, as
// the detector lies on the sky: C100 rows (3 6 9) (2 5 8) (1 4 7), C200
// rows (3 4) (2 1).
struct PixelLayout {
    int size;  // rows and columns: 3 for C100, 2 for C200
    std::array<std::array<int, 3>, 3> element;
};
const PixelLayout &pixel_layout(Detector detector);

// The values of one table row: elements of field in the order of layout
// row `row` (0-based).
std::vector<double> layout_row(const PixelLayout &layout, int row, const float *field);

// Whether a row of values is written in %g rather than its fixed format.
// PCAE and PCAS rows stay fixed while one value is below 100000 in
// magnitude; PCAP rows switch to %g as soon as one value exceeds
// pcap_threshold. Comparisons with NaN are false.
inline constexpr double kFormatSwitch = 100000.0;
bool row_uses_g(ProductType product, std::span<const double> row,
                double pcap_threshold = kFormatSwitch);

// Verbose table of a floating pixel column: the rows of the detector's
// arrangement (nothing without a detector). srce_c100_rule applies the
// lower 10000 switch of the PCAP source column on C100; extra_blank_line
// ends a C100 table with an empty line.
std::string float_pixel_rows(ProductType product, Detector detector, const float *field,
                             bool srce_c100_rule, bool extra_blank_line);
// Verbose PCAS status table: C100 arrangement, "%8d" values.
std::string status_rows(const int32_t *field);
// Verbose PCAS fill values: one row of three, then an empty line.
std::string fill_row(const int32_t *field);
// Verbose PCAP cycle counts: element order, three per row.
std::string cycle_rows(const int32_t *field);

// Normal-listing block of PCAE or PCAP: OFF #1, ON+OFF and OFF #2 side by
// side, intensities then uncertainties. Empty without a detector.
struct IntensityFields {
    const float *b1, *spb, *b2;
    const float *b1u, *spbu, *b2u;
};
std::string intensity_tables(ProductType product, Detector detector, const IntensityFields &f);
// Normal-listing block of PCAS: surface brightness and its uncertainty.
std::string brightness_tables(const float *brgt, const float *brgu);

// J2000 position of pixel (row l, column m), both 1-based from the top left,
// of a detector centred on ra, dec (degrees) with roll angle phi (degrees).
// The pixel's offset, rotated by the roll, is taken as small arcs east and
// north of the centre; over the few arcminutes of a detector this agrees
// with the exact gnomonic projection to 0.00002 degrees up to |dec| 80
// (0.0002 degrees at |dec| 89).
SkyPosition pixel_position(Detector detector, int l, int m, double ra, double dec, double phi);
// The positions of every pixel of the detector, row by row from the top
// left; none without a detector.
std::vector<SkyPosition> pixel_positions(Detector detector, const Pointing &pointing);
// The coordinate block of a record; empty without pixels.
std::string pixel_coordinates(const std::vector<SkyPosition> &pixels);
