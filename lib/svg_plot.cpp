// SVG writer for plots; see svg_plot.h. Numbers are written with
// std::to_chars, which ignores the locale, so that the same input always gives
// the same bytes.
#include "svg_plot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace svg {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Coordinates are kept within this many pixels of the origin: a value far off
// the scale is clipped from view anyway, and its digits would only bloat the
// document.
constexpr double kMaxCoordinate = 1e6;

// The shortest text that reads back as v.
std::string exact(double v)
{
    if (!std::isfinite(v)) return "0";
    std::array<char, 64> buf{};
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return std::string(buf.data(), r.ptr);
}

std::string coordinate(double v)
{
    return fixed(std::clamp(v, -kMaxCoordinate, kMaxCoordinate), 2);
}

std::string attr(std::string_view name, std::string_view value)
{
    std::string s = " ";
    s += name;
    s += "=\"";
    s += escape(value);
    s += '"';
    return s;
}

bool finite(Point p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Length of the well-formed UTF-8 sequence XML accepts at text[i], or 0.
std::size_t utf8_length(std::string_view text, std::size_t i)
{
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    std::size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    unsigned char c1 = byte(i + 1);
    if (c == 0xE0 && c1 < 0xA0) return 0;                          // overlong
    if (c == 0xED && c1 > 0x9F) return 0;                          // surrogates
    if (c == 0xF0 && c1 < 0x90) return 0;                          // overlong
    if (c == 0xF4 && c1 > 0x8F) return 0;                          // beyond U+10FFFF
    if (c == 0xEF && c1 == 0xBF && byte(i + 2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return n;
}

// Trailing zeros of a decimal fraction, and a bare point, removed.
std::string trim_zeros(std::string s)
{
    if (s.find('.') == std::string::npos) return s;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

// Label of a linear tick at v on an axis with the given step and largest
// magnitude: decimals enough to tell the ticks apart, or a power of ten for
// very large or very small axes.
std::string tick_label(double v, double step, double max_abs)
{
    int n = static_cast<int>(std::floor(std::log10(step) + 1e-9));
    if (max_abs < 1e6 && max_abs >= 1e-3) return fixed(v, std::max(0, -n));
    if (v == 0) return "0";
    int e = static_cast<int>(std::floor(std::log10(std::fabs(v)) + 1e-9));
    std::string mantissa = trim_zeros(fixed(v / std::pow(10.0, e), std::max(0, e - n)));
    return mantissa + "e" + std::to_string(e);
}

// Label of m x 10^k on a log axis.
std::string log_label(int m, int k)
{
    if (k >= -4 && k <= 5) return fixed(m * std::pow(10.0, k), std::max(0, -k));
    return std::to_string(m) + "e" + std::to_string(k);
}

struct Rgb {
    double r, g, b;
};

// Stops of the sequential map, evenly spaced from 0 to 1.
constexpr std::array<Rgb, 9> kMapStops{{{68, 1, 84},
                                        {71, 45, 123},
                                        {59, 82, 139},
                                        {44, 114, 142},
                                        {33, 145, 140},
                                        {40, 174, 128},
                                        {94, 201, 98},
                                        {173, 220, 48},
                                        {253, 231, 37}}};

Rgb map_rgb(double t)
{
    t = std::clamp(t, 0.0, 1.0) * (kMapStops.size() - 1);
    std::size_t i = std::min(static_cast<std::size_t>(t), kMapStops.size() - 2);
    double f = t - i;
    const Rgb &a = kMapStops[i], &b = kMapStops[i + 1];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

std::string hex(const Rgb &c)
{
    static const char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (double v : {c.r, c.g, c.b}) {
        int n = static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
        s += digits[n / 16];
        s += digits[n % 16];
    }
    return s;
}

const char *anchor_name(Anchor a)
{
    return a == Anchor::middle ? "middle" : a == Anchor::end ? "end" : "start";
}

}  // namespace

// ---- text and numbers ------------------------------------------------------

std::string escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::size_t n = utf8_length(text, i);
            out += n ? text.substr(i, n) : std::string_view("?");
            i += n ? n : 1;
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\t':
        case '\n':
        case '\r': out += static_cast<char>(c); break;
        default: out += c < 0x20 ? '?' : static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

std::string fixed(double v, int decimals)
{
    if (!std::isfinite(v)) return "0";
    std::array<char, 400> buf{};
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed,
                           std::clamp(decimals, 0, 17));
    if (r.ec != std::errc()) return "0";
    std::string s(buf.data(), r.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

std::string value_text(double v, int digits)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (v == 0) return "0";
    digits = std::clamp(digits, 1, 17);
    double a = std::fabs(v);
    if (a >= 1e-3 && a < 1e5) {
        int e = static_cast<int>(std::floor(std::log10(a)));
        return trim_zeros(fixed(v, std::max(0, digits - 1 - e)));
    }
    std::array<char, 64> buf{};
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::scientific,
                           digits - 1);
    std::string s(buf.data(), r.ptr);
    std::size_t e = s.find('e');
    return trim_zeros(s.substr(0, e)) + s.substr(e);
}

double text_width(std::size_t chars, double font_size)
{
    return static_cast<double>(chars) * font_size * 0.62;
}

// ---- ticks and scales ------------------------------------------------------

double nice_step(double span, int target)
{
    if (!(span > 0) || !std::isfinite(span)) return 1;
    double raw = span / std::max(1, target);
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double f = raw / magnitude;
    double nice = f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10;
    return nice * magnitude;
}

Ticks linear_ticks(double lo, double hi, int target, bool extend)
{
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
    lo = std::clamp(lo, -1e300, 1e300);
    hi = std::clamp(hi, -1e300, 1e300);
    if (lo > hi) std::swap(lo, hi);
    if (hi - lo <= 1e-12 * std::max(std::fabs(lo), std::fabs(hi))) {
        double d = lo == 0 ? 1 : std::fabs(lo) * 0.1;
        lo -= d;
        hi += d;
    }
    double step = nice_step(hi - lo, target);
    // An axis that keeps its range may hold too few ticks for the step:
    // smaller steps until at least three fit.
    for (int more = target + 1; !extend && more <= 3 * target + 3; ++more) {
        if (std::floor(hi / step + 1e-9) - std::ceil(lo / step - 1e-9) >= 2) break;
        step = nice_step(hi - lo, more);
    }
    double first = std::ceil(lo / step - 1e-9), last = std::floor(hi / step + 1e-9);
    Ticks t;
    t.lo = lo;
    t.hi = hi;
    if (extend) {
        first = std::floor(lo / step + 1e-9);
        last = std::ceil(hi / step - 1e-9);
        t.lo = first * step;
        t.hi = last * step;
    }
    double max_abs = std::max(std::fabs(t.lo), std::fabs(t.hi));
    for (double k = first; k <= last; k += 1) {
        double v = std::fabs(k) < 0.5 ? 0.0 : k * step;
        t.major.push_back(v);
        t.labels.push_back(tick_label(v, step, max_abs));
    }
    return t;
}

Ticks log_ticks(double lo, double hi, bool extend)
{
    if (!(hi > 0) || !std::isfinite(hi)) hi = 10;
    if (!(lo > 0) || !std::isfinite(lo) || lo >= hi) lo = hi / 100;
    int k0 = static_cast<int>(std::floor(std::log10(lo) + 1e-9));
    int k1 = static_cast<int>(std::ceil(std::log10(hi) - 1e-9));
    if (k1 <= k0) k1 = k0 + 1;
    Ticks t;
    t.lo = extend ? std::pow(10.0, k0) : lo;
    t.hi = extend ? std::pow(10.0, k1) : hi;
    double decades = std::log10(t.hi / t.lo);
    int every = decades <= 6 ? 1 : static_cast<int>(std::ceil(decades / 6));
    for (int k = k0; k <= k1; ++k) {
        for (int m = 1; m <= 9; ++m) {
            double v = m * std::pow(10.0, k);
            if (v < t.lo * (1 - 1e-9) || v > t.hi * (1 + 1e-9)) continue;
            bool labelled = decades < 1.2 ? true
                            : decades < 3 ? m == 1 || m == 2 || m == 5
                                          : m == 1 && (k - k0) % every == 0;
            if (labelled) {
                t.major.push_back(v);
                t.labels.push_back(log_label(m, k));
            } else if (decades <= 12) {
                t.minor.push_back(v);
            }
        }
    }
    return t;
}

Ticks category_ticks(const std::vector<std::string> &names)
{
    Ticks t;
    t.lo = 0.5;
    t.hi = std::max<std::size_t>(names.size(), 1) + 0.5;
    for (std::size_t i = 0; i < names.size(); ++i) {
        t.major.push_back(static_cast<double>(i + 1));
        t.labels.push_back(names[i]);
    }
    return t;
}

double Scale::operator()(double v) const
{
    if (!std::isfinite(v) || (log && v <= 0)) return kNaN;
    double t = log ? (std::log10(v) - std::log10(d0)) / (std::log10(d1) - std::log10(d0))
                   : (v - d0) / (d1 - d0);
    return p0 + t * (p1 - p0);
}

// ---- colours ---------------------------------------------------------------

std::string series_colour(std::size_t i)
{
    static const std::array<const char *, kDistinctColours> palette{
        "#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
        "#8c564b", "#e377c2", "#bcbd22", "#17becf", "#000000"};
    return i < palette.size() ? palette[i] : kGrey;
}

std::string map_colour(double t)
{
    return std::isfinite(t) ? hex(map_rgb(t)) : std::string("#c8c8c8");
}

std::string text_colour_on_map(double t)
{
    if (!std::isfinite(t)) return "#000000";
    Rgb c = map_rgb(t);
    return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b > 140 ? "#000000" : "#ffffff";
}

double map_position(double v, double lo, double hi)
{
    if (!std::isfinite(v)) return kNaN;
    if (!(hi > lo)) return 0.5;
    return std::clamp((v - lo) / (hi - lo), 0.0, 1.0);
}

// ---- the document ----------------------------------------------------------

Document::Document(double width, double height) : width_(width), height_(height) {}

void Document::rect(const Rect &r, const std::string &fill, const std::string &stroke,
                    double stroke_width, double opacity)
{
    if (!finite({r.x, r.y}) || !finite({r.w, r.h})) return;
    body_ += "<rect x=\"" + coordinate(r.x) + "\" y=\"" + coordinate(r.y) + "\" width=\"" +
             coordinate(std::max(0.0, r.w)) + "\" height=\"" + coordinate(std::max(0.0, r.h)) +
             "\"" + attr("fill", fill);
    if (stroke != "none")
        body_ += attr("stroke", stroke) + attr("stroke-width", fixed(stroke_width));
    if (opacity < 1) body_ += attr("fill-opacity", fixed(opacity));
    body_ += "/>\n";
}

void Document::line(Point a, Point b, const std::string &stroke, double width,
                    const std::string &dash)
{
    if (!finite(a) || !finite(b)) return;
    body_ += "<line x1=\"" + coordinate(a.x) + "\" y1=\"" + coordinate(a.y) + "\" x2=\"" +
             coordinate(b.x) + "\" y2=\"" + coordinate(b.y) + "\"" + attr("stroke", stroke) +
             attr("stroke-width", fixed(width));
    if (!dash.empty()) body_ += attr("stroke-dasharray", dash);
    body_ += "/>\n";
}

void Document::append_point_list(const std::vector<Point> &points)
{
    body_ += " points=\"";
    bool first = true;
    for (const Point &p : points) {
        if (!finite(p)) continue;
        if (!first) body_ += ' ';
        body_ += coordinate(p.x) + "," + coordinate(p.y);
        first = false;
    }
    body_ += '"';
}

void Document::polyline(const std::vector<Point> &points, const std::string &stroke, double width)
{
    if (std::count_if(points.begin(), points.end(), [](Point p) { return finite(p); }) < 2) return;
    body_ += "<polyline";
    append_point_list(points);
    body_ += attr("fill", "none") + attr("stroke", stroke) + attr("stroke-width", fixed(width)) +
             attr("stroke-linejoin", "round") + "/>\n";
}

void Document::polygon(const std::vector<Point> &points, const std::string &fill, double opacity,
                       const std::string &stroke)
{
    if (std::count_if(points.begin(), points.end(), [](Point p) { return finite(p); }) < 3) return;
    body_ += "<polygon";
    append_point_list(points);
    body_ += attr("fill", fill);
    if (opacity < 1) body_ += attr("fill-opacity", fixed(opacity));
    if (stroke != "none") body_ += attr("stroke", stroke) + attr("stroke-width", "0.50");
    body_ += "/>\n";
}

void Document::circle(Point c, double r, const std::string &fill, const std::string &stroke)
{
    if (!finite(c)) return;
    body_ += "<circle cx=\"" + coordinate(c.x) + "\" cy=\"" + coordinate(c.y) + "\" r=\"" +
             fixed(r) + "\"" + attr("fill", fill);
    if (stroke != "none") body_ += attr("stroke", stroke);
    body_ += "/>\n";
}

void Document::text(Point at, std::string_view text, const TextStyle &style)
{
    if (!finite(at)) return;
    body_ += "<text x=\"" + coordinate(at.x) + "\" y=\"" + coordinate(at.y) + "\"";
    if (style.anchor != Anchor::start) body_ += attr("text-anchor", anchor_name(style.anchor));
    if (style.size != 12) body_ += attr("font-size", fixed(style.size, 1));
    if (style.bold) body_ += attr("font-weight", "bold");
    if (style.fill != "#000000") body_ += attr("fill", style.fill);
    if (style.rotate != 0)
        body_ += attr("transform", "rotate(" + fixed(style.rotate, 1) + " " + coordinate(at.x) +
                                       " " + coordinate(at.y) + ")");
    body_ += ">" + escape(text) + "</text>\n";
}

std::string Document::vertical_gradient(const std::vector<std::string> &colours)
{
    std::string id = "gradient" + std::to_string(++gradients_);
    defs_ += "<linearGradient id=\"" + id + "\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">\n";
    for (std::size_t i = 0; i < colours.size(); ++i) {
        double offset = colours.size() > 1 ? static_cast<double>(i) / (colours.size() - 1) : 0;
        defs_ +=
            "<stop offset=\"" + fixed(offset, 4) + "\"" + attr("stop-color", colours[i]) + "/>\n";
    }
    defs_ += "</linearGradient>\n";
    return "url(#" + id + ")";
}

void Document::open_group(const Attributes &attributes)
{
    body_ += "<g";
    for (const auto &[name, value] : attributes) body_ += attr(name, value);
    body_ += ">\n";
    ++open_groups_;
}

void Document::open_clipped_group(const Rect &clip, const Attributes &attributes)
{
    std::string id = "clip" + std::to_string(++clips_);
    defs_ += "<clipPath id=\"" + id + "\"><rect x=\"" + coordinate(clip.x) + "\" y=\"" +
             coordinate(clip.y) + "\" width=\"" + coordinate(clip.w) + "\" height=\"" +
             coordinate(clip.h) + "\"/></clipPath>\n";
    Attributes all{{"clip-path", "url(#" + id + ")"}};
    all.insert(all.end(), attributes.begin(), attributes.end());
    open_group(all);
}

void Document::close_group()
{
    if (open_groups_ == 0) return;
    body_ += "</g>\n";
    --open_groups_;
}

std::string Document::str() const
{
    std::string w = fixed(width_, 0), h = fixed(height_, 0);
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
                    "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
    if (!defs_.empty()) s += "<defs>\n" + defs_ + "</defs>\n";
    s += "<rect x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
    s += body_;
    for (int i = 0; i < open_groups_; ++i) s += "</g>\n";
    s += "</svg>\n";
    return s;
}

void title(Document &doc, const std::vector<std::string> &lines, double top)
{
    double y = top;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        TextStyle style{i == 0 ? 16.0 : 13.0, Anchor::middle, i == 0};
        doc.text({doc.width() / 2, y}, lines[i], style);
        y += i == 0 ? 20 : 17;
    }
}

// ---- plots -----------------------------------------------------------------

std::vector<std::pair<std::size_t, std::size_t>> segments(const std::vector<double> &x,
                                                          const std::vector<double> &y,
                                                          const std::vector<std::size_t> &breaks)
{
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::size_t n = std::min(x.size(), y.size());
    std::size_t begin = 0;
    bool in_run = false;
    for (std::size_t i = 0; i < n; ++i) {
        bool gap = !std::isfinite(x[i]) || !std::isfinite(y[i]);
        bool cut = std::find(breaks.begin(), breaks.end(), i) != breaks.end();
        if (in_run && (gap || cut)) {
            runs.emplace_back(begin, i);
            in_run = false;
        }
        if (!gap && !in_run) {
            begin = i;
            in_run = true;
        }
    }
    if (in_run) runs.emplace_back(begin, n);
    return runs;
}

namespace {

// The data range of an axis with its margins. A linear range of values that
// are all >= 0 keeps 0 as its lower end; a log range of one value spreads
// to either side of it.
AxisSpec padded(AxisSpec s)
{
    if (s.kind == ScaleKind::category || !std::isfinite(s.lo) || !std::isfinite(s.hi)) return s;
    if (s.kind == ScaleKind::log) {
        if (!(s.lo > 0) || !(s.hi >= s.lo)) return s;
        double f = s.hi / s.lo < 1.0001 ? 3.0 : std::pow(s.hi / s.lo, s.pad);
        s.lo /= f;
        s.hi *= f;
        return s;
    }
    double d = (s.hi - s.lo) * s.pad;
    bool non_negative = s.lo >= 0;
    s.lo -= d;
    s.hi += d;
    if (non_negative && s.lo < 0) s.lo = 0;
    return s;
}

Ticks axis_ticks(const AxisSpec &given, double pixels, double per_tick)
{
    AxisSpec axis = padded(given);
    int target = std::max(3, static_cast<int>(pixels / per_tick));
    switch (axis.kind) {
    case ScaleKind::log: return log_ticks(axis.lo, axis.hi, axis.extend);
    case ScaleKind::category: return category_ticks(axis.categories);
    default: return linear_ticks(axis.lo, axis.hi, target, axis.extend);
    }
}

const char *kind_name(ScaleKind k)
{
    return k == ScaleKind::log ? "log" : k == ScaleKind::category ? "category" : "linear";
}

std::size_t longest(const std::vector<std::string> &labels)
{
    std::size_t n = 0;
    for (const auto &l : labels) n = std::max(n, l.size());
    return n;
}

}  // namespace

Plot::Plot(Document &doc, const Rect &area, const AxisSpec &x, const AxisSpec &y)
    : doc_(doc), area_(area)
{
    xt_ = axis_ticks(x, area.w, 90);
    yt_ = axis_ticks(y, area.h, 55);
    xs_ = {xt_.lo, xt_.hi, area.x, area.x + area.w, x.kind == ScaleKind::log};
    ys_ = {yt_.lo, yt_.hi, area.y + area.h, area.y, y.kind == ScaleKind::log};
    if (x.reversed) std::swap(xs_.p0, xs_.p1);
    if (y.reversed) std::swap(ys_.p0, ys_.p1);
    draw_axes(x, y);
    double left = x.reversed ? xt_.hi : xt_.lo, right = x.reversed ? xt_.lo : xt_.hi;
    double bottom = y.reversed ? yt_.hi : yt_.lo, top = y.reversed ? yt_.lo : yt_.hi;
    doc_.open_clipped_group(area, {{"class", "plot"},
                                   {"data-x-range", exact(left) + " " + exact(right)},
                                   {"data-y-range", exact(bottom) + " " + exact(top)},
                                   {"data-x-scale", kind_name(x.kind)},
                                   {"data-y-scale", kind_name(y.kind)},
                                   {"data-area", fixed(area.x) + " " + fixed(area.y) + " " +
                                                     fixed(area.w) + " " + fixed(area.h)}});
    open_ = true;
}

void Plot::draw_axes(const AxisSpec &x, const AxisSpec &y)
{
    const std::string grid = "#e4e4e4", ink = "#000000";
    double bottom = area_.y + area_.h, right = area_.x + area_.w;
    doc_.rect(area_, "#ffffff");
    for (double v : xt_.major) doc_.line({px(v), area_.y}, {px(v), bottom}, grid, 1);
    for (double v : yt_.major) doc_.line({area_.x, py(v)}, {right, py(v)}, grid, 1);
    for (double v : xt_.minor) doc_.line({px(v), bottom}, {px(v), bottom + 3}, ink, 1);
    for (double v : yt_.minor) doc_.line({area_.x - 3, py(v)}, {area_.x, py(v)}, ink, 1);
    // Category names turn when they do not fit beside each other.
    double slot = area_.w / std::max<std::size_t>(xt_.major.size(), 1);
    double x_width = text_width(longest(xt_.labels), 11);
    bool turn = x.kind == ScaleKind::category && x_width > slot - 6;
    for (std::size_t i = 0; i < xt_.major.size(); ++i) {
        double p = px(xt_.major[i]);
        doc_.line({p, bottom}, {p, bottom + 5}, ink, 1);
        TextStyle s{11, turn ? Anchor::end : Anchor::middle};
        if (turn) s.rotate = -35;
        doc_.text({p + (turn ? 4 : 0), bottom + 18}, xt_.labels[i], s);
    }
    for (std::size_t i = 0; i < yt_.major.size(); ++i) {
        double p = py(yt_.major[i]);
        doc_.line({area_.x - 5, p}, {area_.x, p}, ink, 1);
        doc_.text({area_.x - 8, p + 4}, yt_.labels[i], {11, Anchor::end});
    }
    doc_.rect(area_, "none", ink, 1);
    double x_label_y = bottom + 40 + (turn ? x_width * 0.57 : 0);
    doc_.text({area_.x + area_.w / 2, x_label_y}, x.label, {13, Anchor::middle});
    double y_label_x = area_.x - 18 - text_width(longest(yt_.labels), 11);
    TextStyle ys{13, Anchor::middle};
    ys.rotate = -90;
    doc_.text({y_label_x, area_.y + area_.h / 2}, y.label, ys);
}

double Plot::clamp_y(double v) const
{
    if (ys_.log && v <= 0) return ys_.p0;
    return py(v);
}

void Plot::series(const std::vector<double> &x, const std::vector<double> &y,
                  const std::string &colour, const std::string &label,
                  const std::vector<std::size_t> &breaks)
{
    // Pixels, so that a value either scale cannot place is a gap too.
    std::vector<double> u(x.size()), v(y.size());
    for (std::size_t i = 0; i < x.size(); ++i) u[i] = px(x[i]);
    for (std::size_t i = 0; i < y.size(); ++i) v[i] = py(y[i]);
    doc_.open_group({{"class", "series"}, {"data-label", label}});
    for (auto [b, e] : segments(u, v, breaks)) {
        if (e - b == 1) {
            doc_.circle({u[b], v[b]}, 2, colour);
            continue;
        }
        std::vector<Point> points;
        for (std::size_t i = b; i < e; ++i) points.push_back({u[i], v[i]});
        doc_.polyline(points, colour);
    }
    doc_.close_group();
}

void Plot::band(const std::vector<double> &x, const std::vector<double> &lo,
                const std::vector<double> &hi, const std::string &colour,
                const std::vector<std::size_t> &breaks, double opacity)
{
    std::size_t n = std::min({x.size(), lo.size(), hi.size()});
    std::vector<double> u(n), bounded(n);
    for (std::size_t i = 0; i < n; ++i) {
        u[i] = px(x[i]);
        bounded[i] = std::isfinite(lo[i]) && std::isfinite(hi[i]) ? 0.0 : kNaN;
    }
    doc_.open_group({{"class", "band"}});
    for (auto [b, e] : segments(u, bounded, breaks)) {
        std::vector<Point> outline;
        for (std::size_t i = b; i < e; ++i) outline.push_back({u[i], clamp_y(hi[i])});
        for (std::size_t i = e; i-- > b;) outline.push_back({u[i], clamp_y(lo[i])});
        if (e - b == 1)
            doc_.line(outline[0], outline[1], colour, 1.5);
        else
            doc_.polygon(outline, colour, opacity);
    }
    doc_.close_group();
}

bool Plot::point(double x, double y, double err, const std::string &colour, double dx,
                 const std::string &label)
{
    Point c{px(x) + dx, py(y)};
    if (!finite(c)) return false;
    doc_.open_group({{"class", "point"}, {"data-label", label}});
    if (std::isfinite(err) && err > 0) {
        double top = py(y + err), bottom = clamp_y(y - err);
        doc_.open_group({{"class", "errorbar"}});
        doc_.line({c.x, bottom}, {c.x, top}, colour, 1.3);
        doc_.line({c.x - 4, top}, {c.x + 4, top}, colour, 1.3);
        doc_.line({c.x - 4, bottom}, {c.x + 4, bottom}, colour, 1.3);
        doc_.close_group();
    }
    doc_.circle(c, 3.5, colour, "#ffffff");
    doc_.close_group();
    return true;
}

void Plot::close()
{
    if (!open_) return;
    doc_.close_group();
    open_ = false;
}

// ---- keys ------------------------------------------------------------------

double legend(Document &doc, Point at, const std::vector<LegendEntry> &entries)
{
    if (entries.empty()) return 0;
    std::size_t chars = 0;
    for (const auto &e : entries) chars = std::max(chars, e.label.size());
    const double row = 18;
    double h = entries.size() * row + 8;
    doc.rect({at.x, at.y, 40 + text_width(chars, 12), h}, "#ffffff", "#b0b0b0", 1);
    doc.open_group({{"class", "legend"}});
    for (std::size_t i = 0; i < entries.size(); ++i) {
        double y = at.y + 4 + row * (i + 0.5);
        if (entries[i].line)
            doc.line({at.x + 8, y}, {at.x + 30, y}, entries[i].colour, 2.5);
        else
            doc.circle({at.x + 19, y}, 4, entries[i].colour);
        doc.text({at.x + 36, y + 4}, entries[i].label);
    }
    doc.close_group();
    return h;
}

void colour_bar(Document &doc, const Rect &r, double lo, double hi, const std::string &label)
{
    doc.open_group({{"class", "colourbar"}});
    std::vector<std::string> stops;
    for (std::size_t i = 0; i < kMapStops.size(); ++i) stops.push_back(hex(kMapStops[i]));
    doc.rect(r, doc.vertical_gradient(stops), "#000000", 1);
    Ticks t = linear_ticks(lo, hi, 5, false);
    for (std::size_t i = 0; i < t.major.size(); ++i) {
        double y = r.y + r.h - (t.major[i] - t.lo) / (t.hi - t.lo) * r.h;
        doc.line({r.x + r.w, y}, {r.x + r.w + 4, y}, "#000000", 1);
        doc.text({r.x + r.w + 7, y + 4}, t.labels[i], {11});
    }
    TextStyle s{12, Anchor::middle};
    s.rotate = 90;
    doc.text({r.x + r.w + 18 + text_width(longest(t.labels), 11), r.y + r.h / 2}, label, s);
    doc.close_group();
}

}  // namespace svg
