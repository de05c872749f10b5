// The driver: command lines, input checks, the header card store and the
// choice of the product listing.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pht.h"
#include "product.h"
#include "qrpht_version.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string kUsage =
    std::string("usage:\n ") + QRPHT_BIN + " [-v] -o asci_filename fits_filename\n";

// The product type the program reads from a path, in the directory cwd
// when given; none when it finds no type.
std::optional<ProductType> type_of(const std::string &path, const fs::path &cwd = {})
{
    const fs::path before = fs::current_path();
    if (!cwd.empty()) fs::current_path(cwd);
    ProductLoad load = open_product(path);
    fs::current_path(before);
    if (load.error != LoadError::none) return std::nullopt;
    return load.product.type();
}

// Cards of one header of a FITS file, through its END card.
std::vector<std::string> file_cards(const std::string &path, int hdu)
{
    std::string data = read_file(path);
    std::vector<std::string> cards;
    int current = -1;
    bool in_header = false;
    for (std::size_t block = 0; block + 2880 <= data.size(); block += 2880) {
        if (!in_header && (block == 0 || data.compare(block, 8, "XTENSION") == 0)) {
            ++current;
            in_header = true;
        }
        if (!in_header) continue;
        for (std::size_t pos = block; pos < block + 2880; pos += 80) {
            if (current == hdu) cards.push_back(data.substr(pos, 80));
            if (data.compare(pos, 8, "END     ") == 0) {
                in_header = false;
                break;
            }
        }
        if (current > hdu) break;
    }
    return cards;
}

}  // namespace

TEST(DriverCommandLine, UnusableLinesGiveTheUsage)
{
    ScratchDir dir;
    const std::string in = fixture("driver/nofilename.fits");
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"-o", dir / "out.lst"},                      // two words only
        {"-v", "-o", dir / "out.lst"},                // no input left
        {"-o", dir / "out.lst", in, "extra"},         // two words left
        {"-x", dir / "out.lst", in},                  // unknown option
        {"-o", dir / "out.lst", "-", in},             // words after the input "-"
        {"-v", "-i", dir / "im", in},                 // no listing named
        {"-v", in, "-o"},                             // options after the input
        {"-v", "-v", "-o"},                           // -o without its value word
        {"-h"},                                       // only --help is the help
        {"-help", "-o", dir / "out.lst", in},         // -h with a longer spelling
        {"--HELP"},
        {"--versions"},
        {"-v", "--help", "-o", dir / "out.lst", in},  // not as the first word
        {"-o", dir / "out.lst", "-p"},                // -p without its value word
        {"-p", dir / "p.svg", in},                    // a picture but no listing
    };
    for (const auto &args : lines) {
        RunResult r = run_qrpht(args);
        EXPECT_EQ(r.status, 1) << args.size();
        EXPECT_EQ(r.out, kUsage);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_FALSE(fs::exists(dir / "out.lst"));
}

