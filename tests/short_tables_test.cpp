// Products whose table holds fewer rows than it claims (made by
// tools/fixtures/short_tables.py): every family lists only the records read
// and, for the spectrometer, writes only their images. The messages and the
// exit status stay those of a damaged table.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "test_util.h"

namespace fs = std::filesystem;

namespace {

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

constexpr const char *kEof = "EOF reading tablefile\n";

struct Case {
    const char *product;
    const char *record_marker;  // one per listed record in the normal listing
    std::size_t records;        // records the file holds
    std::string err;
    bool images = false;        // a spectrometer product: one image per record
};

}  // namespace

TEST(ShortTables, ListOnlyTheRecordsRead)
{
    const Case cases[] = {
        {"pcae_short.fits", "\nFilter No. ", 2, kEof},
        {"pcap_short.fits", "\nFilter No. ", 3, kEof},
        // Filter 2 of the raster starts with a read of its own, which fails
        // too; the records end with the last one read, in filter 1.
        {"pcas_short.fits", "\nRaster point: ", 3, std::string(kEof) + kEof},
        {"ppae_short.fits", "\nFilter/aperture configuration No.", 2, kEof},
        {"ppap_short.fits", "\nFilter/aperture configuration No.", 30,
         std::string("Too many rows (2147483647); only the first 500 are listed.\n") + kEof},
        {"pla_short.fits", "\nMeasurement No. ", 1, kEof, true},
        {"psa_short.fits", "\nMeasurement No. ", 2, kEof, true},
    };
    for (const Case &c : cases) {
        ScratchDir dir;
        fs::create_directory(dir.path / "img");
        RunResult r = run_qrpht({"-o", dir / "out.lst", "-i", dir / "img/m", c.product},
                                fixture("short_tables"));
        EXPECT_EQ(r.status, 0) << c.product;
        EXPECT_EQ(r.err, c.err) << c.product;
        EXPECT_EQ(count(read_file(dir / "out.lst"), c.record_marker), c.records) << c.product;
        const auto images = std::distance(fs::directory_iterator(dir.path / "img"), fs::directory_iterator());
        EXPECT_EQ(static_cast<std::size_t>(images), c.images ? c.records : 0) << c.product;
    }
}
