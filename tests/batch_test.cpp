// qrpht-batch end to end: inputs of every kind, listings identical to
// qrpht's, the inventory, incremental runs, shards, interruption and the
// progress line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "inventory.h"
#include "listings.h"
#include "svg_read.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

using Rows = std::map<std::pair<std::string, std::string>, InventoryRow>;

RunResult run_batch(const ScratchDir &dir, const std::vector<std::string> &args)
{
    return run_program(QRPHT_BATCH_BIN, args, dir.path.string(), std::chrono::seconds(300));
}

Rows inventory(const ScratchDir &dir, const std::string &name = "out/inventory.csv")
{
    return read_inventory(dir / name);
}

void put(const ScratchDir &dir, const std::string &fixture_name, const std::string &as)
{
    const fs::path to = dir.path / as;
    fs::create_directories(to.parent_path());
    fs::copy_file(fixture(fixture_name), to, fs::copy_options::overwrite_existing);
}

void shell(const ScratchDir &dir, const std::string &command)
{
    ASSERT_EQ(std::system(("cd '" + dir.path.string() + "' && " + command).c_str()), 0) << command;
}

std::vector<std::string> images_of(const std::string &base)
{
    std::vector<std::string> images;
    for (std::size_t k = 0; fs::exists(pls_image_name(base, k)); ++k)
        images.push_back(read_file(pls_image_name(base, k)));
    return images;
}

std::string replace_all(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// What qrpht makes of the product at path (from dir) with the options:
// exit status, listing (run date masked; path written as shown_as), images
// and messages.
struct Qrpht {
    int status = -1;
    bool has_listing = false;
    std::string listing;
    std::vector<std::string> images;
    std::string out, err;  // without their final line breaks
};

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// A batch row's messages hold what qrpht wrote on both streams.
void expect_messages(const InventoryRow &row, const Qrpht &q, const std::string &path)
{
    EXPECT_NE(row[Inv::messages].find(q.out), std::string::npos) << path;
    EXPECT_NE(row[Inv::messages].find(q.err), std::string::npos) << path;
    EXPECT_EQ(row[Inv::messages].size(), q.out.size() + q.err.size() + (!q.out.empty() && !q.err.empty()))
        << path;
}

Qrpht qrpht(const ScratchDir &dir, const std::string &path, bool verbose_images,
            const std::string &shown_as = "")
{
    ScratchDir q;
    std::vector<std::string> args;
    if (verbose_images) args = {"-v", "-i", q / "x_"};
    args.insert(args.end(), {"-o", q / "x.lst", path});
    RunResult r = run_qrpht(args, dir.path.string());
    Qrpht out;
    out.status = r.status;
    out.has_listing = fs::exists(q / "x.lst");
    out.listing = mask_run_date(read_file(q / "x.lst"));
    if (!shown_as.empty()) out.listing = replace_all(out.listing, path, shown_as);
    out.images = images_of(q / "x_");
    out.out = trimmed(r.out);
    out.err = trimmed(r.err);
    return out;
}

// The batch's listing and images of a product agree with qrpht's.
void expect_listed_as_qrpht(const ScratchDir &dir, const std::string &path, const std::string &stem,
                            bool verbose_images, const std::string &shown_as = "")
{
    const Qrpht q = qrpht(dir, path, verbose_images, shown_as);
    EXPECT_EQ(q.status, 0) << path;
    EXPECT_EQ(mask_run_date(read_file(dir / ("out/" + stem + ".lst"))), q.listing) << path;
    if (verbose_images) {
        EXPECT_EQ(images_of(dir / ("out/" + stem + "_")), q.images) << path;
    }
}

std::set<std::string> listings_in(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &e : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(e.path(), folder).string());
    return names;
}

}  // namespace

