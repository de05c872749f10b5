// End-to-end tests of the photometer listing (PPAE and PPAP products): whole
// listings in both forms against expected listings, and the listings of
// damaged or oversized products.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string kDir = fixture("ppa");

// Lists a product of the fixture directory, named as typed there.
RunResult list(const std::string &product, bool verbose, const std::string &listing,
               const std::string &dir = kDir)
{
    std::vector<std::string> args;
    if (verbose) args.push_back("-v");
    args.insert(args.end(), {"-o", listing, product});
    return run_qrpht(args, dir);
}

// The measurement block of configuration n: from its heading in the
// measurement section up to the next heading or the end of the listing.
std::string block(const std::string &listing, int n)
{
    std::size_t section = listing.find("Measurements per filter/aperture configuration:");
    std::string heading = "Filter/aperture configuration No." + std::to_string(n) + ":\n";
    std::size_t from = listing.find(heading, section);
    if (section == std::string::npos || from == std::string::npos) return {};
    std::size_t to = listing.find("Filter/aperture configuration No.", from + heading.size());
    return listing.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A copy of a product with the value of its extension NAXIS2 card replaced.
std::string with_naxis2(const ScratchDir &dir, const std::string &product, const std::string &value)
{
    std::string data = read_file(kDir + "/" + product);
    std::size_t xt = data.find("XTENSION");
    std::size_t card = xt;
    while (card < data.size() && data.compare(card, 8, "NAXIS2  ") != 0) card += 80;
    std::string field(20 - value.size(), ' ');
    data.replace(card + 10, 20, field + value);
    write_file(dir / product, data);
    return product;
}

struct ListingCase {
    const char *product;
    bool verbose;
    const char *expected;
    const char *err;
};

class PhotometerListing : public ::testing::TestWithParam<ListingCase> {};

TEST_P(PhotometerListing, MatchesExpectedListing)
{
    const ListingCase &c = GetParam();
    ScratchDir out;
    RunResult r = list(c.product, c.verbose, out / "listing");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(mask_run_date(read_file(out / "listing")), read_file(kDir + "/" + c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Products, PhotometerListing,
    ::testing::Values(
        // one configuration of a raster: the attitude cards of the summary
        ListingCase{"ppae1.fits", false, "ppae1.lst", ""},
        ListingCase{"ppae1.fits", true, "ppae1.v.lst", ""},
        // NaN, 100000 and beyond, negatives; NBCK stored as I, floats as D
        ListingCase{"ppap3.fits", false, "ppap3.lst", ""},
        ListingCase{"ppap3.fits", true, "ppap3.v.lst", ""},
        // configurations 10 to 12 next to 1 to 9; cards grouped by kind
        ListingCase{"ppae12.fits", false, "ppae12.lst", ""},
        ListingCase{"ppae12.fits", true, "ppae12.v.lst", ""},
        ListingCase{"ppap12.fits", false, "ppap12.lst", ""},
        ListingCase{"ppap12.fits", true, "ppap12.v.lst", ""},
        // table shorter than NAXIS2, a missing and an oversized column
        ListingCase{"ppae_short.fits", false, "ppae_short.lst", "EOF reading tablefile\n"},
        ListingCase{"ppae_short.fits", true, "ppae_short.v.lst", "EOF reading tablefile\n"},
        // no row: the measurement heading and nothing more
        ListingCase{"ppae0.fits", false, "ppae0.lst", ""}),
    [](const ::testing::TestParamInfo<ListingCase> &info) {
        std::string name = info.param.expected;
        for (char &ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// Numbered keyword texts: configuration 1 does not pick up the cards of 10,
// and a 9-character text (FLUXUNC10, BRGTUNC10) matches no card at all
// instead of the first configuration's.
TEST(PhotometerListing, ConfigurationsTenAndUpKeepTheirOwnCards)
{
    ScratchDir out;
    for (const char *product : {"ppap12.fits", "ppae12.fits"}) {
        SCOPED_TRACE(product);
        RunResult r = list(product, true, out / "listing");
        ASSERT_EQ(r.status, 0);
        const std::string listing = read_file(out / "listing");
        const std::string first = block(listing, 1);
        EXPECT_NE(first.find("(FILTER1 )"), std::string::npos);
        EXPECT_EQ(first.find("(FILTER10)"), std::string::npos);
        EXPECT_EQ(first.find("(APER10  )"), std::string::npos);
        EXPECT_EQ(first.find("(BACK10  )"), std::string::npos);
        const std::string tenth = block(listing, 10);
        EXPECT_NE(tenth.find("(FILTER10)"), std::string::npos);
        EXPECT_NE(tenth.find("(APER10  )"), std::string::npos);
        EXPECT_NE(tenth.find("(BACK10  )"), std::string::npos);
        EXPECT_EQ(tenth.find("UNC1"), std::string::npos);
        EXPECT_EQ(tenth.find("(FILTER1 )"), std::string::npos);
    }
}

// More than 500 rows: one message before loading, the first 500 listed,
// status 0; configuration 100 matches neither FILTER10 nor APER10.
TEST(PhotometerListing, ListsTheFirst500Rows)
{
    ScratchDir out;
    RunResult r = list("ppap501.fits", true, out / "listing");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Too many rows (501); only the first 500 are listed.\n");
    const std::string listing = read_file(out / "listing");
    EXPECT_EQ(count(listing, "Filter/aperture configuration No."), 12 + 500);
    const std::string last = block(listing, 500);
    EXPECT_NE(last.find("=      500             (PPAPNBCK)"), std::string::npos) << last;
    EXPECT_NE(last.find("= 500.0000             (PPAPSRCE)"), std::string::npos) << last;
    EXPECT_EQ(listing.find("-424242"), std::string::npos);
    EXPECT_EQ(block(listing, 501), "");
    const std::string hundredth = block(listing, 100);
    EXPECT_EQ(hundredth.find("FILTER"), std::string::npos) << hundredth;
    EXPECT_EQ(hundredth.find("APER1"), std::string::npos) << hundredth;
    EXPECT_EQ(hundredth.find("FLUX1"), std::string::npos) << hundredth;
    EXPECT_NE(block(listing, 10).find("(FILTER10)"), std::string::npos);
}

// Row counts from a damaged NAXIS2 card: a negative count lists nothing; a
// count beyond the range of int is clamped, limited to 500 rows, and the
// table's real end is reported once.
TEST(PhotometerListing, RowCountFromDamagedNaxis2)
{
    ScratchDir dir;
    const std::string negative = with_naxis2(dir, "ppae1.fits", "-3");
    RunResult r = list(negative, false, dir / "neg.lst", dir.path.string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string listing = read_file(dir / "neg.lst");
    EXPECT_TRUE(listing.ends_with("Measurements per filter/aperture configuration:\n"
                                  "-----------------------------------------------\n"))
        << listing;

    const std::string huge = with_naxis2(dir, "ppap3.fits", "99999999999");
    r = list(huge, false, dir / "huge.lst", dir.path.string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Too many rows (2147483647); only the first 500 are listed.\n"
                     "EOF reading tablefile\n");
    // Only the rows the file holds are listed: its 3 rows and the 38 rows
    // of zeros that fill its last 2880-byte block (70-byte rows from byte
    // 11520 of 14400).
    listing = read_file(dir / "huge.lst");
    EXPECT_EQ(count(listing, "Filter/aperture configuration No."), 41);
    EXPECT_NE(block(listing, 3).find("= -99999.5000             (PPAPBCK1)"), std::string::npos);
}

// A listing that cannot be created: one message, status 1, no file.
TEST(PhotometerListing, UnwritableListing)
{
    ScratchDir dir;
    const std::string path = dir / "missing/listing";
    RunResult r = list("ppae1.fits", false, path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "problem opening output file " + path + ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(path));
}

// A long input path is written whole on the AAR file line.
TEST(PhotometerListing, LongInputPathIsNotCut)
{
    ScratchDir dir;
    const std::string sub(180, 'd');
    fs::create_directory(dir.path / sub);
    fs::copy_file(kDir + "/ppae1.fits", dir.path / sub / "ppae1.fits");
    const std::string input = sub + "/ppae1.fits";
    RunResult r = list(input, false, dir / "listing", dir.path.string());
    EXPECT_EQ(r.status, 0);
    const std::string line =
        "Name of the AAR file                           : '" + input + "'\n";
    EXPECT_NE(read_file(dir / "listing").find(line), std::string::npos);
}

}  // namespace
