// Table library, writing side: text output units, QELT ASCII table writing
// and FITS row copying through a linked output unit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fits_table.h"
#include "fits_table_fits_builder.h"
#include "test_util.h"

using namespace fitsb;

namespace {

constexpr int kOut = 11;
constexpr int kIn = 9;

struct OutputTest : ::testing::Test {
    ScratchDir dir;
    std::string path = dir / "out.txt";
    void TearDown() override
    {
        tcls(kOut);
        tcls(kIn);
    }
};

}  // namespace

TEST_F(OutputTest, TextUnitWritesExactlyTheTextsGiven)
{
    write_file(path, "old contents that must go\n");
    topenw(kOut, path.c_str());
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(tgettyp(kOut), 0);
    tblwrit_raw(kOut, "banner\n");
    tblwrit_raw(kOut, "");
    EXPECT_EQ(itstat(), 0);
    tblwrit_raw(kOut, "x = 1");
    tcls(kOut);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(read_file(path), "banner\nx = 1");  // no padding, nothing added
}

TEST_F(OutputTest, SecondOpenOfAnOpenUnitIsRefused)
{
    topenw(kOut, path.c_str());
    testing::internal::CaptureStdout();
    topenw(kOut, (dir / "other.txt").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: unit 11 is already open\n");
    EXPECT_EQ(itstat(), -1);
    tblwrit_raw(kOut, "still the first");
    tcls(kOut);
    EXPECT_EQ(read_file(path), "still the first");
    EXPECT_FALSE(std::filesystem::exists(dir / "other.txt"));
}

TEST_F(OutputTest, UnwritablePathLeavesUnitClosed)
{
    topenw(kOut, (dir / "no/such/dir/out.txt").c_str());
    EXPECT_EQ(itstat(), -1);
    EXPECT_STREQ(t_error(), "No such file or directory");
    tblwrit_raw(kOut, "lost");
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tblwrit_raw:  unit not open");
    tcls(kOut);
    EXPECT_STREQ(t_error(), "error in tcls:  unit not open");
}

// ------------------------------------------------------ QELT ASCII tables

namespace {

// Defines columns (name, unit, format, width) on kOut; returns their numbers.
std::vector<int> define(const std::vector<std::tuple<std::string, std::string, std::string, int>> &cols)
{
    std::vector<int> idx;
    for (auto &[name, unit, fmt, width] : cols) {
        int i = 0;
        tnewp(kOut, name.c_str(), "", "", unit.c_str(), 1.0, 0.0, fmt.c_str(), width, &i);
        idx.push_back(i);
    }
    return idx;
}

}  // namespace

TEST_F(OutputTest, TwoColumnTableByteForByte)
{
    topenw(kOut, path.c_str());
    auto idx = define({{"ra", "", "%g", 6}, {"dec", "  ", "%d", 4}});
    EXPECT_EQ(idx, (std::vector<int>{1, 2}));
    EXPECT_EQ(itstat(), 0);
    tsetr(kOut, 1, 12.5);
    tseti(kOut, 2, 3);
    tblwrit(kOut);
    EXPECT_EQ(itstat(), 0);
    // The second row sets only ra: dec repeats its value; the header is
    // not written again.
    tsetr(kOut, 1, -1.25);
    tblwrit(kOut);
    tcls(kOut);
    EXPECT_EQ(read_file(path),
              "|ra    |dec |\n"
              " 12.5   3    \n"
              " -1.25  3    \n");
}

TEST_F(OutputTest, UnitLineAppearsWhenAnyColumnHasAUnit)
{
    topenw(kOut, path.c_str());
    define({{"name", "", "%s", 5}, {"ra", "deg", "%.1f", 6}, {"never", " ", "%s", 3}});
    tsetc(kOut, 1, "M31");
    tsetr(kOut, 2, 10.68);
    tblwrit(kOut);
    tcls(kOut);
    EXPECT_EQ(read_file(path),
              "|name |ra    |nev|\n"
              "|     |deg   |   |\n"
              " M31   10.7       \n");  // a column never set is blank
}

TEST_F(OutputTest, ValueTooLargeForFieldIsCutAndReported)
{
    topenw(kOut, path.c_str());
    define({{"n", "", "%3d", 3}, {"s", "", "%s", 4}, {"r", "", "%8.3f", 5}});
    struct Case { void (*set)(); const char *msg; };
    const Case cases[] = {
        {[] { tseti(kOut, 1, 12345); }, "table file error in tseti:  data value [12345] too large for field\n"},
        {[] { tsetc(kOut, 2, "abcdefg"); }, "table file error in tsetc:  data value [abcdefg] too large for field\n"},
        {[] { tsetr(kOut, 3, 3.14159); }, "table file error in tsetr:  data value [   3.142] too large for field\n"},
    };
    for (auto &c : cases) {
        testing::internal::CaptureStderr();
        c.set();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.msg);
        EXPECT_EQ(itstat(), 1);
        EXPECT_STREQ(t_error(), c.msg);
    }
    tblwrit(kOut);
    tcls(kOut);
    EXPECT_EQ(read_file(path), "|n  |s   |r    |\n 123 abcd    3. \n");
}