TEST(BatchCommandLine, UnusableLinesExitTwoAndHelp)
{
    ScratchDir dir;
    put(dir, "pca/pcae3.fits", "in/pcae3.fits");
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"in"},                                 // no -d
        {"-d", "out"},                          // no input
        {"-d"},                                 // -d without its value
        {"-d", "out", "-j", "0", "in"},
        {"-d", "out", "--jobs=x", "in"},
        {"-d", "out", "--shard", "0/3", "in"},
        {"-d", "out", "--shard", "4/3", "in"},
        {"-d", "out", "--shard", "3", "in"},
        {"-d", "out", "--tablez", "in"},        // unknown option
        {"-d", "out", "missing"},               // an input that names nothing
        {"-d", "out", "@missing.txt"},          // a list that cannot be read
    };
    for (const auto &args : lines) {
        RunResult r = run_batch(dir, args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("qrpht-batch: "), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out/pcae3.lst"));

    RunResult help = run_batch(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: qrpht-batch [OPTIONS] INPUT...\n", 0), 0u);
    RunResult version = run_batch(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "qrpht-batch 5.0\n");
}

// Every fixture product, damaged ones included, in both listing forms:
// a product the batch lists has qrpht's listing and images; one it fails
// is one qrpht fails, and its row holds qrpht's messages.
TEST(BatchRun, ListsEveryFixtureAsQrphtDoes)
{
    for (const char *folder : {"banner", "driver", "pca", "pls", "ppa", "hostile"}) {
        for (bool verbose_images : {false, true}) {
            ScratchDir dir;
            std::vector<std::string> args = {"-q", "-j", "2", "-d", "out", fixture(folder)};
            if (verbose_images) args.insert(args.begin(), {"-v", "-i"});
            RunResult r = run_batch(dir, args);
            const Rows rows = inventory(dir);
            bool any_failed = false;
            for (const auto &e : fs::directory_iterator(fixture(folder))) {
                const std::string ext = e.path().extension().string();
                if (ext != ".fits" && ext != ".FITS") continue;  // expected listings and tables
                const std::string path = e.path().string();
                const std::string stem = e.path().stem().string();
                ASSERT_EQ(rows.count({path, ""}), 1u) << path;
                const InventoryRow &row = rows.at({path, ""});
                const Qrpht q = qrpht(dir, path, verbose_images);
                if (row[Inv::status] == kStatusListed) {
                    EXPECT_EQ(q.status, 0) << path;
                    EXPECT_EQ(mask_run_date(read_file(dir / ("out/" + stem + ".lst"))), q.listing) << path;
                    EXPECT_EQ(images_of(dir / ("out/" + stem + "_")), q.images) << path;
                    expect_messages(row, q, path);
                } else {
                    EXPECT_FALSE(fs::exists(dir / ("out/" + stem + ".lst"))) << path;
                    EXPECT_FALSE(q.has_listing && q.status == 0) << path;
                }
                if (row[Inv::status] == kStatusFailed) {
                    any_failed = true;
                    EXPECT_EQ(q.status, 1) << path;
                    expect_messages(row, q, path);
                }
            }
            EXPECT_EQ(r.status, any_failed ? 1 : 0) << folder << r.err;
        }
    }
}

TEST(BatchRun, FolderTreeWithInventory)
{
    ScratchDir dir;
    put(dir, "pca/pcae3.fits", "in/camera/pcae3.fits");
    put(dir, "pca/pcas3x2.fits", "in/camera/deep/er/pcas3x2.fits");
    put(dir, "ppa/ppap3.fits", "in/photometer/ppap3.fits");
    put(dir, "pls/pla3.fits", "in/spectrometer/pla3.fits");
    put(dir, "pls/psa3.fits", "in/spectrometer/odd, \"named\".fits");
    put(dir, "driver/pga_image.fits", "in/pga_image.fits");
    write_file(dir / "in/notes.txt", "observing notes\n");
    RunResult r = run_batch(dir, {"-j", "2", "-v", "-i", "-d", "out", "in"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "qrpht-batch: 5 listed, 0 failed, 0 up to date, 2 not products; "
                     "inventory out/inventory.csv\n");

    const std::vector<std::pair<std::string, std::string>> listed = {
        {"in/camera/pcae3.fits", "pcae3"}, {"in/camera/deep/er/pcas3x2.fits", "pcas3x2"},
        {"in/photometer/ppap3.fits", "ppap3"}, {"in/spectrometer/pla3.fits", "pla3"},
        {"in/spectrometer/odd, \"named\".fits", "odd, \"named\""}};
    for (const auto &[path, stem] : listed) expect_listed_as_qrpht(dir, path, stem, true);

    // The inventory: RFC 4180 (read here by Python's csv module too), one
    // row per file, product columns from the headers.
    const Rows rows = inventory(dir);
    ASSERT_EQ(rows.size(), 7u);
    const InventoryRow &pla = rows.at({"in/spectrometer/pla3.fits", ""});
    const InventoryRow expected_pla = {
        "in/spectrometer/pla3.fits", "", "PLA", "PLA45600203", "HD 12345", "P40", "JSMITH", "PHT_TEST",
        "3.500000", "-5.391111", "1996-05-02T04:56:12Z", "1996-05-02T05:10:33Z", "3", "3",
        "out/pla3.lst", "3", "listed", ""};
    EXPECT_EQ(pla, expected_pla);
    EXPECT_EQ(rows.at({"in/notes.txt", ""})[Inv::status], kStatusNotProduct);
    const InventoryRow &pga = rows.at({"in/pga_image.fits", ""});
    EXPECT_EQ(pga[Inv::status], kStatusNotProduct);
    EXPECT_EQ(pga[Inv::messages], "File 'in/pga_image.fits' is a fits image file.");
    RunResult py = run_program("/usr/bin/python3",
                               {"-c", "import csv,sys; r=list(csv.reader(open(sys.argv[1],newline='')));"
                                      "print(len(r), set(map(len,r)), r[6][0])",
                               "out/inventory.csv"},
                               dir.path.string());
    EXPECT_EQ(py.out, "8 {20} in/spectrometer/odd, \"named\".fits\n") << py.err;
}

// Archives within archives, compressed or not, and a compressed member,
// named in a list together with a plain product; nothing is unpacked.
TEST(BatchRun, NestedCompressedTarsFromAList)
{
    ScratchDir dir;
    put(dir, "pca/pcae3.fits", "obs1/pcae3.fits");
    put(dir, "pca/pcap3.fits", "obs1/pcap3.fits");
    write_file(dir / "obs1/notes.txt", "observing notes\n");
    put(dir, "ppa/ppap3.fits", "obs2/data/ppap3.fits");
    put(dir, "pls/psa3.fits", "obs2/data/psa3.fits");
    put(dir, "ppa/ppae1.fits", "single/ppae1.fits");
    shell(dir, "gzip obs1/pcap3.fits && tar -czf obs1.tar.gz -C obs1 . && tar -cf obs2.tar -C obs2 data"
               " && tar -czf download.tar.gz obs1.tar.gz obs2.tar && rm -r obs1 obs2 obs1.tar.gz obs2.tar");
    write_file(dir / "list.txt", "download.tar.gz\n\nsingle/ppae1.fits\r\n");
    const std::set<std::string> before = listings_in(dir.path);

    RunResult r = run_batch(dir, {"-v", "-i", "-d", "out", "@list.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    struct Member {
        std::string member, stem, fixture;
    };
    const std::vector<Member> members = {
        {"obs1.tar.gz/./pcae3.fits", "obs1/pcae3", "pca/pcae3.fits"},
        {"obs1.tar.gz/./pcap3.fits.gz", "obs1/pcap3", "pca/pcap3.fits"},
        {"obs2.tar/data/ppap3.fits", "obs2/ppap3", "ppa/ppap3.fits"},
        {"obs2.tar/data/psa3.fits", "obs2/psa3", "pls/psa3.fits"},
    };
    const Rows rows = inventory(dir);
    EXPECT_EQ(rows.size(), 6u);
    for (const Member &m : members) {
        EXPECT_EQ(rows.at({"download.tar.gz", m.member})[Inv::status], kStatusListed) << m.member;
        expect_listed_as_qrpht(dir, fixture(m.fixture), m.stem, true, "download.tar.gz/" + m.member);
    }
    EXPECT_EQ(rows.at({"download.tar.gz", "obs1.tar.gz/./notes.txt"})[Inv::status], kStatusNotProduct);
    expect_listed_as_qrpht(dir, "single/ppae1.fits", "ppae1", true);

    std::set<std::string> after = listings_in(dir.path);
    std::erase_if(after, [](const std::string &name) { return name.rfind("out", 0) == 0; });
    EXPECT_EQ(after, before);  // nothing but the outputs was written
}

// The table and picture qrpht writes for the product at path (from dir),
// the path written as shown_as.
std::pair<std::string, std::string> qrpht_table_picture(const ScratchDir &dir, const std::string &path,
                                                        const std::string &shown_as)
{
    ScratchDir q;
    run_qrpht({"-o", q / "x.lst", "-e", q / "x.ecsv", "-p", q / "x.svg", path}, dir.path.string());
    return {replace_all(read_file(q / "x.ecsv"), path, shown_as),
            replace_all(read_file(q / "x.svg"), path, shown_as)};
}

// The values of every attribute name="..." in text.
std::set<std::string> attributes(const std::string &text, const std::string &name)
{
    std::set<std::string> values;
    const std::string from = " " + name + "=\"";
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos;) {
        at += from.size();
        values.insert(text.substr(at, text.find('"', at) - at));
    }
    return values;
}

// --tables, --pictures and --html, for files and an archive member: tables
// and pictures are qrpht's own, the inventory and the index page name
// them; adding --tables relists products that have none, and a run with
// all of them up to date skips them. Then an inventory of the columns of
// earlier versions is read, and an index page that cannot be written fails
// the run.
TEST(BatchRun, TablesPicturesAndIndex)
{
    ScratchDir dir;
    for (const char *name : {"pca/pcae3.fits", "ppa/ppap3.fits", "pls/pla3.fits"})
        put(dir, name, std::string("in/") + fs::path(name).filename().string());
    put(dir, "pls/psa3.fits", "obs/psa3.fits");
    shell(dir, "tar -cf in/obs.tar obs && rm -r obs");
    write_file(dir / "in/notes.txt", "observing notes\n");
    for (const auto &e : fs::directory_iterator(dir / "in"))
        fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::seconds(60));
    const std::vector<std::string> all = {"-q", "-i", "--tables", "--pictures", "--html", "-d", "out", "in"};
    ASSERT_EQ(run_batch(dir, {"-q", "-i", "--pictures", "-d", "out", "in"}).status, 0);
    RunResult r = run_batch(dir, all);
    ASSERT_EQ(r.status, 0) << r.err;

    struct Product {
        std::string source, member, stem, path, shown_as;  // qrpht lists path; the batch shows shown_as
    };
    const std::vector<Product> products = {
        {"in/pcae3.fits", "", "pcae3", "in/pcae3.fits", "in/pcae3.fits"},
        {"in/ppap3.fits", "", "ppap3", "in/ppap3.fits", "in/ppap3.fits"},
        {"in/pla3.fits", "", "pla3", "in/pla3.fits", "in/pla3.fits"},
        {"in/obs.tar", "obs/psa3.fits", "obs/psa3", fixture("pls/psa3.fits"), "in/obs.tar/obs/psa3.fits"}};
    Rows rows = inventory(dir);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.at({"in/notes.txt", ""})[Inv::table], "");
    std::set<std::string> files;  // the spectrometer products' images, then every listing, table and picture
    for (const std::string stem : {"pla3", "obs/psa3"})
        for (std::size_t k = 0; k < 3; ++k) files.insert(pls_image_name(stem + "_", k));
    for (const Product &p : products) {
        const InventoryRow &row = rows.at({p.source, p.member});
        EXPECT_EQ(row[Inv::status], kStatusListed) << p.stem;  // relisted: it had no table
        EXPECT_EQ(row[Inv::table], "out/" + p.stem + ".ecsv");
        EXPECT_EQ(row[Inv::picture], "out/" + p.stem + ".svg");
        const auto [table, picture] = qrpht_table_picture(dir, p.path, p.shown_as);
        EXPECT_EQ(read_file(dir / row[Inv::table]), table) << p.stem;
        EXPECT_EQ(read_file(dir / row[Inv::picture]), picture) << p.stem;
        for (const char *ending : {".lst", ".ecsv", ".svg"}) files.insert(p.stem + ending);
    }
    // The page: a row per inventory row, linking every output, each of which exists.
    const std::string page = read_file(dir / "out/index.html");
    EXPECT_EQ(pieces(page, "<tr><td", ">").size(), rows.size());
    std::set<std::string> links = attributes(page, "href");
    EXPECT_EQ(links, files);
    for (const std::string &link : links) EXPECT_TRUE(fs::is_regular_file(dir / ("out/" + link))) << link;
    EXPECT_EQ(attributes(page, "src"), (std::set<std::string>{"pcae3.svg", "ppap3.svg", "pla3.svg", "obs/psa3.svg"}));

    ASSERT_EQ(run_batch(dir, all).status, 0);
    for (const auto &[key, row] : inventory(dir)) {
        if (key.first == "in/notes.txt") continue;
        EXPECT_EQ(row[Inv::status], kStatusSkipped) << key.first;
        EXPECT_EQ(row[Inv::table], fs::path(row[Inv::listing]).replace_extension(".ecsv").string());
        EXPECT_EQ(row[Inv::picture], fs::path(row[Inv::listing]).replace_extension(".svg").string());
    }

    shell(dir, "/usr/bin/python3 -c \"import csv; f='out/inventory.csv'; r=list(csv.reader(open(f, newline='')));"
               " csv.writer(open(f, 'w', newline='')).writerows(x[:18] for x in r)\""
               " && rm out/index.html && mkdir out/index.html");
    r = run_batch(dir, {"--html", "-d", "out", "in"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("qrpht-batch: cannot write the index page out/index.html: "), std::string::npos) << r.err;
    rows = inventory(dir);
    EXPECT_EQ(rows.at({"in/pcae3.fits", ""})[Inv::status], kStatusSkipped);
    EXPECT_EQ(rows.at({"in/pcae3.fits", ""})[Inv::object], "NGC 7027");  // kept from the older inventory
    EXPECT_EQ(rows.at({"in/pcae3.fits", ""})[Inv::table], "");             // not asked for
}

// A damaged product among good ones; then runs that skip what is up to
// date, relist what changed, and relist everything with --force.
TEST(BatchRun, DamagedProductAndIncrementalRuns)
{
    ScratchDir dir;
    for (const char *name : {"pca/pcae3.fits", "ppa/ppae1.fits", "pls/pla3.fits"})
        put(dir, name, std::string("in/") + fs::path(name).filename().string());
    put(dir, "hostile/pcas_no_end_primary.fits", "in/damaged.fits");
    // Products older than any listing, whatever the resolution of file times.
    for (const auto &e : fs::directory_iterator(dir / "in"))
        fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::seconds(60));
    RunResult first = run_batch(dir, {"-q", "-d", "out", "in"});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.err, "");
    Rows rows = inventory(dir);
    const InventoryRow &damaged = rows.at({"in/damaged.fits", ""});
    EXPECT_EQ(damaged[Inv::status], kStatusFailed);
    EXPECT_EQ(damaged[Inv::messages], "problem opening tablefile in/damaged.fits");
    EXPECT_FALSE(fs::exists(dir / "out/damaged.lst"));
    for (const std::string stem : {"pcae3", "ppae1", "pla3"})
        expect_listed_as_qrpht(dir, "in/" + stem + ".fits", stem, false);

    const auto written = [&](const std::string &stem) {
        return fs::last_write_time(dir / ("out/" + stem + ".lst"));
    };
    const auto pcae_time = written("pcae3"), ppae_time = written("ppae1");
    fs::remove(dir / "in/damaged.fits");
    fs::last_write_time(dir / "in/ppae1.fits", fs::file_time_type::clock::now() + std::chrono::seconds(5));
    RunResult second = run_batch(dir, {"-d", "out", "in"});
    EXPECT_EQ(second.status, 0) << second.err;
    rows = inventory(dir);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows.at({"in/pcae3.fits", ""})[Inv::status], kStatusSkipped);
    EXPECT_EQ(rows.at({"in/pcae3.fits", ""})[Inv::object], "NGC 7027");  // kept from the earlier inventory
    EXPECT_EQ(rows.at({"in/ppae1.fits", ""})[Inv::status], kStatusListed);  // the product changed
    EXPECT_EQ(written("pcae3"), pcae_time);
    EXPECT_NE(written("ppae1"), ppae_time);

    RunResult forced = run_batch(dir, {"-q", "--force", "-d", "out", "in"});
    EXPECT_EQ(forced.status, 0);
    for (const auto &[key, row] : inventory(dir)) EXPECT_EQ(row[Inv::status], kStatusListed) << key.first;
    EXPECT_NE(written("pcae3"), pcae_time);
}

