// A small SVG writer for plots: a document of shapes and texts, axes with
// "nice" ticks on linear, logarithmic and category scales, polylines that
// break at gaps, uncertainty bands, error bars, colour maps and legends.
//
// The output depends on nothing but the input: numbers are formatted without
// the locale and with a fixed number of decimals, no time or environment is
// read, and element ids are counted per document. Every text and attribute
// value is XML-escaped, and bytes that cannot stand in an XML document
// (control characters, malformed UTF-8) are replaced by '?'. Coordinates that
// are not finite never reach the document.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace svg {

// ---- text and numbers ------------------------------------------------------

// The text with &, <, >, " and ' escaped; control characters other than tab,
// newline and carriage return and malformed UTF-8 sequences become '?'.
std::string escape(std::string_view text);

// v with exactly `decimals` decimals ("-0.00" is written "0.00"); 0 when v is
// not finite.
std::string fixed(double v, int decimals = 2);

// v with at most `digits` significant digits, trailing zeros dropped: plain
// decimals for magnitudes from 0.001 to below 100000, else "1.234e+06".
// "NaN", "inf", "-inf" for the non-finite.
std::string value_text(double v, int digits = 4);

// Width in pixels that a text of `chars` characters takes at a font size,
// estimated for a sans-serif font (used for layout only).
double text_width(std::size_t chars, double font_size);

// ---- ticks and scales ------------------------------------------------------

// A step of 1, 2 or 5 times a power of ten that cuts a span into about
// `target` intervals.
double nice_step(double span, int target);

struct Ticks {
    double lo = 0, hi = 1;            // axis range, covering the data
    std::vector<double> major;        // labelled ticks, ascending
    std::vector<std::string> labels;  // one per major tick
    std::vector<double> minor;        // unlabelled ticks (log axes)
};

// Linear ticks covering [lo, hi]. With extend the axis range grows to the
// ticks at either end; without it the range is [lo, hi] and only the ticks
// inside it are kept. An empty or non-finite range is widened first.
Ticks linear_ticks(double lo, double hi, int target = 6, bool extend = true);

// Logarithmic ticks covering [lo, hi] (both > 0). With extend the axis runs
// from the decade at or below lo to the decade at or above hi, without it
// from lo to hi. Decades are labelled (only every second or further one when
// there are more than six), 2 and 5 as well when the axis spans fewer than
// three decades, and every 1 to 9 when it spans about one; other multiples
// are minor ticks.
Ticks log_ticks(double lo, double hi, bool extend = true);

// Category ticks: positions 1 to n labelled with the names, range 0.5 to
// n + 0.5.
Ticks category_ticks(const std::vector<std::string> &names);

// Maps data values onto pixels; a log scale maps log10 of the value.
struct Scale {
    double d0 = 0, d1 = 1;  // data range
    double p0 = 0, p1 = 1;  // pixels at d0 and d1
    bool log = false;
    // Pixel of v; NaN when v cannot be placed (not finite, or <= 0 on a log
    // scale).
    double operator()(double v) const;
};

// ---- colours ---------------------------------------------------------------

// Colour of series i: ten distinct colours, then grey for every later one.
std::string series_colour(std::size_t i);
inline constexpr std::size_t kDistinctColours = 10;
inline constexpr const char *kGrey = "#9a9a9a";

// Colour of a value of a sequential map (dark blue through green to yellow)
// at t in [0, 1] (clamped); grey when t is not finite.
std::string map_colour(double t);
// Black or white, whichever reads better on the colour at t of the map.
std::string text_colour_on_map(double t);

// ---- the document ----------------------------------------------------------

struct Point {
    double x, y;
};

struct Rect {
    double x, y, w, h;
};

enum class Anchor { start, middle, end };

struct TextStyle {
    double size = 12;
    Anchor anchor = Anchor::start;
    bool bold = false;
    std::string fill = "#000000";
    double rotate = 0;  // degrees, about the text's anchor point
};

using Attributes = std::vector<std::pair<std::string, std::string>>;

class Document {
public:
    Document(double width, double height);

    double width() const { return width_; }
    double height() const { return height_; }

    void rect(const Rect &r, const std::string &fill, const std::string &stroke = "none",
              double stroke_width = 1, double opacity = 1);
    void line(Point a, Point b, const std::string &stroke, double width = 1,
              const std::string &dash = "");
    // Skipped when fewer than two points are finite; non-finite points are
    // dropped (callers split at gaps before).
    void polyline(const std::vector<Point> &points, const std::string &stroke, double width = 1.5);
    void polygon(const std::vector<Point> &points, const std::string &fill, double opacity = 1,
                 const std::string &stroke = "none");
    void circle(Point c, double r, const std::string &fill, const std::string &stroke = "none");
    void text(Point at, std::string_view text, const TextStyle &style = {});

