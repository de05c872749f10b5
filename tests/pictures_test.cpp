// Tests of the SVG plot writer (ticks, text, gaps) and of the PHT pictures:
// what each picture draws is read back from the SVG and compared with its
// input, and every kind must be well-formed XML that renders to a picture.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "pictures.h"
#include "svg_plot.h"
#include "svg_read.h"
#include "test_util.h"

namespace {

const double NaN = kNoValue;

// ---- inputs ----------------------------------------------------------------

const PictureTitle kTitle{"NGC <7027> & \"friends\"", "PLA40800101", "P40", "1996-10-23"};

// 64 pixels, 32 on either half of the spectrometer.
std::vector<double> spectrometer_wavelengths()
{
    std::vector<double> w;
    for (int p = 0; p < 64; ++p) w.push_back(p < 32 ? 2.5 + p * 0.077 : 5.8 + (p - 32) * 0.187);
    return w;
}

// Measurements whose fluxes rise with the pixel number over a factor of
// about 4000 (wide) or 64; the first `negatives` pixels hold small negative
// values.
SpectrumInput spectrum(int measurements, double scale, int negatives = 0, bool dark_first = false,
                       bool wide = true)
{
    SpectrumInput in{kTitle, spectrometer_wavelengths(), {}};
    for (int k = 0; k < measurements; ++k) {
        SpectrumMeasurement m{k + 1, dark_first && k == 0, {}, {}};
        for (int p = 0; p < 64; ++p) {
            double rise = wide ? 1.0 + p * p : 1.0 + p;
            m.flux.push_back(p < negatives ? -0.001 * (p + 1) : scale * rise * (1 + k * 0.1));
            m.error.push_back(0.05 * std::fabs(m.flux.back()));
        }
        in.measurements.push_back(m);
    }
    return in;
}

CameraArrayInput camera()
{
    CameraArrayInput in{kTitle, "ON+OFF intensity", "Jy", {}};
    CameraArrayFilter c100{1, "C1_60", Detector::c100, {}}, c200{2, "C2_160", Detector::c200, {}};
    for (int e = 0; e < kPixels; ++e) {
        c100.value[e] = 1.5 + e * 10.25;
        c200.value[e] = e < 4 ? -2.0 + e * 0.125 : 999.0;  // only pixels 1-4 are drawn
    }
    in.filters = {c100, c200};
    return in;
}

RasterMapInput raster()
{
    RasterMapInput in{kTitle, "MJy/sr", NaN, NaN, {}};
    for (auto [n, d] : {std::pair{1, Detector::c100}, {2, Detector::c200}}) {
        RasterFilter f{n, n == 1 ? "C1_100" : "C_160", d, {}};
        for (int line = 1; line <= 2; ++line)
            for (int point = 1; point <= 3; ++point) {
                RasterPoint p{point, line, 180.0 + point * 0.04, 30.0 + line * 0.04, 0.0, {}};
                for (int e = 0; e < kPixels; ++e) p.brightness[e] = 10.0 * point + line + e;
                f.points.push_back(p);
            }
        in.filters.push_back(f);
    }
    return in;
}

}  // namespace

// ---- the plot writer -------------------------------------------------------

TEST(SvgPlot, LinearTicksAreNiceAndCoverTheData)
{
    struct Case {
        double lo, hi;
        int target;
        bool extend;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {0, 1, 5, true, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {2.47, 11.6, 6, true, {"2", "4", "6", "8", "10", "12"}},
        {-3.2, 7.9, 5, true, {"-4", "-2", "0", "2", "4", "6", "8"}},
        {0.0012, 0.0047, 6, true, {"0.0010", "0.0015", "0.0020", "0.0025", "0.0030", "0.0035",
                                   "0.0040", "0.0045", "0.0050"}},
        {1.2e6, 3.4e6, 5, true, {"1e6", "1.5e6", "2e6", "2.5e6", "3e6", "3.5e6"}},
        {-68.85, 68.85, 3, false, {"-50", "0", "50"}},
        {-440, 440, 3, false, {"-400", "-200", "0", "200", "400"}},  // too few at step 500
        {5, 5, 5, true, {"4.4", "4.6", "4.8", "5.0", "5.2", "5.4", "5.6"}},  // widened by 10%
        {NaN, 3, 5, true, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << " .. " << c.hi);
        svg::Ticks t = svg::linear_ticks(c.lo, c.hi, c.target, c.extend);
        EXPECT_EQ(t.labels, c.labels);
        ASSERT_EQ(t.major.size(), t.labels.size());
        if (std::isfinite(c.lo) && c.lo != c.hi) {
            EXPECT_LE(t.lo, c.lo);
            EXPECT_GE(t.hi, c.hi);
        }
        // The step is 1, 2 or 5 times a power of ten.
        double step = t.major[1] - t.major[0];
        double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                    std::fabs(mantissa - 5) < 1e-6) << step;
    }
}

