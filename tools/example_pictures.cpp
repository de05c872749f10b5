// Writes one picture of each kind, made from synthetic products, into a
// directory: spectrum.svg, sed.svg, camera.svg and raster.svg. The README
// shows them (examples/).
//
//   build/qrpht_example_pictures examples
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "pictures.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A repeatable wobble in [-1, 1] standing in for noise.
double wobble(int i, int salt)
{
    return std::sin(i * 12.9898 + salt * 78.233) * std::cos(i * 4.1414 + salt * 1.618);
}

double gauss(double x, double centre, double width)
{
    return std::exp(-0.5 * (x - centre) * (x - centre) / (width * width));
}

SpectrumInput spectrum()
{
    SpectrumInput in{{"IRAS 21282+5050 (synthetic)", "PLA41200203", "P40", "1996-11-08"}, {}, {}};
    for (int p = 0; p < 64; ++p)
        in.wavelength.push_back(p < 32 ? 2.47 + p * 0.0775 : 5.84 + (p - 32) * 0.187);
    const double scale[] = {1.0, 0.0, 0.62, 0.35};
    for (int k = 0; k < 4; ++k) {
        SpectrumMeasurement m{k + 1, k == 1, {}, {}};
        for (int p = 0; p < 64; ++p) {
            double l = in.wavelength[p];
            double continuum = 0.6 * std::pow(l / 5.0, 1.8);
            double bands = 2.2 * gauss(l, 3.3, 0.03) + 3.5 * gauss(l, 7.7, 0.25) +
                           1.8 * gauss(l, 8.6, 0.15) + 2.6 * gauss(l, 11.25, 0.12);
            double f = scale[k] * (continuum + bands) + 0.04 * wobble(p, k);
            m.flux.push_back(f);
            m.error.push_back(0.05 + 0.06 * std::fabs(f));
        }
        in.measurements.push_back(std::move(m));
    }
    return in;
}

SedInput sed()
{
    SedInput in{
        {"NGC 6543 (synthetic)", "PPAP50400711", "P03", "1997-04-17"}, "Flux density", "Jy", {}};
    struct Row {
        const char *filter, *aperture;
    };
    const Row rows[] = {{"P1_3.29", "52\""},  {"P1_4.85", "52\""}, {"P1_7.3", "52\""},
                        {"P1_10", "52\""},    {"P1_11.5", "52\""}, {"P1_12.8", "52\""},
                        {"P2_25", "52\""},    {"P2_25", "120\""},  {"P3_60", "120\""},
                        {"P3_100", "120\""}};
    int i = 0;
    for (const Row &r : rows) {
        double l = filter_wavelength(r.filter);
        // A warm dust spectrum: a modified black body peaking near 40 um.
        double x = 40.0 / l;
        double f = 180.0 * std::pow(x, 4) / (std::exp(2.5 * x) - 1) + 0.4;
        if (r.aperture[0] == '1') f *= 1.15;
        in.points.push_back({r.filter, r.aperture, f * (1 + 0.05 * wobble(i, 3)), 0.08 * f + 0.05});
        ++i;
    }
    return in;
}

CameraArrayInput camera()
{
    CameraArrayInput in{
        {"Mars (synthetic)", "PCAP32100522", "P32", "1997-07-30"}, "ON+OFF intensity", "Jy", {}};
    const struct {
        const char *name;
        Detector d;
        double peak;
    } filters[] = {{"C1_60", Detector::c100, 42.0}, {"C1_100", Detector::c100, 31.0},
                   {"C2_160", Detector::c200, 18.5}};
    int k = 0;
    for (const auto &f : filters) {
        CameraArrayFilter cf{k + 1, f.name, f.d, {}};
        for (int e = 0; e < kPixels; ++e) {
            // Source slightly off the centre pixel (pixel 5 of C100), towards pixel 6.
            double dx = e / 3 - 1.15, dy = e % 3 - 1.2;
            double shape = f.d == Detector::c100 ? std::exp(-(dx * dx + dy * dy) / 0.9)
                                                 : (e < 4 ? 0.25 + 0.1 * e : 0);
            cf.value[e] = f.peak * shape + 0.3 + 0.1 * wobble(e, k);
        }
        in.filters.push_back(cf);
        ++k;
    }
    return in;
}

RasterMapInput raster()
{
    RasterMapInput in{{"Orion Bar (synthetic)", "PCAS68900301", "P22", "1997-09-12"}, "MJy/sr",
                      kNoValue, kNoValue, {}};
    const double ra0 = 83.8375, dec0 = -5.4167, roll = 25.0, phi = roll * kPi / 180;
    const struct {
        const char *name;
        Detector d;
        double step, level;
    } filters[] = {{"C1_100", Detector::c100, 45.9 * 3, 950.0},
                   {"C_160", Detector::c200, 94.0 * 2, 620.0}};
    int k = 0;
    for (const auto &f : filters) {
        RasterFilter rf{k + 1, f.name, f.d, {}};
        for (int line = 1; line <= 3; ++line)
            for (int point = 1; point <= 4; ++point) {
                double x = (point - 2.5) * f.step, y = (2 - line) * f.step;
                double east = x * std::cos(phi) + y * std::sin(phi);
                double north = -x * std::sin(phi) + y * std::cos(phi);
                RasterPoint p{point, line, ra0 + east / 3600 / std::cos(dec0 * kPi / 180),
                              dec0 + north / 3600, roll, {}};
                for (int e = 0; e < kPixels; ++e) {
                    double px = east + (e / 3 - 1) * 46, py = north + (e % 3 - 1) * 46;
                    double source = std::exp(-(px * px + 2 * py * py) / (2 * 160.0 * 160.0));
                    double noise = 15 * wobble(e + 9 * point + 40 * line, k);
                    p.brightness[e] = f.level * source + 120 + noise;
                }
                rf.points.push_back(p);
            }
        in.filters.push_back(std::move(rf));
        ++k;
    }
    return in;
}

bool write(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 1;
    }
    const std::string dir = argv[1];
    bool ok = write(dir + "/spectrum.svg", spectrum_picture(spectrum()));
    ok = write(dir + "/sed.svg", sed_picture(sed())) && ok;
    ok = write(dir + "/camera.svg", camera_array_picture(camera())) && ok;
    ok = write(dir + "/raster.svg", raster_map_picture(raster())) && ok;
    return ok ? 0 : 1;
}
