// Products as they are delivered: compressed with gzip, compress, bzip2 or
// xz, on standard input, through a pipe given by name; listings written to
// standard output; and the damaged or hostile streams that must be refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fits_table.h"
#include "pht.h"
#include "product_source.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

// The compressed forms, made by tools/fixtures/delivered.py with the
// compressors themselves; "" is the product as it is.
const char *const kForms[] = {"", ".gz", ".Z", ".bz2", ".xz"};

struct Product {
    const char *fixture;
    bool images;  // spectrometer products also write images
};

const Product kProducts[] = {
    {"pca/pcae3.fits", false}, {"pca/pcap3.fits", false}, {"pca/pcas3x2.fits", false},
    {"ppa/ppae1.fits", false}, {"ppa/ppap3.fits", false}, {"pls/pla3.fits", true},
    {"pls/psa3.fits", true},
};

void replace_once(std::string &text, const std::string &from, const std::string &to)
{
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
}

// A listing with its run date and the product path it was given masked:
// the banner and the AAR file line show the path as typed.
std::string masked(const std::string &listing, const std::string &path)
{
    std::string text = mask_run_date(listing);
    replace_once(text, "\n" + path + " created on ", "\n<PATH> created on ");
    replace_once(text, ": '" + path + "'\n", ": '<PATH>'\n");
    return text;
}

// Everything one product path produced: both listings and the images.
struct Delivery {
    int status = 0;
    std::string normal;
    std::string verbose;
    std::map<std::string, std::string> images;
    bool operator==(const Delivery &) const = default;
};

Delivery deliver(const ScratchDir &dir, const std::string &path,
                 const std::optional<std::string> &input, bool images)
{
    const std::string cwd = dir.path.string();
    Delivery d;
    std::vector<std::string> verbose = {"-v", "-o", "v.lst", path};
    if (images) {
        fs::create_directory(dir / "img");
        verbose.insert(verbose.begin(), {"-i", "img/m"});
    }
    d.status = run_qrpht({"-o", "n.lst", path}, cwd, std::chrono::seconds(0), input).status
               + run_qrpht(verbose, cwd, std::chrono::seconds(0), input).status;
    d.normal = masked(read_file(dir / "n.lst"), path);
    d.verbose = masked(read_file(dir / "v.lst"), path);
    fs::remove(dir / "n.lst");
    fs::remove(dir / "v.lst");
    if (images) {
        for (const auto &entry : fs::directory_iterator(dir / "img"))
            d.images[entry.path().filename().string()] = read_file(entry.path());
        fs::remove_all(dir / "img");
    }
    return d;
}

// The first line where two listings part, for a readable failure.
std::string first_difference(const std::string &a, const std::string &b)
{
    std::istringstream sa(a), sb(b);
    std::string la, lb;
    for (int n = 1;; ++n) {
        const bool more_a = static_cast<bool>(std::getline(sa, la));
        const bool more_b = static_cast<bool>(std::getline(sb, lb));
        if (!more_a && !more_b) return "none";
        if (la != lb || more_a != more_b) return "line " + std::to_string(n) + ": '" + la + "' / '" + lb + "'";
    }
}

void expect_same(const Delivery &got, const Delivery &plain, const std::string &how)
{
    EXPECT_EQ(got.status, 0) << how;
    EXPECT_TRUE(got.normal == plain.normal) << how << ", " << first_difference(got.normal, plain.normal);
    EXPECT_TRUE(got.verbose == plain.verbose) << how << ", " << first_difference(got.verbose, plain.verbose);
    EXPECT_TRUE(got.images == plain.images) << how << ": images differ";
}

// TMPDIR pointed into a directory for the guard's lifetime, so that a
// temporary file left behind by a run would be seen there.
struct TmpdirGuard {
    std::optional<std::string> old;
    explicit TmpdirGuard(const std::string &dir)
    {
        if (const char *v = std::getenv("TMPDIR")) old = v;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TmpdirGuard()
    {
        if (old) setenv("TMPDIR", old->c_str(), 1);
        else unsetenv("TMPDIR");
    }
};

}  // namespace

