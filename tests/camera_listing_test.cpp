// End-to-end listings of the camera products (PCAE, PCAP, PCAS): the built
// program on committed synthetic products, compared byte for byte with
// reviewed listings, plus the record limit and the numbered per-filter
// keywords of products with ten filters or more.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace {

struct Listing {
    int status;
    std::string text;  // run date masked
    std::string err;
};

// Lists a camera product from the fixture directory, so that the path in
// the banner and the file-name line is the bare file name.
Listing list(const std::string &product, bool verbose)
{
    ScratchDir dir;
    std::vector<std::string> args;
    if (verbose) args.push_back("-v");
    args.insert(args.end(), {"-o", dir / "out.lst", product});
    RunResult r = run_qrpht(args, fixture("pca"));
    return {r.status, mask_run_date(read_file(dir / "out.lst")), r.err};
}

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The text between the heading of filter f and the next filter heading.
std::string filter_block(const std::string &text, int f)
{
    const std::string heading = "Filter No. " + std::to_string(f) + " ";
    std::size_t from = text.find("\n" + heading, text.find("Measurements:"));
    if (from == std::string::npos) return {};
    std::size_t to = text.find("\nFilter No. ", from + 1);
    return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

struct Golden {
    const char *product;
    const char *expected;
    bool verbose;
    const char *err;
};

class CameraGolden : public testing::TestWithParam<Golden> {};

}  // namespace

TEST_P(CameraGolden, ListingMatchesReviewedText)
{
    const Golden &g = GetParam();
    Listing l = list(g.product, g.verbose);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.err, g.err);
    const std::string expected = read_file(fixture(std::string("pca/expected/") + g.expected));
    ASSERT_FALSE(expected.empty()) << g.expected;
    EXPECT_EQ(l.text, expected) << g.expected;
}

INSTANTIATE_TEST_SUITE_P(
    Products, CameraGolden,
    testing::Values(Golden{"pcae3.fits", "pcae3.lst", false, ""},
                    Golden{"pcae3.fits", "pcae3.v.lst", true, ""},
                    Golden{"pcap3.fits", "pcap3.lst", false, ""},
                    Golden{"pcap3.fits", "pcap3.v.lst", true, ""},
                    Golden{"pcas3x2.fits", "pcas3x2.lst", false, ""},
                    Golden{"pcas3x2.fits", "pcas3x2.v.lst", true, ""},
                    // NAXIS2 says 3 rows, the table holds 1.
                    Golden{"pcae1_short.fits", "pcae1_short.lst", false, "EOF reading tablefile\n"},
                    Golden{"pcae1_short.fits", "pcae1_short.v.lst", true, "EOF reading tablefile\n"}),
    [](const testing::TestParamInfo<Golden> &info) {
        std::string name = info.param.expected;
        for (char &c : name)
            if (c == '.') c = '_';
        return name;
    });

TEST(CameraListing, TwelveFiltersUseTheirOwnNumberedCards)
{
    Listing pcap = list("pcap12.fits", true);
    ASSERT_EQ(pcap.status, 0);
    for (int f = 1; f <= 12; ++f) EXPECT_NE(filter_block(pcap.text, f), "") << f;
    // Filter 1 lists FLUX1, FLUXUNC1 and BACK1, not the cards of filter 10.
    const std::string one = filter_block(pcap.text, 1);
    EXPECT_EQ(count(one, "(FLUX1   )"), 1u);
    EXPECT_EQ(count(one, "(FLUXUNC1)"), 1u);
    EXPECT_EQ(count(one, "(BACK1   )"), 1u);
    EXPECT_EQ(count(one, "(FLUX10  )") + count(one, "(BACK10  )"), 0u);
    // Filter 10 has FLUX10 and BACK10; the uncertainty text FLUXUNC10 is
    // longer than a keyword and matches no card (FLUXUNC1 in particular).
    const std::string ten = filter_block(pcap.text, 10);
    EXPECT_EQ(count(ten, "(FLUX10  )"), 1u);
    EXPECT_EQ(count(ten, "(BACK10  )"), 1u);
    EXPECT_EQ(count(ten, "FLUXUNC"), 0u);
    // Filter 12 names the C200 array: 2 x 2 grid of coordinates.
    EXPECT_NE(filter_block(pcap.text, 12).find("C200_162"), std::string::npos);

    Listing pcae = list("pcae12.fits", true);
    ASSERT_EQ(pcae.status, 0);
    const std::string eleven = filter_block(pcae.text, 11);
    EXPECT_EQ(count(eleven, "(BRGT11  )"), 1u);
    EXPECT_EQ(count(eleven, "BRGTUNC"), 0u);
    EXPECT_EQ(count(filter_block(pcae.text, 1), "(BRGTUNC1)"), 1u);
    EXPECT_EQ(count(pcae.text, "\n\n\n\nFilter No. "), 12u);
}

