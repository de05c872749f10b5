// Pictures of PHT products as SVG documents: the spectrum of a spectrometer
// product (PLA, PSA), the spectral energy distribution of a photometer
// product (PPAE, PPAP), the pixel arrays of a camera product (PCAE, PCAP)
// and the raster map of a PCAS product.
//
// Each renderer takes a plain description of what to draw, in physical units,
// and returns the SVG text; the same input always gives the same bytes.
// Non-finite values are never drawn (they leave a gap or an empty square).
#pragma once

#include <array>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "records.h"

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// What the title of every picture names; empty fields are left out.
struct PictureTitle {
    std::string object;    // OBJECT
    std::string filename;  // FILENAME
    std::string aot;       // AOT of the observation
    std::string date;      // observation date
};

// ---- spectrum (PLA, PSA) ---------------------------------------------------

// The two halves of the spectrometer cover about 2.5-4.9 um and 5.8-11.6 um;
// a spectrum line never joins a pixel below this wavelength to one above.
inline constexpr double kSpectrometerSplitUm = 5.35;

struct SpectrumMeasurement {
    int number = 0;             // 1-based measurement number in the product
    bool dark = false;          // dark measurements are not drawn
    std::vector<double> flux;   // Jy, one per pixel
    std::vector<double> error;  // Jy, one per pixel (NaN: none)
};

struct SpectrumInput {
    PictureTitle title;
    std::vector<double> wavelength;  // um, one per pixel (NaN: unknown)
    std::vector<SpectrumMeasurement> measurements;
};

// Flux density against wavelength: one line per non-dark measurement with its
// uncertainty band, distinct colours for the first ten and grey after, and a
// legend. The flux axis is logarithmic when the positive fluxes span more
// than a factor of 100 and at most a tenth of the values are zero or
// negative; those values, which a log axis cannot show, then leave gaps and a
// note under the plot counts them. Otherwise the axis is linear and shows
// every value.
std::string spectrum_picture(const SpectrumInput &in);

// ---- spectral energy distribution (PPAE, PPAP) -----------------------------

struct SedPoint {
    std::string filter;    // filter name, e.g. P1_3.29
    std::string aperture;  // aperture name (may be empty)
    double value = kNoValue;
    double error = kNoValue;
};

struct SedInput {
    PictureTitle title;
    std::string quantity = "Flux density";  // what value holds
    std::string unit = "Jy";
    std::vector<SedPoint> points;  // in configuration order
};

// Reference wavelength in um that a filter name carries, or NaN. The name is
// a prefix of letters and digits (P, P1, C_, C100 ...), an underscore, and
// the wavelength, whose decimal point may be written '.' or '_':
// P1_3.29 -> 3.29, P_11_5 -> 11.5, P2_25 -> 25. Quotes and blanks around
// the name are ignored.
double filter_wavelength(std::string_view filter);

// One point with its error bar per configuration: at the filters' reference
// wavelengths when every filter name carries one, otherwise in configuration
// order with the names on a category axis. Points of different apertures get
// different colours and a legend.
std::string sed_picture(const SedInput &in);

// ---- camera pixel arrays (PCAE, PCAP) --------------------------------------

struct CameraFilter {
    int number = 0;    // 1-based filter number
    std::string name;  // value of its FILTER card
    Detector detector = Detector::none;
    std::array<double, kPixels> value{};  // pixel n in element n - 1
};

struct CameraArrayInput {
    PictureTitle title;
    std::string quantity = "ON+OFF intensity";
    std::string unit;  // MJy/sr (PCAE) or Jy (PCAP)
    std::vector<CameraFilter> filters;
};

// One panel per filter: the C100 3 x 3 or C200 2 x 2 array as squares laid
// out like the pixel diagram of the listing (C100 rows 3 6 9 / 2 5 8 /
// 1 4 7, C200 rows 3 4 / 2 1), each coloured by its value and showing it, on
// axes of the offset from the array centre; one colour bar for all panels.
std::string camera_array_picture(const CameraArrayInput &in);

// ---- raster map (PCAS) -----------------------------------------------------

struct RasterPoint {
    int point = 0, line = 0;                                // raster position, 1-based
    double ra = kNoValue, dec = kNoValue, roll = kNoValue;  // degrees
    std::array<double, kPixels> brightness{};               // MJy/sr, pixel n in element n - 1
};

struct RasterFilter {
    int number = 0;
    std::string name;
    Detector detector = Detector::none;  // none is drawn with the C100 geometry
    std::vector<RasterPoint> points;
};

struct RasterMapInput {
    PictureTitle title;
    std::string unit = "MJy/sr";
    // Raster centre in degrees; NaN: the mean of the raster positions.
    double centre_ra = kNoValue, centre_dec = kNoValue;
    std::vector<RasterFilter> filters;
};

// One panel per filter with its own colour bar: every pixel of every raster
// point as a square at its sky offset from the raster centre (arcsec, north
// up, east left), turned by the roll angle and coloured by its surface
// brightness.
std::string raster_map_picture(const RasterMapInput &in);