TEST_F(OutputTest, ColumnDefinitionErrors)
{
    topenw(kOut, path.c_str());
    tcls(99);  // sets a message that the MAXWIDTH case must leave alone
    int i = 0;
    testing::internal::CaptureStderr();
    tnewp(kOut, "wide", "", "", "", 0, 0, "%s", 5001, &i);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "table file error in tnewp:  length of field [wide] longer than MAXWIDTH (=5000)\n"
              "    Change MAXWIDTH in file fits_table\n");
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tcls:  unit not open");
    EXPECT_EQ(i, 1);  // defined and counted all the same

    testing::internal::CaptureStderr();
    tnewp(kOut, "ninechars", "", "", "", 0, 0, "%s", 8, &i);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "table file error in tnewp:  field name [ninechars] too long to fit into column header\n");
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tnewp:  field name [ninechars] too long to fit into column header");
    EXPECT_EQ(i, 2);

    tnewp(kOut, "neg", "", "", "", 0, 0, "%s", -3, &i);
    EXPECT_EQ(itstat(), 1);
    EXPECT_EQ(i, 3);

    // No more than MAXFIELDS columns.
    for (int n = 4; n <= MAXFIELDS; ++n) tnewp(kOut, "c", "", "", "", 0, 0, "%s", 1, &i);
    EXPECT_EQ(i, MAXFIELDS);
    i = 0;
    tnewp(kOut, "c", "", "", "", 0, 0, "%s", 1, &i);
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tnewp:  more than MAXFIELDS (=150) fields");
    EXPECT_EQ(i, 0);
}

TEST_F(OutputTest, RejectedWritesLeaveTheFileAlone)
{
    // A line of 6500 characters or more is refused before anything is written.
    topenw(kOut, path.c_str());
    define({{"a", "", "%s", 5000}, {"b", "", "%s", 1497}});  // 1 + 6497 + 2 = 6500
    tsetc(kOut, 1, "x");
    tblwrit(kOut);
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tblwrit:  line of 6500 characters is longer than 6499");
    tcls(kOut);
    EXPECT_EQ(read_file(path), "");

    topenw(kOut, path.c_str());
    define({{"a", "", "%s", 5000}, {"b", "", "%s", 1496}});
    tblwrit(kOut);
    EXPECT_EQ(itstat(), 0);
    tcls(kOut);
    EXPECT_EQ(read_file(path).size(), 2u * 6500u);  // two lines of 6499 + newline

    topenw(kOut, path.c_str());
    define({{"a", "", "%d", 5}});
    struct Case { void (*call)(); const char *msg; };
    const Case cases[] = {
        {[] { tsetc(kOut, 0, "x"); }, "error in tsetc:  column 0 is not defined"},
        {[] { tseti(kOut, 2, 1); }, "error in tseti:  column 2 is not defined"},
        {[] { tsetr(kOut, -1, 1); }, "error in tsetr:  column -1 is not defined"},
        {[] { tsetc(kOut, 1, "x"); }, "error in tsetc:  format [%d] does not fit the value"},
        {[] { tsetr(kOut, 1, 2.5); }, "error in tsetr:  format [%d] does not fit the value"},
        {[] { tsetc(12, 1, "x"); }, "error in tsetc:  output unit not open"},
        {[] { tseti(12, 1, 1); }, "error in tseti:  output unit not open"},
        {[] { tsetr(12, 1, 1); }, "error in tsetr:  output unit not open"},
        {[] { tblwrit(12); }, "error in tblwrit:  output unit not open"},
        {[] { int i; tnewp(12, "a", "", "", "", 0, 0, "%s", 1, &i); }, "error in tnewp:  output unit not open"},
    };
    for (auto &c : cases) {
        c.call();
        EXPECT_EQ(itstat(), 1) << c.msg;
        EXPECT_STREQ(t_error(), c.msg);
    }
    tseti(kOut, 1, 42);
    EXPECT_EQ(itstat(), 0);
}

// ------------------------------------------------------------ FITS linking

