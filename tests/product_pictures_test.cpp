// Pictures of the fixture products made by `qrpht -o LISTING -p PICTURE`:
// each is well-formed and renders, and what it draws agrees with the
// listing written beside it: the spectrum lines and the axis ranges, the
// SED points and error bars, the value in each camera pixel square, and
// where each raster point lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "pictures.h"
#include "svg_read.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Every product of the fixture folders, in name order.
std::vector<fs::path> fixture_products(const std::vector<const char *> &folders)
{
    std::vector<fs::path> found;
    for (const char *folder : folders) {
        const fs::path dir = fs::path(FIXTURE_DIR) / folder;
        if (!fs::is_directory(dir)) continue;  // a folder other branches add
        for (const auto &entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".fits") found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

const std::vector<const char *> kProductFolders = {"pca", "ppa", "pls", "positions"};

struct Drawn {
    RunResult run;
    std::string listing_path, svg_path;
};

Drawn draw(const fs::path &product, const ScratchDir &dir)
{
    const std::string stem = product.stem().string();
    Drawn d{{}, dir / (stem + ".lst"), dir / (stem + ".svg")};
    d.run = run_qrpht({"-o", d.listing_path, "-p", d.svg_path, product.string()}, "",
                      std::chrono::seconds(60));
    return d;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The number behind the "=" of a listing line.
double after_equals(const std::string &line)
{
    const std::vector<double> v = numbers(line.substr(line.find('=') + 1));
    return v.empty() ? NaN : v[0];
}

// The text between the first two quotes, without trailing blanks.
std::string quoted(const std::string &line)
{
    const std::size_t open = line.find('\''), close = line.find('\'', open + 1);
    std::string text = line.substr(open + 1, close - open - 1);
    return text.erase(text.find_last_not_of(' ') + 1);
}

// Whether [lo, hi] holds a listed value, allowing for the listing's
// rounding to three significant digits.
void expect_covers(double lo, double hi, double v, const char *what)
{
    const double slack = 0.005 * std::fabs(v);
    EXPECT_TRUE(lo <= v + slack && hi >= v - slack) << what << " " << v << " outside " << lo << " .. " << hi;
}

// ---- the checks of each kind -----------------------------------------------

void check_spectrum(const std::string &listing, const std::string &svg)
{
    std::vector<bool> dark;
    std::vector<double> wavelength, flux_jy;  // fluxes of the bright measurements
    int table_rows = 0;
    for (const std::string &line : lines(listing)) {
        if (line.starts_with(" Dark meas. flag")) dark.push_back(after_equals(line) == 1);
        if (line.find("(F8.5)") != std::string::npos) {
            table_rows = 64;  // the flux table of the measurement follows
        } else if (table_rows > 0) {
            --table_rows;
            const std::vector<double> v = numbers(line);
            if (v[0] > 0) wavelength.push_back(v[0]);
            if (!dark.back()) flux_jy.push_back(v[1] / 1000);
        }
    }
    EXPECT_EQ(groups(svg, "series").size(), std::count(dark.begin(), dark.end(), false));
    const PlotFrame f = frame(svg);
    for (double w : wavelength) expect_covers(f.left, f.right, w, "wavelength");
    for (double v : flux_jy)
        if (std::isfinite(v) && (f.y_scale == "linear" || v > 0)) expect_covers(f.bottom, f.top, v, "flux");
}

struct Configuration {
    std::string filter;
    double value = NaN, error = NaN;
};

std::vector<Configuration> listed_configurations(const std::string &listing)
{
    std::vector<Configuration> found;
    for (const std::string &line : lines(listing)) {
        if (line.starts_with("Filter/aperture configuration No.")) found.emplace_back();
        if (found.empty()) continue;
        if (line.starts_with(" Filter of configuration")) found.back().filter = quoted(line);
        if (line.ends_with("SRCE)")) found.back().value = after_equals(line);
        if (line.ends_with("SRCU)")) found.back().error = after_equals(line);
    }
    return found;
}

// Each point group through its dot, which follows its error bar (a group
// of its own).
std::vector<std::string> point_groups(const std::string &svg)
{
    const std::string from = "<g class=\"point\"";
    std::vector<std::string> found;
    for (std::size_t at = svg.find(from); at != std::string::npos; at = svg.find(from, at + 1))
        found.push_back(svg.substr(at, svg.find("</g>", svg.find("<circle", at)) - at));
    return found;
}

// One point per configuration with a value the axis can show, in order, at
// its value and its filter's wavelength, with an error bar when the listed
// uncertainty is positive (none when it is negative or not a number).
void check_sed(const std::string &listing, const std::string &svg)
{
    const PlotFrame f = frame(svg);
    const double pixel = (f.top - f.bottom) / f.h;  // value of one pixel (linear axes)
    const std::vector<std::string> points = point_groups(svg);
    std::size_t next = 0;
    for (const Configuration &c : listed_configurations(listing)) {
        if (!std::isfinite(c.value) || (f.y_scale == "log" && c.value <= 0)) continue;
        ASSERT_LT(next, points.size());
        const std::string &p = points[next++];
        SCOPED_TRACE(p);
        EXPECT_EQ(attribute(p, "data-label"), c.filter);
        const double cx = std::stod(attribute(p.substr(p.find("<circle")), "cx"));
        const double wavelength = filter_wavelength(c.filter);
        if (f.x_scale != "category") {
            EXPECT_NEAR(cx, f.px(wavelength), 15.0);  // points of one filter stand side by side
        }
        const bool bar = p.find("class=\"errorbar\"") != std::string::npos;
        // A listed 0 may be a small value of either sign.
        if (c.error != 0) {
            EXPECT_EQ(bar, c.error > 0);
        }
        if (f.y_scale != "linear") continue;
        const double tolerance = 0.006 + 1e-5 * std::fabs(c.value) + 0.02 * pixel;
        EXPECT_NEAR(f.y_value(std::stod(attribute(p.substr(p.find("<circle")), "cy"))), c.value, tolerance);
        if (bar && c.error > 0) {
            EXPECT_NEAR(f.y_value(std::stod(attribute(p, "y1"))), c.value - c.error, tolerance);
            EXPECT_NEAR(f.y_value(std::stod(attribute(p, "y2"))), c.value + c.error, tolerance);
        }
    }
    EXPECT_EQ(next, points.size());
}

// The ON+OFF values of the listing's intensity tables in the order of the
// pixel diagrams (C100 rows of nine values, C200 rows of six).
std::vector<double> listed_on_off(const std::string &listing)
{
    std::vector<double> found;
    bool table = false;
    std::string previous;
    for (const std::string &line : lines(listing)) {
        const std::vector<double> v = numbers(line);
        if (previous.find("Pixel Intensity of") != std::string::npos) table = true;
        else if (table && v.size() == 9) found.insert(found.end(), v.begin() + 3, v.begin() + 6);
        else if (table && v.size() == 6) found.insert(found.end(), v.begin() + 2, v.begin() + 4);
        else table = false;
        previous = line;
    }
    return found;
}

void check_camera(const std::string &listing, const std::string &svg)
{
    const std::vector<double> listed = listed_on_off(listing);
    const std::vector<std::string> squares = groups(svg, "pixel");
    ASSERT_EQ(squares.size(), listed.size());
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const std::string bold = pieces(squares[i], "font-weight=\"bold\"", "</text>").at(0);
        const double shown = std::strtod(bold.c_str() + bold.find('>') + 1, nullptr);
        if (std::isnan(listed[i]) || std::isinf(listed[i]))
            EXPECT_EQ(std::to_string(shown), std::to_string(listed[i])) << "square " << i;
        else
            EXPECT_NEAR(shown, listed[i], 5e-4 * std::fabs(listed[i]) + 1e-4) << "square " << i;
    }
}

struct RasterPosition {
    std::size_t panel = 0;
    bool c200 = false;
    double ra = NaN, dec = NaN;
};

std::vector<RasterPosition> listed_raster(const std::string &listing)
{
    std::vector<RasterPosition> found;
    std::size_t filters = 0;
    bool c200 = false;
    for (const std::string &line : lines(listing)) {
        if (line.starts_with("Filter No.")) c200 = line.find("'C200") != std::string::npos, ++filters;
        if (line.starts_with("Raster point:")) found.push_back({filters - 1, c200});
        if (line.starts_with("Right Ascension (degrees)")) found.back().ra = after_equals(line);
        if (line.starts_with("Declination (degrees)")) found.back().dec = after_equals(line);
    }
    return found;
}

// Each raster point with a position is drawn in its filter's panel, its
// pixels centred on its offset from the raster centre (the mean position).
void check_raster(const std::string &listing, const std::string &svg)
{
    std::vector<RasterPosition> listed = listed_raster(listing);
    std::erase_if(listed, [](const RasterPosition &p) { return !std::isfinite(p.ra) || !std::isfinite(p.dec); });
    double ra0 = 0, dec0 = 0;
    for (const RasterPosition &p : listed) {
        ra0 += p.ra / listed.size();
        dec0 += p.dec / listed.size();
    }
    const std::vector<std::string> drawn = groups(svg, "raster-point");
    const std::vector<PlotFrame> panels = frames(svg);
    ASSERT_EQ(drawn.size(), listed.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const std::vector<std::string> pixels = pieces(drawn[i], "<polygon", "/>");
        EXPECT_EQ(pixels.size(), listed[i].c200 ? 4u : 9u);
        double x = 0, y = 0;  // mean of the pixel corners
        std::size_t corners = 0;
        for (const std::string &pixel : pixels) {
            const std::vector<double> v = numbers(attribute(pixel, "points"));
            for (std::size_t k = 0; k + 1 < v.size(); k += 2, ++corners) {
                x += v[k];
                y += v[k + 1];
            }
        }
        const PlotFrame &f = panels.at(listed[i].panel);
        const double east = (listed[i].ra - ra0) * std::cos(dec0 * std::numbers::pi / 180) * 3600;
        const double north = (listed[i].dec - dec0) * 3600;
        EXPECT_NEAR(f.x_value(x / corners), east, 1.0) << "raster point " << i;
        EXPECT_NEAR(f.y_value(y / corners), north, 1.0) << "raster point " << i;
    }
}

}  // namespace

// Every fixture product's picture is well-formed and renders; pictures of
// hostile products never crash the program and are well-formed when made;
// the same product always gives the same bytes.
TEST(ProductPictures, EveryFixtureProductIsWellFormedAndRenders)
{
    std::string missing;
    if (!picture_tools_present(missing)) GTEST_SKIP() << missing;
    ScratchDir dir;
    for (const fs::path &product : fixture_products(kProductFolders)) {
        SCOPED_TRACE(product.string());
        const Drawn d = draw(product, dir);
        ASSERT_EQ(d.run.status, 0) << d.run.err;
        EXPECT_EQ(picture_problem(d.svg_path), "");
    }
    const Drawn first = draw(fixture_products({"pls"}).at(0), dir);
    EXPECT_EQ(read_file(first.svg_path), read_file(draw(fixture_products({"pls"}).at(0), dir).svg_path));
    for (const fs::path &product : fixture_products({"hostile"})) {
        SCOPED_TRACE(product.string());
        const Drawn d = draw(product, dir);
        EXPECT_TRUE(d.run.status == 0 || d.run.status == 1) << d.run.err;  // no signal, no time-out
        EXPECT_EQ(d.run.err.find("Sanitizer"), std::string::npos) << d.run.err;
        if (fs::exists(d.svg_path)) {
            EXPECT_EQ(std::system((tool("xmllint") + " --noout " + d.svg_path).c_str()), 0);
        }
    }
}

TEST(ProductPictures, AgreeWithTheListing)
{
    ScratchDir dir;
    for (const fs::path &product : fixture_products(kProductFolders)) {
        SCOPED_TRACE(product.string());
        const Drawn d = draw(product, dir);
        ASSERT_EQ(d.run.status, 0) << d.run.err;
        const std::string listing = read_file(d.listing_path), svg = read_file(d.svg_path);
        const std::string name = product.filename().string();
        if (name.starts_with("pla") || name.starts_with("psa")) check_spectrum(listing, svg);
        else if (name.starts_with("ppa")) check_sed(listing, svg);
        // pcas_grid's raster points are pointings spread over the whole sky,
        // which no map around one centre can show.
        else if (name == "pcas_grid.fits") continue;
        else if (name.starts_with("pcas")) check_raster(listing, svg);
        else if (name.starts_with("pca")) check_camera(listing, svg);
        else ADD_FAILURE() << "no check for " << name;
    }
}

// A picture that cannot be written is reported and fails the run; the
// listing is still written.
TEST(ProductPictures, UnwritablePictureFailsTheRun)
{
    ScratchDir dir;
    const std::string picture = dir / "no-such-folder/pla1.svg";
    const RunResult r = run_qrpht({"-o", dir / "pla1.lst", "-p", picture, fixture("pls/pla1.fits")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "problem writing output file " + picture + ": No such file or directory\n");
    EXPECT_FALSE(read_file(dir / "pla1.lst").empty());
}