TEST(CameraListing, RasterBeyondFiveHundredRecordsListsTheFirst500)
{
    // 25 x 25 points of one filter: 625 records, all rows present.
    Listing l = list("pcas625.fits", false);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.err, "Too many rows (625); only the first 500 are listed.\n");
    EXPECT_EQ(count(l.text, "\nRaster point: ("), 500u);
    EXPECT_NE(l.text.find("\nRaster point: (25, 20)\n"), std::string::npos);
    EXPECT_EQ(l.text.find("\nRaster point: (1, 21)\n"), std::string::npos);
    EXPECT_EQ(count(l.text, "\nFilter No. "), 1u);
}

TEST(CameraListing, RasterCountBeyond64BitsIsReportedInFull)
{
    // 2147483647 x 2147483647 points and 3 filters on a table of 2 rows:
    // the first filter alone fills the 500 records; its third read finds
    // the end of the table, no later filter is read, and only the two
    // points read are listed.
    Listing l = list("pcas_huge.fits", false);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.err,
              "Too many rows (13835058042397261827); only the first 500 are listed.\n"
              "EOF reading tablefile\n");
    EXPECT_EQ(count(l.text, "\nRaster point: "), 2u);
    EXPECT_NE(l.text.find("\nRaster point: (2, 1)\n"), std::string::npos);
    EXPECT_EQ(count(l.text, "\nFilter No. "), 1u);
}

TEST(CameraListing, UnwritableListingStopsWithStatusOne)
{
    RunResult r = run_qrpht({"-o", "/nonexistent-dir/out.lst", "pcae3.fits"}, fixture("pca"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("problem opening output file /nonexistent-dir/out.lst: ", 0), 0u);
}

TEST(CameraListing, ColumnsWiderThanTheirFieldsFillOnlyTheField)
{
    // OFF has 4 elements, NCYC 12, SRCE 11; NPIX and FILT are floating
    // columns, and FILT is read only in the verbose form.
    const std::string not_integer = "tablefile error in tgeti:  datum is not integer\n";
    EXPECT_EQ(list("pcap1_wide.fits", false).err, not_integer);
    Listing l = list("pcap1_wide.fits", true);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.err, not_integer + not_integer);
    EXPECT_NE(l.text.find("= (  1.5000,  2.5000)  (PCAPOFF )\n"), std::string::npos);
    EXPECT_NE(l.text.find("=        0             (PCAPNPIX)\n"), std::string::npos);
    EXPECT_NE(l.text.find("point-source fit\n  3.0000   6.0000   9.0000\n  2.0000   5.0000   8.0000\n"
                          "  1.0000   4.0000   7.0000\n"),
              std::string::npos);
    EXPECT_NE(l.text.find("       1        2        3\n       4        5        6\n"
                          "       7        8        9\n\n\nJ2000"),
              std::string::npos);
}

TEST(CameraListing, RasterWithoutSizeCardsListsNoRecord)
{
    Listing l = list("pcas_noraster.fits", false);
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.err, "");
    const std::string diagram_end = "                 | 1 | 4 | 7 | \n                 +-----------+ \n";
    ASSERT_GE(l.text.size(), diagram_end.size());
    EXPECT_EQ(l.text.substr(l.text.size() - diagram_end.size()), diagram_end);
}
