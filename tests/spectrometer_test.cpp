// Spectrometer (PLA/PSA) listings and measurement images, end to end: the
// built qrpht on the committed products of tests/fixtures/pls, compared byte
// for byte with the expected listings (run date masked) and images; the
// images are also checked with fitsverify and read back by the FITS layout.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "listings.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCard = 80;
constexpr std::size_t kBlock = 2880;
constexpr std::size_t kRowBytes = 2 * 4 + 10 * 64 * 4;  // 1J, 1J, ten 64E columns

std::string pls_dir() { return fixture("pls"); }
std::string expected(const std::string &name) { return read_file(fs::path(pls_dir()) / name); }

// Runs qrpht in the fixture directory, so that the product's path (and the
// name the banner shows) is the bare file name.
RunResult run_in_fixtures(std::vector<std::string> args) { return run_qrpht(args, pls_dir()); }

// Compares a listing with its expected file and reports the first line
// that differs (the files are long).
void expect_listing(const std::string &listing_path, const std::string &expected_name)
{
    const std::string got = mask_run_date(read_file(listing_path));
    const std::string want = expected(expected_name);
    if (got == want) return;
    std::size_t at = 0, line = 1;
    while (at < got.size() && at < want.size() && got[at] == want[at]) {
        if (got[at] == '\n') ++line;
        ++at;
    }
    auto line_at = [](const std::string &text, std::size_t pos) {
        std::size_t from = text.rfind('\n', pos == 0 ? 0 : pos - 1);
        from = (from == std::string::npos || pos == 0) ? 0 : from + 1;
        return text.substr(from, text.find('\n', from) - from);
    };
    ADD_FAILURE() << listing_path << " differs from " << expected_name << " at line " << line
                  << "\n  got:  [" << line_at(got, at) << "]\n  want: [" << line_at(want, at)
                  << "]";
}

// Offset of the first byte behind the header that starts at `from`: the
// card after END, rounded up to the next 2880-byte record.
std::size_t data_start(const std::string &file, std::size_t from = 0)
{
    for (std::size_t pos = from; pos + kCard <= file.size(); pos += kCard)
        if (file.compare(pos, 8, "END     ") == 0) return (pos + kCard + kBlock - 1) / kBlock * kBlock;
    return std::string::npos;
}

std::vector<std::string> header_cards(const std::string &file)
{
    std::vector<std::string> cards;
    for (std::size_t pos = 0; pos + kCard <= file.size(); pos += kCard) {
        cards.push_back(file.substr(pos, kCard));
        if (cards.back().compare(0, 8, "END     ") == 0) break;
    }
    return cards;
}

// fitsverify's one-line verdict on a file, or "" when it is not installed.
std::string fitsverify(const std::string &path)
{
    const char *bin = "/usr/bin/fitsverify";
    if (access(bin, X_OK) != 0) return "";
    std::string cmd = std::string(bin) + " -q -e '" + path + "' 2>&1";
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// The image of measurement `row` must carry, plane after plane, exactly the
// bytes of columns 3 to 12 of that row of the product: both are big-endian
// IEEE floats, and the product's columns stand in plane order.
void expect_planes_from_product(const std::string &image, const std::string &product, std::size_t row)
{
    std::size_t img = data_start(image);
    std::size_t ext = data_start(product);
    ASSERT_NE(ext, std::string::npos);
    std::size_t tab = data_start(product, ext);
    ASSERT_NE(img, std::string::npos);
    ASSERT_NE(tab, std::string::npos);
    ASSERT_LE(tab + (row + 1) * kRowBytes, product.size());
    ASSERT_EQ(image.size(), img + kBlock);  // 2560 bytes of pixels, 320 of fill
    for (std::size_t plane = 0; plane < 10; ++plane)
        EXPECT_EQ(image.substr(img + plane * 256, 256),
                  product.substr(tab + row * kRowBytes + 8 + plane * 256, 256))
            << "plane " << plane + 1;
    EXPECT_EQ(image.substr(img + 2560), std::string(320, '\0'));
}

void expect_valid_fits(const std::string &path)
{
    std::string verdict = fitsverify(path);
    if (verdict.empty()) {
        std::printf("fitsverify not installed (Debian package fitsverify): %s not verified\n",
                    path.c_str());
        return;
    }
    EXPECT_NE(verdict.find("verification OK"), std::string::npos) << verdict;
}

}  // namespace