    // A gradient from the first colour at the bottom to the last at the top,
    // for a fill: returns its url(#...) reference.
    std::string vertical_gradient(const std::vector<std::string> &colours);

    // Groups nest; attribute values are escaped. A clipped group draws only
    // inside the rectangle.
    void open_group(const Attributes &attributes = {});
    void open_clipped_group(const Rect &clip, const Attributes &attributes = {});
    void close_group();

    // The whole document; open groups are closed.
    std::string str() const;

private:
    void append_point_list(const std::vector<Point> &points);

    double width_, height_;
    std::string body_;
    std::string defs_;
    int clips_ = 0;
    int gradients_ = 0;
    int open_groups_ = 0;
};

// Title lines centred at the top; the first in bold.
void title(Document &doc, const std::vector<std::string> &lines, double top = 22);

// ---- plots -----------------------------------------------------------------

enum class ScaleKind { linear, log, category };

struct AxisSpec {
    std::string label;  // with its unit, e.g. "Wavelength (um)"
    ScaleKind kind = ScaleKind::linear;
    double lo = 0, hi = 1;                // data range to cover (linear, log)
    std::vector<std::string> categories;  // category axes
    bool extend = true;                   // grow the range to whole ticks (decades)
    double pad = 0;                       // share of the span added at each end
    bool reversed = false;                // values grow leftwards / downwards
};

// Lengths [begin, end) of the runs of a series that are drawn as one line:
// a run ends before a point whose x or y is not finite (that point is left
// out) and before every index listed in breaks.
std::vector<std::pair<std::size_t, std::size_t>>
segments(const std::vector<double> &x, const std::vector<double> &y,
         const std::vector<std::size_t> &breaks = {});

// A plot area with its axes, drawn when constructed: frame, grid lines, ticks,
// tick labels and axis labels. The data drawing calls that follow go into a
// group clipped to the area, which close() ends (the destructor does not
// write). The group carries data-x-range (values at the left and right
// edges), data-y-range (values at the bottom and top edges), data-x-scale,
// data-y-scale and data-area (x y width height), so that readers of the
// picture can map pixels back to values.
class Plot {
public:
    Plot(Document &doc, const Rect &area, const AxisSpec &x, const AxisSpec &y);

    double px(double x) const { return xs_(x); }
    double py(double y) const { return ys_(y); }
    const Ticks &x_ticks() const { return xt_; }
    const Ticks &y_ticks() const { return yt_; }
    const Rect &area() const { return area_; }
    bool y_log() const { return ys_.log; }

    // A line through (x[i], y[i]) split into segments (see segments());
    // values that the y scale cannot place (<= 0 on a log axis) are gaps too.
    // A segment of a single point is drawn as a dot. The whole series is one
    // group with class "series" and data-label.
    void series(const std::vector<double> &x, const std::vector<double> &y,
                const std::string &colour, const std::string &label,
                const std::vector<std::size_t> &breaks = {});
    // A filled band between lo[i] and hi[i], split like a series at
    // non-finite x and bounds; on a log axis bounds <= 0 are drawn at the
    // bottom edge.
    void band(const std::vector<double> &x, const std::vector<double> &lo,
              const std::vector<double> &hi, const std::string &colour,
              const std::vector<std::size_t> &breaks = {}, double opacity = 0.18);
    // A point at (x, y) shifted by dx pixels, with a vertical error bar from
    // y - err to y + err (none when err is not finite or not positive), as a
    // group of class "point". Returns false, drawing nothing, when the point
    // cannot be placed.
    bool point(double x, double y, double err, const std::string &colour, double dx = 0,
               const std::string &label = "");
    // Ends the clipped data group.
    void close();

private:
    void draw_axes(const AxisSpec &x, const AxisSpec &y);
    double clamp_y(double v) const;

    Document &doc_;
    Rect area_;
    Ticks xt_, yt_;
    Scale xs_, ys_;
    bool open_ = false;
};

// ---- keys ------------------------------------------------------------------

struct LegendEntry {
    std::string label;
    std::string colour;
    bool line = true;  // a line sample; otherwise a dot
};

// A legend box with its top-left corner at `at`, one entry per row.
// Returns its height.
double legend(Document &doc, Point at, const std::vector<LegendEntry> &entries);

// A vertical colour bar of the map for values lo (bottom) to hi (top) in the
// rectangle, with nice ticks on its right and the label (with unit) turned
// along its right side.
void colour_bar(Document &doc, const Rect &r, double lo, double hi, const std::string &label);

// Position in [0, 1] of v in the range [lo, hi] of a colour bar (0.5 when the
// range is empty); NaN when v is not finite.
double map_position(double v, double lo, double hi);

}  // namespace svg
