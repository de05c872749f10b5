// PHT pictures; see pictures.h. Layout in pixels: a title band at the top,
// then the plot panels, then notes about what could not be drawn.
#include "pictures.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

#include "camera_pixels.h"
#include "svg_plot.h"

namespace {

using svg::AxisSpec;
using svg::Document;
using svg::Plot;
using svg::Rect;
using svg::ScaleKind;

// Log axes need the values to spread over more than this factor ...
constexpr double kLogSpread = 100.0;
// ... and may leave out at most this share of them (the values <= 0).
constexpr double kMaxHiddenShare = 0.1;
// A wavelength axis turns logarithmic beyond this spread.
constexpr double kLogWavelengthSpread = 8.0;

// Pixel pitch of the detectors in arcseconds, and the share of the pitch a
// drawn pixel covers (the gaps show the pixel borders).
constexpr double kC100PitchArcsec = 45.9;
constexpr double kC200PitchArcsec = 94.0;
constexpr double kPixelFill = 0.95;

constexpr double kTitleBand = 62;
const std::string kNoteColour = "#555555";

std::vector<std::string> title_lines(const PictureTitle &t)
{
    std::string second;
    auto add = [&](const std::string &prefix, const std::string &v) {
        if (v.empty()) return;
        if (!second.empty()) second += "   |   ";
        second += prefix + v;
    };
    add("", t.filename);
    add("AOT ", t.aot);
    add("observed ", t.date);
    return {t.object.empty() ? std::string("(no OBJECT)") : t.object, second};
}

void notes(Document &doc, double x, double y, const std::vector<std::string> &lines)
{
    for (const auto &line : lines) {
        doc.text({x, y}, line, {11, svg::Anchor::start, false, kNoteColour});
        y += 15;
    }
}

std::string plural(std::size_t n, const std::string &what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// Range of the finite values, or NaN, NaN.
struct Range {
    double lo = kNoValue, hi = kNoValue;
    void add(double v)
    {
        if (!std::isfinite(v)) return;
        lo = std::isfinite(lo) ? std::min(lo, v) : v;
        hi = std::isfinite(hi) ? std::max(hi, v) : v;
    }
    bool empty() const { return !std::isfinite(lo); }
};

// Whether values go on a log axis: the positive ones spread over more than
// kLogSpread and few are zero or negative. Counts the hidden ones.
struct LogChoice {
    bool log = false;
    std::size_t hidden = 0;
};
LogChoice choose_log(const std::vector<double> &values)
{
    Range positive;
    std::size_t finite = 0, non_positive = 0;
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        ++finite;
        if (v > 0)
            positive.add(v);
        else
            ++non_positive;
    }
    bool log = !positive.empty() && positive.hi / positive.lo > kLogSpread &&
               non_positive <= kMaxHiddenShare * finite;
    return {log, log ? non_positive : 0};
}

AxisSpec axis(const std::string &label, ScaleKind kind = ScaleKind::linear, double lo = 0,
              double hi = 1)
{
    AxisSpec a;
    a.label = label;
    a.kind = kind;
    a.lo = lo;
    a.hi = hi;
    return a;
}

double at(const std::vector<double> &v, std::size_t i)
{
    return i < v.size() ? v[i] : kNoValue;
}

// The value axis of a spectrum or SED: its range covers the values and their
// error bars. A log axis covers only the positive values and upper bounds:
// lower bounds near zero would stretch it over empty decades, so they run out
// of the bottom edge instead.
AxisSpec value_axis(const std::string &label, const std::vector<double> &v,
                    const std::vector<double> &err, bool log)
{
    Range r;
    for (std::size_t i = 0; i < v.size(); ++i) {
        double e = std::isfinite(at(err, i)) ? std::fabs(err[i]) : 0.0;
        for (double b : {v[i], v[i] + e})
            if (!log || b > 0) r.add(b);
        if (!log) r.add(v[i] - e);
    }
    AxisSpec a = r.empty()
                     ? axis(label, log ? ScaleKind::log : ScaleKind::linear, log ? 0.1 : 0.0, 1.0)
                     : axis(label, log ? ScaleKind::log : ScaleKind::linear, r.lo, r.hi);
    a.pad = 0.04;
    a.extend = !log;
    return a;
}

// ---- spectrum --------------------------------------------------------------

// Pixels of known wavelength in order of wavelength, and where the line
// breaks between the two halves of the spectrometer.
struct SpectrumAxis {
    std::vector<std::size_t> pixel;
    std::vector<double> x;
    std::vector<std::size_t> breaks;
};
SpectrumAxis spectrum_axis(const std::vector<double> &wavelength)
{
    SpectrumAxis a;
    for (std::size_t i = 0; i < wavelength.size(); ++i)
        if (std::isfinite(wavelength[i])) a.pixel.push_back(i);
    std::stable_sort(a.pixel.begin(), a.pixel.end(),
                     [&](std::size_t p, std::size_t q) { return wavelength[p] < wavelength[q]; });
    for (std::size_t i = 0; i < a.pixel.size(); ++i) {
        a.x.push_back(wavelength[a.pixel[i]]);
        if (i > 0 && a.x[i - 1] < kSpectrometerSplitUm && a.x[i] >= kSpectrometerSplitUm)
            a.breaks.push_back(i);
    }
    return a;
}

struct SpectrumLine {
    const SpectrumMeasurement *m;
    std::vector<double> y, lo, hi;
};

std::vector<SpectrumLine> spectrum_lines(const SpectrumInput &in, const SpectrumAxis &axis)
{
    std::vector<SpectrumLine> lines;
    for (const auto &m : in.measurements) {
        if (m.dark) continue;
        SpectrumLine l{&m, {}, {}, {}};
        for (std::size_t p : axis.pixel) {
            double f = at(m.flux, p), e = std::fabs(at(m.error, p));
            l.y.push_back(f);
            l.lo.push_back(f - e);
            l.hi.push_back(f + e);
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

std::vector<svg::LegendEntry> spectrum_legend(const std::vector<SpectrumLine> &lines)
{
    std::vector<svg::LegendEntry> entries;
    for (std::size_t i = 0; i < lines.size() && i < svg::kDistinctColours; ++i)
        entries.push_back({"Meas. " + std::to_string(lines[i].m->number), svg::series_colour(i)});
    if (lines.size() > svg::kDistinctColours)
        entries.push_back(
            {std::to_string(lines.size() - svg::kDistinctColours) + " more", svg::kGrey});
    return entries;
}

}  // namespace

std::string spectrum_picture(const SpectrumInput &in)
{
    SpectrumAxis pixels = spectrum_axis(in.wavelength);
    std::vector<SpectrumLine> lines = spectrum_lines(in, pixels);
    std::vector<double> all, all_err;
    for (const auto &l : lines) {
        all.insert(all.end(), l.y.begin(), l.y.end());
        for (std::size_t i = 0; i < l.y.size(); ++i) all_err.push_back(l.hi[i] - l.y[i]);
    }
    LogChoice log = choose_log(all);

    Document doc(900, 560);
    svg::title(doc, title_lines(in.title));
    AxisSpec x = pixels.x.empty() ? axis("Wavelength (µm)", ScaleKind::linear, 2.5, 11.6)
                                  : axis("Wavelength (µm)", ScaleKind::linear, pixels.x.front(),
                                         pixels.x.back());
    Plot plot(doc, {90, kTitleBand + 10, 620, 400}, x,
              value_axis("Flux density (Jy)", all, all_err, log.log));
    // Bands first, so that no band covers a line.
    for (std::size_t i = lines.size(); i-- > 0;)
        plot.band(pixels.x, lines[i].lo, lines[i].hi, svg::series_colour(i), pixels.breaks);
    for (std::size_t i = lines.size(); i-- > 0;)
        plot.series(pixels.x, lines[i].y, svg::series_colour(i),
                    "Meas. " + std::to_string(lines[i].m->number), pixels.breaks);
    plot.close();
    svg::legend(doc, {725, kTitleBand + 10}, spectrum_legend(lines));

    std::vector<std::string> text;
    std::size_t dark = in.measurements.size() - lines.size();
    if (lines.empty()) text.push_back("No measurement to show.");
    if (dark > 0) text.push_back(plural(dark, "dark measurement") + " not drawn.");
    if (log.hidden > 0)
        text.push_back(plural(log.hidden, "value") + " <= 0 not drawn on the logarithmic axis.");
    notes(doc, 90, 528, text);
    return doc.str();
}

// ---- spectral energy distribution ------------------------------------------

double filter_wavelength(std::string_view filter)
{
    std::size_t b = filter.find_first_not_of(" '"), e = filter.find_last_not_of(" '");
    if (b == std::string_view::npos) return kNoValue;
    std::string_view name = filter.substr(b, e - b + 1);
    std::size_t cut = name.find('_');
    if (cut == 0 || cut == std::string_view::npos ||
        !std::isalpha(static_cast<unsigned char>(name[0])))
        return kNoValue;
    for (char c : name.substr(0, cut))
        if (!std::isalnum(static_cast<unsigned char>(c))) return kNoValue;
    std::string number(name.substr(cut + 1));
    std::size_t point = number.find_first_of("._");
    if (point != std::string::npos) number[point] = '.';
    if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(number.begin(), number.end(), '.') > 1 || number.front() == '.' ||
        number.back() == '.')
        return kNoValue;
    double v = kNoValue;
    std::from_chars(number.data(), number.data() + number.size(), v);
    return v > 0 ? v : kNoValue;
}

namespace {

// Colour index of every point: one per distinct aperture, in order of first
// appearance; the names of those apertures.
std::vector<std::size_t> aperture_colours(const std::vector<SedPoint> &points,
                                          std::vector<std::string> &apertures)
{
    std::vector<std::size_t> colour;
    for (const auto &p : points) {
        auto it = std::find(apertures.begin(), apertures.end(), p.aperture);
        colour.push_back(static_cast<std::size_t>(it - apertures.begin()));
        if (it == apertures.end()) apertures.push_back(p.aperture);
    }
    return colour;
}

// Pixel shift of each point so that points at the same x stand side by side.
std::vector<double> side_by_side(const std::vector<double> &x)
{
    std::vector<double> dx(x.size(), 0.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        std::size_t n = 0, k = 0;
        for (std::size_t j = 0; j < x.size(); ++j)
            if (x[j] == x[i]) k += j < i, ++n;
        dx[i] = (static_cast<double>(k) - (n - 1) / 2.0) * 10.0;
    }
    return dx;
}

AxisSpec sed_x_axis(const std::vector<SedPoint> &points, std::vector<double> &x)
{
    bool named = !points.empty();
    for (const auto &p : points) {
        x.push_back(filter_wavelength(p.filter));
        named = named && std::isfinite(x.back());
    }
    if (named) {
        auto [lo, hi] = std::minmax_element(x.begin(), x.end());
        AxisSpec a =
            axis("Reference wavelength (µm)",
                 *hi / *lo > kLogWavelengthSpread ? ScaleKind::log : ScaleKind::linear, *lo, *hi);
        a.pad = 0.05;
        a.extend = a.kind != ScaleKind::log;
        return a;
    }
    AxisSpec a = axis("Filter/aperture configuration", ScaleKind::category);
    for (std::size_t i = 0; i < points.size(); ++i) {
        x[i] = static_cast<double>(i + 1);
        const auto &p = points[i];
        a.categories.push_back(p.aperture.empty() ? p.filter : p.filter + " " + p.aperture);
    }
    return a;
}

}  // namespace

std::string sed_picture(const SedInput &in)
{
    std::vector<double> x, v, err;
    AxisSpec xa = sed_x_axis(in.points, x);
    for (const auto &p : in.points) {
        v.push_back(p.value);
        err.push_back(p.error);
    }
    LogChoice log = choose_log(v);
    std::vector<std::string> apertures;
    std::vector<std::size_t> colour = aperture_colours(in.points, apertures);
    std::vector<double> dx = side_by_side(x);

    // Turned category names need room below the plot.
    std::size_t longest = 0;
    for (const auto &name : xa.categories) longest = std::max(longest, name.size());
    const double plot_h = 370, below = 60 + 0.6 * svg::text_width(longest, 11);
    Document doc(820, kTitleBand + 10 + plot_h + below + 30);
    svg::title(doc, title_lines(in.title));
    Plot plot(doc, {90, kTitleBand + 10, 560, plot_h}, xa,
              value_axis(in.quantity + " (" + in.unit + ")", v, err, log.log));
    std::size_t missing = 0;
    for (std::size_t i = 0; i < in.points.size(); ++i)
        if (!plot.point(x[i], v[i], err[i], svg::series_colour(colour[i]), dx[i],
                        in.points[i].filter))
            ++missing;
    plot.close();
    if (apertures.size() > 1) {
        std::vector<svg::LegendEntry> entries;
        for (std::size_t i = 0; i < apertures.size(); ++i)
            entries.push_back({"aperture " + apertures[i], svg::series_colour(i), false});
        svg::legend(doc, {665, kTitleBand + 10}, entries);
    }
    std::vector<std::string> text;
    if (in.points.empty()) text.push_back("No configuration to show.");
    if (missing > 0)
        text.push_back(plural(missing, "configuration") + " without a value that can be drawn.");
    notes(doc, 90, doc.height() - 16, text);
    return doc.str();
}

// ---- camera pixel arrays ---------------------------------------------------

namespace {

double pitch_arcsec(Detector d)
{
    return d == Detector::c200 ? kC200PitchArcsec : kC100PitchArcsec;
}

const char *detector_name(Detector d)
{
    return d == Detector::c100 ? "C100" : d == Detector::c200 ? "C200" : "no detector";
}

// Offset in arcsec of grid cell (row l, column m), both 0-based from the top
// left, from the centre of the array: x to the right, y up.
svg::Point cell_offset(Detector d, int l, int m)
{
    const PixelLayout &layout = pixel_layout(d);
    double h = (layout.size - 1) / 2.0, pitch = pitch_arcsec(d);
    return {(m - h) * pitch, (h - l) * pitch};
}

Range camera_range(const std::vector<CameraFilter> &filters)
{
    Range r;
    for (const auto &f : filters) {
        if (f.detector == Detector::none) continue;
        const PixelLayout &layout = pixel_layout(f.detector);
        for (int l = 0; l < layout.size; ++l)
            for (int m = 0; m < layout.size; ++m) r.add(f.value[layout.element[l][m]]);
    }
    return r;
}

void camera_square(Document &doc, const Plot &plot, const CameraFilter &f, int l, int m,
                   const Range &range)
{
    int element = pixel_layout(f.detector).element[l][m];
    double half = pitch_arcsec(f.detector) * kPixelFill / 2;
    svg::Point c = cell_offset(f.detector, l, m);
    double v = f.value[element];
    double t = svg::map_position(v, range.lo, range.hi);
    double x0 = plot.px(c.x - half), y0 = plot.py(c.y + half);
    double side = plot.px(c.x + half) - x0;
    doc.open_group({{"class", "pixel"}, {"data-pixel", std::to_string(element + 1)}});
    doc.rect({x0, y0, side, side}, svg::map_colour(t));
    std::string ink = svg::text_colour_on_map(t);
    doc.text({x0 + 4, y0 + 12}, std::to_string(element + 1), {10, svg::Anchor::start, false, ink});
    // The value fills at most nine tenths of the square's width.
    std::string text = svg::value_text(v);
    double size =
        std::min(13.0, 0.9 * side / svg::text_width(std::max<std::size_t>(text.size(), 1), 1.0));
    doc.text({x0 + side / 2, y0 + side / 2 + size * 0.35}, text,
             {size, svg::Anchor::middle, true, ink});
    doc.close_group();
}

void camera_panel(Document &doc, const Rect &area, const CameraFilter &f, const Range &range)
{
    std::string heading = "Filter " + std::to_string(f.number) + ": " + f.name + " (" +
                          detector_name(f.detector) + ")";
    doc.text({area.x + area.w / 2, area.y - 10}, heading, {13, svg::Anchor::middle, true});
    if (f.detector == Detector::none) {
        doc.rect(area, "#f4f4f4", "#b0b0b0", 1);
        doc.text({area.x + area.w / 2, area.y + area.h / 2}, "FILTER card names no detector",
                 {11, svg::Anchor::middle, false, kNoteColour});
        return;
    }
    const PixelLayout &layout = pixel_layout(f.detector);
    double extent = layout.size * pitch_arcsec(f.detector) / 2 * 1.04;
    AxisSpec x = axis("column offset (arcsec)", ScaleKind::linear, -extent, extent);
    AxisSpec y = axis("row offset (arcsec)", ScaleKind::linear, -extent, extent);
    x.extend = y.extend = false;
    Plot plot(doc, area, x, y);
    for (int l = 0; l < layout.size; ++l)
        for (int m = 0; m < layout.size; ++m) camera_square(doc, plot, f, l, m, range);
    plot.close();
}

}  // namespace

std::string camera_array_picture(const CameraArrayInput &in)
{
    constexpr double kArea = 210, kCellW = 320, kCellH = 300;
    const std::size_t n = std::max<std::size_t>(in.filters.size(), 1);
    const std::size_t cols = std::min<std::size_t>(n, 3), rows = (n + cols - 1) / cols;
    Document doc(40 + cols * kCellW + 110, kTitleBand + 30 + rows * kCellH);
    svg::title(doc, title_lines(in.title));
    Range range = camera_range(in.filters);
    for (std::size_t i = 0; i < in.filters.size(); ++i) {
        double x = 100 + (i % cols) * kCellW, y = kTitleBand + 40 + (i / cols) * kCellH;
        camera_panel(doc, {x, y, kArea, kArea}, in.filters[i], range);
    }
    double bar_x = 40 + cols * kCellW;
    std::string label = in.quantity + (in.unit.empty() ? "" : " (" + in.unit + ")");
    if (range.empty())
        notes(doc, 40, kTitleBand + 20, {"No pixel value to show."});
    else
        svg::colour_bar(doc, {bar_x, kTitleBand + 40, 16, kArea}, range.lo, range.hi, label);
    return doc.str();
}

// ---- raster map ------------------------------------------------------------

namespace {

constexpr double kArcsecPerDegree = 3600.0;
constexpr double kDegreesToRadians = 0.017453292519943295;

// Difference a - b of two right ascensions in degrees, within +-180.
double ra_difference(double a, double b)
{
    double d = std::fmod(a - b, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
}

svg::Point raster_centre(const RasterMapInput &in)
{
    if (std::isfinite(in.centre_ra) && std::isfinite(in.centre_dec))
        return {in.centre_ra, in.centre_dec};
    double ra0 = kNoValue, sum_ra = 0, sum_dec = 0;
    std::size_t n = 0;
    for (const auto &f : in.filters)
        for (const auto &p : f.points) {
            if (!std::isfinite(p.ra) || !std::isfinite(p.dec)) continue;
            if (n == 0) ra0 = p.ra;
            sum_ra += ra_difference(p.ra, ra0);
            sum_dec += p.dec;
            ++n;
        }
    if (n == 0) return {0, 0};
    return {ra0 + sum_ra / n, sum_dec / n};
}

// Corners of one pixel of a raster point, as (east, north) offsets in arcsec
// from the raster centre: the pixel's square in the array frame turned by the
// roll angle (array x maps to east and y to north at roll 0).
std::vector<svg::Point> pixel_corners(Detector d, int l, int m, const RasterPoint &p,
                                      svg::Point centre)
{
    double phi = (std::isfinite(p.roll) ? p.roll : 0.0) * kDegreesToRadians;
    double east0 =
        ra_difference(p.ra, centre.x) * std::cos(centre.y * kDegreesToRadians) * kArcsecPerDegree;
    double north0 = (p.dec - centre.y) * kArcsecPerDegree;
    svg::Point c = cell_offset(d, l, m);
    double half = pitch_arcsec(d) * kPixelFill / 2;
    std::vector<svg::Point> corners;
    for (auto [sx, sy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        double x = c.x + sx * half, y = c.y + sy * half;
        corners.push_back({east0 + x * std::cos(phi) + y * std::sin(phi),
                           north0 - x * std::sin(phi) + y * std::cos(phi)});
    }
    return corners;
}

struct RasterPanel {
    const RasterFilter *filter;
    Range east, north, value;
};

RasterPanel raster_extent(const RasterFilter &f, svg::Point centre)
{
    RasterPanel panel{&f, {}, {}, {}};
    const PixelLayout &layout = pixel_layout(f.detector);
    for (const auto &p : f.points) {
        if (!std::isfinite(p.ra) || !std::isfinite(p.dec)) continue;
        for (int l = 0; l < layout.size; ++l)
            for (int m = 0; m < layout.size; ++m) {
                for (svg::Point c : pixel_corners(f.detector, l, m, p, centre)) {
                    panel.east.add(c.x);
                    panel.north.add(c.y);
                }
                panel.value.add(p.brightness[layout.element[l][m]]);
            }
    }
    return panel;
}

// Equal scales on both axes: the shorter range grows about its middle to the
// length of the longer one, and both get a small margin.
void square_ranges(Range &a, Range &b)
{
    if (a.empty() || b.empty()) a = b = {-100, 100};
    double half = std::max(a.hi - a.lo, b.hi - b.lo) / 2 * 1.06;
    for (Range *r : {&a, &b}) {
        double mid = (r->lo + r->hi) / 2;
        *r = {mid - half, mid + half};
    }
}

void raster_panel(Document &doc, const Rect &area, RasterPanel panel, svg::Point centre,
                  const std::string &unit)
{
    const RasterFilter &f = *panel.filter;
    doc.text({area.x + area.w / 2, area.y - 10},
             "Filter " + std::to_string(f.number) + ": " + f.name + " (" +
                 detector_name(f.detector) + ")",
             {13, svg::Anchor::middle, true});
    square_ranges(panel.east, panel.north);
    AxisSpec x = axis("East offset (arcsec)", ScaleKind::linear, panel.east.lo, panel.east.hi);
    AxisSpec y = axis("North offset (arcsec)", ScaleKind::linear, panel.north.lo, panel.north.hi);
    x.extend = y.extend = false;
    x.reversed = true;
    Plot plot(doc, area, x, y);
    const PixelLayout &layout = pixel_layout(f.detector);
    for (const auto &p : f.points) {
        if (!std::isfinite(p.ra) || !std::isfinite(p.dec)) continue;
        doc.open_group({{"class", "raster-point"},
                        {"data-point", std::to_string(p.point) + " " + std::to_string(p.line)}});
        for (int l = 0; l < layout.size; ++l)
            for (int m = 0; m < layout.size; ++m) {
                std::vector<svg::Point> outline;
                for (svg::Point c : pixel_corners(f.detector, l, m, p, centre))
                    outline.push_back({plot.px(c.x), plot.py(c.y)});
                double v = p.brightness[layout.element[l][m]];
                doc.polygon(outline,
                            svg::map_colour(svg::map_position(v, panel.value.lo, panel.value.hi)));
            }
        doc.close_group();
    }
    plot.close();
    Rect bar{area.x + area.w + 16, area.y, 14, area.h};
    if (!panel.value.empty())
        svg::colour_bar(doc, bar, panel.value.lo, panel.value.hi,
                        "Surface brightness (" + unit + ")");
}

}  // namespace

std::string raster_map_picture(const RasterMapInput &in)
{
    constexpr double kArea = 300, kCellW = 500, kCellH = 390;
    const std::size_t n = std::max<std::size_t>(in.filters.size(), 1);
    const std::size_t cols = std::min<std::size_t>(n, 2), rows = (n + cols - 1) / cols;
    Document doc(20 + cols * kCellW, kTitleBand + 30 + rows * kCellH);
    svg::title(doc, title_lines(in.title));
    svg::Point centre = raster_centre(in);
    std::size_t empty = 0;
    for (std::size_t i = 0; i < in.filters.size(); ++i) {
        double x = 100 + (i % cols) * kCellW, y = kTitleBand + 40 + (i / cols) * kCellH;
        RasterPanel panel = raster_extent(in.filters[i], centre);
        if (panel.east.empty()) ++empty;
        raster_panel(doc, {x, y, kArea, kArea}, panel, centre, in.unit);
    }
    std::vector<std::string> text;
    if (in.filters.empty()) text.push_back("No raster point to show.");
    if (empty > 0) text.push_back(plural(empty, "filter") + " without a raster position.");
    notes(doc, 20, doc.height() - 12, text);
    return doc.str();
}
