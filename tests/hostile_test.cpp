// Hostile inputs (tests/fixtures/hostile, made by tools/fixtures/hostile.py):
// damaged and absurd products run through the program in the normal form,
// the verbose form and with images. Whatever the input, the program must end
// on its own within a time limit with status 0 or 1, say why in one line
// when it fails, write bounded output, and raise no sanitizer report (the
// sanitizer build runs the same test). A few inputs also have the precise
// outcome that the program promises for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "test_util.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kTimeLimit = std::chrono::seconds(20);
constexpr std::uintmax_t kMaxListing = 16u << 20;   // 500 records of the widest listing fit
constexpr std::uintmax_t kMaxImages = 64u << 20;    // 500 images of 10 x 64 pixels fit
constexpr std::uintmax_t kMaxStream = 1u << 20;

std::uintmax_t tree_size(const fs::path &dir)
{
    std::uintmax_t total = 0;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) total += e.file_size();
    return total;
}

// The last line of a stream: complete, not empty, of a sensible length.
bool ends_with_message_line(const std::string &s)
{
    if (s.size() < 2 || s.back() != '\n') return false;
    std::size_t start = s.rfind('\n', s.size() - 2);
    std::size_t len = s.size() - 1 - (start == std::string::npos ? 0 : start + 1);
    return len > 0 && len < 1000;
}

enum class Form { normal, verbose, images };

struct Case {
    std::string file;
    Form form;
};

void PrintTo(const Case &c, std::ostream *os)
{
    static const char *const kForm[] = {"normal", "verbose", "images"};
    *os << c.file << " (" << kForm[static_cast<int>(c.form)] << ")";
}

std::vector<Case> all_cases()
{
    std::vector<Case> cases;
    const fs::path dir = fs::path(FIXTURE_DIR) / "hostile";
    if (!fs::is_directory(dir)) return cases;
    std::vector<std::string> files;
    for (const auto &e : fs::directory_iterator(dir)) files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    for (const auto &f : files)
        for (Form form : {Form::normal, Form::verbose, Form::images}) cases.push_back({f, form});
    return cases;
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    std::string name;
    for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    static const char *const kForm[] = {"normal", "verbose", "images"};
    return name + "_" + kForm[static_cast<int>(info.param.form)];
}

// What the program promises for particular inputs, beyond surviving them:
// the status, a text that must appear on stdout or stderr, one that must not,
// and one that the verbose listing must hold (empty texts are not checked).
struct Promise {
    int status;
    const char *said;
    const char *not_said;
    const char *verbose_listing;
};