TEST(SpectrometerListing, NormalAndVerboseMatchExpected)
{
    ScratchDir dir;
    for (const char *name : {"pla1", "pla3", "psa3", "pla30", "pla_nobck2"}) {
        for (bool verbose : {false, true}) {
            SCOPED_TRACE(std::string(name) + (verbose ? " verbose" : " normal"));
            std::string out = dir / (std::string(name) + ".out");
            std::vector<std::string> args{"-o", out, std::string(name) + ".fits"};
            if (verbose) args.insert(args.begin(), "-v");
            RunResult r = run_in_fixtures(args);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out, "");
            expect_listing(out, std::string(name) + (verbose ? ".v.lst" : ".lst"));
        }
    }
}

TEST(SpectrometerListing, CutProductListsWhatWasRead)
{
    // The table ends inside row 2: only row 1 is listed.
    ScratchDir dir;
    for (bool verbose : {false, true}) {
        std::vector<std::string> args{"-o", dir / "cut.lst", "pla3_cut.fits"};
        if (verbose) args.insert(args.begin(), "-v");
        RunResult r = run_in_fixtures(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "EOF reading tablefile\n");
        expect_listing(dir / "cut.lst", verbose ? "pla3_cut.v.lst" : "pla3_cut.lst");
    }
}

// pla1 with its extension's NAXIS2 replaced and its table made of `rows`
// rows (the first one pla1's, the others zero).
std::string pla1_with_rows(const std::string &naxis2, std::size_t rows)
{
    std::string product = read_file(fs::path(pls_dir()) / "pla1.fits");
    std::size_t ext = data_start(product);
    std::size_t card = product.find("NAXIS2  =", ext);
    product.replace(card + 10, 20, std::string(20 - naxis2.size(), ' ') + naxis2);
    product.resize(data_start(product, ext) + std::min<std::size_t>(rows, 1) * kRowBytes);
    if (rows > 1) product.append((rows - 1) * kRowBytes, '\0');
    product.append((kBlock - product.size() % kBlock) % kBlock, '\0');
    return product;
}