TEST_F(OutputTest, LinkRequiresOpenFitsUnits)
{
    const std::string in = fixture("table/rows.fits");
    int nparms = 0;
    tlink(kIn, kOut);
    EXPECT_STREQ(t_error(), "error in tlink:  output unit not open");
    topenw(kOut, (dir / "copy.fits").c_str());
    tlink(kIn, kOut);
    EXPECT_STREQ(t_error(), "error in tlink:  input unit not open");
    topenr(kIn, in.c_str(), &nparms);
    testing::internal::CaptureStderr();
    tlink(kIn, kOut);  // output not marked as FITS
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error in fits_table routine tlink:  files must be FITS BINARY for linking\n");
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tlink:  files must be FITS BINARY for linking");

    char *adr = nullptr;
    tgetaddr(kOut, 1, &adr);
    EXPECT_STREQ(t_error(), "error in tgetaddr:  tgetaddr illegal for an output file");
    tgetaddr(44, 1, &adr);
    EXPECT_STREQ(t_error(), "error in tgetaddr:  output unit not open");
    tgetaddr(kIn, 8, &adr);
    EXPECT_STREQ(t_error(), "field index out of range");
    EXPECT_EQ(adr, nullptr);
}

TEST_F(OutputTest, LinkCopiesSelectedRowsOfAFitsTable)
{
    const std::string in = fixture("table/rows.fits");
    const std::string out = dir / "copy.fits";
    int nparms = 0;
    topenr(kIn, in.c_str(), &nparms);
    ASSERT_EQ(itstat(), 0);
    topenw(kOut, out.c_str());
    tfiltyp(kOut, 1);
    tlink(kIn, kOut);
    ASSERT_EQ(itstat(), 0);
    for (int row : {2, 4}) {
        tseek(kIn, row);
        EXPECT_EQ(tblread(kIn), row);
        tblwrit(kOut);
        EXPECT_EQ(itstat(), 0);
    }
    char *adr = nullptr;
    tgetaddr(kIn, 7, &adr);
    EXPECT_EQ(std::string(adr, 5), "delta");
    // The output shares the input's row: closing the input first is safe.
    tcls(kIn);
    tblwrit(kOut);  // row 4 once more
    tcls(kOut);
    ASSERT_EQ(itstat(), 0);

    // Byte layout: the input's headers (2 blocks), then three rows of 36
    // bytes padded with zeros to one block. Only the row count differs.
    const std::string src = read_file(in), dst = read_file(out);
    ASSERT_EQ(dst.size(), 3 * kBlock);
    const std::size_t naxis2 = kBlock + 4 * kCard;
    EXPECT_EQ(dst.substr(0, naxis2), src.substr(0, naxis2));
    EXPECT_EQ(dst.substr(naxis2, 30), "NAXIS2  =                    3");
    EXPECT_EQ(dst.substr(naxis2 + 30, 50), src.substr(naxis2 + 30, 50));  // comment kept
    EXPECT_EQ(dst.substr(naxis2 + kCard, kBlock - 5 * kCard), src.substr(naxis2 + kCard, kBlock - 5 * kCard));
    const std::size_t data = 2 * kBlock, width = 36;
    EXPECT_EQ(dst.substr(data, width), src.substr(data + width, width));
    EXPECT_EQ(dst.substr(data + width, width), src.substr(data + 3 * width, width));
    EXPECT_EQ(dst.substr(data + 2 * width, width), src.substr(data + 3 * width, width));
    EXPECT_EQ(dst.substr(data + 3 * width), std::string(kBlock - 3 * width, '\0'));

    // And the library reads the copy back.
    topenr(kIn, out.c_str(), &nparms);
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(tgetrowcount(kIn), 3);
    int ids[3] = {};
    for (int r = 0; r < 3; ++r) {
        tblread(kIn);
        tgeti(kIn, 1, &ids[r]);
    }
    EXPECT_EQ(ids[0], 193);
    EXPECT_EQ(ids[1], 393);
    EXPECT_EQ(ids[2], 393);
}