const std::map<std::string, Promise> &promises()
{
    static const char *const kOpen = "problem opening tablefile";
    static const char *const kEof = "EOF reading tablefile";
    static const char *const kIntMax = "Too many rows (2147483647); only the first 500 are listed.\n";
    static const std::map<std::string, Promise> p = {
        // Headers the table library refuses.
        {"empty.fits", {1, kOpen, "", ""}},
        {"pcas_no_end_primary.fits", {1, kOpen, "", ""}},
        {"pcae_no_end_only_primary.fits", {1, kOpen, "", ""}},
        {"pcap_tfields_151.fits", {1, kOpen, "", ""}},
        {"pcap_tfields_huge.fits", {1, kOpen, "", ""}},
        {"pcap_repeat_all_huge.fits", {1, kOpen, "", ""}},
        {"ascii_many_fields.tbl", {1, kOpen, "", ""}},
        {"ascii_many_bars.tbl", {1, kOpen, "", ""}},
        {"ascii_many_named_bars.tbl", {1, kOpen, "", ""}},
        {"ascii_long_line.tbl", {1, kOpen, "", ""}},
        {"ascii_blank_line.tbl", {1, kOpen, "", ""}},
        {"ascii_newline_only.tbl", {1, kOpen, "", ""}},
        {"ascii_backslash_only.tbl", {1, kOpen, "", ""}},
        {"ascii_no_newline.tbl", {1, "is not a fits binary file", "", ""}},
        // A TFORM card without its closing quote gives its column no width,
        // so the columns fall short of NAXIS1.
        {"ppap_open_quotes.fits", {1, kOpen, "", ""}},
        // Row counts: clamped to int, negative as none, the full count of
        // a PCAS raster computed without overflow, at most 500 records read.
        {"pcae_naxis2_huge.fits", {0, kIntMax, "", ""}},
        {"pcae_naxis2_beyond_int.fits", {0, kIntMax, "", ""}},
        {"ppap_naxis2_beyond_int.fits", {0, kIntMax, "", ""}},
        {"psa_naxis2_beyond_int.fits", {0, kIntMax, "", ""}},
        {"pcap_naxis2_neg.fits", {0, "", kEof, ""}},
        {"ppae_naxis2_neg.fits", {0, "", kEof, ""}},
        {"pla_naxis2_neg.fits", {0, "", kEof, ""}},
        {"pcas_raster_neg.fits", {0, "", "Too many rows", ""}},
        {"pcas_raster_overflow.fits", {0, "Too many rows (20000000000); only", "", ""}},
        {"pcas_raster_wrap.fits", {0, "Too many rows (8589934592); only", "", ""}},
        {"pcas_raster_int_max.fits", {0, "Too many rows (9223372028264841218); only", "", ""}},
        {"pcas_raster_beyond_int.fits", {0, "Too many rows (8589934588); only", "", ""}},
        {"pcae_rows_501.fits", {0, "Too many rows (501); only the first 500", kEof, ""}},
        // A FILENAME card without "=", or with a string without its
        // closing quote (which runs to the end of the card) or made of
        // quotes only, still reaches the listing of its family.
        {"pcae_no_equals_filename.fits", {0, "", "", "PCAEFILT"}},

        {"psa_only_quotes.fits", {0, "", "", "Pixel Wavelength Array"}},
        // Lines are never cut: a 70-character value without comment is
        // written whole.
        {"pcap_long_values.fits",
         {0, "", "", ": 1111111111111111111111111111111111111111111111111111111111111111111111 (ATTRDPTS)"}},
        // Every card of both headers reaches the store.
        {"pcap_many_cards.fits", {0, "", "", "tension card 349"}},
        // Wavelength cards outside LAMBDA1 to LAMBDA64 are listed, not stored.
        {"pla_lambda_range.fits", {0, "", "", "(LAMBDA65)"}},
    };
    return p;
}

class Hostile : public testing::TestWithParam<Case> {};

TEST_P(Hostile, EndsCleanly)
{
    const Case &c = GetParam();
    ScratchDir dir;
    const std::string listing = dir / "out.lst";
    std::vector<std::string> args;
    if (c.form == Form::verbose) args.push_back("-v");
    args.insert(args.end(), {"-o", listing});
    if (c.form == Form::images) {
        fs::create_directories(dir.path / "img");
        args.insert(args.end(), {"-i", dir / "img/meas"});
    }
    // The product is named without its directory, so that a damaged
    // FILENAME card leaves the choice of the listing to the file name.
    args.push_back(c.file);

    const RunResult r = run_qrpht(args, fixture("hostile"), kTimeLimit);
    ASSERT_FALSE(r.timed_out) << "killed after " << kTimeLimit.count() << " s";
    ASSERT_EQ(r.signal, 0) << "ended by signal " << r.signal << "\n" << r.err;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
    EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status;
    if (r.status == 1) {
        EXPECT_TRUE(ends_with_message_line(r.out) || ends_with_message_line(r.err))
            << "stdout: " << r.out << "\nstderr: " << r.err;
    }
    EXPECT_LE(r.out.size(), kMaxStream);
    EXPECT_LE(r.err.size(), kMaxStream);
    if (fs::exists(listing)) {
        EXPECT_LE(fs::file_size(listing), kMaxListing);
    }
    if (fs::exists(dir.path / "img")) {
        EXPECT_LE(tree_size(dir.path / "img"), kMaxImages);
    }

    auto promise = promises().find(c.file);
    if (promise == promises().end()) return;
    const Promise &p = promise->second;
    const std::string said = r.out + r.err;
    EXPECT_EQ(r.status, p.status);
    EXPECT_NE(said.find(p.said), std::string::npos) << said;
    if (*p.not_said != '\0') {
        EXPECT_EQ(said.find(p.not_said), std::string::npos) << said;
    }
    if (c.form == Form::verbose && *p.verbose_listing != '\0') {
        EXPECT_NE(read_file(listing).find(p.verbose_listing), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, Hostile, testing::ValuesIn(all_cases()), case_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Hostile);

}  // namespace
