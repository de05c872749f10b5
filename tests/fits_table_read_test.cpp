// Table library, reading side: opening FITS binary tables and QELT ASCII
// tables, headers, rows, field fetches with byte-order conversion, keyword
// reads, and the failure statuses and messages of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fits_table.h"
#include "fits_table_fits_builder.h"
#include "test_util.h"

using namespace fitsb;

// A few texts below start as std::string("X") + ... rather than "X" + ...:
// at -O3 GCC 12 inlines the literal-plus-temporary operator+ into a memcpy
// it wrongly reports as overlapping (-Wrestrict, GCC bug 105651).

namespace {

constexpr int kUnit = 9;

struct TableTest : ::testing::Test {
    ScratchDir dir;
    int nparms = -7;

    // Writes content to a file and opens it as kUnit.
    void open(const std::string &content, const std::string &name = "t.fits")
    {
        write_file(dir / name, content);
        nparms = -7;
        topenr(kUnit, (dir / name).c_str(), &nparms);
    }
    void TearDown() override
    {
        tcls(kUnit);
        tcls(2);
    }
};

// Columns of every supported type, two rows.
std::string typed_table()
{
    std::string row1 = be32(7) + be32(-8) + be32(9) + be16(-2) + "\xFF" + bef(0.1f) + bed(0.1) + "ABCD";
    std::string row2 = be32(1) + be32(2) + be32(3) + be16(300) + "\x01" + bef(-2.5f) + bed(1e300) + "wxyz";
    return table_file(2, {{"NUMS", "3J"}, {"SHORT", "1I"}, {"BYTE", "B"}, {"FLT", "E"}, {"DBL", "1D"}, {"NAME", "4A"}},
                      row1 + row2);
}

}  // namespace

TEST_F(TableTest, OpensBinaryTableAndReadsRowsWithByteOrder)
{
    open(typed_table());
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(nparms, 6);
    EXPECT_EQ(tgettyp(kUnit), 1);
    EXPECT_EQ(tgetrowcount(kUnit), 2);

    EXPECT_EQ(tblread(kUnit), 1);
    EXPECT_EQ(itstat(), 0);
    int ints[3] = {};
    tgeti(kUnit, 1, ints);
    EXPECT_EQ(ints[0], 7);
    EXPECT_EQ(ints[1], -8);
    EXPECT_EQ(ints[2], 9);
    int v = 0;
    tgeti(kUnit, 2, &v);
    EXPECT_EQ(v, -2);  // FF FE, sign-extended
    tgeti(kUnit, 3, &v);
    EXPECT_EQ(v, 255);  // unsigned byte
    double d = 0;
    tgetd(kUnit, 4, &d);
    EXPECT_EQ(d, static_cast<double>(0.1f));  // the float widened, not 0.1
    float f = 0;
    tgetr(kUnit, 5, &f);
    EXPECT_EQ(f, 0.1f);
    char text[8];
    tgetc(kUnit, 6, text);
    EXPECT_STREQ(text, "ABCD");

    EXPECT_EQ(tblread(kUnit), 2);
    tgeti(kUnit, 2, &v);
    EXPECT_EQ(v, 300);
    tgetr(kUnit, 4, &f);
    EXPECT_EQ(f, -2.5f);
    tgetd(kUnit, 5, &d);
    EXPECT_EQ(d, 1e300);
    tgetr(kUnit, 5, &f);
    EXPECT_TRUE(std::isinf(f));

    // All rows read: -1 without reading, the result stays the last row.
    EXPECT_EQ(tblread(kUnit), 2);
    EXPECT_EQ(itstat(), -1);
}

TEST_F(TableTest, FieldLayoutFromTform)
{
    // Type letters in both cases; logical, bit, complex, 64-bit and descriptor columns take their true widths.
    open(table_file(0,
                    {{"A", "1J"}, {"B", "J"}, {"C", "j"}, {"D", "16E"}, {"E", "12A"}, {"F", "2L"}, {"G", "11X"},
                     {"H", "C"}, {"I", "m"}, {"J", "K"}, {"K", "P"}, {"L", "Q"}, {"M", "0D"}, {"N", "2b"}},
                    ""));
    ASSERT_EQ(itstat(), 0);
    struct Want { char type; int start, width, count; };
    const Want want[] = {{'J', 0, 4, 1},   {'J', 4, 4, 1},   {'J', 8, 4, 1},    {'E', 12, 64, 16}, {'A', 76, 12, 12},
                         {'L', 88, 2, 2},  {'X', 90, 2, 11}, {'C', 92, 8, 1},   {'m', 100, 16, 1}, {'K', 116, 8, 1},
                         {'P', 124, 8, 1}, {'Q', 132, 16, 1}, {'D', 148, 0, 0}, {'B', 148, 2, 2}};
    for (int i = 1; i <= 14; ++i) {
        char name[16] = {}, unit[96] = {}, type = 0;
        int col = -1, len = -1, count = -1;
        tpinfo(kUnit, i, name, &type, nullptr, unit, nullptr, nullptr, &col, &len, &count);
        ASSERT_EQ(itstat(), 0);
        const Want &w = want[i - 1];
        EXPECT_EQ(type, w.type) << i;
        EXPECT_EQ(col, w.start) << i;
        EXPECT_EQ(len, w.width) << i;
        EXPECT_EQ(count, w.count) << i;
    }
}

