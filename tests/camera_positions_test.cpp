// Pixel sky positions of the camera listings against an exact gnomonic
// deprojection made by astropy (tools/fixtures/positions.py): pointings at
// right ascensions near 0 and 360, declinations up to 80 degrees north and
// south and several roll angles, for both detectors, from the pointing
// cards (PCAE, PCAP) and from each raster point's own columns (PCAS).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

struct Sky {
    double ra, dec;
};

constexpr double kTolerance = 0.0001;  // degrees, in both coordinates
const std::string kBlockTitle = "J2000 Pixel coordinates (RA/Dec in degrees)\n";

// Every "(ra, dec)" pair of every coordinate block, in listing order.
std::vector<Sky> listed_positions(const std::string &listing)
{
    std::vector<Sky> out;
    for (std::size_t at = listing.find(kBlockTitle); at != std::string::npos;
         at = listing.find(kBlockTitle, at + 1)) {
        std::istringstream lines(listing.substr(at + kBlockTitle.size()));
        for (std::string line; std::getline(lines, line) && !line.empty() && line[0] == '(';) {
            for (std::size_t p = line.find('('); p != std::string::npos; p = line.find('(', p + 1)) {
                Sky s{};
                if (std::sscanf(line.c_str() + p, "(%lf, %lf)", &s.ra, &s.dec) == 2) out.push_back(s);
            }
        }
    }
    return out;
}

// The "ra dec" pairs of an expected-positions file; '#' lines are comments.
std::vector<Sky> expected_positions(const std::string &path)
{
    std::vector<Sky> out;
    std::istringstream lines(read_file(path));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream values(line);
        for (Sky s{}; values >> s.ra >> s.dec;) out.push_back(s);
    }
    return out;
}

double ra_difference(double a, double b)
{
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

struct Product {
    const char *dir;
    const char *file;
    const char *positions;
    std::size_t pixels;  // listed pixel positions
};

}  // namespace

TEST(CameraPositions, AgreeWithExactGnomonicProjection)
{
    const Product products[] = {
        {"positions", "pcas_grid.fits", "pcas_grid.pos", 175 * (9 + 4)},
        {"positions", "pcae_north.fits", "pcae_north.pos", 9 + 4},
        {"positions", "pcap_south.fits", "pcap_south.pos", 9 + 4},
        {"pca", "pcae3.fits", "pcae3.pos", 9 + 4},
        {"pca", "pcap3.fits", "pcap3.pos", 9 + 4},
        {"pca", "pcas3x2.fits", "pcas3x2.pos", 6 * 9 + 6 * 4},
    };
    for (const Product &p : products) {
        ScratchDir dir;
        RunResult r = run_qrpht({"-o", dir / "out.lst", p.file}, fixture(p.dir));
        ASSERT_EQ(r.status, 0) << p.file << ": " << r.err;
        const std::vector<Sky> listed = listed_positions(read_file(dir / "out.lst"));
        const std::vector<Sky> exact = expected_positions(fixture(std::string("positions/") + p.positions));
        ASSERT_EQ(exact.size(), p.pixels) << p.positions;
        ASSERT_EQ(listed.size(), exact.size()) << p.file;
        for (std::size_t i = 0; i < listed.size(); ++i) {
            EXPECT_LE(ra_difference(listed[i].ra, exact[i].ra), kTolerance)
                << p.file << " pixel " << i << ": " << listed[i].ra << " vs " << exact[i].ra;
            EXPECT_LE(std::fabs(listed[i].dec - exact[i].dec), kTolerance)
                << p.file << " pixel " << i << ": " << listed[i].dec << " vs " << exact[i].dec;
        }
    }
}
