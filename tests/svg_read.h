// Helpers of the picture tests: reading an SVG picture back as plain text
// (groups, attributes, numbers, the mapping of each plot from data to
// pixels), and the checks that a picture is well-formed and renders.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Every piece of text from an occurrence of `from` through the first `to`
// after it. (The groups read here hold no nested group before their data.)
std::vector<std::string> pieces(const std::string &text, const std::string &from,
                                const std::string &to);
std::size_t count(const std::string &text, const std::string &what);
// Value of the first attribute `name` in text, or "".
std::string attribute(const std::string &text, const std::string &name);
// The numbers in a text such as "1.5,2 -3e2" (nan and inf included).
std::vector<double> numbers(const std::string &text);
// The groups of a class, each through its first "</g>".
std::vector<std::string> groups(const std::string &svg, const std::string &kind);

// The mapping of a plot from data to pixels.
struct PlotFrame {
    double left, right, bottom, top;  // values at the edges
    double x, y, w, h;                // area in pixels
    std::string x_scale, y_scale;
    double px(double v) const;        // pixel of an x value
    double x_value(double px) const;  // value at an x pixel (linear scales)
    double y_value(double py) const;  // value at a y pixel (linear scales)
};
// The first plot of a picture, and every plot in document order.
PlotFrame frame(const std::string &svg);
std::vector<PlotFrame> frames(const std::string &svg);

// x pixel coordinates of every polyline of a group.
std::vector<std::vector<double>> polyline_xs(const std::string &group);

// Path of a program in /usr/bin.
std::string tool(const char *name);
// Whether xmllint, rsvg-convert and python3 are there to check pictures.
bool picture_tools_present(std::string &missing);
// Empty when the SVG file is well-formed XML (xmllint) and renders with
// rsvg-convert to a PNG (written beside it) of more than one colour;
// otherwise what is wrong.
std::string picture_problem(const std::string &svg_path);
