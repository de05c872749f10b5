// Tables exported with -e: every camera, photometer and spectrometer
// fixture product, and one of 2,000 records made here, read back by
// astropy and compared with the same product read by astropy
// (tests/table_check.py); and where the command line sends a table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const std::string kPython = "/usr/bin/python3";
const fs::path kSource = fs::path(FIXTURE_DIR).parent_path().parent_path();

std::string shell_word(const std::string &s) { return "'" + s + "'"; }

// Every product of the camera, photometer and spectrometer fixtures.
std::vector<std::string> fixture_products()
{
    std::vector<std::string> products;
    for (const char *dir : {"pca", "ppa", "pls", "positions", "strings"})
        for (const auto &entry : fs::directory_iterator(fixture(dir)))
            if (entry.path().extension() == ".fits") products.push_back(entry.path().string());
    std::sort(products.begin(), products.end());
    return products;
}

// Lines of a table that are neither header nor column names.
std::size_t data_lines(const std::string &table)
{
    std::size_t n = 0;
    for (std::size_t at = 0; at < table.size();) {
        n += table[at] != '#';
        const std::size_t end = table.find('\n', at);
        at = end == std::string::npos ? table.size() : end + 1;
    }
    return n > 0 ? n - 1 : 0;
}

}  // namespace

TEST(TableExport, EveryProductReadsBackAsItsFitsProduct)
{
    ScratchDir dir;
    const std::string many = dir / "pcas2000.fits";
    ASSERT_EQ(std::system((kPython + " " + shell_word((kSource / "tools/fixtures/many_records.py").string()) +
                           " " + shell_word(many)).c_str()),
              0) << "tools/install-deps installs python3-astropy";
    std::vector<std::string> products = fixture_products();
    products.push_back(many);
    std::string check = kPython + " " + shell_word((kSource / "tests/table_check.py").string());
    for (std::size_t i = 0; i < products.size(); ++i) {
        const std::string table = dir / (std::to_string(i) + ".ecsv");
        const RunResult r = run_qrpht({"-o", dir / "listing", "-e", table, products[i]});
        EXPECT_EQ(r.status, 0) << products[i] << ": " << r.err;
        check += " " + shell_word(products[i]) + " " + shell_word(table);
    }
    // The listing holds 500 records of the 2,000; the table every one:
    // 1,000 raster points on C100 (9 pixels) and 1,000 on C200 (4).
    const RunResult r = run_qrpht({"-o", dir / "listing", "-e", dir / "many.ecsv", many});
    EXPECT_EQ(r.err, "Too many rows (2000); only the first 500 are listed.\n");
    EXPECT_EQ(data_lines(read_file(dir / "many.ecsv")), 1000u * 9 + 1000u * 4);
    // Cut after some 1,500 rows: the listing's 500 are whole, so the end of
    // the rows is the table's news, said once.
    const std::string cut = dir / "pcas2000_cut.fits";
    fs::copy_file(many, cut);
    fs::resize_file(cut, fs::file_size(cut) * 3 / 4);
    EXPECT_EQ(run_qrpht({"-o", dir / "listing", "-e", dir / "cut.ecsv", cut}).err,
              "Too many rows (2000); only the first 500 are listed.\nEOF reading tablefile\n");

    const auto [report, ok] = run_command(check + " 2>/dev/null");
    EXPECT_TRUE(ok) << report;
    EXPECT_NE(report.find("pcas2000.fits: 13000 rows checked"), std::string::npos) << report;
}

TEST(TableExport, TableGoesWhereTheCommandLineSays)
{
    ScratchDir dir;
    const std::string pla = fixture("pls/pla3.fits");
    const std::string copy = dir / "pla3.fits";
    fs::copy_file(pla, copy);
    ASSERT_EQ(run_qrpht({"-o", dir / "l", "-e", dir / "t.ecsv", pla}).status, 0);
    const std::string table = read_file(dir / "t.ecsv");
    const std::string missing = dir / "no/such/t.ecsv";
    const struct {
        const char *what;
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } kCases[] = {
        {"standard output", {"-o", dir / "l", "-e", "-", pla}, 0, table, ""},
        {"both on standard output", {"-o", "-", "-e", "-", pla}, 1, "",
         "The listing and the table cannot both go to the standard output.\n"},
        {"the product itself", {"-o", dir / "l", "-e", copy, copy}, 1, "",
         "problem opening output file " + copy + ": it is the input file " + copy + "\n"},
        {"no such folder", {"-o", dir / "l", "-e", missing, pla}, 1, "",
         "problem writing output file " + missing + ": No such file or directory\n"},
        {"rows cut short: said once", {"-o", dir / "l", "-e", dir / "short.ecsv", fixture("pca/pcae1_short.fits")},
         0, "", "EOF reading tablefile\n"},
        {"image product", {"-o", dir / "l", "-e", dir / "image.ecsv", fixture("driver/pga_image.fits")},
         0, "File '" + fixture("driver/pga_image.fits") + "' is a fits image file.\n", ""},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.what);
        const RunResult r = run_qrpht(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        if (c.status == 0) {
            EXPECT_EQ(r.out, c.out);
        }
    }
    EXPECT_EQ(read_file(copy), read_file(pla));  // never written over
    EXPECT_FALSE(fs::exists(dir / "image.ecsv"));
}