TEST(SvgPlot, LogTicksLabelDecadesOrFinerOnShortAxes)
{
    struct Case {
        double lo, hi;
        bool extend;
        double axis_lo, axis_hi;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {0.3, 2000, true, 0.1, 10000, {"0.1", "1", "10", "100", "1000", "10000"}},
        {0.045, 5.2, false, 0.045, 5.2, {"0.05", "0.1", "0.2", "0.5", "1", "2", "5"}},
        {3, 8, false, 3, 8, {"3", "4", "5", "6", "7", "8"}},
        {1e-8, 1e8, true, 1e-8, 1e8, {"1e-8", "1e-5", "0.01", "10", "10000", "1e7"}},
        {-1, 50, true, 0.1, 100, {"0.1", "1", "10", "100"}},  // lo <= 0: two decades below hi
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << " .. " << c.hi);
        svg::Ticks t = svg::log_ticks(c.lo, c.hi, c.extend);
        EXPECT_EQ(t.labels, c.labels);
        EXPECT_DOUBLE_EQ(t.lo, c.axis_lo);
        EXPECT_DOUBLE_EQ(t.hi, c.axis_hi);
    }
}

TEST(SvgPlot, TextsAreEscapedAndNumbersFixed)
{
    const std::pair<std::string, std::string> escapes[] = {
        {"a<b & c>d", "a&lt;b &amp; c&gt;d"},
        {"'x' \"y\"", "&apos;x&apos; &quot;y&quot;"},
        {"tab\tbell\x07nul" + std::string(1, '\0'), "tab\tbell?nul?"},
        {"µm", "µm"},
        {"bad \xff byte, cut \xc2", "bad ? byte, cut ?"},
        {"surrogate \xed\xa0\x80 overlong \xc0\xaf", "surrogate ??? overlong ??"},
    };
    for (const auto &[in, out] : escapes) EXPECT_EQ(svg::escape(in), out) << in;

    const std::pair<double, std::string> values[] = {
        {12.3456, "12.35"}, {0.00123456, "0.001235"}, {123456.0, "1.235e+05"}, {-0.0, "0"},
        {100.0, "100"},     {39.42, "39.42"},         {-2.0, "-2"},            {NaN, "NaN"},
        {1e-7, "1e-07"},    {-INFINITY, "-inf"}};
    for (const auto &[v, text] : values) EXPECT_EQ(svg::value_text(v), text) << v;
    EXPECT_EQ(svg::fixed(-0.0001, 2), "0.00");
    EXPECT_EQ(svg::fixed(1234.5678, 2), "1234.57");
    EXPECT_EQ(svg::fixed(NaN, 2), "0");
}

TEST(SvgPlot, SeriesSplitAtGapsAndBreaks)
{
    using Runs = std::vector<std::pair<std::size_t, std::size_t>>;
    struct Case {
        std::vector<double> x, y;
        std::vector<std::size_t> breaks;
        Runs runs;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, {1, 1, 1, 1}, {}, {{0, 4}}},
        {{1, 2, 3, 4}, {1, NaN, 1, 1}, {}, {{0, 1}, {2, 4}}},
        {{1, 2, NaN, 4, 5}, {1, 1, 1, 1, 1}, {3}, {{0, 2}, {3, 5}}},
        {{1, 2, 3, 4}, {1, 1, 1, 1}, {2}, {{0, 2}, {2, 4}}},
        {{1, 2, 3}, {NaN, NaN, NaN}, {}, {}},
        {{1, 2, 3}, {1, 1, INFINITY}, {0}, {{0, 2}}},
    };
    for (const Case &c : cases) EXPECT_EQ(svg::segments(c.x, c.y, c.breaks), c.runs);
}

// ---- pictures against their input ------------------------------------------

TEST(Pictures, FilterWavelengthFromName)
{
    const std::pair<const char *, double> cases[] = {
        {"P1_3.29", 3.29}, {"P_11_5", 11.5}, {"P2_25", 25},    {"'C1_60   '", 60}, {"C_90", 90},
        {"P3_100", 100},   {"P1_NB", NaN},   {"P1_3.2.1", NaN}, {"_25", NaN},      {"P1", NaN},
        {"", NaN},         {"P1_", NaN},     {"P1_0", NaN},    {"P-1_3", NaN},     {"P1_3.", NaN}};
    for (const auto &[name, um] : cases) {
        double got = filter_wavelength(name);
        if (std::isnan(um))
            EXPECT_TRUE(std::isnan(got)) << name << " gave " << got;
        else
            EXPECT_DOUBLE_EQ(got, um) << name;
    }
}