TEST(BatchRun, ShardsCoverEveryProductOnce)
{
    ScratchDir dir;
    const std::vector<std::string> fixtures = {"pca/pcae3.fits", "pca/pcap3.fits", "pca/pcas3x2.fits",
                                               "ppa/ppae1.fits", "ppa/ppap3.fits", "pls/pla3.fits",
                                               "pls/psa3.fits"};
    for (const std::string n : {"0", "1", "2"})
        for (const std::string &f : fixtures) put(dir, f, "in/" + n + "/" + n + fs::path(f).filename().string());
    write_file(dir / "in/readme.txt", "not a product\n");
    std::map<std::string, int> seen;
    for (int k = 1; k <= 3; ++k) {
        RunResult r = run_batch(dir, {"-q", "--shard", std::to_string(k) + "/3", "-d", "out", "in"});
        EXPECT_EQ(r.status, 0) << r.err;
        const Rows rows = inventory(dir, "out/inventory-" + std::to_string(k) + "-of-3.csv");
        EXPECT_GE(rows.size(), 7u);
        EXPECT_LE(rows.size(), 8u);
        for (const auto &[key, row] : rows) ++seen[key.first];
    }
    EXPECT_EQ(seen.size(), 22u);
    for (const auto &[source, count] : seen) EXPECT_EQ(count, 1) << source;
    EXPECT_EQ(listings_in(dir / "out").size(), 21u + 3u);  // 21 listings, 3 inventories
}