TEST(DeliveredProducts, EveryFormAndSourceListsLikeThePlainProduct)
{
    for (const Product &p : kProducts) {
        const std::string name = fs::path(p.fixture).filename().string();
        ScratchDir dir;
        fs::copy_file(fixture(p.fixture), dir / name);
        for (const char *form : kForms)
            if (*form) fs::copy_file(fixture("delivered/" + name + form), dir / (name + form));

        const Delivery plain = deliver(dir, name, std::nullopt, p.images);
        ASSERT_EQ(plain.status, 0) << name;
        ASSERT_NE(plain.normal.find("Measurement"), std::string::npos) << name;
        ASSERT_EQ(plain.images.empty(), !p.images) << name;

        for (const char *form : kForms) {
            const std::string path = name + form;
            const std::string bytes = read_file(dir / path);
            expect_same(deliver(dir, path, std::nullopt, p.images), plain, path + " as a file");
            expect_same(deliver(dir, "-", bytes, p.images), plain, path + " on standard input");
        }
        // A pipe named by a path, as a shell's <(...) gives it.
        expect_same(deliver(dir, "/dev/stdin", read_file(dir / (name + ".gz")), p.images), plain,
                    name + ".gz through a named pipe");

        // -o - writes the listing to standard output and nothing else.
        RunResult r = run_qrpht({"-o", "-", name}, dir.path.string());
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_TRUE(masked(r.out, name) == plain.normal) << name << " listed to standard output";
        EXPECT_EQ(r.err, "") << name;
    }
}

TEST(DeliveredProducts, DamagedHostileAndEmptyInputsAreRefused)
{
    const std::string truncated = fixture("delivered/truncated.fits.gz");
    const std::string garbage = fixture("delivered/garbage.fits.gz");
    const std::string bomb = fixture("delivered/bomb.fits.bz2");
    const std::string unrecognised = "Input file is either not PHT AAR product or of unrecognized type.\n";
    struct Case {
        std::string path;
        std::optional<std::string> input;
        std::string out;
        bool reason;  // the decompressor's reason on the standard error
        std::string err;
    };
    const Case cases[] = {
        {truncated, std::nullopt, "problem opening tablefile " + truncated + "\n", true, ""},
        {garbage, std::nullopt, "problem opening tablefile " + garbage + "\n", true, ""},
        {"-", read_file(truncated), "problem opening tablefile -\n", true, ""},
        {bomb, std::nullopt, "problem opening tablefile " + bomb + ": decompressed product larger than 1 GiB\n",
         false, ""},
        {"-", std::string(), "problem opening tablefile -\n", false, ""},
        // On standard input there is no file name to tell the type.
        {"-", read_file(fixture("driver/nofilename.fits")), "", false, unrecognised},
    };
    for (const Case &c : cases) {
        ScratchDir dir;
        fs::create_directory(dir / "tmp");
        TmpdirGuard tmpdir(dir / "tmp");
        RunResult r = run_qrpht({"-o", "out.lst", c.path}, dir.path.string(), std::chrono::seconds(100), c.input);
        const std::string how = c.path + (c.input ? " on standard input" : "");
        EXPECT_EQ(r.status, 1) << how;
        EXPECT_EQ(r.out, c.out) << how;
        if (c.reason) {
            EXPECT_FALSE(r.err.empty()) << how;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << how << ": " << r.err;
        } else {
            EXPECT_EQ(r.err, c.err) << how;
        }
        EXPECT_TRUE(fs::is_empty(dir / "tmp")) << how;
        EXPECT_FALSE(fs::exists(dir / "out.lst")) << how;
    }
}

TEST(DeliveredProducts, ProductsHeldInMemory)
{
    ScratchDir dir;
    const std::string plain = fixture("pca/pcap3.fits");
    const std::string gz = read_file(fixture("delivered/pcap3.fits.gz"));

    // A whole run over a held product, given by its display name.
    const std::string name = "obs42.tar/pcap3.fits.gz";
    product_hold(name.c_str(), gz);
    std::vector<std::string> args = {"qrpht", "-o", dir / "held.lst", name};
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    EXPECT_EQ(qrpht_main(static_cast<int>(argv.size()), argv.data()), 0);
    product_release(name.c_str());
    ASSERT_EQ(run_qrpht({"-o", dir / "plain.lst", plain}).status, 0);
    EXPECT_TRUE(masked(read_file(dir / "held.lst"), name) == masked(read_file(dir / "plain.lst"), plain));

    // One unit over bytes: a second open of the name reads them too while
    // the unit is open; afterwards the name is forgotten.
    int nparms = 0;
    topen_memory(31, "member.fits", read_file(plain), &nparms);
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(tgettyp(31), 1);
    EXPECT_GT(nparms, 0);
    topenr(32, "member.fits", &nparms);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(tgetrowcount(32), 3);
    tcls(32);
    tcls(31);
    topenr(33, "member.fits", &nparms);
    EXPECT_NE(itstat(), 0);
    tcls(33);

    // Compressed bytes are decompressed; damaged ones refused with a reason.
    topen_memory(31, "member.fits.gz", gz, &nparms);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(tgettyp(31), 1);
    tcls(31);
    topen_memory(31, "cut.fits.gz", gz.substr(0, gz.size() / 2), &nparms);
    EXPECT_NE(itstat(), 0);
    EXPECT_FALSE(product_failure().detail.empty());
}
