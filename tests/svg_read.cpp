#include "svg_read.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::vector<std::string> pieces(const std::string &text, const std::string &from,
                                const std::string &to)
{
    std::vector<std::string> found;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
        std::size_t end = text.find(to, at + from.size());
        if (end == std::string::npos) break;
        found.push_back(text.substr(at, end + to.size() - at));
    }
    return found;
}

std::size_t count(const std::string &text, const std::string &what)
{
    return pieces(text, what, "").size();
}

std::string attribute(const std::string &text, const std::string &name)
{
    const std::string key = " " + name + "=\"";
    std::size_t at = text.find(key);
    if (at == std::string::npos) return {};
    at += key.size();
    return text.substr(at, text.find('"', at) - at);
}

std::vector<double> numbers(const std::string &text)
{
    std::vector<double> v;
    for (const char *p = text.c_str(); *p;) {
        char *end = nullptr;
        double d = std::strtod(p, &end);
        if (end == p) {
            ++p;
            continue;
        }
        v.push_back(d);
        p = end;
    }
    return v;
}

std::vector<std::string> groups(const std::string &svg, const std::string &kind)
{
    return pieces(svg, "<g class=\"" + kind + "\"", "</g>");
}

double PlotFrame::px(double v) const
{
    bool log = x_scale == "log";
    auto f = [&](double d) { return log ? std::log10(d) : d; };
    return x + (f(v) - f(left)) / (f(right) - f(left)) * w;
}

double PlotFrame::x_value(double p) const { return left + (p - x) / w * (right - left); }
double PlotFrame::y_value(double p) const { return bottom + (y + h - p) / h * (top - bottom); }

std::vector<PlotFrame> frames(const std::string &svg)
{
    std::vector<PlotFrame> found;
    for (const std::string &g : pieces(svg, "<g clip-path=", ">")) {
        auto one = [&](const std::string &name) { return attribute(g, name); };
        auto xr = numbers(one("data-x-range")), yr = numbers(one("data-y-range"));
        auto area = numbers(one("data-area"));
        if (xr.size() != 2 || yr.size() != 2 || area.size() != 4) continue;
        found.push_back({xr[0], xr[1], yr[0], yr[1], area[0], area[1], area[2], area[3],
                         one("data-x-scale"), one("data-y-scale")});
    }
    return found;
}

PlotFrame frame(const std::string &svg) { return frames(svg).at(0); }

std::vector<std::vector<double>> polyline_xs(const std::string &group)
{
    std::vector<std::vector<double>> lines;
    for (const auto &line : pieces(group, "<polyline", "/>")) {
        std::vector<double> v = numbers(attribute(line, "points")), xs;
        for (std::size_t i = 0; i < v.size(); i += 2) xs.push_back(v[i]);
        lines.push_back(xs);
    }
    return lines;
}

std::string tool(const char *name) { return std::string("/usr/bin/") + name; }

bool picture_tools_present(std::string &missing)
{
    for (const char *needed : {"xmllint", "rsvg-convert", "python3"})
        if (!std::filesystem::exists(tool(needed))) {
            missing = tool(needed) + " missing (tools/install-deps installs it)";
            return false;
        }
    return true;
}

std::string picture_problem(const std::string &svg_path)
{
    if (std::system((tool("xmllint") + " --noout '" + svg_path + "'").c_str()) != 0)
        return "not well-formed XML";
    const std::string png_path = svg_path + ".png";
    const std::string render = tool("rsvg-convert") + " -w 400 -o '" + png_path + "' '" + svg_path + "'";
    if (std::system(render.c_str()) != 0) return "rsvg-convert failed";
    const std::string counter = std::string(FIXTURE_DIR) + "/../png_colours.py";
    std::string colours;
    if (FILE *p = popen((tool("python3") + " " + counter + " '" + png_path + "'").c_str(), "r")) {
        char buf[64] = {};
        while (std::fgets(buf, sizeof buf, p)) colours += buf;
        pclose(p);
    }
    return std::atoi(colours.c_str()) > 1 ? "" : "blank picture";
}