// SIGINT mid-run: the workers stop, nothing half-written stays, and the
// inventory holds the products that finished, each listed in full.
TEST(BatchRun, InterruptKeepsWhatFinished)
{
    ScratchDir dir;
    put(dir, "pls/pla30.fits", "pla30.fits");
    fs::create_directories(dir.path / "in");
    constexpr int kProducts = 400;
    for (int i = 0; i < kProducts; ++i)
        fs::create_symlink("../pla30.fits", dir.path / ("in/p" + std::to_string(i) + ".fits"));

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(dir.path.c_str()) != 0) _exit(127);
        execl(QRPHT_BATCH_BIN, QRPHT_BATCH_BIN, "-j", "2", "-v", "-i", "--html", "-d", "out", "in", nullptr);
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const auto listed = [&] {
        std::size_t n = 0;
        std::error_code ec;
        for (const auto &e : fs::directory_iterator(dir / "out", ec)) n += e.path().extension() == ".lst";
        return n;
    };
    while (listed() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, SIGINT);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ASSERT_TRUE(WIFSIGNALED(wstatus));
    EXPECT_EQ(WTERMSIG(wstatus), SIGINT);

    const Rows rows = inventory(dir);
    EXPECT_GE(rows.size(), 1u);
    EXPECT_LT(rows.size(), static_cast<std::size_t>(kProducts));
    const Qrpht q = qrpht(dir, "in/p0.fits", true);
    std::set<std::string> expected = {"inventory.csv", "index.html"};
    for (const auto &[key, row] : rows) {
        ASSERT_EQ(row[Inv::status], kStatusListed) << key.first;
        const std::string stem = fs::path(key.first).stem().string();
        EXPECT_EQ(mask_run_date(read_file(dir / ("out/" + stem + ".lst"))),
                  replace_all(q.listing, "in/p0.fits", key.first));
        EXPECT_EQ(images_of(dir / ("out/" + stem + "_")), q.images) << stem;
        expected.insert(stem + ".lst");
        for (std::size_t k = 0; k < q.images.size(); ++k)
            expected.insert(fs::path(pls_image_name(stem + "_", k)).string());
    }
    EXPECT_EQ(listings_in(dir / "out"), expected);  // no partial listing, image or temporary file
    EXPECT_EQ(pieces(read_file(dir / "out/index.html"), "<tr><td", ">").size(), rows.size());
}