TEST_F(OutputTest, LinkedCopyRewritesRowCountKeepingTheComment)
{
    // Inputs of four one-column rows (1 to 4) with a free-format NAXIS2 card
    // and, in one of them, a primary data array of one block before the table.
    auto input = [](bool image) {
        auto prim = primary_cards();
        if (image) {
            prim[2] = int_card("NAXIS", 1);
            prim.push_back(int_card("NAXIS1", 2880));
        }
        auto ext = table_cards(4, {{"V", "J"}});
        ext[4] = card("NAXIS2  = 4 / rows in the table");
        std::string head = header_blocks(prim) + (image ? std::string(kBlock, 'p') : "") + header_blocks(ext);
        return std::make_pair(head, head + data_blocks(be32(1) + be32(2) + be32(3) + be32(4)));
    };
    struct Case { bool image; int copies; std::string naxis2; };
    const Case cases[] = {
        {false, 2, "NAXIS2  = 2 / rows in the table"},
        {true, 3, "NAXIS2  = 3 / rows in the table"},
        {false, 12, "NAXIS2  = 12 / rows in the table"},  // the comment moves right
        {false, 4, "NAXIS2  = 4 / rows in the table"},
    };
    for (const Case &c : cases) {
        const auto [head, file] = input(c.image);
        write_file(dir / "in.fits", file);
        int nparms = 0;
        topenr(kIn, (dir / "in.fits").c_str(), &nparms);
        topenw(kOut, (dir / "copy.fits").c_str());
        tfiltyp(kOut, 1);
        tlink(kIn, kOut);
        ASSERT_EQ(itstat(), 0) << t_error();
        for (int i = 0; i < c.copies; ++i) {
            tseek(kIn, i % 4 + 1);
            tblread(kIn);
            tblwrit(kOut);
        }
        tcls(kIn);
        tcls(kOut);
        const std::string copy = read_file(dir / "copy.fits");
        const std::size_t naxis2 = head.find("NAXIS2  =");
        EXPECT_EQ(copy.substr(0, naxis2), head.substr(0, naxis2)) << c.copies;
        EXPECT_EQ(copy.substr(naxis2, kCard), card(c.naxis2));
        EXPECT_EQ(copy.substr(naxis2 + kCard, head.size() - naxis2 - kCard), head.substr(naxis2 + kCard));
        EXPECT_EQ(copy.substr(head.size(), 4), be32(1));
    }

    // An input whose opening found no table extension cannot be linked.
    write_file(dir / "in.fits", header_blocks(primary_cards()) + std::string(kBlock, 'j') + input(false).second);
    int nparms = 0;
    topenr(kIn, (dir / "in.fits").c_str(), &nparms);
    topenw(kOut, (dir / "copy.fits").c_str());
    tfiltyp(kOut, 1);
    tlink(kIn, kOut);
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tlink:  input has no table extension");
}

TEST_F(OutputTest, LinkedCopyOfAllRowsKeepsTheHeaderUnchanged)
{
    const std::string in = fixture("table/rows.fits");
    const std::string out = dir / "copy.fits";
    int nparms = 0;
    topenr(kIn, in.c_str(), &nparms);
    topenw(kOut, out.c_str());
    tfiltyp(kOut, 1);
    tlink(kIn, kOut);
    while (tblread(kIn), itstat() == 0) tblwrit(kOut);
    tcls(kOut);
    EXPECT_EQ(read_file(out), read_file(in));
}

TEST(TableFixture, ReadsATableWrittenByAnotherWriter)
{
    int nparms = 0;
    topenr(9, fixture("table/rows.fits").c_str(), &nparms);
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(nparms, 7);
    double exptime = 0;
    t_rkey_d(9, &exptime, "EXPTIME");
    EXPECT_EQ(exptime, 1500.0);
    int flux = 0, name = 0, wave = 0;
    tindp(9, "FLUX", &flux);
    tindp(9, "NAME", &name);
    tindp(9, "WAVE", &wave);
    const int ids[] = {93, 193, 293, 393, 493};
    const int shorts[] = {-2, 300, -32768, 32767, 0};
    const int bytes[] = {255, 0, 1, 128, 7};
    const double waves[] = {0.1, 1e300, -2.5, 3.25, 1e-5};
    const char *names[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
    for (int r = 0; r < 5; ++r) {
        ASSERT_EQ(tblread(9), r + 1);
        int v = 0;
        tgeti(9, 1, &v);
        EXPECT_EQ(v, ids[r]);
        tgeti(9, 2, &v);
        EXPECT_EQ(v, shorts[r]);
        tgeti(9, 4, &v);  // behind the logical column
        EXPECT_EQ(v, bytes[r]);
        float f[3] = {};
        tgetr(9, flux, f);
        for (int e = 0; e < 3; ++e) EXPECT_EQ(f[e], static_cast<float>(0.1 * r + e));
        double d = 0;
        tgetd(9, wave, &d);
        EXPECT_EQ(d, waves[r]);
        char text[9] = {};
        tgetc(9, name, text);
        EXPECT_EQ(std::string(text).substr(0, std::strlen(names[r])), names[r]);
    }
    char unit[96] = {};
    tpinfo(9, flux, nullptr, nullptr, nullptr, unit, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(unit, "Jy      ");  // as padded in the file
    tcls(9);
}
