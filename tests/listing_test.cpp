// Pieces the listings are made of: line formatting, card splitting and
// values, the card store and its index, numbered keyword texts, the record
// limit.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "card_store.h"
#include "product.h"
#include "text_format.h"

namespace {

std::string card(const char *text)
{
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

std::string header(std::initializer_list<const char *> cards)
{
    std::string text;
    for (const char *c : cards) text += card(c);
    return text;
}

}  // namespace

TEST(ListingFormat, LinesAreNeverCut)
{
    const std::string long_value(700, 'x');
    std::string line = text_format("%.47s: %s (%s)\n", std::string(60, 'c').c_str(),
                                 long_value.c_str(), "KEY     ");
    EXPECT_EQ(line, std::string(47, 'c') + ": " + long_value + " (KEY     )\n");
    EXPECT_EQ(text_format("%8.4f|%g", 123.456, 100000.0), "123.4560|100000");
    EXPECT_EQ(text_format("%s", ""), "");
}

TEST(ListingCards, SplitAndValues)
{
    CardParts p = split_card(card("NAXIS2  =                   12 / number of rows"));
    EXPECT_EQ(p.keyword, "NAXIS2  ");
    EXPECT_EQ(p.comment, " number of rows" + std::string(33, ' '));
    EXPECT_EQ(value_int(p.value), 12);
    EXPECT_EQ(cleaned("'PCAENBCK'  "), "(PCAENBCK)");
}

TEST(ListingCards, CountsConvertLikeAtoiButClamp)
{
    EXPECT_EQ(value_int("                  12"), 12);
    EXPECT_EQ(value_int("   -7 rows"), -7);
    EXPECT_EQ(value_int("'abc'"), 0);
    EXPECT_EQ(value_int("         99999999999"), INT_MAX);
    EXPECT_EQ(value_int("        -99999999999"), INT_MIN);
    EXPECT_EQ(value_count("   -7"), 0);
    EXPECT_EQ(value_count("                  12"), 12);
    EXPECT_DOUBLE_EQ(value_double("   83.8221 "), 83.8221);
    EXPECT_DOUBLE_EQ(value_double(" 1.5D+03"), 1.5);
    EXPECT_DOUBLE_EQ(value_double("'x'"), 0.0);
}

TEST(ListingCards, StoreIndexFindsByKeywordBeginning)
{
    // Each header through its END card (END and five blanks); what follows
    // is not stored.
    const CardStore store(header({"SIMPLE  =                    T", "NAXIS2  =                    7",
                                  "ENDDATE = '1996-05-03'", "FILTER2 = 'C100'", "FILTER1 = 'C200'",
                                  "END", "AFTER   = 1"}),
                          header({"XTENSION= 'BINTABLE'", "NAXIS2  =                    3",
                                  "NAXIS21 =                    9", "FILTER10= 'C100'", "END"}));
    ASSERT_EQ(store.size(), 11u);
    EXPECT_EQ(store.primary_size(), 6u);
    EXPECT_EQ(store[6].substr(0, 8), "XTENSION");
    struct Case {
        const char *text;
        std::vector<std::size_t> all;
    };
    const Case cases[] = {
        {"NAXIS2", {1, 7, 8}},      {"NAXIS2  ", {1, 7}}, {"FILTER", {3, 4, 9}}, {"FILTER1", {4, 9}},
        {"FILTER1 ", {4}},          {"END", {2, 5, 10}},  {"END     ", {5, 10}}, {"NOSUCH", {}},
        {"XTENSION= 'BIN", {6}},    {"AFTER", {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(store.all(c.text), c.all) << c.text;
        EXPECT_EQ(store.count(c.text), c.all.size()) << c.text;
        EXPECT_EQ(store.first(c.text), c.all.empty() ? std::nullopt : std::optional(c.all.front())) << c.text;
        EXPECT_EQ(store.last(c.text), c.all.empty() ? std::nullopt : std::optional(c.all.back())) << c.text;
    }
}

TEST(ListingCards, NumberedKeywordTexts)
{
    EXPECT_EQ(numbered_key("FILTER", 3), "FILTER3 ");
    EXPECT_EQ(numbered_key("FILTER", 12), "FILTER12");
    EXPECT_EQ(numbered_key("FLUXUNC", 10), "FLUXUNC10");
    // The text compared: filter 1 does not pick up the cards of filter 10,
    // and texts longer than the compared length match nothing, instead of
    // the card of another filter.
    EXPECT_EQ(numbered_prefix("FLUX", 1, 6), "FLUX1 ");
    EXPECT_EQ(numbered_prefix("FLUXUNC", 1, 8), "FLUXUNC1");
    EXPECT_EQ(numbered_prefix("FILTER", 12, 8), "FILTER12");
    EXPECT_EQ(numbered_prefix("FLUXUNC", 10, 8), std::nullopt);
    EXPECT_EQ(numbered_prefix("FILTER", 100, 8), std::nullopt);
    EXPECT_EQ(numbered_prefix("APER", 100, 6), std::nullopt);
}

TEST(ListingRecords, LimitOfFiveHundred)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(limit_records(0), 0);
    EXPECT_EQ(limit_records(500), 500);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(limit_records(501), 500);
    EXPECT_EQ(limit_records(3ULL * INT_MAX), 500);
    EXPECT_EQ(limit_records(static_cast<unsigned __int128>(1) << 64), 500);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Too many rows (501); only the first 500 are listed.\n"
              "Too many rows (6442450941); only the first 500 are listed.\n"
              "Too many rows (18446744073709551616); only the first 500 are listed.\n");
}