// The progress line is drawn on a terminal, at most ten times a second,
// and elsewhere only with --progress.
TEST(BatchRun, ProgressLineOnATerminal)
{
    ScratchDir dir;
    put(dir, "pls/pla30.fits", "pla30.fits");
    fs::create_directories(dir.path / "in");
    for (int i = 0; i < 60; ++i)
        fs::create_symlink("../pla30.fits", dir.path / ("in/p" + std::to_string(i) + ".fits"));

    int master = -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.path.c_str()) != 0) _exit(127);
        execl(QRPHT_BATCH_BIN, QRPHT_BATCH_BIN, "-j", "2", "-v", "-d", "out", "in", nullptr);
        _exit(127);
    }
    std::string screen;
    char buf[4096];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) screen.append(buf, static_cast<std::size_t>(n));
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    close(master);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << screen;
    // Each redraw begins with a carriage return; the terminal writes one
    // before every line feed as well.
    const auto redraws = static_cast<double>(std::count(screen.begin(), screen.end(), '\r') -
                                             std::count(screen.begin(), screen.end(), '\n'));
    EXPECT_GE(redraws, 1);
    EXPECT_LE(redraws, 10 * seconds + 2) << seconds;
    EXPECT_NE(screen.find("\r60/60 done  "), std::string::npos) << screen;
    EXPECT_NE(screen.find("failed 0"), std::string::npos);

    RunResult plain = run_batch(dir, {"--force", "-d", "out", "in"});
    EXPECT_EQ(plain.err.find('\r'), std::string::npos);
    RunResult forced = run_batch(dir, {"--force", "--progress", "-q", "-d", "out", "in"});
    EXPECT_NE(forced.err.find("60/60 done"), std::string::npos);
}