TEST_F(TableTest, OtherColumnTypesFailEveryFetchButKeepLaterColumnsInPlace)
{
    std::string row = std::string("\x01", 1) + std::string(8, 'c') + be32(42);
    open(table_file(1, {{"FLAG", "L"}, {"CPLX", "C"}, {"VAL", "J"}}, row));
    ASSERT_EQ(itstat(), 0);
    tblread(kUnit);
    int v = 0;
    tgeti(kUnit, 3, &v);
    EXPECT_EQ(v, 42);
    for (int field : {1, 2}) {
        int i = -1;
        float f = -1;
        double d = -1;
        char c[16] = "keep";
        testing::internal::CaptureStderr();
        tgeti(kUnit, field, &i);
        EXPECT_EQ(itstat(), 1);
        EXPECT_STREQ(t_error(), "error in tgeti:  datum is not integer");
        tgetr(kUnit, field, &f);
        EXPECT_STREQ(t_error(), "error in tgetr:  datum is not floating point");
        tgetd(kUnit, field, &d);
        EXPECT_STREQ(t_error(), "error in tgetd:  datum is not floating point");
        tgetc(kUnit, field, c);
        EXPECT_STREQ(t_error(), "error in tgetc:  datum is not string");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "tablefile error in tgeti:  datum is not integer\n"
                  "tablefile error in tgetr:  datum is not floating point\n"
                  "tablefile error in tgetd:  datum is not floating point\n"
                  "tablefile error in tgetc:  datum is not string\n");
        EXPECT_EQ(i, -1);
        EXPECT_EQ(f, -1);
        EXPECT_EQ(d, -1);
        EXPECT_STREQ(c, "keep");
    }
}