TEST(DriverCommandLine, HelpAndVersionAsTheFirstWord)
{
    const std::string help_start = "Usage: qrpht [-v | -t] -o LISTING";
    const struct {
        std::vector<std::string> args;
        std::string out;  // the whole output, or its beginning when whole is false
        bool whole;
    } cases[] = {
        {{"--help"}, help_start, false},
        {{"--help", "-o", "x.lst", "in.fits"}, help_start, false},
        {{"--version"}, std::string("qrpht ") + kProgramVersion + "\n", true},
        {{"--version", "-v"}, std::string("qrpht ") + kProgramVersion + "\n", true},
    };
    for (const auto &c : cases) {
        RunResult r = run_qrpht(c.args);
        EXPECT_EQ(r.status, 0) << c.args[0];
        EXPECT_EQ(c.whole ? r.out : r.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(r.err, "");
    }
    // The help names every option, every product type and both statuses.
    const std::string help = run_qrpht({"--help"}).out;
    for (const char *word : {" -o LISTING ", " -v ", " -t ", " -i BASE ", " -e TABLE ",
                             " -p PICTURE ", " --help ", " --version ", "PCAE", "PCAS", "PCAP",
                             "PPAE", "PPAP", "PLA", "PSA", "PGA", "\n  0 ", "\n  1 "})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    EXPECT_FALSE(fs::exists("x.lst"));
}

TEST(DriverCommandLine, OptionSpellingsOrderAndRepeats)
{
    ScratchDir dir;
    fs::copy_file(fixture("driver/nofilename.fits"), dir / "ppap1.fits");
    const std::string in = "ppap1.fits";
    const std::string cwd = dir.path.string();

    RunResult a = run_qrpht({"-o", "a.lst", "-v", in}, cwd);
    RunResult b = run_qrpht({"-v", "-o", "b.lst", in}, cwd);
    RunResult c = run_qrpht({"-VERBOSE", "-Output", "c.lst", in}, cwd);
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    ASSERT_EQ(c.status, 0);
    const std::string listing = mask_run_date(read_file(dir / "b.lst"));
    EXPECT_FALSE(listing.empty());
    EXPECT_EQ(mask_run_date(read_file(dir / "a.lst")), listing);
    EXPECT_EQ(mask_run_date(read_file(dir / "c.lst")), listing);

    // -t after -v selects the normal form again; a later -o wins.
    RunResult d = run_qrpht({"-v", "-t", "-o", "d1.lst", "-o", "d2.lst", in}, cwd);
    EXPECT_EQ(d.status, 0);
    EXPECT_FALSE(fs::exists(dir / "d1.lst"));
    RunResult e = run_qrpht({"-o", "e.lst", in}, cwd);
    EXPECT_EQ(mask_run_date(read_file(dir / "d2.lst")), mask_run_date(read_file(dir / "e.lst")));

    // The value word of -o is taken whatever it holds.
    RunResult f = run_qrpht({"-o", "-v", in}, cwd);
    EXPECT_EQ(f.status, 0);
    EXPECT_TRUE(fs::exists(dir / "-v"));
}

TEST(DriverInput, UnreadableAndNonFitsInputs)
{
    ScratchDir dir;
    const std::string missing = dir / "missing.fits";
    RunResult r = run_qrpht({"-o", dir / "out.lst", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "problem opening tablefile " + missing + "\n");

    const std::string table = fixture("driver/table.tbl");
    r = run_qrpht({"-o", dir / "out.lst", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "'" + table + "' is not a fits binary file.\n");
    EXPECT_FALSE(fs::exists(dir / "out.lst"));
}

TEST(DriverDispatch, ImageFilesAndUnknownProducts)
{
    ScratchDir dir;
    for (const char *name : {"pga_image.fits", "pgalong.fits", "twonames.fits", "primary_only.fits"}) {
        const std::string in = fixture(std::string("driver/") + name);
        RunResult r = run_qrpht({"-o", dir / "out.lst", in});
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, "File '" + in + "' is a fits image file.\n") << name;
        EXPECT_FALSE(fs::exists(dir / "out.lst")) << name;
    }

    RunResult r = run_qrpht({"-o", dir / "out.lst", fixture("driver/unknown.fits")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Input file is either not PHT AAR product or of unrecognized type.\n");
    EXPECT_FALSE(fs::exists(dir / "out.lst"));
}

TEST(DriverDispatch, ProductCardWinsThenFileName)
{
    ScratchDir dir;
    EXPECT_EQ(type_of(fixture("driver/pcae1.fits")), ProductType::ppap);

    // Without a product name the file name decides, case-sensitively and
    // from the first character of the path as typed.
    struct Case {
        const char *name;
        ProductType type;
    };
    const Case cases[] = {{"pcae7.fits", ProductType::pcae}, {"pcap7.fits", ProductType::pcap},
                          {"pcas0001.fits", ProductType::pcas}, {"ppae7.fits", ProductType::ppae},
                          {"ppap7.fits", ProductType::ppap}, {"pla7.FITS", ProductType::pla},
                          {"psa7", ProductType::psa}};
    for (const Case &c : cases) {
        fs::copy_file(fixture("driver/nofilename.fits"), dir / c.name);
        EXPECT_EQ(type_of(c.name, dir.path), c.type) << c.name;
    }
    for (const char *name : {"pla7.FITS", "psa7"}) {
        RunResult r = run_qrpht({"-o", "out.lst", name}, dir.path.string());
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_TRUE(fs::exists(dir / "out.lst")) << name;
        fs::remove(dir / "out.lst");
    }

    // A path with directories, or a capitalised name, is not recognised.
    fs::copy_file(fixture("driver/nofilename.fits"), dir / "PCAS0001.fits");
    for (const std::string &path : {std::string("./pcas0001.fits"), std::string("PCAS0001.fits")}) {
        RunResult r = run_qrpht({"-o", "out2.lst", path}, dir.path.string());
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.err, "Input file is either not PHT AAR product or of unrecognized type.\n");
    }

    // A FILENAME string without its closing quote runs to the end of the
    // card: 'PGA123 / no closing quote names an image file.
    fs::copy_file(fixture("driver/pcas_noquote.fits"), dir / "pcas_noquote.fits");
    RunResult r = run_qrpht({"-o", "out3.lst", "pcas_noquote.fits"}, dir.path.string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "File 'pcas_noquote.fits' is a fits image file.\n");
}

TEST(DriverCardStore, HoldsEveryCardOfBothHeaders)
{
    auto stored = [](const std::string &path) {
        ProductLoad load = open_product(path);
        std::vector<std::string> cards;
        for (std::size_t i = 0; i < load.product.cards().size(); ++i)
            cards.emplace_back(load.product.cards()[i]);
        return cards;
    };
    const std::string in = fixture("driver/manycards.fits");
    std::vector<std::string> expected = file_cards(in, 0);
    std::vector<std::string> extension = file_cards(in, 1);
    ASSERT_GT(expected.size() + extension.size(), 700u);
    expected.insert(expected.end(), extension.begin(), extension.end());
    const std::vector<std::string> cards = stored(in);
    EXPECT_EQ(cards, expected);
    EXPECT_EQ(cards.back().substr(0, 4), "END ");

    const std::string primary = fixture("driver/primary_only.fits");
    EXPECT_EQ(stored(primary), file_cards(primary, 0));
}

TEST(DriverListing, UnwritableListingFails)
{
    ScratchDir dir;
    fs::copy_file(fixture("driver/nofilename.fits"), dir / "ppae2.fits");
    const std::string out = dir / "no/such/dir/out.lst";
    RunResult r = run_qrpht({"-o", out, "ppae2.fits"}, dir.path.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "problem opening output file " + out + ": No such file or directory\n");
    EXPECT_EQ(r.out, "");
}