TEST(Pictures, SpectrumDrawsOneLinePerMeasurementNeverAcrossTheGap)
{
    struct Case {
        const char *what;
        SpectrumInput in;
        std::size_t lines;   // series drawn
        const char *y_scale;
        const char *note;    // expected in the picture, or ""
    };
    SpectrumInput holes = spectrum(2, 0.01);
    holes.measurements[1].flux[10] = NaN;
    const Case cases[] = {
        {"one dark of three", spectrum(3, 0.01, 0, true), 2, "log", "1 dark measurement not drawn"},
        {"twelve measurements", spectrum(12, 0.01), 12, "log", ""},
        {"narrow range", spectrum(2, 1.0, 0, false, false), 2, "linear", ""},
        {"three of 64 negative", spectrum(1, 0.01, 3), 1, "log", "3 values &lt;= 0 not drawn"},
        {"many negative", spectrum(1, 0.01, 20), 1, "linear", ""},
        {"a missing value", holes, 2, "log", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string svg = spectrum_picture(c.in);
        PlotFrame f = frame(svg);
        EXPECT_EQ(f.y_scale, c.y_scale);
        std::vector<std::string> series = groups(svg, "series");
        ASSERT_EQ(series.size(), c.lines);
        const double gap = f.px(kSpectrometerSplitUm);
        for (std::size_t i = 0; i < series.size(); ++i) {
            for (const auto &xs : polyline_xs(series[i])) {
                EXPECT_TRUE(xs.back() < gap || xs.front() > gap) << "a line crosses the gap";
            }
        }
        // Lines are drawn last first; the colours of the first ten differ, the rest are grey.
        std::set<std::string> distinct;
        for (const auto &line : pieces(svg, "<polyline", "/>"))
            distinct.insert(attribute(line, "stroke"));
        EXPECT_EQ(distinct.size(), std::min<std::size_t>(c.lines, 10) + (c.lines > 10 ? 1 : 0));
        if (*c.note) {
            EXPECT_NE(svg.find(c.note), std::string::npos);
        }
        // The axes cover every flux that a linear axis shows, and the wavelengths.
        EXPECT_LE(f.left, 2.5);
        EXPECT_GE(f.right, 5.8 + 31 * 0.187);
        for (const auto &m : c.in.measurements)
            for (double v : m.flux)
                if (std::isfinite(v) && (f.y_scale == "linear" || v > 0) && !m.dark) {
                    EXPECT_LE(f.bottom, v);
                    EXPECT_GE(f.top, v);
                }
    }
    // Two halves and one missing value: three pieces of line for measurement 2.
    EXPECT_EQ(polyline_xs(groups(spectrum_picture(holes), "series")[0]).size(), 3u);
    std::string twelve = spectrum_picture(spectrum(12, 0.01));
    EXPECT_NE(twelve.find(">2 more</text>"), std::string::npos);
}

TEST(Pictures, SedPointsWithErrorBars)
{
    SedInput named{kTitle, "Flux density", "Jy",
                   {{"P1_3.29", "52\"", 0.5, 0.05},
                    {"P_11_5", "52\"", 4.0, 0.4},
                    {"P2_25", "52\"", 22.0, NaN},  // no error bar
                    {"P2_25", "120\"", 26.0, 2.0},
                    {"P3_100", "120\"", NaN, 1.0}}};  // no point
    SedInput unnamed = named;
    unnamed.points[1].filter = "P1_NB";
    struct Case {
        SedInput in;
        const char *x_scale;
        std::size_t points, bars;
    };
    const Case cases[] = {{named, "log", 4, 3}, {unnamed, "category", 4, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x_scale);
        std::string svg = sed_picture(c.in);
        PlotFrame f = frame(svg);
        EXPECT_EQ(f.x_scale, c.x_scale);
        EXPECT_EQ(groups(svg, "point").size(), c.points);
        EXPECT_EQ(count(svg, "class=\"errorbar\""), c.bars);
        EXPECT_NE(svg.find("1 configuration without a value"), std::string::npos);
        EXPECT_NE(svg.find("aperture 120&quot;"), std::string::npos);  // two apertures: legend
        for (const auto &p : c.in.points) {
            if (!std::isfinite(p.value)) continue;
            EXPECT_LE(f.bottom, p.value - (std::isfinite(p.error) ? p.error : 0));
            EXPECT_GE(f.top, p.value + (std::isfinite(p.error) ? p.error : 0));
        }
        if (f.x_scale == "log") {
            EXPECT_LE(f.left, 3.29);
            EXPECT_GE(f.right, 100);
        } else {
            EXPECT_NE(svg.find(">P1_NB 52&quot;</text>"), std::string::npos);
        }
    }
}

TEST(Pictures, CameraSquaresShowTheirValuesInTheDiagramLayout)
{
    CameraArrayInput in = camera();
    std::string svg = camera_array_picture(in);
    std::vector<std::string> squares = groups(svg, "pixel");
    ASSERT_EQ(squares.size(), 9u + 4u);
    // Squares follow the listing's diagram: C100 rows 3 6 9 / 2 5 8 / 1 4 7,
    // then C200 rows 3 4 / 2 1.
    const int order[] = {3, 6, 9, 2, 5, 8, 1, 4, 7, 3, 4, 2, 1};
    std::vector<std::pair<double, double>> corner;
    for (std::size_t i = 0; i < squares.size(); ++i) {
        int pixel = std::stoi(attribute(squares[i], "data-pixel"));
        EXPECT_EQ(pixel, order[i]);
        const CameraArrayFilter &filter = in.filters[i < 9 ? 0 : 1];
        std::string bold = pieces(squares[i], "font-weight=\"bold\"", "</text>").at(0);
        EXPECT_EQ(bold.substr(bold.find('>') + 1, bold.find('<') - bold.find('>') - 1),
                  svg::value_text(filter.value[pixel - 1]));
        corner.emplace_back(std::stod(attribute(squares[i], "x")),
                            std::stod(attribute(squares[i], "y")));
    }
    // Rows run left to right and top to bottom.
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 9u, 11u})
        EXPECT_LT(corner[i].first, corner[i + 1].first);
    for (std::size_t i : {0u, 3u, 9u})
        EXPECT_LT(corner[i].second, corner[i + (i < 9 ? 3 : 2)].second);
    EXPECT_EQ(svg.find(">999</text>"), std::string::npos);  // C200 elements 5-9 unused
    EXPECT_EQ(groups(svg, "colourbar").size(), 1u);        // shared by both filters
}