TEST_F(TableTest, FieldIndexAndUnitErrorsLeaveDestinationsUntouched)
{
    open(typed_table());
    tblread(kUnit);
    float f = 9;
    for (int index : {0, -1, 7}) {
        tgetr(kUnit, index, &f);
        EXPECT_EQ(itstat(), 1);
        EXPECT_STREQ(t_error(), "field index out of range");
    }
    tpinfo(kUnit, 7, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(t_error(), "field index out of range");
    EXPECT_EQ(f, 9);

    int idx = 5;
    const struct { void (*call)(); const char *msg; } calls[] = {
        {[] { int i; tgeti(44, 1, &i); }, "error in tgeti:  unit not open"},
        {[] { float x; tgetr(44, 1, &x); }, "error in tgetr:  unit not open"},
        {[] { double x; tgetd(44, 1, &x); }, "error in tgetd:  unit not open"},
        {[] { char x[4]; tgetc(44, 1, x); }, "error in tgetc:  unit not open"},
        {[] { tblread(44); }, "error in tblread:  unit not open"},
        {[] { tseek(44, 1); }, "error in tseek:  unit not open"},
        {[] { tcls(44); }, "error in tcls:  unit not open"},
        {[] { tgettyp(44); }, "error in tgettyp:  unit not open"},
        {[] { tgetrowcount(44); }, "error in tgetrowcount:  unit not open"},
        {[] { tfiltyp(44, 1); }, "error in tfiltyp:  unit not open"},
        {[] { tpinfo(44, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); },
         "error in tpinfo:  unit not open"},
        {[] { const char *a; int b; tget_primary(44, &a, &b); }, "error in tget_primary:  unit not open"},
        {[] { const char *a; int b; tget_extension(44, &a, &b); }, "error in tget_extension:  unit not open"},
        {[] { char c[80]; t_rkey_c(44, c, "A"); }, "error in t_rkey_c:  unit not open"},
        {[] { int i; t_rkey_i(44, &i, "A"); }, "error in t_rkey_i:  unit not open"},
        {[] { double d; t_rkey_d(44, &d, "A"); }, "error in t_rkey_d:  unit not open"},
        {[] { float r; t_rkey_r(44, &r, "A"); }, "error in t_rkey_r:  unit not open"},
    };
    for (auto &c : calls) {
        c.call();
        EXPECT_EQ(itstat(), 1) << c.msg;
        EXPECT_STREQ(t_error(), c.msg);
    }
    tindp(44, "NUMS", &idx);
    EXPECT_STREQ(t_error(), "error in tindp:  unit not open");
    EXPECT_EQ(idx, 5);
    EXPECT_EQ(tgettyp(44), -1);
}

TEST_F(TableTest, TindpMatchesNamePrefixCaseSensitively)
{
    open(table_file(0, {{"PCAESRCE", "J"}, {"PCAESRCU", "J"}, {"PAD     ", "J"}}, ""));
    int idx = -1;
    for (const char *name : {"PCAESRCE", "PCAESRC"}) {
        tindp(kUnit, name, &idx);
        EXPECT_EQ(itstat(), 0);
        EXPECT_EQ(idx, 1) << name;
    }
    tindp(kUnit, "PCAESRCU", &idx);
    EXPECT_EQ(idx, 2);
    tindp(kUnit, "PAD ", &idx);  // names keep the blanks they were padded with
    EXPECT_EQ(idx, 3);
    tindp(kUnit, "pcaesrce", &idx);
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tindp:  field not found");
    EXPECT_EQ(idx, 0);
}

TEST_F(TableTest, TseekPositionsRows)
{
    std::string rows;
    for (int i = 1; i <= 4; ++i) rows += be32(i * 10);
    open(table_file(4, {{"V", "J"}}, rows));
    int v = 0;
    tseek(kUnit, 3);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(tblread(kUnit), 3);
    tgeti(kUnit, 1, &v);
    EXPECT_EQ(v, 30);
    tseek(kUnit, 1);
    EXPECT_EQ(tblread(kUnit), 1);
    tgeti(kUnit, 1, &v);
    EXPECT_EQ(v, 10);
    tseek(kUnit, 5);  // beyond the table: not moved
    EXPECT_EQ(itstat(), -1);
    EXPECT_EQ(tblread(kUnit), 4);
    EXPECT_EQ(itstat(), -1);
    tseek(kUnit, 0);
    EXPECT_EQ(itstat(), 1);
    EXPECT_STREQ(t_error(), "error in tseek:  negative record number");
}

TEST_F(TableTest, TruncatedDataEndsRowsWithNoData)
{
    std::string file = table_file(3, {{"V", "1D"}}, bed(1) + bed(2) + bed(3));
    // Cut inside the second row: the first reads, the second is short.
    open(file.substr(0, 2 * kBlock + 12));
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(tblread(kUnit), 1);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(tblread(kUnit), 1);
    EXPECT_EQ(itstat(), -1);
}

TEST_F(TableTest, HeadersEndWithTheirEndCards)
{
    // A primary header of two blocks and an extension header of two blocks.
    auto prim = primary_cards();
    for (int i = 0; i < 40; ++i) prim.push_back(int_card("KEY" + std::to_string(i), i));
    auto ext = table_cards(1, {{"V", "J"}});
    for (int i = 0; i < 30; ++i) ext.push_back(int_card(std::string("X") + std::to_string(i), i));
    ext.push_back(text_card("TUNIT1", "Jy"));
    open(header_blocks(prim) + header_blocks(ext) + data_blocks(be32(5)));
    ASSERT_EQ(itstat(), 0);
    const char *adr = nullptr;
    int bytes = 0;
    tget_primary(kUnit, &adr, &bytes);
    EXPECT_EQ(bytes, 45 * 80);
    EXPECT_EQ(std::string(adr + bytes - 80, 3), "END");
    tget_extension(kUnit, &adr, &bytes);
    EXPECT_EQ(bytes, (static_cast<int>(ext.size()) + 1) * 80);
    EXPECT_EQ(std::string(adr + bytes - 80, 3), "END");
    char unit[96] = {};
    tpinfo(kUnit, 1, nullptr, nullptr, nullptr, unit, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(unit, "Jy");  // a card of the second block was examined
    EXPECT_EQ(tblread(kUnit), 1);
    int v = 0;
    tgeti(kUnit, 1, &v);
    EXPECT_EQ(v, 5);
}

TEST_F(TableTest, PrimaryHeaderAloneOpensWithoutFields)
{
    auto prim = primary_cards();
    prim[2] = int_card("NAXIS", 2);
    // An image whose data blocks follow the header.
    open(header_blocks(prim) + std::string(2 * kBlock, 'x'));
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(nparms, -7);  // not written
    EXPECT_EQ(tgettyp(kUnit), 1);
    const char *adr = "x";
    int bytes = -1;
    tget_extension(kUnit, &adr, &bytes);
    EXPECT_EQ(adr, nullptr);
    EXPECT_EQ(bytes, 0);
    tget_primary(kUnit, &adr, &bytes);
    EXPECT_EQ(bytes, 5 * 80);
    EXPECT_EQ(tblread(kUnit), 0);
    EXPECT_EQ(itstat(), -1);
}

TEST_F(TableTest, ExtensionIsLookedForWherePrimaryDataEnd)
{
    // Primary cards declaring BITPIX 16 and the given axes.
    auto image = [](std::vector<std::string> axes) {
        auto p = primary_cards();
        p[1] = int_card("BITPIX", 16);
        p[2] = int_card("NAXIS", static_cast<long long>(axes.size()));
        for (std::size_t i = 0; i < axes.size(); ++i)
            p.push_back(card("NAXIS" + std::to_string(i + 1) + "  = " + axes[i]));
        return header_blocks(p);
    };
    const std::string table = header_blocks(table_cards(1, {{"V", "J"}})) + data_blocks(be32(77));
    // 100 x 20 16-bit pixels: 4000 bytes in two blocks, the first of which
    // happens to begin like an extension header.
    const std::string pixels = data_blocks("XTENSION= 'BINTABLE'" + std::string(3980, '\x11'));
    const std::string junk(kBlock, '\xAB');
    struct Case { std::string name, content; bool table; };
    const Case cases[] = {
        {"primary data array before the table", image({"100", "20"}) + pixels + table, true},
        {"no primary data", header_blocks(primary_cards()) + table, true},
        {"negative axis: no data", image({"-100", "20"}) + table, true},
        {"missing axis: no data", image({"100", "20"}).replace(5 * kCard, 8, "NAXIS7  ") + table, true},
        {"junk block after the primary header", header_blocks(primary_cards()) + junk + table, false},
        {"garbage after the primary header", header_blocks(primary_cards()) + std::string(40 * kBlock, 'g'), false},
        {"data running past the end of the file", image({"100", "20"}) + pixels.substr(0, kBlock), false},
        {"data size beyond 64 bits", image({"2147483647", "2147483647", "2147483647"}) + table, false},
    };
    for (const Case &c : cases) {
        open(c.content);
        ASSERT_EQ(itstat(), 0) << c.name;
        const char *adr = nullptr;
        int bytes = -1;
        tget_extension(kUnit, &adr, &bytes);
        EXPECT_EQ(bytes > 0, c.table) << c.name;
        EXPECT_EQ(nparms, c.table ? 1 : -7) << c.name;
        int v = 0;
        if (c.table) {
            EXPECT_EQ(tblread(kUnit), 1) << c.name;
            tgeti(kUnit, 1, &v);
        }
        EXPECT_EQ(v, c.table ? 77 : 0) << c.name;
        tcls(kUnit);
    }
}

TEST_F(TableTest, KeywordReads)
{
    auto prim = primary_cards();
    prim.push_back(text_card("DATE-OBS", "1996-11-01"));
    prim.push_back(text_card("DATE", "1997-03-14"));
    prim.push_back(text_card("OBSERVER", "AB      "));
    prim.push_back(card("EXPO    =              1.5D+03 / seconds"));
    prim.push_back(card("BIGINT  =          99999999999"));
    prim.push_back(card("NEGBIG  =         -99999999999"));
    prim.push_back(card("WORD    = 'unterminated"));
    prim.push_back(card("NOEQ      'quoted' 12"));
    prim.push_back(card("TEXT    = 'abc'"));
    prim.push_back(card("OBSNAME = 'O''BRIEN '         / doubled quote"));
    prim.push_back(card("EMPTY   = ''"));
    auto ext = table_cards(0, {{"V", "J"}});
    ext.push_back(int_card("EXTONLY", 3));
    open(header_blocks(prim) + header_blocks(ext));
    ASSERT_EQ(itstat(), 0);

    char c[80] = "preset";
    t_rkey_c(kUnit, c, "DATE");  // a prefix finds DATE-OBS first
    EXPECT_STREQ(c, "1996-11-01");
    t_rkey_c(kUnit, c, "DATE    ");
    EXPECT_STREQ(c, "1997-03-14");
    t_rkey_c(kUnit, c, "OBSERVER");
    EXPECT_STREQ(c, "AB      ");
    EXPECT_EQ(itstat(), 0);
    // FITS strings: '' is one quote; without its closing quote a string
    // runs to the end of the card.
    const std::pair<const char *, std::string> strings[] = {
        {"OBSNAME", "O'BRIEN "}, {"EMPTY", ""}, {"WORD", "unterminated" + std::string(57, ' ')}};
    for (const auto &[key, text] : strings) {
        t_rkey_c(kUnit, c, key);
        EXPECT_EQ(itstat(), 0) << key;
        EXPECT_EQ(std::string(c), text) << key;
    }

    double d = 0;
    t_rkey_d(kUnit, &d, "EXPO");
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(d, 1.5);
    float r = 0;
    t_rkey_r(kUnit, &r, "EXPO");
    EXPECT_EQ(r, 1.5f);
    int i = 0;
    t_rkey_i(kUnit, &i, "BIGINT");
    EXPECT_EQ(i, 2147483647);  // clamped, never wrapped
    t_rkey_i(kUnit, &i, "NEGBIG");
    EXPECT_EQ(i, -2147483647 - 1);
    t_rkey_i(kUnit, &i, "EXPO");
    EXPECT_EQ(i, 1);

    struct Failure { void (*call)(char *); const char *msg; };
    const Failure failures[] = {
        {[](char *b) { t_rkey_c(kUnit, b, "BIGINT"); }, "error in t_rkey_c:  no string value"},
        {[](char *b) { t_rkey_c(kUnit, b, "NOEQ"); }, "error in t_rkey_c:  no string value"},
        {[](char *b) { t_rkey_c(kUnit, b, "EXTONLY"); }, "error in t_rkey_c:  keyword not found"},
        {[](char *b) { t_rkey_c(kUnit, b, "NOPE"); }, "error in t_rkey_c:  keyword not found"},
    };
    for (auto &fcase : failures) {
        std::strcpy(c, "preset");
        fcase.call(c);
        EXPECT_EQ(itstat(), 1);
        EXPECT_STREQ(t_error(), fcase.msg);
        EXPECT_STREQ(c, "preset");
    }

    i = 77;
    t_rkey_i(kUnit, &i, "EXTONLY");
    EXPECT_STREQ(t_error(), "error in t_rkey_i:  keyword not found");
    EXPECT_EQ(i, 77);
    t_rkey_i(kUnit, &i, "NOEQ");  // no "=": nothing stored
    EXPECT_STREQ(t_error(), "error in t_rkey_i:  value cannot be converted to integer");
    EXPECT_EQ(i, 77);
    t_rkey_i(kUnit, &i, "TEXT");  // stored in all cases, then reported
    EXPECT_STREQ(t_error(), "error in t_rkey_i:  value cannot be converted to integer");
    EXPECT_EQ(i, 0);
    d = 5;
    t_rkey_d(kUnit, &d, "TEXT");
    EXPECT_STREQ(t_error(), "error in t_rkey_d:  value cannot convert to double");
    t_rkey_r(kUnit, &r, "TEXT");
    EXPECT_STREQ(t_error(), "error in t_rkey_r:  value cannot be converted to real");
    t_rkey_d(kUnit, &d, "NOPE");
    EXPECT_STREQ(t_error(), "error in t_rkey_d:  keyword not found");
    t_rkey_r(kUnit, &r, "NOPE");
    EXPECT_STREQ(t_error(), "error in t_rkey_r:  keyword not found");
}

TEST_F(TableTest, LongNamesAndUnitsAreCutWithAMessage)
{
    auto ext = table_cards(0, {{"TWELVECHARSX", "J"}});
    ext.push_back(text_card("TUNIT1", std::string(85, 'u')).substr(0, 80));
    // A unit of more than 80 characters cannot fit a card; check the cut
    // of a name and that a unit without closing quote is ignored.
    testing::internal::CaptureStderr();
    open(header_blocks(primary_cards()) + header_blocks(ext));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Tablefile internal error - fieldname TWELVECH is longer than 8 characters\n");
    ASSERT_EQ(itstat(), 0);
    char name[16], unit[96] = "unset";
    tpinfo(kUnit, 1, name, nullptr, nullptr, unit, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(name, "TWELVECH");
    EXPECT_STREQ(unit, "");
}

// ------------------------------------------------------------ QELT ASCII

TEST_F(TableTest, AsciiTableWithBarHeader)
{
    open("\\keyword = 1\n|  ra  |  dec |\n|  real| real |\n 12.50  -3.25 \n 1      2     \n", "t.tbl");
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(nparms, 2);
    EXPECT_EQ(tgettyp(kUnit), 0);
    int idx = 0;
    tindp(kUnit, "dec", &idx);
    EXPECT_EQ(idx, 2);
    char name[16], type = 0;
    int col, len, count;
    tpinfo(kUnit, 2, name, &type, nullptr, nullptr, nullptr, nullptr, &col, &len, &count);
    EXPECT_STREQ(name, "dec");
    EXPECT_EQ(type, 'A');
    EXPECT_EQ(col, 7);
    EXPECT_EQ(len, 7);
    EXPECT_EQ(tblread(kUnit), 4);  // line number within the file
    char text[16];
    tgetc(kUnit, 1, text);
    EXPECT_STREQ(text, " 12.50 ");
    tgetc(kUnit, 2, text);
    EXPECT_STREQ(text, " -3.25 ");
    EXPECT_EQ(tblread(kUnit), 5);
    EXPECT_EQ(tblread(kUnit), 5);
    EXPECT_EQ(itstat(), -1);
    int i = 3;
    testing::internal::CaptureStderr();
    tgeti(kUnit, 1, &i);
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(t_error(), "error in tgeti:  datum is not integer");
    EXPECT_EQ(tgetrowcount(kUnit), 0);
    EXPECT_STREQ(t_error(), "illegal to call tgetrowcount with QELT ASCII file");
    tseek(kUnit, 1);
    EXPECT_STREQ(t_error(), "error in tseek:  illegal to tseek an ascii file");
    const char *adr;
    int bytes;
    tget_primary(kUnit, &adr, &bytes);
    EXPECT_STREQ(t_error(), "illegal to call tget_primary with QELT ASCII file");
    tget_extension(kUnit, &adr, &bytes);
    EXPECT_STREQ(t_error(), "illegal to call tget_extension with QELT ASCII file");
    char c[80];
    t_rkey_c(kUnit, c, "keyword");
    EXPECT_STREQ(t_error(), "error in t_rkey_c:  keyword not found");
}

TEST_F(TableTest, AsciiTableSplitAtBlanks)
{
    struct Case { const char *first; int fields; int widths[3]; };
    const Case cases[] = {
        {"  12  34 56\n", 3, {4, 4, 3}},
        {"| 1 2\n", 3, {1, 2, 2}},  // a single bar is data
        {"word\n", 1, {4}},
        {"a   \n", 1, {1}},  // trailing blanks removed
    };
    for (const auto &c : cases) {
        open(std::string(c.first) + "next line\n", "t.tbl");
        ASSERT_EQ(itstat(), 0) << c.first;
        EXPECT_EQ(nparms, c.fields) << c.first;
        int start = 0;
        for (int i = 1; i <= c.fields; ++i) {
            char name[16];
            int col, len;
            tpinfo(kUnit, i, name, nullptr, nullptr, nullptr, nullptr, nullptr, &col, &len, nullptr);
            EXPECT_EQ(name, "field" + std::to_string(i));
            EXPECT_EQ(col, start) << c.first << i;
            EXPECT_EQ(len, c.widths[i - 1]) << c.first << i;
            start += len;
        }
        EXPECT_EQ(tblread(kUnit), 1);  // the first line is read again as data
        char text[16];
        tgetc(kUnit, 1, text);
        EXPECT_EQ(std::string(text), std::string(c.first).substr(0, static_cast<std::size_t>(c.widths[0])));
        tcls(kUnit);
    }
}

TEST_F(TableTest, AsciiOpenFailures)
{
    std::string many;
    for (int i = 0; i < 151; ++i) many += " x";
    std::string manybars(152, '|');
    struct Case { std::string content; int status; const char *msg; };
    const Case cases[] = {
        {"", -1, "untouched"},
        {"\\only keywords\n", -1, "untouched"},
        {std::string(498, 'x') + "\n", 1, "first line of table file longer than 497 characters"},
        {"\\" + std::string(600, 'k') + "\ndata\n", 1, "first line of table file longer than 497 characters"},
        {many + "\n", 1, "problem looking for fields in first line"},
        {manybars + "\n", 1, "problem looking for fields in first line"},
        {"     \n1 2\n", 1, "problem looking for fields in first line"},
        {"\n1 2\n", 1, "problem looking for fields in first line"},
    };
    for (const auto &c : cases) {
        tcls(99);  // leaves "error in tcls:  unit not open" behind
        std::string before = t_error();
        open(c.content, "t.tbl");
        EXPECT_EQ(itstat(), c.status) << c.content.substr(0, 20);
        if (c.status == -1)
            EXPECT_EQ(t_error(), before);
        else
            EXPECT_STREQ(t_error(), c.msg);
        EXPECT_EQ(tgettyp(kUnit), -1);  // file closed: unit not open
    }
    // A line of 497 characters is accepted.
    open(std::string(497, 'x') + "\n", "t.tbl");
    EXPECT_EQ(itstat(), 0);
}

// ------------------------------------------------------- damaged FITS input

TEST_F(TableTest, DamagedFitsHeaders)
{
    const std::string prim = header_blocks(primary_cards());
    const std::string ext = header_blocks(table_cards(2, {{"V", "J"}}));
    auto with = [&](const std::string &c) {
        auto e = table_cards(2, {{"V", "J"}});
        e.push_back(card(c));
        return prim + header_blocks(e);
    };
    auto tfields = [&](const std::string &value) {
        auto e = table_cards(0, {});
        e[7] = card("TFIELDS = " + value);
        return prim + header_blocks(e);
    };
    const std::string big_naxis2 = [&] {
        auto e = table_cards(0, {{"V", "J"}});
        e[4] = card("NAXIS2  = 99999999999999999999");
        return prim + header_blocks(e);
    }();
    const std::string neg_naxis2 = [&] {
        auto e = table_cards(0, {{"V", "J"}});
        e[4] = int_card("NAXIS2", -5);
        return prim + header_blocks(e) + data_blocks(be32(1));
    }();
    // A table of one J column whose NAXIS1 card says value; no card when empty.
    auto naxis1 = [&](const std::string &value) {
        auto e = table_cards(1, {{"V", "J"}});
        if (value.empty())
            e.erase(e.begin() + 3);
        else
            e[3] = card("NAXIS1  = " + value);
        return prim + header_blocks(e) + data_blocks(be32(1));
    };
    const std::string columns_of_4g = [&] {
        std::vector<std::pair<std::string, std::string>> cols(64, {"W", "67108864A"});
        auto e = table_cards(0, cols);
        e[3] = int_card("NAXIS1", 4);
        return prim + header_blocks(e);
    }();
    const char *kTooMany = "Tablefile error - total number of fields is too large (at most 150)";
    const char *kTooWide = "error in topenr:  table row wider than 67108864 bytes";
    struct Case { std::string name, content; int status; std::string msg; };
    const Case cases[] = {
        {"primary without END", header_blocks(primary_cards(), false), -1, "no END keyword in primary FITS header"},
        {"primary without END before XTENSION", header_blocks(primary_cards(), false) + ext, -1,
         "no END keyword in primary FITS header"},
        {"extension without END", prim + header_blocks(table_cards(0, {{"V", "J"}}), false), -1, ""},
        {"partial XTENSION block ignored", prim + ext.substr(0, 1000), 0, ""},
        {"extension cut in its second block", [&] {
             auto e = table_cards(0, {{"V", "J"}});
             for (int i = 0; i < 40; ++i) e.push_back(int_card(std::string("X") + std::to_string(i), i));
             return prim + header_blocks(e).substr(0, kBlock + 100);
         }(), -1, ""},
        {"garbage after SIMPLE", "SIMPLE" + std::string(5000, '\xAB'), -1, "no END keyword in primary FITS header"},
        {"only SIMPLE", "SIMPLE", -1, "no END keyword in primary FITS header"},
        {"TFIELDS 151", tfields("151"), 1, kTooMany},
        {"TFIELDS huge", tfields("99999999999999999999"), 1, kTooMany},
        {"TFIELDS 150", tfields("150"), 0, ""},
        {"TFIELDS negative", tfields("-4"), 0, ""},
        {"huge repeat", with("TFORM2  = '99999999999999999999999D'"), 1, kTooWide},
        {"wide repeat", with("TFORM2  = '67108865A'"), 1, kTooWide},
        {"wide row", [&] {
             auto e = table_cards(0, {{"A", "40000000A"}, {"B", "40000000A"}});
             return prim + header_blocks(e);
         }(), 1, kTooWide},
        {"bits at the bound", with("TFORM2  = '536870912X'"), 0, ""},
        {"TTYPE0", with("TTYPE0  = 'ZERO'"), 0, ""},
        {"NAXIS1 larger than the columns", naxis1("8"), 1,
         "error in topenr:  NAXIS1 = 8, but the columns are 4 bytes wide"},
        {"NAXIS1 smaller than the columns", naxis1("3"), 1,
         "error in topenr:  NAXIS1 = 3, but the columns are 4 bytes wide"},
        {"NAXIS1 beyond int", naxis1("99999999999"), 1,
         "error in topenr:  NAXIS1 = 2147483647, but the columns are 4 bytes wide"},
        {"columns of 4 GiB", columns_of_4g, 1,
         "error in topenr:  NAXIS1 = 4, but the columns are 4294967296 bytes wide"},
        {"NAXIS1 equal in free format", naxis1("4 / bytes per row"), 0, ""},
        {"no NAXIS1 card", naxis1(""), 0, ""},
        {"NAXIS2 huge", big_naxis2, 0, ""},
        {"NAXIS2 negative", neg_naxis2, 0, ""},
    };
    for (const auto &c : cases) {
        tcls(99);
        std::string before = t_error();
        testing::internal::CaptureStderr();
        open(c.content);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(itstat(), c.status) << c.name;
        if (!c.msg.empty()) {
            EXPECT_EQ(t_error(), c.msg) << c.name;
        } else if (c.status == -1) {
            EXPECT_EQ(t_error(), before) << c.name;
        }
        if (c.status != 0) {
            // Nothing can be fetched from a table that did not open.
            int v = 5;
            tgeti(kUnit, 1, &v);
            EXPECT_EQ(v, 5) << c.name;
            tblread(kUnit);
            EXPECT_NE(itstat(), 0) << c.name;
        }
        tcls(kUnit);
    }
}

TEST_F(TableTest, OutOfRangeFieldNumbersAndMalformedCardsAreIgnored)
{
    auto e = table_cards(1, {{"V", "J"}});
    for (const char *c : {"TTYPE0  = 'ZERO'", "TTYPE999= 'BIG'", "TFORM151= '1000D'", "TFORM0  = '8D'",
                          "TTYPE1    'NOEQUALS'", "TUNIT1  = 'open quote", "TFORM   = 'D'", "TTYPE1  = '"}) {
        e.push_back(card(c));
    }
    open(header_blocks(primary_cards()) + header_blocks(e) + data_blocks(be32(12)));
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(nparms, 1);
    char name[16], unit[96] = "x";
    int len = 0;
    tpinfo(kUnit, 1, name, nullptr, nullptr, unit, nullptr, nullptr, nullptr, &len, nullptr);
    // "TTYPE1    'NOEQUALS'" has a quoted text from column 10 on: it is the
    // name, as a later TTYPE1 card replaces an earlier one.
    EXPECT_STREQ(name, "NOEQUALS");
    EXPECT_STREQ(unit, "");
    EXPECT_EQ(len, 4);
    tblread(kUnit);
    int v = 0;
    tgeti(kUnit, 1, &v);
    EXPECT_EQ(v, 12);
}

TEST_F(TableTest, ReopeningAnOpenUnitReleasesIt)
{
    open(typed_table());
    ASSERT_EQ(itstat(), 0);
    tblread(kUnit);
    write_file(dir / "two.fits", table_file(1, {{"X", "J"}}, be32(99)));
    topenr(kUnit, (dir / "two.fits").c_str(), &nparms);
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(nparms, 1);
    EXPECT_EQ(tblread(kUnit), 1);
    int v = 0;
    tgeti(kUnit, 1, &v);
    EXPECT_EQ(v, 99);
}

TEST_F(TableTest, MissingFileAndTwoUnitsOnOneFile)
{
    topenr(kUnit, (dir / "absent.fits").c_str(), &nparms);
    EXPECT_EQ(itstat(), -1);
    EXPECT_STREQ(t_error(), "No such file or directory");
    EXPECT_EQ(tgettyp(kUnit), -1);

    // The banner reads the same file as a second unit while the first is open.
    open(typed_table());
    topenr(2, (dir / "t.fits").c_str(), &nparms);
    ASSERT_EQ(itstat(), 0);
    EXPECT_EQ(tblread(2), 1);
    tcls(2);
    EXPECT_EQ(itstat(), 0);
    EXPECT_EQ(tblread(kUnit), 1);
    char text[8];
    tgetc(kUnit, 6, text);
    EXPECT_STREQ(text, "ABCD");
}

TEST_F(TableTest, LongAsciiDataLinesAreReadInPieces)
{
    open("a b\n" + std::string(700, 'x') + "\nc d\n", "t.tbl");
    ASSERT_EQ(itstat(), 0);
    char text[8];
    EXPECT_EQ(tblread(kUnit), 1);
    EXPECT_EQ(tblread(kUnit), 2);  // the first 499 characters
    tgetc(kUnit, 2, text);
    EXPECT_STREQ(text, "xx");
    EXPECT_EQ(tblread(kUnit), 3);  // the rest of the long line
    EXPECT_EQ(tblread(kUnit), 4);
    tgetc(kUnit, 1, text);
    EXPECT_STREQ(text, "c");
}

// Damaged copies of a real table: flipped header and data bytes, cuts at
// any length. Whatever the open reports, no call may crash or step out of
// bounds (the sanitizer build checks the latter).
TEST_F(TableTest, DamagedTablesNeverBreakTheReader)
{
    const std::string original = read_file(fixture("table/rows.fits"));
    std::mt19937 rng(20261207);
    const char *keys[] = {"EXPTIME", "FILENAME", "NAXIS", "END", "SIMPLE"};
    for (int round = 0; round < 250; ++round) {
        std::string bytes = original;
        const int flips = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < flips; ++k) {
            // Mostly the value columns of header cards, where counts live.
            std::size_t pos = rng() % 4 ? (rng() % 72) * kCard + 10 + rng() % 25 : rng() % bytes.size();
            const char pool[] = "0123456789-+ '=XAJDEIBLPQ|\\\n\xFF";
            bytes[pos] = pool[rng() % (sizeof pool - 1)];
        }
        if (round % 5 == 0) bytes.resize(rng() % bytes.size());
        if (round % 7 == 0) bytes = bytes.substr(rng() % 200);  // not FITS any more: read as text
        testing::internal::CaptureStderr();
        open(bytes);
        if (itstat() == 0) {
            int n = std::max(nparms, 0);
            for (int row = 0; row < 8 && tblread(kUnit) > 0 && itstat() == 0; ++row) {
                for (int i = 1; i <= n; ++i) {
                    int len = 0, count = 0;
                    tpinfo(kUnit, i, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &len, &count);
                    if (count > 100000 || len > 100000) continue;
                    std::vector<double> d(static_cast<std::size_t>(count) + 1);
                    std::vector<float> f(d.size());
                    std::vector<int> v(d.size());
                    std::vector<char> c(static_cast<std::size_t>(len) + 1);
                    tgeti(kUnit, i, v.data());
                    tgetr(kUnit, i, f.data());
                    tgetd(kUnit, i, d.data());
                    tgetc(kUnit, i, c.data());
                }
            }
            char text[80];
            double x;
            for (const char *k : keys) {
                t_rkey_c(kUnit, text, k);
                t_rkey_d(kUnit, &x, k);
            }
        }
        testing::internal::GetCapturedStderr();
        tcls(kUnit);
    }
}