TEST(SpectrometerListing, RowCountFromExtensionHeader)
{
    ScratchDir dir;
    // 501 measurements: the first 500 are read and listed.
    write_file(dir / "pla501.fits", pla1_with_rows("501", 501));
    RunResult r = run_qrpht({"-o", dir / "pla501.lst", dir / "pla501.fits"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Too many rows (501); only the first 500 are listed.\n");
    std::string listing = read_file(dir / "pla501.lst");
    EXPECT_NE(listing.find("\nMeasurement No. 500\n"), std::string::npos);
    EXPECT_EQ(listing.find("\nMeasurement No. 501\n"), std::string::npos);

    // A negative count lists no measurement.
    write_file(dir / "neg.fits", pla1_with_rows("-3", 0));
    r = run_qrpht({"-v", "-o", dir / "neg.lst", "-i", dir / "neg", dir / "neg.fits"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    listing = read_file(dir / "neg.lst");
    const std::string tail =
        "\n\nMeasurements:\n=============\n\nPixels below are ordered by increasing wavelengths "
        "along with lines from left to right.\n\n";
    ASSERT_GT(listing.size(), tail.size());
    EXPECT_EQ(listing.substr(listing.size() - tail.size()), tail);
    EXPECT_FALSE(fs::exists(dir / "negA.FITS"));
}

TEST(SpectrometerImages, OneImagePerMeasurementAsExpected)
{
    ScratchDir dir;
    struct Case {
        const char *product;
        bool verbose;
        std::vector<std::string> letters;  // compared with expected images
        std::size_t count;
    };
    // The normal listing loads the SPB pair for the images as well.
    const Case cases[] = {
        {"pla3", false, {"A", "B", "C"}, 3},
        {"psa3", true, {"A", "B", "C"}, 3},
        {"pla30", false, {"A", "Z", "AA", "AD"}, 30},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.product);
        const std::string name = c.product;
        const std::string base = dir / (name + "_");
        std::vector<std::string> args{"-o", dir / (name + ".out"), "-i", base, name + ".fits"};
        if (c.verbose) args.insert(args.begin(), "-v");
        RunResult r = run_in_fixtures(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        expect_listing(dir / (name + ".out"), name + (c.verbose ? ".v.lst" : ".lst"));

        for (const std::string &l : c.letters) {
            std::string file = name + "_" + l + ".FITS";
            EXPECT_EQ(read_file(dir / file), expected(file)) << file;
        }
        std::string product = expected(name + ".fits");
        for (std::size_t k = 0; k < c.count; ++k) {
            std::string path = pls_image_name(base, k);
            SCOPED_TRACE(path);
            std::string image = read_file(path);
            expect_planes_from_product(image, product, k);
            expect_valid_fits(path);
        }
        EXPECT_FALSE(fs::exists(pls_image_name(base, c.count)));
    }
}

TEST(SpectrometerImages, HeaderHoldsImageStructureAndProductCards)
{
    ScratchDir dir;
    ASSERT_EQ(run_in_fixtures({"-o", dir / "l", "-i", dir / "meas", "pla3.fits"}).status, 0);
    std::vector<std::string> cards = header_cards(read_file(dir / "measB.FITS"));
    ASSERT_GT(cards.size(), 6u);
    EXPECT_EQ(cards[1].substr(0, 30), "BITPIX  =                  -32");
    EXPECT_EQ(cards[5].substr(0, 30), "NAXIS3  =                   10");
    int ends = 0, lambdas = 0, comments = 0, naxis = 0;
    for (const std::string &card : cards) {
        for (const char *gone : {"XTENSION", "PCOUNT", "GCOUNT", "TFIELDS", "TFORM", "TTYPE",
                                 "TUNIT", "EXTEND"})
            EXPECT_NE(card.compare(0, std::strlen(gone), gone), 0) << card;
        ends += card.compare(0, 8, "END     ") == 0;
        lambdas += card.compare(0, 6, "LAMBDA") == 0;
        comments += card.compare(0, 8, "COMMENT ") == 0;
        naxis += card.compare(0, 5, "NAXIS") == 0;
    }
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(lambdas, 62);  // 60 pixels with a card, LAMBDA0 and LAMBDA65
    EXPECT_EQ(comments, 2);
    EXPECT_EQ(naxis, 4);     // the image's own; the product's are left out
}

TEST(SpectrometerImages, FailuresEndWithStatus1)
{
    ScratchDir dir;
    // An image that cannot be created: message, status 1, listing complete.
    RunResult r = run_in_fixtures({"-o", dir / "a.lst", "-i", dir / "missing/meas", "pla3.fits"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, dir / "missing/measA.FITS" + ": error opening or writing file.\n");
    expect_listing(dir / "a.lst", "pla3.lst");

    // An image that cannot be written in full (a full disk) is reported the
    // same way instead of being left behind silently incomplete.
    if (access("/dev/full", W_OK) == 0) {
        fs::create_symlink("/dev/full", dir / "fullB.FITS");
        r = run_in_fixtures({"-o", dir / "b.lst", "-i", dir / "full", "pla3.fits"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, dir / "fullB.FITS" + ": error opening or writing file.\n");
        EXPECT_EQ(read_file(dir / "fullA.FITS"), expected("pla3_A.FITS"));
        EXPECT_FALSE(fs::exists(dir / "fullC.FITS"));
    }

    // No listing file: no images either.
    r = run_in_fixtures({"-o", dir / "nodir/x.lst", "-i", dir / "none", "pla3.fits"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("problem opening output file " + dir / "nodir/x.lst" + ": ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir / "noneA.FITS"));
}

TEST(SpectrometerImages, NamesRunPastZAndKeepLongBases)
{
    EXPECT_EQ(pls_image_name("meas", 0), "measA.FITS");
    EXPECT_EQ(pls_image_name("meas", 25), "measZ.FITS");
    EXPECT_EQ(pls_image_name("meas", 26), "measAA.FITS");
    EXPECT_EQ(pls_image_name("meas", 27), "measAB.FITS");
    EXPECT_EQ(pls_image_name("meas", 51), "measAZ.FITS");
    EXPECT_EQ(pls_image_name("meas", 52), "measBA.FITS");
    EXPECT_EQ(pls_image_name("meas", 701), "measZZ.FITS");
    EXPECT_EQ(pls_image_name("meas", 702), "measAAA.FITS");
    const std::string base(200, 'b');
    EXPECT_EQ(pls_image_name(base, 499), base + "SF.FITS");
}

TEST(SpectrometerListing, LongNamesAreNeverCut)
{
    // A product path of over 300 characters and an image base name of 200:
    // the listing line naming the product is written whole, and the image
    // file carries the whole base name.
    ScratchDir dir;
    fs::path deep = dir.path;
    for (int i = 0; i < 4; ++i) deep /= std::string(80, 'd');
    fs::create_directories(deep);
    fs::copy_file(fs::path(pls_dir()) / "pla1.fits", deep / "pla1.fits");
    const std::string product = (deep / "pla1.fits").string();
    const std::string base = dir / std::string(200, 'b');
    RunResult r = run_qrpht({"-o", dir / "long.lst", "-i", base, product});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(read_file(dir / "long.lst")
                  .find("Name of the AAR file                           : '" + product + "'\n\n"),
              std::string::npos);
    ASSERT_TRUE(fs::exists(base + "A.FITS"));
    expect_planes_from_product(read_file(base + "A.FITS"), read_file(product), 0);
}
