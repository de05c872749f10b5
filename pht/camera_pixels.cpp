// Pixel tables and pixel sky positions of the camera listing; see
// camera_pixels.h. Tables follow the detector diagram at the head of the
// measurement section; all arithmetic is in double precision.
#include "camera_pixels.h"

#include <cmath>

#include "text_format.h"

namespace {

constexpr PixelLayout kC100Layout{3, {{{2, 5, 8}, {1, 4, 7}, {0, 3, 6}}}};
constexpr PixelLayout kC200Layout{2, {{{2, 3, 0}, {1, 0, 0}, {0, 0, 0}}}};

// Verbose PCAP source tables of the C100 array switch to %g earlier.
constexpr double kC100SourceSwitch = 10000.0;

// Formats the values of one row with a format holding exactly as many
// conversions as there are values.
std::string format_values(const char *fmt, std::span<const double> v)
{
    switch (v.size()) {
    case 2: return text_format(fmt, v[0], v[1]);
    case 3: return text_format(fmt, v[0], v[1], v[2]);
    case 6: return text_format(fmt, v[0], v[1], v[2], v[3], v[4], v[5]);
    case 9: return text_format(fmt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
    default: return {};
    }
}

std::string format_ints(const char *fmt, int32_t a, int32_t b, int32_t c)
{
    return text_format(fmt, a, b, c);
}

// Texts of one normal-listing table: title line, column headings, and the
// fixed and %g formats of each of the three rows.
struct SideBySideTable {
    const char *title;
    const char *headings;
    std::array<const char *, 3> fixed;
    std::array<const char *, 3> general;
};

#define PCAE_C100_FIXED "%7.4f %7.4f %7.4f   %7.4f %7.4f %7.4f   %7.4f %7.4f %7.4f\n"
#define C100_GENERAL "%g %g %g   %g %g %g   %g %g %g\n"
#define C200_FIXED "%7.4f %7.4f   %7.4f %7.4f   %7.4f %7.4f\n"
#define C200_GENERAL "%g %g   %g %g   %g %g\n"

const SideBySideTable kPcaeC100Intensity{
    "\n                              Pixel Intensity of\n",
    "     OFF #1 (MJy/ster)            ON+OFF (MJy/ster)      OFF #2 (MJy/ster)\n",
    {PCAE_C100_FIXED, PCAE_C100_FIXED, PCAE_C100_FIXED},
    {C100_GENERAL, C100_GENERAL, C100_GENERAL}};
const SideBySideTable kPcaeC100Uncertainty{
    "\n               Pixel Uncertainty of\n",
    "OFF #1 (MJy/ster)  ON+OFF (MJy/ster)   OFF #2 (MJy/ster)  \n",
    {PCAE_C100_FIXED, PCAE_C100_FIXED, PCAE_C100_FIXED},
    {C100_GENERAL, C100_GENERAL, C100_GENERAL}};
const SideBySideTable kPcaeC200Intensity{
    "\n                   Pixel Intensity of\n",
    "OFF #1 (MJy/ster)  ON+OFF (MJy/ster)  OFF #2 (MJy/ster)\n",
    {C200_FIXED, C200_FIXED, nullptr},
    {C200_GENERAL, C200_GENERAL, nullptr}};
const SideBySideTable kPcaeC200Uncertainty{
    "\n                 Pixel Uncertainty of\n",
    "OFF #1 (MJy/ster)  ON+OFF (MJy/ster)  OFF #2 (MJy/ster)  \n",
    {C200_FIXED, C200_FIXED, nullptr},
    {C200_GENERAL, C200_GENERAL, nullptr}};

// The PCAP C100 intensity rows close up the blanks between the groups
// from the second (%g) or third (fixed) row on.
const SideBySideTable kPcapC100Intensity{
    "\n                              Pixel Intensity of\n",
    "     OFF #1 (MJy/ster)            ON+OFF (Jy)            OFF #2 (MJy/ster)\n",
    {"%8.4f %8.4f %8.4f   %8.4f %8.4f %8.4f   %8.4f %8.4f %8.4f\n",
     "%8.4f %8.4f %8.4f   %8.4f %8.4f %8.4f   %8.4f %8.4f %8.4f\n",
     "%8.4f %8.4f %8.4f  %8.4f %8.4f %8.4f  %8.4f %8.4f %8.4f\n"},
    {"%g %g %g   %g %g %g   %g %g %g\n",
     "%g %g %g  %g %g %g   %g %g %g\n",
     "%g %g %g  %g %g %g  %g %g %g\n"}};
const SideBySideTable kPcapC100Uncertainty{
    "\n                             Pixel Uncertainty of\n",
    "   OFF #1 (MJy/ster)              ON+OFF (Jy)           OFF #2 (MJy/ster)  \n",
    {PCAE_C100_FIXED, PCAE_C100_FIXED, PCAE_C100_FIXED},
    {C100_GENERAL, C100_GENERAL, C100_GENERAL}};
const SideBySideTable kPcapC200Intensity{
    "\n                   Pixel Intensity of\n",
    "OFF #1 (MJy/ster)     ON+OFF (Jy)     OFF #2 (MJy/ster)\n",
    {C200_FIXED, C200_FIXED, nullptr},
    {C200_GENERAL, C200_GENERAL, nullptr}};
const SideBySideTable kPcapC200Uncertainty{
    "\n                 Pixel Uncertainty of\n",
    "OFF #1 (MJy/ster)    ON+OFF (Jy)     OFF #2 (MJy/ster)  \n",
    {C200_FIXED, C200_FIXED, nullptr},
    {C200_GENERAL, C200_GENERAL, nullptr}};

#undef PCAE_C100_FIXED
#undef C100_GENERAL
#undef C200_FIXED
#undef C200_GENERAL

// One side-by-side table: each row joins the same pixels of three fields.
std::string side_by_side(ProductType product, const PixelLayout &layout,
                         const SideBySideTable &table, const float *first,
                         const float *second, const float *third)
{
    std::string out = table.title;
    out += table.headings;
    for (int row = 0; row < layout.size; ++row) {
        std::vector<double> values;
        for (const float *field : {first, second, third}) {
            std::vector<double> part = layout_row(layout, row, field);
            values.insert(values.end(), part.begin(), part.end());
        }
        const char *fmt = row_uses_g(product, values) ? table.general[row] : table.fixed[row];
        out += format_values(fmt, values);
    }
    return out;
}

// Grid geometry of a detector: pixel pitch in degrees and grid centre in
// row and column numbers.
struct Grid {
    double delta;
    double centre;
};

constexpr double kDegreesToRadians = 0.01745329251994329;
constexpr Grid kC100Grid{0.01275, 2.0};            // 45.9 arcseconds
constexpr Grid kC200Grid{94.0 / 3600.0, 1.5};      // 94 arcseconds

}  // namespace

const PixelLayout &pixel_layout(Detector detector)
{
    return detector == Detector::c200 ? kC200Layout : kC100Layout;
}

std::vector<double> layout_row(const PixelLayout &layout, int row, const float *field)
{
    std::vector<double> v;
    for (int col = 0; col < layout.size; ++col) {
        v.push_back(static_cast<double>(field[layout.element[static_cast<std::size_t>(row)]
                                                            [static_cast<std::size_t>(col)]]));
    }
    return v;
}

bool row_uses_g(ProductType product, std::span<const double> row, double pcap_threshold)
{
    if (product == ProductType::pcap) {
        for (double v : row)
            if (std::fabs(v) > pcap_threshold) return true;
        return false;
    }
    for (double v : row)
        if (std::fabs(v) < kFormatSwitch) return false;
    return true;
}

std::string float_pixel_rows(ProductType product, Detector detector, const float *field,
                             bool srce_c100_rule, bool extra_blank_line)
{
    if (detector == Detector::none) return {};
    const PixelLayout &layout = pixel_layout(detector);
    const bool c100 = detector == Detector::c100;
    const double threshold = (c100 && srce_c100_rule) ? kC100SourceSwitch : kFormatSwitch;
    std::string out;
    for (int row = 0; row < layout.size; ++row) {
        std::vector<double> values = layout_row(layout, row, field);
        const bool general = row_uses_g(product, values, threshold);
        if (c100)
            out += format_values(general ? "%g %g %g\n" : "%8.4f %8.4f %8.4f\n", values);
        else
            out += format_values(general ? "%g %g\n" : "%8.4f %8.4f\n", values);
    }
    if (c100 && extra_blank_line) out += "\n";
    return out;
}

std::string status_rows(const int32_t *field)
{
    std::string out;
    for (const auto &row : kC100Layout.element)
        out += format_ints("%8d %8d %8d\n", field[row[0]], field[row[1]], field[row[2]]);
    return out;
}

std::string fill_row(const int32_t *field)
{
    return format_ints("%8d %8d %8d\n", field[0], field[1], field[2]) + "\n";
}

std::string cycle_rows(const int32_t *field)
{
    std::string out;
    for (int row = 0; row < 3; ++row)
        out += format_ints("%8d %8d %8d\n", field[3 * row], field[3 * row + 1], field[3 * row + 2]);
    return out;
}

std::string intensity_tables(ProductType product, Detector detector, const IntensityFields &f)
{
    if (detector == Detector::none) return {};
    const bool pcap = product == ProductType::pcap;
    const bool c100 = detector == Detector::c100;
    const SideBySideTable &intensity =
        pcap ? (c100 ? kPcapC100Intensity : kPcapC200Intensity)
             : (c100 ? kPcaeC100Intensity : kPcaeC200Intensity);
    const SideBySideTable &uncertainty =
        pcap ? (c100 ? kPcapC100Uncertainty : kPcapC200Uncertainty)
             : (c100 ? kPcaeC100Uncertainty : kPcaeC200Uncertainty);
    const PixelLayout &layout = pixel_layout(detector);
    return side_by_side(product, layout, intensity, f.b1, f.spb, f.b2) +
           side_by_side(product, layout, uncertainty, f.b1u, f.spbu, f.b2u);
}

std::string brightness_tables(const float *brgt, const float *brgu)
{
    std::string out;
    auto rows = [&out](const float *field) {
        for (int row = 0; row < kC100Layout.size; ++row) {
            std::vector<double> v = layout_row(kC100Layout, row, field);
            const bool general = row_uses_g(ProductType::pcas, v);
            out += format_values(general ? "%g %g %g\n" : "%10.3f %10.3f %10.3f\n", v);
        }
    };
    out += "\nPixel surface brightness (MJy/ster)\n";
    rows(brgt);
    out += "\nPixel surface brightness uncertainty (MJy/ster)\n";
    rows(brgu);
    out += "\n";
    return out;
}

SkyPosition pixel_position(Detector detector, int l, int m, double ra, double dec, double phi)
{
    const Grid &grid = detector == Detector::c200 ? kC200Grid : kC100Grid;
    const double x = (m - grid.centre) * grid.delta;
    const double y = (grid.centre - l) * grid.delta;
    const double angle = phi * kDegreesToRadians;
    // Offset rotated by the roll: east and north components in degrees.
    const double east = x * std::cos(angle) + y * std::sin(angle);
    const double north = -x * std::sin(angle) + y * std::cos(angle);
    const double dec1 = dec + north;
    // Only the eastward offset is an arc on the pixel's own parallel; the
    // centre's right ascension is kept as it is.
    double ra1 = ra + east / std::cos(dec1 * kDegreesToRadians);
    if (ra1 > 360.0) ra1 -= 360.0;
    if (ra1 < 0.0) ra1 += 360.0;
    return {ra1, dec1};
}

std::vector<SkyPosition> pixel_positions(Detector detector, const Pointing &pointing)
{
    std::vector<SkyPosition> pixels;
    if (detector == Detector::none) return pixels;
    const int size = pixel_layout(detector).size;
    for (int l = 1; l <= size; ++l)
        for (int m = 1; m <= size; ++m)
            pixels.push_back(pixel_position(detector, l, m, pointing.ra, pointing.dec, pointing.roll));
    return pixels;
}

std::string pixel_coordinates(const std::vector<SkyPosition> &pixels)
{
    if (pixels.empty()) return {};
    const std::size_t size = pixels.size() == 4 ? 2 : 3;
    std::string out = "\n\nJ2000 Pixel coordinates (RA/Dec in degrees)\n";
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        out += text_format("(%9.4f, %9.4f)  ", pixels[i].ra, pixels[i].dec);
        if (i % size == size - 1) out += "\n";
    }
    out += "\n\n";
    return out;
}