TEST(Pictures, RasterMapPlacesEveryPixelEastLeft)
{
    RasterMapInput in = raster();
    std::string svg = raster_map_picture(in);
    std::vector<std::string> points = groups(svg, "raster-point");
    ASSERT_EQ(points.size(), 12u);
    for (std::size_t i = 0; i < points.size(); ++i)
        EXPECT_EQ(count(points[i], "<polygon"), i < 6 ? 9u : 4u);
    EXPECT_EQ(groups(svg, "colourbar").size(), 2u);
    // Raster point 3 lies east of point 1 (larger RA), so further left.
    auto left_edge = [&](const std::string &group) {
        std::vector<double> v = numbers(attribute(group, "points"));
        return v[0];
    };
    EXPECT_LT(left_edge(points[2]), left_edge(points[0]));
    PlotFrame f = frame(svg);
    EXPECT_GT(f.left, f.right);  // east offsets grow to the left
    EXPECT_LT(f.bottom, f.top);
}

// Each kind of picture is well-formed XML that renders to a picture with
// more than one colour, and the same input always gives the same bytes.
TEST(Pictures, EveryKindIsWellFormedAndRenders)
{
    std::string missing;
    if (!picture_tools_present(missing)) GTEST_SKIP() << missing;
    SedInput sed{kTitle, "Flux density", "Jy", {{"P1_3.29", "", 0.5, 0.05}, {"P2_25", "", 22, 2}}};
    RasterMapInput hostile = raster();
    hostile.title = {"bad \x01\xff <title> & more", "", "", ""};
    const std::pair<const char *, std::string> pictures[] = {
        {"spectrum", spectrum_picture(spectrum(3, 0.01, 0, true))},
        {"sed", sed_picture(sed)},
        {"camera", camera_array_picture(camera())},
        {"raster", raster_map_picture(hostile)},
        {"empty", spectrum_picture(SpectrumInput{})},
    };
    EXPECT_EQ(pictures[0].second, spectrum_picture(spectrum(3, 0.01, 0, true)));
    EXPECT_EQ(pictures[3].second, raster_map_picture(hostile));
    ScratchDir dir;
    for (const auto &[name, text] : pictures) {
        const std::string svg_path = dir / (std::string(name) + ".svg");
        write_file(svg_path, text);
        EXPECT_EQ(picture_problem(svg_path), "") << name;
    }
}
